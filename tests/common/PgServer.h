// SPDX-License-Identifier: Apache-2.0
#pragma once
// A real PostgreSQL server for one test program: initdb and pg_ctl in a private temporary folder,
// reachable only through a Unix socket in that folder (no TCP at all), run as the postgres user
// when the test runs as root. Stop() and Start() again take it away and bring it back mid-test.
// Every command runs under timeout(1), so no step can hang a test.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class CPgServer {
  public:
    static constexpr const char* kBinDir = "/usr/lib/postgresql/15/bin";
    // Names the socket file only; nothing listens on a TCP port.
    static constexpr int kSocketPort = 5432;

    CPgServer() = default;
    ~CPgServer() {
        std::string ignored;
        if (m_running) Stop(ignored);
        if (!m_dir.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(m_dir, ec);
        }
    }
    CPgServer(const CPgServer&) = delete;
    CPgServer& operator=(const CPgServer&) = delete;

    static bool Installed() { return ::access((std::string(kBinDir) + "/initdb").c_str(), X_OK) == 0; }

    // The first call makes the cluster; later calls start it again after Stop().
    bool Start(std::string& error) {
        if (m_running) return true;
        if (m_dir.empty() && !MakeCluster(error)) return false;
        const std::string options = "-c listen_addresses= -c unix_socket_directories=" + m_dir +
                                    " -p " + std::to_string(kSocketPort) + " -c fsync=off";
        if (!Run({Bin("pg_ctl"), "-D", m_dir + "/data", "-o", options, "-l", m_dir + "/server.log",
                  "-w", "-t", "60", "start"},
                 error)) {
            error += "\n" + ServerLog();
            return false;
        }
        m_running = true;
        return true;
    }

    // "fast": a clean shutdown that ends every session, as an administrator's restart would;
    // "immediate": the server dies as in a crash.
    bool Stop(std::string& error, const std::string& mode = "fast") {
        if (!m_running) return true;
        m_running = false;
        return Run({Bin("pg_ctl"), "-D", m_dir + "/data", "-m", mode, "-w", "-t", "60", "stop"}, error);
    }

    bool Running() const { return m_running; }

    bool CreateDatabase(const std::string& name, std::string& error) {
        return Run({Bin("createdb"), "-h", m_dir, "-p", std::to_string(kSocketPort), "-U", "postgres", name},
                   error);
    }

    // The URL the record's Open takes.
    std::string Url(const std::string& database) const {
        return "postgresql://postgres@/" + database + "?host=" + m_dir + "&port=" + std::to_string(kSocketPort);
    }
    std::string SocketFolder() const { return m_dir; }

    std::string ServerLog() const {
        std::ifstream in(m_dir + "/server.log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

  private:
    static std::string Bin(const char* name) { return std::string(kBinDir) + "/" + name; }

    // PostgreSQL refuses to run as root: then it runs as postgres, owning the folder.
    static bool AsPostgres() { return ::geteuid() == 0 && ::getpwnam("postgres") != nullptr; }

    bool MakeCluster(std::string& error) {
        // Short, under /tmp: a socket path has to fit in 107 bytes.
        char pattern[] = "/tmp/quillon-pg.XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            error = "mkdtemp failed";
            return false;
        }
        m_dir = pattern;
        if (AsPostgres()) {
            const passwd* user = ::getpwnam("postgres");
            if (::chown(m_dir.c_str(), user->pw_uid, user->pw_gid) != 0) {
                error = "cannot hand " + m_dir + " to postgres";
                return false;
            }
        }
        return Run({Bin("initdb"), "-D", m_dir + "/data", "-A", "trust", "-U", "postgres", "-E", "UTF8",
                    "--locale=C", "--no-sync"},
                   error);
    }

    // Runs argv (as postgres when root) with a time bound; its output is kept for the error.
    bool Run(std::vector<std::string> argv, std::string& error) const {
        std::vector<std::string> full{"timeout", "-k", "5", "90"};
        if (AsPostgres()) full.insert(full.end(), {"runuser", "-u", "postgres", "--"});
        full.insert(full.end(), argv.begin(), argv.end());
        const std::string output = m_dir + "/command.out";
        const pid_t pid = ::fork();
        if (pid < 0) {
            error = "fork failed";
            return false;
        }
        if (pid == 0) {
            const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) {
                ::dup2(fd, 1);
                ::dup2(fd, 2);
            }
            // The server must not inherit the test's own descriptors or die with its group.
            ::close_range(3, ~0U, 0);
            ::setsid();
            std::vector<char*> args;
            for (std::string& arg : full) args.push_back(arg.data());
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
        std::ifstream in(output);
        std::stringstream text;
        text << in.rdbuf();
        error = argv[0] + " failed: " + text.str();
        return false;
    }

    std::string m_dir;
    bool m_running = false;
};
