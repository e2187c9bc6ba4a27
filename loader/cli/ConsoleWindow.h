// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <functional>
#include <string>

#include "HeadlessWindow.h"

// quillon-flash's window layer: no screen. Each line the dialog appends to its log goes to the
// line sink once, as it is appended and as written (bytes a unit sent included; whoever shows
// it shows it through ShownText) (the log box set whole, at start-up, clearing or trimming,
// brings no new line); its boxes (socket errors) go to the box sink as one line.
class CConsoleWindow : public CHeadlessWindow {
  public:
    using CSink = std::function<void(const std::string&)>;
    CConsoleWindow(CSink lineSink, CSink boxSink)
        : m_lineSink(std::move(lineSink)), m_boxSink(std::move(boxSink)) {}

    void AppendLogText(int id, const std::string& text) override;
    void ShowMessage(const char* text) override;
    void ShowErrorBox(const char* text, const char* caption) override;

  private:
    CSink m_lineSink;
    CSink m_boxSink;
    std::string m_partLine;  // appended text not yet ended by a line break
};
