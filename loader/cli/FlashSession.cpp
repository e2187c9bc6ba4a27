#include "FlashSession.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "ConsoleWindow.h"
#include "FirmwareCheck.h"
#include "HexFile.h"
#include "QuillonDlg.h"

namespace {

// Every command of the sequence has its own tries and time-out, so the sequence always ends;
// this only guards against a unit that keeps answering for ever.
constexpr int kSequenceBoundMs = 24 * 3600 * 1000;

constexpr const char* kNoResponse = "No response, operation failed.";
constexpr const char* kFileChanged = "Firmware file changed while flashing; verification refused.";

// The signal that asked us to stop, 0 while none did.
volatile sig_atomic_t g_interrupt = 0;

void OnInterrupt(int signal) {
    g_interrupt = signal;
}

// SIGINT and SIGTERM end the pumping within one wait; a second one kills as usual.
void CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = static_cast<int>(SA_RESETHAND);
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() {
    return g_interrupt != 0;
}

void Fail(const std::string& message) {
    std::fprintf(stderr, "quillon-flash: %s\n", message.c_str());
}

bool LogHas(const CQuillonDlg& dialog, const char* line) {
    return dialog.m_logText.find(std::string(line) + "\r\n") != std::string::npos;
}

// The dialog with the user's address, port and timing typed in.
class CSession {
  public:
    explicit CSession(const CFlashOptions& options)
        : m_options(options),
          m_window(options.quiet, ::isatty(STDERR_FILENO) != 0),
          m_dialog(m_window) {
        m_window.Attach(m_dialog);
        m_window.SetAddressFields(IDC_IP_ADDRESS, options.address);
        m_window.TypePort(std::to_string(options.port));
        m_window.CheckControl(IDC_STANDARD_TIMEOUT, !options.extendedTimeout);
    }
    ~CSession() { m_window.FinishProgress(); }

    // 0 when connected, else the exit status.
    int Connect() {
        m_dialog.OnConnect();
        if (!m_dialog.m_link.IsOpen()) return kExitSocketError;  // its box has been shown
        m_window.PumpUntil(
            [&] {
                return m_dialog.m_connected || m_dialog.LastLogLine() == kNoResponse ||
                       Interrupted();
            },
            kSequenceBoundMs);
        if (Interrupted()) return Interrupt();
        if (m_dialog.m_connected) return 0;
        Fail("no response from " + Target());
        return kExitNoResponse;
    }

    void Disconnect() { m_dialog.OnConnect(); }

    int Flash() {
        m_window.SetChooserAnswer(m_options.firmware);
        m_dialog.OnLoadFirmware();
        if (m_dialog.LastLogLine() != "Firmware loaded successfully.") {
            Fail("cannot read the firmware file " + m_options.firmware);
            return kExitBadFirmware;
        }
        if (m_options.resetDefaults) {
            if (!m_window.IsControlVisible(IDC_RESET_DEFAULTS)) {
                Fail(
                    "--reset-defaults refused: the bootloader is older than 1.04; nothing was "
                    "erased");
                return kExitRefused;
            }
            m_window.CheckControl(IDC_RESET_DEFAULTS, true);
        }
        m_dialog.OnFlashFirmware();
        if (!m_dialog.m_flashing) {
            Fail(m_options.firmware + ": " + m_dialog.LastLogLine());
            return kExitBadFirmware;
        }
        m_window.PumpUntil(
            [&] { return !m_dialog.m_connected || !m_dialog.FlashInProgress() || Interrupted(); },
            kSequenceBoundMs);
        // The unit holds the file: a signal that came too late to stop that changes nothing.
        if (!m_dialog.m_connected && LogHas(m_dialog, "Verification successful.")) return 0;
        if (Interrupted()) return Interrupt();
        const std::string last = m_dialog.LastLogLine();
        if (last == "Verification failed.") {
            Fail("verification failed: the unit's CRC differs from " + m_options.firmware);
            return kExitVerifyFailed;
        }
        if (last == kFileChanged) {
            Fail(m_options.firmware + " changed while flashing; flash it again");
            return kExitBadFirmware;
        }
        if (last == kNoResponse) {
            Fail("no response from " + Target() + " during the flash");
            return kExitNoResponse;
        }
        Fail(last);
        return kExitBadFirmware;
    }

