// SPDX-License-Identifier: Apache-2.0
// Flash throughput of the command engine against the in-process simulated unit on loopback.
// The engine's own bound is one batch per worker pass: the 1 ms sleep plus the pass's work,
// measured here as the mean real length of that sleep.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "BootLink.h"
#include "BootMessageQueue.h"
#include "PathChooser.h"
#include "UnitSim.h"

namespace {

// 512 KiB at 0x9D000000 in records of 16 bytes, with an address record per 64 KiB.
std::string WriteImage() {
    char name[] = "/tmp/quillon_bench_XXXXXX";
    const int fd = ::mkstemp(name);
    FILE* f = ::fdopen(fd, "w");
    for (uint32_t address = 0; address < 512 * 1024; address += 16) {
        if ((address & 0xFFFF) == 0) {
            const unsigned upper = 0x1D00 + (address >> 16);
            const unsigned sum = 2 + 4 + (upper >> 8) + (upper & 0xFF);
            std::fprintf(f, ":02000004%04X%02X\n", upper, (0x100 - (sum & 0xFF)) & 0xFF);
        }
        unsigned sum = 16 + ((address >> 8) & 0xFF) + (address & 0xFF);
        std::fprintf(f, ":10%04X00", address & 0xFFFF);
        for (int i = 0; i < 16; ++i) {
            const unsigned b = (address * 7 + i * 13) & 0xFF;
            sum += b;
            std::fprintf(f, "%02X", b);
        }
        std::fprintf(f, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
    }
    std::fprintf(f, ":00000001FF\n");
    std::fclose(f);
    return name;
}

double MeanPassSeconds() {
    constexpr int kSamples = 500;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kSamples; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
           kSamples;
}

void BM_Flash512KiB(benchmark::State& state) {
    CUnitSimConfig config;
    config.port = 0;
    config.wakeupNeeded = false;  // programs straight away, without a Connect
    CUnitSim unit(config);
    if (!unit.Start()) {
        state.SkipWithError("simulated unit did not start");
        return;
    }
    const std::string path = WriteImage();
    CPathChooser chooser(path);
    CBootMessageQueue queue;
    CBootLink link;
    link.SetFileChooser(&chooser);
    link.Load();
    link.Open(unit.Port(), htonl(INADDR_LOOPBACK));
    link.StartWorker(&queue);
    const double pass = MeanPassSeconds();

    size_t batches = 0;
    double seconds = 0;
    for (auto _ : state) {
        unit.ClearRequests();
        const auto start = std::chrono::steady_clock::now();
        link.StartCommand(CMD_PROGRAM, 0, 3, 500);
        CBootMessage m;
        while (!queue.Take(m)) queue.WaitFor(100);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        batches += unit.RequestCount();
    }
    link.StopWorker();
    ::unlink(path.c_str());
    const double rate = static_cast<double>(batches) / seconds;
    state.counters["batches_per_s"] = rate;
    state.counters["bound_per_s"] = 1.0 / pass;
    state.counters["ratio_to_bound"] = rate * pass;
}
BENCHMARK(BM_Flash512KiB)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
