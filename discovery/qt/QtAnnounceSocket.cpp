// SPDX-License-Identifier: Apache-2.0
#include "qt/QtAnnounceSocket.h"

CResult CQtAnnounceSocket::SetProtocolUdp() {
    m_notifier.reset();
    return m_socket.SetProtocolUdp();
}

CResult CQtAnnounceSocket::Bind(uint16_t port) {
    const CResult result = m_socket.Bind(port);
    if (!result.Ok()) return result;
    m_notifier = std::make_unique<QSocketNotifier>(m_socket.Descriptor(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { Arrived(); });
    return result;
}

// Several waiting datagrams are handled per wake-up, each with its own arrival call: a flood then
// costs one event-loop round per batch instead of one per datagram, and the bound keeps the window
// responsive.
void CQtAnnounceSocket::Arrived() {
    for (int handled = 0; handled < kArrivalsPerWake; ++handled) {
        if (!m_socket.WaitReadable(0)) return;
        m_onDataArrival();
        // A report opened by that arrival pauses the rest; closing the window stops them.
        if (!m_notifier || !m_notifier->isEnabled()) return;
    }
}

void CQtAnnounceSocket::Close() {
    m_notifier.reset();  // before the descriptor it watches goes away
    m_socket.Close();
}

void CQtAnnounceSocket::SetNotifying(bool on) {
    if (m_notifier) m_notifier->setEnabled(on);
}
