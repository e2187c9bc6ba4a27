// SPDX-License-Identifier: Apache-2.0
#include "BenchRun.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "HexGen.h"

volatile std::sig_atomic_t g_benchInterrupted = 0;

namespace {
void OnInterrupt(int) {
    g_benchInterrupted = 1;
}

bool MakeWorkDir(const char* program, std::string& workDir) {
    if (!workDir.empty()) return ::mkdir(workDir.c_str(), 0755) == 0 || errno == EEXIST;
    std::string pattern = std::string("/tmp/") + program + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) return false;
    workDir = name.data();
    return true;
}
}  // namespace

void CatchBenchInterrupts() {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

bool ParseBenchCount(const char* text, long low, long high, long& out) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < low || value > high) return false;
    out = value;
    return true;
}

int PrepareBenchRun(const char* program, const std::string& flashPath, std::string& workDir,
                    uint32_t sizeBytes, uint32_t recordBytes, CBenchFirmware& firmware) {
    if (::access(flashPath.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "%s: %s is not an executable\n", program, flashPath.c_str());
        return kBenchExitUsage;
    }
    if (!MakeWorkDir(program, workDir)) {
        std::fprintf(stderr, "%s: cannot create the work directory\n", program);
        return kBenchExitSetup;
    }
    firmware.path = workDir + "/firmware.hex";
    CHexGenOptions hex;
    hex.totalBytes = sizeBytes;
    hex.bytesPerRecord = recordBytes;
    std::string error;
    if (!WriteHexFile(firmware.path, hex, error) ||
        !ComputeExpectedImage(firmware.path, firmware.expected, error)) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return kBenchExitSetup;
    }
    return 0;
}
