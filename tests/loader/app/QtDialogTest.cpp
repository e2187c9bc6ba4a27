// SPDX-License-Identifier: Apache-2.0
// The real Qt dialog, offscreen.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <memory>

#include "AddressBox.h"
#include "AddressFields.h"
#include "DialogRig.h"
#include "LogTrim.h"
#include "PathChooser.h"
#include "QtDialogWindow.h"

namespace {

QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    return iface != nullptr ? iface->text(QAccessible::Name) : QString();
}

// Key by key, as a user types.
void TypeKeys(QWidget* widget, const QString& keys) {
    for (const QChar c : keys) {
        const int key = c == QLatin1Char('.') ? int{Qt::Key_Period} : int{c.unicode()};
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }
}

void PressKey(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

// Answers the next question box with `answer` once it shows, from inside its own loop; what it
// looked like goes to `seen`. Gives up after about five seconds.
struct CSeenQuestion {
    QString text;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
    bool answered = false;
};

void AnswerNextQuestion(QMessageBox::StandardButton answer, CSeenQuestion& seen) {
    auto* poll = new QTimer(qApp);  // freed with the application if no loop gets to it
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, answer, &seen] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(top);
            if (box == nullptr || !box->isVisible()) continue;
            seen.text = box->text();
            seen.defaultButton = box->standardButton(box->defaultButton());
            seen.escapeButton = box->standardButton(box->escapeButton());
            seen.answered = true;
            poll->stop();  // no loop may be left to delete it before the next question
            poll->deleteLater();
            box->button(answer)->click();
            return;
        }
        if (++*tries > 250) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(20);
}

struct QtDialog : testing::Test {
    QtDialog() {
        m_window.Attach(m_dlg);
        m_window.show();
        QApplication::processEvents();
    }
    ~QtDialog() override { m_window.Detach(); }
    template <typename T>
    T* Get(int id) {
        return qobject_cast<T*>(m_window.Control(id));
    }

    CQtDialogWindow m_window;
    CQuillonDlg m_dlg{m_window};
};

TEST_F(QtDialog, StartStateMatchesTheTemplate) {
    EXPECT_EQ(m_window.windowTitle(), "Tolvane Firmware Loader (32-BIT)");
    EXPECT_EQ(Get<QLineEdit>(IDC_IP_ADDRESS)->text(), "192.168.1.200");
    EXPECT_EQ(Get<QLineEdit>(IDC_UDP_PORT)->text(), "69");
    EXPECT_TRUE(Get<QPlainTextEdit>(IDC_LOG)->toPlainText().isEmpty());
    EXPECT_TRUE(Get<QPlainTextEdit>(IDC_LOG)->isReadOnly());
    EXPECT_TRUE(Get<QCheckBox>(IDC_STANDARD_TIMEOUT)->isChecked());
    EXPECT_FALSE(Get<QCheckBox>(IDC_RESET_DEFAULTS)->isVisible());
    EXPECT_FALSE(Get<QPushButton>(IDC_LOAD_FIRMWARE)->isEnabled());
    EXPECT_FALSE(Get<QPushButton>(IDC_FLASH_FIRMWARE)->isEnabled());
    EXPECT_TRUE(Get<QPushButton>(IDC_CONNECT)->isEnabled());
    EXPECT_FALSE(m_window.windowIcon().isNull());
    // Every control lies inside the dialog, and the labels sit above their boxes.
    for (const int id : {IDC_LOAD_FIRMWARE, IDC_PROGRESS, IDC_LOG, IDC_CONNECT, IDC_FLASH_FIRMWARE,
                         IDC_IP_ADDRESS, IDC_UDP_PORT, IDC_RESET_DEFAULTS, IDC_STANDARD_TIMEOUT})
        EXPECT_TRUE(m_window.rect().contains(m_window.Control(id)->geometry())) << id;
    EXPECT_EQ(m_window.size(), QSize(m_window.Units().X(387), m_window.Units().Y(105)));
    // The about entry is in the context menu, with F1.
    ASSERT_NE(m_window.ContextMenu(), nullptr);
    bool about = false;
    for (QAction* action : m_window.ContextMenu()->actions())
        if (action->text() == "&About") about = action->shortcut() == QKeySequence(Qt::Key_F1);
    EXPECT_TRUE(about);
}

