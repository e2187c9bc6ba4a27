// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>
#include <map>
#include <memory>
#include <vector>

#include "FirmwareSnapshot.h"
#include "FlashChild.h"
#include "FlashScheduler.h"
#include "Journal.h"
#include "LineState.h"
#include "RecordStore.h"
#include "StationOptions.h"
#include "StationOutput.h"
#include "core/UdpAnnounceSocket.h"

// The station on its one thread: hears announces, decides with CFlashScheduler, claims, runs a
// CFlashChild per unit, journals and records each ended flash, and keeps CLineState for the
// page. The process's exit is asked of the event loop (QCoreApplication::exit) once it stopped.
class CStation : public IUnitHistorySource {
  public:
    CStation(const CStationOptions& options, CStationOutput& output);
    ~CStation() override;
    CStation(const CStation&) = delete;
    CStation& operator=(const CStation&) = delete;

    // Checks the firmware, opens the record and the journal, records what an earlier run left,
    // and listens. 0 when running; otherwise the exit status (a message was printed).
    int Start();
    // SIGINT, SIGTERM: stop; SIGHUP: check the firmware file again.
    void OnSignal(int signal);

    const CLineState& State() const { return m_state; }
    CRecordStore& Store() { return m_store; }
    quint16 AnnouncePort() const { return m_socket.LocalPort(); }
    // For station-start: what the page listens on, once it does.
    void SetPageAddress(const QString& address) { m_pageAddress = address; }
    void Announce();  // the station-start and firmware events

    bool History(const QString& mac, const QString& sha256, CUnitHistory& history,
                 QString& error) override;

  private:
    struct CRun {
        std::unique_ptr<CFlashChild> child;
        CFlashRecord row;
        QString copy;  // the firmware copy it flashes
        QString unit;  // ADDRESS:PORT
        QString stage;
        qint64 done = 0;
        bool lastLogWasConnected = false;
    };

    void ReadAnnounces();
    void OnAnnounce(const QString& mac, const QByteArray& name, const QString& address);
    void Consider(const QString& mac);
    void StartFlash(CUnitCard& card);
    void OnChildEvent(const QString& mac, QJsonObject event);
    void OnChildEnded(const QString& mac);
    void Record(CFlashRecord row);
    void DatabaseAway(const QString& error);
    void TryDatabase();
    bool Replay(QString& error);
    void Renew();
    void PumpQueue();
    void Reload();
    void Stop(int signal);
    void FinishIfStopped();
    void DropUnusedCopies();

    void Skip(CUnitCard& card, const QString& reason);
    void SetStage(CUnitCard& card, const QString& stage, const QString& message);
    QJsonObject UnitEvent(const char* event, const CUnitCard& card) const;
    QString UnitText(const CUnitCard& card) const;
    void Changed() { ++m_state.generation; }

    CStationOptions m_options;
    CStationOutput& m_output;
    QString m_flasher;
    QString m_target;  // --db or the default
    QString m_folder;  // where the journal and the firmware copies live
    QString m_pageAddress;
    QDateTime m_startedAt;

    CLineState m_state;
    CFirmwareSnapshot m_firmware;
    CRecordStore m_store;
    CJournal m_journal;
    CFlashScheduler m_scheduler;

    CUdpAnnounceSocket m_socket;
    std::unique_ptr<QSocketNotifier> m_announces;
    QByteArray m_datagram;

    std::map<QString, CRun> m_runs;  // by MAC
    std::vector<std::unique_ptr<CFlashChild>> m_ended;  // destroyed outside their own signal
    QStringList m_queue;                           // MACs waiting for a free job
    QHash<QString, QByteArray> m_rawNames;         // the announced name's bytes, for the filter
    QHash<QString, QString> m_lastSkip;            // the reason last told, so it is told once

    QTimer m_renewTimer;
    QTimer m_databaseTimer;
    QTimer m_killTimer;  // children that ignore the interrupt
    QTimer m_sweepTimer;
    int m_stopSignal = 0;
};
