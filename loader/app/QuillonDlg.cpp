// SPDX-License-Identifier: Apache-2.0
#include "QuillonDlg.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

#include "AboutDlg.h"
#include "AddressFields.h"
#include "BootTimings.h"
#include "LogText.h"
#include "LogTrim.h"
#include "PortText.h"
#include "ShownText.h"

namespace {

constexpr const char* kAboutMenuText = "&About";  // string resource 101
constexpr const char* kDefaultDeviceName = "Device";
constexpr size_t kNameFieldLength = 16;
constexpr uint32_t kNameOffset = 3;
// Read-version reply without a name: 3 body bytes and the CRC.
constexpr uint32_t kReplyWithoutName = 5;

}  // namespace

CQuillonDlg::CQuillonDlg(IDialogWindow& window) : m_hIcon(IDR_MAINFRAME), m_window(window) {
    m_link.SetMessageBox(&m_window);
    m_link.SetFileChooser(&m_window);
}

CQuillonDlg::~CQuillonDlg() = default;

bool CQuillonDlg::OnInitDialog() {
    ExchangeData(false);
    if (m_window.HasSystemMenu() && kAboutMenuText[0] != '\0') {
        m_window.AppendSystemMenu(0, nullptr);
        m_window.AppendSystemMenu(IDM_ABOUTBOX, kAboutMenuText);
    }
    m_window.SetIcon(m_hIcon, true);
    m_window.SetIcon(m_hIcon, false);
    InitControls();
    return true;
}

void CQuillonDlg::OnSysCommand(unsigned command) {
    if ((command & 0xFFF0u) == IDM_ABOUTBOX) {
        CAboutDlg about(m_window);
        about.DoModal();
    } else {
        m_window.DefaultSysCommand(command);
    }
}

void CQuillonDlg::OnOK() {
    if (!CloseConfirmed()) return;
    if (ExchangeData(true)) m_window.EndDialog(IDOK);
}

void CQuillonDlg::OnCancel() {
    if (!CloseConfirmed()) return;
    m_window.EndDialog(IDCANCEL);
}

bool CQuillonDlg::CloseConfirmed() {
    if (!FlashInProgress()) return true;
    // The flash may end while the user reads the question; it is then withdrawn (answered No)
    // and the window stays, showing how it ended.
    m_closeQuestionOpen = true;
    const bool yes = m_window.AskYesNo(LogText::kCloseMidFlash);
    m_closeQuestionOpen = false;
    return yes;
}

void CQuillonDlg::InitControls() {
    m_flashing = 0;
    m_window.EnableControl(IDC_LOAD_FIRMWARE, false);
    m_window.EnableControl(IDC_FLASH_FIRMWARE, false);
    m_window.EnableControl(IDC_IP_ADDRESS, true);
    m_window.EnableControl(IDC_UDP_PORT, true);
    m_window.EnableControl(IDC_CONNECT, true);
    m_window.ShowControl(IDC_RESET_DEFAULTS, false);
    m_window.CheckControl(IDC_STANDARD_TIMEOUT, true);
    m_connected = 0;
    m_ipAddress = m_start.address;
    m_port = m_start.port;
    ExchangeData(false);
}

bool CQuillonDlg::ExchangeData(bool toMembers) {
    uint8_t fields[4];
    if (!toMembers) {
        m_window.SetControlText(IDC_LOG, m_logText);
        WriteAddressAndPort();
        return true;
    }
    m_logText = m_window.GetControlText(IDC_LOG);
    m_logLines = CountLogLines(m_logText);
    m_window.GetAddressFields(IDC_IP_ADDRESS, fields);
    m_ipAddress = AddressFromFields(fields);
    uint32_t port = 0;
    if (!ScanUnsigned(m_window.GetControlText(IDC_UDP_PORT), port)) {
        m_window.ShowMessage("Enter a positive integer.");
        m_window.FocusAndSelectAll(IDC_UDP_PORT);
        return false;
    }
    m_port = port;
    return true;
}