    // Stops the worker with nothing more sent and tells what the unit is left with. After the
    // erase has begun no exit goes out: a restart into half a firmware helps nobody.
    int Interrupt() {
        const char* what = "Interrupted while connecting: nothing was erased.";
        if (m_dialog.m_connected) {
            switch (m_dialog.AwaitedStep()) {
                case CMD_RESET_DEFAULTS:
                    what =
                        "Interrupted while resetting to defaults: nothing was erased; the unit "
                        "waits in its bootloader.";
                    break;
                case CMD_ERASE:
                    what = "Interrupted while erasing: the unit may be erased; flash it again.";
                    break;
                case CMD_PROGRAM:
                    what =
                        "Interrupted while programming: the unit is erased and partly "
                        "programmed; flash it again.";
                    break;
                case CMD_VERIFY:
                    what =
                        "Interrupted while verifying: the unit is programmed but not "
                        "verified; flash it again.";
                    break;
                default:
                    what = m_dialog.m_flashing
                               ? "Interrupted after a failed flash: the unit is not verified; "
                                 "flash it again."
                               : "Interrupted before flashing: nothing was erased; the unit "
                                 "waits in its bootloader.";
                    break;
            }
        }
        m_dialog.m_link.StopWorkerNow();
        m_window.FinishProgress();
        std::fprintf(stderr, "quillon-flash: %s\n", what);
        return 128 + static_cast<int>(g_interrupt);
    }

  private:
    std::string Target() const {
        return m_options.addressText + " port " + std::to_string(m_options.port);
    }

    const CFlashOptions& m_options;
    CConsoleWindow m_window;
    CQuillonDlg m_dialog;
};

}  // namespace

namespace {
struct CPathAnswer : IFileChooser {
    std::string path;
    bool ChooseOpenFile(const char*, std::string& chosen) override {
        chosen = path;
        return true;
    }
};

// The whole file is checked before the unit is woken, as the dialog checks it before the erase.
bool FirmwareUsable(const std::string& path) {
    CPathAnswer chooser;
    chooser.path = path;
    CHexFile file;
    file.SetFileChooser(&chooser);
    if (!file.Load()) {
        Fail(file.NotRegularFile()
                 ? path + " is not a regular file; nothing was sent"
                 : "cannot open the firmware file " + path + "; nothing was sent");
        return false;
    }
    int32_t line = 0;
    const EFirmwareProblem problem = CheckFirmware(file, line);
    if (problem == EFirmwareProblem::kNone) return true;
    Fail(path + ": " + FirmwareProblemText(problem, line));
    return false;
}
}  // namespace

int RunFlash(const CFlashOptions& options) {
    if (!FirmwareUsable(options.firmware)) return kExitBadFirmware;
    CatchInterrupts();
    CSession session(options);
    if (const int status = session.Connect()) return status;
    // A failure from here on leaves the unit in its bootloader, ready for a retry.
    return session.Flash();
}

int RunInfo(const CFlashOptions& options) {
    CatchInterrupts();
    CSession session(options);
    if (const int status = session.Connect()) return status;
    session.Disconnect();
    return 0;
}

int RunImageInfo(const CFlashOptions& options) {
    CPathAnswer chooser;
    chooser.path = options.firmware;
    CHexFile file;
    file.SetFileChooser(&chooser);
    if (!file.Load()) {
        Fail("cannot open the firmware file " + options.firmware);
        return kExitBadFirmware;
    }
    file.Rewind();
    uint32_t start = 0, length = 0;
    uint16_t crc = 0;
    file.ComputeImageCrc(start, length, crc);
    std::printf("start 0x%08X\nlength %u\ncrc16 0x%04X\nrecords %d\n", start, length, crc,
                file.LinesRead());
    if (!file.ImageHasData()) {
        Fail(options.firmware + " holds no data for the flash window 0x9D000000 to 0x9D4FFFFF");
        return kExitBadFirmware;
    }
    return 0;
}
