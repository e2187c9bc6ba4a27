// SPDX-License-Identifier: Apache-2.0
// Crc16 throughput and the full image build (refill, reread, CRC) on generated firmware files.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Crc16.h"
#include "HexFile.h"
#include "HexGen.h"
#include "PathChooser.h"

namespace {
std::filesystem::path BenchDir() {
    static const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                             ("quillon_bench_image_" + std::to_string(getpid()));
    return dir;
}

// The file for a data size, generated once: 16 bytes per record from 0x1D000000.
std::string HexFileFor(uint32_t bytes) {
    const std::string path = (BenchDir() / ("image_" + std::to_string(bytes) + ".hex")).string();
    if (!std::filesystem::exists(path)) {
        std::filesystem::create_directories(BenchDir());
        CHexGenOptions options;
        options.totalBytes = bytes;
        options.bytesPerRecord = 16;
        options.startAddress = 0x1D000000;
        std::string error;
        if (!WriteHexFile(path, options, error))
            std::fprintf(stderr, "hexgen: %s\n", error.c_str());
    }
    return path;
}

void BM_Crc16(benchmark::State& state) {
    std::vector<uint8_t> data(static_cast<size_t>(state.range(0)));
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Crc16(data.data(), static_cast<uint32_t>(data.size())));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc16)->Arg(4096)->Arg(4 << 20);

void BM_ComputeImageCrc(benchmark::State& state) {
    const auto bytes = static_cast<uint32_t>(state.range(0));
    CPathChooser chooser(HexFileFor(bytes));
    CHexFile hex;
    hex.SetFileChooser(&chooser);
    if (!hex.Load()) {
        state.SkipWithError("cannot load the generated file");
        return;
    }
    uint32_t start = 0;
    uint32_t length = 0;
    uint16_t crc = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(hex.ComputeImageCrc(start, length, crc));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
    state.counters["records"] = hex.TotalLines();
    state.counters["length"] = length;
}
BENCHMARK(BM_ComputeImageCrc)->Arg(512 << 10)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

// The same CRC by srec_cat, for comparison; printed, not measured by the library.
void PrintSrecCatReference() {
    if (std::system("command -v srec_cat >/dev/null 2>&1") != 0) {
        std::printf("srec_cat not installed: no reference time\n");
        return;
    }
    const std::string file = HexFileFor(4 << 20);
    const std::string input = "'" + file + "' -intel";
    const std::string command = "srec_cat " + input + " -fill 0xFF -over " + input +
                                " -range-pad 4 -crc16-b-e 0 -xmodem -crop 0 2 -o /dev/null";
    const auto begin = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const auto elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin);
    std::printf("srec_cat CRC-16 over the 4 MiB file: %.0f ms%s\n", elapsed.count(),
                status == 0 ? "" : " (failed)");
}
}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    PrintSrecCatReference();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(BenchDir(), ignored);
    return 0;
}
