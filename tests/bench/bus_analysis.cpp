// Time of a whole bus analysis against the simulator pacing at the line rate (11 bits a byte),
// for 1, 8 and 90 modules, against its floor.
//
// Floor: the line time of every byte on the 115200-baud line that the analysis waits for (each
// byte sent together with its echo, and every answer byte of a module), plus the waits the
// protocol itself holds: 5 ms before each identify, 10 ms between DTR and RTS at each of the
// four closes, and the time-outs that have to run out: the drain after the start byte 0x81
// (100 ms), the drain when the module phase opens (50 ms), the last identify that nobody
// acknowledges (100 ms) and the drain after the closing 0x81 (100 ms). The three gauge bytes at
// 4800 baud are not waited for and not counted.
//
// "tick floor" counts the three drains as the 50 ms tick clock ends them: each starts right
// after the port's tick thread gave its first tick, so a quiet time of t ms ends at the
// (t / 50 + 1)-th tick: 150, 100 and 150 ms.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/bus_analysis.h"
#include "analysis/report_file.h"
#include "bus_sim.h"

namespace {

using s470::sim::BusSim;
using s470::sim::SimLine;

constexpr double kByteMs = 11.0 * 1000.0 / 115200.0;

struct Figures {
  double ms;
  double floorMs;
  double tickFloorMs;
  double cycleMs;  // one module of the scan: from one identify's 0x00 to the next one's (median)
};

Figures AnalyseOnce(int modules) {
  SimLine line;
  setenv("S470_COM5", line.slavePath().c_str(), 1);
  BusSim sim(line);
  for (int i = 0; i < modules; ++i)
    sim.AddModule({"M" + std::to_string(i), 0x10, 0x23, static_cast<uint32_t>(4711 + i)});
  sim.SetPacing(true);
  sim.Start();
  const auto start = std::chrono::steady_clock::now();
  s470::RunBusAnalysis(nullptr, 5);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  sim.Stop();
  s470::TakeNotepadCalls();

  // Every byte the PC sends at 115200 baud is echoed; what comes back is the line's busy time.
  size_t lineBytes = 0;
  std::vector<double> identifies;  // when each identify's 0x00 left the PC
  const std::vector<s470::sim::LogEntry> log = line.Log();
  const s470::sim::LogEntry* previous = nullptr;
  for (const auto& e : log) {
    if (e.direction == '<' && e.line.baud == 115200) ++lineBytes;
    if (e.direction != '>') continue;
    if (previous != nullptr && previous->byte == 0x00 && e.byte == 0x02) identifies.push_back(previous->ms);
    previous = &e;
  }
  const double fixed = 5.0 * sim.IdentifyCount() + 4 * 10.0 + lineBytes * kByteMs;
  // The typical module: the median cycle, so that a moment the simulator's thread lost its core
  // to other work on the machine does not count.
  std::vector<double> cycles;
  for (size_t i = 1; i < identifies.size(); ++i) cycles.push_back(identifies[i] - identifies[i - 1]);
  std::sort(cycles.begin(), cycles.end());
  const double cycle = cycles.empty() ? 0 : cycles[cycles.size() / 2];
  return {ms, fixed + 100 + 50 + 100 + 100, fixed + 150 + 100 + 100 + 150, cycle};
}

}  // namespace

int main() {
  char dir[] = "/tmp/s470-bus-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr || chdir(dir) != 0) return 1;  // "Analysis.txt" lands here
  // One module: 5 ms, the echoes of 0x00, 0x02 0xFD and the numbering pair, the acknowledgement
  // and the 48-byte identity block, the numbering acknowledgement: 55 bytes on the line.
  const double floorEach = 5.0 + 55 * kByteMs;
  std::printf("bus analysis, simulator pacing at 115200 baud (median of 5 runs)\n");
  std::printf("%8s %10s %10s %7s %12s %7s %12s %7s\n", "modules", "time ms", "floor ms", "ratio",
              "tick floor", "ratio", "ms a module", "ratio");
  const int sizes[] = {1, 8, 90};
  for (int modules : sizes) {
    std::vector<Figures> runs;
    for (int r = 0; r < 5; ++r) runs.push_back(AnalyseOnce(modules));
    std::sort(runs.begin(), runs.end(), [](const Figures& a, const Figures& b) { return a.ms < b.ms; });
    const Figures& f = runs[runs.size() / 2];
    std::printf("%8d %10.1f %10.1f %7.3f %12.1f %7.3f %12.2f %7.3f\n", modules, f.ms, f.floorMs,
                f.ms / f.floorMs, f.tickFloorMs, f.ms / f.tickFloorMs, f.cycleMs,
                f.cycleMs / floorEach);
  }
  std::printf("floor of one module: %.2f ms\n", floorEach);
  if (std::system(("rm -rf '" + std::string(dir) + "'").c_str()) != 0) return 1;
  return 0;
}
