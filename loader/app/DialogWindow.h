// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>
#include <string>

#include "FileChooser.h"
#include "MessageBox.h"

class CQuillonDlg;
class CAboutDlg;

// What the loader's dialog logic asks of the window system. Controls are addressed by their
// IDC_ ids; everything is called on the dialog thread. The message boxes of the link
// (IMessageBox) and the open-file chooser (IFileChooser) come with it.
class IDialogWindow : public IMessageBox, public IFileChooser {
  public:
    ~IDialogWindow() override = default;

    virtual void EnableControl(int id, bool enable) = 0;
    virtual bool IsControlEnabled(int id) const = 0;
    virtual void ShowControl(int id, bool show) = 0;
    virtual void CheckControl(int id, bool checked) = 0;
    virtual bool IsControlChecked(int id) const = 0;
    virtual void SetControlText(int id, const std::string& text) = 0;
    virtual std::string GetControlText(int id) const = 0;
    // Adds text at the end of an edit box (the log), leaving what it holds in place. The dialog
    // adds one line and its "\r\n" per call, as written: a unit's name may hold any byte, so
    // a layer that shows it on a screen or a terminal shows it through ShownText.
    virtual void AppendLogText(int id, const std::string& text) = 0;
    virtual void SetProgressRange(int id, uint32_t low, uint32_t high) = 0;
    virtual void SetProgressPos(int id, uint32_t position) = 0;
    // Caret to the end of an edit box's text, scrolled into view.
    virtual void ScrollToEnd(int id) = 0;
    // The IP address control's four fields, first octet first; empty fields read as 0.
    virtual void SetAddressFields(int id, const uint8_t fields[4]) = 0;
    virtual void GetAddressFields(int id, uint8_t fields[4]) const = 0;
    // Focus to an edit box with its whole text selected.
    virtual void FocusAndSelectAll(int id) = 0;

    // The data exchange's warning box (modal, owned by the dialog).
    virtual void ShowMessage(const char* text) = 0;
    // A modal question owned by the dialog, answered Yes (true) or No; No is the default and
    // the Esc answer.
    virtual bool AskYesNo(const char* text) = 0;
    // Takes back the question that is up (AskYesNo then returns No); nothing when none is.
    virtual void WithdrawQuestion() = 0;
    // Starting a running timer restarts it.
    virtual void SetTimer(unsigned id, unsigned periodMs) = 0;
    // False when the window has no system menu. text nullptr appends a separator.
    virtual bool HasSystemMenu() const = 0;
    virtual void AppendSystemMenu(unsigned command, const char* text) = 0;
    // The platform's handling of a system command that the dialog does not handle itself.
    virtual void DefaultSysCommand(unsigned command) = 0;
    virtual void SetIcon(int iconId, bool big) = 0;

    // Runs the dialog modally: calls its OnInitDialog, delivers its events, returns the result
    // given to EndDialog.
    virtual int RunModal(CQuillonDlg& dialog) = 0;
    virtual void EndDialog(int result) = 0;
    virtual int RunAboutBox(const CAboutDlg& about) = 0;
};
