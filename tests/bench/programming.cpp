// Time of a whole programming run on the direct path (processor type 12, module choice 1, half
// the user cells different from the file) against the bootloader simulator pacing at the line
// rate, against its floor.
//
// Floor: the wire time of every byte (11 bits each): on the 115200-baud line a byte from the PC
// and its echo are the same time on the wire, so the line's busy time is what comes back (echoes
// and answers); the five bytes at 4800 baud are added. Then the module's stated answer times
// (the erase, each block written) and the waits the protocol holds: 100 ms between the two 0x8D,
// the drains of 100, 100, 50 and 50 ms, 10 ms between DTR and RTS at each of the three closes,
// and the 5000 ms after the reset. "tick floor" counts the drains as the 50 ms tick clock ends
// them when it starts right after a tick: a quiet time of t ms ends at the (t / 50 + 1)-th tick.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "boot_sim.h"
#include "programming/bootloader.h"
#include "programming/firmware_file.h"
#include "programming/programming_run.h"
#include "serial/serial_device.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

struct TimedView final : s470::ProgrammingView {
  double waitedMs = 0;
  void ShowStatus(const std::string& text) override {
    if (text == "10" || text == " Programming -> 0" || text == " Verifying " ||
        text == "11001111" || text == " Programme user setup data - Cell 510" || text == " RESET")
      marks.push_back({text, Ms(Clock::now() - made)});
  }
  struct Mark {
    std::string text;
    double ms;
  };
  std::vector<Mark> marks;
  Clock::time_point made = Clock::now();
  void ShowPortFailure(const std::string&) override {}
  void ShowIdentification(const std::string& text) override { identification = text; }
  std::string ReadIdentification() override { return identification; }
  void Beep() override {}
  void PumpMessages() override {}
  void Wait(uint32_t ms) override {
    const auto start = Clock::now();
    s470::SleepMs(ms);
    waitedMs += Ms(Clock::now() - start);
  }
  std::string identification;
};

// "S470.bin": the cells 0x510..0x7FF (every second as the module holds them) and sectors 2 to 7.
void PutFirmware(uint8_t cellFill) {
  std::string hex;
  for (int a = 0x500; a < 0x2000; a += 16) {
    char text[64];
    uint8_t sum = static_cast<uint8_t>(16 + (a >> 8) + (a & 0xFF));
    std::snprintf(text, sizeof text, ":10%04X00", a);
    hex += text;
    for (int i = 0; i < 16; ++i) {
      const int at = a + i;
      const uint8_t b = at < 0x800 ? (at % 2 == 0 ? cellFill : static_cast<uint8_t>(at * 3 + 1))
                                   : static_cast<uint8_t>(at * 13);
      std::snprintf(text, sizeof text, "%02X", b);
      hex += text;
      sum = static_cast<uint8_t>(sum + b);
    }
    std::snprintf(text, sizeof text, "%02X\r\n", static_cast<uint8_t>(-sum));
    hex += text;
  }
  hex += ":00000001FF\r\n";
  std::vector<uint8_t> bytes(hex.begin(), hex.end());
  s470::ScrambleFirmwareBytes(bytes.data(), bytes.size());
  FILE* f = std::fopen("S470.bin", "wb");
  if (f == nullptr) std::exit(1);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

struct Figures {
  double ms, waitedMs, floorMs, tickFloorMs;
  bool programmed;
};

Figures RunOnce() {
  s470::sim::SimLine line;
  setenv("S470_COM4", line.slavePath().c_str(), 1);
  s470::sim::BootModule module;
  module.cellFill = 0x5C;
  PutFirmware(module.cellFill);
  s470::sim::BootSim sim(line, module);
  sim.SetPacing(true);
  sim.Start();
  TimedView view;
  const auto start = Clock::now();
  const auto result = s470::RunProgramming({4, 1, 0}, view);
  const double ms = Ms(Clock::now() - start);
  sim.Stop();
  if (getenv("S470_BENCH_PHASES") != nullptr)
    for (const auto& m : view.marks) std::printf("  %8.1f ms  %s\n", m.ms, m.text.c_str());

  double wire = 0;
  for (const auto& e : line.Log()) {
    if (e.direction == '<' && e.line.baud != 0) wire += 11000.0 / e.line.baud;
    if (e.direction == '>' && e.line.baud == 4800) wire += 11000.0 / 4800;
  }
  s470::FlashGeometry g;
  s470::GeometryOf(12, &g);
  const double answers = s470::sim::kEraseMs + g.Blocks() * s470::sim::kBlockWriteMs;
  const double fixed = wire + answers + 100 + 3 * 10 + 5000;
  return {ms, view.waitedMs, fixed + 100 + 100 + 50 + 50, fixed + 150 + 150 + 100 + 100,
          result == s470::ProgrammingResult::kProgrammed};
}

}  // namespace

int main() {
  char dir[] = "/tmp/s470-programming-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr || chdir(dir) != 0) return 1;
  std::printf(
      "programming run, direct path, processor type 12, module choice 1, half the cells\n"
      "different; simulator pacing at 115200 baud (median of 3 runs)\n");
  std::vector<Figures> runs;
  for (int r = 0; r < 3; ++r) runs.push_back(RunOnce());
  std::sort(runs.begin(), runs.end(),
            [](const Figures& a, const Figures& b) { return a.ms < b.ms; });
  const Figures& f = runs[1];
  std::printf("%-26s %10s %10s %7s %12s %7s\n", "", "time ms", "floor ms", "ratio", "tick floor",
              "ratio");
  std::printf("%-26s %10.1f %10.1f %7.3f %12.1f %7.3f\n", "whole run", f.ms, f.floorMs,
              f.ms / f.floorMs, f.tickFloorMs, f.ms / f.tickFloorMs);
  const double ms = f.ms - f.waitedMs;
  std::printf("%-26s %10.1f %10.1f %7.3f %12.1f %7.3f\n", "without the 5000 ms wait", ms,
              f.floorMs - 5000, ms / (f.floorMs - 5000), f.tickFloorMs - 5000,
              ms / (f.tickFloorMs - 5000));
  for (const Figures& r : runs)
    if (!r.programmed) std::printf("a run FAILED\n");
  if (std::system(("rm -rf '" + std::string(dir) + "'").c_str()) != 0) return 1;
  return 0;
}
