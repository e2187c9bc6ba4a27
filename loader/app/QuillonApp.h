// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>

#include "StartArguments.h"

class IDialogWindow;
class CQuillonDlg;

// Runs the main dialog modally for the life of the program.
class CQuillonApp {
  public:
    explicit CQuillonApp(IDialogWindow& window, CStartTarget start = DefaultStartTarget())
        : m_window(window), m_start(start) {}
    // False: the program ends when the dialog has ended; there is no message loop after it.
    bool InitInstance();

    // Named only; nothing is ever read from or written to it.
    void SetRegistryKey(const char* key) { m_registryKey = key; }
    const std::string& RegistryKey() const { return m_registryKey; }
    CQuillonDlg* MainWnd() const { return m_mainWnd; }

  private:
    IDialogWindow& m_window;
    CStartTarget m_start;
    std::string m_registryKey;
    CQuillonDlg* m_mainWnd = nullptr;
};
