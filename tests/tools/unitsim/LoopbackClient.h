// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "FrameCodec.h"
#include "LoopbackUnit.h"
#include "UnitSim.h"

// A plain UDP socket on an ephemeral loopback port, talking to the unit the way the loader does.
class CLoopbackClient {
  public:
    CLoopbackClient() {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a = Address(0);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~CLoopbackClient() { ::close(m_fd); }
    CLoopbackClient(const CLoopbackClient&) = delete;
    CLoopbackClient& operator=(const CLoopbackClient&) = delete;

    static sockaddr_in Address(uint16_t port, uint32_t host = INADDR_LOOPBACK) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(host);
        return a;
    }
    uint16_t Port() const { return m_port; }
    // Requests go to this loopback host (host order, e.g. 0x7F000002 for 127.0.0.2) from now on.
    void SetTargetHost(uint32_t host) { m_host = host; }

    void SendRaw(uint16_t port, const std::vector<uint8_t>& bytes) {
        const sockaddr_in to = Address(port, m_host);
        ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
    }
    // Frames body with the loader's own encoder.
    static std::vector<uint8_t> Frame(std::vector<uint8_t> body) {
        body.resize(body.size() + 2);
        std::vector<uint8_t> frame(kFrameBufferSize);
        uint16_t length = 0;
        EncodeFrame(body.data(), body.size(), static_cast<uint16_t>(body.size() - 2), frame.data(),
                    frame.size(), length);
        frame.resize(length);
        return frame;
    }
    void SendBody(uint16_t port, const std::vector<uint8_t>& body) { SendRaw(port, Frame(body)); }

    // The next datagram, empty after timeoutMs.
    // fromHost, if given, gets the sender's address (host order).
    std::vector<uint8_t> ReceiveRaw(int timeoutMs = 1000, uint32_t* fromHost = nullptr) {
        pollfd pfd{m_fd, POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) <= 0) return {};
        std::vector<uint8_t> buffer(2048);
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(m_fd, buffer.data(), buffer.size(), 0,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (fromHost) *fromHost = ntohl(from.sin_addr.s_addr);
        buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return buffer;
    }
    // The body of the next valid reply Frame, decoded by the loader's decoder; empty when none
    // arrives within timeoutMs.
    std::vector<uint8_t> ReceiveBody(int timeoutMs = 1000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < until) {
            const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  until - std::chrono::steady_clock::now())
                                                  .count());
            const std::vector<uint8_t> raw = ReceiveRaw(left > 0 ? left : 0);
            if (raw.empty()) break;
            DecodeBytes(m_decoder, m_escape, raw.data(), static_cast<uint16_t>(raw.size()));
            if (m_decoder.frameComplete) {
                m_decoder.frameComplete = false;
                return {m_decoder.reply, m_decoder.reply + m_decoder.replyLength - 2};
            }
        }
        return {};
    }
    std::vector<uint8_t> Exchange(uint16_t port, const std::vector<uint8_t>& body) {
        SendBody(port, body);
        return ReceiveBody();
    }

  private:
    int m_fd = -1;
    uint16_t m_port = 0;
    uint32_t m_host = INADDR_LOOPBACK;
    CFrameDecoder m_decoder;
    bool m_escape = false;
};

// Binary form of one record, checksum included.
inline std::vector<uint8_t> Record(uint16_t offset, uint8_t type,
                                   const std::vector<uint8_t>& data) {
    std::vector<uint8_t> r(data.size() + 5);
    r[0] = static_cast<uint8_t>(data.size());
    r[1] = static_cast<uint8_t>(offset >> 8);
    r[2] = static_cast<uint8_t>(offset & 0xFF);
    r[3] = type;
    uint8_t sum = static_cast<uint8_t>(r[0] + r[1] + r[2] + r[3]);
    for (size_t i = 0; i < data.size(); ++i) {
        r[4 + i] = data[i];
        sum = static_cast<uint8_t>(sum + data[i]);
    }
    r.back() = static_cast<uint8_t>(-sum);
    return r;
}

inline std::vector<uint8_t> Batch(std::initializer_list<std::vector<uint8_t>> records) {
    std::vector<uint8_t> body;
    for (const auto& r : records) body.insert(body.end(), r.begin(), r.end());
    return body;
}

// A version 1.04 read-version reply carrying name in its 16-byte field.
inline std::vector<uint8_t> VersionReply(const std::string& name) {
    std::vector<uint8_t> reply(19, 0);
    reply[0] = 1;
    reply[1] = 1;
    reply[2] = 4;
    for (size_t i = 0; i < name.size() && i < 16; ++i) reply[3 + i] = static_cast<uint8_t>(name[i]);
    return reply;
}

inline std::vector<uint8_t> VerifyBody(uint32_t start, uint32_t length, uint16_t crc = 0) {
    std::vector<uint8_t> b = {4};
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(start >> (8 * i)));
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(length >> (8 * i)));
    b.push_back(static_cast<uint8_t>(crc & 0xFF));
    b.push_back(static_cast<uint8_t>(crc >> 8));
    return b;
}
