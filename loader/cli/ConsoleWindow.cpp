#include "ConsoleWindow.h"

#include "QuillonIds.h"

void CConsoleWindow::AppendLogText(int id, const std::string& text) {
    CHeadlessWindow::AppendLogText(id, text);
    if (id != IDC_LOG) return;
    m_partLine += text;
    size_t from = 0;
    for (size_t end = m_partLine.find("\r\n"); end != std::string::npos;
         end = m_partLine.find("\r\n", from)) {
        if (m_lineSink) m_lineSink(m_partLine.substr(from, end - from));
        from = end + 2;
    }
    m_partLine.erase(0, from);
}

void CConsoleWindow::ShowMessage(const char* text) {
    if (m_boxSink) m_boxSink(text);
}

void CConsoleWindow::ShowErrorBox(const char* text, const char* caption) {
    if (m_boxSink) m_boxSink(caption ? std::string(caption) + ": " + text : std::string(text));
}
