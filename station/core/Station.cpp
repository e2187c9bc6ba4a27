// SPDX-License-Identifier: Apache-2.0
#include "Station.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QStandardPaths>
#include <QUuid>
#include <csignal>

#include "RecordTarget.h"
#include "core/AnnounceParser.h"
#include "core/DottedQuad.h"

namespace {

// More cards than any line has; beyond it the unit heard longest ago is forgotten, so that a
// flood of made-up MACs costs bounded memory.
constexpr int kMostCards = 4096;
// Datagrams read per wake-up before the loop looks at anything else.
constexpr int kAnnouncesPerWake = 64;
constexpr int kDatabaseRetryMs = 2000;
constexpr int kStopGraceMs = 30000;
// A queued unit is started only if heard this recently.
constexpr int kQueueFreshMs = 10000;

QString FindFlasher(const QString& given) {
    if (!given.isEmpty()) return given;
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quillon-flash"));
    if (QFileInfo(beside).isExecutable()) return beside;
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("quillon-flash"));
    return onPath.isEmpty() ? QStringLiteral("quillon-flash") : onPath;
}

// A PostgreSQL URL without its password, for lines and events.
QString ShownTarget(const QString& target) {
    const qsizetype scheme = target.indexOf(QLatin1String("://"));
    const qsizetype at = target.indexOf(QLatin1Char('@'));
    if (scheme < 0 || at < scheme) return target;
    const qsizetype colon = target.indexOf(QLatin1Char(':'), scheme + 3);
    if (colon < 0 || colon > at) return target;
    return target.left(colon + 1) + QStringLiteral("***") + target.mid(at);
}

// Verified only on quillon-flash's own word for it: ok and exit 0 together.
QString Outcome(int exitCode, bool ok) {
    if (ok && exitCode == 0) return QStringLiteral("verified");
    if (exitCode == 130 || exitCode == 143) return QStringLiteral("interrupted");
    return QStringLiteral("failed");
}

}  // namespace

CStation::CStation(const CStationOptions& options, CStationOutput& output)
    : m_options(options),
      m_output(output),
      m_scheduler({options.jobs, options.retryAfterSeconds, options.maxFailures},
                  CUnitFilter(options.macs, options.nameGlob), *this) {
    m_state.station = options.station;
    m_renewTimer.setInterval(options.leaseSeconds * 1000 / 3);
    QObject::connect(&m_renewTimer, &QTimer::timeout, [this] { Renew(); });
    m_databaseTimer.setInterval(kDatabaseRetryMs);
    QObject::connect(&m_databaseTimer, &QTimer::timeout, [this] { TryDatabase(); });
    m_killTimer.setSingleShot(true);
    QObject::connect(&m_killTimer, &QTimer::timeout, [this] {
        for (auto& [mac, run] : m_runs) run.child->Kill();
    });
    m_sweepTimer.setSingleShot(true);
    m_sweepTimer.setInterval(0);
    QObject::connect(&m_sweepTimer, &QTimer::timeout, [this] { m_ended.clear(); });
}

CStation::~CStation() = default;

