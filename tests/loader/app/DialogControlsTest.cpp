// The dialog's set-up, data exchange and control states, through the recording layer. Nothing
// here connects, except where a test says so (and then only to 127.0.0.1).
#include <gtest/gtest.h>

#include "DialogRig.h"
#include "PortText.h"
#include "QuillonApp.h"

namespace {

struct CBareDialog : testing::Test {
    CBareDialog() { window.Attach(dlg); }
    CRecordingWindow window;
    CQuillonDlg dlg{window};
};

TEST_F(CBareDialog, StartsIdleWithTheStartAddressAndOnlyConnectUsable) {
    const auto& ip = window.Control(IDC_IP_ADDRESS);
    EXPECT_EQ(FormatDottedFields(ip.fields), "192.168.1.200");
    EXPECT_EQ(dlg.m_ipAddress, 0xC0A801C8u);
    EXPECT_EQ(window.GetControlText(IDC_UDP_PORT), "69");
    EXPECT_EQ(window.GetControlText(IDC_LOG), "");
    EXPECT_TRUE(window.IsControlChecked(IDC_STANDARD_TIMEOUT));
    EXPECT_FALSE(window.IsControlVisible(IDC_RESET_DEFAULTS));
    EXPECT_FALSE(window.IsControlEnabled(IDC_LOAD_FIRMWARE));
    EXPECT_FALSE(window.IsControlEnabled(IDC_FLASH_FIRMWARE));
    EXPECT_TRUE(window.IsControlEnabled(IDC_CONNECT));
    EXPECT_TRUE(window.IsControlEnabled(IDC_IP_ADDRESS));
    EXPECT_TRUE(window.IsControlEnabled(IDC_UDP_PORT));
    EXPECT_EQ(window.Control(IDC_PROGRESS).position, 0u);
    EXPECT_EQ(dlg.m_connected, 0);
    EXPECT_EQ(dlg.m_flashing, 0);
    EXPECT_EQ(window.m_bigIcon, IDR_MAINFRAME);
    EXPECT_EQ(window.m_smallIcon, IDR_MAINFRAME);
    EXPECT_TRUE(window.m_timers.empty());  // the timer waits for the first Connect
}

TEST_F(CBareDialog, SystemMenuEndsWithAboutWhichOpensTheAboutBox) {
    ASSERT_EQ(window.m_systemMenu.size(), 2u);
    EXPECT_EQ(window.m_systemMenu[0], (std::pair<unsigned, std::string>{0, ""}));
    EXPECT_EQ(window.m_systemMenu[1], (std::pair<unsigned, std::string>{IDM_ABOUTBOX, "&About"}));
    dlg.OnSysCommand(IDM_ABOUTBOX);
    dlg.OnSysCommand(IDM_ABOUTBOX | 0x3);  // the low four bits belong to the platform
    dlg.OnSysCommand(0xF060);              // close: the platform's
    EXPECT_EQ(window.m_aboutCaptions, (std::vector<std::string>{"About Quillon", "About Quillon"}));
    EXPECT_EQ(window.m_defaultSysCommands, std::vector<unsigned>{0xF060});
}

TEST(DialogSetUp, NoSystemMenuMeansNoAboutEntry) {
    CRecordingWindow window;
    window.m_hasSystemMenu = false;
    CQuillonDlg dlg(window);
    window.Attach(dlg);
    EXPECT_TRUE(window.m_systemMenu.empty());
}

TEST(DialogSetUp, ApplicationRunsTheDialogAndEndsWithIt) {
    CRecordingWindow window;
    CQuillonApp app(window);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(window.m_endResult, IDCANCEL);
    EXPECT_EQ(app.RegistryKey(), "Local AppWizard-Generated Applications");
    EXPECT_EQ(app.MainWnd(), nullptr);
    EXPECT_EQ(window.GetControlText(IDC_UDP_PORT), "69");
}

TEST_F(CBareDialog, PortReadsAsTheFormattedScanDoes) {
    const struct {
        const char* text;
        uint32_t port;
    } accepted[] = {{"69x", 69},
                    {"-5", 4294967291u},
                    {"70000", 70000},
                    {"  42", 42},
                    {"+7", 7},
                    {"0", 0},
                    {"4294967295", 4294967295u},
                    {"4294967296", 0u},
                    {"99999999999999999999999", 4294967295u}};
    for (const auto& c : accepted) {
        window.TypePort(c.text);
        EXPECT_TRUE(dlg.ExchangeData(true)) << c.text;
        EXPECT_EQ(dlg.m_port, c.port) << c.text;
    }
    EXPECT_EQ(dlg.m_port & 0xFFFF, 65535u);
    EXPECT_TRUE(window.m_boxes.empty());
    // Only the first 63 characters are looked at.
    window.TypePort(std::string(63, ' ') + "5");
    EXPECT_FALSE(dlg.ExchangeData(true));
}

TEST_F(CBareDialog, PortWithoutANumberIsRefusedAndKeepsTheOldValue) {
    window.TypePort("1234");
    ASSERT_TRUE(dlg.ExchangeData(true));
    for (const char* text : {"", "x1", "-", " ", "+x"}) {
        window.m_boxes.clear();
        window.Control(IDC_UDP_PORT).focused = false;
        window.TypePort(text);
        EXPECT_FALSE(dlg.ExchangeData(true)) << '"' << text << '"';
        EXPECT_EQ(dlg.m_port, 1234u);
        ASSERT_EQ(window.m_boxes.size(), 1u);
        EXPECT_EQ(window.m_boxes[0].text, "Enter a positive integer.");
        EXPECT_TRUE(window.Control(IDC_UDP_PORT).focused);
        EXPECT_TRUE(window.Control(IDC_UDP_PORT).selectedAll);
    }
}

TEST_F(CBareDialog, EnterClosesOnlyWithAValidPort) {
    window.TypePort("abc");
    dlg.OnOK();
    EXPECT_EQ(window.m_endResult, -1);
    window.TypePort("69");
    dlg.OnOK();
    EXPECT_EQ(window.m_endResult, IDOK);
    dlg.OnCancel();
    EXPECT_EQ(window.m_endResult, IDCANCEL);
}

TEST_F(CBareDialog, AddressFieldsReadWithTheFirstOctetHighest) {
    window.TypeAddress("10.0..7");  // an empty field counts as 0
    ASSERT_TRUE(dlg.ExchangeData(true));
    EXPECT_EQ(dlg.m_ipAddress, 0x0A000007u);
    uint8_t fields[4];
    EXPECT_FALSE(ParseDottedFields("256.1.1.1", fields));
    EXPECT_FALSE(ParseDottedFields("1.2.3.4.5", fields));
    EXPECT_FALSE(ParseDottedFields("1a.2.3.4", fields));
    EXPECT_TRUE(ParseDottedFields("", fields));
    EXPECT_EQ(AddressFromFields(fields), 0u);
}

TEST_F(CBareDialog, EveryLogLineEndsInCrLfAndIsScrolledIntoView) {
    dlg.AppendLog("one");
    window.Control(IDC_LOG).caretAtEnd = false;  // the user scrolled up
    dlg.AppendLog("two");
    EXPECT_EQ(window.GetControlText(IDC_LOG), "one\r\ntwo\r\n");
    EXPECT_TRUE(window.Control(IDC_LOG).caretAtEnd);
    EXPECT_EQ(dlg.LastLogLine(), "two");
    // A log line rewrites the address and port boxes from the members.
    window.TypePort("777");
    dlg.AppendLog("three");
    EXPECT_EQ(window.GetControlText(IDC_UDP_PORT), "69");
    dlg.ClearLog();
    EXPECT_EQ(window.GetControlText(IDC_LOG), "");
    EXPECT_EQ(dlg.LastLogLine(), "");
}

TEST_F(CBareDialog, RestoreWithBit3ClearDisablesThePortBox) {
    window.EnableControl(IDC_IP_ADDRESS, false);
    window.EnableControl(IDC_LOAD_FIRMWARE, true);
    dlg.SaveRestoreControls(CQuillonDlg::kSaveControls);
    window.EnableControl(IDC_UDP_PORT, true);
    window.EnableControl(IDC_IP_ADDRESS, true);
    window.EnableControl(IDC_LOAD_FIRMWARE, false);
    window.EnableControl(IDC_CONNECT, false);
    dlg.SaveRestoreControls(CQuillonDlg::kRestoreControls);
    EXPECT_FALSE(window.IsControlEnabled(IDC_UDP_PORT));
    EXPECT_FALSE(window.IsControlEnabled(IDC_IP_ADDRESS));
    EXPECT_TRUE(window.IsControlEnabled(IDC_LOAD_FIRMWARE));
    EXPECT_TRUE(window.IsControlEnabled(IDC_CONNECT));
    EXPECT_FALSE(window.IsControlEnabled(IDC_FLASH_FIRMWARE));
}

TEST_F(CBareDialog, ReadVersionNameShowsOnlyTheBytesTheReplyCarried) {
    uint8_t reply[kReplyBufferSize];
    std::fill(std::begin(reply), std::end(reply), 'Z');           // what an older reply left behind
    const uint8_t head[] = {1, 1, 4, 'A', 'B', 'C', 0xC5, 0x7E};  // 6 body bytes + CRC
    std::copy(std::begin(head), std::end(head), reply);
    dlg.OnBootReply(sizeof head, reply);
    EXPECT_EQ(dlg.LastLogLine(), "ABC bootloader v1.04");

    const uint8_t sixteen[] = {1,   2,   0,   'N', 'O', 'Z', 'E', 'R', 'O',  'N', 'A',
                               'M', 'E', 'S', 'I', 'X', 'T', 'E', 'N', 0x11, 0x22};
    std::copy(std::begin(sixteen), std::end(sixteen), reply);
    dlg.OnBootReply(sizeof sixteen, reply);
    EXPECT_EQ(dlg.LastLogLine(), "NOZERONAMESIXTEN bootloader v2.00");

    // Shorter than its version field: the missing bytes are 0, not the CRC.
    const uint8_t cut[] = {1, 0xAB, 0xCD};
    std::copy(std::begin(cut), std::end(cut), reply);
    dlg.OnBootReply(sizeof cut, reply);
    EXPECT_EQ(dlg.LastLogLine(), "Device bootloader v0.00");
    EXPECT_FALSE(window.IsControlVisible(IDC_RESET_DEFAULTS));
}

TEST_F(CBareDialog, RepliesWithOtherCodesChangeNothingAndTimeoutsOfExitAreSilent) {
    const uint8_t exitReply[] = {5, 0, 0};
    dlg.OnBootReply(sizeof exitReply, exitReply);
    EXPECT_EQ(dlg.OnBootTimeout(CMD_EXIT), 1);
    EXPECT_EQ(dlg.OnBootTimeout(0), 1);
    EXPECT_EQ(dlg.m_logText, "");
    EXPECT_FALSE(window.IsControlEnabled(IDC_LOAD_FIRMWARE));
}

}  // namespace
