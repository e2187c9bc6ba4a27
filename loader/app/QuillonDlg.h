// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>
#include <string>

#include "BootLink.h"
#include "BootMessageQueue.h"
#include "BootTimings.h"
#include "DialogWindow.h"
#include "QuillonIds.h"
#include "StartArguments.h"

// How the last operation or sequence of the dialog ended, set where its log line is written.
enum class EOutcome : uint8_t {
    kNone,           // nothing has ended yet: connecting, or a flash step's reply is awaited
    kConnected,      // the bootloader answered Connect
    kLoaded,         // Load Firmware opened a file
    kLoadFailed,     // Load Firmware was cancelled or refused the file
    kRefused,        // Flash Firmware refused the file; nothing was sent
    kNoResponse,     // a command ran out of tries (FailedStep() says which)
    kNotProgrammed,  // erased, but the file could no longer be read
    kFileChanged,    // the file changed while flashing; verification refused
    kVerifyFailed,   // the unit's CRC differs, or the image holds no data
    kVerified,       // the unit holds the file
};

// The loader's main dialog: the order of operations behind its buttons, the status log and the
// control states. It talks to the screen only through IDialogWindow, so any window layer (a
// real window, a console, a test recorder) can drive it.
class CQuillonDlg {
  public:
    enum : int { kSaveControls = 1, kRestoreControls = 2 };

    explicit CQuillonDlg(IDialogWindow& window);
    virtual ~CQuillonDlg();
    CQuillonDlg(const CQuillonDlg&) = delete;
    CQuillonDlg& operator=(const CQuillonDlg&) = delete;

    int DoModal() { return m_window.RunModal(*this); }

    // Set-up and the framework's commands.
    bool OnInitDialog();
    void OnSysCommand(unsigned command);
    void OnOK();
    void OnCancel();

    // Handlers.
    void OnConnect();
    void OnLoadFirmware();
    void OnFlashFirmware();
    int OnBootReply(uint32_t length, const uint8_t* reply);
    int OnBootTimeout(uint32_t code);
    // The system refused to send a request; the command's tries go on.
    int OnBootSendFailed(uint32_t error);
    void OnTimer(unsigned id);

    // The notifications waiting for the dialog thread, each handed to its handler in order.
    // A window layer calls this when NotifyFd becomes readable.
    void DispatchBootMessages();
    int NotifyFd() const { return m_notify.WakeFd(); }

    // Operations.
    bool ExchangeData(bool toMembers);
    void AppendLog(const char* line);
    void ClearLog();
    void SaveRestoreControls(int mode);
    void InitControls();

    // The last line of the log, without its line break; empty when the log is.
    std::string LastLogLine() const;
    // A flash sequence is running: some step's reply is still awaited.
    bool FlashInProgress() const { return m_awaiting != 0; }
    // The flash step whose reply is awaited, 0 when none is.
    uint8_t AwaitedStep() const { return m_awaiting; }
    EOutcome Outcome() const { return m_outcome; }
    // The command that ran out of tries, for EOutcome::kNoResponse.
    uint8_t FailedStep() const { return m_failedStep; }
    // The bootloader's name and version line of the last Connect; empty until it answered.
    const std::string& VersionLine() const { return m_versionLine; }
    // The system's error number of the last request that could not be sent since Connect or
    // Flash Firmware; 0 when every send went out.
    int SendError() const { return m_sendError; }
    // The tries of every programming batch (the dialog's own: 3).
    void SetProgramTries(uint16_t tries) { m_programTries = tries; }

    // The link to the unit, for what the window layers and the console flasher set on it
    // (the file chooser, an observer) and read from it (progress, the socket).
    CBootLink& Link() { return m_link; }
    const CBootLink& Link() const { return m_link; }
    // 1 from Flash Firmware until the sequence verifies, a step goes unanswered or the file
    // is gone after the erase; a failed verification leaves it set.
    uint8_t Flashing() const { return m_flashing; }
    // 1 from the bootloader's answer to Connect until Disconnect.
    uint8_t Connected() const { return m_connected; }
    // The whole status log, lines ending in "\r\n".
    const std::string& LogText() const { return m_logText; }
    // The address and port boxes as the last exchange read them: the address in host order,
    // the port as typed (only its low 16 bits are used).
    uint32_t IpAddress() const { return m_ipAddress; }
    uint32_t Port() const { return m_port; }
    // What the address and port boxes show when the controls are set up; before DoModal.
    void SetStartTarget(const CStartTarget& start) { m_start = start; }

  protected:
    // The link's Open; a seam for the socket failures a healthy system never shows.
    virtual bool OpenLink(uint16_t port, uint32_t address) { return m_link.Open(port, address); }

  private:
    // True when the open file can be programmed; otherwise logs why not.
    bool FirmwareReadyToFlash();
    // The verify step's end: success only for an unchanged file whose image holds data.
    void CompareVerifyReply(uint32_t length, uint16_t deviceCrc);
    // What both notification handlers do last.
    void DisableFileButtonsUnlessConnected();
    // The exchange to the controls other than the log box.
    void WriteAddressAndPort();
    // Closing mid-flash leaves the unit erased: only the user's Yes lets it happen.
    bool CloseConfirmed();

    // The worker posts here; it outlives m_link, which stops the worker as it goes.
    CBootMessageQueue m_notify;

    int m_hIcon = 0;
    CBootLink m_link;
    uint8_t m_flashing = 0;
    uint8_t m_connected = 0;
    std::string m_logText;
    uint32_t m_ipAddress = 0;
    uint32_t m_port = 0;
    CStartTarget m_start = DefaultStartTarget();

    IDialogWindow& m_window;
    uint32_t m_savedControls = 0;
    // Lines in m_logText, kept so that a long log is trimmed without counting it again.
    size_t m_logLines = 0;
    // The flash step whose reply the sequence waits for (CMD_RESET_DEFAULTS, CMD_ERASE,
    // CMD_PROGRAM or CMD_VERIFY); 0 when none is. Only that reply advances the sequence.
    uint8_t m_awaiting = 0;
    EOutcome m_outcome = EOutcome::kNone;
    uint8_t m_failedStep = 0;
    std::string m_versionLine;
    uint16_t m_programTries = kProgramTiming.tries;
    int m_sendError = 0;
    // The close question is up, waiting for the user's answer.
    bool m_closeQuestionOpen = false;
};
