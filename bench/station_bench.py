#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The flashing station's figures, on this machine and loopback only.

1. line: 64 simulated units joining 100 ms apart at a real flash's pace (erase 200 ms, 20 us a
   byte), flashed by one quillon-station (--jobs 64) from the first join to the last verified,
   against quillon-flash given all 64 targets at once. Goal: at most the fleet's time plus the
   6.3 s of joining, plus 10 %.
2. record: bench_records on SQLite and on a PostgreSQL started here: what claiming a unit and
   recording its flash cost per unit, one station alone and two racing for every unit.

    bench/station_bench.py [BUILD_DIR]        (default build/default)

It reuses the station tests' process rig and the PostgreSQL test server, so that the bench runs
exactly what the tests run.
"""
import json
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path[:0] = [os.path.join(ROOT, "tests", "station"), os.path.join(ROOT, "tests", "common")]
import pg_server  # noqa: E402
import stationrig  # noqa: E402

UNITS = 64
JOIN_MS = 100
PACE = ["--erase-ms", "200", "--program-us-per-byte", "20", "--quiet"]
FIRMWARE_BYTES = 65536


def fleet_seconds(build, firmware):
    line = stationrig.Line(f"{build}/tools/unitsim/unitsim", UNITS,
                           extra=PACE + ["--announce-interval", "0"])
    targets = [f"{a}:{p}" for a, p in line.bound()]
    start = time.monotonic()
    done = subprocess.run([f"{build}/loader/cli/quillon-flash", "--jobs", str(UNITS), "--json",
                           *targets, firmware], capture_output=True, text=True, timeout=300)
    seconds = time.monotonic() - start
    line.stop()
    results = [json.loads(l) for l in done.stdout.splitlines() if '"event":"result"' in l]
    verified = sum(1 for r in results if r["ok"])
    if done.returncode != 0 or verified != UNITS:
        sys.exit(f"fleet: exit {done.returncode}, {verified} verified\n{done.stderr[-2000:]}")
    return seconds


def station_seconds(build, firmware, folder):
    start = time.monotonic()
    line = stationrig.Line(f"{build}/tools/unitsim/unitsim", UNITS,
                           extra=PACE + ["--join-every", str(JOIN_MS)])
    station = stationrig.Station(f"{build}/station/core/quillon-station",
                                 f"{build}/loader/cli/quillon-flash", firmware,
                                 os.path.join(folder, "line.sqlite"), line,
                                 extra=["--mac", "00:04:A3", "--jobs", str(UNITS)])
    station.wait_for(lambda: len(station.results(ok=True)) >= UNITS, 300, "64 verified units")
    seconds = time.monotonic() - start
    station.stop()
    counts = line.stop()
    if sorted(counts.values()) != [1] * UNITS:
        sys.exit(f"station: erase counts {counts}")
    return seconds


def record_figures(build, folder):
    bench = f"{build}/bench/bench_records"
    lines = []
    sqlite = subprocess.run([bench, os.path.join(folder, "bench.sqlite"), "300"],
                            capture_output=True, text=True, timeout=600, check=True)
    lines.append("SQLite:     " + sqlite.stdout.strip())
    if pg_server.installed():
        with pg_server.PgServer() as pg:
            pg.create_database("bench")
            done = subprocess.run([bench, pg.url("bench"), "300"], capture_output=True,
                                  text=True, timeout=600, check=True)
            lines.append("PostgreSQL: " + done.stdout.strip())
    return lines


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "default")
    with tempfile.TemporaryDirectory(prefix="quillon-station-bench.") as folder:
        firmware = os.path.join(folder, "fw.hex")
        stationrig.hexgen(f"{build}/tools/hexgen/hexgen", firmware, FIRMWARE_BYTES)
        fleet = fleet_seconds(build, firmware)
        station = station_seconds(build, firmware, folder)
        joining = (UNITS - 1) * JOIN_MS / 1000
        bound = (fleet + joining) * 1.10
        print(f"line of {UNITS}: quillon-flash all at once {fleet:.2f} s; station from the first "
              f"join to the last verified {station:.2f} s; bound (fleet + {joining:.1f} s) x 1.1 "
              f"= {bound:.2f} s: {'met' if station <= bound else 'MISSED'}")
        for line in record_figures(build, folder):
            print(line)


if __name__ == "__main__":
    main()
