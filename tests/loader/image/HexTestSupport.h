// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>

#include "HexFile.h"
#include "PathChooser.h"
#include "TempDir.h"

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
