// Announce throughput: the split alone, and the real window under a loopback flood from 300 units.
// Run by hand; the counters say how many announces the window handled per second, how long its
// event loop was ever kept busy, and whether every unit kept exactly one correct row.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "core/AnnounceParser.h"
#include "qt/PelliskWindow.h"

namespace {

constexpr int kUnits = 300;

class CCountingMessageBox : public IMessageBox {
  public:
    void ShowError(std::string_view, std::string_view) override { ++m_shown; }
    int m_shown = 0;
};

std::string AnnounceFor(int unit, int batch) {
    char text[96];
    const int length =
        std::snprintf(text, sizeof text, "Flood unit %03d\r\n00-04-A3-00-%02X-%02X\r\nbatch %d",
                      unit, unit >> 8, unit & 0xFF, batch);
    return std::string(text, static_cast<std::size_t>(length));
}

void BM_SplitAnnounce(benchmark::State& state) {
    const std::string text = AnnounceFor(7, 12345);
    for (auto _ : state) {
        CAnnounceFields fields;
        benchmark::DoNotOptimize(SplitAnnounce(text, &fields));
        benchmark::DoNotOptimize(fields);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SplitAnnounce);

// Sends one announce per unit to 127.0.0.1:port, pausing now and then so that the receive
// buffer is not the thing being measured.
void SendBatch(int fd, uint16_t port, int batch) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    for (int unit = 0; unit < kUnits; ++unit) {
        const std::string payload = AnnounceFor(unit, batch);
        ::sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
        if (unit % 32 == 31) std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

bool RowsAreRight(CQtDeviceList& list, int batch) {
    if (list.RowCount() != kUnits) return false;
    const std::string wanted = "batch " + std::to_string(batch);
    for (int row = 1; row <= kUnits; ++row) {
        std::string_view mac;
        std::string_view message;
        if (!list.SubItem(row, 1, &mac).Ok() || !list.SubItem(row, 3, &message).Ok()) return false;
        if (mac != AnnounceFor(row - 1, 0).substr(16, 17) || message != wanted) return false;
    }
    return true;
}

void BM_WindowUnderLoopbackFlood(benchmark::State& state) {
    CCountingMessageBox box;
    CPelliskWindow window(0, &box);
    window.Load();
    window.show();
    const uint16_t port = window.Listener().LocalPort();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (port == 0 || fd < 0) {
        state.SkipWithError("no loopback listener");
        return;
    }
    // The longest the event loop went without serving a 5 ms timer: the window's responsiveness.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout,
                     [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    heartbeat.start(5);
    sinceTick.start();

    int batch = 0;
    int incomplete = 0;
    for (auto _ : state) {
        ++batch;
        std::atomic<bool> sent{false};
        std::thread sender([&] {
            SendBatch(fd, port, batch);
            sent = true;
        });
        QElapsedTimer waited;
        std::string_view last;
        const std::string wanted = "batch " + std::to_string(batch);
        // A datagram lost on loopback would otherwise stall the batch: give up 100 ms after the
        // last one was sent.
        while (!sent || !waited.isValid() || waited.elapsed() < 100) {
            if (sent && !waited.isValid()) waited.start();
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            if (window.List().SubItem(kUnits, 3, &last).Ok() && last == wanted) break;
        }
        sender.join();
        if (last != wanted) ++incomplete;
    }
    QApplication::processEvents(QEventLoop::AllEvents, 50);
    ::close(fd);
    if (!RowsAreRight(window.List(), batch) && incomplete == 0) {
        state.SkipWithError("the list does not hold one right row per unit");
    }
    state.SetItemsProcessed(state.iterations() * kUnits);
    state.counters["rows"] = window.List().RowCount();
    state.counters["batches_with_loss"] = incomplete;
    state.counters["longest_busy_ms"] = static_cast<double>(longestGap);
    state.counters["reports"] = box.m_shown;
}
BENCHMARK(BM_WindowUnderLoopbackFlood)->UseRealTime()->MinTime(3.0)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
