// SPDX-License-Identifier: Apache-2.0
#include "QtDialogWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTimer>
#include <climits>

#include "AboutDlg.h"
#include "AddressBox.h"
#include "AddressFields.h"
#include "AppIcon.h"
#include "QuillonDlg.h"
#include "QuillonIds.h"
#include "ShownText.h"

namespace {

constexpr const char* kTitle = "Tolvane Firmware Loader (32-BIT)";
constexpr int kDialogWidth = 387;
constexpr int kDialogHeight = 105;
constexpr int kAboutWidth = 235;
constexpr int kAboutHeight = 55;

struct CRect {
    int x, y, w, h;
};

CDialogUnits UnitsFor(const QFont& font) {
    const QFontMetrics metrics(font);
    CDialogUnits units;
    units.baseX = CDialogUnits::AverageCharWidth(metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")));
    units.baseY = metrics.height();
    return units;
}

// Places a control at its template rectangle. Text that the platform's font draws larger than
// the template allowed gets the room it needs, centred on the rectangle's height.
void Place(QWidget* widget, const CDialogUnits& units, const CRect& r, bool growToFit) {
    int x = units.X(r.x), y = units.Y(r.y), w = units.X(r.w), h = units.Y(r.h);
    if (growToFit) {
        const QSize hint = widget->sizeHint();
        if (hint.width() > w) w = hint.width();
        if (hint.height() > h) {
            y -= (hint.height() - h) / 2;
            h = hint.height();
        }
    }
    widget->setGeometry(x, y, w, h);
}

// "Label|pattern|Label|pattern|" as Qt writes it: "Label (pattern);;...".
QString QtFilter(const char* filter) {
    const QStringList parts = QString::fromUtf8(filter).split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) continue;
        const QString pattern = parts[i + 1];
        const QString label = parts[i];
        entries << (label.contains(QLatin1Char('(') + pattern + QLatin1Char(')'))
                        ? label
                        : label + QStringLiteral(" (") + pattern + QLatin1Char(')'));
    }
    return entries.join(QStringLiteral(";;"));
}

}  // namespace

CQtDialogWindow::CQtDialogWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setWindowTitle(QString::fromUtf8(kTitle));
    m_units = UnitsFor(font());
    BuildControls();
    setFixedSize(m_units.X(kDialogWidth), m_units.Y(kDialogHeight));
    m_contextMenu = new QMenu(this);
}

CQtDialogWindow::~CQtDialogWindow() {
    Detach();
}

