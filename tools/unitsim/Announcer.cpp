// SPDX-License-Identifier: Apache-2.0
#include "Announcer.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

CAnnouncer::CAnnouncer(CAnnounceConfig config)
    : m_config(std::move(config)),
      m_payload(m_config.name + "\r\n" + m_config.mac + "\r\n" + m_config.message) {}

CAnnouncer::~CAnnouncer() {
    Stop();
    if (m_socket >= 0) ::close(m_socket);
}

bool CAnnouncer::OpenLocked() {
    if (m_socket >= 0) return true;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(m_config.targetPort);
    if (::inet_pton(AF_INET, m_config.targetAddress.c_str(), &target.sin_addr) != 1) {
        std::fprintf(stderr, "unitsim: announce target \"%s\" is not an IPv4 address\n",
                     m_config.targetAddress.c_str());
        return false;
    }
    sockaddr_in source{};
    source.sin_family = AF_INET;
    const bool bindSource = !m_config.sourceAddress.empty() && m_config.sourceAddress != "0.0.0.0";
    if (bindSource && ::inet_pton(AF_INET, m_config.sourceAddress.c_str(), &source.sin_addr) != 1) {
        std::fprintf(stderr, "unitsim: announce source \"%s\" is not an IPv4 address\n",
                     m_config.sourceAddress.c_str());
        return false;
    }
    const int s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s < 0) {
        std::fprintf(stderr, "unitsim: cannot create the announce socket: %s\n",
                     std::strerror(errno));
        return false;
    }
    if (bindSource && ::bind(s, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0) {
        std::fprintf(stderr, "unitsim: cannot send announces from %s: %s\n",
                     m_config.sourceAddress.c_str(), std::strerror(errno));
        ::close(s);
        return false;
    }
    m_socket = s;
    m_target = target;
    return true;
}

bool CAnnouncer::SendLocked() {
    if (!OpenLocked()) return false;
    const ssize_t n = ::sendto(m_socket, m_payload.data(), m_payload.size(), 0,
                               reinterpret_cast<const sockaddr*>(&m_target), sizeof m_target);
    if (n != static_cast<ssize_t>(m_payload.size())) return false;
    ++m_sent;
    return true;
}

bool CAnnouncer::SendOnce() {
    std::lock_guard<std::mutex> lock(m_sendMutex);
    return SendLocked();
}

int CAnnouncer::Sent() const {
    return m_sent.load();
}

void CAnnouncer::Restart(int silentMs, const std::string& message) {
    {
        std::lock_guard<std::mutex> lock(m_sendMutex);
        m_config.message = message;
        m_payload = m_config.name + "\r\n" + m_config.mac + "\r\n" + m_config.message;
    }
    {
        std::lock_guard<std::mutex> lock(m_stopMutex);
        m_resumeAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(silentMs);
        m_wake = true;
    }
    m_stopWake.notify_all();
}

std::string CAnnouncer::Message() const {
    std::lock_guard<std::mutex> lock(m_sendMutex);
    return m_config.message;
}

bool CAnnouncer::Start() {
    if (m_thread.joinable()) return true;
    {
        std::lock_guard<std::mutex> lock(m_sendMutex);
        if (!OpenLocked()) return false;
    }
    if (m_config.intervalMs <= 0) return true;  // announces only on SendOnce
    {
        std::lock_guard<std::mutex> lock(m_stopMutex);
        m_stop = false;
        m_resumeAt = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(m_config.startDelayMs);
    }
    m_thread = std::thread(&CAnnouncer::Run, this);
    return true;
}

void CAnnouncer::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_stopMutex);
        m_stop = true;
    }
    m_stopWake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void CAnnouncer::Run() {
    std::unique_lock<std::mutex> stopLock(m_stopMutex);
    const auto woken = [this] { return m_stop || m_wake; };
    while (!m_stop) {
        if (std::chrono::steady_clock::now() < m_resumeAt) {
            m_stopWake.wait_until(stopLock, m_resumeAt, woken);
            m_wake = false;
            continue;
        }
        stopLock.unlock();
        {
            std::lock_guard<std::mutex> lock(m_sendMutex);
            // A failed send is tried again at the next interval, as a unit would.
            (void)SendLocked();
        }
        stopLock.lock();
        m_stopWake.wait_for(stopLock, std::chrono::milliseconds(m_config.intervalMs), woken);
        m_wake = false;
    }
}