int CStation::Start() {
    m_startedAt = QDateTime::currentDateTimeUtc();
    m_flasher = FindFlasher(m_options.flasher);
    m_target = m_options.db.isEmpty() ? DefaultRecordTarget() : m_options.db;
    m_folder = IsPostgresTarget(m_target) ? DefaultStateFolder()
                                          : QFileInfo(m_target).absolutePath();
    QString error;
    if (!TakeFirmwareSnapshot(m_options.firmware, m_folder, m_options.station, m_flasher,
                              m_firmware, error)) {
        m_output.Line(error);
        return kStationExitBadFirmware;
    }
    RemoveOldSnapshots(m_folder, m_options.station, m_firmware.copy);
    m_state.firmware = m_firmware.identity;
    m_scheduler.SetFirmware(m_firmware.identity.sha256);

    if (!m_store.Open(m_target, error)) {
        m_output.Line(QStringLiteral("cannot open the record %1: %2").arg(ShownTarget(m_target), error));
        return kStationExitFailure;
    }
    const QString journal = JournalPathFor(m_target, m_options.station);
    if (!m_journal.Open(journal, error)) {
        m_output.Line(QStringLiteral("cannot open the journal %1: %2").arg(journal, error));
        return kStationExitFailure;
    }
    // A run killed mid-flash: its flashes become interrupted rows, written with what the journal
    // still holds, before this station's stale claims are given back.
    for (const CFlashRecord& row : m_journal.TakeAbandoned()) {
        m_output.Line(QStringLiteral("%1 %2: the last run ended mid-flash (%3); recorded as interrupted")
                          .arg(row.mac, row.address, row.message));
    }
    if (!Replay(error) || !m_store.ReleaseAll(m_options.station, error)) {
        m_output.Line(QStringLiteral("cannot write to the record %1: %2").arg(ShownTarget(m_target), error));
        return kStationExitFailure;
    }
    m_journal.Compact(error);

    m_datagram.resize(static_cast<qsizetype>(kDatagramBufferSize));
    CResult result = m_socket.SetProtocolUdp();
    if (result.Ok()) result = m_socket.Bind(m_options.announcePort);
    if (!result.Ok()) {
        m_output.Line(QStringLiteral("cannot listen for announces on UDP port %1: %2")
                          .arg(m_options.announcePort)
                          .arg(QString::fromLocal8Bit(result.description)));
        return kStationExitFailure;
    }
    m_announces = std::make_unique<QSocketNotifier>(m_socket.Descriptor(), QSocketNotifier::Read);
    QObject::connect(m_announces.get(), &QSocketNotifier::activated, [this] { ReadAnnounces(); });
    Changed();
    return 0;
}

void CStation::Announce() {
    QJsonObject start;
    start[QStringLiteral("event")] = QStringLiteral("station-start");
    start[QStringLiteral("station")] = m_options.station;
    start[QStringLiteral("db")] = ShownTarget(m_target);
    start[QStringLiteral("announce_port")] = AnnouncePort();
    start[QStringLiteral("port")] = m_options.port;
    start[QStringLiteral("jobs")] = m_options.jobs;
    start[QStringLiteral("mac")] = QJsonArray::fromStringList(m_options.macs);
    if (!m_options.nameGlob.isEmpty()) start[QStringLiteral("name")] = m_options.nameGlob;
    start[QStringLiteral("any")] = m_options.any;
    start[QStringLiteral("http")] = m_pageAddress.isEmpty() ? QStringLiteral("off") : m_pageAddress;
    start[QStringLiteral("flasher")] = m_flasher;
    m_output.Event(start);
    m_output.Line(QStringLiteral("station %1 listening for announces on UDP port %2, record %3")
                      .arg(m_options.station)
                      .arg(AnnouncePort())
                      .arg(ShownTarget(m_target)));
    if (!m_pageAddress.isEmpty())
        m_output.Line(QStringLiteral("live page on http://%1/").arg(m_pageAddress));

    QJsonObject firmware;
    const CFirmwareInForce& fw = m_firmware.identity;
    firmware[QStringLiteral("event")] = QStringLiteral("firmware");
    firmware[QStringLiteral("accepted")] = true;
    firmware[QStringLiteral("file")] = fw.file;
    firmware[QStringLiteral("sha256")] = fw.sha256;
    firmware[QStringLiteral("start")] = static_cast<qint64>(fw.start);
    firmware[QStringLiteral("length")] = static_cast<qint64>(fw.length);
    firmware[QStringLiteral("crc")] = fw.crc;
    m_output.Event(firmware);
    m_output.Line(QStringLiteral("firmware %1 in force: sha256 %2, start 0x%3, length %4, crc16 0x%5")
                      .arg(fw.file, fw.sha256)
                      .arg(fw.start, 8, 16, QLatin1Char('0'))
                      .arg(fw.length)
                      .arg(fw.crc, 4, 16, QLatin1Char('0')));
}

