// SPDX-License-Identifier: Apache-2.0
#include "Fleet.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "FlashText.h"
#include "FleetView.h"
#include "Interrupt.h"
#include "UnitReports.h"

namespace {

struct CChild {
    size_t index = 0;
    pid_t pid = -1;
    int out = -1;         // the unit's stdout: its events
    std::string pending;  // bytes of a line not yet ended
    bool hasResult = false;
    bool killed = false;      // by the parent, after an interrupt
    bool stageKnown = false;  // a progress event told it
    EStage stage = EStage::kConnecting;
};

// The unit's own command line: this program, told to run one unit and speak JSON.
std::vector<std::string> ChildArgs(const CFlashOptions& o, const CTarget& target, int64_t startNs) {
    std::vector<std::string> a{"quillon-flash", "--child-start-ns", std::to_string(startNs),
                               "--port", std::to_string(o.port)};
    if (o.resetDefaults) a.push_back("--reset-defaults");
    if (o.extendedTimeout) a.push_back("--extended-timeout");
    if (o.verbose) a.push_back("--verbose");
    if (!o.traceFile.empty()) a.insert(a.end(), {"--trace", o.traceFile});
    a.insert(a.end(), {"--attempts", std::to_string(o.attempts), "--program-tries",
                       std::to_string(o.programTries), "--", target.text, o.firmware});
    return a;
}

bool Spawn(const CFlashOptions& options, const CRunClock& clock, size_t index, CChild& child) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    std::vector<std::string> args = ChildArgs(options, options.targets[index], clock.startNs);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        // A group of its own, so that Ctrl+C reaches the units once, forwarded by the parent;
        // and a unit whose parent dies is told to stop.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        ::execv("/proc/self/exe", argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    child.index = index;
    child.pid = pid;
    child.out = pipeFds[0];
    return true;
}

// The result of a unit that ended without saying it: it crashed, was killed after an
// interrupt, or could not start. It names the last stage the unit was seen in, as the unit's
// own account of an interrupt does.
CUnitResult LostResult(const CChild& child, int status, const CRunClock& clock) {
    CUnitResult r;
    r.ok = false;
    std::string what;
    if (child.killed) {
        r.exit = 128 + InterruptSignal();
        what = FlashText::KilledAfterInterrupt();
    } else if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        r.exit = (signal == SIGINT || signal == SIGTERM) ? 128 + signal : kExitNoResponse;
        what = FlashText::EndedBySignal(signal);
    } else {
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : kExitNoResponse;
        r.exit = code == 0 ? kExitNoResponse : code;
        what = FlashText::EndedWithStatus(code);
    }
    r.message = child.stageKnown ? FlashText::InState(what, child.stage) : what;
    r.seconds = clock.Seconds();
    return r;
}

class CFleet {
  public:
    CFleet(const CFlashOptions& options, const CRunClock& clock, IFleetView& view,
           const FUnitResultHook& onResult)
        : m_options(options),
          m_clock(clock),
          m_view(view),
          m_onResult(onResult),
          m_results(options.targets.size()) {}

    int Run() {
        const size_t jobs = m_options.jobs > 0 ? static_cast<size_t>(m_options.jobs)
                                               : static_cast<size_t>(kMostJobs);
        size_t next = 0;
        double killAt = -1;  // when the units still running after an interrupt are killed
        while (next < m_options.targets.size() || !m_running.empty()) {
            if (Interrupted()) {
                if (killAt < 0) {
                    Forward();
                    killAt = m_clock.Seconds() + FlashText::kStopGraceSeconds;
                }
                for (; next < m_options.targets.size(); ++next) NotStarted(next);
                // A unit stopped (SIGSTOP) or stuck never ends by itself.
                if (m_clock.Seconds() >= killAt) KillStragglers();
            }
            while (!Interrupted() && next < m_options.targets.size() && m_running.size() < jobs) {
                CChild child;
                if (Spawn(m_options, m_clock, next, child))
                    m_running.push_back(child);
                else
                    Report(next, LostResult(CChild{}, 127 << 8, m_clock));
                ++next;
            }
            Wait();
            m_view.OnTick(m_clock.Seconds());
        }
        m_view.Finish(m_results);
        if (Interrupted()) return 128 + InterruptSignal();
        for (const CUnitResult& r : m_results)
            if (!r.ok) return r.exit;
        return kExitVerified;
    }