void CQuillonDlg::WriteAddressAndPort() {
    uint8_t fields[4];
    FieldsFromAddress(m_ipAddress, fields);
    m_window.SetAddressFields(IDC_IP_ADDRESS, fields);
    char port[16];
    std::snprintf(port, sizeof port, "%u", static_cast<unsigned>(m_port));
    m_window.SetControlText(IDC_UDP_PORT, port);
}

void CQuillonDlg::AppendLog(const char* line) {
    // Only the new line goes to the log box: rewriting a long log on every line would stall
    // the window. Trimming rewrites it whole, once per chunk of dropped lines.
    // The window layer gets the line as written (quillon-flash's JSON keeps every byte); the
    // text kept here is the box's, where a unit's CR or LF can't pass for a line of ours.
    std::string added = line;
    added += "\r\n";
    const std::string shown = ShownText(line) + "\r\n";
    m_logText += shown;
    m_logLines += CountLineBreaks(shown);
    m_window.AppendLogText(IDC_LOG, added);
    if (TrimLog(m_logText, m_logLines)) m_window.SetControlText(IDC_LOG, m_logText);
    WriteAddressAndPort();
    m_window.ScrollToEnd(IDC_LOG);
}

void CQuillonDlg::ClearLog() {
    m_logText.clear();
    m_logLines = 0;
    ExchangeData(false);
    m_window.ScrollToEnd(IDC_LOG);
}

std::string CQuillonDlg::LastLogLine() const {
    size_t end = m_logText.size();
    if (end >= 2 && m_logText.compare(end - 2, 2, "\r\n") == 0) end -= 2;
    const size_t begin = m_logText.rfind("\r\n", end == 0 ? 0 : end - 1);
    const size_t from = (begin == std::string::npos || begin >= end) ? 0 : begin + 2;
    return m_logText.substr(from, end - from);
}

void CQuillonDlg::SaveRestoreControls(int mode) {
    if (mode == kSaveControls) {
        m_savedControls = (m_window.IsControlEnabled(IDC_LOAD_FIRMWARE) ? 1u : 0u) |
                          (m_window.IsControlEnabled(IDC_CONNECT) ? 2u : 0u) |
                          (m_window.IsControlEnabled(IDC_FLASH_FIRMWARE) ? 4u : 0u) |
                          (m_window.IsControlEnabled(IDC_IP_ADDRESS) ? 8u : 0u);
        return;
    }
    m_window.EnableControl(IDC_LOAD_FIRMWARE, (m_savedControls & 1u) != 0);
    m_window.EnableControl(IDC_CONNECT, (m_savedControls & 2u) != 0);
    m_window.EnableControl(IDC_FLASH_FIRMWARE, (m_savedControls & 4u) != 0);
    m_window.EnableControl(IDC_IP_ADDRESS, (m_savedControls & 8u) != 0);
    m_window.EnableControl(IDC_UDP_PORT, (m_savedControls & 8u) != 0);
}

