// SPDX-License-Identifier: Apache-2.0
// quillon-station: flashes every unit that announces itself on the line, exactly once.
#include <QCoreApplication>
#include <cstdio>
#include <memory>

#include "SignalPipe.h"
#include "Station.h"
#include "StationOptions.h"
#include "StationOutput.h"
#include "StationWeb.h"

int main(int argc, char** argv) {
    CStationOptions options;
    QString error;
    if (!ParseStationOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "quillon-station: %s\n%s(try --help)\n", error.toLocal8Bit().constData(),
                     kStationUsage);
        return kStationExitUsage;
    }
    if (options.mode == EStationMode::kHelp) {
        std::fputs(kStationUsage, stdout);
        std::fputs("\n", stdout);
        std::fputs(StationHelp().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (options.mode == EStationMode::kVersion) {
        std::puts("quillon-station " QUILLON_VERSION);
        return 0;
    }

    if (!options.httpTokenFile.isEmpty() &&
        !ReadHttpTokenFile(options.httpTokenFile, options.web.token, error)) {
        std::fprintf(stderr, "quillon-station: %s\n", error.toLocal8Bit().constData());
        return kStationExitUsage;
    }

    QCoreApplication app(argc, argv);
    CStationOutput output(options.json);
    CStation station(options, output);
    // Caught before anything starts, so that a signal during start-up is not lost: it is handled
    // once the loop runs.
    CSignalPipe signalPipe([&station](int signal) { station.OnSignal(signal); });
    if (!signalPipe.Install()) {
        std::fprintf(stderr, "quillon-station: cannot catch signals\n");
        return kStationExitFailure;
    }
    const int status = station.Start();
    if (status != 0) return status;
    std::unique_ptr<CStationWeb> page;
    if (options.web.enabled) {
        page = std::make_unique<CStationWeb>(station.State(), station.Store(), options.web);
        if (!page->Listen(error)) {
            output.Line(QStringLiteral("cannot serve the page on %1: %2").arg(options.http, error));
            return kStationExitFailure;
        }
        const QString host = options.web.address.protocol() == QAbstractSocket::IPv6Protocol
                                 ? QStringLiteral("[%1]").arg(options.web.address.toString())
                                 : options.web.address.toString();
        station.SetPageAddress(QStringLiteral("%1:%2").arg(host).arg(page->Port()));
    }
    station.Announce();
    return QCoreApplication::exec();
}