bool CStation::History(const QString& mac, const QString& sha256, CUnitHistory& history,
                       QString& error) {
    bool verified = false;
    if (!m_store.HasVerified(mac, sha256, verified, error)) return false;
    history.verified = verified;
    if (verified) return true;
    const QDateTime since = m_options.retryFailed ? m_startedAt : QDateTime();
    return m_store.Failures(mac, sha256, since, history.failures, history.lastFailure, error);
}

// ---- announces --------------------------------------------------------------------------------

void CStation::ReadAnnounces() {
    for (int i = 0; i < kAnnouncesPerWake; ++i) {
        std::size_t length = 0;
        uint32_t sender = 0;
        const CResult read = m_socket.ReadDatagram(m_datagram.data(),
                                                   static_cast<std::size_t>(m_datagram.size()),
                                                   &length, &sender);
        if (!read.Ok() || length == 0) return;
        CAnnounceFields fields;
        if (!SplitAnnounce(std::string_view(m_datagram.constData(), length), &fields)) continue;
        if (fields.mac.empty()) continue;  // nothing to record it by
        char address[kDottedQuadSize];
        FormatDottedQuad(sender, address);
        OnAnnounce(QString::fromUtf8(fields.mac.data(), static_cast<qsizetype>(fields.mac.size())),
                   QByteArray(fields.name.data(), static_cast<qsizetype>(fields.name.size())),
                   QString::fromLatin1(address));
    }
}

void CStation::OnAnnounce(const QString& mac, const QByteArray& name, const QString& address) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    auto found = m_state.units.find(mac);
    if (found == m_state.units.end()) {
        if (m_state.units.size() >= kMostCards) {
            auto oldest = m_state.units.end();
            for (auto it = m_state.units.begin(); it != m_state.units.end(); ++it) {
                if (m_runs.count(it.key()) || m_queue.contains(it.key())) continue;
                if (oldest == m_state.units.end() || it->lastHeard < oldest->lastHeard) oldest = it;
            }
            if (oldest != m_state.units.end()) {
                m_rawNames.remove(oldest.key());
                m_lastSkip.remove(oldest.key());
                m_state.units.erase(oldest);
            }
        }
        CUnitCard card;
        card.mac = mac;
        card.stage = QStringLiteral("waiting");
        found = m_state.units.insert(mac, card);
    }
    CUnitCard& card = *found;
    card.name = QString::fromUtf8(name);
    card.lastHeard = now;
    // The running flash keeps the address it was started at.
    if (!m_runs.count(mac)) card.address = address;
    m_rawNames.insert(mac, name);
    Changed();
    Consider(mac);
}

void CStation::Consider(const QString& mac) {
    auto found = m_state.units.find(mac);
    if (found == m_state.units.end()) return;
    CUnitCard& card = *found;
    const CVerdict verdict =
        m_scheduler.Consider(mac, m_rawNames.value(mac), QDateTime::currentDateTimeUtc());
    switch (verdict.what) {
        case EVerdict::kNothing:
            return;
        case EVerdict::kIgnore:
            if (card.stage != QLatin1String("ignored")) SetStage(card, QStringLiteral("ignored"), verdict.reason);
            Skip(card, verdict.reason);
            return;
        case EVerdict::kHold:
            Skip(card, verdict.reason);
            return;
        case EVerdict::kQueue:
            if (!m_queue.contains(mac)) m_queue << mac;
            Skip(card, verdict.reason);
            return;
        case EVerdict::kSkip:
            card.failures = verdict.failures;
            if (verdict.reason == QLatin1String("verified") && card.stage != QLatin1String("verified"))
                SetStage(card, QStringLiteral("verified"), verdict.reason);
            Skip(card, verdict.reason);
            return;
        case EVerdict::kAttention:
            card.failures = verdict.failures;
            if (card.stage != QLatin1String("attention")) {
                SetStage(card, QStringLiteral("attention"), verdict.reason);
                QJsonObject event = UnitEvent("attention", card);
                event[QStringLiteral("failures")] = verdict.failures;
                event[QStringLiteral("reason")] = verdict.reason;
                m_output.Event(event);
                m_output.Line(UnitText(card) + QStringLiteral(": needs attention, ") + verdict.reason);
            }
            Skip(card, verdict.reason);
            return;
        case EVerdict::kError:
            DatabaseAway(verdict.reason);
            return;
        case EVerdict::kStart:
            break;
    }
    card.failures = verdict.failures;
    QString holder, error;
    switch (m_store.Claim(mac, m_options.station, m_options.leaseSeconds, &holder, error)) {
        case EClaim::kHeldByOther:
            if (card.stage != QLatin1String("elsewhere"))
                SetStage(card, QStringLiteral("elsewhere"), QStringLiteral("claimed by ") + holder);
            Skip(card, QStringLiteral("claimed by ") + holder);
            return;
        case EClaim::kError:
            DatabaseAway(error);
            return;
        case EClaim::kTaken:
            break;
    }
    // The claim was free: a station that verified the unit meanwhile gave its claim back in the
    // very transaction that wrote its row, so asking again now closes that window.
    bool verified = false;
    if (!m_store.HasVerified(mac, m_scheduler.Firmware(), verified, error)) {
        DatabaseAway(error);
        return;
    }
    if (verified) {
        m_scheduler.NoteEnded(mac, true);
        SetStage(card, QStringLiteral("verified"), QStringLiteral("verified"));
        Skip(card, QStringLiteral("verified"));
        return;
    }
    StartFlash(card);
}