void CQuillonDlg::OnConnect() {
    (void)ExchangeData(true);  // a refused port leaves the previous m_port in use
    if (m_connected) {
        m_awaiting = 0;
        m_link.StartCommand(CMD_EXIT, 0, kExitTiming.tries, kExitTiming.timeoutMs);
        AppendLog(LogText::kExited);
        m_connected = 0;
        m_link.StopWorker();
        if (m_link.IsOpen()) m_link.Close();
        m_link.CloseFile();
        AppendLog(LogText::kDisconnected);
        m_window.EnableControl(IDC_LOAD_FIRMWARE, false);
        m_window.EnableControl(IDC_FLASH_FIRMWARE, false);
        m_window.EnableControl(IDC_IP_ADDRESS, true);
        m_window.EnableControl(IDC_UDP_PORT, true);
        m_window.EnableControl(IDC_CONNECT, true);
        m_window.SetControlText(IDC_CONNECT, "Connect");
        return;
    }
    m_outcome = EOutcome::kNone;
    m_failedStep = 0;
    m_sendError = 0;
    m_versionLine.clear();
    const uint32_t address = htonl(m_ipAddress);
    const uint16_t port = static_cast<uint16_t>(m_port & 0xFFFFu);
    ExchangeData(false);
    m_link.StopWorker();
    if (m_link.IsOpen()) m_link.Close();
    const bool opened = OpenLink(port, address);
    // A socket whose receive time-out could not be set would block the worker without bound
    // and stop all resend timing: give it back and go no further (the box has been shown).
    if (!opened && m_link.IsOpen()) m_link.Close();
    if (!m_link.IsOpen()) return;
    m_link.StartWorker(&m_notify);
    if (m_window.IsControlChecked(IDC_STANDARD_TIMEOUT))
        m_link.StartCommand(CMD_READ_VERSION, WAKE_STANDARD, kConnectStandard.tries,
                            kConnectStandard.timeoutMs);
    else
        m_link.StartCommand(CMD_READ_VERSION, WAKE_EXTENDED, kConnectExtended.tries,
                            kConnectExtended.timeoutMs);
    m_window.SetTimer(kProgressTimerId, kProgressTimerMs);
    ClearLog();
    AppendLog(LogText::kAttemptingToConnect);
    SaveRestoreControls(kSaveControls);
    m_window.EnableControl(IDC_LOAD_FIRMWARE, false);
    m_window.EnableControl(IDC_FLASH_FIRMWARE, false);
    m_window.EnableControl(IDC_IP_ADDRESS, false);
    m_window.EnableControl(IDC_UDP_PORT, false);
    m_window.EnableControl(IDC_CONNECT, false);
}

void CQuillonDlg::OnLoadFirmware() {
    if (m_link.Load()) {
        // What Flash Firmware would refuse is refused now, for the same reason, and not kept.
        const SFirmwareCheck check = m_link.WithHexFile([](CHexFile& file) {
            const SFirmwareCheck found = CheckFirmware(file);
            if (found.problem != EFirmwareProblem::kNone) file.CloseFile();
            return found;
        });
        if (check.problem == EFirmwareProblem::kNone) {
            m_outcome = EOutcome::kLoaded;
            AppendLog(LogText::kLoaded);
            m_window.EnableControl(IDC_FLASH_FIRMWARE, true);
            return;
        }
        AppendLog(FirmwareProblemText(check).c_str());
    } else if (m_link.WithHexFile([](CHexFile& file) { return file.NotRegularFile(); })) {
        // A FIFO or a device would block or never end; it is refused before it is opened.
        AppendLog(LogText::kNotRegularFile);
    }
    m_outcome = EOutcome::kLoadFailed;
    AppendLog(LogText::kLoadFailed);
}

bool CQuillonDlg::FirmwareReadyToFlash() {
    // Checked before anything is sent: an erase must never be followed by nothing. Flash
    // Firmware stays enabled after a failed Load, so the file is looked at here, serialised
    // with the worker, which may still be answering a late reply of an earlier run.
    // A file changed since Load no longer matches the lines counted for the progress bar, and
    // may change again mid-run: it is loaded afresh first.
    bool changed = false;
    const SFirmwareCheck check = m_link.WithHexFile([&](CHexFile& file) {
        changed = file.IsOpen() && file.Changed();
        return changed ? SFirmwareCheck{} : CheckFirmware(file);
    });
    if (changed) {
        AppendLog(LogText::kChangedSinceLoad);
        return false;
    }
    if (check.problem == EFirmwareProblem::kNone) return true;
    AppendLog(FirmwareProblemText(check).c_str());
    return false;
}

void CQuillonDlg::OnFlashFirmware() {
    if (!FirmwareReadyToFlash()) {
        m_outcome = EOutcome::kRefused;
        return;
    }
    m_outcome = EOutcome::kNone;
    m_failedStep = 0;
    m_sendError = 0;
    SaveRestoreControls(kSaveControls);
    m_window.EnableControl(IDC_LOAD_FIRMWARE, false);
    m_window.EnableControl(IDC_FLASH_FIRMWARE, false);
    m_flashing = 1;
    if (m_window.IsControlChecked(IDC_RESET_DEFAULTS)) {
        AppendLog(LogText::kSchedulingReset);
        m_awaiting = CMD_RESET_DEFAULTS;
        m_link.StartCommand(CMD_RESET_DEFAULTS, 0, kResetTiming.tries, kResetTiming.timeoutMs);
    } else {
        AppendLog(LogText::kErasing);
        m_awaiting = CMD_ERASE;
        m_link.StartCommand(CMD_ERASE, 0, kEraseTiming.tries, kEraseTiming.timeoutMs);
    }
}

