#include "HexFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>

#include "HexText.h"
#include "ImageBuilder.h"

namespace {
// What Load counts and ComputeImageCrc reads per call: 254 characters and the terminator.
constexpr int kPieceSize = 255;
constexpr size_t kRecordBufferSize = 256;
constexpr size_t kStreamBufferSize = 1 << 16;

// The process's line buffer, reserved once.
char g_lineBuffer[kLineBufferSize];

// A big stdio buffer makes a full reread cheap. Only one open file can use it at a time; a
// second CHexFile open at the same moment keeps stdio's own buffer.
char g_streamBuffer[kStreamBufferSize];
std::atomic<const CHexFile*> g_streamBufferOwner{nullptr};

bool IsDirectory(FILE* file) {
    struct stat info {};
    return fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode);
}
}  // namespace

const uint8_t* CHexFile::Image() {
    return FirmwareImage();
}

bool CHexFile::Load() {
    CloseFile();
    // What an earlier file's image held says nothing about the next one.
    m_imageHasData = false;
    if (m_chooser == nullptr) return false;
    std::string chosen;
    if (!m_chooser->ChooseOpenFile(kFilter, chosen)) return false;
    m_path = chosen;

    m_file = std::fopen(m_path.c_str(), "r");
    if (m_file == nullptr) return false;
    // Linux opens a directory for reading; it is no file the user could mean.
    if (IsDirectory(m_file)) {
        std::fclose(m_file);
        m_file = nullptr;
        return false;
    }
    const CHexFile* none = nullptr;
    if (g_streamBufferOwner.compare_exchange_strong(none, this)) {
        std::setvbuf(m_file, g_streamBuffer, _IOFBF, sizeof g_streamBuffer);
    }

    // A line longer than 254 characters counts once per piece, as the progress bar expects.
    char piece[kPieceSize];
    int32_t lines = 0;
    while (ReadTextLine(m_file, piece, kPieceSize) != 0) ++lines;
    m_totalLines.store(lines, std::memory_order_relaxed);
    return true;
}

void CHexFile::CloseFile() {
    if (m_file == nullptr) return;
    std::fclose(m_file);
    m_file = nullptr;
    const CHexFile* self = this;
    g_streamBufferOwner.compare_exchange_strong(self, nullptr);
}

bool CHexFile::Rewind() {
    if (m_file == nullptr) return false;
    std::rewind(m_file);
    m_linesRead.store(0, std::memory_order_relaxed);
    return true;
}

void CHexFile::AddLinesRead(int32_t count) {
    // One writer at a time (the engine runs one command at a time); the progress timer reads.
    m_linesRead.store(m_linesRead.load(std::memory_order_relaxed) + count,
                      std::memory_order_relaxed);
}

uint16_t CHexFile::ReadRecord(uint8_t* destination, int limit) {
    if (m_file == nullptr) return 0;
    // A larger limit than the line buffer holds is read as the buffer's size.
    limit = std::min(limit, static_cast<int>(kLineBufferSize));
    if (limit < 2) return 0;
    if (ReadTextLine(m_file, g_lineBuffer, limit) == 0) return 0;
    if (g_lineBuffer[0] != ':') return 0;
    const uint16_t count = ConvertPairs(g_lineBuffer + 1, destination);
    AddLinesRead(1);
    return count;
}

uint16_t CHexFile::ComputeImageCrc(uint32_t& start, uint32_t& length, uint16_t& crc) {
    CImageBuilder builder;
    builder.Begin();
    if (m_file != nullptr) {
        std::rewind(m_file);
        uint32_t segmentBase = 0;
        uint32_t linearBase = 0;
        int32_t records = 0;
        // A 254-character line gives at most 126 bytes, far less than this.
        uint8_t record[kRecordBufferSize];
        while (ReadTextLine(m_file, g_lineBuffer, kPieceSize) != 0 && g_lineBuffer[0] == ':') {
            ++records;
            const uint16_t supplied = ConvertPairs(g_lineBuffer + 1, record);
            if (supplied == 0) break;
            // A byte the line did not supply reads as 0xFF; a record too short to hold its
            // type is therefore of no known type and only resets the bases.
            const auto byteAt = [&](unsigned i) -> uint32_t {
                return i < supplied ? record[i] : 0xFF;
            };
            switch (byteAt(3)) {
                case 0: {
                    const uint32_t offset = byteAt(1) << 8 | byteAt(2);
                    const uint32_t address = (segmentBase + linearBase + offset) | 0x80000000U;
                    if (address >= kBootFlashFloor) break;
                    const uint32_t data = supplied > 4 ? supplied - 4U : 0U;
                    builder.PlaceData(address, record + 4, data, record[0]);
                    break;
                }
                case 2:
                    // x 256, not the x 16 of the Intel HEX definition: the unit places it so.
                    segmentBase = (byteAt(4) << 8 | byteAt(5)) << 8;
                    linearBase = 0;
                    break;
                case 4:
                    linearBase = (byteAt(4) << 8 | byteAt(5)) << 16;
                    segmentBase = 0;
                    break;
                default:
                    segmentBase = 0;
                    linearBase = 0;
                    break;
            }
        }
        AddLinesRead(records);
    }
    m_imageHasData = builder.HasData();
    return builder.Finish(start, length, crc);
}