TEST_F(QtDialog, EveryControlCarriesItsAccessibleName) {
    const struct {
        int id;
        const char* name;
    } names[] = {{IDC_IP_ADDRESS, "IP Address"},
                 {IDC_UDP_PORT, "UDP Port"},
                 {IDC_CONNECT, "Connect"},
                 {IDC_LOAD_FIRMWARE, "Load Firmware"},
                 {IDC_FLASH_FIRMWARE, "Flash Firmware"},
                 {IDC_RESET_DEFAULTS, "Reset to Defaults"},
                 {IDC_STANDARD_TIMEOUT, "Standard Timeout"},
                 {IDC_LOG, "Log"},
                 {IDC_PROGRESS, "Progress"}};
    for (const auto& n : names) EXPECT_EQ(AccessibleName(m_window.Control(n.id)), n.name) << n.id;

    // The address is one text field that assistive tools read and set as dotted text.
    QAccessibleInterface* ip =
        QAccessible::queryAccessibleInterface(m_window.Control(IDC_IP_ADDRESS));
    ASSERT_NE(ip, nullptr);
    EXPECT_EQ(ip->text(QAccessible::Value), "192.168.1.200");
    ip->setText(QAccessible::Value, "10.1.2.3");
    ip->setText(QAccessible::Value, "300.1.2.3");  // refused by the field
    ASSERT_TRUE(m_dlg.ExchangeData(true));
    EXPECT_EQ(m_dlg.IpAddress(), 0x0A010203u);
}

TEST_F(QtDialog, EnterInThePortBoxClosesWithAValidPortAndEscCancels) {
    QLineEdit* port = Get<QLineEdit>(IDC_UDP_PORT);
    port->setFocus();
    port->setText("70000");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(port, &enter);
    EXPECT_EQ(m_window.result(), IDOK);
    EXPECT_EQ(m_dlg.Port(), 70000u);
    EXPECT_FALSE(m_window.isVisible());

    m_window.show();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(port, &escape);
    EXPECT_EQ(m_window.result(), IDCANCEL);
}

TEST_F(QtDialog, ClickOnConnectReachesConnectedAgainstTheUnit) {
    CUnitSim sim(LoopbackUnit("QtUnit", 1, 4));
    ASSERT_TRUE(sim.Start());
    Get<QLineEdit>(IDC_IP_ADDRESS)->setText("127.0.0.1");
    Get<QLineEdit>(IDC_UDP_PORT)->setText(QString::number(sim.Port()));
    Get<QPushButton>(IDC_CONNECT)->click();
    EXPECT_FALSE(Get<QPushButton>(IDC_CONNECT)->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_dlg.Connected() != 0; }, 4000));
    const QString log = Get<QPlainTextEdit>(IDC_LOG)->toPlainText();
    EXPECT_EQ(log, "Attempting to connect...\nConnected.\nQtUnit bootloader v1.04\n");
    EXPECT_EQ(Get<QPushButton>(IDC_CONNECT)->text(), "Disconnect");
    EXPECT_EQ(AccessibleName(m_window.Control(IDC_CONNECT)), "Disconnect");
    EXPECT_TRUE(Get<QPushButton>(IDC_LOAD_FIRMWARE)->isEnabled());
    EXPECT_TRUE(Get<QCheckBox>(IDC_RESET_DEFAULTS)->isVisible());
    EXPECT_FALSE(Get<QLineEdit>(IDC_IP_ADDRESS)->isEnabled());
    // The caret sits at the end so the newest line shows.
    EXPECT_TRUE(Get<QPlainTextEdit>(IDC_LOG)->textCursor().atEnd());
}

TEST_F(QtDialog, EscMidFlashAsksAndOnlyYesCloses) {
    CUnitSim sim(LoopbackUnit("QtUnit", 1, 4));
    ASSERT_TRUE(sim.Start());
    Get<QLineEdit>(IDC_IP_ADDRESS)->setText("127.0.0.1");
    Get<QLineEdit>(IDC_UDP_PORT)->setText(QString::number(sim.Port()));
    Get<QPushButton>(IDC_CONNECT)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_dlg.Connected() != 0; }, 4000));
    CPathChooser chooser;
    chooser.m_path = WriteFirmware(200);
    m_dlg.Link().SetFileChooser(&chooser);
    Get<QPushButton>(IDC_LOAD_FIRMWARE)->click();
    sim.SetSilent(true);  // the erase is never answered
    Get<QPushButton>(IDC_FLASH_FIRMWARE)->click();
    ASSERT_TRUE(m_dlg.FlashInProgress());

    CSeenQuestion no;
    AnswerNextQuestion(QMessageBox::No, no);
    PressKey(Get<QPushButton>(IDC_CONNECT), Qt::Key_Escape);
    ASSERT_TRUE(no.answered);
    EXPECT_EQ(no.text,
              "A flash is in progress. Closing now leaves the unit erased or partly programmed. "
              "Close anyway?");
    EXPECT_EQ(no.defaultButton, QMessageBox::No);
    EXPECT_EQ(no.escapeButton, QMessageBox::No);
    EXPECT_TRUE(m_window.isVisible());

    CSeenQuestion closeBox;
    AnswerNextQuestion(QMessageBox::No, closeBox);
    EXPECT_FALSE(m_window.close());  // the close box
    EXPECT_TRUE(closeBox.answered);
    EXPECT_TRUE(m_window.isVisible());

    CSeenQuestion yes;
    AnswerNextQuestion(QMessageBox::Yes, yes);
    PressKey(Get<QPushButton>(IDC_CONNECT), Qt::Key_Escape);
    EXPECT_TRUE(yes.answered);
    EXPECT_FALSE(m_window.isVisible());
    EXPECT_EQ(m_window.result(), IDCANCEL);
    m_dlg.Link().SetFileChooser(&m_window);
}

