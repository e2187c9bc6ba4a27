// SPDX-License-Identifier: Apache-2.0
#include "UnitRun.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

#include "AddressFields.h"
#include "ConsoleWindow.h"
#include "FlashText.h"
#include "Interrupt.h"
#include "LinkTrace.h"
#include "LogText.h"
#include "Output.h"
#include "QuillonDlg.h"
#include "TraceFile.h"

namespace {

constexpr int kPumpSliceMs = 100;  // progress is sampled this often: at most 10 events a second
constexpr uint32_t kSilenceSlackMs = 2000;

// The longest the engine can go without a word: the slowest command's tries, plus a pass.
uint32_t LongestSilenceMs(uint16_t programTries) {
    const CBootTiming timings[] = {kConnectStandard, kConnectExtended,
                                   kResetTiming,     kEraseTiming,
                                   kVerifyTiming,    {programTries, kProgramTiming.timeoutMs}};
    uint32_t longest = 0;
    for (const CBootTiming& t : timings) longest = std::max(longest, t.LongestMs());
    return longest + kSilenceSlackMs;
}

EStage StageOfStep(uint8_t step) {
    switch (step) {
        case CMD_RESET_DEFAULTS:
            return EStage::kResetting;
        case CMD_ERASE:
            return EStage::kErasing;
        case CMD_PROGRAM:
            return EStage::kProgramming;
        case CMD_VERIFY:
            return EStage::kVerifying;
        default:
            return EStage::kConnecting;
    }
}

EStage StageOf(const CQuillonDlg& dialog) {
    return StageOfStep(dialog.AwaitedStep());
}

const char* StepWords(uint8_t step) {
    return FlashText::StepWords(StageOfStep(step));
}

// Where the engine's view and the datagrams go, for -v and --trace.
class CObserverFiles {
  public:
    CObserverFiles(const CFlashOptions& options, const CTarget& target)
        : m_path(options.traceFile) {
        if (!m_path.empty()) m_traceFd = OpenTraceFile(m_path, m_openError);
        if (m_traceFd < 0 && !options.verbose) return;
        // Many units may append to one trace, so each line names its unit.
        m_prefix = target.text + " ";
        m_trace = std::make_unique<CLinkTrace>(m_traceFd, options.verbose ? STDERR_FILENO : -1,
                                               m_prefix.c_str());
    }
    ~CObserverFiles() {
        if (m_traceFd >= 0) ::close(m_traceFd);
    }
    CObserverFiles(const CObserverFiles&) = delete;
    CObserverFiles& operator=(const CObserverFiles&) = delete;
    ILinkObserver* Observer() { return m_trace.get(); }
    // Why the trace can't be written; empty when it can, or when none was asked for.
    std::string TraceProblem() const {
        return !m_path.empty() && m_traceFd < 0 ? FlashText::CannotWriteTrace(m_path, m_openError)
                                                : std::string();
    }
    // A trace line that could not be written is said once; the flash goes on without it.
    void SayTraceLoss() {
        if (m_lossSaid || m_traceFd < 0 || !m_trace) return;
        const int error = m_trace->DatagramWriteError();
        if (error == 0) return;
        m_lossSaid = true;
        SayOnStderr(FlashText::TraceWriteFailed(m_path, std::strerror(error)));
    }

  private:
    std::string m_path;
    std::string m_openError;
    int m_traceFd = -1;
    bool m_lossSaid = false;
    std::string m_prefix;
    std::unique_ptr<CLinkTrace> m_trace;
};

// One sequence from Connect, through the dialog and its console window.
class CSession {
  public:
    CSession(const CFlashOptions& options, const CTarget& target, const CRunClock& clock,
             IUnitReport& report, CObserverFiles& files)
        : m_options(options),
          m_target(target),
          m_clock(clock),
          m_report(report),
          m_window([this](const std::string& line) { m_report.Log(m_clock.Seconds(), line); },
                   [this](const std::string& box) { m_box = box; }),
          m_dialog(m_window),
          m_files(files) {
        m_dialog.Link().SetObserver(files.Observer());
        m_dialog.SetProgramTries(options.programTries);
        m_window.Attach(m_dialog);
        m_window.SetAddressFields(IDC_IP_ADDRESS, target.address);
        m_window.TypePort(std::to_string(options.PortOf(target)));
        m_window.CheckControl(IDC_STANDARD_TIMEOUT, !options.extendedTimeout);
    }

    // 0 when connected, else the exit status with m_result.message set.
    int Connect() {
        m_dialog.OnConnect();
        if (!m_dialog.Link().IsOpen()) return Fail(kExitSocketError, FlashText::SocketError(m_box));
        const bool ended = Pump([&] {
            return m_dialog.Connected() || m_dialog.Outcome() == EOutcome::kNoResponse ||
                   m_dialog.SendError() != 0;
        });
        if (Interrupted()) return Interrupt();
        if (m_dialog.SendError() != 0) return SendFailed();
        if (m_dialog.Connected()) return 0;
        (void)ended;
        return Fail(kExitNoResponse, FlashText::NoResponseFrom(Where()));
    }