  private:
    // Every unit takes the signal and ends with its own account of what it leaves behind.
    void Forward() {
        for (const CChild& c : m_running) ::kill(c.pid, InterruptSignal());
    }

    void KillStragglers() {
        for (CChild& c : m_running) {
            if (c.killed) continue;
            c.killed = true;
            ::kill(c.pid, SIGKILL);
        }
    }

    void NotStarted(size_t index) {
        CUnitResult r;
        r.exit = 128 + InterruptSignal();
        r.message = FlashText::kNotStarted;
        Report(index, r);
    }

    // A result that did not come from the unit itself, shown as if it had.
    void Report(size_t index, const CUnitResult& result) {
        m_results[index] = result;
        m_view.OnResult(index, m_clock.Seconds(), result, std::string());
        if (m_onResult) m_onResult(m_options.targets[index], result);
    }

    void Wait() {
        std::vector<pollfd> fds;
        for (const CChild& c : m_running) fds.push_back({c.out, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 100) <= 0) return;
        for (size_t i = fds.size(); i-- > 0;) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            if (!ReadFrom(m_running[i])) End(i);
        }
    }

    // False at the end of the unit's output.
    bool ReadFrom(CChild& child) {
        char buffer[4096];
        const ssize_t n = ::read(child.out, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) return true;
        if (n <= 0) return false;
        child.pending.append(buffer, static_cast<size_t>(n));
        size_t from = 0;
        for (size_t end = child.pending.find('\n'); end != std::string::npos;
             end = child.pending.find('\n', from)) {
            Event(child, child.pending.substr(from, end - from));
            from = end + 1;
        }
        child.pending.erase(0, from);
        return true;
    }

    void Event(CChild& child, const std::string& line) {
        CJsonFields fields;
        if (!ParseJsonObject(line, fields)) return;  // not one of ours
        const CJsonValue* event = FindJson(fields, "event");
        if (event && event->text == "result") {
            if (child.hasResult) return;  // exactly one
            child.hasResult = true;
            m_results[child.index] = ResultFromJson(fields);
            const CJsonValue* time = FindJson(fields, "time");
            m_view.OnResult(child.index, time ? time->number : m_clock.Seconds(),
                            m_results[child.index], line);
            if (m_onResult) m_onResult(m_options.targets[child.index], m_results[child.index]);
            return;
        }
        if (event && event->text == "progress") {
            const CJsonValue* stage = FindJson(fields, "stage");
            if (stage) {
                child.stage = StageFromName(stage->text);
                child.stageKnown = true;
            }
        }
        m_view.OnEvent(child.index, line, fields);
    }

    void End(size_t i) {
        CChild child = m_running[i];
        m_running.erase(m_running.begin() + static_cast<std::ptrdiff_t>(i));
        ::close(child.out);
        int status = 0;
        while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!child.hasResult) Report(child.index, LostResult(child, status, m_clock));
    }

    const CFlashOptions& m_options;
    const CRunClock& m_clock;
    IFleetView& m_view;
    const FUnitResultHook& m_onResult;
    std::vector<CUnitResult> m_results;
    std::vector<CChild> m_running;
};

}  // namespace

int RunFleet(const CFlashOptions& options, const CRunClock& clock, const FUnitResultHook& onResult) {
    std::unique_ptr<IFleetView> view;
    if (options.json)
        view = std::make_unique<CJsonFleetView>(options.targets);
    else if (::isatty(STDOUT_FILENO) && !options.quiet)
        view = std::make_unique<CBoardFleetView>(options.targets);
    else
        view = std::make_unique<CPrefixFleetView>(options.targets, options.quiet);
    CFleet fleet(options, clock, *view, onResult);
    return fleet.Run();
}