// Watches for a question box from inside its loop; answers No only after giveUpMs, so that a
// question nobody withdraws still ends the test. The watch lasts as long as the timer returned.
struct CQuestionWatch {
    bool seen = false;
    bool forced = false;
};

std::unique_ptr<QTimer> WatchQuestion(CQuestionWatch& watch, int giveUpMs) {
    auto poll = std::make_unique<QTimer>();
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(poll.get(), &QTimer::timeout, [clock, giveUpMs, &watch] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(top);
            if (box == nullptr || !box->isVisible()) continue;
            watch.seen = true;
            if (clock->elapsed() < giveUpMs) return;
            watch.forced = true;
            box->button(QMessageBox::No)->click();
        }
    });
    poll->start(20);
    return poll;
}

TEST_F(QtDialog, TheCloseQuestionIsWithdrawnWhenTheFlashEndsBehindIt) {
    CUnitSimConfig config = LoopbackUnit("QtUnit", 1, 4);
    config.eraseMs = 1500;  // the question comes up while the unit erases
    CUnitSim sim(config);
    ASSERT_TRUE(sim.Start());
    Get<QLineEdit>(IDC_IP_ADDRESS)->setText("127.0.0.1");
    Get<QLineEdit>(IDC_UDP_PORT)->setText(QString::number(sim.Port()));
    Get<QPushButton>(IDC_CONNECT)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_dlg.Connected() != 0; }, 4000));
    CPathChooser chooser;
    chooser.m_path = WriteFirmware(200);
    m_dlg.Link().SetFileChooser(&chooser);
    Get<QPushButton>(IDC_LOAD_FIRMWARE)->click();
    Get<QPushButton>(IDC_FLASH_FIRMWARE)->click();
    ASSERT_TRUE(m_dlg.FlashInProgress());

    CQuestionWatch watch;
    const auto watching = WatchQuestion(watch, 15000);
    PressKey(Get<QPushButton>(IDC_CONNECT), Qt::Key_Escape);  // returns when the box is gone
    EXPECT_TRUE(watch.seen);
    EXPECT_FALSE(watch.forced) << "the question stayed up after the flash had ended";
    EXPECT_TRUE(m_window.isVisible());
    EXPECT_FALSE(m_dlg.FlashInProgress());
    EXPECT_EQ(m_dlg.Outcome(), EOutcome::kVerified);
    EXPECT_TRUE(Get<QPlainTextEdit>(IDC_LOG)->toPlainText().contains("Verification successful."));
    m_dlg.Link().SetFileChooser(&m_window);
}

// ESC, BEL, CR and LF in a unit's name neither start a line nor reach the text view raw, also
// when the log is rewritten whole.
TEST_F(QtDialog, AUnitsNameCannotBreakTheLogIntoLines) {
    CUnitSim sim(LoopbackUnit("\x1b[31m\a\r\nDone.", 1, 4));
    ASSERT_TRUE(sim.Start());
    Get<QLineEdit>(IDC_IP_ADDRESS)->setText("127.0.0.1");
    Get<QLineEdit>(IDC_UDP_PORT)->setText(QString::number(sim.Port()));
    Get<QPushButton>(IDC_CONNECT)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_dlg.Connected() != 0; }, 4000));
    const QString shown = QString::fromUtf8(
        "Attempting to connect...\nConnected.\n"
        "\uFFFD[31m\uFFFD\uFFFD\uFFFDDone. bootloader v1.04\n");
    auto* log = Get<QPlainTextEdit>(IDC_LOG);
    EXPECT_EQ(log->toPlainText(), shown);
    m_window.SetControlText(IDC_LOG, m_dlg.LogText());
    EXPECT_EQ(log->toPlainText(), shown);
    m_window.SetControlText(IDC_LOG, "a\r\nb\x1b\rc\n");
    EXPECT_EQ(log->toPlainText(), QString::fromUtf8("a\nb\uFFFD\uFFFDc\uFFFD"));
}

