// SPDX-License-Identifier: Apache-2.0
#include "DialogRig.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "FrameCodec.h"
#include "HexGen.h"
#include "LogText.h"
#include "LoopbackUnit.h"
#include "TempDir.h"

CUnitSimConfig LoopbackUnit(const std::string& name, uint8_t major, uint8_t minor) {
    CUnitSimConfig config = LoopbackConfig(EWakeup::kNeeded);
    config.name = name;
    config.major = major;
    config.minor = minor;
    return config;
}

CDialogRig::CDialogRig(CUnitSimConfig config) : sim(std::move(config)) {
    EXPECT_TRUE(sim.Start());
    window.Attach(dlg);
}

bool CDialogRig::Connect(int timeoutMs) {
    window.TypeAddress("127.0.0.1");  // never the start address
    window.TypePort(std::to_string(sim.Port()));
    dlg.OnConnect();
    return window.PumpUntil([this] { return dlg.Connected() != 0; }, timeoutMs);
}

bool CDialogRig::Load(const std::string& path) {
    window.SetChooserAnswer(path);
    dlg.OnLoadFirmware();
    return dlg.LastLogLine() == LogText::kLoaded;
}

bool CDialogRig::DisconnectAndWaitForTheExit(int timeoutMs) {
    if (dlg.Connected() == 0) return false;
    const int exits = RequestsFor(CMD_EXIT);
    dlg.OnConnect();
    return window.PumpUntil([&] { return RequestsFor(CMD_EXIT) > exits; }, timeoutMs);
}

std::vector<std::string> CDialogRig::LastLines(size_t count) const {
    const std::vector<std::string> lines = Lines();
    return {lines.end() - static_cast<long>(std::min(count, lines.size())), lines.end()};
}

bool CDialogRig::NotificationsWaiting() const {
    pollfd waiting{dlg.NotifyFd(), POLLIN, 0};
    return ::poll(&waiting, 1, 0) == 1 && (waiting.revents & POLLIN) != 0;
}

bool CDialogRig::WaitForLine(const std::string& line, int timeoutMs) {
    return window.PumpUntil([&] { return HasLine(line); }, timeoutMs);
}

std::vector<std::string> CDialogRig::Lines() const {
    std::vector<std::string> lines;
    const std::string& text = dlg.LogText();
    size_t from = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", from)) {
        lines.push_back(text.substr(from, at - from));
        from = at + 2;
    }
    if (from < text.size()) lines.push_back(text.substr(from));
    return lines;
}

bool CDialogRig::HasLine(const std::string& line) const {
    for (const std::string& l : Lines())
        if (l == line) return true;
    return false;
}

std::vector<std::string> CDialogRig::LinesFrom(const std::string& from) const {
    std::vector<std::string> lines = Lines();
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == from) return {lines.begin() + static_cast<long>(i), lines.end()};
    return {};
}

int CDialogRig::RequestsFor(uint8_t command) const {
    int count = 0;
    for (const CSeenRequest& r : sim.Requests())
        if (!r.wakeup && r.frame && r.command == command) ++count;
    return count;
}

std::string TempPath(const std::string& suffix) {
    CTempDir& dir = CTempDir::Shared();
    return dir.PathOf(dir.NewName(suffix));
}

std::string WriteFirmware(uint32_t totalBytes, uint32_t seed) {
    CHexGenOptions options;
    options.totalBytes = totalBytes;
    options.seed = seed;
    std::string error;
    const std::string path = TempPath(".hex");
    EXPECT_TRUE(WriteHexFile(path, options, error)) << error;
    return path;
}

std::string WriteText(const std::string& text) {
    const std::string path = TempPath(".hex");
    FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f != nullptr) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    return path;
}

void RewriteUnseen(const std::string& path, std::string text) {
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    ASSERT_LE(text.size(), static_cast<size_t>(before.st_size));
    text.resize(static_cast<size_t>(before.st_size), '\n');
    FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::fwrite(text.data(), 1, text.size(), f), text.size());
    std::fclose(f);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

void SendFrameToLink(CQuillonDlg& dlg, const std::vector<uint8_t>& body, const char* from) {
    uint8_t scratch[kRequestScratchSize] = {};
    uint8_t frame[kFrameBufferSize] = {};
    std::copy(body.begin(), body.end(), scratch);
    uint16_t length = 0;
    ASSERT_TRUE(EncodeFrame(scratch, sizeof scratch, static_cast<uint16_t>(body.size()), frame,
                            sizeof frame, length));
    const uint16_t port = dlg.Link().UdpLink().LocalPort();
    ASSERT_NE(port, 0);
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_in source{};
    source.sin_family = AF_INET;
    ASSERT_EQ(::inet_pton(AF_INET, from, &source.sin_addr), 1);
    ASSERT_EQ(ntohl(source.sin_addr.s_addr) >> 24, 127u) << "loopback only";
    EXPECT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&source), sizeof source), 0) << from;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::sendto(s, frame, length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), length);
    ::close(s);
}

CImageOf::CImageOf(const std::string& path) {
    CRecordingWindow chooser;
    chooser.SetChooserAnswer(path);
    CHexFile file;
    file.SetFileChooser(&chooser);
    EXPECT_TRUE(file.Load());
    file.ComputeImageCrc(start, length, crc);
    lines = file.TotalLines();
}
