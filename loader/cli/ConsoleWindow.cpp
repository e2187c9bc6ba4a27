#include "ConsoleWindow.h"

#include <cstdio>

#include "QuillonIds.h"

CConsoleWindow::CConsoleWindow(bool quiet, bool progressBar)
    : m_quiet(quiet), m_progressBar(progressBar && !quiet) {}

void CConsoleWindow::AppendLogText(int id, const std::string& text) {
    CRecordingWindow::AppendLogText(id, text);
    if (id != IDC_LOG) return;
    m_partLine += text;
    size_t from = 0;
    for (size_t end = m_partLine.find("\r\n"); end != std::string::npos;
         end = m_partLine.find("\r\n", from)) {
        if (!m_quiet) {
            FinishProgress();
            std::fwrite(m_partLine.data() + from, 1, end - from, stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
        }
        from = end + 2;
    }
    m_partLine.erase(0, from);
}

void CConsoleWindow::ShowMessage(const char* text) {
    CRecordingWindow::ShowMessage(text);
    FinishProgress();
    std::fprintf(stderr, "quillon-flash: %s\n", text);
}

void CConsoleWindow::ShowErrorBox(const char* text, const char* caption) {
    CRecordingWindow::ShowErrorBox(text, caption);
    FinishProgress();
    std::fprintf(stderr, "quillon-flash: %s%s%s\n", caption ? caption : "", caption ? ": " : "",
                 text);
}

void CConsoleWindow::SetProgressRange(int id, uint32_t low, uint32_t high) {
    CRecordingWindow::SetProgressRange(id, low, high);
    if (id != IDC_PROGRESS) return;
    m_low = low;
    m_high = high;
}

void CConsoleWindow::SetProgressPos(int id, uint32_t position) {
    CRecordingWindow::SetProgressPos(id, position);
    if (id != IDC_PROGRESS) return;
    m_position = position;
    DrawProgress();
}

void CConsoleWindow::DrawProgress() {
    if (!m_progressBar) return;
    constexpr int kWidth = 40;
    const uint64_t span = m_high > m_low ? m_high - m_low : 0;
    const uint64_t done = m_position > m_low ? m_position - m_low : 0;
    const int filled = span ? static_cast<int>((done > span ? span : done) * kWidth / span) : 0;
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %u/%u", bar, static_cast<unsigned>(done),
                 static_cast<unsigned>(span));
    std::fflush(stderr);
    m_progressDrawn = true;
}

void CConsoleWindow::FinishProgress() {
    if (!m_progressDrawn) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_progressDrawn = false;
}
