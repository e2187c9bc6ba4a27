// SPDX-License-Identifier: Apache-2.0
#include "FlashRecording.h"

#include <cstdio>

#include "FirmwareFile.h"
#include "FlashText.h"
#include "HandRecord.h"
#include "Output.h"

CFlashRecording::CFlashRecording() = default;
CFlashRecording::~CFlashRecording() = default;

bool CFlashRecording::Open(const CFlashOptions& options, std::string& error) {
    CHandFirmware firmware;
    firmware.path = options.firmware;
    // A file that can't be read is refused by the flash's own check, with its own words.
    ReadImageIdentity(options.firmware, firmware.start, firmware.length, firmware.crc);
    m_defaultPort = options.port;
    m_record = std::make_unique<CHandRecord>();
    return m_record->Open(options.recordTarget, firmware, options.mac, error);
}

void CFlashRecording::Record(const CTarget& target, const CUnitResult& result) {
    CHandFlash flash;
    char address[16];
    std::snprintf(address, sizeof address, "%u.%u.%u.%u", target.address[0], target.address[1],
                  target.address[2], target.address[3]);
    flash.address = address;
    flash.port = target.port ? target.port : m_defaultPort;
    flash.ok = result.ok;
    flash.exit = result.exit;
    flash.message = result.message;
    flash.bytes = result.bytes;
    flash.attempts = result.attempts;
    flash.bootloader = result.version;
    flash.seconds = result.seconds;
    std::string error;
    if (m_record->Write(flash, error)) return;
    m_lost = true;
    SayOnStderr(FlashText::RecordNotWritten(target.text, error));
}

FUnitResultHook CFlashRecording::Hook() {
    return [this](const CTarget& target, const CUnitResult& result) { Record(target, result); };
}

int CFlashRecording::Status(int flashStatus) const {
    return flashStatus == kExitVerified && m_lost ? kExitRecordLost : flashStatus;
}
