// The bus analysis: finds the modules on the QLBus, numbers them, and writes their names,
// versions and serial numbers to "Analysis.txt", which is then opened in Notepad.
#pragma once

#include <cstdint>
#include <string>

#include "lang/lang_api.h"

namespace s470 {

constexpr int kMaxBusModules = 90;
constexpr int kIdentityBlockSize = 48;
constexpr int kScanAttempts = 5;
constexpr char kReportFileName[] = "Analysis.txt";
constexpr char kNotepadCommand[] = "notepad analysis.txt";
constexpr char kBootloaderMessage[] = "One QLBus module is in the QLB-bootloader mode";
constexpr char kFileAccessMessage[] = "File access error";
constexpr int32_t kPortFailureText = 1004;
constexpr int32_t kAnalysisDoneText = 1201;

struct BusModule {
  char name[9] = {};     // up to 8 characters, NUL-terminated
  uint8_t hardware = 0;  // high nibble main number, low nibble sub-number
  uint8_t software = 0;
  uint32_t serial = 0;
};

struct ModuleTable {
  BusModule modules[kMaxBusModules];
  int count = 0;
  // Whether the line ever echoed the identify command. The analysis goes on without (an empty
  // bus and a dead line both end in "No modules found"); the command-line tool tells them apart.
  bool echoed = false;
};

// Identity block: byte 0 is 0x02 while the module runs its application; the name at 24..31
// (ends at a zero byte when shorter), hardware version 32, software version 33, serial number
// 36..39 most significant byte first.
BusModule ModuleFromIdentity(const uint8_t* block);

// "1.2" for 0x12; a nibble above 9 gives the character that far after '0'.
std::string VersionText(uint8_t version);
// Decimal, at least 8 digits filled with '0' from the left; a longer number is written whole.
std::string SerialText(uint32_t serial);
// One line: name, versions and serial number, separated by "  /  ", ended by CR LF.
std::string ReportLine(const BusModule& module);
// The whole report; "No modules found" alone when the table is empty.
std::string AnalysisReport(const ModuleTable& table);

enum class ScanResult { kDone, kFailed };
// The scan on a port open at 115200 baud with mark parity: identify, take the identity block
// and number each module in turn until none answers or the table is full. kFailed when a module
// gave no valid identity in 5 attempts or its numbering was not acknowledged with 0x00.
ScanResult ScanModules(Window owner, int16_t port, ModuleTable* table);

// The bus work of the analysis: the bus start, the scan and the closing 0x81. true with the port
// closed; false when an open or the scan failed (nothing shown): the caller shows its failure and
// closes the port.
bool AnalyseBus(Window owner, int16_t port, ModuleTable* table);

// The work of RS470_Analysis: AnalyseBus, then the report file, Notepad and text 1201.
void RunBusAnalysis(Window owner, int16_t port);

}  // namespace s470