TEST_F(QtDialog, AddressTypedWithLeadingZerosConnectsToThatAddress) {
    CUnitSim sim(LoopbackUnit("Zeros", 1, 4));
    ASSERT_TRUE(sim.Start());
    auto* address = qobject_cast<CAddressBox*>(m_window.Control(IDC_IP_ADDRESS));
    ASSERT_NE(address, nullptr);
    address->setFocus();
    address->selectAll();
    TypeKeys(address, "127.000.000.001");
    EXPECT_EQ(address->text(), "127.000.000.001");
    uint8_t fields[4];
    m_window.GetAddressFields(IDC_IP_ADDRESS, fields);
    EXPECT_EQ(FormatDottedFields(fields), "127.0.0.1");
    EXPECT_TRUE(address->LastRefusal().isEmpty());
    Get<QLineEdit>(IDC_UDP_PORT)->setText(QString::number(sim.Port()));
    Get<QPushButton>(IDC_CONNECT)->click();
    EXPECT_EQ(m_dlg.IpAddress(), 0x7F000001u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_dlg.Connected() != 0; }, 4000));
    EXPECT_EQ(m_dlg.LastLogLine(), "Zeros bootloader v1.04");
}

TEST_F(QtDialog, AddressBoxRefusesWhatItCannotHoldAndChangesNothing) {
    auto* address = qobject_cast<CAddressBox*>(m_window.Control(IDC_IP_ADDRESS));
    ASSERT_NE(address, nullptr);
    address->setFocus();
    address->clear();
    TypeKeys(address, "192.168.001.200");
    uint8_t fields[4];
    m_window.GetAddressFields(IDC_IP_ADDRESS, fields);
    EXPECT_EQ(FormatDottedFields(fields), "192.168.1.200");

    address->clear();
    TypeKeys(address, "300");
    EXPECT_EQ(address->text(), "30");
    EXPECT_EQ(address->LastRefusal(),
              "300 is not a valid entry. Specify a value between 0 and 255.");
    TypeKeys(address, ".1234");  // a fourth digit starts the next field
    EXPECT_EQ(address->text(), "30.123.4");

    // Backspace edits; over a dot it only steps when the fields would run together.
    PressKey(address, Qt::Key_Backspace);
    EXPECT_EQ(address->text(), "30.123.");
    address->setText("1.2.3.4");
    address->setCursorPosition(2);
    PressKey(address, Qt::Key_Backspace);
    EXPECT_EQ(address->text(), "12.3.4");

    // Pasted text is checked whole.
    address->setText("10.1.1.1");
    address->selectAll();
    address->insert("300.1.2.3");
    EXPECT_EQ(address->text(), "10.1.1.1");
    EXPECT_EQ(address->LastRefusal(),
              "300 is not a valid entry. Specify a value between 0 and 255.");
    address->selectAll();
    address->insert("10.0.0.9");
    EXPECT_EQ(address->text(), "10.0.0.9");
}

TEST_F(QtDialog, AnEmptyProgressRangeDrawsAnEmptyBarNotABusyOne) {
    auto* bar = Get<QProgressBar>(IDC_PROGRESS);
    m_dlg.OnTimer(kProgressTimerId);  // nothing sent yet: 0 of 0
    EXPECT_LT(bar->minimum(), bar->maximum());
    EXPECT_EQ(bar->value(), bar->minimum());
    m_window.SetProgressRange(IDC_PROGRESS, 0, 40);
    m_window.SetProgressPos(IDC_PROGRESS, 10);
    EXPECT_EQ(bar->maximum(), 40);
    EXPECT_EQ(bar->value(), 10);
    m_window.SetProgressRange(IDC_PROGRESS, 5, 5);
    m_window.SetProgressPos(IDC_PROGRESS, 5);
    EXPECT_LT(bar->minimum(), bar->maximum());
    EXPECT_EQ(bar->value(), bar->minimum());
}

TEST_F(QtDialog, AFloodOfLogLinesLeavesTheNewestShowing) {
    QElapsedTimer timer;
    timer.start();
    constexpr int kLines = 20000;
    for (int i = 1; i <= kLines; ++i) {
        m_dlg.AppendLog(("line " + std::to_string(i)).c_str());
        if (i % 1000 == 0) QApplication::processEvents();
    }
    EXPECT_LT(timer.elapsed(), 20000);
    auto* log = Get<QPlainTextEdit>(IDC_LOG);
    const QTextDocument* doc = log->document();
    EXPECT_LE(doc->blockCount(), static_cast<int>(kLogLineLimit) + 2);  // + the empty last
    EXPECT_TRUE(doc->firstBlock().text().endsWith("earlier lines dropped ..."));
    EXPECT_EQ(doc->lastBlock().previous().text(), "line 20000");
    EXPECT_EQ(m_window.GetControlText(IDC_LOG), m_dlg.LogText());
    EXPECT_TRUE(log->textCursor().atEnd());
    EXPECT_EQ(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());
}

}  // namespace
