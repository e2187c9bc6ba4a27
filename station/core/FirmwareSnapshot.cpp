// SPDX-License-Identifier: Apache-2.0
#include "FirmwareSnapshot.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

// The largest HEX file that fills the 5 MiB image, with room for comments and long lines.
constexpr qint64 kLargestFirmware = 64ll << 20;
constexpr int kCheckTimeoutMs = 60000;

QString SnapshotPrefix(const QString& station) {
    QString safe = station;
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    safe.replace(unsafe, QStringLiteral("_"));
    return QStringLiteral("firmware-%1-").arg(safe);
}

bool ParseHex(const QString& text, quint32& value) {
    bool ok = false;
    value = text.startsWith(QLatin1String("0x")) ? text.mid(2).toUInt(&ok, 16) : text.toUInt(&ok);
    return ok;
}

// "start 0x9D000000\nlength N\ncrc16 0xXXXX\nrecords N\n"
bool ParseImageInfo(const QByteArray& out, CFirmwareInForce& identity) {
    bool start = false, length = false, crc = false;
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> words = line.trimmed().split(' ');
        if (words.size() != 2) continue;
        quint32 value = 0;
        if (!ParseHex(QString::fromLatin1(words[1]), value)) continue;
        if (words[0] == "start") {
            identity.start = value;
            start = true;
        } else if (words[0] == "length") {
            identity.length = value;
            length = true;
        } else if (words[0] == "crc16" && value <= 0xFFFF) {
            identity.crc = static_cast<quint16>(value);
            crc = true;
        }
    }
    return start && length && crc;
}

}  // namespace

bool TakeFirmwareSnapshot(const QString& file, const QString& folder, const QString& station,
                          const QString& flasher, CFirmwareSnapshot& snapshot, QString& error) {
    QFile source(file);
    if (!source.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(file, source.errorString());
        return false;
    }
    if (source.size() > kLargestFirmware) {
        error = QStringLiteral("%1 is larger than any firmware file (%2 bytes)")
                    .arg(file)
                    .arg(source.size());
        return false;
    }
    // One read: the bytes hashed are the bytes copied, whatever the file does meanwhile.
    const QByteArray bytes = source.read(kLargestFirmware + 1);
    if (source.error() != QFileDevice::NoError || bytes.size() > kLargestFirmware) {
        error = QStringLiteral("cannot read %1: %2").arg(file, source.errorString());
        return false;
    }
    const QString sha =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    const QString copy =
        QDir(folder).filePath(SnapshotPrefix(station) + sha.left(16) + QStringLiteral(".hex"));
    // The same file accepted again names the copy in force; a failed check must not remove it.
    const bool existed = QFile::exists(copy);
    QSaveFile out(copy);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        error = QStringLiteral("cannot write the firmware's copy %1: %2").arg(copy, out.errorString());
        return false;
    }
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);

    QProcess check;
    check.start(flasher, {QStringLiteral("--image-info"), copy}, QIODevice::ReadOnly);
    const bool finished = check.waitForStarted(kCheckTimeoutMs) && check.waitForFinished(kCheckTimeoutMs);
    CFirmwareInForce identity;
    if (!finished || check.exitStatus() != QProcess::NormalExit || check.exitCode() != 0 ||
        !ParseImageInfo(check.readAllStandardOutput(), identity)) {
        QString reason = QString::fromUtf8(check.readAllStandardError()).trimmed();
        reason.remove(QStringLiteral("quillon-flash: "));
        // The copy's path means nothing to the user; the file as given does.
        reason.replace(copy, file);
        if (reason.startsWith(file + QStringLiteral(": "))) reason.remove(0, file.size() + 2);
        if (!finished) reason = QStringLiteral("%1 did not check it: %2").arg(flasher, check.errorString());
        if (reason.isEmpty()) reason = QStringLiteral("quillon-flash refused it");
        error = QStringLiteral("firmware %1 refused: %2").arg(file, reason);
        if (check.state() != QProcess::NotRunning) {
            check.kill();
            check.waitForFinished(5000);
        }
        if (!existed) QFile::remove(copy);
        return false;
    }
    identity.file = file;
    identity.sha256 = sha;
    identity.since = QDateTime::currentDateTimeUtc();
    snapshot.identity = identity;
    snapshot.copy = copy;
    return true;
}

void RemoveOldSnapshots(const QString& folder, const QString& station, const QString& keep) {
    const QDir dir(folder);
    const QString prefix = SnapshotPrefix(station);
    for (const QString& name :
         dir.entryList({prefix + QStringLiteral("*.hex")}, QDir::Files | QDir::NoDotAndDotDot)) {
        const QString path = dir.filePath(name);
        if (QFileInfo(path).absoluteFilePath() != QFileInfo(keep).absoluteFilePath())
            QFile::remove(path);
    }
}
