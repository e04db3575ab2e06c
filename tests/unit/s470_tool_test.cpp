// The s470 command-line tool, run in-process: what only the tool does (arguments, exit status,
// the lines it prints, the files it makes, keeps or removes), with one run per command against
// the simulated gauge and bus on pseudo-terminals and the bootloader on the fake wire. The bytes
// of the DLL's operations are the DLL's own tests' business.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "boot_sim.h"
#include "bus_fake_wire.h"
#include "bus_sim.h"
#include "editor/setup_layout.h"
#include "gauge_test_helpers.h"
#include "programming/firmware_file.h"
#include "test_files.h"
#include "test_helpers.h"
#include "tool.h"

namespace s470 {
namespace {

using namespace gauge_test;
using namespace ::testing;

struct ToolRun {
  int status;
  std::string out, err;
};

// The command line's words are split at blanks.
ToolRun RunS470(const std::string& line, bool terminal = false) {
  std::vector<std::string> args = {"/usr/bin/s470"};
  std::istringstream words(line);
  for (std::string word; words >> word;) args.push_back(word);
  std::ostringstream out, err;
  const int status = tool::RunTool(args, out, err, terminal);
  return {status, out.str(), err.str()};
}

// Every '@' in the text replaced by `with`.
std::string Put(std::string text, const std::string& with) {
  for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, with);
  return text;
}

// The text n times, with '@' as 1, 2, ... n.
std::string Each(const std::string& text, int n) {
  std::string all;
  for (int k = 1; k <= n; ++k) all += Put(text, std::to_string(k));
  return all;
}

// A setup file as a fresh slot makes it: zeros, word 0 = 0xFFFF.
Bytes NewSetup() {
  Bytes b(7500, 0);
  b[0] = b[1] = 0xFF;
  return b;
}

// Bad usage, unusable files and ports that are missing or silent: the exit status and one line,
// and no file changed or left behind.
TEST(S470Tool, FailuresGiveTheirStatusAndOneLine) {
  TempDir dir;
  const std::string setup = dir.Path("kept.s47"), shortFile = dir.Path("notes.txt");
  const std::string noSetup =
      "s470: " + shortFile + " is no setup file: it holds 300 bytes, a setup file 7500";
  const Bytes shortBytes(300, 'n');
  Bytes setupBytes = PatternedSetup();
  setupBytes[384 + 65] = setupBytes[384 + 66] = 0;  // channel 1 without its defaults
  const std::string none = dir.Path("new.s47");
  const struct {
    std::string args;
    int status;
    std::string line;
    bool silentPort = false;  // the serial layer's reads all time out
  } cases[] = {
      {"", 2, "s470: A subcommand is required; see s470 --help"},
      {"read-setup " + setup, 2, "s470: --port is required; see s470 --help"},
      {"analyse --port 1 --colour", 2,
       "s470: The following argument was not expected: --colour; see s470 --help"},
      {"read-setup --port ttyUSB0 " + setup, 2,
       "s470: 'ttyUSB0' is no port: give its device path, such as /dev/ttyUSB0"},
      {"analyse --port COM9", 2, "s470: the bus analysis runs on COM1 to COM8, not on COM9"},
      {"write-setup --port 1 " + none, 2, "s470: cannot read " + none + ": there is no such file"},
      {"write-setup --port 1 " + shortFile, 2, noSetup},
      {"read-setup --port " + dir.Path("no-tty ") + none, 1,
       "s470: cannot open port " + dir.Path("no-tty") +
           ": it does not exist or another program holds it; check the port name and that no other "
           "program uses it"},
      // The write puts the channel defaults into the file before it finds the gauge silent; a
      // failed read removes the file it made.
      {"write-setup --port 7 -q " + setup, 1,
       std::string("s470: write-setup on 7: ") + kNoConnection, true},
      {"read-setup --port 7 -q " + none, 1, std::string("s470: read-setup on 7: ") + kNoConnection,
       true},
      {"flash --port 4 --module gauge --code kdwzk", 2,
       "s470: Wrong Password: the access code does not match"},
      {"flash --port 4 --module ae1im2 --brand 1 --code kdwz", 2,
       "s470: --module ae1im2 is not offered for brand 1; use mc1 or gauge"},
      {"flash --port 4 --module gauge --code kdwz --dir " + none, 2,
       "s470: cannot change to the folder " + none + ": check that it exists"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    WriteFileBytes(setup, setupBytes);
    WriteFileBytes(shortFile, shortBytes);
    std::optional<FakeWireScope> wire;  // a port whose reads time out at once
    if (c.silentPort) wire.emplace(false);
    const ToolRun run = RunS470(c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, c.line + "\n");
    EXPECT_EQ(run.out, "");
    Bytes kept = setupBytes;
    if (c.silentPort && c.args.find(setup) != std::string::npos)
      kept[384 + 66] = 0x80;  // the channel's default, put in by the write
    EXPECT_EQ(ReadFileBytes(setup), kept);
    EXPECT_EQ(ReadFileBytes(shortFile), shortBytes);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("new.s47")));
  }
}

