// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "DialogWindow.h"
#include "QuillonIds.h"

// The loader's window layer without a screen: it keeps every control's state, answers the file
// chooser with a given path, asks nobody (every question is answered No), and lets its owner
// fire the timer and pump the notifications with a bounded wait. quillon-flash draws on it.
class CHeadlessWindow : public IDialogWindow {
  public:
    struct CControl {
        bool enabled = true;
        bool visible = true;
        bool checked = false;
        std::string text;
        uint32_t rangeLow = 0, rangeHigh = 100, position = 0;
        uint8_t fields[4] = {0, 0, 0, 0};
        bool caretAtEnd = false;
        bool focused = false;
        bool selectedAll = false;
    };
    CHeadlessWindow();

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
    void WithdrawQuestion() override {}
    void ShowErrorBox(const char* text, const char* caption) override;
    bool ChooseOpenFile(const char* filter, std::string& path) override;
    void SetTimer(unsigned id, unsigned periodMs) override;
    bool HasSystemMenu() const override { return false; }
    void AppendSystemMenu(unsigned command, const char* text) override;
    void DefaultSysCommand(unsigned command) override { (void)command; }
    void SetIcon(int iconId, bool big) override;
    int RunModal(CQuillonDlg& dialog) override;
    void EndDialog(int result) override;
    int RunAboutBox(const CAboutDlg& about) override;

    // Attaches the dialog and runs its initialisation, as the start of RunModal does.
    void Attach(CQuillonDlg& dialog);
    // Dispatches the waiting notifications and fires timer 2 on its period until done() holds
    // or timeoutMs has passed. True when done() held.
    bool PumpUntil(const std::function<bool()>& done, int timeoutMs);
    // Pumps for the whole time (nothing is expected to arrive).
    void PumpFor(int ms);
    void FireTimer(unsigned id);

    // The user's side.
    void TypeAddress(const char* dotted);
    void TypePort(const std::string& text) { Control(IDC_UDP_PORT).text = text; }
    void SetChooserAnswer(const std::string& path, bool choose = true);
    // Called with the whole log text whenever the log box changes, set whole or appended to.
    void OnLogWritten(std::function<void(const std::string&)> hook) { m_logHook = std::move(hook); }

    CControl& Control(int id) { return m_controls[id]; }
    const CControl& Control(int id) const;
    bool IsControlVisible(int id) const { return Control(id).visible; }

    std::map<unsigned, unsigned> m_timers;  // id -> period
    int m_endResult = -1;

  private:
    CQuillonDlg* m_dialog = nullptr;
    std::map<int, CControl> m_controls;
    std::string m_chooserPath;
    bool m_chooserChooses = false;
    std::function<void(const std::string&)> m_logHook;
};