    int Flash() {
        m_window.SetChooserAnswer(m_options.firmware);
        m_dialog.OnLoadFirmware();
        if (m_dialog.Outcome() != EOutcome::kLoaded)
            return Fail(kExitBadFirmware, FlashText::CannotReadFirmware(m_options.firmware));
        if (m_options.resetDefaults) {
            if (!m_window.IsControlVisible(IDC_RESET_DEFAULTS))
                return Fail(kExitRefused, FlashText::ResetRefused(ResetDefaultsVersionText()));
            m_window.CheckControl(IDC_RESET_DEFAULTS, true);
        }
        m_dialog.OnFlashFirmware();
        if (m_dialog.Outcome() == EOutcome::kRefused)
            return Fail(kExitBadFirmware,
                        FlashText::FirmwareRefused(m_options.firmware, m_dialog.LastLogLine()));
        const bool ended =
            Pump([&] { return !m_dialog.FlashInProgress() || m_dialog.SendError() != 0; });
        // The unit holds the file: a signal that came too late to stop that changes nothing.
        if (m_dialog.Outcome() == EOutcome::kVerified) return 0;
        if (Interrupted()) return Interrupt();
        if (m_dialog.SendError() != 0) return SendFailed();
        if (!ended)
            return Fail(kExitNoResponse, FlashText::NoWordWhile(StepWords(m_dialog.AwaitedStep())));
        switch (m_dialog.Outcome()) {
            case EOutcome::kVerifyFailed:
                return Fail(kExitVerifyFailed, FlashText::VerifyFailed(m_options.firmware));
            case EOutcome::kFileChanged:
                return Fail(kExitBadFirmware, FlashText::ChangedWhileFlashing(m_options.firmware));
            case EOutcome::kNotProgrammed:
                return Fail(kExitBadFirmware, FlashText::NotProgrammed(m_options.firmware));
            case EOutcome::kNoResponse:
                return Fail(kExitNoResponse,
                            FlashText::NoResponseWhile(Where(), StepWords(m_dialog.FailedStep())));
            default:
                return Fail(kExitNoResponse, FlashText::kNoOutcome);
        }
    }

    void Disconnect() { m_dialog.OnConnect(); }

    // A failure the next attempt may mend: the link lost the unit after the erase began, or
    // the unit holds something else. A Connect that went unanswered is tried again too: a lost
    // wake-up leaves the unit deaf to every read-version request of that Connect, and nothing
    // has been erased yet. A file or a socket problem would fail again alike.
    bool WorthAnotherAttempt() const {
        if (m_dialog.Outcome() == EOutcome::kVerifyFailed) return true;
        if (m_dialog.Outcome() != EOutcome::kNoResponse) return false;
        const uint8_t step = m_dialog.FailedStep();
        return step == CMD_READ_VERSION || step == CMD_ERASE || step == CMD_PROGRAM ||
               step == CMD_VERIFY;
    }

    // Stops the worker with nothing more sent and says what the unit is left with. After the
    // erase has begun no exit goes out: a restart into half a firmware helps nobody.
    int Interrupt() {
        std::string what = FlashText::Interrupted(EStage::kConnecting);
        if (m_dialog.Connected()) {
            if (StageOf(m_dialog) != EStage::kConnecting)
                what = FlashText::Interrupted(StageOf(m_dialog));
            else if (m_dialog.Flashing())
                what = FlashText::Interrupted(EStage::kFailed);
            else
                what = FlashText::kInterruptedBeforeFlashing;
        }
        m_dialog.Link().StopWorkerNow();
        return Fail(128 + InterruptSignal(), what);
    }

    void SampleProgress(bool force = false) {
        uint32_t done = 0, total = 0;
        m_dialog.Link().GetByteProgress(done, total);
        const EStage stage = StageOf(m_dialog);
        if (!force && stage == m_lastStage && done == m_lastDone) return;
        m_lastStage = stage;
        m_lastDone = done;
        m_report.Progress(m_clock.Seconds(), stage, done, total);
    }

    void Fill(CUnitResult& result) const {
        uint32_t done = 0, total = 0;
        m_dialog.Link().GetByteProgress(done, total);
        result.bytes = done;
        result.total = total;
        if (!m_dialog.VersionLine().empty()) result.version = m_dialog.VersionLine();
    }

    const std::string& Message() const { return m_message; }

