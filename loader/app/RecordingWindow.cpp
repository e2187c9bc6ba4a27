#include "RecordingWindow.h"

#include <poll.h>

#include <chrono>

#include "AboutDlg.h"
#include "PortText.h"
#include "QuillonDlg.h"

namespace {

using Clock = std::chrono::steady_clock;

int MsSince(Clock::time_point start) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

}  // namespace

CRecordingWindow::CRecordingWindow() {
    for (const int id : {IDC_LOAD_FIRMWARE, IDC_PROGRESS, IDC_LOG, IDC_CONNECT, IDC_FLASH_FIRMWARE,
                         IDC_IP_ADDRESS, IDC_UDP_PORT, IDC_RESET_DEFAULTS, IDC_STANDARD_TIMEOUT})
        m_controls[id] = CControl{};
    m_controls[IDC_LOAD_FIRMWARE].text = "Load Firmware";
    m_controls[IDC_CONNECT].text = "Connect";
    m_controls[IDC_FLASH_FIRMWARE].text = "Flash Firmware";
    m_controls[IDC_RESET_DEFAULTS].text = "Reset to Defaults";
    m_controls[IDC_STANDARD_TIMEOUT].text = "Standard Timeout";
}

const CRecordingWindow::CControl& CRecordingWindow::Control(int id) const {
    static const CControl none;
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? none : it->second;
}

void CRecordingWindow::EnableControl(int id, bool enable) {
    m_controls[id].enabled = enable;
}
bool CRecordingWindow::IsControlEnabled(int id) const {
    return Control(id).enabled;
}
void CRecordingWindow::ShowControl(int id, bool show) {
    m_controls[id].visible = show;
}
void CRecordingWindow::CheckControl(int id, bool checked) {
    m_controls[id].checked = checked;
}
bool CRecordingWindow::IsControlChecked(int id) const {
    return Control(id).checked;
}

void CRecordingWindow::SetControlText(int id, const std::string& text) {
    CControl& control = m_controls[id];
    if (id == IDC_LOG && control.text != text) control.caretAtEnd = false;
    control.text = text;
    if (id == IDC_LOG && m_logHook) m_logHook(text);
}

void CRecordingWindow::AppendLogText(int id, const std::string& text) {
    CControl& control = m_controls[id];
    if (text.empty()) return;
    control.caretAtEnd = false;
    control.text += text;
    if (id == IDC_LOG && m_logHook) m_logHook(control.text);
}

std::string CRecordingWindow::GetControlText(int id) const {
    return Control(id).text;
}

void CRecordingWindow::SetProgressRange(int id, uint32_t low, uint32_t high) {
    m_controls[id].rangeLow = low;
    m_controls[id].rangeHigh = high;
}

void CRecordingWindow::SetProgressPos(int id, uint32_t position) {
    m_controls[id].position = position;
}

void CRecordingWindow::ScrollToEnd(int id) {
    m_controls[id].caretAtEnd = true;
}

void CRecordingWindow::SetAddressFields(int id, const uint8_t fields[4]) {
    for (int i = 0; i < 4; ++i) m_controls[id].fields[i] = fields[i];
}

void CRecordingWindow::GetAddressFields(int id, uint8_t fields[4]) const {
    for (int i = 0; i < 4; ++i) fields[i] = Control(id).fields[i];
}

void CRecordingWindow::FocusAndSelectAll(int id) {
    for (auto& [key, control] : m_controls) control.focused = key == id;
    m_controls[id].selectedAll = true;
}

void CRecordingWindow::ShowMessage(const char* text) {
    m_boxes.push_back({text, "Quillon", false});
}

bool CRecordingWindow::AskYesNo(const char* text) {
    m_questions.emplace_back(text);
    return m_answerYes;
}

void CRecordingWindow::ShowErrorBox(const char* text, const char* caption) {
    m_boxes.push_back({text, caption == nullptr ? "" : caption, true});
}

bool CRecordingWindow::ChooseOpenFile(const char* filter, std::string& path) {
    m_chooserFilters.emplace_back(filter);
    if (!m_chooserChooses) return false;
    path = m_chooserPath;
    return true;
}

void CRecordingWindow::SetChooserAnswer(const std::string& path, bool choose) {
    m_chooserPath = path;
    m_chooserChooses = choose;
}

void CRecordingWindow::SetTimer(unsigned id, unsigned periodMs) {
    m_timers[id] = periodMs;
    ++m_timerStarts;
}

void CRecordingWindow::AppendSystemMenu(unsigned command, const char* text) {
    m_systemMenu.emplace_back(command, text == nullptr ? "" : text);
}

void CRecordingWindow::Attach(CQuillonDlg& dialog) {
    m_dialog = &dialog;
    dialog.OnInitDialog();
}

int CRecordingWindow::RunModal(CQuillonDlg& dialog) {
    // No user to wait for: the dialog is set up and ends as the user closing it would.
    Attach(dialog);
    if (m_endResult < 0) dialog.OnCancel();
    m_dialog = nullptr;
    return m_endResult;
}

void CRecordingWindow::EndDialog(int result) {
    m_endResult = result;
}

int CRecordingWindow::RunAboutBox(const CAboutDlg& about) {
    (void)about;
    m_aboutCaptions.emplace_back(CAboutDlg::kCaption);
    return IDOK;
}

void CRecordingWindow::FireTimer(unsigned id) {
    if (m_dialog != nullptr) m_dialog->OnTimer(id);
}

bool CRecordingWindow::PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const Clock::time_point start = Clock::now();
    Clock::time_point lastTick = start;
    for (;;) {
        if (m_dialog != nullptr) m_dialog->DispatchBootMessages();
        if (done()) return true;
        const int elapsed = MsSince(start);
        if (elapsed >= timeoutMs) return false;
        const auto timer = m_timers.find(kProgressTimerId);
        if (timer != m_timers.end() && MsSince(lastTick) >= static_cast<int>(timer->second)) {
            lastTick = Clock::now();
            FireTimer(kProgressTimerId);
        }
        if (m_dialog == nullptr) continue;
        const int wait = timeoutMs - elapsed < 20 ? timeoutMs - elapsed : 20;
        pollfd pfd{m_dialog->NotifyFd(), POLLIN, 0};
        ::poll(&pfd, 1, wait);
    }
}

void CRecordingWindow::PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

void CRecordingWindow::TypeAddress(const char* dotted) {
    uint8_t fields[4];
    if (ParseDottedFields(dotted, fields)) SetAddressFields(IDC_IP_ADDRESS, fields);
}
