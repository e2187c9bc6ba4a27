// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "HeadlessWindow.h"

// The headless window that also records the boxes, questions, menus, icons, timers and chooser
// filters the dialog asks for, for tests to look at; questions get the answer set here.
class CRecordingWindow : public CHeadlessWindow {
  public:
    struct CBox {
        std::string text;
        std::string caption;  // "" for the default error caption
        bool error = false;
    };

    void ShowMessage(const char* text) override;
    bool AskYesNo(const char* text) override;
    void ShowErrorBox(const char* text, const char* caption) override;
    bool ChooseOpenFile(const char* filter, std::string& path) override;
    void SetTimer(unsigned id, unsigned periodMs) override;
    bool HasSystemMenu() const override { return m_hasSystemMenu; }
    void AppendSystemMenu(unsigned command, const char* text) override;
    void DefaultSysCommand(unsigned command) override { m_defaultSysCommands.push_back(command); }
    void SetIcon(int iconId, bool big) override { (big ? m_bigIcon : m_smallIcon) = iconId; }
    int RunAboutBox(const CAboutDlg& about) override;

    bool m_hasSystemMenu = true;
    std::vector<std::pair<unsigned, std::string>> m_systemMenu;  // {0, ""}: separator
    std::vector<unsigned> m_defaultSysCommands;
    std::vector<CBox> m_boxes;
    std::vector<std::string> m_questions;  // asked through AskYesNo, in order
    bool m_answerYes = false;              // the user's answer to every question
    std::vector<std::string> m_aboutCaptions;
    std::vector<std::string> m_chooserFilters;
    int m_timerStarts = 0;
    int m_bigIcon = 0, m_smallIcon = 0;
};
