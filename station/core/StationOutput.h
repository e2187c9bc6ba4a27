// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>

// Where the station tells what happens: one human line per event on stderr, and with --json one
// JSON object per line on stdout, each written whole.
class CStationOutput {
  public:
    explicit CStationOutput(bool json, int outFd = 1, int errFd = 2);

    // A line for a person. Announced text is hostile: control characters are shown escaped.
    void Line(const QString& text);
    // With --json: the event with "time" (seconds since the station started) set.
    void Event(QJsonObject event);
    bool Json() const { return m_json; }
    double Seconds() const;

  private:
    bool m_json;
    int m_outFd;
    int m_errFd;
    QElapsedTimer m_clock;
};

// Text safe for a terminal: control characters and DEL as \xNN.
QString PrintableText(const QString& text);
