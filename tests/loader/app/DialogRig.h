// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>
#include <vector>

#include "QuillonDlg.h"
#include "RecordingWindow.h"
#include "UnitSim.h"

// A simulated unit on 127.0.0.1 with an ephemeral port.
CUnitSimConfig LoopbackUnit(const std::string& name = "", uint8_t major = 1, uint8_t minor = 4);

// The dialog through the recording layer against one simulated unit.
struct CDialogRig {
    explicit CDialogRig(CUnitSimConfig config = LoopbackUnit());

    // Types 127.0.0.1 and the unit's port, presses Connect and waits for the outcome.
    bool Connect(int timeoutMs = 3000);
    // Loads path through the chooser; true when the log says it loaded.
    bool Load(const std::string& path);
    bool WaitForLine(const std::string& line, int timeoutMs);
    bool HasLine(const std::string& line) const;
    std::vector<std::string> Lines() const;
    // The lines from the first occurrence of `from` on.
    std::vector<std::string> LinesFrom(const std::string& from) const;
    int RequestsFor(uint8_t command) const;
    // Presses Connect to disconnect and waits until the unit has the exit: every request sent
    // before it has arrived by then, so that counts taken after are final, with no clock.
    bool DisconnectAndWaitForTheExit(int timeoutMs = 5000);
    // The last `count` log lines (fewer if the log is shorter).
    std::vector<std::string> LastLines(size_t count) const;
    // A notification from the worker waits for the dialog.
    bool NotificationsWaiting() const;

    CUnitSim sim;
    CRecordingWindow window;
    CQuillonDlg dlg{window};
};

// A fresh path in the test program's temporary directory.
std::string TempPath(const std::string& suffix);
// The image range, CRC and line count of a file, computed by a hex file of its own.
struct CImageOf {
    explicit CImageOf(const std::string& path);
    uint32_t start = 0, length = 0;
    uint16_t crc = 0;
    int32_t lines = 0;
};

// A generated HEX file of totalBytes data bytes in 16-byte records at 0x1D000000.
std::string WriteFirmware(uint32_t totalBytes, uint32_t seed = 7);
std::string WriteText(const std::string& text);
// Writes text over the file in place, padded with line breaks to the file's size, and gives the
// file back its modification time: a change that the file's identity cannot show.
void RewriteUnseen(const std::string& path, std::string text);
// Sends one Frame with this body from a fresh loopback socket (bound to `from`, a 127.x
// address) to the dialog's link.
void SendFrameToLink(CQuillonDlg& dlg, const std::vector<uint8_t>& body,
                     const char* from = "127.0.0.1");