int CQuillonDlg::OnBootReply(uint32_t length, const uint8_t* reply) {
    const uint8_t code = reply[0];
    // Bytes the reply did not carry read as 0, never as its CRC.
    const unsigned first = length >= 4 ? reply[1] : 0;
    const unsigned second = length >= 5 ? reply[2] : 0;

    char name[kNameFieldLength + 1] = {};
    if (length <= kReplyWithoutName) {
        std::snprintf(name, sizeof name, "%s", kDefaultDeviceName);
    } else {
        // Only the name bytes this reply carried: never its CRC, never an older reply's bytes.
        const uint32_t carried = length - kReplyWithoutName;
        const size_t count = carried < kNameFieldLength ? carried : kNameFieldLength;
        for (size_t i = 0; i < count && reply[kNameOffset + i] != 0; ++i)
            name[i] = static_cast<char>(reply[kNameOffset + i]);
    }

    // Only the reply to the step the sequence waits for advances it. Any other (late, repeated,
    // or answering a request never made) keeps its log line and starts nothing: a stray verify
    // reply must never end a flash in success, nor a stray erase reply start one again.
    const bool awaited = m_flashing && m_awaiting == code;
    if (awaited) m_awaiting = 0;
    switch (code) {
        case CMD_READ_VERSION: {
            AppendLog(LogText::kConnected);
            char line[64];
            std::snprintf(line, sizeof line, LogText::kVersionFormat, name, first, second);
            AppendLog(line);
            // A repeat during a flash must not offer Load or Flash in the middle of it.
            if (FlashInProgress()) break;
            m_versionLine = line;
            if (m_outcome == EOutcome::kNone || m_outcome == EOutcome::kNoResponse)
                m_outcome = EOutcome::kConnected;
            m_window.EnableControl(IDC_LOAD_FIRMWARE, true);
            if (first * 100 + second < kResetDefaultsSinceVersion) {
                m_window.ShowControl(IDC_RESET_DEFAULTS, false);
                m_window.CheckControl(IDC_RESET_DEFAULTS, false);
            } else {
                m_window.ShowControl(IDC_RESET_DEFAULTS, true);
            }
            m_connected = 1;
            m_window.EnableControl(IDC_CONNECT, true);
            m_window.SetControlText(IDC_CONNECT, "Disconnect");
            break;
        }
        case CMD_RESET_DEFAULTS:
            AppendLog(LogText::kErasing);
            if (!awaited) break;
            m_awaiting = CMD_ERASE;
            m_link.StartCommand(CMD_ERASE, 0, kEraseTiming.tries, kEraseTiming.timeoutMs);
            break;
        case CMD_ERASE:
            AppendLog(LogText::kProgramming);
            if (!awaited) break;
            m_awaiting = CMD_PROGRAM;
            if (!m_link.StartCommand(CMD_PROGRAM, 0, m_programTries, kProgramTiming.timeoutMs)) {
                m_awaiting = 0;
                if (m_link.FileChanged()) {
                    // The verify-failed state: only Disconnect is left.
                    m_outcome = EOutcome::kFileChanged;
                    AppendLog(LogText::kFileChanged);
                    break;
                }
                // The file went away since the check: the unit is erased and nothing will
                // follow, so say so and give the controls back for another try.
                m_outcome = EOutcome::kNotProgrammed;
                AppendLog(LogText::kNotProgrammed);
                m_flashing = 0;
                SaveRestoreControls(kRestoreControls);
            }
            break;
        case CMD_PROGRAM:
            // The engine ends a run early when the file changed under it; that is no success.
            if (awaited && m_link.FileChanged()) {
                m_outcome = EOutcome::kFileChanged;
                AppendLog(LogText::kFileChanged);
                break;
            }
            AppendLog(LogText::kProgrammed);
            if (!awaited) break;
            m_awaiting = CMD_VERIFY;
            if (!m_link.StartCommand(CMD_VERIFY, 0, kVerifyTiming.tries, kVerifyTiming.timeoutMs)) {
                m_awaiting = 0;
                m_outcome = EOutcome::kFileChanged;
                AppendLog(LogText::kFileChanged);
            }
            break;
        case CMD_VERIFY:
            if (awaited) CompareVerifyReply(length, static_cast<uint16_t>(first + 256 * second));
            break;
        default:
            break;
    }
    DisableFileButtonsUnlessConnected();
    return 1;
}

