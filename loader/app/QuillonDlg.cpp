#include "QuillonDlg.h"

#include <arpa/inet.h>

#include <cstdio>

#include "AboutDlg.h"
#include "PortText.h"

namespace {

constexpr const char* kAboutMenuText = "&About";  // string IDS_ABOUTBOX
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
    if (ExchangeData(true)) m_window.EndDialog(IDOK);
}

void CQuillonDlg::OnCancel() {
    m_window.EndDialog(IDCANCEL);
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
    m_ipAddress = ntohl(inet_addr("192.168.1.200"));
    m_port = 69;
    ExchangeData(false);
}

bool CQuillonDlg::ExchangeData(bool toMembers) {
    uint8_t fields[4];
    if (!toMembers) {
        m_window.SetControlText(IDC_LOG, m_logText);
        FieldsFromAddress(m_ipAddress, fields);
        m_window.SetAddressFields(IDC_IP_ADDRESS, fields);
        char port[16];
        std::snprintf(port, sizeof port, "%u", static_cast<unsigned>(m_port));
        m_window.SetControlText(IDC_UDP_PORT, port);
        return true;
    }
    m_logText = m_window.GetControlText(IDC_LOG);
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

void CQuillonDlg::AppendLog(const char* line) {
    m_logText += line;
    m_logText += "\r\n";
    ExchangeData(false);
    m_window.ScrollToEnd(IDC_LOG);
}

void CQuillonDlg::ClearLog() {
    m_logText.clear();
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
        m_link.StartCommand(CMD_EXIT, 0, 1, 200);
        AppendLog("Bootloader exited, unit restarted.");
        m_connected = 0;
        m_link.StopWorker();
        if (m_link.IsOpen()) m_link.Close();
        m_link.CloseFile();
        AppendLog("Disconnected.");
        m_window.EnableControl(IDC_LOAD_FIRMWARE, false);
        m_window.EnableControl(IDC_FLASH_FIRMWARE, false);
        m_window.EnableControl(IDC_IP_ADDRESS, true);
        m_window.EnableControl(IDC_UDP_PORT, true);
        m_window.EnableControl(IDC_CONNECT, true);
        m_window.SetControlText(IDC_CONNECT, "Connect");
        return;
    }
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
        m_link.StartCommand(CMD_READ_VERSION, WAKE_STANDARD, 24, 333);
    else
        m_link.StartCommand(CMD_READ_VERSION, WAKE_EXTENDED, 20, 2000);
    m_window.SetTimer(kProgressTimerId, kProgressTimerMs);
    ClearLog();
    AppendLog("Attempting to connect...");
    SaveRestoreControls(kSaveControls);
    m_window.EnableControl(IDC_LOAD_FIRMWARE, false);
    m_window.EnableControl(IDC_FLASH_FIRMWARE, false);
    m_window.EnableControl(IDC_IP_ADDRESS, false);
    m_window.EnableControl(IDC_UDP_PORT, false);
    m_window.EnableControl(IDC_CONNECT, false);
}

void CQuillonDlg::OnLoadFirmware() {
    if (m_link.Load()) {
        AppendLog("Firmware loaded successfully.");
        m_window.EnableControl(IDC_FLASH_FIRMWARE, true);
    } else {
        AppendLog("Firmware loading failed/aborted.");
    }
}

bool CQuillonDlg::FirmwareReadyToFlash() {
    // Checked before anything is sent: an erase must never be followed by nothing. Flash
    // Firmware stays enabled after a failed Load, so the file is looked at here, serialised
    // with the worker, which may still be answering a late reply of an earlier run.
    enum class EState { kNoFile, kNoRecord, kNoData, kReady };
    const EState state = m_link.WithHexFile([](CHexFile& file) {
        if (!file.IsOpen()) return EState::kNoFile;
        uint8_t record[(kReadRecordLimit - 2) / 2 + 1];
        if (!file.Rewind() || file.ReadRecord(record, kReadRecordLimit) == 0)
            return EState::kNoRecord;
        uint32_t start = 0;
        uint32_t length = 0;
        uint16_t crc = 0;
        file.ComputeImageCrc(start, length, crc);
        return file.ImageHasData() ? EState::kReady : EState::kNoData;
    });
    switch (state) {
        case EState::kNoFile:
            AppendLog("No firmware file is open; load one first. Nothing erased.");
            return false;
        case EState::kNoRecord:
            AppendLog("Firmware file does not start with a record; nothing erased.");
            return false;
        case EState::kNoData:
            AppendLog("Firmware file has no data to program; nothing erased.");
            return false;
        case EState::kReady:
            break;
    }
    return true;
}

void CQuillonDlg::OnFlashFirmware() {
    if (!FirmwareReadyToFlash()) return;
    SaveRestoreControls(kSaveControls);
    m_window.EnableControl(IDC_LOAD_FIRMWARE, false);
    m_window.EnableControl(IDC_FLASH_FIRMWARE, false);
    m_flashing = 1;
    if (m_window.IsControlChecked(IDC_RESET_DEFAULTS)) {
        AppendLog("Scheduling reset to defaults...");
        m_link.StartCommand(CMD_RESET_DEFAULTS, 0, 3, 5000);
    } else {
        AppendLog("Verifying & erasing firmware...");
        m_link.StartCommand(CMD_ERASE, 0, 3, 5000);
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

    switch (code) {
        case CMD_READ_VERSION: {
            AppendLog("Connected.");
            char line[64];
            std::snprintf(line, sizeof line, "%s bootloader v%1u.%02u", name, first, second);
            AppendLog(line);
            m_window.EnableControl(IDC_LOAD_FIRMWARE, true);
            if (first * 100 + second < 104) {
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
            AppendLog("Verifying & erasing firmware...");
            if (m_flashing) m_link.StartCommand(CMD_ERASE, 0, 3, 5000);
            break;
        case CMD_ERASE:
            AppendLog("Programming firmware...");
            if (m_flashing && !m_link.StartCommand(CMD_PROGRAM, 0, 3, 500)) {
                // The file changed or went away since the check: the unit is erased and nothing
                // will follow, so say so and give the controls back for another try.
                AppendLog(
                    "Firmware file could not be read; the unit is erased but not programmed.");
                m_flashing = 0;
                SaveRestoreControls(kRestoreControls);
            }
            break;
        case CMD_PROGRAM:
            AppendLog("Programmed successfully.");
            if (m_flashing) m_link.StartCommand(CMD_VERIFY, 0, 3, 5000);
            break;
        case CMD_VERIFY: {
            // A reply too short to carry a CRC can't confirm anything.
            const uint16_t deviceCrc = static_cast<uint16_t>(first + 256 * second);
            if (length >= 5 && deviceCrc == m_link.GetImageCrc()) {
                AppendLog("Verification successful.");
                m_flashing = 0;
                OnConnect();
            } else {
                AppendLog("Verification failed.");
            }
            break;
        }
        default:
            break;
    }
    DisableFileButtonsUnlessConnected();
    return 1;
}

int CQuillonDlg::OnBootTimeout(uint32_t code) {
    m_flashing = 0;
    switch (code) {
        case CMD_READ_VERSION:
        case CMD_ERASE:
        case CMD_PROGRAM:
        case CMD_VERIFY:
        case CMD_RESET_DEFAULTS:
            AppendLog("No response, operation failed.");
            SaveRestoreControls(kRestoreControls);
            break;
        default:
            break;
    }
    DisableFileButtonsUnlessConnected();
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
    }
}
