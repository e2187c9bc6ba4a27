// SPDX-License-Identifier: Apache-2.0
#include "HexFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "HexText.h"
#include "ImageBuilder.h"

namespace {
// A whole line of the line buffer: ':' and 998 digits give 499 bytes.
constexpr size_t kRecordBufferSize = kLineBufferSize / 2;
constexpr size_t kStreamBufferSize = 1 << 16;

// The process's line buffer, reserved once.
char g_lineBuffer[kLineBufferSize];

// A big stdio buffer makes a full reread cheap. Only one open file can use it at a time; a
// second CHexFile open at the same moment keeps stdio's own buffer.
char g_streamBuffer[kStreamBufferSize];
std::atomic<const CHexFile*> g_streamBufferOwner{nullptr};

// DataBytesOf the line's record as ConvertPairs gives it, converting only the bytes it reads.
uint32_t DataBytesOfLine(const char* text) {
    constexpr size_t kHead = 4;
    const size_t pairs = std::strlen(text) / 2;
    if (pairs < kHead) return 0;
    char head[2 * kHead + 1] = {};
    std::memcpy(head, text, 2 * kHead);
    uint8_t record[kHead];
    ConvertPairs(head, record);
    return CHexFile::DataBytesOf(record, static_cast<uint16_t>(pairs));
}

template <typename Identity>
Identity IdentityOf(const struct stat& info) {
    Identity identity;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.size = info.st_size;
    identity.mtimeSeconds = info.st_mtim.tv_sec;
    identity.mtimeNanoseconds = info.st_mtim.tv_nsec;
    return identity;
}
}  // namespace

const uint8_t* CHexFile::Image() {
    return FirmwareImage();
}

bool CHexFile::Load() {
    CloseFile();
    // What an earlier file's image held says nothing about the next one.
    m_imageHasData = false;
    m_notRegularFile = false;
    m_totalDataBytes.store(0, std::memory_order_relaxed);
    if (m_chooser == nullptr) return false;
    std::string chosen;
    if (!m_chooser->ChooseOpenFile(kFilter, chosen)) return false;
    m_path = chosen;

    if (!OpenRegularFile()) return false;
    const CHexFile* none = nullptr;
    if (g_streamBufferOwner.compare_exchange_strong(none, this)) {
        std::setvbuf(m_file, g_streamBuffer, _IOFBF, sizeof g_streamBuffer);
    }

    // Whole lines up to the line buffer, as the image build reads them; a longer line counts
    // once per piece.
    char line[kLineBufferSize];
    int32_t lines = 0;
    uint32_t dataBytes = 0;
    while (ReadTextLine(m_file, line, kLineBufferSize) != 0) {
        ++lines;
        if (line[0] == ':') dataBytes += DataBytesOfLine(line + 1);
    }
    m_totalLines.store(lines, std::memory_order_relaxed);
    m_totalDataBytes.store(dataBytes, std::memory_order_relaxed);
    return true;
}

uint32_t CHexFile::DataBytesOf(const uint8_t* record, uint16_t length) {
    if (length < 4 || record[3] != 0) return 0;
    return std::min<uint32_t>(record[0], length - 4U);
}

bool CHexFile::OpenRegularFile() {
    // Looked at before opening: a FIFO's open waits for a writer, and a device may never end.
    struct stat info {};
    if (stat(m_path.c_str(), &info) != 0) return false;
    if (!S_ISREG(info.st_mode)) {
        m_notRegularFile = true;
        return false;
    }
    // Non-blocking and looked at again once open, in case the path was swapped in between.
    const int fd = open(m_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool known = fstat(fd, &info) == 0;
    if (!known || !S_ISREG(info.st_mode)) {
        m_notRegularFile = known;
        close(fd);
        return false;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_file = fdopen(fd, "r");
    if (m_file == nullptr) {
        close(fd);
        return false;
    }
    m_identity = IdentityOf<SIdentity>(info);
    return true;
}

bool CHexFile::Changed() const {
    if (m_file == nullptr) return false;
    // The descriptor sees a rewrite in place; the path sees a replacement or a deletion.
    struct stat info {};
    if (fstat(fileno(m_file), &info) != 0 || !(IdentityOf<SIdentity>(info) == m_identity)) {
        return true;
    }
    return stat(m_path.c_str(), &info) != 0 || !(IdentityOf<SIdentity>(info) == m_identity);
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

int CHexFile::ReadLine(char* buffer, int size) {
    if (m_file == nullptr) return 0;
    // A larger size than the line buffer holds is read as the buffer's size.
    size = std::min(size, static_cast<int>(kLineBufferSize));
    if (size < 2) return 0;
    return ReadTextLine(m_file, buffer, size);
}

uint16_t CHexFile::ReadRecord(uint8_t* destination, int limit) {
    if (ReadLine(g_lineBuffer, limit) == 0) return 0;
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
        int32_t records = 0;
        // Whole lines, as ReadRecord reads them: a record of 255 data bytes is 521 characters.
        uint8_t record[kRecordBufferSize];
        while (ReadTextLine(m_file, g_lineBuffer, kLineBufferSize) != 0 && g_lineBuffer[0] == ':') {
            ++records;
            const uint16_t supplied = ConvertPairs(g_lineBuffer + 1, record);
            if (supplied == 0) break;
            builder.PlaceRecord(record, supplied);
        }
        AddLinesRead(records);
    }
    m_imageHasData = builder.HasData();
    return builder.Finish(start, length, crc);
}
