// SPDX-License-Identifier: Apache-2.0
#include "watch/Watcher.h"

#include "core/MacMatch.h"

CResult CWatcher::COpeningSocket::Remember(CResult result) {
    if (!result.Ok() && m_failure.empty()) {
        m_failure = result.description;
        if (m_failure.empty()) m_failure = "error " + std::to_string(result.number);
    }
    return result;
}

CResult CWatcher::CTickSetting::SetInterval(int milliseconds) {
    if (milliseconds <= 0) return FailWith(kErrBadTimerInterval);
    m_interval = milliseconds;
    return Success();
}

void CWatcher::CErrorLines::ShowError(std::string_view, std::string_view text) {
    if (m_quiet) return;
    std::string line = "pellisk-watch: ";
    line += text;
    line += '\n';
    m_errors(line);
}

CWatcher::CWatcher(const CWatchOptions& options, IAnnounceSocket& socket, CWriter out,
                   CWriter errors)
    : m_options(options),
      m_out(std::move(out)),
      m_errors(std::move(errors)),
      m_socket(socket),
      m_reports(m_errors),
      m_list(*this),
      m_frm(m_form, m_list, m_timer, m_reports, m_socket, options.port) {}

bool CWatcher::Start(std::string* error) {
    m_frm.Form_Load();
    m_list.Flush();
    m_reports.m_quiet = false;
    if (m_socket.m_failure.empty()) return true;
    *error = "cannot listen: " + m_socket.m_failure;
    return false;
}

void CWatcher::Arrive() {
    m_frm.sktListenAnnounce_DataArrival();
    m_list.Flush();
}

void CWatcher::Tick() {
    m_frm.tmrTimeout_Timer();
    m_list.Flush();
}

bool CWatcher::Shows(const CDeviceRow& row) const {
    return MacMatches(row.subItems[0], m_options.mac, EMacMatch::kContains);
}

void CWatcher::Write(EWatchEvent event, const CDeviceRow& row) {
    if (!Shows(row)) return;
    m_line.clear();
    AppendEventLine(event, row, m_options.json, &m_line);
    m_out(m_line);
}

void CWatcher::OnEvent(EWatchEvent event, const CDeviceRow& row) {
    // --once prints the list at the end and nothing on the way.
    if (!m_options.once) Write(event, row);
}

void CWatcher::WriteListed() {
    const CDeviceRowStore& rows = m_list.Rows();
    for (int row = 1; row <= rows.Count(); ++row) {
        if (rows.IsDevice(row)) Write(EWatchEvent::kListed, rows.Row(row));
    }
}
