#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""quillon-station against a simulated line on 127.0.0.2 and up, end to end.

--case sqlite:  8 units in the filter and one outside it join 200 ms apart; each of the 8 is
                erased exactly once (the simulator's count), 8 verified rows, none is flashed
                again after its restart, and the ninth is never woken.
--case failing: a unit that always fails (a bootloader too old for --reset-defaults) is tried
                again only --retry-after past its failure, at most --max-failures times, and
                then needs attention; --retry-failed at the next start tries it once more.
--case interrupt: SIGTERM mid-flash interrupts every flash through quillon-flash's own path,
                records each as interrupted, and exits 143.
--case reload:  a file changed on disk mid-flash is not flashed; SIGHUP refuses a bad file
                (the old one stays) and puts a good one in force for the units after it.
Every stdout line is checked against the station's event schema.
"""
import argparse
import os
import shutil
import signal
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stationrig as rig  # noqa: E402


def case_sqlite(args, tmp, failures):
    firmware = os.path.join(tmp, "fw.hex")
    rig.hexgen(args.hexgen, firmware, 8192)
    db = os.path.join(tmp, "state", "records.sqlite")
    line = rig.Line(args.unitsim, 9, ["--join-every", "200", "--announce-interval", "300",
                                      "--restart-ms", "300"])
    station = None
    try:
        station = rig.Station(args.station, args.flash, firmware, db, line,
                              ["--mac", "00:04:a3", "--name", "Line-[1-8]", "--station", "bench-1"])
        station.wait_for(lambda: len(station.results()) >= 8, 60, "8 results")
        # Each restarted unit announces "Running firmware" and is skipped as verified.
        macs = {rig.mac_of(i) for i in range(8)}
        station.wait_for(lambda: macs <= {e["mac"] for e in station.events("skip")
                                          if e["reason"] == "verified"}, 20,
                         "every unit heard again after its restart")
        time.sleep(1.0)  # a few more announces of each: none may start a flash
    finally:
        status = station.stop(signal.SIGINT) if station else None
        counts = line.stop()

    results = station.results()
    check(len(results) == 8 and all(r["ok"] for r in results),
          "8 verified results: %s" % results, failures)
    check(status == 130, "exit status %s after SIGINT, expected 130" % status, failures)
    for i in range(8):
        check(counts.get(rig.address_of(i)) == 1,
              "unit %d erased %s times" % (i, counts.get(rig.address_of(i))), failures)
    outsider = rig.address_of(8)
    check(counts.get(outsider) == 0, "the unit outside the filter erased %s times" %
          counts.get(outsider), failures)
    check(not line.woken(outsider), "the unit outside the filter was woken", failures)
    check(any(e["mac"] == rig.mac_of(8) and e["reason"] == "outside the filter"
              for e in station.events("skip")), "the outsider is skipped as outside", failures)
    rows = rig.sqlite_rows(db)
    check(len(rows) == 8, "%d rows, expected 8" % len(rows), failures)
    check(sorted(r["mac"] for r in rows) == sorted(rig.mac_of(i) for i in range(8)),
          "one row per unit: %s" % [r["mac"] for r in rows], failures)
    fw = station.first("firmware")
    for row in rows:
        check(row["outcome"] == "verified" and row["station"] == "bench-1" and
              row["sha256"] == fw["sha256"] and row["bytes"] == 8192 and
              row["port"] == line.port and row["address"].startswith("127.0.0."),
              "row %s" % row, failures)
    check(oct(os.stat(db).st_mode & 0o777) == "0o640", "the record is created 0640", failures)
    return [station]


def case_failing(args, tmp, failures):
    firmware = os.path.join(tmp, "fw.hex")
    rig.hexgen(args.hexgen, firmware, 1024)
    db = os.path.join(tmp, "records.sqlite")
    common = ["--any", "--reset-defaults", "--max-failures", "2", "--retry-after", "2"]
    line = rig.Line(args.unitsim, 1,
                    ["--announce-interval", "200", "--bootloader-version", "1.03", "--quiet"])
    try:
        station = rig.Station(args.station, args.flash, firmware, db, line, common)
        try:
            station.wait_for(lambda: station.first("attention") is not None, 30, "attention")
            time.sleep(2.5)  # past --retry-after again: an unbounded station would try a third time
        finally:
            station.stop(signal.SIGTERM)
    except BaseException:
        line.stop()
        raise
    results = station.results()
    check(len(results) == 2 and all(r["exit"] == 5 for r in results),
          "two failed flashes (exit 5): %s" % results, failures)
    starts = [e["time"] for e in station.events("log")
              if e.get("line") == "Attempting to connect..."]
    if len(results) == 2 and len(starts) == 2:
        check(starts[1] - results[0]["time"] >= 2.0,
              "tried again %.3f s after its failure, --retry-after 2" % (
                  starts[1] - results[0]["time"]), failures)
    attention = station.first("attention")
    check(attention is not None and attention["failures"] == 2, "attention: %s" % attention,
          failures)

    # Next start: the record still says two failures (attention at once, nothing tried) ...
    again = rig.Station(args.station, args.flash, firmware, db, line, common)
    try:
        again.wait_for(lambda: again.first("attention") is not None, 20, "attention from the record")
    finally:
        again.stop()
    check(not again.results(), "a unit needing attention is left alone", failures)
    # ... unless --retry-failed.
    retry = rig.Station(args.station, args.flash, firmware, db, line, common + ["--retry-failed"])
    try:
        retry.wait_for(lambda: len(retry.results()) >= 1, 20, "a new try with --retry-failed")
    finally:
        retry.stop()
        line.stop()
    rows = rig.sqlite_rows(db)
    check(len(rows) == 3 and all(r["outcome"] == "failed" and r["exit"] == 5 for r in rows),
          "three failed rows: %s" % rows, failures)
    return [station, again, retry]


def case_interrupt(args, tmp, failures):
    firmware = os.path.join(tmp, "fw.hex")
    rig.hexgen(args.hexgen, firmware, 8192)
    db = os.path.join(tmp, "records.sqlite")
    # About 2.5 s of programming each: the stop lands mid-flash.
    line = rig.Line(args.unitsim, 3, ["--announce-interval", "300", "--erase-ms", "100",
                                      "--program-us-per-byte", "300", "--quiet"])
    try:
        station = rig.Station(args.station, args.flash, firmware, db, line, ["--any"])
        station.wait_for(lambda: len({e["mac"] for e in station.events("progress")
                                      if e["stage"] == "programming"}) == 3, 30,
                         "three units programming")
        stopped = time.monotonic()
        status = station.stop(signal.SIGTERM)
        took = time.monotonic() - stopped
    finally:
        line.stop()
    check(status == 143, "exit status %s after SIGTERM, expected 143" % status, failures)
    check(took < 15, "stopping took %.1f s" % took, failures)
    results = station.results()
    check(len(results) == 3 and all(r["exit"] == 130 for r in results),
          "each flash ended through quillon-flash's interrupt path: %s" % results, failures)
    rows = rig.sqlite_rows(db)
    check(len(rows) == 3 and all(r["outcome"] == "interrupted" and r["exit"] == 130 for r in rows),
          "three interrupted rows: %s" % rows, failures)
    return [station]


def case_reload(args, tmp, failures):
    first, second = os.path.join(tmp, "a.hex"), os.path.join(tmp, "b.hex")
    rig.hexgen(args.hexgen, first, 4096)
    rig.hexgen(args.hexgen, second, 2048)
    firmware = os.path.join(tmp, "fw.hex")
    shutil.copy(first, firmware)
    db = os.path.join(tmp, "records.sqlite")
    # The second unit joins long after the first (and after both SIGHUPs, even on a slow
    # sanitizer build); programming takes about 1.2 s.
    line = rig.Line(args.unitsim, 2, ["--join-every", "9000", "--announce-interval", "300",
                                      "--restart-ms", "300", "--program-us-per-byte", "300",
                                      "--quiet"])
    try:
        station = rig.Station(args.station, args.flash, firmware, db, line, ["--any"])
        sha_a = station.first("firmware")["sha256"]
        station.wait_for(lambda: any(e["stage"] == "programming" for e in station.events("progress")),
                         20, "the first unit programming")
        # Changed on disk mid-flash, without SIGHUP: the flash goes on with the copy in force.
        shutil.copy(second, firmware)
        station.wait_for(lambda: station.results(), 20, "the first unit's result")
        with open(firmware, "w", encoding="ascii") as f:
            f.write("not a hex file\n")
        station.signal(signal.SIGHUP)
        station.wait_for(lambda: len(station.events("firmware")) == 2, 20, "the refusal")
        shutil.copy(second, firmware)
        station.signal(signal.SIGHUP)
        station.wait_for(lambda: len(station.events("firmware")) == 3, 20, "the new firmware")
        check(not any(e["mac"] == rig.mac_of(1) for e in station.events("progress")),
              "the second unit joined before the new firmware came into force", failures)
        # The first unit again (its record is for the old firmware) and the second, with b.
        station.wait_for(lambda: len(station.results(ok=True)) >= 3, 40, "three verified flashes")
        station.stop()
    finally:
        line.stop()
    refused, accepted = station.events("firmware")[1:]
    check(not refused["accepted"] and refused["sha256"] == sha_a and "refused" in refused["reason"],
          "a bad file is refused and the old one named as in force: %s" % refused, failures)
    check(accepted["accepted"] and accepted["sha256"] != sha_a and accepted["length"] == 2048,
          "the good file is in force: %s" % accepted, failures)
    rows = rig.sqlite_rows(db)
    got = sorted((r["mac"], r["sha256"], r["length"], r["outcome"]) for r in rows)
    want = sorted([(rig.mac_of(0), sha_a, 4096, "verified"),
                   (rig.mac_of(0), accepted["sha256"], 2048, "verified"),
                   (rig.mac_of(1), accepted["sha256"], 2048, "verified")])
    check(got == want, "rows %s, expected %s" % (got, want), failures)
    return [station]


def check(ok, what, failures):
    if not ok:
        failures.append(what)


def main():
    parser = argparse.ArgumentParser()
    for name in ("station", "flash", "unitsim", "hexgen", "schema", "case"):
        parser.add_argument("--" + name, required=True)
    args = parser.parse_args()
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        cases = {"sqlite": case_sqlite, "failing": case_failing, "interrupt": case_interrupt,
                 "reload": case_reload}
        stations = cases[args.case](args, tmp, failures)
    lines = [l for s in stations for l in s.lines()]
    rig.check_schema(args.schema, lines, failures)
    for failure in failures:
        print("FAIL:", failure)
    if failures:
        for s in stations:
            print("--- station stderr:\n" + "\n".join(s.lines(err=True)))
        return 1
    print("%s: %d events, all valid" % (args.case, len(lines)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