// A read on a terminal draws the block count as a bar in place and makes the missing file; a
// write prints the progress texts as lines.
TEST(S470Tool, SetupCommandsShowTheirProgressAndLeaveTheirFiles) {
  TempDir dir;
  const std::string file = dir.Path("bench.s47"), link = dir.Path("gauge");
  const sim::GaugeMemory memory = PatternedGauge(3);
  Bytes patterned = PatternedSetup();
  patterned[384 + 65] = patterned[384 + 66] = 0;
  Bytes written = patterned;
  written[384 + 66] = 0x80;  // a channel's default, set by the write
  std::string writeLines = "Write setup to the ORV S470 gauge\n";
  for (std::string l : ProgressLines()) {
    l.erase(0, l.find_first_not_of(' '));
    writeLines += l.erase(l.find_last_not_of(' ') + 1) + "\n";
  }
  const std::string first =
      "Read setup from the ORV S470 gauge\n\r[..............................]   0%  Connection : "
      "RS232";
  const std::string bar = "\r[##############################] 100%  o.k.                    \n";
  for (const bool read : {true, false}) {
    SCOPED_TRACE(read ? "read" : "write");
    if (!read) WriteFileBytes(file, patterned);
    sim::GaugeSim gauge;
    gauge.SetMemory(memory);
    sim::GaugeSimRunner runner(gauge, link);
    const ToolRun run =
        RunS470((read ? "read-setup --port " : "write-setup --port ") + link + " " + file, read);
    runner.Stop();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    if (read) {
      EXPECT_THAT(run.err, AllOf(StartsWith(first), EndsWith(bar),
                                 HasSubstr("\r[###############...............]  50%  Transferred: "
                                           "656 / 1024")));
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2);
      EXPECT_EQ(ReadFileBytes(file), SetupAfterRead(NewSetup(), memory, 1));
    } else {
      EXPECT_EQ(run.err, writeLines);
      EXPECT_EQ(ReadFileBytes(file), written);
    }
  }
}

TEST(S470Tool, AnalyseListsTheModulesOfTheDllsScan) {
  // The report's lines, each ending in @.
  const std::string lines =
      "QLB-mc1  /  Hardware = V1.0  /  Software = V2.3  /  Ser.Nr. = 00004711@"
      "ABCDEFGH  /  Hardware = V2.1  /  Software = V1.:  /  Ser.Nr. = 12345678@";
  const std::string json =
      R"({"modules":[{"hardware":"1.0","name":"QLB-mc1","number":0,"serial":4711,"software":"2.3"},)"
      R"({"hardware":"2.1","name":"ABCDEFGH","number":1,"serial":12345678,"software":"1.:"}]})";
  const std::string boot = "s470: warning: One QLBus module is in the QLB-bootloader mode\n";
  const std::string failed = "s470: analyse on @: " + std::string(kNoConnection);
  const struct {
    std::string args;   // after "analyse --port LINE"; @: the folder
    const char* fault;  // of the bus: "off" for a line where nothing answers, not even an echo;
                        // "boot" for a module in its bootloader instead of the two modules
    int status;
    std::string out, err, report;  // report: the report file's bytes ("" for none)
  } cases[] = {
      {"", "", 0, Put(lines, "\n"), "Bus analysis on @\n2 modules found\n", ""},
      {"--json --report @/report.txt -q", "", 0, nlohmann::json::parse(json).dump(2) + "\n", "",
       Put(lines, "\r\n")},
      {"-q --report @/report.txt", "noack:1", 1, "",
       failed + " (1 module was numbered before the failure)\n", ""},
      {"-q", "boot", 1, "", boot + boot + boot + boot + boot + failed + "\n", ""},
      {"-q", "off", 1, "",
       "s470: analyse on @: the line did not echo; " + std::string(kNoConnection) + "\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args + " " + c.fault);
    TempDir dir;
    sim::SimLine line;
    sim::BusSim bus(line);
    if (std::string(c.fault) == "boot") {
      bus.AddModule({"BOOT", 1, 1, 1, true});
    } else {
      bus.AddModule({"QLB-mc1", 0x10, 0x23, 4711});
      bus.AddModule({"ABCDEFGH", 0x21, 0x1A, 12345678});
    }
    if (sim::BusFault fault; sim::ParseBusFault(c.fault, &fault)) bus.AddFault(fault);
    if (std::string(c.fault) != "off") bus.Start();
    const ToolRun run =
        RunS470("analyse --port " + line.slavePath() + " " + Put(c.args, dir.path()));
    bus.Stop();
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, Put(c.err, line.slavePath()));
    EXPECT_EQ(Text(ReadFileBytes(dir.Path("report.txt"))), c.report);
  }
}

