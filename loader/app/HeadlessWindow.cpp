// SPDX-License-Identifier: Apache-2.0
#include "HeadlessWindow.h"

#include <poll.h>

#include <chrono>

#include "AboutDlg.h"
#include "AddressFields.h"
#include "QuillonDlg.h"
#include "ShownText.h"

namespace {

using Clock = std::chrono::steady_clock;

int MsSince(Clock::time_point start) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

}  // namespace

CHeadlessWindow::CHeadlessWindow() {
    for (const int id : {IDC_LOAD_FIRMWARE, IDC_PROGRESS, IDC_LOG, IDC_CONNECT, IDC_FLASH_FIRMWARE,
                         IDC_IP_ADDRESS, IDC_UDP_PORT, IDC_RESET_DEFAULTS, IDC_STANDARD_TIMEOUT})
        m_controls[id] = CControl{};
    m_controls[IDC_LOAD_FIRMWARE].text = "Load Firmware";
    m_controls[IDC_CONNECT].text = "Connect";
    m_controls[IDC_FLASH_FIRMWARE].text = "Flash Firmware";
    m_controls[IDC_RESET_DEFAULTS].text = "Reset to Defaults";
    m_controls[IDC_STANDARD_TIMEOUT].text = "Standard Timeout";
}

const CHeadlessWindow::CControl& CHeadlessWindow::Control(int id) const {
    static const CControl none;
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? none : it->second;
}

void CHeadlessWindow::EnableControl(int id, bool enable) {
    m_controls[id].enabled = enable;
}
bool CHeadlessWindow::IsControlEnabled(int id) const {
    return Control(id).enabled;
}
void CHeadlessWindow::ShowControl(int id, bool show) {
    m_controls[id].visible = show;
}
void CHeadlessWindow::CheckControl(int id, bool checked) {
    m_controls[id].checked = checked;
}
bool CHeadlessWindow::IsControlChecked(int id) const {
    return Control(id).checked;
}

void CHeadlessWindow::SetControlText(int id, const std::string& text) {
    CControl& control = m_controls[id];
    if (id == IDC_LOG && control.text != text) control.caretAtEnd = false;
    control.text = text;
    if (id == IDC_LOG && m_logHook) m_logHook(text);
}

void CHeadlessWindow::AppendLogText(int id, const std::string& text) {
    CControl& control = m_controls[id];
    if (text.empty()) return;
    control.caretAtEnd = false;
    // The box holds what a screen would show; the log text is read back from it.
    control.text += id == IDC_LOG ? ShownLogLine(text) : text;
    if (id == IDC_LOG && m_logHook) m_logHook(control.text);
}

std::string CHeadlessWindow::GetControlText(int id) const {
    return Control(id).text;
}

void CHeadlessWindow::SetProgressRange(int id, uint32_t low, uint32_t high) {
    m_controls[id].rangeLow = low;
    m_controls[id].rangeHigh = high;
}

void CHeadlessWindow::SetProgressPos(int id, uint32_t position) {
    m_controls[id].position = position;
}

void CHeadlessWindow::ScrollToEnd(int id) {
    m_controls[id].caretAtEnd = true;
}

void CHeadlessWindow::SetAddressFields(int id, const uint8_t fields[4]) {
    for (int i = 0; i < 4; ++i) m_controls[id].fields[i] = fields[i];
}

void CHeadlessWindow::GetAddressFields(int id, uint8_t fields[4]) const {
    for (int i = 0; i < 4; ++i) fields[i] = Control(id).fields[i];
}

void CHeadlessWindow::FocusAndSelectAll(int id) {
    for (auto& [key, control] : m_controls) control.focused = key == id;
    m_controls[id].selectedAll = true;
}

void CHeadlessWindow::ShowMessage(const char* text) {
    (void)text;
}

bool CHeadlessWindow::AskYesNo(const char* text) {
    (void)text;
    return false;  // nobody to ask: the safe answer
}

void CHeadlessWindow::ShowErrorBox(const char* text, const char* caption) {
    (void)text;
    (void)caption;
}

bool CHeadlessWindow::ChooseOpenFile(const char* filter, std::string& path) {
    (void)filter;
    if (!m_chooserChooses) return false;
    path = m_chooserPath;
    return true;
}

void CHeadlessWindow::SetChooserAnswer(const std::string& path, bool choose) {
    m_chooserPath = path;
    m_chooserChooses = choose;
}

void CHeadlessWindow::SetTimer(unsigned id, unsigned periodMs) {
    m_timers[id] = periodMs;
}

void CHeadlessWindow::AppendSystemMenu(unsigned command, const char* text) {
    (void)command;
    (void)text;
}

void CHeadlessWindow::SetIcon(int iconId, bool big) {
    (void)iconId;
    (void)big;
}

void CHeadlessWindow::Attach(CQuillonDlg& dialog) {
    m_dialog = &dialog;
    dialog.OnInitDialog();
}

int CHeadlessWindow::RunModal(CQuillonDlg& dialog) {
    // No user to wait for: the dialog is set up and ends as the user closing it would.
    Attach(dialog);
    if (m_endResult < 0) dialog.OnCancel();
    m_dialog = nullptr;
    return m_endResult;
}

void CHeadlessWindow::EndDialog(int result) {
    m_endResult = result;
}

int CHeadlessWindow::RunAboutBox(const CAboutDlg& about) {
    (void)about;
    return IDOK;
}

void CHeadlessWindow::FireTimer(unsigned id) {
    if (m_dialog != nullptr) m_dialog->OnTimer(id);
}

bool CHeadlessWindow::PumpUntil(const std::function<bool()>& done, int timeoutMs) {
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

void CHeadlessWindow::PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

void CHeadlessWindow::TypeAddress(const char* dotted) {
    uint8_t fields[4];
    if (ParseDottedFields(dotted, fields)) SetAddressFields(IDC_IP_ADDRESS, fields);
}
