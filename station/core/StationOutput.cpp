// SPDX-License-Identifier: Apache-2.0
#include "StationOutput.h"

#include <unistd.h>

#include <QJsonDocument>
#include <cerrno>
#include <cmath>

namespace {

void WriteAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a closed reader loses the text, never the station
        data += n;
        left -= n;
    }
}

}  // namespace

QString PrintableText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || (c.unicode() >= 0x80 && c.unicode() < 0xA0))
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

CStationOutput::CStationOutput(bool json, int outFd, int errFd)
    : m_json(json), m_outFd(outFd), m_errFd(errFd) {
    m_clock.start();
}

double CStationOutput::Seconds() const {
    return std::round(static_cast<double>(m_clock.nsecsElapsed()) / 1e6) / 1000.0;
}

void CStationOutput::Line(const QString& text) {
    WriteAll(m_errFd, (QStringLiteral("quillon-station: ") + PrintableText(text) + QLatin1Char('\n')).toUtf8());
}

void CStationOutput::Event(QJsonObject event) {
    if (!m_json) return;
    event[QStringLiteral("time")] = Seconds();
    WriteAll(m_outFd, QJsonDocument(event).toJson(QJsonDocument::Compact) + '\n');
}
