// SPDX-License-Identifier: Apache-2.0
#include "ConsoleWindow.h"

#include "QuillonIds.h"

void CConsoleWindow::AppendLogText(int id, const std::string& text) {
    CHeadlessWindow::AppendLogText(id, text);
    if (id != IDC_LOG) return;
    // The dialog appends one line per call; a CR LF inside it is a unit's, not a line break,
    // so the line goes on whole, every byte kept.
    m_partLine += text;
    if (m_partLine.size() < 2 || m_partLine.compare(m_partLine.size() - 2, 2, "\r\n") != 0) return;
    m_partLine.resize(m_partLine.size() - 2);
    if (m_lineSink) m_lineSink(m_partLine);
    m_partLine.clear();
}

void CConsoleWindow::ShowMessage(const char* text) {
    if (m_boxSink) m_boxSink(text);
}

void CConsoleWindow::ShowErrorBox(const char* text, const char* caption) {
    if (m_boxSink) m_boxSink(caption ? std::string(caption) + ": " + text : std::string(text));
}
