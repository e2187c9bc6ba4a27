"""A real PostgreSQL 15 for a script test, as tests/common/PgServer.h makes one for C++ tests.

initdb and pg_ctl in a private folder under /tmp, reachable only through a Unix socket there
(listen_addresses is empty: no TCP at all), run as the postgres user when the test runs as root.
stop() and start() take it away and bring it back mid-test. Every command is time-bounded.
"""
import os
import pwd
import shutil
import subprocess
import tempfile

BIN = "/usr/lib/postgresql/15/bin"
SOCKET_PORT = 5432  # names the socket file only


def installed():
    return os.access(os.path.join(BIN, "initdb"), os.X_OK)


class PgServer:
    def __init__(self):
        # Short: a socket path has to fit in 107 bytes.
        self.dir = tempfile.mkdtemp(prefix="quillon-pg.", dir="/tmp")
        self.as_postgres = os.geteuid() == 0
        if self.as_postgres:
            user = pwd.getpwnam("postgres")
            os.chown(self.dir, user.pw_uid, user.pw_gid)
        self.running = False
        self._run([os.path.join(BIN, "initdb"), "-D", self.dir + "/data", "-A", "trust",
                   "-U", "postgres", "-E", "UTF8", "--locale=C", "--no-sync"])

    def _run(self, argv):
        full = ["timeout", "-k", "5", "90"]
        if self.as_postgres:
            full += ["runuser", "-u", "postgres", "--"]
        done = subprocess.run(full + argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              start_new_session=True, timeout=120)
        if done.returncode != 0:
            raise RuntimeError("%s failed: %s\n%s" % (argv[0], done.stdout.decode(errors="replace"),
                                                     self.log()))
        return done.stdout.decode(errors="replace")

    def start(self):
        options = "-c listen_addresses= -c unix_socket_directories=%s -p %d -c fsync=off" % (
            self.dir, SOCKET_PORT)
        self._run([os.path.join(BIN, "pg_ctl"), "-D", self.dir + "/data", "-o", options,
                   "-l", self.dir + "/server.log", "-w", "-t", "60", "start"])
        self.running = True

    def stop(self):
        if self.running:
            self.running = False
            self._run([os.path.join(BIN, "pg_ctl"), "-D", self.dir + "/data", "-m", "fast",
                       "-w", "-t", "60", "stop"])

    def create_database(self, name):
        self._run([os.path.join(BIN, "createdb"), "-h", self.dir, "-p", str(SOCKET_PORT),
                   "-U", "postgres", name])

    def url(self, database):
        return "postgresql://postgres@/%s?host=%s&port=%d" % (database, self.dir, SOCKET_PORT)

    def query(self, database, sql):
        """Rows of a query as lists of text (psql's unaligned output)."""
        out = self._run([os.path.join(BIN, "psql"), "-h", self.dir, "-p", str(SOCKET_PORT), "-U", "postgres",
                         "-d", database, "-At", "-F", "\t", "-c", sql])
        return [line.split("\t") for line in out.splitlines() if line]

    def log(self):
        try:
            with open(self.dir + "/server.log", encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def close(self):
        try:
            self.stop()
        finally:
            shutil.rmtree(self.dir, ignore_errors=True)
