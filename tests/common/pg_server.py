# SPDX-License-Identifier: Apache-2.0
"""A real PostgreSQL 15 for a script test, as tests/common/PgServer.h gives one to C++ tests.

initdb and pg_ctl in a private temporary folder, reachable only through a Unix socket in that
folder (no TCP at all), run as the postgres user when the test runs as root. stop() and start()
again take the server away and bring it back mid-test. Every command has a time bound.

    with PgServer() as pg:
        pg.create_database("line")
        url = pg.url("line")      # postgresql://postgres@/line?host=/tmp/...&port=5432
"""
import os
import pwd
import shutil
import subprocess
import tempfile

BIN_DIR = "/usr/lib/postgresql/15/bin"
SOCKET_PORT = 5432  # names the socket file only
COMMAND_SECONDS = 90


def installed():
    return os.access(os.path.join(BIN_DIR, "initdb"), os.X_OK)


class PgServer:
    def __init__(self):
        self.folder = None
        self.running = False

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    @staticmethod
    def _as_postgres():
        if os.geteuid() != 0:
            return False
        try:
            pwd.getpwnam("postgres")
            return True
        except KeyError:
            return False

    def _run(self, *argv):
        command = [os.path.join(BIN_DIR, argv[0]), *argv[1:]]
        if self._as_postgres():
            command = ["runuser", "-u", "postgres", "--", *command]
        done = subprocess.run(command, capture_output=True, text=True, timeout=COMMAND_SECONDS,
                              start_new_session=True, check=False)
        if done.returncode != 0:
            raise RuntimeError(f"{argv[0]} failed ({done.returncode}): {done.stdout}{done.stderr}"
                               + self.server_log())

    def start(self):
        if self.running:
            return
        if self.folder is None:
            # Short, under /tmp: a socket path has to fit in 107 bytes.
            self.folder = tempfile.mkdtemp(prefix="quillon-pg.", dir="/tmp")
            if self._as_postgres():
                user = pwd.getpwnam("postgres")
                os.chown(self.folder, user.pw_uid, user.pw_gid)
            self._run("initdb", "-D", self.folder + "/data", "-A", "trust", "-U", "postgres",
                      "-E", "UTF8", "--locale=C", "--no-sync")
        options = (f"-c listen_addresses= -c unix_socket_directories={self.folder} "
                   f"-p {SOCKET_PORT} -c fsync=off")
        self._run("pg_ctl", "-D", self.folder + "/data", "-o", options,
                  "-l", self.folder + "/server.log", "-w", "-t", "60", "start")
        self.running = True

    def stop(self, mode="fast"):
        """mode "fast" ends every session cleanly; "immediate" is a crash."""
        if not self.running:
            return
        self.running = False
        self._run("pg_ctl", "-D", self.folder + "/data", "-m", mode, "-w", "-t", "60", "stop")

    def create_database(self, name):
        self._run("createdb", "-h", self.folder, "-p", str(SOCKET_PORT), "-U", "postgres", name)

    def url(self, database):
        return f"postgresql://postgres@/{database}?host={self.folder}&port={SOCKET_PORT}"

    def server_log(self):
        try:
            with open(os.path.join(self.folder or "", "server.log"), encoding="utf-8") as log:
                return log.read()
        except OSError:
            return ""

    def close(self):
        try:
            self.stop()
        finally:
            if self.folder:
                shutil.rmtree(self.folder, ignore_errors=True)
                self.folder = None
