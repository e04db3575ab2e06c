// analyse: the DLL's bus analysis; the report lines on standard output (or one JSON document),
// and the report file only when asked for.
#include <nlohmann/json.hpp>

#include "analysis/bus_analysis.h"
#include "analysis/report_file.h"
#include "lang/fixed_message.h"
#include "serial/bus_port.h"
#include "tool.h"

namespace s470::tool {

namespace {

const Console* g_console = nullptr;

// The bootloader message of the scan, as a warning line.
void WarnOfMessage(const char* text, const char*, unsigned) {
  if (g_console != nullptr) g_console->Warning(text);
}

struct BusPortScope {
  int16_t port;
  ~BusPortScope() { CloseBusPort(port); }
};

std::string JsonReport(const ModuleTable& table) {
  nlohmann::json modules = nlohmann::json::array();
  for (int i = 0; i < table.count; ++i) {
    const BusModule& m = table.modules[i];
    modules.push_back({{"number", i},
                       {"name", m.name},
                       {"hardware", VersionText(m.hardware)},
                       {"software", VersionText(m.software)},
                       {"serial", m.serial}});
  }
  return nlohmann::json{{"modules", modules}}.dump(2);
}

}  // namespace

int AnalyseCommand(const Console& console, const std::string& portName, bool json,
                   const std::string& reportFile) {
  const int16_t port = PortNumber(portName);
  if (port >= kBusPortCount)
    throw Failure(kExitUsage, "the bus analysis runs on COM1 to COM" +
                                  std::to_string(kBusPortCount - 1) + ", not on " + portName);
  CheckPortOpens(port, portName);
  console.Line("Bus analysis on " + portName);

  g_console = &console;
  SetFixedMessageSink(&WarnOfMessage);
  ModuleTable table;
  bool done = false;
  {
    const BusPortScope scope{port};
    done = AnalyseBus(nullptr, port, &table);
  }
  SetFixedMessageSink(nullptr);
  if (!done) {
    const std::string found = table.count == 0   ? ""
                              : table.count == 1 ? " (1 module was numbered before the failure)"
                                                 : " (" + std::to_string(table.count) +
                                                       " modules were numbered before the failure)";
    throw Failure(kExitDevice, "analyse on " + portName + ": " + TextOf(kPortFailureText) + found);
  }

  if (!table.echoed)
    throw Failure(kExitDevice, "analyse on " + portName + ": the line did not echo; " +
                                   TextOf(kPortFailureText));

  const std::string report = AnalysisReport(table);
  if (!reportFile.empty() && !WriteReportFile(reportFile.c_str(), report))
    throw Failure(kExitUsage, "cannot write the report to " + reportFile +
                                  ": check the folder and its permissions");
  if (json) {
    console.out() << JsonReport(table) << '\n';
  } else {
    // The report's CR LF line ends become the terminal's own.
    std::string lines;
    for (const char c : report)
      if (c != '\r') lines += c;
    console.out() << lines << (table.count == 0 ? "\n" : "");
  }
  console.Line(std::to_string(table.count) + (table.count == 1 ? " module" : " modules") +
               " found");
  return kExitDone;
}

}  // namespace s470::tool
