// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QSet>
#include <QString>

#include "UnitFilter.h"

// What the record says of one unit for the firmware in force.
struct CUnitHistory {
    bool verified = false;
    int failures = 0;       // failed or interrupted flashes that count (see --retry-failed)
    QDateTime lastFailure;  // when the last of them ended; invalid when none
};

// Where the scheduler asks about a unit's past; the station answers from its record.
class IUnitHistorySource {
  public:
    virtual ~IUnitHistorySource() = default;
    // false with error when the record did not answer.
    virtual bool History(const QString& mac, const QString& sha256, CUnitHistory& history,
                         QString& error) = 0;
};

enum class EVerdict {
    kIgnore,     // outside the filter: never woken
    kNothing,    // being flashed here: its own announces change nothing
    kHold,       // nothing new starts now (stopping, database away); reason says which
    kQueue,      // it may be flashed, but every job is busy
    kSkip,       // verified, or not yet --retry-after past its failure
    kAttention,  // --max-failures reached: left alone until someone looks
    kStart,      // claim it and flash it
    kError       // the record did not answer; reason holds its error
};

struct CVerdict {
    EVerdict what = EVerdict::kNothing;
    QString reason;
    int failures = 0;  // as the record counted them, when it was asked
};

struct CSchedulePolicy {
    int jobs = 8;
    int retryAfterSeconds = 30;
    int maxFailures = 3;
};

// Decides, for each announce of a unit, whether this station starts flashing it. It keeps which
// units run here and which are known verified for the firmware in force; everything else it asks
// the record each time, since another station may have changed it. Claiming is the station's.
class CFlashScheduler {
  public:
    CFlashScheduler(const CSchedulePolicy& policy, CUnitFilter filter,
                    IUnitHistorySource& history);

    CVerdict Consider(const QString& mac, const QByteArray& name, const QDateTime& now);

    // A new firmware in force: what was verified before no longer counts.
    void SetFirmware(const QString& sha256);
    const QString& Firmware() const { return m_sha256; }
    void SetStopping(bool stopping) { m_stopping = stopping; }
    void SetDatabaseDown(bool down) { m_databaseDown = down; }

    void NoteStarted(const QString& mac);
    void NoteEnded(const QString& mac, bool verified);
    bool IsRunning(const QString& mac) const { return m_running.contains(mac); }
    int Running() const { return static_cast<int>(m_running.size()); }
    bool HasFreeJob() const { return Running() < m_policy.jobs; }

  private:
    CSchedulePolicy m_policy;
    CUnitFilter m_filter;
    IUnitHistorySource& m_history;
    QString m_sha256;
    QSet<QString> m_running;
    QSet<QString> m_verified;  // for m_sha256
    bool m_stopping = false;
    bool m_databaseDown = false;
};
