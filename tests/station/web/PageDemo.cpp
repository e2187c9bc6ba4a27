// SPDX-License-Identifier: Apache-2.0
// A line played on a timer behind the real page, for the browser test and for looking at the
// page by hand: units join one after another, are flashed, verify or fail, and their rows go to
// a SQLite record. One unit has a hostile name; one always fails and ends needing attention.
//
//   station_page_demo [--http ADDR:PORT] [--http-token-file FILE] [--db PATH] [--units N]
//                     [--step-ms MS] [--run-ms MS]
//
// Prints "page on ADDR:PORT" once listening; ends by itself after --run-ms.
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

#include "LineState.h"
#include "RecordStore.h"
#include "StationWeb.h"
#include "WebOptions.h"

namespace {

constexpr qint64 kTotal = 16384;
constexpr int kMaxFailures = 2;

struct CDemo {
    CLineState state;
    CRecordStore store;
    int units = 6;
    int ticks = 0;

    static QString Mac(int i) {
        return QStringLiteral("00:1E:C0:D0:00:%1").arg(i + 1, 2, 10, QLatin1Char('0'));
    }
    static bool Fails(int i) { return i == 2; }

    void Record(const CUnitCard& card, bool ok) {
        CFlashRecord row;
        row.id = QStringLiteral("%1-%2").arg(card.mac).arg(ticks);
        row.station = state.station;
        row.mac = card.mac;
        row.name = card.name;
        row.address = card.address;
        row.port = 69;
        row.bootloader = QStringLiteral("Device bootloader v1.04");
        row.firmware = state.firmware.file;
        row.sha256 = state.firmware.sha256;
        row.start = state.firmware.start;
        row.length = state.firmware.length;
        row.crc = state.firmware.crc;
        row.started = card.started;
        row.ended = card.ended;
        row.outcome = ok ? QStringLiteral("verified") : QStringLiteral("failed");
        row.exit = ok ? 0 : 1;
        row.message = card.message;
        row.bytes = card.done;
        row.attempts = 1;
        QString error;
        if (!store.Write(row, error)) std::fprintf(stderr, "demo: %s\n", qPrintable(error));
    }

    // One step of every unit that has joined.
    void Tick() {
        ++ticks;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (int i = 0; i < units && i * 2 < ticks; ++i) {
            const QString mac = Mac(i);
            if (!state.units.contains(mac)) {
                CUnitCard card;
                card.mac = mac;
                card.name = i == 1 ? QStringLiteral("<img src=x onerror=alert(1)>")
                                   : QStringLiteral("press-%1").arg(i + 1);
                card.address = QStringLiteral("127.0.0.%1").arg(i + 2);
                card.stage = QStringLiteral("waiting");
                state.units.insert(mac, card);
            }
            CUnitCard& card = state.units[mac];
            card.lastHeard = now;
            Advance(i, card, now);
        }
        state.running = 0;
        for (const CUnitCard& card : std::as_const(state.units))
            if (card.started.isValid() && !card.ended.isValid()) ++state.running;
        ++state.generation;
    }

    void Advance(int i, CUnitCard& card, const QDateTime& now) {
        const QString& stage = card.stage;
        if (stage == QLatin1String("waiting") ||
            (stage == QLatin1String("failed") && card.failures < kMaxFailures)) {
            card.stage = QStringLiteral("connecting");
            card.started = now;
            card.ended = QDateTime();
            card.done = 0;
            card.total = kTotal;
            card.message.clear();
        } else if (stage == QLatin1String("connecting")) {
            card.stage = QStringLiteral("erasing");
        } else if (stage == QLatin1String("erasing") && Fails(i)) {
            card.stage = ++card.failures >= kMaxFailures ? QStringLiteral("attention")
                                                         : QStringLiteral("failed");
            card.ended = now;
            card.message = QStringLiteral("no response from the unit while erasing");
            Record(card, false);
        } else if (stage == QLatin1String("erasing")) {
            card.stage = QStringLiteral("programming");
        } else if (stage == QLatin1String("programming")) {
            card.done = qMin(kTotal, card.done + kTotal / 8);
            if (card.done == kTotal) card.stage = QStringLiteral("verifying");
        } else if (stage == QLatin1String("verifying")) {
            card.stage = QStringLiteral("verified");
            card.ended = now;
            card.message = QStringLiteral("verified");
            Record(card, true);
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    CWebOptions options;
    options.port = 0;
    QString db = QStringLiteral("page-demo.sqlite");
    int stepMs = 300;
    int runMs = 120000;
    CDemo demo;
    const QStringList args = app.arguments();
    QString error;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        const QString& name = args[i];
        const QString& value = args[i + 1];
        bool ok = true;
        if (name == QLatin1String("--http"))
            ok = ParseHttpListen(value, options, error);
        else if (name == QLatin1String("--http-token-file"))
            ok = ReadHttpTokenFile(value, options.token, error);
        else if (name == QLatin1String("--db"))
            db = value;
        else if (name == QLatin1String("--units"))
            demo.units = qBound(1, value.toInt(), 200);
        else if (name == QLatin1String("--step-ms"))
            stepMs = qBound(10, value.toInt(), 10000);
        else if (name == QLatin1String("--run-ms"))
            runMs = qBound(100, value.toInt(), 3600000);
        else
            error = QStringLiteral("unknown option %1").arg(name), ok = false;
        if (!ok) {
            std::fprintf(stderr, "station_page_demo: %s\n", qPrintable(error));
            return 2;
        }
    }
    if (!demo.store.Open(db, error)) {
        std::fprintf(stderr, "station_page_demo: %s\n", qPrintable(error));
        return 1;
    }
    demo.state.station = QStringLiteral("demo-line");
    demo.state.firmware.file = QStringLiteral("app-1.2.hex");
    demo.state.firmware.sha256 =
        QStringLiteral("3f2a9c0d5e8b41f7a6c2d9e0b1f4a7c3d6e9f2a5b8c1d4e7f0a3b6c9d2e5f8a1");
    demo.state.firmware.start = 0x9D000000;
    demo.state.firmware.length = 0x4000;
    demo.state.firmware.crc = 0x3C5A;
    demo.state.firmware.since = QDateTime::currentDateTimeUtc();
    demo.state.firmware.reloadRefused =
        QStringLiteral("app-1.3.hex: <b>line 12</b>: checksum mismatch");

    CStationWeb web(demo.state, demo.store, options);
    if (!web.Listen(error)) {
        std::fprintf(stderr, "station_page_demo: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("page on %s:%u\n", qPrintable(options.address.toString()), web.Port());
    std::fflush(stdout);

    QTimer step;
    QObject::connect(&step, &QTimer::timeout, [&] { demo.Tick(); });
    step.start(stepMs);
    QTimer::singleShot(runMs, &app, &QCoreApplication::quit);
    return app.exec();
}
