// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

struct CAnnounceConfig {
    std::string name = "Tolvane Unit";
    std::string mac = "00-04-A3-12-34-56";
    std::string message;  // e.g. "Bootloader on UDP port 6969"
    std::string targetAddress = "127.0.0.1";
    uint16_t targetPort = 30303;
    int intervalMs = 2000;  // 0: only SendOnce
    // Local address to send from, so that the listener sees the unit's own address; empty or
    // "0.0.0.0": whatever the system picks.
    std::string sourceAddress;
    // The first announce goes out this much after Start: a unit joining the line later.
    int startDelayMs = 0;
};

// The unit's announce datagrams: "name\r\nmac\r\nmessage", unicast to the target. No broadcast
// option is set, so a broadcast target is refused by the system rather than flooding a network.
class CAnnouncer {
  public:
    explicit CAnnouncer(CAnnounceConfig config);
    ~CAnnouncer();
    CAnnouncer(const CAnnouncer&) = delete;
    CAnnouncer& operator=(const CAnnouncer&) = delete;

    bool Start();  // own thread, sends at once and then every intervalMs
    void Stop();
    bool SendOnce();  // "name\r\nmac\r\nmessage" (pad nothing: the caller chooses texts)
    int Sent() const;
    // The unit restarts: no announce for silentMs, then message from the next one on, at once
    // and every intervalMs.
    void Restart(int silentMs, const std::string& message);
    std::string Message() const;

  private:
    bool OpenLocked();
    bool SendLocked();
    void Run();

    CAnnounceConfig m_config;
    std::string m_payload;
    mutable std::mutex m_sendMutex;  // the socket, the target and the payload
    int m_socket = -1;
    sockaddr_in m_target{};
    std::atomic<int> m_sent{0};

    std::thread m_thread;
    std::mutex m_stopMutex;
    std::condition_variable m_stopWake;
    bool m_stop = false;
    bool m_wake = false;  // the resume time changed
    std::chrono::steady_clock::time_point m_resumeAt;  // silent until then
};