// The editor's defaults in a whole setup file: what the editor shows for an empty one.
Bytes DefaultedSetup() {
  Bytes b = NewSetup();
  const auto defaults = SetupDefaults();
  std::copy(defaults.begin(), defaults.end(), b.begin());
  return b;
}

TEST(S470Tool, InspectAndDiffShowTheSetupAsTheEditorDoesAndLeaveTheFiles) {
  TempDir dir;
  std::string defaulted = "module type: S470 + QLB-mc1\n" + Each("channel @: active\n", 8);
  for (int k = 1; k <= 8; ++k) {
    const std::string c = "channel " + std::to_string(k) + ", ";
    defaulted += c + "resolution: mm, 4 decimals (0.0001)\n" + c + "base value: 0.0000\n";
    for (const char* limit : {"1: 0.0400", "2: 0.0300", "3: -0.0300", "4: -0.0400"})
      defaulted += c + "limit " + limit + "\n" + c + "limit " + limit[0] + " switch: on\n";
    for (int i = 1; i <= 8; ++i)
      defaulted +=
          c + "input " + std::to_string(i) + " factor: " + (i == k ? "1.000" : "0.000") + "\n";
    defaulted += c + "mode: Mode 0\n" + c + "pair value 1: 0.0000\n" + c +
                 "pair value 2: 0.0000\n" + c + "pair value 2 switch: off\n";
  }
  defaulted += "general, micrometre display: off\n" + Each("general, assignment @: item @\n", 4) +
               "general, assignment variant: item 0\ngeneral, selection: item 2\n"
               "general, option flag: off\ngeneral, scale: auto\ngeneral, scale style: item 1\n" +
               Each("general, channel @ number: off\n", 8) +
               "general, value 1: 0\ngeneral, value 1 switch: off\ngeneral, value 2: 0\n"
               "general, value 2 switch: off\ngeneral, interval: ---\n" +
               Each("general, interval channel @: off\n", 8) + "general, direction: one way\n" +
               Each("text field @: \"\"\n", 4);

  // B: channel 3's limit 2 at 450 raw and switched off, channel 5 inactive, a negative pair
  // value, general value 1 at -5 and on, a text.
  Bytes b = DefaultedSetup();
  const uint32_t record3 = ChannelRecordAddress(2);
  EncodeSigned24(450, &b[record3 + record::kLimit1 + 3]);
  b[record3 + record::kLimitEnable] &= ~2u;
  EncodeSigned24(-12345, &b[record3 + record::kPair1]);
  b[256] &= ~0x10u;
  const uint32_t value1 = EncodeSigned21(-5, true);  // general settings, address 279
  for (int i = 0; i < 3; ++i) b[279 + i] = static_cast<uint8_t>(value1 >> (8 * i));
  const std::u16string text = u"Bench 4";
  for (size_t i = 0; i < text.size(); ++i) b[2000 + 2 * i] = static_cast<uint8_t>(text[i]);
  const std::string bDiff =
      "channel 5: active -> inactive\nchannel 3, limit 2: 0.0300 -> 0.0450\n"
      "channel 3, limit 2 switch: on -> off\nchannel 3, pair value 1: 0.0000 -> -1.2345\n"
      "general, value 1: 0 -> -5\ngeneral, value 1 switch: off -> on\n"
      "text field 1: \"\" -> \"Bench 4\"\n";

  // @: the folder; its files: N a new (empty) setup, D defaulted, B changed, S short, M missing.
  const struct {
    std::string args;
    int status;
    std::string out, err;
  } cases[] = {
      {"inspect @/N", 0, defaulted, ""},
      {"diff @/D @/B", 1, bDiff, ""},
      {"inspect @/S", 2, "", "s470: @/S is no setup file: a setup file holds 7500 bytes\n"},
      {"diff @/D @/M", 2, "",
       "s470: cannot read @/M: check that it exists and that you may read it\n"},
  };
  const std::map<std::string, Bytes> files = {
      {"N", NewSetup()}, {"D", DefaultedSetup()}, {"B", b}, {"S", Bytes(7499, 0)}};
  for (const auto& [name, bytes] : files) WriteFileBytes(dir.Path(name), bytes);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolRun run = RunS470(Put(c.args, dir.path()));
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, Put(c.err, dir.path()));
    for (const auto& [name, bytes] : files) EXPECT_EQ(ReadFileBytes(dir.Path(name)), bytes) << name;
  }

  // The JSON document holds the same fields in the same order.
  const ToolRun json = RunS470("inspect --json " + dir.Path("B"));
  const ToolRun plain = RunS470("inspect " + dir.Path("B"));
  std::string fromJson;
  const nlohmann::ordered_json document = nlohmann::ordered_json::parse(json.out);
  for (const auto& [key, value] : document.items())
    fromJson += key + ": " + value.get<std::string>() + "\n";
  EXPECT_EQ(fromJson, plain.out);
}

