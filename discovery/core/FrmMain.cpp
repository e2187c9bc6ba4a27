// SPDX-License-Identifier: Apache-2.0
#include "core/FrmMain.h"

#include <algorithm>
#include <string>

#include "core/DisplayText.h"
#include "core/ErrorReport.h"
#include "core/ListDesign.h"

namespace {

constexpr const char* kFormLoad = "Form_Load";
constexpr const char* kAddDeviceToList = "AddDeviceToList";
constexpr const char* kTimer = "tmrTimeout_Timer";
constexpr const char* kDataArrival = "sktListenAnnounce_DataArrival";

}  // namespace

CFrmMain::CFrmMain(IFormWindow& form, IDeviceListView& lstDevices, IWindowTimer& tmrTimeout,
                   IMessageBox& messageBox, IAnnounceSocket& sktListenAnnounce, uint16_t listenPort)
    : m_form(form),
      m_lstDevices(lstDevices),
      m_tmrTimeout(tmrTimeout),
      m_messageBox(messageBox),
      m_sktListenAnnounce(sktListenAnnounce),
      m_listenPort(listenPort) {}

bool CFrmMain::ReportIfFailed(const CResult& result, const char* procedure, int step) {
    if (result.Ok()) return false;
    const std::string text = FormatErrorReport(result.number, result.description, procedure, step);
    // The box runs its own event loop; no other procedure may start inside this one.
    if (m_reportDepth++ == 0) m_sktListenAnnounce.SetNotifying(false);
    m_messageBox.ShowError(kProgramTitle, text);
    if (--m_reportDepth == 0) m_sktListenAnnounce.SetNotifying(true);
    return true;
}

// The placeholder is known by its missing countdown, not by its text: a unit may well call itself
// "Scanning...".
bool CFrmMain::IsPlaceholderRow(int row) const {
    int tag = 0;
    return m_lstDevices.Tag(row, &tag).Ok() && tag == kNoCountdown;
}

void CFrmMain::AppendPlaceholder(const char* procedure, int step) {
    int row = 0;
    if (ReportIfFailed(m_lstDevices.AddRow(kPlaceholderText, &row), procedure, step)) return;
    ReportIfFailed(m_lstDevices.SetTag(row, kNoCountdown), procedure, step);
}

CResult CFrmMain::GetSubItemIndex(const IDeviceListView& list, std::string_view key,
                                  int16_t* index) {
    for (int position = 1; position <= list.ColumnCount(); ++position) {
        if (list.ColumnKey(position) == key) {
            *index = static_cast<int16_t>(position - 1);
            return Success();
        }
    }
    return FailWith(kErrNoSuchColumn);
}

void CFrmMain::Form_Load() {
    // Step 10 arms the error report; steps 20 and 50 only take and drop the listener's handle.
    ReportIfFailed(m_sktListenAnnounce.SetProtocolUdp(), kFormLoad, 30);
    ReportIfFailed(m_sktListenAnnounce.Bind(m_listenPort), kFormLoad, 40);
    ReportIfFailed(m_lstDevices.Move(0, 0), kFormLoad, 60);
    ReportIfFailed(
        m_form.SetOuterWidth(m_lstDevices.Width() + m_form.OuterWidth() - m_form.ClientWidth()),
        kFormLoad, 70);
    ReportIfFailed(
        m_form.SetOuterHeight(m_lstDevices.Height() + m_form.OuterHeight() - m_form.ClientHeight()),
        kFormLoad, 80);
    ReportIfFailed(m_tmrTimeout.SetInterval(kTimerIntervalMs), kFormLoad, 90);
    ReportIfFailed(m_tmrTimeout.Start(), kFormLoad, 100);
    AppendPlaceholder(kFormLoad, 110);
}

// The row already listing that MAC, 0 for a new unit. The index answers at once: a flood of new
// MACs at a full list must cost no more than the units the list knows.
int CFrmMain::FindDeviceRow(std::string_view mac) {
    const int count = m_lstDevices.RowCount();
    if (count == 0 || (count == 1 && IsPlaceholderRow(1))) return 0;
    int16_t macIndex = -1;
    // A missing column matches nothing: it must never steal another device's announce.
    if (ReportIfFailed(GetSubItemIndex(m_lstDevices, "mac", &macIndex), kAddDeviceToList, 40)) {
        return 0;
    }
    // New rows take their MAC in sub-item 1 (step 160); no other column ever holds one.
    if (macIndex != 1) return 0;
    int row = 0;
    if (ReportIfFailed(m_lstDevices.FindDevice(mac, &row), kAddDeviceToList, 40)) return 0;
    return row;
}

