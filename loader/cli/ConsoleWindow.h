#pragma once
#include <string>

#include "RecordingWindow.h"

// The loader's window layer on a terminal: the dialog's log lines go to stdout one per line,
// its boxes to stderr, and its progress bar to stderr when that is a terminal. The control
// states are kept as the recording layer keeps them.
class CConsoleWindow : public CRecordingWindow {
  public:
    CConsoleWindow(bool quiet, bool progressBar);

    // Each log line is printed once, as it is appended; the log box set whole (start-up,
    // clearing, trimming) brings no new lines.
    void AppendLogText(int id, const std::string& text) override;
    void ShowMessage(const char* text) override;
    void ShowErrorBox(const char* text, const char* caption) override;
    void SetProgressRange(int id, uint32_t low, uint32_t high) override;
    void SetProgressPos(int id, uint32_t position) override;

    // Ends a progress line that is still drawn, so that what follows starts on its own line.
    void FinishProgress();

  private:
    void DrawProgress();

    bool m_quiet;
    bool m_progressBar;
    bool m_progressDrawn = false;
    std::string m_partLine;  // appended text not yet ended by a line break
    uint32_t m_low = 0, m_high = 100, m_position = 0;
};