void CQtDialogWindow::BuildControls() {
    // Created in the template's tab order, so the focus chain follows it.
    m_load = new QPushButton(QStringLiteral("Load Firmware"), this);
    Place(m_load, m_units, {61, 76, 56, 20}, false);

    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_progress->setAccessibleName(QStringLiteral("Progress"));
    Place(m_progress, m_units, {187, 79, 192, 17}, false);

    m_log = new QPlainTextEdit(this);
    m_log->setReadOnly(true);
    m_log->setUndoRedoEnabled(false);  // appended lines would pile up in the undo stack
    m_log->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_log->setFocusPolicy(Qt::StrongFocus);
    m_log->setTabChangesFocus(true);
    m_log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_log->setAccessibleName(QStringLiteral("Log"));
    Place(m_log, m_units, {187, 8, 192, 68}, false);

    m_connect = new QPushButton(QStringLiteral("Connect"), this);
    Place(m_connect, m_units, {5, 76, 54, 20}, false);

    m_flash = new QPushButton(QStringLiteral("Flash Firmware"), this);
    Place(m_flash, m_units, {119, 76, 63, 20}, false);

    auto* group = new QGroupBox(QStringLiteral("Ethernet"), this);
    Place(group, m_units, {7, 4, 176, 51}, false);

    m_address = new CAddressBox(this);
    m_address->setAccessibleName(QStringLiteral("IP Address"));
    Place(m_address, m_units, {13, 27, 113, 15}, false);

    auto* addressLabel = new QLabel(QStringLiteral("IP Address"), this);
    addressLabel->setBuddy(m_address);
    Place(addressLabel, m_units, {13, 18, 36, 8}, true);

    m_port = new QLineEdit(this);
    m_port->setAccessibleName(QStringLiteral("UDP Port"));
    Place(m_port, m_units, {139, 27, 29, 14}, false);

    auto* portLabel = new QLabel(QStringLiteral("UDP Port"), this);
    portLabel->setBuddy(m_port);
    Place(portLabel, m_units, {139, 17, 30, 8}, true);

    m_reset = new QCheckBox(QStringLiteral("Reset to Defaults"), this);
    Place(m_reset, m_units, {13, 60, 78, 8}, true);

    m_standard = new QCheckBox(QStringLiteral("Standard Timeout"), this);
    Place(m_standard, m_units, {13, 48, 78, 8}, true);
    // The check box reaches the group's bottom edge in the template; drawn with a taller
    // indicator it would sit on the frame line, so the frame makes room for it.
    const int enclose = m_standard->geometry().bottom() + m_units.Y(2);
    if (group->geometry().bottom() < enclose)
        group->setGeometry(group->x(), group->y(), group->width(), enclose - group->y() + 1);

    for (QPushButton* button : {m_load, m_connect, m_flash}) {
        // Enter is the dialog's own command; a focused button is clicked by keyPressEvent.
        button->setAutoDefault(false);
        button->setDefault(false);
        button->setAccessibleName(button->text());
    }
    for (QCheckBox* box : {m_reset, m_standard}) box->setAccessibleName(box->text());

    QWidget::setTabOrder(m_load, m_log);
    QWidget::setTabOrder(m_log, m_connect);
    QWidget::setTabOrder(m_connect, m_flash);
    QWidget::setTabOrder(m_flash, m_address);
    QWidget::setTabOrder(m_address, m_port);
    QWidget::setTabOrder(m_port, m_reset);
    QWidget::setTabOrder(m_reset, m_standard);

    m_controls = {{IDC_LOAD_FIRMWARE, m_load},
                  {IDC_PROGRESS, m_progress},
                  {IDC_LOG, m_log},
                  {IDC_CONNECT, m_connect},
                  {IDC_FLASH_FIRMWARE, m_flash},
                  {IDC_IP_ADDRESS, m_address},
                  {IDC_UDP_PORT, m_port},
                  {IDC_RESET_DEFAULTS, m_reset},
                  {IDC_STANDARD_TIMEOUT, m_standard}};

    connect(m_connect, &QPushButton::clicked, this, [this] {
        if (m_dialog != nullptr) m_dialog->OnConnect();
    });
    connect(m_load, &QPushButton::clicked, this, [this] {
        if (m_dialog != nullptr) m_dialog->OnLoadFirmware();
    });
    connect(m_flash, &QPushButton::clicked, this, [this] {
        if (m_dialog != nullptr) m_dialog->OnFlashFirmware();
    });
}

void CQtDialogWindow::EnableControl(int id, bool enable) {
    if (QWidget* w = Control(id)) w->setEnabled(enable);
}

bool CQtDialogWindow::IsControlEnabled(int id) const {
    const QWidget* w = Control(id);
    return w != nullptr && w->isEnabled();
}

void CQtDialogWindow::ShowControl(int id, bool show) {
    if (QWidget* w = Control(id)) w->setVisible(show);
}

void CQtDialogWindow::CheckControl(int id, bool checked) {
    if (auto* box = qobject_cast<QCheckBox*>(Control(id))) box->setChecked(checked);
}

bool CQtDialogWindow::IsControlChecked(int id) const {
    const auto* box = qobject_cast<const QCheckBox*>(Control(id));
    return box != nullptr && box->isChecked();
}

void CQtDialogWindow::SetControlText(int id, const std::string& text) {
    QString value = QString::fromStdString(id == IDC_LOG ? ShownLines(text) : text);
    if (id == IDC_LOG) {
        // The log keeps CR LF line breaks; the text view wants bare LF.
        value.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        if (m_log->toPlainText() != value) m_log->setPlainText(value);
    } else if (auto* edit = qobject_cast<QLineEdit*>(Control(id))) {
        if (edit->text() != value) edit->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(Control(id))) {
        button->setText(value);
        button->setAccessibleName(value);
    }
}

