#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""quillon-station on a real PostgreSQL 15, started here in a temporary folder (Unix socket only).

--case two-stations: two stations share the record and hear the same 16 units. One of them is
        killed with SIGKILL mid-flash; the other takes its units over once the lease ended.
        Every other unit is erased exactly once; one verified row per unit; the killed
        station's next start records each flash it had begun as interrupted and leaves no
        claim.
--case database-away: the server stops while units are being flashed and comes back: their
        rows go to the journal and are written on its return, nothing new starts meanwhile,
        and no row is lost or doubled.
"""
import argparse
import os
import signal
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "common"))
import pg_server  # noqa: E402
import stationrig as rig  # noqa: E402


def check(ok, what, failures):
    if not ok:
        failures.append(what)


def station_env(tmp, name):
    """Each station its own state folder: its journal and firmware copy live there."""
    env = dict(os.environ)
    env["STATE_DIRECTORY"] = os.path.join(tmp, "state-" + name)
    return env


def rows(pg):
    return rig.pg_rows(pg, "line", "SELECT mac, outcome, station, exit FROM records ORDER BY seq")


def case_two_stations(args, tmp, pg, failures):
    firmware = os.path.join(tmp, "fw.hex")
    rig.hexgen(args.hexgen, firmware, 8192)
    url = pg.url("line")
    # About a second of programming per unit, so that a kill lands mid-flash.
    # Stations on one host cannot share the line's announce port; the fanout stands for the
    # network that brings each announce to both.
    fanout = rig.Fanout()
    line = rig.Line(args.unitsim, 16, ["--join-every", "150", "--announce-interval", "300",
                                       "--restart-ms", "300", "--erase-ms", "100",
                                       "--program-us-per-byte", "100", "--quiet"],
                    announce_port=fanout.port)
    common = ["--mac", "00-04-a3", "--lease", "3"]
    stations = []
    try:
        a = rig.Station(args.station, args.flash, firmware, url, line,
                        common + ["--station", "a"], env=station_env(tmp, "a"), fanout=fanout)
        stations.append(a)
        b = rig.Station(args.station, args.flash, firmware, url, line,
                        common + ["--station", "b"], env=station_env(tmp, "b"), fanout=fanout)
        stations.append(b)

        def programming_on_b():
            done = {e["mac"] for e in b.results()}
            return [e["mac"] for e in b.events("progress")
                    if e["stage"] == "programming" and e["mac"] not in done]
        b.wait_for(lambda: programming_on_b(), 30, "b programming a unit")
        b.proc.send_signal(signal.SIGKILL)
        b.finish()
        killed_at = time.monotonic()
        # Every unit b had begun and not ended: at least the one it was programming.
        ended = {e["mac"] for e in b.results()}
        begun = {l.split()[1] for l in b.lines(err=True) if l.endswith(": flashing " + firmware)}
        victims = begun - ended
        verified_by_b = {e["mac"] for e in b.results(ok=True)}

        everyone = {rig.mac_of(i) for i in range(16)}
        a.wait_for(lambda: verified_by_b | {e["mac"] for e in a.results(ok=True)} >= everyone,
                   90, "every unit verified by a or b")
        took_over = time.monotonic() - killed_at
        held = {e["mac"] for e in a.events("skip") if e["reason"] == "claimed by b"}
        check(victims <= held, "a left %s alone while b's claims held (%s)" % (victims, held),
              failures)

        # b again: its killed flash becomes an interrupted row, its claims are given back.
        again = rig.Station(args.station, args.flash, firmware, url, line,
                            common + ["--station", "b"], env=station_env(tmp, "b"), fanout=fanout)
        stations.append(again)
        time.sleep(1.0)  # it hears the line: every unit is verified, nothing starts
        check(again.stop(signal.SIGTERM) == 143, "b's second run exits 143", failures)
        check(not again.results(), "b's second run flashed %s" % again.results(), failures)
        check(a.stop(signal.SIGTERM) == 143, "a exits 143", failures)
    finally:
        counts = line.stop()
        fanout.stop()

    for i in range(16):
        mac, address = rig.mac_of(i), rig.address_of(i)
        # A unit b was flashing may or may not have been erased by b before the kill.
        expected = (1, 2) if mac in victims else (1,)
        check(counts.get(address) in expected, "%s (%s) erased %s times, expected %s" % (
            mac, address, counts.get(address), expected), failures)
    found = rows(pg)
    verified = sorted(r[0] for r in found if r[1] == "verified")
    check(verified == sorted(rig.mac_of(i) for i in range(16)),
          "one verified row per unit: %s" % verified, failures)
    others = [r for r in found if r[1] != "verified"]
    check(sorted(r[0] for r in others) == sorted(victims) and
          all(r[1] == "interrupted" and r[2] == "b" for r in others),
          "each flash b had begun recorded once as interrupted: %s, begun %s" % (others, victims),
          failures)
    check(rig.pg_rows(pg, "line", "SELECT count(*) FROM claims") == [["0"]], "no claim left standing",
          failures)
    print("%d units taken over from the killed station, all verified by a %.1f s after the kill "
          "(lease 3 s)" % (len(victims), took_over))
    return stations


def case_database_away(args, tmp, pg, failures):
    firmware = os.path.join(tmp, "fw.hex")
    rig.hexgen(args.hexgen, firmware, 8192)
    # Five units, four jobs: the fifth waits, and must not start while the record is away.
    line = rig.Line(args.unitsim, 5, ["--join-every", "100", "--announce-interval", "300",
                                      "--restart-ms", "300", "--erase-ms", "300",
                                      "--program-us-per-byte", "150", "--quiet"])
    stations = []
    try:
        station = rig.Station(args.station, args.flash, firmware, pg.url("line"), line,
                              ["--any", "--jobs", "4", "--lease", "6", "--station", "s"],
                              env=station_env(tmp, "s"))
        stations.append(station)
        station.wait_for(lambda: len({e["mac"] for e in station.events("progress")}) >= 4, 30,
                         "four flashes under way")
        pg.stop()
        station.wait_for(lambda: len(station.results()) >= 4, 60, "the four flashes ended")
        station.wait_for(lambda: any(e["state"] == "away" for e in station.events("database")),
                         10, "the record seen away")
        time.sleep(1.0)  # the fifth unit announces meanwhile: nothing may start
        started_while_away = len({e["mac"] for e in station.events("progress")})
        check(started_while_away == 4, "%d units started while the record was away" %
              started_while_away, failures)
        pg.start()
        station.wait_for(lambda: any(e["state"] == "back" for e in station.events("database")),
                         30, "the record back")
        station.wait_for(lambda: len(station.results(ok=True)) >= 5, 60, "the fifth verified")
        check(station.stop(signal.SIGINT) == 130, "the station exits 130", failures)
    finally:
        counts = line.stop()
        if not pg.running:
            pg.start()
    found = rows(pg)
    check(sorted(r[0] for r in found) == sorted(rig.mac_of(i) for i in range(5)) and
          all(r[1] == "verified" for r in found), "one verified row per unit: %s" % found,
          failures)
    check(all(counts.get(rig.address_of(i)) == 1 for i in range(5)),
          "each unit erased once: %s" % counts, failures)
    return stations


def main():
    parser = argparse.ArgumentParser()
    for name in ("station", "flash", "unitsim", "hexgen", "schema", "case"):
        parser.add_argument("--" + name, required=True)
    args = parser.parse_args()
    if not pg_server.installed():
        print("SKIP: PostgreSQL 15 is not installed (scripts/install-deps.sh)")
        return 77
    failures = []
    pg = pg_server.PgServer()
    try:
        pg.start()
        pg.create_database("line")
        with tempfile.TemporaryDirectory() as tmp:
            os.chmod(tmp, 0o755)
            stations = {"two-stations": case_two_stations,
                        "database-away": case_database_away}[args.case](args, tmp, pg, failures)
    finally:
        pg.close()
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
