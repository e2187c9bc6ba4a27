// SPDX-License-Identifier: Apache-2.0
#include "Journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include "RecordJson.h"

namespace {

QString SystemError(const QString& what) {
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

bool WriteAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += n;
    }
    return true;
}

void SyncFolder(const QString& path) {
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

QByteArray Line(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

// What the unit may hold when its flash was cut off after stage.
QString AbandonedMessage(const QString& stage, qint64 bytes) {
    if (stage == QStringLiteral("erasing") || stage == QStringLiteral("programming")) {
        return QStringLiteral(
                   "station stopped while %1 (%2 bytes programmed); the unit may be erased and "
                   "partly programmed")
            .arg(stage)
            .arg(bytes);
    }
    if (stage == QStringLiteral("verifying") || stage == QStringLiteral("done")) {
        return QStringLiteral("station stopped while %1; the unit was programmed but its verify was not recorded")
            .arg(stage);
    }
    const QString seen = stage.isEmpty() ? QStringLiteral("starting") : stage;
    return QStringLiteral("station stopped while %1; the unit may be left in its bootloader").arg(seen);
}

}  // namespace

struct CJournal::CImpl {
    struct CEntry {
        CFlashRecord row;
        QString stage;
        bool ended = false;
        bool earlier = false;  // begun by an earlier run
    };
    QString path;
    int fd = -1;
    QVector<CEntry> entries;

    CEntry* Find(const QString& id) {
        for (CEntry& entry : entries) {
            if (entry.row.id == id) return &entry;
        }
        return nullptr;
    }

    bool Append(const QByteArray& line, QString& error) {
        if (fd < 0) {
            error = QStringLiteral("the journal is not open");
            return false;
        }
        // One write per line, so that a kill leaves at most the last line torn.
        if (!WriteAll(fd, line) || ::fdatasync(fd) != 0) {
            error = SystemError(QStringLiteral("cannot write the journal %1").arg(path));
            return false;
        }
        return true;
    }

    void Apply(const QJsonObject& object) {
        const QString op = object.value(QStringLiteral("op")).toString();
        const QString id = object.value(QStringLiteral("id")).toString();
        if (id.isEmpty()) return;
        CEntry* entry = Find(id);
        if (op == QStringLiteral("begin") || op == QStringLiteral("ended")) {
            if (entry == nullptr) {
                entries.append(CEntry{});
                entry = &entries.last();
            }
            entry->row = RecordFromJson(object);
            entry->ended = op == QStringLiteral("ended");
            entry->earlier = true;
        } else if (op == QStringLiteral("state") && entry != nullptr && !entry->ended) {
            entry->stage = object.value(QStringLiteral("stage")).toString();
            entry->row.bytes = object.value(QStringLiteral("bytes")).toInteger();
            const QString bootloader = object.value(QStringLiteral("bootloader")).toString();
            if (!bootloader.isEmpty()) entry->row.bootloader = bootloader;
        } else if (op == QStringLiteral("written") && entry != nullptr) {
            entries.removeAt(entry - entries.data());
        }
    }

    void CloseFile() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

CJournal::CJournal() : m_impl(new CImpl) {}

CJournal::~CJournal() {
    m_impl->CloseFile();
    delete m_impl;
}

bool CJournal::Open(const QString& path, QString& error) {
    m_impl->CloseFile();
    m_impl->entries.clear();
    m_impl->path = path;
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder)) {
        if (!QDir().mkpath(folder)) {
            error = QStringLiteral("cannot create the folder %1").arg(folder);
            return false;
        }
        ::chmod(QFile::encodeName(folder).constData(), 0750);
    }
    const QByteArray name = QFile::encodeName(path);
    const bool existed = QFileInfo::exists(path);
    const int fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
    if (fd < 0) {
        error = SystemError(QStringLiteral("cannot open the journal %1").arg(path));
        return false;
    }
    if (!existed) {
        ::fchmod(fd, 0640);
        SyncFolder(path);
    }
    m_impl->fd = fd;

    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        error = QStringLiteral("cannot read the journal %1").arg(path);
        m_impl->CloseFile();
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    // A kill mid-write leaves a last line without its newline: drop it, also from the file, so
    // that the next line starts clean.
    const qsizetype whole = bytes.lastIndexOf('\n') + 1;
    if (whole < bytes.size() && ::ftruncate(fd, static_cast<off_t>(whole)) != 0) {
        error = SystemError(QStringLiteral("cannot mend the journal %1").arg(path));
        m_impl->CloseFile();
        return false;
    }
    for (const QByteArray& line : bytes.left(whole).split('\n')) {
        if (line.isEmpty()) continue;
        const QJsonDocument document = QJsonDocument::fromJson(line);
        // A line that is not an object was never written by us whole; nothing to learn from it.
        if (document.isObject()) m_impl->Apply(document.object());
    }
    return true;
}

bool CJournal::Begin(const CFlashRecord& row, QString& error) {
    QJsonObject object = RecordToJson(row);
    object.insert(QStringLiteral("op"), QStringLiteral("begin"));
    if (!m_impl->Append(Line(object), error)) return false;
    CImpl::CEntry* entry = m_impl->Find(row.id);
    if (entry == nullptr) {
        m_impl->entries.append(CImpl::CEntry{});
        entry = &m_impl->entries.last();
    }
    *entry = CImpl::CEntry{row, QString(), false, false};
    return true;
}

