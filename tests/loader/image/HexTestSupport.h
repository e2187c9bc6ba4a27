#pragma once
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "FileChooser.h"
#include "HexFile.h"

// Answers the open-file chooser with a fixed path, or cancels.
class CPathChooser : public IFileChooser {
  public:
    bool ChooseOpenFile(const char* filter, std::string& path) override {
        ++m_calls;
        m_filter = filter;
        if (m_cancel) return false;
        path = m_path;
        return true;
    }

    std::string m_path;
    bool m_cancel = false;
    int m_calls = 0;
    std::string m_filter;
};

// A private directory for one test's files, removed afterwards.
class CTempDir {
  public:
    CTempDir() {
        static int s_counter = 0;
        m_dir = std::filesystem::temp_directory_path() /
                ("quillon_hex_" + std::to_string(getpid()) + "_" + std::to_string(++s_counter));
        std::filesystem::create_directories(m_dir);
    }
    ~CTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    std::string PathOf(const std::string& name) const { return (m_dir / name).string(); }

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

  private:
    std::filesystem::path m_dir;
};

// One CHexFile with its chooser, loading files of a test's directory.
struct SLoadedHex {
    SLoadedHex() { m_hex.SetFileChooser(&m_chooser); }
    bool Load(const std::string& path) {
        m_chooser.m_path = path;
        return m_hex.Load();
    }
    CPathChooser m_chooser;
    CHexFile m_hex;
};
