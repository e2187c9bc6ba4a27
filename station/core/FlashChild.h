// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <functional>

// One unit's quillon-flash --json, as a child process in a process group of its own (a terminal's
// Ctrl-C reaches only the station, which forwards it once) that dies with the station. Its JSON
// Lines arrive as objects; exactly one result comes last, made here when the process ended
// without one. The end is told once the process is gone, from Qt's signal: the owner must not
// destroy the child inside that call.
class CFlashChild {
  public:
    using EventSink = std::function<void(const QJsonObject& event)>;
    using EndSink = std::function<void()>;

    CFlashChild(EventSink onEvent, EndSink onEnded);
    ~CFlashChild();
    CFlashChild(const CFlashChild&) = delete;
    CFlashChild& operator=(const CFlashChild&) = delete;

    void Start(const QString& program, const QStringList& arguments);
    // quillon-flash's interrupt path: SIGINT, once (a second one would end it without a word).
    void Interrupt();
    void Kill();

    bool Ended() const { return m_ended; }
    // The result event; valid once Ended().
    const QJsonObject& Result() const { return m_result; }
    qint64 Pid() const { return m_process.processId(); }

  private:
    void ReadOutput();
    void TakeLine(const QByteArray& line);
    void Finish(const QString& reason, int exitCode);

    QProcess m_process;
    EventSink m_onEvent;
    EndSink m_onEnded;
    QByteArray m_pending;
    QJsonObject m_result;
    QByteArray m_lastError;  // the last line quillon-flash wrote on stderr
    bool m_interrupted = false;
    bool m_haveResult = false;
    bool m_ended = false;  // the process is gone and the result is known
};

// quillon-flash's arguments for one unit.
struct CFlashArguments {
    int attempts = 0;  // 0: not passed
    int programTries = 0;
    bool resetDefaults = false;
    bool extendedTimeout = false;
};
QStringList FlashChildArguments(const CFlashArguments& passed, const QString& address,
                                quint16 port, const QString& firmware);
