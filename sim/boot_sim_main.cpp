// The bootloader simulator as a program: one module on a pseudo-terminal.
//
//   boot_sim --link PATH [--type 12|11] [--serial N] [--id1 TEXT] [--id2 TEXT] [--cells BYTE]
//            [--flash FILE] [--pace] [--fault FAULT]... [--log]
//
// --link PATH   a symbolic link to the line is put there (a Wine prefix's dosdevices/com4, say)
// --type        processor type (12: 8 KB flash, sectors 2-7 programmed; 11: sectors 4-30)
// --serial      serial number in the identity block
// --id1, --id2  first (4800 7E2) and second (4800 8N2) identification texts of the QLBus path
// --cells       content of the user cells of sector 1 before the first run
// --flash FILE  the flash is kept in FILE (read at the start when it has the flash's size)
// --pace        echoes and answers leave at the line rate (11 bits a byte)
// --fault       silent  lostecho:K  wrongecho:K  writeerror:K[:CODE]  eraseerror[:CODE]
//               readbackdiffers[:TIMES]  readbackshort[:TIMES]  unknowntype[:TYPE]  noserial
//               stuckcell:ADDR  cellrefused:ADDR
// --log         prints every byte on the line: time in ms, direction (> from the PC), byte,
//               line settings
//
// Prints "ready" once the link is in place and runs until it is killed; at the end it prints
// "resets N".
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "boot_sim.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
  g_stop = 1;
}

int Usage(const std::string& problem) {
  std::fprintf(stderr,
               "boot_sim: %s\nusage: boot_sim --link PATH [--type 12|11] [--serial N] [--id1 TEXT] "
               "[--id2 TEXT] [--cells BYTE] [--flash FILE] [--pace] [--fault FAULT]... [--log]\n",
               problem.c_str());
  return 2;
}

bool Number(const char* text, unsigned long max, unsigned long* value) {
  char* end = nullptr;
  *value = std::strtoul(text, &end, 0);
  return *text != '\0' && *text != '-' && *end == '\0' && *value <= max;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace s470::sim;
  std::string link, flash;
  BootModule module;
  std::vector<BootFault> faults;
  bool pace = false, log = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    unsigned long v = 0;
    if (arg == "--link" && hasValue) {
      link = argv[++i];
    } else if (arg == "--type" && hasValue) {
      if (!Number(argv[++i], 255, &v) || (v != 11 && v != 12)) return Usage("--type is 12 or 11");
      module.processorType = static_cast<int>(v);
    } else if (arg == "--serial" && hasValue) {
      if (!Number(argv[++i], 0xFFFFFFFFul, &v)) return Usage("bad serial number");
      module.serial = static_cast<uint32_t>(v);
    } else if (arg == "--id1" && hasValue) {
      module.firstIdentification = argv[++i];
    } else if (arg == "--id2" && hasValue) {
      module.secondIdentification = argv[++i];
    } else if (arg == "--cells" && hasValue) {
      if (!Number(argv[++i], 255, &v)) return Usage("bad cell byte");
      module.cellFill = static_cast<uint8_t>(v);
    } else if (arg == "--flash" && hasValue) {
      flash = argv[++i];
    } else if (arg == "--fault" && hasValue) {
      BootFault f;
      if (!ParseBootFault(argv[++i], &f)) return Usage(std::string("bad fault: ") + argv[i]);
      faults.push_back(f);
    } else if (arg == "--pace") {
      pace = true;
    } else if (arg == "--log") {
      log = true;
    } else {
      return Usage("unknown argument: " + arg);
    }
  }
  if (link.empty()) return Usage("--link PATH is needed");

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  try {
    SimLine line(link);
    BootSim sim(line, module);
    for (const BootFault& f : faults) sim.AddFault(f);
    if (!flash.empty()) sim.KeepFlashIn(flash);
    sim.SetPacing(pace);
    sim.Start();
    std::printf("ready\n");
    std::fflush(stdout);
    ShowLogUntilStopped(line, log, g_stop);
    sim.Stop();
    std::printf("resets %d\n", sim.Resets());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "boot_sim: %s\n", e.what());
    return 1;
  }
  return 0;
}