bool CJournal::State(const QString& id, const QString& stage, qint64 bytes, const QString& bootloader,
                     QString& error) {
    QJsonObject object{{QStringLiteral("op"), QStringLiteral("state")},
                       {QStringLiteral("id"), id},
                       {QStringLiteral("stage"), stage},
                       {QStringLiteral("bytes"), bytes}};
    if (!bootloader.isEmpty()) object.insert(QStringLiteral("bootloader"), bootloader);
    if (!m_impl->Append(Line(object), error)) return false;
    if (CImpl::CEntry* entry = m_impl->Find(id); entry != nullptr && !entry->ended) {
        entry->stage = stage;
        entry->row.bytes = bytes;
        if (!bootloader.isEmpty()) entry->row.bootloader = bootloader;
    }
    return true;
}

bool CJournal::Ended(const CFlashRecord& row, QString& error) {
    QJsonObject object = RecordToJson(row);
    object.insert(QStringLiteral("op"), QStringLiteral("ended"));
    if (!m_impl->Append(Line(object), error)) return false;
    CImpl::CEntry* entry = m_impl->Find(row.id);
    if (entry == nullptr) {
        m_impl->entries.append(CImpl::CEntry{});
        entry = &m_impl->entries.last();
    }
    entry->row = row;
    entry->ended = true;
    entry->earlier = false;
    return true;
}

bool CJournal::Written(const QString& id, QString& error) {
    const QJsonObject object{{QStringLiteral("op"), QStringLiteral("written")}, {QStringLiteral("id"), id}};
    if (!m_impl->Append(Line(object), error)) return false;
    if (CImpl::CEntry* entry = m_impl->Find(id); entry != nullptr) {
        m_impl->entries.removeAt(entry - m_impl->entries.data());
    }
    return true;
}

QVector<CFlashRecord> CJournal::Unwritten() const {
    QVector<CFlashRecord> rows;
    for (const CImpl::CEntry& entry : m_impl->entries) {
        if (entry.ended) rows.append(entry.row);
    }
    return rows;
}

QVector<CFlashRecord> CJournal::TakeAbandoned() {
    QVector<CFlashRecord> rows;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (CImpl::CEntry& entry : m_impl->entries) {
        if (entry.ended || !entry.earlier) continue;
        CFlashRecord row = entry.row;
        row.outcome = QStringLiteral("interrupted");
        row.ended = now;
        // No exit status was ever seen.
        row.exit = -1;
        row.message = AbandonedMessage(entry.stage, row.bytes);
        // Kept in memory even if the disk refuses the line: the caller writes the row next.
        QString ignored;
        QJsonObject object = RecordToJson(row);
        object.insert(QStringLiteral("op"), QStringLiteral("ended"));
        m_impl->Append(Line(object), ignored);
        entry.row = row;
        entry.ended = true;
        entry.earlier = false;
        rows.append(row);
    }
    return rows;
}

bool CJournal::Compact(QString& error) {
    if (m_impl->fd < 0) {
        error = QStringLiteral("the journal is not open");
        return false;
    }
    QByteArray bytes;
    for (const CImpl::CEntry& entry : m_impl->entries) {
        QJsonObject object = RecordToJson(entry.row);
        object.insert(QStringLiteral("op"), entry.ended ? QStringLiteral("ended") : QStringLiteral("begin"));
        bytes += Line(object);
        if (!entry.ended && !entry.stage.isEmpty()) {
            bytes += Line(QJsonObject{{QStringLiteral("op"), QStringLiteral("state")},
                                      {QStringLiteral("id"), entry.row.id},
                                      {QStringLiteral("stage"), entry.stage},
                                      {QStringLiteral("bytes"), entry.row.bytes}});
        }
    }
    // A new file renamed over the old: a kill at any point leaves one whole journal or the other.
    const QString temporary = m_impl->path + QStringLiteral(".new");
    const QByteArray name = QFile::encodeName(temporary);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0640);
    if (fd < 0) {
        error = SystemError(QStringLiteral("cannot compact the journal %1").arg(m_impl->path));
        return false;
    }
    ::fchmod(fd, 0640);
    if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) {
        error = SystemError(QStringLiteral("cannot compact the journal %1").arg(m_impl->path));
        ::close(fd);
        ::unlink(name.constData());
        return false;
    }
    ::close(fd);
    if (::rename(name.constData(), QFile::encodeName(m_impl->path).constData()) != 0) {
        error = SystemError(QStringLiteral("cannot compact the journal %1").arg(m_impl->path));
        ::unlink(name.constData());
        return false;
    }
    SyncFolder(m_impl->path);
    const int reopened = ::open(QFile::encodeName(m_impl->path).constData(), O_RDWR | O_APPEND | O_CLOEXEC);
    if (reopened < 0) {
        error = SystemError(QStringLiteral("cannot reopen the journal %1").arg(m_impl->path));
        m_impl->CloseFile();
        return false;
    }
    m_impl->CloseFile();
    m_impl->fd = reopened;
    return true;
}
