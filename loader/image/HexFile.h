// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FileChooser.h"

constexpr size_t kLineBufferSize = 1000;
// ReadRecord's limit as the engine uses it.
constexpr int kReadRecordLimit = 995;

class CHexFile {
  public:
    static constexpr const char* kFilter = "Hex File (*.hex)|*.hex|";

    CHexFile() = default;
    ~CHexFile() { CloseFile(); }
    CHexFile(const CHexFile&) = delete;
    CHexFile& operator=(const CHexFile&) = delete;

    void SetFileChooser(IFileChooser* chooser) { m_chooser = chooser; }

    bool Load();
    void CloseFile();
    bool Rewind();
    uint16_t ReadRecord(uint8_t* destination, int limit);
    // The next line as ReadRecord reads it (at most size - 1 characters, size at most
    // kLineBufferSize), neither converted nor counted. 0 at the end or with no file open.
    int ReadLine(char* buffer, int size);
    uint16_t ComputeImageCrc(uint32_t& start, uint32_t& length, uint16_t& crc);

    bool IsOpen() const { return m_file != nullptr; }
    // Whether a read has met the end of the file (or no file is open); ReadRecord's 0 alone
    // does not tell the end from a line that is not a record.
    bool AtEnd() const { return m_file == nullptr || std::feof(m_file) != 0; }
    const std::string& Path() const { return m_path; }
    int32_t TotalLines() const { return m_totalLines.load(std::memory_order_relaxed); }
    int32_t LinesRead() const { return m_linesRead.load(std::memory_order_relaxed); }
    // Data bytes of the data records of the file last loaded, as DataBytesOf counts them; 0
    // until a Load succeeds. Kept across CloseFile, so a finished run can still be summed up.
    uint32_t TotalDataBytes() const { return m_totalDataBytes.load(std::memory_order_relaxed); }
    // Data bytes that a record in byte form (as ReadRecord gives it) carries to the unit: the
    // byte count of a data record, at most what its line supplied; 0 for other types.
    static uint32_t DataBytesOf(const uint8_t* record, uint16_t length);
    // Whether the last ComputeImageCrc since Load found data inside the image window; when false
    // its range is empty and a verify would check nothing.
    bool ImageHasData() const { return m_imageHasData; }
    // Whether the last Load refused the chosen path for not being a regular file (a directory,
    // FIFO, device or socket would block or never end).
    bool NotRegularFile() const { return m_notRegularFile; }
    // Whether the open file is no longer the one Load counted: rewritten, truncated or grown
    // in place, or its path now names another file or none. False with no file open.
    bool Changed() const;

    // The process's one image, as the last ComputeImageCrc left it.
    static const uint8_t* Image();

  private:
    // What tells one version of a file from another without reading it.
    struct SIdentity {
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t size = 0;
        int64_t mtimeSeconds = 0;
        int64_t mtimeNanoseconds = 0;
        bool operator==(const SIdentity&) const = default;
    };

    bool OpenRegularFile();
    void AddLinesRead(int32_t count);

    std::string m_path;
    FILE* m_file = nullptr;
    // Read by the dialog's progress timer while the worker reads records.
    std::atomic<int32_t> m_totalLines{0};
    std::atomic<int32_t> m_linesRead{0};
    std::atomic<uint32_t> m_totalDataBytes{0};
    bool m_imageHasData = false;
    bool m_notRegularFile = false;
    SIdentity m_identity;
    IFileChooser* m_chooser = nullptr;
};
