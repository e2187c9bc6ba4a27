# SPDX-License-Identifier: Apache-2.0
"""Processes for the station's end-to-end tests: a simulated line, stations, firmware files.

Everything talks to 127.x only; every wait is bounded; each process's output is drained by a
thread of its own, so that a chatty simulator never blocks on a full pipe.
"""
import atexit
import json
import os
import re
import signal
import subprocess
import threading
import time

MAC_BASE = "00-04-A3-00-00-00"
_STARTED = []


@atexit.register
def _kill_leftovers():
    """A test that failed half-way leaves no process behind."""
    for proc in _STARTED:
        if proc.poll() is None:
            proc.kill()
            proc.wait()


class Drained:
    """A process whose stdout and stderr lines are collected as they come."""

    def __init__(self, argv, env=None):
        self.argv = argv
        self.proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     env=env)
        _STARTED.append(self.proc)
        self.out, self.err = [], []
        self.lock = threading.Lock()
        self.threads = [threading.Thread(target=self._drain, args=(s, l), daemon=True)
                        for s, l in ((self.proc.stdout, self.out), (self.proc.stderr, self.err))]
        for t in self.threads:
            t.start()

    def _drain(self, stream, lines):
        for raw in iter(stream.readline, b""):
            with self.lock:
                lines.append(raw.decode("utf-8", "replace").rstrip("\n"))

    def lines(self, err=False):
        with self.lock:
            return list(self.err if err else self.out)

    def wait_for(self, predicate, timeout, what):
        """Polls predicate() every 50 ms until true, at most timeout seconds."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if predicate():
                return
            if self.proc.poll() is not None and not predicate():
                break
            time.sleep(0.05)
        if predicate():
            return
        raise AssertionError("%s: not within %s s (%s)\n--- stderr:\n%s" % (
            what, timeout, os.path.basename(self.argv[0]), "\n".join(self.lines(err=True)[-60:])))

    def signal(self, number):
        if self.proc.poll() is None:
            self.proc.send_signal(number)

    def finish(self, timeout=15):
        """Waits for the end (killing it past timeout); returns the exit status."""
        try:
            status = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            status = None
        for t in self.threads:
            t.join(timeout=5)
        return status


class Line(Drained):
    """quillon-unitsim as a line: unit i at 127.0.0.(2+i), all on one free port."""

    def __init__(self, unitsim, units, extra=(), first="127.0.0.2", announce_port=None):
        self.announce_port = announce_port or free_udp_port()
        super().__init__([unitsim, "--units", str(units), "--addresses", first, "--port", "0",
                          "--announce-port", str(self.announce_port), "--name", "Line",
                          "--mac", MAC_BASE] + list(extra))
        self.units = units
        self.wait_for(lambda: len(self.bound()) == units, 10, "the line's bootloaders")
        self.port = self.bound()[0][1]

    def bound(self):
        return [(a, int(p)) for a, p in (re.match(r"unitsim: bootloader on ([\d.]+):(\d+)$", l)
                                         .groups() for l in self.lines()
                                         if l.startswith("unitsim: bootloader on "))]

    def stop(self):
        """Stops the line; returns {address: erase count} as the simulator counted."""
        self.signal(signal.SIGTERM)
        self.finish()
        counts = {}
        for line in self.lines():
            m = re.match(r"unitsim: ([\d.]+):\d+ erased (\d+) times$", line)
            if m:
                counts[m.group(1)] = int(m.group(2))
        return counts

    def woken(self, address):
        """Requests the unit at address logged: wake-ups and commands alike."""
        prefix = "unitsim %s:" % address
        return [l for l in self.lines() if l.startswith(prefix) and ": wake-up" in l]


def address_of(i, first=2):
    return "127.0.0.%d" % (first + i)


def mac_of(i):
    return "00-04-A3-00-00-%02X" % i


def free_udp_port():
    """A port the system just handed out and took back, for the line and the station to share.

    The line must know where to announce before the station listens there; a port taken
    meanwhile makes the station refuse to start, loudly.
    """
    import socket
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("0.0.0.0", 0))
        return s.getsockname()[1]


class Station(Drained):
    """quillon-station with --json, listening on the line's announce port for its bootloaders."""

    def __init__(self, station, flasher, firmware, db, line, extra=(), env=None, fanout=None):
        """With fanout, the station listens on a port of its own that fanout feeds."""
        announce_port = 0 if fanout else line.announce_port
        super().__init__([station, "--json", "--announce-port", str(announce_port),
                          "--port", str(line.port), "--http", "off", "--flasher", flasher,
                          "--db", db] + list(extra) + [firmware], env=env)
        self.wait_for(lambda: self.first("station-start") is not None, 30, "station-start")
        self.announce_port = self.first("station-start")["announce_port"]
        if fanout:
            fanout.add(self.announce_port)

    def events(self, kind=None):
        found = []
        for line in self.lines():
            try:
                event = json.loads(line)
            except ValueError:
                continue
            if kind is None or event.get("event") == kind:
                found.append(event)
        return found

    def first(self, kind):
        events = self.events(kind)
        return events[0] if events else None

    def results(self, ok=None):
        return [e for e in self.events("result") if ok is None or e["ok"] == ok]

    def stop(self, number=signal.SIGINT):
        self.signal(number)
        return self.finish(timeout=40)