  private:
    // The system refused a request: no try would fare better, and waiting out the tries would
    // pass for a silent unit. Nothing more is sent.
    int SendFailed() {
        m_dialog.Link().StopWorkerNow();
        return Fail(kExitSocketError,
                    FlashText::CannotSend(FormatDottedFields(m_target.address),
                                          m_options.PortOf(m_target),
                                          std::strerror(m_dialog.SendError())));
    }

    int Fail(int status, const std::string& message) {
        m_message = message;
        return status;
    }

    std::string Where() const {
        return m_target.text + (m_target.port ? "" : " port " + std::to_string(m_options.port));
    }

    // Pumps until done() holds, sampling the progress. Nothing the engine does lasts longer
    // than its tries allow, so a silence past that ends the wait as a failure (false).
    bool Pump(const std::function<bool()>& done) {
        using Clock = std::chrono::steady_clock;
        const auto silence = std::chrono::milliseconds(LongestSilenceMs(m_options.programTries));
        auto lastWord = Clock::now();
        size_t lastLog = m_dialog.LogText().size();
        for (;;) {
            // Sampled at the end of whole slices only: samples stay 100 ms apart, and none is
            // taken once the dialog is done, when no command is awaited and StageOf would say
            // "connecting" after a flash.
            // A new stage is told at once: a parent's account of a unit whose process is lost
            // rests on the last stage it heard.
            if (m_window.PumpUntil(
                    [&] { return done() || Interrupted() || StageOf(m_dialog) != m_lastStage; },
                    kPumpSliceMs)) {
                if (done() || Interrupted()) return true;
                SampleProgress();
                continue;
            }
            SampleProgress();
            m_files.SayTraceLoss();
            if (m_dialog.LogText().size() != lastLog || m_lastDone != m_lastWordDone) {
                lastLog = m_dialog.LogText().size();
                m_lastWordDone = m_lastDone;
                lastWord = Clock::now();
            }
            if (Clock::now() - lastWord > silence) return false;
        }
    }

    const CFlashOptions& m_options;
    const CTarget& m_target;
    const CRunClock& m_clock;
    IUnitReport& m_report;
    CConsoleWindow m_window;
    CQuillonDlg m_dialog;
    CObserverFiles& m_files;
    std::string m_box;  // the last box the dialog showed
    std::string m_message;
    EStage m_lastStage = EStage::kConnecting;
    uint32_t m_lastDone = UINT32_MAX;
    uint32_t m_lastWordDone = UINT32_MAX;
};

int Finish(IUnitReport& report, const CRunClock& clock, double started, CUnitResult& result,
           int status, const std::string& message) {
    result.exit = status;
    result.ok = status == kExitVerified;
    result.message = result.ok ? FlashText::kVerifiedMessage : message;
    result.seconds = clock.Seconds() - started;
    if (result.ok) result.bytes = result.total;
    report.Progress(clock.Seconds(), result.ok ? EStage::kDone : EStage::kFailed, result.bytes,
                    result.total);
    report.Result(clock.Seconds(), result);
    return status;
}

}  // namespace

int RunUnit(const CFlashOptions& options, const CTarget& target, const CRunClock& clock,
            IUnitReport& report) {
    const double started = clock.Seconds();
    CObserverFiles files(options, target);
    CUnitResult result;
    const std::string traceProblem = files.TraceProblem();
    if (!traceProblem.empty())
        return Finish(report, clock, started, result, kExitUsage, traceProblem);
    for (int attempt = 1;; ++attempt) {
        result.attempts = attempt;
        CSession session(options, target, clock, report, files);
        int status = session.Connect();
        if (status == 0) status = session.Flash();
        session.Fill(result);
        const bool again = status != kExitVerified && !Interrupted() &&
                           attempt < options.attempts && session.WorthAnotherAttempt();
        if (!again) {
            files.SayTraceLoss();
            return Finish(report, clock, started, result, status, session.Message());
        }
        report.Log(clock.Seconds(),
                   FlashText::AttemptFailed(attempt, options.attempts, session.Message()));
    }
}

int RunInfo(const CFlashOptions& options, const CTarget& target, const CRunClock& clock,
            IUnitReport& report) {
    const double started = clock.Seconds();
    CObserverFiles files(options, target);
    CUnitResult result;
    result.attempts = 1;
    const std::string traceProblem = files.TraceProblem();
    if (!traceProblem.empty())
        return Finish(report, clock, started, result, kExitUsage, traceProblem);
    CSession session(options, target, clock, report, files);
    const int status = session.Connect();
    session.Fill(result);
    if (status != 0) return Finish(report, clock, started, result, status, session.Message());
    session.Disconnect();
    result.exit = 0;
    result.ok = true;
    result.message = FlashText::kAnsweredMessage;
    result.seconds = clock.Seconds() - started;
    report.Result(clock.Seconds(), result);
    return 0;
}
