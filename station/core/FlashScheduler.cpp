// SPDX-License-Identifier: Apache-2.0
#include "FlashScheduler.h"

#include <utility>

CFlashScheduler::CFlashScheduler(const CSchedulePolicy& policy, CUnitFilter filter,
                                 IUnitHistorySource& history)
    : m_policy(policy), m_filter(std::move(filter)), m_history(history) {}

void CFlashScheduler::SetFirmware(const QString& sha256) {
    if (sha256 != m_sha256) m_verified.clear();
    m_sha256 = sha256;
}

void CFlashScheduler::NoteStarted(const QString& mac) {
    m_running.insert(mac);
}

void CFlashScheduler::NoteEnded(const QString& mac, bool verified) {
    m_running.remove(mac);
    if (verified) m_verified.insert(mac);
}

CVerdict CFlashScheduler::Consider(const QString& mac, const QByteArray& name,
                                   const QDateTime& now) {
    if (!m_filter.Matches(mac, name)) return {EVerdict::kIgnore, QStringLiteral("outside the filter")};
    if (m_running.contains(mac)) return {EVerdict::kNothing, {}};
    if (m_verified.contains(mac)) return {EVerdict::kSkip, QStringLiteral("verified")};
    if (m_stopping) return {EVerdict::kHold, QStringLiteral("the station is stopping")};
    if (m_databaseDown) {
        return {EVerdict::kHold, QStringLiteral("the database is away; nothing new starts")};
    }
    // The record is asked only when a job could take the unit: a full station asks it again
    // when a job frees.
    if (!HasFreeJob()) return {EVerdict::kQueue, QStringLiteral("waiting for a free job")};

    CUnitHistory history;
    QString error;
    if (!m_history.History(mac, m_sha256, history, error)) return {EVerdict::kError, error};
    if (history.verified) {
        m_verified.insert(mac);
        return {EVerdict::kSkip, QStringLiteral("verified")};
    }
    if (history.failures >= m_policy.maxFailures) {
        return {EVerdict::kAttention,
                QStringLiteral("%1 failures with this firmware").arg(history.failures),
                history.failures};
    }
    if (history.failures > 0 && history.lastFailure.isValid() &&
        now < history.lastFailure.addSecs(m_policy.retryAfterSeconds)) {
        return {EVerdict::kSkip,
                QStringLiteral("failed; tried again %1 s after its failure")
                    .arg(m_policy.retryAfterSeconds),
                history.failures};
    }
    return {EVerdict::kStart, {}, history.failures};
}
