// SPDX-License-Identifier: Apache-2.0
#pragma once

class IDialogWindow;

// The about box: a caption, one line of text and OK.
class CAboutDlg {
  public:
    static constexpr const char* kCaption = "About Quillon";
    static constexpr const char* kText = "Tolvane Firmware Loader 32-BIT";

    explicit CAboutDlg(IDialogWindow& owner) : m_owner(owner) {}
    int DoModal();
    void DoDataExchange() {}

  private:
    IDialogWindow& m_owner;
};