// A full list gives up, among the rows heard only once, the one heard longest ago; only when every
// row was heard again, the one silent longest. A flood of invented MACs then only ever displaces
// itself, a unit that keeps announcing stays, and a real unit gets in at once.
bool CFrmMain::MakeRoomForNewDevice() {
    const int victim = m_lstDevices.EvictionCandidate();
    if (victim == 0) return false;
    return !ReportIfFailed(m_lstDevices.RemoveRow(victim), kAddDeviceToList, 150);
}

void CFrmMain::AddDeviceToList(std::string_view name, std::string_view mac, std::string_view ip,
                               std::string_view message) {
    int row = FindDeviceRow(mac);  // steps 30 to 80
    const bool isNew = row == 0;   // step 20
    if (isNew) {                   // step 90
        if (m_lstDevices.RowCount() == 1) {  // step 100
            if (IsPlaceholderRow(1)) {       // step 110
                ReportIfFailed(m_lstDevices.Clear(), kAddDeviceToList, 120);
            }
        }
        if (m_lstDevices.RowCount() >= kMaxDeviceRows && !MakeRoomForNewDevice()) return;
        if (ReportIfFailed(m_lstDevices.AddRow(name, &row), kAddDeviceToList, 150)) row = 0;
        ReportIfFailed(m_lstDevices.SetSubItem(row, 1, mac), kAddDeviceToList, 160);
    }               // otherwise step 180 takes the remembered row
    if (row > 0) {  // step 200
        ReportIfFailed(m_lstDevices.SetRowText(row, name), kAddDeviceToList, 210);
        ReportIfFailed(m_lstDevices.SetSubItem(row, 2, ip), kAddDeviceToList, 220);
        ReportIfFailed(m_lstDevices.SetSubItem(row, 3, message), kAddDeviceToList, 230);
        ReportIfFailed(m_lstDevices.SetTag(row, kFullCountdown), kAddDeviceToList, 240);
        ReportIfFailed(m_lstDevices.MarkHeard(row), kAddDeviceToList, 240);
        ReportIfFailed(m_lstDevices.SetSmallIcon(row, isNew ? kIconAdd : kIconNone),
                       kAddDeviceToList, 250);
    }
}  // step 270

void CFrmMain::tmrTimeout_Timer() {
    // A tick inside an open report would move rows under the procedure that is reporting.
    if (IsReporting()) return;
    const int count = m_lstDevices.RowCount();  // step 20; every row, however many
    for (int row = 1; row <= count; ++row) {
        if (IsPlaceholderRow(row)) continue;  // step 30
        int countdown = 0;
        // A countdown that cannot be read leaves the row as it is until the next tick.
        if (ReportIfFailed(m_lstDevices.Tag(row, &countdown), kTimer, 40)) continue;
        if (countdown > 0) {
            --countdown;
            ReportIfFailed(m_lstDevices.SetTag(row, countdown), kTimer, 50);
            if (countdown == 0) {  // step 60
                ReportIfFailed(m_lstDevices.SetSmallIcon(row, kIconRemove), kTimer, 70);
            }
        } else {
            ReportIfFailed(m_lstDevices.RemoveRow(row), kTimer, 100);
            if (m_lstDevices.RowCount() == 0) AppendPlaceholder(kTimer, 120);  // step 110
            return;  // one removal per tick
        }
    }  // step 170
}  // step 180

void CFrmMain::Form_Resize() {
    m_lstDevices.SetSize(std::max(0, m_form.ClientWidth()), std::max(0, m_form.ClientHeight()));
    if (m_form.IsMinimised()) return;
    const int message = m_lstDevices.Width() - m_lstDevices.ColumnWidth(1) -
                        m_lstDevices.ColumnWidth(2) - m_lstDevices.ColumnWidth(3) -
                        kMessageMarginTwips;
    m_lstDevices.SetColumnWidth(4, message >= 0 ? message : kMinMessageWidthTwips);
}

void CFrmMain::Form_Unload() {
    m_tmrTimeout.Stop();
    m_sktListenAnnounce.Close();
}

void CFrmMain::sktListenAnnounce_DataArrival() {
    // Leave the datagram waiting; notifications resume when the report closes.
    if (IsReporting()) return;
    std::size_t length = 0;
    uint32_t sender = 0;
    if (ReportIfFailed(m_sktListenAnnounce.ReadDatagram(m_datagram.data(), m_datagram.size(),
                                                        &length, &sender),
                       kDataArrival, 20)) {
        length = 0;
    }
    if (length < kMinAnnounceLength) return;  // step 30
    CAnnounceFields fields;
    if (!SplitAnnounce(std::string_view(m_datagram.data(), length), &fields)) return;  // 40, 50
    FormatDottedQuad(sender, m_senderText);                                            // step 60
    AddDeviceToList(fields.name, fields.mac, m_senderText, fields.message);
}  // step 90
