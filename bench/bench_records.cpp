// SPDX-License-Identifier: Apache-2.0
// What claiming a unit and recording its flash cost a station, per unit: one station alone, and
// two stations that hear the same announces and race for every unit, as on a shared line.
//
//     bench_records DB [UNITS]      DB: a SQLite file or a postgresql://... URL
#include <QCoreApplication>
#include <QUuid>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "RecordStore.h"

namespace {

using Clock = std::chrono::steady_clock;

CFlashRecord Row(const QString& station, const QString& mac) {
    CFlashRecord row;
    row.station = station;
    row.mac = mac;
    row.name = "Bench unit";
    row.address = "127.0.0.2";
    row.port = 69;
    row.bootloader = "Device bootloader v1.04";
    row.firmware = "bench.hex";
    row.sha256 = QString(64, QChar('a'));
    row.length = 65536;
    row.crc = 0x1234;
    row.started = row.ended = QDateTime::currentDateTimeUtc();
    row.outcome = "verified";
    row.message = "verified";
    row.bytes = 65536;
    row.attempts = 1;
    row.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    return row;
}

// Milliseconds per unit for units units flashed by stations stations (1 or 2) sharing db.
bool Run(const QString& db, int stations, int units, const QString& tag, double& msPerUnit) {
    CRecordStore store[2];
    QString error;
    for (int s = 0; s < stations; ++s) {
        if (!store[s].Open(db, error)) {
            std::fprintf(stderr, "bench_records: %s\n", qPrintable(error));
            return false;
        }
    }
    const QString names[2] = {"bench-a-" + tag, "bench-b-" + tag};
    const auto start = Clock::now();
    for (int i = 0; i < units; ++i) {
        const QString mac = QString("02-%1-00-00-%2").arg(tag).arg(i, 5, 16, QChar('0'));
        // Both hear the announce; the first to claim flashes, the other is told who holds it.
        int winner = -1;
        for (int k = 0; k < stations; ++k) {
            const int s = (i + k) % stations;
            QString holder;
            const EClaim claim = store[s].Claim(mac, names[s], 120, &holder, error);
            if (claim == EClaim::kError) {
                std::fprintf(stderr, "bench_records: claim: %s\n", qPrintable(error));
                return false;
            }
            if (claim == EClaim::kTaken && winner < 0) winner = s;
        }
        if (winner < 0 || !store[winner].Write(Row(names[winner], mac), error)) {
            std::fprintf(stderr, "bench_records: unit %d not recorded: %s\n", i,
                         qPrintable(error));
            return false;
        }
    }
    const double ms =
        std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    msPerUnit = ms / units;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_records DB [UNITS]\n");
        return 64;
    }
    const QString db = QString::fromLocal8Bit(argv[1]);
    const int units = argc > 2 ? std::atoi(argv[2]) : 500;
    const QString tag = QString::number(QDateTime::currentMSecsSinceEpoch() % 100000, 16);
    double one = 0, two = 0;
    if (!Run(db, 1, units, tag + "1", one) || !Run(db, 2, units, tag + "2", two)) return 1;
    std::printf("%d units: one station %.2f ms a unit, two stations %.2f ms a unit "
                "(claim by both, write by the winner)\n",
                units, one, two);
    return 0;
}
