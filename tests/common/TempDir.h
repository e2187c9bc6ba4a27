// SPDX-License-Identifier: Apache-2.0
#pragma once
// A private directory for one test's files, removed with everything in it afterwards.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

class CTempDir {
  public:
    CTempDir() {
        static int s_counter = 0;
        m_dir = std::filesystem::temp_directory_path() /
                ("quillon_test_" + std::to_string(::getpid()) + "_" + std::to_string(++s_counter));
        std::filesystem::create_directories(m_dir);
    }
    ~CTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    std::string Path() const { return m_dir.string(); }
    std::string PathOf(const std::string& name) const { return (m_dir / name).string(); }

    // A file name not handed out before by this directory, ending in suffix; nothing is created.
    std::string NewName(const std::string& suffix = "") {
        return "file" + std::to_string(++m_serial) + suffix;
    }

    // Writes text as given, with every "\n" turned into "\r\n" when crlf is set.
    std::string Write(const std::string& name, const std::string& text, bool crlf = false) const {
        std::string bytes;
        for (char c : text) {
            if (c == '\n' && crlf) bytes += '\r';
            bytes += c;
        }
        const std::string path = PathOf(name);
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f != nullptr) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return path;
    }

    // For helpers that write files outside any one fixture; removed when the program ends.
    static CTempDir& Shared() {
        static CTempDir s_dir;
        return s_dir;
    }

  private:
    std::filesystem::path m_dir;
    int m_serial = 0;
};
