#pragma once
// HEX files written for engine tests, and a chooser that answers with their path.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BootLink.h"
#include "BootMessageQueue.h"
#include "HexRecordText.h"

struct CPathChooser : IFileChooser {
    std::string path;
    bool ChooseOpenFile(const char*, std::string& chosen) override {
        chosen = path;
        return !path.empty();
    }
};

// records data records of perRecord bytes from 0x9D000000 upwards, then the end record.
// Sizes that do not divide 64 KiB must keep the whole file below 64 KiB.
inline std::string HexFileText(int records, int perRecord = 16, uint8_t seed = 1,
                               uint8_t fill = 0) {
    std::string text;
    uint32_t address = 0;
    for (int r = 0; r < records; ++r) {
        if ((address & 0xFFFF) == 0) {
            const uint16_t upper = static_cast<uint16_t>(0x1D00 + (address >> 16));
            text +=
                HexRecord(4, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)});
        }
        std::vector<uint8_t> data(perRecord);
        for (int i = 0; i < perRecord; ++i)
            data[i] = fill ? fill : static_cast<uint8_t>(seed * 31 + r * 7 + i);
        text += HexRecord(0, static_cast<uint16_t>(address & 0xFFFF), data);
        address += perRecord;
    }
    return text + ":00000001FF\n";
}

class CTempFile {
  public:
    explicit CTempFile(const std::string& text) {
        char name[] = "/tmp/quillon_engine_XXXXXX";
        const int fd = ::mkstemp(name);
        path_ = name;
        FILE* f = ::fdopen(fd, "w");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    ~CTempFile() { ::unlink(path_.c_str()); }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};
