// SPDX-License-Identifier: Apache-2.0
#include "HandRecord.h"

#include <clocale>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QSysInfo>
#include <QUuid>

#include "RecordStore.h"

namespace {

// Qt SQL loads its drivers as plugins, which needs an application object; a console program
// without one gets a quiet one. Qt would take the user's locale for the C library too, which
// would turn quillon-flash's "0.5" into "0,5": the locale is put back.
std::unique_ptr<QCoreApplication> QuietApplication() {
    if (QCoreApplication::instance() != nullptr) return nullptr;
    static int s_argc = 1;
    static char s_name[] = "quillon-flash";
    static char* s_argv[] = {s_name, nullptr};
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    auto app = std::make_unique<QCoreApplication>(s_argc, s_argv);
    std::setlocale(LC_ALL, locale.c_str());
    return app;
}

}  // namespace

struct CHandRecord::CImpl {
    std::unique_ptr<QCoreApplication> app;  // outlives the store
    CRecordStore store;
    CFlashRecord base;
};

CHandRecord::CHandRecord() : m_impl(std::make_unique<CImpl>()) {}

CHandRecord::~CHandRecord() = default;

bool CHandRecord::Open(const std::string& target, const CHandFirmware& firmware, const std::string& mac,
                       std::string& error) {
    m_impl->app = QuietApplication();
    CFlashRecord& base = m_impl->base;
    const QString path = QString::fromStdString(firmware.path);
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
        error = "cannot read " + firmware.path + " for the record: " + file.errorString().toStdString();
        return false;
    }
    base.sha256 = QString::fromLatin1(hash.result().toHex());
    base.firmware = path;
    base.start = firmware.start;
    base.length = firmware.length;
    base.crc = firmware.crc;
    base.mac = QString::fromStdString(mac);
    base.station = QSysInfo::machineHostName();
    QString why;
    if (!m_impl->store.Open(QString::fromStdString(target), why)) {
        error = why.toStdString();
        return false;
    }
    return true;
}

bool CHandRecord::Write(const CHandFlash& flash, std::string& error) {
    CFlashRecord row = m_impl->base;
    row.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    row.address = QString::fromStdString(flash.address);
    row.port = flash.port;
    row.bootloader = QString::fromStdString(flash.bootloader);
    row.ended = QDateTime::currentDateTimeUtc();
    row.started = row.ended.addMSecs(-static_cast<qint64>(flash.seconds * 1000.0 + 0.5));
    row.exit = flash.exit;
    // The same words the station uses for its children's results.
    row.outcome = flash.ok                                  ? QStringLiteral("verified")
                  : (flash.exit == 130 || flash.exit == 143) ? QStringLiteral("interrupted")
                                                             : QStringLiteral("failed");
    row.message = QString::fromStdString(flash.message);
    row.bytes = static_cast<qint64>(flash.bytes);
    row.attempts = flash.attempts;
    QString why;
    // One try, then one more on a fresh connection: a server restarted under a long fleet.
    if (m_impl->store.Write(row, why)) return true;
    if (m_impl->store.Ping() && m_impl->store.Write(row, why)) return true;
    error = why.toStdString();
    return false;
}
