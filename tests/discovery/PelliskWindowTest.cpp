// SPDX-License-Identifier: Apache-2.0
// The real window, offscreen: layout, drawing, copying, accessibility and the live listener.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QSvgRenderer>
#include <QTest>
#include <QTimer>

#include "LoopbackSender.h"
#include "RecordingLayer.h"
#include "TempDir.h"
#include "qt/ListLook.h"
#include "qt/PelliskIcon.h"
#include "qt/PelliskWindow.h"
#include "qt/QtMessageBox.h"

namespace {

QString Cell(CPelliskWindow& window, int row, int column) {
    const CDeviceListModel& model = window.List().Model();
    return model.data(model.index(row, column), Qt::DisplayRole).toString();
}

bool RegionHasColour(const QImage& image, QRect region, CRgb rgb) {
    const QColor wanted(rgb.red, rgb.green, rgb.blue);
    region = region.intersected(image.rect());
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            if (image.pixelColor(x, y) == wanted) return true;
        }
    }
    return false;
}

QColor ColourOf(CRgb rgb) {
    return QColor(rgb.red, rgb.green, rgb.blue);
}

class PelliskWindowTest : public testing::Test {
  protected:
    void SetUp() override {
        m_window.Load();
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }
    void Announce(const char* name, const char* mac, const char* ip, const char* message) {
        m_window.Logic().AddDeviceToList(name, mac, ip, message);
    }

    CRecordingMessageBox m_box;
    CPelliskWindow m_window{0, &m_box};
};

TEST_F(PelliskWindowTest, OpensWithTheDesignedListFillingTheWindow) {
    ASSERT_TRUE(m_box.m_texts.empty());
    EXPECT_EQ(m_window.windowTitle(), "Pellisk");
    ASSERT_DOUBLE_EQ(m_window.TwipsPerPixel(), 15.0) << "the offscreen screen is 96 dpi";
    CQtDeviceList& list = m_window.List();
    EXPECT_EQ(m_window.ClientWidth(), 10215);
    EXPECT_EQ(m_window.ClientHeight(), 2895);
    EXPECT_EQ(list.geometry(), m_window.rect());
    const char* headers[] = {"Device", "MAC", "IP Address", "Message"};
    const int widths[] = {2300, 2100, 1800, 3665};
    for (int column = 0; column < 4; ++column) {
        EXPECT_EQ(list.model()->headerData(column, Qt::Horizontal).toString(), headers[column]);
        EXPECT_EQ(list.ColumnWidth(column + 1), widths[column]) << headers[column];
        const auto alignment = list.model()
                                   ->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole)
                                   .value<Qt::Alignment>();
        EXPECT_TRUE(alignment & Qt::AlignLeft);
    }
    EXPECT_EQ(list.font().pointSize(), 9);
    EXPECT_EQ(Cell(m_window, 0, 0), "Scanning...");
    EXPECT_TRUE(m_window.Timer().IsActive());
    EXPECT_EQ(m_window.Timer().Interval(), 1000);
    EXPECT_TRUE(m_window.Listener().IsBound());
}

TEST_F(PelliskWindowTest, ResizingRecomputesTheMessageColumnUnlessMinimised) {
    CQtDeviceList& list = m_window.List();
    m_window.resize(m_window.width() + 100, m_window.height() + 40);  // 1500 twips wider
    EXPECT_TRUE(QTest::qWaitFor([&] { return list.ColumnWidth(4) != 3665; }, 500));
    EXPECT_EQ(list.ColumnWidth(4), 3665 + 1500);
    EXPECT_EQ(list.ColumnWidth(1), 2300);
    EXPECT_EQ(list.geometry(), m_window.rect());

    m_window.setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window.isMinimized(); }, 500));
    ASSERT_TRUE(list.SetColumnWidth(1, 3000).Ok());
    m_window.Logic().Form_Resize();
    EXPECT_EQ(list.ColumnWidth(4), 5165) << "left alone while minimised";

    m_window.setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_window.isMinimized(); }, 500));
    EXPECT_EQ(list.ColumnWidth(4), 11715 - 3000 - 2100 - 1800 - 350) << "restoring recomputes";

    m_window.resize(300, 100);
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_window.width() == 300; }, 500));
    EXPECT_EQ(list.ColumnWidth(4), kMinMessageWidthTwips) << "narrow window: never negative";
    EXPECT_EQ(list.geometry(), m_window.rect());
}

