// gauge_sim: a simulated R470/S470 gauge on a pseudo-terminal, for the host program under Wine.
//
//   gauge_sim --link PATH [--memory FILE] [--id TEXT] [--pace] [--verbose] [--fault F]...
//
//   --link PATH    where the symbolic link to the line goes (a Wine prefix's dosdevices/com2)
//   --memory FILE  768-byte setup memory: loaded at start (made zeroed when missing), saved
//                  after every completed write
//   --id TEXT      identification line (default "R/S470-ae1")
//   --pace         send and take bytes at the line rate (11 bits a byte at 4800 baud)
//   --verbose      every byte on standard error: time, direction, byte, line settings
//   --fault F      silent | wake-on:N | noise:HEX | no-cr | checksum:K | refuse:K |
//                  slow:K:MS | hangup:K | chatter:start|echo|handshake|id[:MS] | sessions:N
//                  (K is a block 1..48; noise:55aa sends those bytes before the echo;
//                  sessions:N limits the faults to the first N handshakes)
//
// Prints "ready" on standard output once the link is there; runs until killed (SIGINT or
// SIGTERM remove the link). After a hang-up the line is linked afresh.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "gauge_sim.h"

using namespace s470::sim;

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

[[noreturn]] void Usage(const std::string& why) {
  std::fprintf(stderr, "gauge_sim: %s\n", why.c_str());
  std::fprintf(stderr,
               "usage: gauge_sim --link PATH [--memory FILE] [--id TEXT] [--pace] [--verbose] "
               "[--fault F]...\n");
  std::exit(2);
}

int Number(const std::string& text, const std::string& fault) {
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != 0 || n < 0 || n > 1000000) Usage("bad number in --fault " + fault);
  return static_cast<int>(n);
}

int Block(const std::string& text, const std::string& fault) {
  const int k = Number(text, fault);
  if (k < 1 || k > 48) Usage("block out of 1..48 in --fault " + fault);
  return k;
}

void AddFault(GaugeFaults& f, const std::string& option) {
  const size_t colon = option.find(':');
  const std::string name = option.substr(0, colon);
  const std::string arg = colon == std::string::npos ? "" : option.substr(colon + 1);
  if (name == "silent") {
    f.silent = true;
  } else if (name == "wake-on") {
    f.wakeOnPair = Number(arg, option);
  } else if (name == "noise") {
    if (arg.empty() || arg.size() % 2 != 0) Usage("noise needs hex bytes: " + option);
    for (size_t i = 0; i < arg.size(); i += 2) {
      char* end = nullptr;
      const std::string two = arg.substr(i, 2);
      const long b = std::strtol(two.c_str(), &end, 16);
      if (*end != 0) Usage("bad hex in --fault " + option);
      f.beforeEcho.push_back(static_cast<uint8_t>(b));
    }
  } else if (name == "no-cr") {
    f.identificationWithoutCr = true;
  } else if (name == "checksum") {
    f.badChecksumBlock = Block(arg, option);
  } else if (name == "refuse") {
    f.refuseBlock = Block(arg, option);
  } else if (name == "slow") {
    const size_t c = arg.find(':');
    if (c == std::string::npos) Usage("slow needs K:MS: " + option);
    f.slowBlock = Block(arg.substr(0, c), option);
    f.slowMs = Number(arg.substr(c + 1), option);
  } else if (name == "hangup") {
    f.hangUpBlock = Block(arg, option);
  } else if (name == "chatter") {
    const size_t c = arg.find(':');
    const std::string when = arg.substr(0, c);
    if (c != std::string::npos) f.chatterMs = Number(arg.substr(c + 1), option);
    if (when == "start") f.chatter = Chatter::kFromStart;
    else if (when == "echo") f.chatter = Chatter::kInsteadOfEcho;
    else if (when == "handshake") f.chatter = Chatter::kAfterHandshake;
    else if (when == "id") f.chatter = Chatter::kEndlessIdentification;
    else Usage("chatter needs start, echo, handshake or id: " + option);
  } else if (name == "sessions") {
    f.sessions = Number(arg, option);
  } else {
    Usage("unknown fault " + option);
  }
}

}  // namespace

int main(int argc, char** argv) {
  GaugeConfig config;
  std::string link, memoryFile;
  bool verbose = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(a + " needs a value");
      return argv[++i];
    };
    if (a == "--link") link = value();
    else if (a == "--memory") memoryFile = value();
    else if (a == "--id") config.identification = value();
    else if (a == "--pace") config.pace = true;
    else if (a == "--verbose") verbose = true;
    else if (a == "--fault") AddFault(config.faults, value());
    else Usage("unknown option " + a);
  }
  if (link.empty()) Usage("--link is required");

  GaugeSim sim(config);
  if (!memoryFile.empty() && !sim.UseMemoryFile(memoryFile))
    Usage("memory file " + memoryFile + " must hold exactly 768 bytes");

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  try {
    GaugeSimRunner runner(sim, link);
    std::printf("ready\n");
    std::fflush(stdout);
    size_t shown = 0;
    while (g_stop == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (!verbose) continue;
      const std::vector<LogEntry> log = runner.Log();
      for (; shown < log.size(); ++shown) {
        const LogEntry& e = log[shown];
        std::fprintf(stderr, "%10.3f %c %02X  %s\n", e.ms, e.direction, e.byte,
                     e.line.ToString().c_str());
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gauge_sim: %s\n", e.what());
    return 1;
  }
  const GaugeStats stats = sim.Stats();
  std::fprintf(stderr, "gauge_sim: %d handshakes, %d reads, %d writes, %zu violations\n",
               stats.handshakes, stats.readsEnded, stats.writesCompleted, stats.violations.size());
  for (const std::string& v : stats.violations) std::fprintf(stderr, "  %s\n", v.c_str());
  return 0;
}
