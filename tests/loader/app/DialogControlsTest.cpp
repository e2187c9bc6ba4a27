// SPDX-License-Identifier: Apache-2.0
// The dialog's set-up, data exchange and control states, through the recording layer. Nothing
// here connects, except where a test says so (and then only to 127.0.0.1).
#include <gtest/gtest.h>

#include <chrono>

#include "AddressEntry.h"
#include "AddressFields.h"
#include "DialogRig.h"
#include "LogTrim.h"
#include "QuillonApp.h"
#include "StartArguments.h"

namespace {

struct CBareDialog : testing::Test {
    CBareDialog() { m_window.Attach(m_dlg); }
    CRecordingWindow m_window;
    CQuillonDlg m_dlg{m_window};
};

TEST_F(CBareDialog, StartsIdleWithTheStartAddressAndOnlyConnectUsable) {
    const auto& ip = m_window.Control(IDC_IP_ADDRESS);
    EXPECT_EQ(FormatDottedFields(ip.fields), "192.168.1.200");
    EXPECT_EQ(m_dlg.IpAddress(), 0xC0A801C8u);
    EXPECT_EQ(m_window.GetControlText(IDC_UDP_PORT), "69");
    EXPECT_EQ(m_window.GetControlText(IDC_LOG), "");
    EXPECT_TRUE(m_window.IsControlChecked(IDC_STANDARD_TIMEOUT));
    EXPECT_FALSE(m_window.IsControlVisible(IDC_RESET_DEFAULTS));
    EXPECT_FALSE(m_window.IsControlEnabled(IDC_LOAD_FIRMWARE));
    EXPECT_FALSE(m_window.IsControlEnabled(IDC_FLASH_FIRMWARE));
    EXPECT_TRUE(m_window.IsControlEnabled(IDC_CONNECT));
    EXPECT_TRUE(m_window.IsControlEnabled(IDC_IP_ADDRESS));
    EXPECT_TRUE(m_window.IsControlEnabled(IDC_UDP_PORT));
    EXPECT_EQ(m_window.Control(IDC_PROGRESS).position, 0u);
    EXPECT_EQ(m_dlg.Connected(), 0);
    EXPECT_EQ(m_dlg.Flashing(), 0);
    EXPECT_EQ(m_window.m_bigIcon, IDR_MAINFRAME);
    EXPECT_EQ(m_window.m_smallIcon, IDR_MAINFRAME);
    EXPECT_TRUE(m_window.m_timers.empty());  // the timer waits for the first Connect
}

TEST_F(CBareDialog, SystemMenuEndsWithAboutWhichOpensTheAboutBox) {
    ASSERT_EQ(m_window.m_systemMenu.size(), 2u);
    EXPECT_EQ(m_window.m_systemMenu[0], (std::pair<unsigned, std::string>{0, ""}));
    EXPECT_EQ(m_window.m_systemMenu[1], (std::pair<unsigned, std::string>{IDM_ABOUTBOX, "&About"}));
    m_dlg.OnSysCommand(IDM_ABOUTBOX);
    m_dlg.OnSysCommand(IDM_ABOUTBOX | 0x3);  // the low four bits belong to the platform
    m_dlg.OnSysCommand(0xF060);              // close: the platform's
    EXPECT_EQ(m_window.m_aboutCaptions,
              (std::vector<std::string>{"About Quillon", "About Quillon"}));
    EXPECT_EQ(m_window.m_defaultSysCommands, std::vector<unsigned>{0xF060});
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

TEST(DialogSetUp, ApplicationStartsWithTheAddressAndPortGivenAndSendsNothing) {
    CRecordingWindow window;
    CStartTarget start = DefaultStartTarget();
    std::string error;
    ASSERT_TRUE(ParseStartArguments({"127.0.0.9:6970"}, &start, &error)) << error;
    CQuillonApp app(window, start);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(FormatDottedFields(window.Control(IDC_IP_ADDRESS).fields), "127.0.0.9");
    EXPECT_EQ(window.GetControlText(IDC_UDP_PORT), "6970");
    EXPECT_EQ(window.GetControlText(IDC_LOG), "") << "nothing happens before Connect";
    EXPECT_TRUE(window.IsControlEnabled(IDC_CONNECT));
}

TEST(StartArguments, OneAddressWithAnOptionalPortOrNothing) {
    const CStartTarget defaults = DefaultStartTarget();
    EXPECT_EQ(defaults.address, 0xC0A801C8u);
    EXPECT_EQ(defaults.port, 69u);
    std::string error;
    CStartTarget start = defaults;
    ASSERT_TRUE(ParseStartArguments({}, &start, &error));
    EXPECT_EQ(start.address, defaults.address);
    EXPECT_EQ(start.port, 69u);
    ASSERT_TRUE(ParseStartArguments({"10.0.3.11"}, &start, &error));
    EXPECT_EQ(start.address, 0x0A00030Bu);
    EXPECT_EQ(start.port, 69u) << "no port given: the port box keeps its start value";
    ASSERT_TRUE(ParseStartArguments({"127.0.0.1:65535"}, &start, &error));
    EXPECT_EQ(start.address, 0x7F000001u);
    EXPECT_EQ(start.port, 65535u);

    const struct {
        std::vector<std::string> args;
        const char* error;
    } refused[] = {
        {{"10.0.3"}, "not ADDRESS or ADDRESS:PORT: 10.0.3"},
        {{"010.0.3.11"}, "not ADDRESS or ADDRESS:PORT: 010.0.3.11"},
        {{"10.0.3.256"}, "not ADDRESS or ADDRESS:PORT: 10.0.3.256"},
        {{"unit.local"}, "not ADDRESS or ADDRESS:PORT: unit.local"},
        {{""}, "not ADDRESS or ADDRESS:PORT: "},
        {{"10.0.3.11:"}, "not a port of 1 to 65535: "},
        {{"10.0.3.11:0"}, "not a port of 1 to 65535: 0"},
        {{"10.0.3.11:65536"}, "not a port of 1 to 65535: 65536"},
        {{"10.0.3.11:+69"}, "not a port of 1 to 65535: +69"},
        {{"10.0.3.11:69:70"}, "not a port of 1 to 65535: 69:70"},
        {{"10.0.3.11:000069"}, "not a port of 1 to 65535: 000069"},
        {{"--address"}, "unknown option --address"},
        {{"10.0.3.11", "10.0.3.12"}, "one ADDRESS[:PORT] at most, not also 10.0.3.12"},
    };
    for (const auto& bad : refused) {
        CStartTarget untouched = defaults;
        error.clear();
        EXPECT_FALSE(ParseStartArguments(bad.args, &untouched, &error)) << bad.args[0];
        EXPECT_EQ(error, bad.error);
        EXPECT_EQ(untouched.address, defaults.address) << bad.args[0];
        EXPECT_EQ(untouched.port, defaults.port) << bad.args[0];
    }

    EXPECT_EQ(FindPrintOption({"10.0.3.11", "-h"}), EPrintOption::kHelp);
    EXPECT_EQ(FindPrintOption({"--version", "--help"}), EPrintOption::kVersion) << "the first";
    EXPECT_EQ(FindPrintOption({"-V"}), EPrintOption::kVersion);
    EXPECT_EQ(FindPrintOption({"-help", "10.0.3.11"}), EPrintOption::kNone);
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
        m_window.TypePort(c.text);
        EXPECT_TRUE(m_dlg.ExchangeData(true)) << c.text;
        EXPECT_EQ(m_dlg.Port(), c.port) << c.text;
    }
    EXPECT_EQ(m_dlg.Port() & 0xFFFF, 65535u);
    EXPECT_TRUE(m_window.m_boxes.empty());
    // Only the first 63 characters are looked at.
    m_window.TypePort(std::string(63, ' ') + "5");
    EXPECT_FALSE(m_dlg.ExchangeData(true));
}

TEST_F(CBareDialog, PortWithoutANumberIsRefusedAndKeepsTheOldValue) {
    m_window.TypePort("1234");
    ASSERT_TRUE(m_dlg.ExchangeData(true));
    for (const char* text : {"", "x1", "-", " ", "+x"}) {
        m_window.m_boxes.clear();
        m_window.Control(IDC_UDP_PORT).focused = false;
        m_window.TypePort(text);
        EXPECT_FALSE(m_dlg.ExchangeData(true)) << '"' << text << '"';
        EXPECT_EQ(m_dlg.Port(), 1234u);
        ASSERT_EQ(m_window.m_boxes.size(), 1u);
        EXPECT_EQ(m_window.m_boxes[0].text, "Enter a positive integer.");
        EXPECT_TRUE(m_window.Control(IDC_UDP_PORT).focused);
        EXPECT_TRUE(m_window.Control(IDC_UDP_PORT).selectedAll);
    }
}

TEST_F(CBareDialog, EnterClosesOnlyWithAValidPort) {
    m_window.TypePort("abc");
    m_dlg.OnOK();
    EXPECT_EQ(m_window.m_endResult, -1);
    m_window.TypePort("69");
    m_dlg.OnOK();
    EXPECT_EQ(m_window.m_endResult, IDOK);
    m_dlg.OnCancel();
    EXPECT_EQ(m_window.m_endResult, IDCANCEL);
}

TEST_F(CBareDialog, AddressFieldsReadWithTheFirstOctetHighest) {
    m_window.TypeAddress("10.0..7");  // an empty field counts as 0
    ASSERT_TRUE(m_dlg.ExchangeData(true));
    EXPECT_EQ(m_dlg.IpAddress(), 0x0A000007u);
    uint8_t fields[4];
    EXPECT_FALSE(ParseDottedFields("256.1.1.1", fields));
    EXPECT_FALSE(ParseDottedFields("1.2.3.4.5", fields));
    EXPECT_FALSE(ParseDottedFields("1a.2.3.4", fields));
    EXPECT_TRUE(ParseDottedFields("", fields));
    EXPECT_EQ(AddressFromFields(fields), 0u);
}

TEST_F(CBareDialog, EveryLogLineEndsInCrLfAndIsScrolledIntoView) {
    m_dlg.AppendLog("one");
    m_window.Control(IDC_LOG).caretAtEnd = false;  // the user scrolled up
    m_dlg.AppendLog("two");
    EXPECT_EQ(m_window.GetControlText(IDC_LOG), "one\r\ntwo\r\n");
    EXPECT_TRUE(m_window.Control(IDC_LOG).caretAtEnd);
    EXPECT_EQ(m_dlg.LastLogLine(), "two");
    // A log line rewrites the address and port boxes from the members.
    m_window.TypePort("777");
    m_dlg.AppendLog("three");
    EXPECT_EQ(m_window.GetControlText(IDC_UDP_PORT), "69");
    m_dlg.ClearLog();
    EXPECT_EQ(m_window.GetControlText(IDC_LOG), "");
    EXPECT_EQ(m_dlg.LastLogLine(), "");
}

TEST_F(CBareDialog, RestoreWithBit3ClearDisablesThePortBox) {
    m_window.EnableControl(IDC_IP_ADDRESS, false);
    m_window.EnableControl(IDC_LOAD_FIRMWARE, true);
    m_dlg.SaveRestoreControls(CQuillonDlg::kSaveControls);
    m_window.EnableControl(IDC_UDP_PORT, true);
    m_window.EnableControl(IDC_IP_ADDRESS, true);
    m_window.EnableControl(IDC_LOAD_FIRMWARE, false);
    m_window.EnableControl(IDC_CONNECT, false);
    m_dlg.SaveRestoreControls(CQuillonDlg::kRestoreControls);
    EXPECT_FALSE(m_window.IsControlEnabled(IDC_UDP_PORT));
    EXPECT_FALSE(m_window.IsControlEnabled(IDC_IP_ADDRESS));
    EXPECT_TRUE(m_window.IsControlEnabled(IDC_LOAD_FIRMWARE));
    EXPECT_TRUE(m_window.IsControlEnabled(IDC_CONNECT));
    EXPECT_FALSE(m_window.IsControlEnabled(IDC_FLASH_FIRMWARE));
}

TEST_F(CBareDialog, ReadVersionNameShowsOnlyTheBytesTheReplyCarried) {
    uint8_t reply[kReplyBufferSize];
    std::fill(std::begin(reply), std::end(reply), 'Z');           // what an older reply left behind
    const uint8_t head[] = {1, 1, 4, 'A', 'B', 'C', 0xC5, 0x7E};  // 6 body bytes + CRC
    std::copy(std::begin(head), std::end(head), reply);
    m_dlg.OnBootReply(sizeof head, reply);
    EXPECT_EQ(m_dlg.LastLogLine(), "ABC bootloader v1.04");

    const uint8_t sixteen[] = {1,   2,   0,   'N', 'O', 'Z', 'E', 'R', 'O',  'N', 'A',
                               'M', 'E', 'S', 'I', 'X', 'T', 'E', 'N', 0x11, 0x22};
    std::copy(std::begin(sixteen), std::end(sixteen), reply);
    m_dlg.OnBootReply(sizeof sixteen, reply);
    EXPECT_EQ(m_dlg.LastLogLine(), "NOZERONAMESIXTEN bootloader v2.00");

    // Shorter than its version field: the missing bytes are 0, not the CRC.
    const uint8_t cut[] = {1, 0xAB, 0xCD};
    std::copy(std::begin(cut), std::end(cut), reply);
    m_dlg.OnBootReply(sizeof cut, reply);
    EXPECT_EQ(m_dlg.LastLogLine(), "Device bootloader v0.00");
    EXPECT_FALSE(m_window.IsControlVisible(IDC_RESET_DEFAULTS));
}

TEST_F(CBareDialog, RepliesWithOtherCodesChangeNothingAndTimeoutsOfExitAreSilent) {
    const uint8_t exitReply[] = {5, 0, 0};
    m_dlg.OnBootReply(sizeof exitReply, exitReply);
    EXPECT_EQ(m_dlg.OnBootTimeout(CMD_EXIT), 1);
    EXPECT_EQ(m_dlg.OnBootTimeout(0), 1);
    EXPECT_EQ(m_dlg.LogText(), "");
    EXPECT_FALSE(m_window.IsControlEnabled(IDC_LOAD_FIRMWARE));
}

constexpr const char* kCloseQuestion =
    "A flash is in progress. Closing now leaves the unit erased or partly programmed. Close "
    "anyway?";

TEST(DialogClose, MidFlashAsksFirstAndOnlyYesCloses) {
    CDialogRig rig;
    ASSERT_TRUE(rig.Connect());
    // Connected but idle: closing needs no question.
    rig.dlg.OnOK();
    EXPECT_EQ(rig.window.m_endResult, IDOK);
    EXPECT_TRUE(rig.window.m_questions.empty());
    rig.window.m_endResult = -1;

    ASSERT_TRUE(rig.Load(WriteFirmware(200)));
    rig.sim.SetSilent(true);  // the erase is never answered: the sequence stays running
    rig.dlg.OnFlashFirmware();
    ASSERT_TRUE(rig.dlg.FlashInProgress());
    rig.dlg.OnCancel();  // Esc or the close box, answered No
    rig.dlg.OnOK();      // Enter, answered No
    EXPECT_EQ(rig.window.m_endResult, -1);
    EXPECT_EQ(rig.window.m_questions, (std::vector<std::string>{kCloseQuestion, kCloseQuestion}));

    rig.window.m_answerYes = true;
    rig.dlg.OnOK();
    EXPECT_EQ(rig.window.m_endResult, IDOK);
    rig.window.m_endResult = -1;
    rig.dlg.OnCancel();
    EXPECT_EQ(rig.window.m_endResult, IDCANCEL);
    EXPECT_EQ(rig.window.m_questions.size(), 4u);
}

TEST_F(CBareDialog, AFloodOfLogLinesKeepsTheNewestAndStaysFast) {
    std::vector<std::string> whole;
    m_window.OnLogWritten([&](const std::string& log) {
        if (log.size() < 200) whole.push_back(log);  // only short logs are worth keeping
    });
    constexpr int kLines = 20000;
    const auto start = std::chrono::steady_clock::now();
    char line[32];
    for (int i = 1; i <= kLines; ++i) {
        std::snprintf(line, sizeof line, "line %d", i);
        m_dlg.AppendLog(line);
    }
    const auto spent = std::chrono::steady_clock::now() - start;
    EXPECT_LT(spent, std::chrono::seconds(2));

    const std::string& log = m_window.GetControlText(IDC_LOG);
    EXPECT_EQ(log, m_dlg.LogText());
    const size_t lines = CountLineBreaks(log);
    EXPECT_LE(lines, kLogLineLimit + 1);
    EXPECT_GE(lines, kLogLineLimit - kLogTrimChunk + 1);
    const size_t kept = lines - 1;
    const std::string head =
        "... " + std::to_string(kLines - kept) + " earlier lines dropped ...\r\n";
    EXPECT_EQ(log.compare(0, head.size(), head), 0) << log.substr(0, 60);
    const std::string oldest = "line " + std::to_string(kLines - kept + 1) + "\r\n";
    EXPECT_EQ(log.substr(head.size(), oldest.size()), oldest);
    EXPECT_EQ(m_dlg.LastLogLine(), "line 20000");
    EXPECT_TRUE(m_window.Control(IDC_LOG).caretAtEnd);

    // A log read back from the box and cleared keeps counting from where it stands.
    ASSERT_TRUE(m_dlg.ExchangeData(true));
    for (int i = 0; i < static_cast<int>(kLogTrimChunk); ++i) m_dlg.AppendLog("more");
    EXPECT_LE(CountLineBreaks(m_dlg.LogText()), kLogLineLimit + 1);
    EXPECT_EQ(m_dlg.LogText().rfind("... ", 0), 0u);
    m_dlg.ClearLog();
    m_dlg.AppendLog("fresh");
    EXPECT_EQ(m_window.GetControlText(IDC_LOG), "fresh\r\n");
}

TEST(LogTrim, DropsAChunkAndCountsEveryDroppedLine) {
    std::string log;
    for (size_t i = 0; i <= kLogLineLimit; ++i) log += std::to_string(i) + "\r\n";
    size_t lines = CountLogLines(log);
    ASSERT_EQ(lines, kLogLineLimit + 1);
    ASSERT_TRUE(TrimLog(log, lines));
    EXPECT_EQ(lines, kLogLineLimit - kLogTrimChunk);
    EXPECT_EQ(log.rfind("... 501 earlier lines dropped ...\r\n501\r\n", 0), 0u);
    EXPECT_EQ(CountLogLines(log), lines);
    EXPECT_FALSE(TrimLog(log, lines));
    // A line that only looks like the count line is counted as a line of its own.
    EXPECT_EQ(CountLogLines("... x earlier lines dropped ...\r\n"), 1u);
}

// The IP address box's keys, as typed one by one.
std::string TypeKeys(CAddressEdit& edit, const std::string& keys) {
    std::string message;
    for (const char key : keys) {
        std::string refusal;
        if (TypeAddressChar(edit, key, refusal) == EAddressKey::kRefused) message = refusal;
    }
    return message;
}

TEST(AddressEntry, TypedKeysFillFourFieldsOfZeroTo255) {
    const struct {
        const char* keys;
        const char* text;
    } typed[] = {
        {"127.000.000.001", "127.000.000.001"},  // leading zeros stay; the value is 1
        {"192168001200", "192.168.001.200"},     // a fourth digit starts the next field
        {"1..2", "1.2"},                         // '.' in an empty field does nothing
        {".5", "5"},
        {"1.2.3.4.", "1.2.3.4"},  // nor in the last field
        {"1.2.3.2345", "1.2.3.234"},
        {"10.x0 .7", "10.0.7"},
    };
    for (const auto& t : typed) {
        CAddressEdit edit;
        EXPECT_EQ(TypeKeys(edit, t.keys), "") << t.keys;
        EXPECT_EQ(edit.text, t.text) << t.keys;
        EXPECT_EQ(edit.caret, edit.text.size()) << t.keys;
        uint8_t fields[4];
        EXPECT_TRUE(ParseDottedFields(edit.text, fields)) << t.keys;
    }
    CAddressEdit zeros;
    TypeKeys(zeros, "127.000.000.001");
    uint8_t fields[4];
    ASSERT_TRUE(ParseDottedFields(zeros.text, fields));
    EXPECT_EQ(AddressFromFields(fields), 0x7F000001u);
}

TEST(AddressEntry, AValueAbove255IsRefusedAndNeverRewritten) {
    CAddressEdit edit;
    EXPECT_EQ(TypeKeys(edit, "300"),
              "300 is not a valid entry. Specify a value between 0 and 255.");
    EXPECT_EQ(edit.text, "30");  // the refused key changed nothing
    EXPECT_EQ(TypeKeys(edit, ".1.2.3"), "");
    EXPECT_EQ(edit.text, "30.1.2.3");

    // In the middle of a field, and in a next field that the digit would have started.
    edit = {"25.1", 2};
    std::string message;
    EXPECT_EQ(TypeAddressChar(edit, '9', message), EAddressKey::kRefused);
    EXPECT_EQ(message, "259 is not a valid entry. Specify a value between 0 and 255.");
    edit = {"192.60", 3};
    EXPECT_EQ(TypeAddressChar(edit, '7', message), EAddressKey::kRefused);
    EXPECT_EQ(edit.text, "192.60");
    EXPECT_EQ(edit.caret, 3u);
    // A '.' in the middle of a field moves on to the next.
    edit = {"192.168", 1};
    EXPECT_EQ(TypeAddressChar(edit, '.', message), EAddressKey::kChanged);
    EXPECT_EQ(edit.text, "192.168");
    EXPECT_EQ(edit.caret, 4u);
}

TEST(AddressEntry, ErasingNeverJoinsFieldsIntoABadOne) {
    CAddressEdit edit{"192.168.1.200", 4};
    EXPECT_EQ(EraseAddressChar(edit, true), EAddressKey::kChanged);  // steps over the dot
    EXPECT_EQ(edit.text, "192.168.1.200");
    EXPECT_EQ(edit.caret, 3u);
    EXPECT_EQ(EraseAddressChar(edit, true), EAddressKey::kChanged);
    EXPECT_EQ(edit.text, "19.168.1.200");
    edit = {"1.2", 1};
    EXPECT_EQ(EraseAddressChar(edit, false), EAddressKey::kChanged);  // 12 is a field
    EXPECT_EQ(edit.text, "12");
    edit = {"5", 0};
    EXPECT_EQ(EraseAddressChar(edit, true), EAddressKey::kIgnored);

    // Text pasted or set whole.
    std::string message;
    EXPECT_TRUE(CheckAddressText("192.168.001.200", message));
    EXPECT_TRUE(CheckAddressText("10..7", message));
    EXPECT_FALSE(CheckAddressText("300.1.2.3", message));
    EXPECT_EQ(message, "300 is not a valid entry. Specify a value between 0 and 255.");
    for (const char* bad : {"1.2.3.4.5", "a.b.c.d", "0001.2.3.4", " 1.2.3.4", "1,2"}) {
        message.clear();
        EXPECT_FALSE(CheckAddressText(bad, message)) << bad;
        EXPECT_FALSE(message.empty()) << bad;
    }
}

}  // namespace
