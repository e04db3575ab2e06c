#include "analysis/bus_analysis.h"

#include "analysis/report_file.h"
#include "api/window_work.h"
#include "lang/fixed_message.h"
#include "lang/text16.h"
#include "lang/text_lookup.h"
#include "serial/bus_ops.h"
#include "serial/bus_port.h"

namespace s470 {

namespace {

constexpr char kSeparator[] = "  /  ";

void ShowPortFailure(Window owner) { ShowTextBox(owner, kPortFailureText, nullptr, kStopIcon); }

bool OpenModuleLine(int16_t port, uint16_t parityMode) {
  return OpenBusPort(port, 115200, parityMode, 8, 2, 1, 1) == 0;
}

}  // namespace

BusModule ModuleFromIdentity(const uint8_t* block) {
  BusModule m;
  for (int i = 0; i < 8 && block[24 + i] != 0; ++i) m.name[i] = static_cast<char>(block[24 + i]);
  m.hardware = block[32];
  m.software = block[33];
  m.serial = static_cast<uint32_t>(block[36]) << 24 | static_cast<uint32_t>(block[37]) << 16 |
             static_cast<uint32_t>(block[38]) << 8 | block[39];
  return m;
}

std::string VersionText(uint8_t version) {
  return {static_cast<char>('0' + (version >> 4)), '.', static_cast<char>('0' + (version & 0x0F))};
}

std::string SerialText(uint32_t serial) {
  const std::string digits = std::to_string(serial);
  return digits.size() < 8 ? std::string(8 - digits.size(), '0') + digits : digits;
}

std::string ReportLine(const BusModule& module) {
  return std::string(module.name) + kSeparator + "Hardware = V" + VersionText(module.hardware) +
         kSeparator + "Software = V" + VersionText(module.software) + kSeparator + "Ser.Nr. = " +
         SerialText(module.serial) + "\r\n";
}

std::string AnalysisReport(const ModuleTable& table) {
  if (table.count == 0) return "No modules found";
  std::string report;
  for (int i = 0; i < table.count; ++i) report += ReportLine(table.modules[i]);
  return report;
}

ScanResult ScanModules(Window owner, int16_t port, ModuleTable* table) {
  table->count = 0;
  table->echoed = false;
  // The table holds 90 modules; a 91st is left unnumbered and out of the report.
  for (int n = 0; n < kMaxBusModules; ++n) {
    bool numbered = false;
    for (int attempt = 0; attempt < kScanAttempts && !numbered; ++attempt) {
      SleepMs(5);
      // 0x00 (with the line's mark parity) calls the modules to attention; the identify
      // command is answered by the first module that has no number yet. A missing module shows
      // up as a missing acknowledgement, so the echo checks are not looked at.
      const uint8_t attention = 0x00;
      BusSendEcho(port, &attention, 1, 0);
      const uint8_t identify[] = {0x02, 0xFD};
      if (BusSendEcho(port, identify, sizeof identify, 0) == 0) table->echoed = true;
      uint8_t ack[2];
      if (BusTransact(port, 1, 0, 100, ack, sizeof ack) != 0) return ScanResult::kDone;
      if (ack[0] != 0x00) {
        BusDrain(port, 100);
        continue;
      }
      uint8_t block[kIdentityBlockSize + 1];
      if (BusTransact(port, 24, 0, 300, block, 25) != 0) {
        BusDrain(port, 100);
        continue;
      }
      if (block[0] != 0x02) {
        ShowFixedMessage(owner, kBootloaderMessage, nullptr, kStopIcon);
        BusDrain(port, 100);
        continue;
      }
      if (BusTransact(port, 24, 0, 300, block + 24, 25) != 0) {
        BusDrain(port, 100);
        continue;
      }
      table->modules[n] = ModuleFromIdentity(block);
      // Numbering: the module that has just answered takes number n and answers identify no more.
      const uint8_t command = static_cast<uint8_t>(0x40 + n);
      const uint8_t numbering[] = {command, static_cast<uint8_t>(~command)};
      BusSendEcho(port, numbering, sizeof numbering, 0);
      if (BusTransact(port, 1, 0, 100, ack, sizeof ack) != 0 || ack[0] != 0x00)
        return ScanResult::kFailed;
      table->count = n + 1;
      numbered = true;
    }
    if (!numbered) return ScanResult::kFailed;
  }
  return ScanResult::kDone;
}

bool AnalyseBus(Window owner, int16_t port, ModuleTable* table) {
  table->count = 0;
  if (BusStartSequence(port) != 0 || !OpenModuleLine(port, 4)) return false;
  BusDrain(port, 50);
  if (ScanModules(owner, port, table) != ScanResult::kDone) return false;
  CloseBusPort(port);

  // The closing 0x81 after a fresh wake byte.
  if (!OpenModuleLine(port, kParityWake)) return false;
  const uint8_t end = 0x81;
  BusSendEcho(port, &end, 1, 1);
  BusDrain(port, 100);
  CloseBusPort(port);
  return true;
}

void RunBusAnalysis(Window owner, int16_t port) {
  ModuleTable table;
  if (!AnalyseBus(owner, port, &table)) {
    // Text 1004 while the port is still held, then the port closed.
    ShowPortFailure(owner);
    CloseBusPort(port);
    return;
  }
  if (!WriteReportFile(kReportFileName, AnalysisReport(table))) {
    ShowFixedMessage(owner, kFileAccessMessage, nullptr, kStopIcon);
    return;
  }
  StartNotepad(kNotepadCommand);
  ShowTextBox(owner, kAnalysisDoneText, "Attention", kInformationIcon);
}

void AnalysisWork(Window parent, int16_t port) { RunBusAnalysis(parent, port); }

}  // namespace s470
