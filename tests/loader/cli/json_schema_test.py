#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""quillon-flash --json over a line of simulated units, every line checked against the schema.

Targets, in this order: a silent unit, three good ones between which sits a unit too old for
--reset-defaults. The exit status must be the silent unit's (the first target), although the
old unit fails seconds earlier. Only 127.0.0.1; every wait is bounded.
"""
import argparse
import json
import os
import re
import select
import signal
import subprocess
import sys
import tempfile
import time

try:
    import jsonschema
except ImportError:
    sys.exit("json_schema_test: python3-jsonschema is missing (scripts/install-deps.sh)")

STAGES = ["connecting", "resetting", "erasing", "programming", "verifying", "done", "failed"]
FILE_BYTES = 16384


def start_units(unitsim, extra, count):
    """Starts unitsim and returns (process, ports) from its "bootloader on" lines."""
    proc = subprocess.Popen(
        [unitsim, "--bind", "127.0.0.1", "--port", "0", "--quiet", "--announce-interval", "0"]
        + extra, stdout=subprocess.PIPE)
    text = b""
    deadline = time.monotonic() + 10
    while True:
        ports = [int(p) for p in re.findall(rb"^unitsim: bootloader on 127\.0\.0\.1:(\d+)$",
                                            text, re.M)]
        if len(ports) >= count:
            break
        ready, _, _ = select.select([proc.stdout], [], [], max(0, deadline - time.monotonic()))
        chunk = os.read(proc.stdout.fileno(), 4096) if ready else b""
        if not chunk:
            proc.kill()
            proc.wait()
            sys.exit("unitsim did not report its ports: %s" % extra)
        text += chunk
    return proc, ports


def stop(proc):
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def check(ok, what, failures):
    if not ok:
        failures.append(what)


def check_unit(unit, events, failures):
    results = [i for i, e in enumerate(events) if e["event"] == "result"]
    check(results == [len(events) - 1], unit + ": exactly one result, last", failures)
    times = [e["time"] for e in events]
    check(times == sorted(times), unit + ": times never go back", failures)
    progress = [e for e in events if e["event"] == "progress"]
    # Samples of one stage at least 100 ms apart (times are rounded to 1 ms); a new stage is told
    # at once, and so is the final done/failed.
    steady = progress[:-1] if progress and progress[-1]["stage"] in ("done", "failed") else progress
    for a, b in zip(steady, steady[1:]):
        check(b["time"] - a["time"] >= 0.099 or b["stage"] != a["stage"],
              "%s: progress %.3f then %.3f" % (unit, a["time"], b["time"]), failures)
    stages = [STAGES.index(p["stage"]) for p in progress]
    check(stages == sorted(stages), unit + ": stages go forward: %s" % [
        p["stage"] for p in progress], failures)


def main():
    parser = argparse.ArgumentParser()
    for name in ("flash", "unitsim", "hexgen", "schema"):
        parser.add_argument("--" + name, required=True)
    args = parser.parse_args()
    with open(args.schema, encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)

    procs = []
    with tempfile.TemporaryDirectory() as tmp:
        firmware = os.path.join(tmp, "fw.hex")
        subprocess.run([args.hexgen, "--bytes", str(FILE_BYTES), "-o", firmware],
                       check=True, timeout=30)
        try:
            # Programming slowed to about 1.6 s, so that progress is sampled many times.
            good, good_ports = start_units(args.unitsim, [
                "--units", "3", "--program-us-per-byte", "100", "--erase-ms", "100"], 3)
            procs.append(good)
            silent, (silent_port,) = start_units(args.unitsim, ["--silent"], 1)
            procs.append(silent)
            old, (old_port,) = start_units(args.unitsim, ["--version", "1.03"], 1)
            procs.append(old)
            targets = ["127.0.0.1:%d" % p for p in
                       [silent_port, good_ports[0], old_port, good_ports[1], good_ports[2]]]
            run = subprocess.run([args.flash, "--json", "--reset-defaults"] + targets + [firmware],
                                 capture_output=True, timeout=90)
        finally:
            for proc in procs:
                stop(proc)

    failures = []
    out = run.stdout.decode("utf-8")
    check(out.endswith("\n"), "stdout ends with a line break", failures)
    per_unit = {t: [] for t in targets}
    for number, line in enumerate(out.splitlines(), 1):
        try:
            event = json.loads(line)
        except ValueError:
            failures.append("line %d is not JSON: %r" % (number, line))
            continue
        for error in validator.iter_errors(event):
            failures.append("line %d: %s: %s" % (number, error.message, line))
        check(event.get("unit") in per_unit, "line %d: unknown unit" % number, failures)
        per_unit.setdefault(event.get("unit"), []).append(event)

    expected = {targets[0]: 1, targets[1]: 0, targets[2]: 5, targets[3]: 0, targets[4]: 0}
    for unit, events in per_unit.items():
        if not events:
            failures.append(unit + ": no events")
            continue
        check_unit(unit, events, failures)
        result = events[-1]
        check(result.get("exit") == expected[unit],
              "%s: exit %s, expected %d" % (unit, result.get("exit"), expected[unit]), failures)
        if expected[unit] == 0:
            check(result.get("ok") is True and result["bytes"] == FILE_BYTES == result["total"]
                  and result["attempts"] == 1 and "version" in result,
                  unit + ": verified whole: %s" % result, failures)
            check(any(e.get("line") == "Verification successful." for e in events),
                  unit + ": logs its verification", failures)
            check(any(e.get("stage") == "programming" for e in events),
                  unit + ": progress while programming", failures)
    check(run.returncode == 1, "exit status %d, expected 1 (the first target's)" % run.returncode,
          failures)

    for failure in failures:
        print("FAIL:", failure)
    if failures:
        print(run.stderr.decode("utf-8", "replace"))
        return 1
    print("%d lines of %d units valid" % (len(out.splitlines()), len(targets)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
