// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QDialog>
#include <QHash>
#include <string>

#include "DialogUnits.h"
#include "DialogWindow.h"

class CAddressBox;
class QAction;
class QCheckBox;
class QLineEdit;
class QMessageBox;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSocketNotifier;
class QTimer;

// The loader's main dialog drawn with Qt Widgets, laid out from its template in dialog units
// converted through the dialog's font. Linux offers no system menu, so its entries go to the
// window's context menu (and the about entry to F1 as well).
class CQtDialogWindow : public QDialog, public IDialogWindow {
    Q_OBJECT
  public:
    explicit CQtDialogWindow(QWidget* parent = nullptr);
    ~CQtDialogWindow() override;

    // IDialogWindow
    void EnableControl(int id, bool enable) override;
    bool IsControlEnabled(int id) const override;
    void ShowControl(int id, bool show) override;
    void CheckControl(int id, bool checked) override;
    bool IsControlChecked(int id) const override;
    void SetControlText(int id, const std::string& text) override;
    std::string GetControlText(int id) const override;
    void AppendLogText(int id, const std::string& text) override;
    void SetProgressRange(int id, uint32_t low, uint32_t high) override;
    void SetProgressPos(int id, uint32_t position) override;
    void ScrollToEnd(int id) override;
    void SetAddressFields(int id, const uint8_t fields[4]) override;
    void GetAddressFields(int id, uint8_t fields[4]) const override;
    void FocusAndSelectAll(int id) override;
    void ShowMessage(const char* text) override;
    bool AskYesNo(const char* text) override;
    void WithdrawQuestion() override;
    void ShowErrorBox(const char* text, const char* caption) override;
    bool ChooseOpenFile(const char* filter, std::string& path) override;
    void SetTimer(unsigned id, unsigned periodMs) override;
    bool HasSystemMenu() const override { return true; }
    void AppendSystemMenu(unsigned command, const char* text) override;
    void DefaultSysCommand(unsigned command) override;
    void SetIcon(int iconId, bool big) override;
    int RunModal(CQuillonDlg& dialog) override;
    void EndDialog(int result) override;
    int RunAboutBox(const CAboutDlg& about) override;

    // Attach runs the dialog's initialisation and delivers its events until Detach; RunModal
    // is Attach, exec and Detach. Tests attach and show without a modal loop.
    void Attach(CQuillonDlg& dialog);
    void Detach();

    QWidget* Control(int id) const { return m_controls.value(id, nullptr); }
    const CDialogUnits& Units() const { return m_units; }
    // The window's context menu, built from the system-menu entries.
    QMenu* ContextMenu() const { return m_contextMenu; }

  public slots:
    void accept() override;
    void reject() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void BuildControls();
    QTimer* TimerFor(unsigned id);

    CQuillonDlg* m_dialog = nullptr;
    CDialogUnits m_units;
    QHash<int, QWidget*> m_controls;
    QPushButton* m_load = nullptr;
    QPushButton* m_connect = nullptr;
    QPushButton* m_flash = nullptr;
    QProgressBar* m_progress = nullptr;
    QPlainTextEdit* m_log = nullptr;
    CAddressBox* m_address = nullptr;
    QLineEdit* m_port = nullptr;
    QCheckBox* m_reset = nullptr;
    QCheckBox* m_standard = nullptr;
    QMenu* m_contextMenu = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    // The question that is up, for WithdrawQuestion; nullptr when none is.
    QMessageBox* m_question = nullptr;
    QHash<unsigned, QTimer*> m_timers;
    // Scale of the progress bar when the total exceeds its int range.
    uint32_t m_progressShift = 0;
    // The range set was empty (high <= low): the bar shows as empty, not as busy.
    bool m_progressEmpty = false;
};