TEST_F(PelliskWindowTest, RowsSitOnAlternatingBandsAndShowDrawnIcons) {
    Announce("Boiler", "00-04-A3-00-00-01", "10.0.0.5", "ready");
    Announce("Pump", "00-04-A3-00-00-02", "10.0.0.6", "idle");
    CQtDeviceList& list = m_window.List();
    const QRect iconArea(0, 0, 24, 17);
    QImage image;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            image = list.viewport()->grab().toImage();
            return RegionHasColour(image, iconArea, kAddFill);
        },
        3000));
    const int emptyX = list.viewport()->width() - 4;  // right of every text
    EXPECT_EQ(image.pixelColor(emptyX, 8), ColourOf(kBandBlue));
    EXPECT_EQ(image.pixelColor(emptyX, 17 + 8), ColourOf(kBandWhite));
    EXPECT_EQ(image.pixelColor(emptyX, 34 + 8), ColourOf(kBandBlue)) << "below the rows too";
    EXPECT_EQ(list.visualRect(list.model()->index(1, 0)).top(), 17);

    EXPECT_TRUE(RegionHasColour(image, iconArea, kAddFill));
    EXPECT_TRUE(RegionHasColour(image, iconArea, kAddOutline));
    EXPECT_FALSE(RegionHasColour(image, iconArea, kRemoveFill));

    for (int tick = 0; tick < 6; ++tick) m_window.Logic().tmrTimeout_Timer();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            image = list.viewport()->grab().toImage();
            return RegionHasColour(image, iconArea, kRemoveFill);
        },
        3000));
    EXPECT_TRUE(RegionHasColour(image, iconArea, kRemoveFill));
    EXPECT_TRUE(RegionHasColour(image, iconArea, kRemoveOutline));
    EXPECT_FALSE(RegionHasColour(image, iconArea, kAddFill));
}

TEST_F(PelliskWindowTest, HighBytesAndLoneLineBreaksShowAsSingleCharacters) {
    Announce("Caf\xE9\rX", "mac\n1", "10.0.0.7", "\x80\x81");
    EXPECT_EQ(Cell(m_window, 0, 0), QString::fromUtf8("Caf\u00E9\uFFFDX"));
    EXPECT_EQ(Cell(m_window, 0, 1), QString::fromUtf8("mac\uFFFD1"));
    EXPECT_EQ(Cell(m_window, 0, 3), QString::fromUtf8("\u20AC\uFFFD"));
    std::string_view raw;
    ASSERT_TRUE(m_window.List().RowText(1, &raw).Ok());
    EXPECT_EQ(raw, "Caf\xE9\rX") << "the row keeps the bytes as they came";
}

TEST_F(PelliskWindowTest, ContextMenuAndCtrlCCopyTheSelectedAddress) {
    CQtDeviceList& list = m_window.List();
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("untouched");
    list.setCurrentIndex(list.model()->index(0, 0));
    EXPECT_FALSE(list.CopySelectedAddress()) << "the placeholder has no address";
    EXPECT_EQ(clipboard->text(), "untouched");

    Announce("Boiler", "00-04-A3-00-00-01", "10.0.0.5", "ready");
    Announce("Pump", "00-04-A3-00-00-02", "192.168.7.21", "idle");
    EXPECT_EQ(list.contextMenuPolicy(), Qt::ActionsContextMenu);
    ASSERT_TRUE(list.actions().contains(list.CopyAction()));
    EXPECT_EQ(list.CopyAction()->text(), "Copy IP Address");

    list.setCurrentIndex(list.model()->index(1, 2));
    list.CopyAction()->trigger();
    EXPECT_EQ(clipboard->text(), "192.168.7.21");

    list.setCurrentIndex(list.model()->index(0, 3));
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), "10.0.0.5");
}

