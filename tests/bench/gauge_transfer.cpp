// Setup transfer against the simulated gauge sending and taking bytes at the line rate
// (4800 baud, 11 bits a byte): measured time against the floor, natively (POSIX device,
// in-process) and, when the win32 build is there, through host.exe and the i686 DLL under Wine.
//
// Floor = every byte on the wire in either direction × 11 / 4800 s + the waits the protocol
// itself requires: 300 ms of silence when the port is opened, 100 ms between the two 0x8D,
// 300 ms of silence after them, 100 ms after the lead-in, 1000 ms showing "o.k.". The read ends
// its identification line on the CR, so it has no further silence to wait for. A few bytes
// (the second 0x8D, the lead-in, the end command) travel during a pause on a real line, so the
// floor counts them once too often: about 16 ms.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../unit/fake_lang.h"
#include "gauge_sim.h"
#include "lang/text16.h"
#include "lang/text_lookup.h"
#include "recording_progress_view.h"
#include "slots/file_slots.h"
#include "transfer/gauge_transfer.h"

namespace {

using namespace s470;
using Clock = std::chrono::steady_clock;

constexpr double kByteMs = 11000.0 / 4800;
constexpr double kWaitsMs = 300 + 100 + 300 + 100 + 1000;
constexpr int kRounds = 3;

double MsSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double FloorMs(size_t bytesOnTheWire) { return kWaitsMs + bytesOnTheWire * kByteMs; }

void Report(const char* what, std::vector<double> ms, double floor) {
  std::sort(ms.begin(), ms.end());
  const double median = ms[ms.size() / 2];
  std::printf("%-34s floor %7.1f ms  measured min %7.1f  median %7.1f  max %7.1f ms  "
              "median/floor %.4f\n",
              what, floor, ms.front(), median, ms.back(), median / floor);
}

std::string TempDir() {
  char pattern[] = "/tmp/s470-bench-XXXXXX";
  const char* made = mkdtemp(pattern);
  return made != nullptr ? made : "/tmp";
}

sim::GaugeMemory Pattern() {
  sim::GaugeMemory m{};
  for (size_t i = 0; i < m.size(); ++i) m[i] = static_cast<uint8_t>(i * 29 + 3);
  return m;
}

void Native(const std::string& dir) {
  FakeLang lang;
  lang.texts = {{1000, u"Read setup from the ORV S470 gauge"}, {1001, u"Write setup to the ORV S470 gauge"},
                {1002, u"Connection"}, {1003, u"Transferred: "}, {1004, u"No connection"},
                {1005, u"Not accepted"}};
  SetBrand(0);
  const std::string setup = dir + "/bench.s47";
  if (OpenFileSlot(0, FromUtf8(setup).c_str(), kSetupFileSize) != 0) {
    std::printf("native: cannot open %s\n", setup.c_str());
    return;
  }
  sim::GaugeConfig config;
  config.pace = true;
  sim::GaugeSim gauge(config);
  gauge.SetMemory(Pattern());
  const std::string link = dir + "/com7";
  sim::GaugeSimRunner runner(gauge, link);
  setenv("S470_COM7", link.c_str(), 1);

  std::vector<double> reads, writes;
  bool ok = true;
  for (int r = 0; r < kRounds; ++r) {
    RecordingProgressView readView, writeView;
    auto t0 = Clock::now();
    ok &= ReadSetupFromGauge(nullptr, 7, readView) == 0;
    reads.push_back(MsSince(t0));
    t0 = Clock::now();
    ok &= WriteSetupToGauge(nullptr, 7, writeView) == 0;
    writes.push_back(MsSince(t0));
  }
  CloseFileSlot(0);
  const size_t id = config.identification.size() + 1;
  const size_t readBytes = 13 + 1 + id + 816;   // host: 2+1+1+2+3+2+2; gauge: echo, line, blocks
  const size_t writeBytes = 827 + 49;           // host: 2+1+1+3+2+816+2; gauge: echo, 48 acks
  if (!ok || !gauge.Stats().violations.empty()) std::printf("native: a transfer FAILED\n");
  Report("native read (POSIX device)", reads, FloorMs(readBytes));
  Report("native write (POSIX device)", writes, FloorMs(writeBytes));
}

// host.exe (the i686 product) under Wine: the time between the host's result lines of
// consecutive commands.
void UnderWine(const std::string& dir) {
  const std::string bin = S470_WIN32_BIN;
  struct stat st {};
  if (stat((bin + "/host.exe").c_str(), &st) != 0) {
    std::printf("wine: no win32 build at %s, skipped\n", bin.c_str());
    return;
  }
  const std::string prefix = bin + "/../wineprefix";
  const std::string run = "cd '" + dir + "' && '" + std::string(S470_SOURCE_DIR) +
                          "/cmake/wine-run.sh' '" + prefix + "' '" + bin + "/host.exe' ";
  // Makes the prefix and warms the server before the gauge's link goes in.
  if (std::system((run + "get 0 >/dev/null 2>&1 </dev/null").c_str()) != 0) {
  }
  sim::GaugeConfig config;
  config.pace = true;
  sim::GaugeSim gauge(config);
  gauge.SetMemory(Pattern());
  sim::GaugeSimRunner runner(gauge, prefix + "/dosdevices/com4");

  std::string commands = "open bench.s47";
  for (int r = 0; r < kRounds; ++r) commands += " read 4 1 write 4 1";
  commands += " close";
  FILE* pipe = popen((run + commands + " 2>/dev/null </dev/null").c_str(), "r");
  if (pipe == nullptr) return;
  std::vector<double> reads, writes;
  bool ok = true;
  Clock::time_point last{};
  char line[4096];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    const Clock::time_point now = Clock::now();
    const std::string text = line;
    if (text.rfind("open ->", 0) == 0) last = now;
    const bool read = text.rfind("read ->", 0) == 0, write = text.rfind("write ->", 0) == 0;
    if (!read && !write) continue;
    ok &= text.find("-> 0") != std::string::npos;
    (read ? reads : writes).push_back(std::chrono::duration<double, std::milli>(now - last).count());
    last = now;
  }
  pclose(pipe);
  if (reads.empty() || writes.empty()) {
    std::printf("wine: no results from host.exe\n");
    return;
  }
  if (!ok) std::printf("wine: a transfer FAILED\n");
  const size_t id = config.identification.size() + 1;
  Report("wine i686 read (host.exe, DLL)", reads, FloorMs(13 + 1 + id + 816));
  Report("wine i686 write (host.exe, DLL)", writes, FloorMs(827 + 49));
}

}  // namespace

int main() {
  const std::string dir = TempDir();
  std::printf("Gauge setup transfer at 4800 baud, gauge paced at the line rate, %d rounds\n", kRounds);
  Native(dir);
  UnderWine(dir);
  if (std::system(("rm -rf '" + dir + "'").c_str()) != 0) {
  }
  return 0;
}