def hexgen(path_hexgen, path, size):
    subprocess.run([path_hexgen, "--bytes", str(size), "-o", path], check=True, timeout=30)


def check_schema(schema_path, lines, failures):
    """Every stdout line of a station against its schema."""
    try:
        import jsonschema
    except ImportError:
        failures.append("python3-jsonschema is missing (scripts/install-deps.sh)")
        return
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    for number, line in enumerate(lines, 1):
        try:
            event = json.loads(line)
        except ValueError:
            failures.append("line %d is not JSON: %r" % (number, line))
            continue
        for error in validator.iter_errors(event):
            failures.append("line %d: %s: %s" % (number, error.message, line))


def sqlite_rows(path):
    """The record's rows in a SQLite file, as dicts keyed by column."""
    import sqlite3
    connection = sqlite3.connect(path, timeout=10)
    try:
        connection.row_factory = sqlite3.Row
        for (table,) in connection.execute("SELECT name FROM sqlite_master WHERE type='table'"):
            columns = [r[1] for r in connection.execute("PRAGMA table_info(%s)" % table)]
            if "outcome" in columns and "sha256" in columns:
                return [dict(r) for r in connection.execute("SELECT * FROM %s" % table)]
        return []
    finally:
        connection.close()


class Fanout:
    """Hands every announce to several stations on this host, each on its own port, sent from the
    unit's own address as a network's broadcast would reach stations on separate hosts."""

    def __init__(self):
        import socket
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.socket.bind(("127.0.0.1", 0))
        self.port = self.socket.getsockname()[1]
        self.targets = []
        self.senders = {}
        self.stopped = False
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def add(self, port):
        self.targets = self.targets + [port]

    def _sender(self, address):
        import socket
        if address not in self.senders:
            sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            sender.bind((address, 0))
            self.senders[address] = sender
        return self.senders[address]

    def _run(self):
        import select
        while not self.stopped:
            ready, _, _ = select.select([self.socket], [], [], 0.1)
            if not ready:
                continue
            data, (address, _) = self.socket.recvfrom(65536)
            if not address.startswith("127."):
                continue
            for port in self.targets:
                self._sender(address).sendto(data, ("127.0.0.1", port))

    def stop(self):
        self.stopped = True
        self.thread.join(timeout=5)
        self.socket.close()
        for sender in self.senders.values():
            sender.close()


def pg_rows(pg, database, sql):
    """A query's rows on a tests/common/pg_server.py server, as lists of text."""
    done = subprocess.run(["/usr/lib/postgresql/15/bin/psql", "-h", pg.folder, "-p", "5432",
                           "-U", "postgres", "-d", database, "-At", "-F", "\t", "-c", sql],
                          capture_output=True, text=True, timeout=60, check=True)
    return [line.split("\t") for line in done.stdout.splitlines() if line]
