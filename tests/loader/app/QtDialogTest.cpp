// The real Qt dialog, offscreen.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

#include "DialogRig.h"
#include "QtDialogWindow.h"

namespace {

QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    return iface != nullptr ? iface->text(QAccessible::Name) : QString();
}

struct QtDialog : testing::Test {
    QtDialog() {
        window.Attach(dlg);
        window.show();
        QApplication::processEvents();
    }
    ~QtDialog() override { window.Detach(); }
    template <typename T>
    T* Get(int id) {
        return qobject_cast<T*>(window.Control(id));
    }
    bool ProcessUntil(const std::function<bool()>& done, int timeoutMs) {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > timeoutMs) return false;
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    CQtDialogWindow window;
    CQuillonDlg dlg{window};
};

TEST_F(QtDialog, StartStateMatchesTheTemplate) {
    EXPECT_EQ(window.windowTitle(), "Tolvane Firmware Loader (32-BIT)");
    EXPECT_EQ(Get<QLineEdit>(IDC_IP_ADDRESS)->text(), "192.168.1.200");
    EXPECT_EQ(Get<QLineEdit>(IDC_UDP_PORT)->text(), "69");
    EXPECT_TRUE(Get<QPlainTextEdit>(IDC_LOG)->toPlainText().isEmpty());
    EXPECT_TRUE(Get<QPlainTextEdit>(IDC_LOG)->isReadOnly());
    EXPECT_TRUE(Get<QCheckBox>(IDC_STANDARD_TIMEOUT)->isChecked());
    EXPECT_FALSE(Get<QCheckBox>(IDC_RESET_DEFAULTS)->isVisible());
    EXPECT_FALSE(Get<QPushButton>(IDC_LOAD_FIRMWARE)->isEnabled());
    EXPECT_FALSE(Get<QPushButton>(IDC_FLASH_FIRMWARE)->isEnabled());
    EXPECT_TRUE(Get<QPushButton>(IDC_CONNECT)->isEnabled());
    EXPECT_FALSE(window.windowIcon().isNull());
    // Every control lies inside the dialog, and the labels sit above their boxes.
    for (const int id : {IDC_LOAD_FIRMWARE, IDC_PROGRESS, IDC_LOG, IDC_CONNECT, IDC_FLASH_FIRMWARE,
                         IDC_IP_ADDRESS, IDC_UDP_PORT, IDC_RESET_DEFAULTS, IDC_STANDARD_TIMEOUT})
        EXPECT_TRUE(window.rect().contains(window.Control(id)->geometry())) << id;
    EXPECT_EQ(window.size(), QSize(window.Units().X(387), window.Units().Y(105)));
    // The about entry is in the context menu, with F1.
    ASSERT_NE(window.ContextMenu(), nullptr);
    bool about = false;
    for (QAction* action : window.ContextMenu()->actions())
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
    for (const auto& n : names) EXPECT_EQ(AccessibleName(window.Control(n.id)), n.name) << n.id;

    // The address is one text field that assistive tools read and set as dotted text.
    QAccessibleInterface* ip =
        QAccessible::queryAccessibleInterface(window.Control(IDC_IP_ADDRESS));
    ASSERT_NE(ip, nullptr);
    EXPECT_EQ(ip->text(QAccessible::Value), "192.168.1.200");
    ip->setText(QAccessible::Value, "10.1.2.3");
    ip->setText(QAccessible::Value, "300.1.2.3");  // refused by the field
    ASSERT_TRUE(dlg.ExchangeData(true));
    EXPECT_EQ(dlg.m_ipAddress, 0x0A010203u);
}

TEST_F(QtDialog, EnterInThePortBoxClosesWithAValidPortAndEscCancels) {
    QLineEdit* port = Get<QLineEdit>(IDC_UDP_PORT);
    port->setFocus();
    port->setText("70000");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(port, &enter);
    EXPECT_EQ(window.result(), IDOK);
    EXPECT_EQ(dlg.m_port, 70000u);
    EXPECT_FALSE(window.isVisible());

    window.show();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(port, &escape);
    EXPECT_EQ(window.result(), IDCANCEL);
}

TEST_F(QtDialog, ClickOnConnectReachesConnectedAgainstTheUnit) {
    CUnitSim sim(LoopbackUnit("QtUnit", 1, 4));
    ASSERT_TRUE(sim.Start());
    Get<QLineEdit>(IDC_IP_ADDRESS)->setText("127.0.0.1");
    Get<QLineEdit>(IDC_UDP_PORT)->setText(QString::number(sim.Port()));
    Get<QPushButton>(IDC_CONNECT)->click();
    EXPECT_FALSE(Get<QPushButton>(IDC_CONNECT)->isEnabled());
    ASSERT_TRUE(ProcessUntil([&] { return dlg.m_connected != 0; }, 4000));
    const QString log = Get<QPlainTextEdit>(IDC_LOG)->toPlainText();
    EXPECT_EQ(log, "Attempting to connect...\nConnected.\nQtUnit bootloader v1.04\n");
    EXPECT_EQ(Get<QPushButton>(IDC_CONNECT)->text(), "Disconnect");
    EXPECT_EQ(AccessibleName(window.Control(IDC_CONNECT)), "Disconnect");
    EXPECT_TRUE(Get<QPushButton>(IDC_LOAD_FIRMWARE)->isEnabled());
    EXPECT_TRUE(Get<QCheckBox>(IDC_RESET_DEFAULTS)->isVisible());
    EXPECT_FALSE(Get<QLineEdit>(IDC_IP_ADDRESS)->isEnabled());
    // The caret sits at the end so the newest line shows.
    EXPECT_TRUE(Get<QPlainTextEdit>(IDC_LOG)->textCursor().atEnd());
}

}  // namespace
