// SPDX-License-Identifier: Apache-2.0
#include "RecordingWindow.h"

#include "AboutDlg.h"
#include "QuillonIds.h"

void CRecordingWindow::ShowMessage(const char* text) {
    m_boxes.push_back({text, "Quillon", false});
}

bool CRecordingWindow::AskYesNo(const char* text) {
    m_questions.emplace_back(text);
    return m_answerYes;
}

void CRecordingWindow::ShowErrorBox(const char* text, const char* caption) {
    m_boxes.push_back({text, caption == nullptr ? "" : caption, true});
}

bool CRecordingWindow::ChooseOpenFile(const char* filter, std::string& path) {
    m_chooserFilters.emplace_back(filter);
    return CHeadlessWindow::ChooseOpenFile(filter, path);
}

void CRecordingWindow::SetTimer(unsigned id, unsigned periodMs) {
    CHeadlessWindow::SetTimer(id, periodMs);
    ++m_timerStarts;
}

void CRecordingWindow::AppendSystemMenu(unsigned command, const char* text) {
    m_systemMenu.emplace_back(command, text == nullptr ? "" : text);
}

int CRecordingWindow::RunAboutBox(const CAboutDlg& about) {
    (void)about;
    m_aboutCaptions.emplace_back(CAboutDlg::kCaption);
    return IDOK;
}
