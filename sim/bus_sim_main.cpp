// The QLBus simulator as a program: modules behind a gauge on a pseudo-terminal.
//
//   bus_sim --link PATH [--module NAME,HW,SW,SERIAL[,boot]]... [--pace] [--fault FAULT]... [--log]
//
// --link PATH   a symbolic link to the line is put there (a Wine prefix's dosdevices/com5, say)
// --module      one module, in answer order: name (up to 8 characters), hardware and software
//               version bytes (0x23 is V2.3), serial number; "boot" for bootloader mode
// --pace        echoes and answers leave at the line rate (11 bits a byte)
// --fault       noack[:MODULE]  wrongnumberack[:MODULE]  wrongack[:MODULE[:TIMES]]
//               truncated[:MODULE[:TIMES]]  neverquiet  hangup[:BYTES]   (MODULE counts from 0)
// --log         prints every byte on the line: time in ms, direction (> from the PC), byte,
//               line settings
//
// Prints "ready" once the link is in place and runs until it is killed.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "bus_sim.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
  g_stop = 1;
}

int Usage(const char* problem) {
  std::fprintf(stderr,
               "bus_sim: %s\nusage: bus_sim --link PATH [--module NAME,HW,SW,SERIAL[,boot]]... "
               "[--pace] [--fault FAULT]... [--log]\n",
               problem);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace s470::sim;
  std::string link;
  std::vector<SimModule> modules;
  std::vector<BusFault> faults;
  bool pace = false, log = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--link" && hasValue) {
      link = argv[++i];
    } else if (arg == "--module" && hasValue) {
      SimModule m;
      if (!ParseSimModule(argv[++i], &m))
        return Usage(("bad module: " + std::string(argv[i])).c_str());
      modules.push_back(m);
    } else if (arg == "--fault" && hasValue) {
      BusFault f;
      if (!ParseBusFault(argv[++i], &f))
        return Usage(("bad fault: " + std::string(argv[i])).c_str());
      faults.push_back(f);
    } else if (arg == "--pace") {
      pace = true;
    } else if (arg == "--log") {
      log = true;
    } else {
      return Usage(("unknown argument: " + arg).c_str());
    }
  }
  if (link.empty()) return Usage("--link PATH is needed");

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  try {
    SimLine line(link);
    BusSim sim(line);
    for (const SimModule& m : modules) sim.AddModule(m);
    for (const BusFault& f : faults) sim.AddFault(f);
    sim.SetPacing(pace);
    sim.Start();
    std::printf("ready\n");
    std::fflush(stdout);
    ShowLogUntilStopped(line, log, g_stop);
    sim.Stop();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bus_sim: %s\n", e.what());
    return 1;
  }
  return 0;
}
