// SPDX-License-Identifier: Apache-2.0
#include "FlashChild.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QJsonDocument>
#include <utility>

namespace {
// A line longer than this is no event of quillon-flash's; it is dropped whole.
constexpr qsizetype kLongestLine = 1 << 20;
}  // namespace

CFlashChild::CFlashChild(EventSink onEvent, EndSink onEnded)
    : m_onEvent(std::move(onEvent)), m_onEnded(std::move(onEnded)) {
    m_process.setChildProcessModifier([] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { ReadOutput(); });
    QObject::connect(&m_process, &QProcess::readyReadStandardError, [this] {
        for (const QByteArray& line : m_process.readAllStandardError().split('\n'))
            if (!line.trimmed().isEmpty()) m_lastError = line.trimmed().left(500);
    });
    QObject::connect(&m_process, &QProcess::finished,
                     [this](int code, QProcess::ExitStatus status) {
                         ReadOutput();
                         if (status == QProcess::CrashExit)
                             Finish(QStringLiteral("quillon-flash ended without a result"),
                                    m_interrupted ? 130 : 1);
                         else
                             Finish(QStringLiteral("quillon-flash ended without a result"),
                                    code == 0 ? 1 : code);
                     });
    QObject::connect(&m_process, &QProcess::errorOccurred, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            Finish(QStringLiteral("quillon-flash could not be started: ") + m_process.errorString(),
                   127);
    });
}

CFlashChild::~CFlashChild() {
    m_process.disconnect();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void CFlashChild::Start(const QString& program, const QStringList& arguments) {
    m_process.start(program, arguments, QIODevice::ReadOnly);
}

void CFlashChild::Interrupt() {
    if (m_interrupted || m_ended || m_process.processId() <= 0) return;
    m_interrupted = true;
    ::kill(static_cast<pid_t>(m_process.processId()), SIGINT);
}

void CFlashChild::Kill() {
    if (!m_ended && m_process.state() != QProcess::NotRunning) m_process.kill();
}

void CFlashChild::ReadOutput() {
    m_pending += m_process.readAllStandardOutput();
    qsizetype from = 0;
    for (;;) {
        const qsizetype end = m_pending.indexOf('\n', from);
        if (end < 0) break;
        TakeLine(m_pending.mid(from, end - from));
        from = end + 1;
    }
    m_pending.remove(0, from);
    if (m_pending.size() > kLongestLine) m_pending.clear();
}

void CFlashChild::TakeLine(const QByteArray& line) {
    if (m_ended) return;
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject()) return;
    const QJsonObject event = document.object();
    if (m_haveResult) return;  // the result is the last event
    if (event.value(QStringLiteral("event")).toString() == QLatin1String("result")) {
        m_result = event;
        m_haveResult = true;
    }
    m_onEvent(event);
}

void CFlashChild::Finish(const QString& reason, int exitCode) {
    if (m_ended) return;
    m_ended = true;
    if (m_haveResult) {
        m_onEnded();
        return;
    }
    QJsonObject result;
    result[QStringLiteral("event")] = QStringLiteral("result");
    result[QStringLiteral("ok")] = false;
    result[QStringLiteral("exit")] = exitCode;
    QString message = reason;
    if (!m_lastError.isEmpty()) message += QStringLiteral(": ") + QString::fromUtf8(m_lastError);
    result[QStringLiteral("message")] = message;
    result[QStringLiteral("bytes")] = 0;
    result[QStringLiteral("total")] = 0;
    result[QStringLiteral("seconds")] = 0;
    result[QStringLiteral("attempts")] = 0;
    m_result = result;
    m_haveResult = true;
    m_onEvent(result);
    m_onEnded();
}

QStringList FlashChildArguments(const CFlashArguments& passed, const QString& address,
                                quint16 port, const QString& firmware) {
    QStringList arguments{QStringLiteral("--json")};
    if (passed.attempts > 0) arguments << QStringLiteral("--attempts") << QString::number(passed.attempts);
    if (passed.programTries > 0)
        arguments << QStringLiteral("--program-tries") << QString::number(passed.programTries);
    if (passed.resetDefaults) arguments << QStringLiteral("--reset-defaults");
    if (passed.extendedTimeout) arguments << QStringLiteral("--extended-timeout");
    arguments << QStringLiteral("%1:%2").arg(address).arg(port) << firmware;
    return arguments;
}