TEST_F(PelliskWindowTest, ContextMenuCopiesTheSelectedRowOrAllRowsWithHeaders) {
    CQtDeviceList& list = m_window.List();
    EXPECT_EQ(list.actions(), (QList<QAction*>{list.CopyAction(), list.CopyRowAction(),
                                               list.CopyAllAction(), list.OpenInQuillonAction()}));
    EXPECT_EQ(list.CopyRowAction()->text(), "Copy Row");
    EXPECT_EQ(list.CopyAllAction()->text(), "Copy All Rows");
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("untouched");
    list.setCurrentIndex(list.model()->index(0, 0));
    list.CopyRowAction()->trigger();
    EXPECT_EQ(clipboard->text(), "untouched") << "the placeholder is no row to copy";

    Announce("Boiler", "00-04-A3-00-00-01", "10.0.0.5", "ready");
    Announce("Caf\xE9", "00-04-A3-00-00-02", "192.168.7.21", "idle\tnow");
    const QString headers = "Device\tMAC\tIP Address\tMessage\n";
    list.setCurrentIndex(list.model()->index(1, 3));
    list.CopyRowAction()->trigger();
    EXPECT_EQ(
        clipboard->text(),
        headers + QString::fromUtf8("Caf\u00E9\t00-04-A3-00-00-02\t192.168.7.21\tidle\uFFFDnow\n"));
    list.CopyAllAction()->trigger();
    EXPECT_EQ(clipboard->text(),
              headers + "Boiler\t00-04-A3-00-00-01\t10.0.0.5\tready\n" +
                  QString::fromUtf8("Caf\u00E9\t00-04-A3-00-00-02\t192.168.7.21\tidle\uFFFDnow\n"));
}

// A stand-in for quillon that writes down its arguments, one a line after their count; the file
// appears whole, so that a reader never sees half of it.
std::string WriteFakeQuillon(const CTempDir& dir) {
    const std::string record = dir.PathOf("arguments");
    const std::string script = dir.Write(
        "quillon", "#!/bin/sh\nPATH=/usr/bin:/bin\nprintf '%s\\n' \"$#\" \"$@\" > '" + record +
                       ".part'\nmv '" + record + ".part' '" + record + "'\n");
    ::chmod(script.c_str(), 0700);
    return record;
}

// What the stand-in wrote at its next start, waited for with a bound; empty if it never came.
std::string TakeArguments(const std::string& record) {
    QFile file(QString::fromStdString(record));
    if (!QTest::qWaitFor([&] { return file.exists(); }, 10000)) return {};
    if (!file.open(QIODevice::ReadOnly)) return {};
    const std::string text = file.readAll().toStdString();
    file.remove();
    return text;
}

TEST_F(PelliskWindowTest, OpenInQuillonStartsItBesidePelliskOrFromPathWithTheUnitsAddress) {
    CQtDeviceList& list = m_window.List();
    QAction* open = list.OpenInQuillonAction();
    EXPECT_EQ(open->text(), "Open in Quillon");
    CTempDir beside;
    CTempDir onPath;
    CTempDir empty;
    const std::string besideRecord = WriteFakeQuillon(beside);
    const std::string pathRecord = WriteFakeQuillon(onPath);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(empty.Path()));

    list.FindQuillonBeside(QString::fromStdString(empty.Path()));
    EXPECT_FALSE(open->isEnabled()) << "neither beside Pellisk nor on PATH";

    list.FindQuillonBeside(QString::fromStdString(beside.Path()));
    EXPECT_TRUE(open->isEnabled());
    list.setCurrentIndex(list.model()->index(0, 0));
    EXPECT_FALSE(list.OpenSelectedInQuillon()) << "the placeholder has no address";
    Announce("Boiler", "00-04-A3-00-00-01", "10.0.0.5", "ready");
    Announce("Pump", "00-04-A3-00-00-02", "127.0.0.9", "idle");
    list.setCurrentIndex(list.model()->index(1, 2));
    open->trigger();
    EXPECT_EQ(TakeArguments(besideRecord), "1\n127.0.0.9\n") << "quillon ADDRESS, nothing else";

    // Not beside Pellisk: PATH has it.
    qputenv("PATH", QByteArray::fromStdString(onPath.Path()));
    list.FindQuillonBeside(QString::fromStdString(empty.Path()));
    EXPECT_TRUE(open->isEnabled());
    list.setCurrentIndex(list.model()->index(0, 1));
    open->trigger();
    EXPECT_EQ(TakeArguments(pathRecord), "1\n10.0.0.5\n");
    qputenv("PATH", path);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(besideRecord))) << "started once only";
}