// A run that goes through with a cell that will not change (the lines of the run, then the verdict
// that the run was not clean), and a run that fails.
TEST(S470Tool, FlashRunsTheDllsProgrammingBehindTheAccessCode) {
  TempDir dir;
  // Firmware for the gauge (processor type 12: flash 0x800 to 0x1FFF): one record of code, one
  // for a user cell of sector 1.
  Bytes scrambled =
      ToBytes(":100900003C3C3C3C3C3C3C3C3C3C3C3C3C3C3C3C27\r\n:010520004298\r\n:00000001FF\r\n");
  ScrambleFirmwareBytes(scrambled.data(), scrambled.size());
  WriteFileBytes(dir.Path("S470.bin"), scrambled);
  const struct {
    const char* fault;  // of the module
    std::string args;   // after "flash --port 4 --module gauge --dir FOLDER"
    std::string err;
  } cases[] = {
      {"stuckcell:0x520", "--code KdWz",
       "10\nSerial number: 00004711\n11110010\n10000001\nProgramming -> 0\nProgramming -> 95\n"
       "Verifying\n11001111\n11101111\n11001110\n11101110\n11001101\n11101101\n11001100\n11101100\n"
       "11001011\n11101011\n11001010\n11101010\nProgramme user setup data - Cell 510\n"
       "Programme user setup data - Cell 520\nCell of sector 1 could not be written\nRESET\n"
       "Module is programmed successfully\ns470: flash on 4: the module was programmed and reset, "
       "but: Cell of sector 1 could not be written\n"},
      {"silent", "-q --code kdwz", "s470: flash on 4: The module could not be detected\n"},
  };
  static std::vector<uint32_t> pauses;
  tool::SetFlashPause([](uint32_t ms) { pauses.push_back(ms); });
  struct RealPauseAfter {  // also when an assertion ends the test early
    ~RealPauseAfter() { tool::SetFlashPause(nullptr); }
  } realPauseAfter;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    pauses.clear();
    sim::SimLine unused;
    sim::BootSim boot(unused, {});
    sim::BootFault fault;
    ASSERT_TRUE(sim::ParseBootFault(c.fault, &fault));
    boot.AddFault(fault);
    // The module on the fake wire, on the driven bus clock.
    FakeWireScope scope(true);
    FakeWire& w = Wire();
    w.onWrite = [&boot, &w, fed = size_t{0}]() mutable {
      for (; fed < w.written.size(); ++fed)
        boot.Feed(w.written[fed], {w.settings.baud, static_cast<sim::SimParity>(w.settings.parity),
                                   w.settings.stopBits == 2});
    };
    boot.SetOutput([&w](const Bytes& bytes, int delayMs) { w.Arrive(w.nowMs + delayMs, bytes); });
    const InFolder back(".");  // --dir changes the folder; this puts it back
    const ToolRun run = RunS470("flash --port 4 --module gauge --dir " + dir.path() + " " + c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(ReadFileBytes(dir.Path("S470.bin")), scrambled);
    const bool programmed = fault.kind == sim::BootFaultKind::kStuckCell;
    EXPECT_EQ(pauses, programmed ? std::vector<uint32_t>{5000} : std::vector<uint32_t>{});
  }
}

}  // namespace
}  // namespace s470