void CQtDialogWindow::AppendLogText(int id, const std::string& text) {
    if (id != IDC_LOG || text.empty()) return;
    // One line per call: only its own line break ends it, never a CR or LF a unit sent.
    QString value = QString::fromStdString(ShownLogLine(text));
    value.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor end(m_log->document());
    end.movePosition(QTextCursor::End);
    end.insertText(value);
    ScrollToEnd(id);
}

std::string CQtDialogWindow::GetControlText(int id) const {
    if (id == IDC_LOG) {
        QString value = m_log->toPlainText();
        value.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        return value.toStdString();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(Control(id)))
        return edit->text().toStdString();
    if (const auto* button = qobject_cast<const QAbstractButton*>(Control(id)))
        return button->text().toStdString();
    return {};
}

void CQtDialogWindow::SetProgressRange(int id, uint32_t low, uint32_t high) {
    if (id != IDC_PROGRESS) return;
    // Qt draws a range of 0..0 as an endless busy bar; nothing to show is an empty bar.
    m_progressEmpty = high <= low;
    if (m_progressEmpty) {
        m_progress->setRange(0, 1);
        m_progress->setValue(0);
        return;
    }
    // The whole range is shown; a range past the bar's int is scaled down to fit.
    m_progressShift = 0;
    while ((high >> m_progressShift) > static_cast<uint32_t>(INT_MAX)) ++m_progressShift;
    m_progress->setRange(static_cast<int>(low >> m_progressShift),
                         static_cast<int>(high >> m_progressShift));
}

void CQtDialogWindow::SetProgressPos(int id, uint32_t position) {
    if (id != IDC_PROGRESS) return;
    m_progress->setValue(m_progressEmpty ? 0 : static_cast<int>(position >> m_progressShift));
}

void CQtDialogWindow::ScrollToEnd(int id) {
    if (id != IDC_LOG) return;
    QTextCursor cursor = m_log->textCursor();
    cursor.movePosition(QTextCursor::End);
    m_log->setTextCursor(cursor);
    m_log->ensureCursorVisible();
    m_log->verticalScrollBar()->setValue(m_log->verticalScrollBar()->maximum());
}

void CQtDialogWindow::SetAddressFields(int id, const uint8_t fields[4]) {
    if (id != IDC_IP_ADDRESS) return;
    const QString text = QString::fromStdString(FormatDottedFields(fields));
    if (m_address->text() != text) m_address->setText(text);
}

void CQtDialogWindow::GetAddressFields(int id, uint8_t fields[4]) const {
    for (int i = 0; i < 4; ++i) fields[i] = 0;
    // The box admits only readable addresses; anything else reads as 0.0.0.0.
    if (id == IDC_IP_ADDRESS) (void)ParseDottedFields(m_address->text().toStdString(), fields);
}

void CQtDialogWindow::FocusAndSelectAll(int id) {
    QWidget* w = Control(id);
    if (w == nullptr) return;
    w->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
}

void CQtDialogWindow::ShowMessage(const char* text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Quillon"), QString::fromUtf8(text),
                    QMessageBox::Ok, this);
    box.exec();
}

bool CQtDialogWindow::AskYesNo(const char* text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Quillon"), QString::fromUtf8(text),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    QMessageBox* outer = m_question;
    m_question = &box;
    const int answer = box.exec();
    m_question = outer;
    return answer == QMessageBox::Yes;
}

void CQtDialogWindow::WithdrawQuestion() {
    if (m_question != nullptr) m_question->done(QMessageBox::No);
}

