// Reading the setup memory of an R470/S470 gauge into the setup image (slot 0) and writing it
// back, over the direct port at 4800 8N2.
//
// On the wire: the host wakes the gauge with 0xC9 0x8D until it echoes 0x8D, sends 0x8D, 100 ms,
// 0x8D and lets the gauge fall quiet; a second 0xC9 0x8D asks for the identification line (ends
// with CR). Then the lead-in 0x10 0x0D 0x13, 100 ms, and the read command 0xC2 '=' (48 blocks
// of 16 bytes to the host, each followed by its checksum) or the write command 0xC4 ';' (48
// blocks to the gauge, each answered 0x01 when accepted). 0xC1 '>' ends the exchange. A block's
// checksum is the complement of the 8-bit sum of its 16 bytes. The blocks carry setup
// addresses 256 to 1023; the module type taken from the identification line goes to 255.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "lang/lang_api.h"
#include "transfer/progress_view.h"

namespace s470 {

constexpr uint32_t kModuleTypeAddress = 255;
constexpr uint32_t kGaugeFirstAddress = 256;
constexpr uint32_t kGaugeEndAddress = 1024;
constexpr int kGaugeBlocks = 48;
constexpr int kGaugeBlockBytes = 16;
constexpr int kGaugeBytes = kGaugeBlocks * kGaugeBlockBytes;  // 768
constexpr int kWakeAttempts = 101;
constexpr size_t kIdentificationBufferSize = 10000;  // the NUL included
constexpr size_t kStatusLineSize = 100;              // wide characters, the NUL included

// Protocol bytes.
constexpr uint8_t kWakePair[] = {0xC9, 0x8D};
constexpr uint8_t kEchoByte = 0x8D;
constexpr uint8_t kLeadIn[] = {0x10, 0x0D, 0x13};
constexpr uint8_t kReadCommand[] = {0xC2, 0x3D};
constexpr uint8_t kWriteCommand[] = {0xC4, 0x3B};
constexpr uint8_t kEndCommand[] = {0xC1, 0x3E};
constexpr uint8_t kBlockAccepted = 0x01;

// Texts of the transfer.
constexpr int kTextReadTitle = 1000;
constexpr int kTextWriteTitle = 1001;
constexpr int kTextConnection = 1002;
constexpr int kTextTransferred = 1003;
constexpr int kTextNoConnection = 1004;
constexpr int kTextNotAccepted = 1005;

// The complement of the 8-bit sum of a block's 16 bytes.
uint8_t BlockChecksum(const uint8_t* block);

// The module type of an identification line (bytes already masked to 7 bits): 0 unless it
// begins with "R/S470-"; then the character at index 9 as a digit, 1 or 2, anything else 2.
uint8_t ModuleTypeFromIdentification(const std::string& line);

// text followed by tail, cut to fit the status line's 100 characters with its NUL.
std::u16string StatusLine(const std::u16string& text, const std::u16string& tail);

// The handshake on the open direct port: wake-up pairs until the echo, then 0x8D, 100 ms,
// 0x8D and silence. 0 awake; 1 no echo after 101 attempts, or a line that never fell quiet.
int16_t WakeGauge();

// Reads addresses 256 to 1023 and the module type into slot 0. The blocks are collected first
// and stored only when all 48 arrived with good checksums, so a failed read leaves slot 0 as
// it was. 0 read; 1 failed (text 1004 shown).
int16_t ReadSetupFromGauge(Window parent, int16_t port, ProgressView& view);

// Byte +66 of each channel record gets its default 0x80 where +65 and +66 are both 0.
void PrepareChannelRecords();

// Writes addresses 256 to 1023 of slot 0 into the gauge. 0 written; 1 failed (text 1004, or
// 1005 when the gauge refused a block).
int16_t WriteSetupToGauge(Window parent, int16_t port, ProgressView& view);

// The transfers and the setup editor need an open setup: without one a read would be thrown away
// and reported as done, a write would send zeros over the gauge's setup, and the editor would
// show an image that is not there. False (after telling the user) when no setup is open.
bool CheckSetupOpen(Window parent);

}  // namespace s470