void CQuillonDlg::CompareVerifyReply(uint32_t length, uint16_t deviceCrc) {
    const uint16_t imageCrc = m_link.GetImageCrc();
    bool changed = false;
    const bool hasData = m_link.WithHexFile([&](CHexFile& file) {
        changed = file.Changed();
        return file.ImageHasData();
    });
    if (changed) {
        m_outcome = EOutcome::kFileChanged;
        AppendLog(LogText::kFileChanged);
        return;
    }
    // An image without data verifies nothing, and a reply too short to carry a CRC can't
    // confirm anything.
    if (hasData && length >= 5 && deviceCrc == imageCrc) {
        m_outcome = EOutcome::kVerified;
        AppendLog(LogText::kVerified);
        m_flashing = 0;
        OnConnect();
    } else {
        m_outcome = EOutcome::kVerifyFailed;
        AppendLog(LogText::kVerifyFailed);
    }
}

int CQuillonDlg::OnBootTimeout(uint32_t code) {
    m_flashing = 0;
    m_awaiting = 0;
    switch (code) {
        case CMD_READ_VERSION:
        case CMD_ERASE:
        case CMD_PROGRAM:
        case CMD_VERIFY:
        case CMD_RESET_DEFAULTS:
            m_outcome = EOutcome::kNoResponse;
            m_failedStep = static_cast<uint8_t>(code);
            AppendLog(LogText::kNoResponse);
            SaveRestoreControls(kRestoreControls);
            break;
        default:
            break;
    }
    DisableFileButtonsUnlessConnected();
    return 1;
}

int CQuillonDlg::OnBootSendFailed(uint32_t error) {
    m_sendError = static_cast<int>(error);
    char line[160];
    std::snprintf(line, sizeof line, LogText::kNetworkErrorFormat,
                  std::strerror(static_cast<int>(error)));
    AppendLog(line);
    return 1;
}

void CQuillonDlg::DisableFileButtonsUnlessConnected() {
    if (m_connected) return;
    m_window.EnableControl(IDC_LOAD_FIRMWARE, false);
    m_window.EnableControl(IDC_FLASH_FIRMWARE, false);
}

void CQuillonDlg::OnTimer(unsigned id) {
    if (id != kProgressTimerId) return;
    uint32_t done = 0;
    uint32_t total = 0;
    m_link.GetProgress(done, total);
    m_window.SetProgressRange(IDC_PROGRESS, 0, total);
    m_window.SetProgressPos(IDC_PROGRESS, done);
}

void CQuillonDlg::DispatchBootMessages() {
    // A local copy per message: a handler may run a nested loop (a message box) that
    // dispatches again.
    CBootMessage message;
    while (m_notify.Take(message)) {
        if (message.message == WM_BOOT_REPLY)
            OnBootReply(message.wParam, message.reply);
        else if (message.message == WM_BOOT_TIMEOUT)
            OnBootTimeout(message.wParam);
        else if (message.message == WM_BOOT_SEND_FAILED)
            OnBootSendFailed(message.wParam);
        if (m_closeQuestionOpen && !FlashInProgress()) m_window.WithdrawQuestion();
    }
}
