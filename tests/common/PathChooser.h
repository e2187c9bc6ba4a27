// SPDX-License-Identifier: Apache-2.0
#pragma once
// The file chooser as a test answers it: with m_path, or a cancel when m_cancel is set.
#include <string>
#include <utility>

#include "FileChooser.h"

class CPathChooser : public IFileChooser {
  public:
    CPathChooser() = default;
    explicit CPathChooser(std::string path) : m_path(std::move(path)) {}

    bool ChooseOpenFile(const char* filter, std::string& path) override {
        ++m_calls;
        m_filter = filter != nullptr ? filter : "";
        if (m_cancel) return false;
        path = m_path;
        return true;
    }

    std::string m_path;
    bool m_cancel = false;
    int m_calls = 0;
    std::string m_filter;  // as the last call passed it
};