void CStation::Skip(CUnitCard& card, const QString& reason) {
    QString& last = m_lastSkip[card.mac];
    if (last == reason) return;
    last = reason;
    QJsonObject event = UnitEvent("skip", card);
    event[QStringLiteral("reason")] = reason;
    m_output.Event(event);
    m_output.Line(UnitText(card) + QStringLiteral(": skipped, ") + reason);
}

void CStation::SetStage(CUnitCard& card, const QString& stage, const QString& message) {
    card.stage = stage;
    card.message = message;
    Changed();
}

QJsonObject CStation::UnitEvent(const char* event, const CUnitCard& card) const {
    QJsonObject object;
    object[QStringLiteral("unit")] = QStringLiteral("%1:%2").arg(card.address).arg(m_options.port);
    object[QStringLiteral("event")] = QString::fromLatin1(event);
    object[QStringLiteral("mac")] = card.mac;
    object[QStringLiteral("name")] = card.name;
    return object;
}

QString CStation::UnitText(const CUnitCard& card) const {
    return QStringLiteral("%1 \"%2\" at %3").arg(card.mac, card.name, card.address);
}

// ---- flashes ----------------------------------------------------------------------------------

void CStation::StartFlash(CUnitCard& card) {
    const QString mac = card.mac;
    CRun run;
    run.row.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    run.row.station = m_options.station;
    run.row.mac = mac;
    run.row.name = card.name;
    run.row.address = card.address;
    run.row.port = m_options.port;
    const CFirmwareInForce& fw = m_firmware.identity;
    run.row.firmware = fw.file;
    run.row.sha256 = fw.sha256;
    run.row.start = fw.start;
    run.row.length = fw.length;
    run.row.crc = fw.crc;
    run.row.started = QDateTime::currentDateTimeUtc();
    run.copy = m_firmware.copy;
    run.unit = QStringLiteral("%1:%2").arg(card.address).arg(m_options.port);
    run.stage = QStringLiteral("claimed");
    QString error;
    if (!m_journal.Begin(run.row, error)) {
        // Without a journal a kill would lose the flash's row: nothing starts.
        m_output.Line(QStringLiteral("cannot write the journal: %1; %2 not started").arg(error, mac));
        Skip(card, QStringLiteral("the journal cannot be written"));
        return;
    }
    run.child = std::make_unique<CFlashChild>(
        [this, mac](const QJsonObject& event) { OnChildEvent(mac, event); },
        [this, mac] { OnChildEnded(mac); });
    m_lastSkip.remove(mac);
    m_queue.removeAll(mac);
    card.started = run.row.started;
    card.ended = QDateTime();
    card.done = 0;
    card.total = 0;
    SetStage(card, QStringLiteral("claimed"), QString());
    m_scheduler.NoteStarted(mac);
    m_state.running = m_scheduler.Running();
    CFlashArguments passed;
    passed.attempts = m_options.attempts;
    passed.programTries = m_options.programTries;
    passed.resetDefaults = m_options.resetDefaults;
    passed.extendedTimeout = m_options.extendedTimeout;
    const QStringList arguments = FlashChildArguments(passed, card.address, m_options.port, run.copy);
    m_output.Line(UnitText(card) + QStringLiteral(": flashing ") + fw.file);
    CFlashChild* child = run.child.get();
    m_runs.emplace(mac, std::move(run));
    if (!m_renewTimer.isActive()) m_renewTimer.start();
    child->Start(m_flasher, arguments);
}