void CQtDialogWindow::ShowErrorBox(const char* text, const char* caption) {
    // Ownerless, as the link's socket errors are.
    QMessageBox box(QMessageBox::Critical,
                    caption != nullptr ? QString::fromUtf8(caption) : QStringLiteral("Error"),
                    QString::fromUtf8(text), QMessageBox::Ok, nullptr);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

bool CQtDialogWindow::ChooseOpenFile(const char* filter, std::string& path) {
    const QString chosen =
        QFileDialog::getOpenFileName(this, QString(), QString(), QtFilter(filter));
    if (chosen.isEmpty()) return false;
    path = chosen.toStdString();
    return true;
}

QTimer* CQtDialogWindow::TimerFor(unsigned id) {
    QTimer*& timer = m_timers[id];
    if (timer == nullptr) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] {
            if (m_dialog != nullptr) m_dialog->OnTimer(id);
        });
    }
    return timer;
}

void CQtDialogWindow::SetTimer(unsigned id, unsigned periodMs) {
    TimerFor(id)->start(static_cast<int>(periodMs));
}

void CQtDialogWindow::AppendSystemMenu(unsigned command, const char* text) {
    if (text == nullptr) {
        m_contextMenu->addSeparator();  // collapsed while it leads the menu
        return;
    }
    QAction* action = m_contextMenu->addAction(QString::fromUtf8(text));
    connect(action, &QAction::triggered, this, [this, command] {
        if (m_dialog != nullptr) m_dialog->OnSysCommand(command);
    });
    if (command == IDM_ABOUTBOX) {
        action->setShortcut(QKeySequence(Qt::Key_F1));
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);  // F1 works without opening the menu
    }
}

void CQtDialogWindow::DefaultSysCommand(unsigned command) {
    (void)command;  // moving, closing and so on are the window manager's
}

void CQtDialogWindow::SetIcon(int iconId, bool big) {
    (void)big;  // one QIcon carries every size
    if (iconId == IDR_MAINFRAME) setWindowIcon(QuillonAppIcon());
}

void CQtDialogWindow::Attach(CQuillonDlg& dialog) {
    m_dialog = &dialog;
    m_notifier = new QSocketNotifier(dialog.NotifyFd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        if (m_dialog != nullptr) m_dialog->DispatchBootMessages();
    });
    dialog.OnInitDialog();
}

void CQtDialogWindow::Detach() {
    for (QTimer* timer : std::as_const(m_timers)) timer->stop();
    delete m_notifier;
    m_notifier = nullptr;
    m_dialog = nullptr;
}

int CQtDialogWindow::RunModal(CQuillonDlg& dialog) {
    Attach(dialog);
    const int result = exec();
    Detach();
    return result;
}

void CQtDialogWindow::EndDialog(int result) {
    QDialog::done(result);
}

void CQtDialogWindow::accept() {
    if (m_dialog != nullptr)
        m_dialog->OnOK();
    else
        QDialog::accept();
}

void CQtDialogWindow::reject() {
    if (m_dialog != nullptr)
        m_dialog->OnCancel();
    else
        QDialog::reject();
}

void CQtDialogWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // A focused push button takes Enter as its click; anywhere else it is the dialog's OK.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            if (button->isEnabled()) button->click();
        } else {
            accept();
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CQtDialogWindow::contextMenuEvent(QContextMenuEvent* event) {
    if (!m_contextMenu->isEmpty()) m_contextMenu->exec(event->globalPos());
}

int CQtDialogWindow::RunAboutBox(const CAboutDlg& about) {
    (void)about;
    QDialog box(this, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint);
    box.setWindowTitle(QString::fromUtf8(CAboutDlg::kCaption));
    const CDialogUnits units = UnitsFor(box.font());
    box.setFixedSize(units.X(kAboutWidth), units.Y(kAboutHeight));

    auto* icon = new QLabel(&box);
    icon->setPixmap(QuillonAppIcon().pixmap(32, 32));
    icon->setAccessibleName(QStringLiteral("Quillon"));
    Place(icon, units, {11, 10, 21, 20}, true);

    auto* text = new QLabel(QString::fromUtf8(CAboutDlg::kText), &box);
    Place(text, units, {40, 10, 119, 8}, true);

    auto* ok = new QPushButton(QStringLiteral("OK"), &box);
    ok->setDefault(true);
    ok->setAccessibleName(QStringLiteral("OK"));
    Place(ok, units, {178, 7, 50, 16}, false);
    connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
    ok->setFocus();
    return box.exec();
}