TEST_F(PelliskWindowTest, WindowIconIsTheInstalledSvg) {
    QFile svg(qEnvironmentVariable("QUILLON_SOURCE_DIR") + "/packaging/icons/pellisk.svg");
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly)) << "QUILLON_SOURCE_DIR must name the sources";
    QSvgRenderer renderer(svg.readAll());
    ASSERT_TRUE(renderer.isValid());
    QImage fromFile(32, 32, QImage::Format_ARGB32_Premultiplied);
    fromFile.fill(Qt::transparent);
    QPainter painter(&fromFile);
    renderer.render(&painter);
    painter.end();
    const QIcon icon = m_window.windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.pixmap(32, 32).toImage().convertToFormat(fromFile.format()), fromFile)
        << "drawn from the same SVG, compiled in";
    EXPECT_EQ(icon.availableSizes().size(), 5);
}

TEST(PelliskErrorBox, HasOnlyOkAndNoIcon) {
    CQtMessageBox box(nullptr);
    QMessageBox::Icon icon = QMessageBox::Critical;
    QMessageBox::StandardButtons buttons;
    QString title;
    QTimer::singleShot(0, [&] {
        auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (shown == nullptr) return;
        icon = shown->icon();
        buttons = shown->standardButtons();
        title = shown->windowTitle();
        shown->accept();
    });
    box.ShowError("Pellisk", "Error 98 (UDP port 30303 is already in use by another program)");
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(buttons, QMessageBox::Ok);
    EXPECT_EQ(title, "Pellisk");
}

TEST_F(PelliskWindowTest, ScreenReaderFindsTheListByNameAndReadsItsCells) {
    Announce("Boiler", "00-04-A3-00-00-01", "10.0.0.5", "ready");
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&m_window.List());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->text(QAccessible::Name), "Devices");
    QAccessibleTableInterface* table = list->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return table->rowCount() == 1; }, 3000));
    EXPECT_EQ(table->columnCount(), 4);
    ASSERT_NE(table->cellAt(0, 2), nullptr);
    EXPECT_EQ(table->cellAt(0, 2)->text(QAccessible::Name), "10.0.0.5");
    EXPECT_EQ(table->columnDescription(1), "MAC");
}

TEST_F(PelliskWindowTest, LiveListenerListsLoopbackAnnouncesAndCloseReleasesIt) {
    const uint16_t port = m_window.Listener().LocalPort();
    ASSERT_NE(port, 0);
    CLoopbackSender sender;
    ASSERT_TRUE(sender.Send(port, "too short\r\nx\r\n"));
    ASSERT_TRUE(sender.Send(port, "Boiler\r\n00-04-A3-00-00-01\r\nready\r\nfourth"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cell(m_window, 0, 0) == "Boiler"; }, 3000));
    EXPECT_EQ(m_window.List().RowCount(), 1);
    EXPECT_EQ(Cell(m_window, 0, 2), "127.0.0.1");
    EXPECT_EQ(Cell(m_window, 0, 3), "ready");

    m_window.close();
    EXPECT_FALSE(m_window.Listener().IsBound());
    EXPECT_FALSE(m_window.Timer().IsActive());
    CUdpAnnounceSocket again;
    ASSERT_TRUE(again.SetProtocolUdp().Ok());
    EXPECT_TRUE(again.Bind(port).Ok()) << "the port is free once the window has closed";
    EXPECT_TRUE(m_box.m_texts.empty());
}

TEST(PelliskWindowBind, HeldPortIsReportedAndTheWindowStillOpensScanning) {
    CPortHolder holder;
    ASSERT_NE(holder.Port(), 0);
    CRecordingMessageBox box;
    CPelliskWindow window(holder.Port(), &box);
    window.Load();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_EQ(box.m_texts.size(), 1u);
    EXPECT_EQ(box.m_titles[0], "Pellisk");
    EXPECT_TRUE(box.m_texts[0].ends_with(") in procedure Form_Load of Form frmMain on line 40"))
        << box.m_texts[0];
    EXPECT_EQ(box.m_texts[0], "Error " + std::to_string(EADDRINUSE) + " (UDP port " +
                                  std::to_string(holder.Port()) +
                                  " is already in use by another program) in procedure Form_Load "
                                  "of Form frmMain on line 40");
    EXPECT_FALSE(window.Listener().IsBound());
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.Timer().IsActive());
    EXPECT_EQ(Cell(window, 0, 0), "Scanning...");
    EXPECT_EQ(window.ClientWidth(), 10215);
}

}  // namespace