void CStation::OnChildEvent(const QString& mac, QJsonObject event) {
    auto found = m_runs.find(mac);
    auto card = m_state.units.find(mac);
    if (found == m_runs.end() || card == m_state.units.end()) return;
    CRun& run = found->second;
    const QString kind = event.value(QStringLiteral("event")).toString();
    QString error;
    if (kind == QLatin1String("progress")) {
        const QString stage = event.value(QStringLiteral("stage")).toString();
        card->done = event.value(QStringLiteral("done")).toInteger();
        card->total = event.value(QStringLiteral("total")).toInteger();
        if (stage != QLatin1String("done") && stage != QLatin1String("failed") && stage != run.stage) {
            run.stage = stage;
            card->stage = stage;
            m_output.Line(UnitText(*card) + QStringLiteral(": ") + stage);
            if (!m_journal.State(run.row.id, stage, card->done, run.row.bootloader, error))
                m_output.Line(QStringLiteral("cannot write the journal: ") + error);
        }
        run.done = card->done;
        Changed();
    } else if (kind == QLatin1String("log")) {
        const QString line = event.value(QStringLiteral("line")).toString();
        if (run.lastLogWasConnected) run.row.bootloader = line;
        run.lastLogWasConnected = line == QLatin1String("Connected.");
        m_output.Line(UnitText(*card) + QStringLiteral(": ") + line);
    } else if (kind == QLatin1String("result")) {
        const bool ok = event.value(QStringLiteral("ok")).toBool();
        const int exitCode = event.value(QStringLiteral("exit")).toInt();
        run.row.outcome = Outcome(exitCode, ok);
        run.row.exit = exitCode;
        run.row.message = event.value(QStringLiteral("message")).toString();
        run.row.bytes = event.value(QStringLiteral("bytes")).toInteger();
        run.row.attempts = event.value(QStringLiteral("attempts")).toInt();
        const QString version = event.value(QStringLiteral("version")).toString();
        if (!version.isEmpty()) run.row.bootloader = version;
        QString line = QStringLiteral("%1: %2 (exit %3)").arg(UnitText(*card), run.row.message).arg(exitCode);
        if (exitCode == 3)
            line += QStringLiteral("; the firmware copy changed under quillon-flash, nothing more is flashed from it");
        m_output.Line(line);
    }
    event[QStringLiteral("unit")] = run.unit;
    event[QStringLiteral("mac")] = mac;
    event[QStringLiteral("name")] = card->name;
    m_output.Event(event);
}

