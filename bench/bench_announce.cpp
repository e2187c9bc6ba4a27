// SPDX-License-Identifier: Apache-2.0
// Announce throughput: the split alone; pellisk-watch's list with known units against a flood of
// new MACs; and the real window under a loopback flood from 300 units. Run by hand; the window's
// counters say how many announces it handled per second, how long its event loop was ever kept
// busy, and whether every unit kept exactly one correct row.
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
#include "core/UdpAnnounceSocket.h"
#include "core/ListDesign.h"
#include "qt/PelliskWindow.h"
#include "watch/Watcher.h"

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

// Hands the watcher one prepared announce per read, without a socket: the list's work alone.
class CPreparedSocket : public IAnnounceSocket {
  public:
    CResult SetProtocolUdp() override { return Success(); }
    CResult Bind(uint16_t) override { return Success(); }
    CResult ReadDatagram(char* buffer, std::size_t capacity, std::size_t* length,
                         uint32_t* sender) override {
        *length = std::min(capacity, m_next->size());
        std::copy_n(m_next->data(), *length, buffer);
        *sender = 0x7F000001;
        return Success();
    }
    void Close() override {}
    void SetNotifying(bool) override {}

    const std::string* m_next = nullptr;
};

// One datagram for a numbered unit; its MAC follows the number, its message stays the same.
void WriteAnnounce(uint32_t unit, std::string* out) {
    char text[96];
    const int length = std::snprintf(text, sizeof text,
                                     "Unit %u\r\n02-00-%02X-%02X-%02X-%02X\r\nready", unit,
                                     unit >> 24, (unit >> 16) & 0xFF, (unit >> 8) & 0xFF,
                                     unit & 0xFF);
    out->assign(text, static_cast<std::size_t>(length));
}

// Feeds the watcher either from memory or through a real socket on 127.0.0.1, as pellisk-watch
// reads: then each batch is sent while the clock is stopped and only the reading is timed.
class CAnnounceFeed {
  public:
    explicit CAnnounceFeed(bool throughSocket) : m_throughSocket(throughSocket) {}
    ~CAnnounceFeed() {
        if (m_sender >= 0) ::close(m_sender);
    }
    IAnnounceSocket& Socket() { return m_counted; }
    // Datagrams read since the start: fewer than offered means the socket dropped some.
    long Read() const { return m_counted.m_read; }
    bool Open() {
        if (!m_throughSocket) return true;
        m_sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        m_to.sin_family = AF_INET;
        m_to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_to.sin_port = htons(m_udp.LocalPort());
        return m_sender >= 0 && m_udp.IsBound();
    }
    // Makes the announce ready to be read.
    void Offer(const std::string& text) {
        if (!m_throughSocket) {
            m_prepared.m_next = &text;
            return;
        }
        ::sendto(m_sender, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&m_to),
                 sizeof m_to);
    }
    bool Queues() const { return m_throughSocket; }

  private:
    class CCountingSocket : public IAnnounceSocket {
      public:
        explicit CCountingSocket(IAnnounceSocket& inner) : m_inner(inner) {}
        CResult SetProtocolUdp() override { return m_inner.SetProtocolUdp(); }
        CResult Bind(uint16_t port) override { return m_inner.Bind(port); }
        CResult ReadDatagram(char* buffer, std::size_t capacity, std::size_t* length,
                             uint32_t* sender) override {
            const CResult result = m_inner.ReadDatagram(buffer, capacity, length, sender);
            if (*length > 0) ++m_read;
            return result;
        }
        void Close() override { m_inner.Close(); }
        void SetNotifying(bool on) override { m_inner.SetNotifying(on); }
        long m_read = 0;

      private:
        IAnnounceSocket& m_inner;
    };

    bool m_throughSocket;
    CPreparedSocket m_prepared;
    CUdpAnnounceSocket m_udp;
    CCountingSocket m_counted{m_throughSocket ? static_cast<IAnnounceSocket&>(m_udp)
                                              : m_prepared};
    int m_sender = -1;
    sockaddr_in m_to{};
};

// pellisk-watch's path for one announce (read, list, events, lines) at a full list. Argument 0:
// 0 for the list's units announcing again and again, 1 for a flood of MACs never heard before, so
// that every announce evicts a row. Argument 1: 1 to read from a socket, 0 from memory. Lines go
// into a counter.
void BM_WatcherAnnounce(benchmark::State& state) {
    const bool flood = state.range(0) != 0;
    // Through a socket, few enough that a batch always fits in its receive buffer.
    const std::size_t batch = state.range(1) != 0 ? 64 : 4096;
    CAnnounceFeed feed(state.range(1) != 0);
    std::size_t printed = 0;
    CWatchOptions options;
    options.port = 0;
    CWatcher watcher(
        options, feed.Socket(), [&](std::string_view line) { printed += line.size(); },
        [](std::string_view) {});
    std::string error;
    if (!watcher.Start(&error) || !feed.Open()) {
        state.SkipWithError(error.empty() ? "no loopback listener" : error.c_str());
        return;
    }
    std::vector<std::string> announces(batch);
    uint32_t unit = 0;
    const auto nextUnit = [&] {
        return flood ? unit++ : unit++ % static_cast<uint32_t>(kMaxDeviceRows);
    };
    while (unit < static_cast<uint32_t>(kMaxDeviceRows)) {
        WriteAnnounce(nextUnit(), &announces[0]);
        feed.Offer(announces[0]);
        watcher.Arrive();
    }
    for (auto _ : state) {
        state.PauseTiming();
        for (std::string& text : announces) {
            WriteAnnounce(nextUnit(), &text);
            if (feed.Queues()) feed.Offer(text);
        }
        state.ResumeTiming();
        for (const std::string& text : announces) {
            if (!feed.Queues()) feed.Offer(text);
            watcher.Arrive();
        }
    }
    const auto offered = static_cast<double>(state.iterations() * batch) + kMaxDeviceRows;
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(batch));
    state.counters["rows"] = watcher.Rows().Count();
    state.counters["lost"] = offered - static_cast<double>(feed.Read());
    state.counters["printed_per_announce"] = static_cast<double>(printed) / offered;
}
BENCHMARK(BM_WatcherAnnounce)
    ->ArgNames({"flood", "socket"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kNanosecond);

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