void CStation::OnChildEnded(const QString& mac) {
    auto found = m_runs.find(mac);
    if (found == m_runs.end()) return;
    CRun run = std::move(found->second);
    m_runs.erase(found);
    run.row.ended = QDateTime::currentDateTimeUtc();
    if (run.row.outcome.isEmpty()) {
        const QJsonObject& result = run.child->Result();
        run.row.exit = result.value(QStringLiteral("exit")).toInt(1);
        run.row.outcome = Outcome(run.row.exit, false);
        run.row.message = result.value(QStringLiteral("message")).toString();
    }
    const bool verified = run.row.outcome == QLatin1String("verified");
    m_scheduler.NoteEnded(mac, verified);
    m_state.running = m_scheduler.Running();
    if (m_runs.empty()) m_renewTimer.stop();
    m_ended.push_back(std::move(run.child));
    m_sweepTimer.start();

    auto card = m_state.units.find(mac);
    if (card != m_state.units.end()) {
        card->ended = run.row.ended;
        card->done = run.row.bytes;
        // Counted as the record counts them: failed and interrupted alike.
        if (!verified) ++card->failures;
        SetStage(*card, run.row.outcome, run.row.message);
        if (!verified && !m_stopSignal && card->failures >= m_options.maxFailures) {
            const QString reason = QStringLiteral("%1 failures with this firmware").arg(card->failures);
            SetStage(*card, QStringLiteral("attention"), run.row.message);
            QJsonObject event = UnitEvent("attention", *card);
            event[QStringLiteral("failures")] = card->failures;
            event[QStringLiteral("reason")] = reason;
            m_output.Event(event);
            m_output.Line(UnitText(*card) + QStringLiteral(": needs attention, ") + reason);
            m_lastSkip[mac] = reason;
        }
    }
    Record(run.row);
    DropUnusedCopies();
    if (m_stopSignal) {
        FinishIfStopped();
        return;
    }
    PumpQueue();
}

void CStation::Record(CFlashRecord row) {
    QString error;
    // The journal holds the row first: whatever happens next, it is written at a later start.
    if (!m_journal.Ended(row, error)) m_output.Line(QStringLiteral("cannot write the journal: ") + error);
    if (m_state.databaseDown) return;
    if (!m_store.Write(row, error)) {
        DatabaseAway(error);
        return;
    }
    if (!m_journal.Written(row.id, error)) m_output.Line(QStringLiteral("cannot write the journal: ") + error);
}

void CStation::PumpQueue() {
    const QDateTime heardSince = QDateTime::currentDateTimeUtc().addMSecs(-kQueueFreshMs);
    while (!m_queue.isEmpty() && m_scheduler.HasFreeJob() && !m_state.databaseDown && !m_stopSignal) {
        const QString mac = m_queue.takeFirst();
        m_lastSkip.remove(mac);
        // A unit silent since it was queued may have left the line: its next announce queues
        // it again, at the address it then has.
        const auto card = m_state.units.constFind(mac);
        if (card == m_state.units.constEnd() || card->lastHeard < heardSince) continue;
        Consider(mac);
    }
}

void CStation::DropUnusedCopies() {
    for (const auto& [mac, run] : m_runs)
        if (run.copy != m_firmware.copy) return;
    RemoveOldSnapshots(m_folder, m_options.station, m_firmware.copy);
}

// ---- the database away and back ---------------------------------------------------------------

void CStation::DatabaseAway(const QString& error) {
    if (m_state.databaseDown) return;
    m_state.databaseDown = true;
    m_scheduler.SetDatabaseDown(true);
    Changed();
    QJsonObject event;
    event[QStringLiteral("event")] = QStringLiteral("database");
    event[QStringLiteral("state")] = QStringLiteral("away");
    event[QStringLiteral("message")] = error;
    m_output.Event(event);
    m_output.Line(QStringLiteral("the record does not answer (%1): results go to the journal, "
                                 "nothing new starts")
                      .arg(error));
    m_databaseTimer.start();
}

bool CStation::Replay(QString& error) {
    for (const CFlashRecord& row : m_journal.Unwritten()) {
        if (!m_store.Write(row, error)) return false;
        if (!m_journal.Written(row.id, error)) return false;
    }
    return true;
}

void CStation::TryDatabase() {
    if (!m_store.Ping()) return;
    QString error;
    if (!Replay(error)) return;
    m_databaseTimer.stop();
    m_state.databaseDown = false;
    m_scheduler.SetDatabaseDown(false);
    m_journal.Compact(error);
    Changed();
    QJsonObject event;
    event[QStringLiteral("event")] = QStringLiteral("database");
    event[QStringLiteral("state")] = QStringLiteral("back");
    m_output.Event(event);
    m_output.Line(QStringLiteral("the record answers again; the journal's rows are written"));
    if (!m_runs.empty()) Renew();
    PumpQueue();
}

void CStation::Renew() {
    if (m_runs.empty() || m_state.databaseDown) return;
    QString error;
    if (m_store.Renew(m_options.station, m_options.leaseSeconds, error)) return;
    for (const auto& [mac, run] : m_runs) {
        auto card = m_state.units.find(mac);
        if (card == m_state.units.end()) continue;
        QJsonObject event = UnitEvent("claim-lost", *card);
        event[QStringLiteral("unit")] = run.unit;
        event[QStringLiteral("reason")] = error;
        m_output.Event(event);
        m_output.Line(UnitText(*card) + QStringLiteral(": the claim could not be renewed; the flash "
                                                       "goes on and its row goes to the journal"));
    }
    DatabaseAway(error);
}

// ---- signals ----------------------------------------------------------------------------------

void CStation::OnSignal(int signal) {
    if (signal == SIGHUP) {
        if (!m_stopSignal) Reload();
        return;
    }
    if (signal == SIGINT || signal == SIGTERM) Stop(signal);
}

void CStation::Reload() {
    CFirmwareSnapshot fresh;
    QString error;
    QJsonObject event;
    event[QStringLiteral("event")] = QStringLiteral("firmware");
    if (!TakeFirmwareSnapshot(m_options.firmware, m_folder, m_options.station, m_flasher, fresh, error)) {
        m_state.firmware.reloadRefused = error;
        Changed();
        event[QStringLiteral("accepted")] = false;
        event[QStringLiteral("file")] = m_options.firmware;
        event[QStringLiteral("reason")] = error;
        event[QStringLiteral("sha256")] = m_firmware.identity.sha256;  // the one that stays
        m_output.Event(event);
        m_output.Line(QStringLiteral("SIGHUP: %1; the firmware in force stays (sha256 %2)")
                          .arg(error, m_firmware.identity.sha256));
        return;
    }
    const bool changed = fresh.identity.sha256 != m_firmware.identity.sha256;
    if (changed) m_firmware = fresh;
    m_state.firmware = m_firmware.identity;
    m_scheduler.SetFirmware(m_firmware.identity.sha256);
    if (changed) {
        // Every unit is judged again against the new firmware at its next announce.
        for (CUnitCard& card : m_state.units) {
            if (m_runs.count(card.mac)) continue;
            card.failures = 0;
            if (card.stage != QLatin1String("ignored")) card.stage = QStringLiteral("waiting");
        }
        m_lastSkip.clear();
    }
    Changed();
    const CFirmwareInForce& fw = m_firmware.identity;
    event[QStringLiteral("accepted")] = true;
    event[QStringLiteral("file")] = fw.file;
    event[QStringLiteral("sha256")] = fw.sha256;
    event[QStringLiteral("start")] = static_cast<qint64>(fw.start);
    event[QStringLiteral("length")] = static_cast<qint64>(fw.length);
    event[QStringLiteral("crc")] = fw.crc;
    m_output.Event(event);
    m_output.Line(QStringLiteral("SIGHUP: firmware %1 in force for the units that start from now: "
                                 "sha256 %2, crc16 0x%3%4")
                      .arg(fw.file, fw.sha256)
                      .arg(fw.crc, 4, 16, QLatin1Char('0'))
                      .arg(changed ? QString() : QStringLiteral(" (unchanged)")));
    DropUnusedCopies();
}

void CStation::Stop(int signal) {
    if (m_stopSignal) return;  // the children already have their SIGINT
    m_stopSignal = signal;
    m_scheduler.SetStopping(true);
    m_queue.clear();
    m_output.Line(QStringLiteral("%1: starting nothing new; interrupting %2 flash(es)")
                      .arg(signal == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM"))
                      .arg(m_runs.size()));
    for (auto& [mac, run] : m_runs) run.child->Interrupt();
    m_killTimer.start(kStopGraceMs);
    FinishIfStopped();
}

void CStation::FinishIfStopped() {
    if (!m_runs.empty()) return;
    m_killTimer.stop();
    QCoreApplication::exit(m_stopSignal == SIGINT ? 130 : 143);
}
