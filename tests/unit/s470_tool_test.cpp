// The s470 command-line tool, run in-process against the simulated gauge and bus on
// pseudo-terminals: exit status, the lines it prints, the bytes on the wire and the files it
// leaves.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include <map>

#include "boot_sim.h"
#include "bus_sim.h"
#include "editor/setup_layout.h"
#include "gauge_test_helpers.h"
#include "programming/firmware_file.h"
#include "programming/programming_run.h"
#include "serial/serial_device.h"
#include "test_files.h"
#include "test_helpers.h"
#include "tool.h"

namespace s470 {
namespace {

using namespace gauge_test;

struct ToolRun {
  int status;
  std::string out, err;
};

ToolRun RunS470(std::vector<std::string> args, bool terminal = false) {
  args.insert(args.begin(), "/usr/bin/s470");
  std::ostringstream out, err;
  const int status = tool::RunTool(args, out, err, terminal);
  return {status, out.str(), err.str()};
}

// The lines as the tool prints them: without the spaces around them.
std::string Lines(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& l : lines) {
    const size_t first = l.find_first_not_of(' ');
    all +=
        (first == std::string::npos ? "" : l.substr(first, l.find_last_not_of(' ') - first + 1)) +
        "\n";
  }
  return all;
}

bool FileExists(const std::string& path) {
  return access(path.c_str(), F_OK) == 0;
}

// A setup file as a fresh slot makes it: zeros, word 0 = 0xFFFF.
Bytes NewSetup() {
  Bytes b(7500, 0);
  b[0] = b[1] = 0xFF;
  return b;
}

const sim::GaugeMemory kGauge = PatternedGauge(3);

// Channel bytes +65/+66: where both are 0 a write puts 0x80 at +66, in the file and in the gauge.
constexpr uint8_t kChannelPairs[8][2] = {{0, 0}, {0, 5},    {1, 0}, {0, 0},
                                         {7, 7}, {0, 0x80}, {0, 0}, {2, 0}};

Bytes WithDefaults(Bytes setup) {
  for (int k = 0; k < 8; ++k)
    if (setup[384 + 80 * k + 65] == 0 && setup[384 + 80 * k + 66] == 0)
      setup[384 + 80 * k + 66] = 0x80;
  return setup;
}

TEST(S470Tool, SetupCommandsMoveTheDllsBytesAndLeaveItsFiles) {
  Bytes patterned = PatternedSetup();
  SetChannelBytes(patterned, kChannelPairs);
  const Bytes written = WithDefaults(patterned);
  const Bytes writtenBlocks = WithChecksums(written.data() + 256);
  const std::string readTitle = "Read setup from the ORV S470 gauge";
  const std::string writeTitle = "Write setup to the ORV S470 gauge";
  const auto failure = [](const std::string& command, const char* text) {
    return command + " on @: " + text;
  };
  const struct {
    const char* name;
    std::vector<std::string> args;  // @ stands for the port, F for the file
    std::optional<Bytes> before;    // the file before; none: no file
    std::function<void(sim::GaugeConfig&)> gauge;
    int status;
    std::optional<Bytes> after;  // none: no file left
    Bytes wire;                  // what the host sent
    std::string err;             // standard error; failures: the one line after "s470: "
  } cases[] = {
      {"read into a setup file",
       {"read-setup", "--port", "@", "F"},
       patterned,
       nullptr,
       0,
       SetupAfterRead(patterned, kGauge, 1),
       Cat({ReadStart(), kEndCommandBytes}),
       Lines({readTitle}) + Lines(ProgressLines())},
      {"read an im2 gauge into a new file, quietly",
       {"-q", "read-setup", "--port", "@", "F"},
       std::nullopt,
       [](sim::GaugeConfig& c) { c.identification = "R/S470-im2"; },
       0,
       SetupAfterRead(NewSetup(), kGauge, 2),
       Cat({ReadStart(), kEndCommandBytes}),
       ""},
      {"write with the channel defaults",
       {"write-setup", "--port", "@", "F"},
       patterned,
       nullptr,
       0,
       written,
       Cat({WriteStart(), writtenBlocks, kEndCommandBytes}),
       Lines({writeTitle}) + Lines(ProgressLines())},
      {"read with a wrong checksum in block 5",
       {"read-setup", "F", "--port", "@", "--quiet"},
       patterned,
       [](sim::GaugeConfig& c) { c.faults.badChecksumBlock = 5; },
       1,
       patterned,
       ReadStart(),
       failure("read-setup", kNoConnection)},
      {"read into a new file, hang-up in block 3",
       {"read-setup", "--port", "@", "F", "-q"},
       std::nullopt,
       [](sim::GaugeConfig& c) { c.faults.hangUpBlock = 3; },
       1,
       std::nullopt,
       ReadStart(),
       failure("read-setup", kNoConnection)},
      {"write refused at block 1",
       {"write-setup", "-q", "--port", "@", "F"},
       patterned,
       [](sim::GaugeConfig& c) { c.faults.refuseBlock = 1; },
       1,
       written,
       Cat({WriteStart(), Bytes(writtenBlocks.begin(), writtenBlocks.begin() + 17)}),
       failure("write-setup", kNotAccepted)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string file = dir.Path("bench.s47"), link = dir.Path("gauge");
    if (c.before) WriteFileBytes(file, *c.before);
    sim::GaugeConfig config;
    if (c.gauge) c.gauge(config);
    sim::GaugeSim gauge(config);
    gauge.SetMemory(kGauge);
    auto runner = std::make_unique<sim::GaugeSimRunner>(gauge, link);

    std::vector<std::string> args;
    for (const std::string& a : c.args) args.push_back(a == "@" ? link : a == "F" ? file : a);
    const ToolRun run = RunS470(args);
    runner->Stop();

    EXPECT_EQ(run.status, c.status);
    std::string err = c.err;
    if (c.status != 0) err = "s470: " + err.replace(err.find('@'), 1, link) + "\n";
    EXPECT_EQ(run.err, err);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(runner->Bytes('>'), c.wire);
    if (c.after) {
      EXPECT_EQ(ReadFileBytes(file), *c.after);
    } else {
      EXPECT_FALSE(FileExists(file));
    }
    if (c.status == 0 && c.args[c.args[0] == "-q" ? 1 : 0] == "write-setup") {
      EXPECT_EQ(AsBytes(gauge.Memory()), Bytes(written.begin() + 256, written.begin() + 1024));
    } else {
      EXPECT_EQ(gauge.Memory(), kGauge);
    }
    EXPECT_TRUE(gauge.Stats().violations.empty());
  }
}

// On a terminal the block count is a bar redrawn in place; the texts stay as they are.
TEST(S470Tool, ProgressOnATerminalIsOneRedrawnLine) {
  TempDir dir;
  sim::GaugeSim gauge;
  sim::GaugeSimRunner runner(gauge, dir.Path("gauge"));
  const ToolRun run = RunS470({"read-setup", "--port", dir.Path("gauge"), dir.Path("a.s47")}, true);
  EXPECT_EQ(run.status, 0);
  const std::string first =
      "Read setup from the ORV S470 gauge\n\r[..............................]   0%  Connection : "
      "RS232";
  EXPECT_EQ(run.err.substr(0, first.size()), first);
  const std::string last = "\r[##############################] 100%  o.k.                    \n";
  ASSERT_GE(run.err.size(), last.size());
  EXPECT_EQ(run.err.substr(run.err.size() - last.size()), last);
  EXPECT_NE(run.err.find("\r[###############...............]  50%  Transferred: 656 / 1024"),
            std::string::npos);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2);
}

// Bad usage, unusable files and ports that are missing or silent: the exit status and one line,
// and no file changed or left behind.
TEST(S470Tool, FailuresGiveTheirStatusAndOneLine) {
  TempDir dir;
  const std::string setup = dir.Path("kept.s47"), shortFile = dir.Path("notes.txt"),
                    link = dir.Path("gauge");
  const std::string hex = dir.Path("fw.hex");
  WriteFileBytes(hex, ToBytes(":00000001FF\r\n"));
  const Bytes setupBytes = PatternedSetup(), shortBytes(300, 'n');
  sim::GaugeSim gauge;
  sim::GaugeSimRunner runner(gauge, link);
  const struct {
    std::vector<std::string> args;
    int status;
    std::string line;
    bool silentPort = false;  // the serial layer's reads all time out
  } cases[] = {
      {{}, 2, "s470: A subcommand is required; see s470 --help"},
      {{"read-setup", setup}, 2, "s470: --port is required; see s470 --help"},
      {{"analyse", "--port", link, "--colour"},
       2,
       "s470: The following argument was not expected: --colour; see s470 --help"},
      {{"read-setup", "--port", "ttyUSB0", setup},
       2,
       "s470: 'ttyUSB0' is no port: give its device path, such as /dev/ttyUSB0"},
      {{"analyse", "--port", "COM9"},
       2,
       "s470: the bus analysis runs on COM1 to COM8, not on COM9"},
      {{"write-setup", "--port", link, dir.Path("missing.s47")},
       2,
       "s470: cannot read " + dir.Path("missing.s47") + ": there is no such file"},
      {{"read-setup", "--port", link, shortFile},
       2,
       "s470: " + shortFile + " is no setup file: it holds 300 bytes, a setup file 7500"},
      {{"write-setup", "--port", link, shortFile},
       2,
       "s470: " + shortFile + " is no setup file: it holds 300 bytes, a setup file 7500"},
      {{"read-setup", "--port", dir.Path("no-such-tty"), dir.Path("new.s47")},
       1,
       "s470: cannot open port " + dir.Path("no-such-tty") +
           ": it does not exist or another program holds it; check the port name and that no other "
           "program uses it"},
      {{"read-setup", "-q", "--port", "COM7", setup},
       1,
       std::string("s470: read-setup on COM7: ") + kNoConnection,
       true},
      {{"write-setup", "--port", "7", "-q", setup},
       1,
       std::string("s470: write-setup on 7: ") + kNoConnection,
       true},
      {{"unscramble", dir.Path("missing.bin"), dir.Path("out.hex")},
       2,
       "s470: cannot open " + dir.Path("missing.bin") + ": No such file or directory"},
      {{"scramble", hex, dir.Path("no/such/folder.bin")},
       2,
       "s470: cannot create " + dir.Path("no/such/folder.bin") + ": No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    WriteFileBytes(setup, setupBytes);
    WriteFileBytes(shortFile, shortBytes);
    FakePort::Reset();
    if (c.silentPort) SetSerialDeviceFactory(&FakePort::New);
    const ToolRun run = RunS470(c.args);
    SetSerialDeviceFactory(nullptr);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, c.line + "\n");
    EXPECT_EQ(run.out, "");
    // The write prepares its channel defaults before it finds the gauge silent.
    const bool prepared = c.silentPort && c.args[0] == "write-setup";
    EXPECT_EQ(ReadFileBytes(setup), prepared ? WithDefaults(setupBytes) : setupBytes);
    EXPECT_EQ(ReadFileBytes(shortFile), shortBytes);
    EXPECT_FALSE(FileExists(dir.Path("new.s47")));
    EXPECT_FALSE(FileExists(dir.Path("out.hex")));
    if (c.silentPort) {
      EXPECT_EQ(FakePort::written, Repeat({0xC9, 0x8D}, 101));
    }
  }
  EXPECT_EQ(gauge.Stats().handshakes, 0);
}

TEST(S470Tool, AnalyseListsTheModulesOfTheDllsScan) {
  const std::string two =
      "QLB-mc1  /  Hardware = V1.0  /  Software = V2.3  /  Ser.Nr. = 00004711\r\n"
      "ABCDEFGH  /  Hardware = V2.1  /  Software = V1.:  /  Ser.Nr. = 12345678\r\n";
  const std::string json = R"({
  "modules": [
    {
      "hardware": "1.0",
      "name": "QLB-mc1",
      "number": 0,
      "serial": 4711,
      "software": "2.3"
    },
    {
      "hardware": "2.1",
      "name": "ABCDEFGH",
      "number": 1,
      "serial": 12345678,
      "software": "1.:"
    }
  ]
}
)";
  const std::vector<std::string> numberTwo = Join({kBusStart,
                                                   kBusIdentify,
                                                   {"40 115200 M 2", "BF 115200 M 2"},
                                                   kBusIdentify,
                                                   {"41 115200 M 2", "BE 115200 M 2"},
                                                   kBusIdentify,
                                                   kBusEnd});
  const std::string boot = "s470: warning: One QLBus module is in the QLB-bootloader mode\n";
  const std::string noConnection = std::string("s470: analyse on @: ") + kNoConnection;
  const struct {
    const char* name;
    std::vector<std::string> args;  // after "analyse --port LINE"; R stands for the report path
    std::vector<sim::SimModule> modules;
    const char* fault;  // bus simulator fault, or null
    bool bus = true;    // false: nothing answers on the line, not even an echo
    int status;
    std::string out, err, report;   // report: the report file's bytes ("" for none)
    std::vector<std::string> wire;  // the host's bytes (empty: not checked)
  } cases[] = {
      {"two modules",
       {},
       {{"QLB-mc1", 0x10, 0x23, 4711}, {"ABCDEFGH", 0x21, 0x1A, 12345678}},
       nullptr,
       true,
       0,
       "QLB-mc1  /  Hardware = V1.0  /  Software = V2.3  /  Ser.Nr. = 00004711\n"
       "ABCDEFGH  /  Hardware = V2.1  /  Software = V1.:  /  Ser.Nr. = 12345678\n",
       "Bus analysis on @\n2 modules found\n",
       "",
       numberTwo},
      {"two modules as JSON, with the report",
       {"--json", "--report", "R", "-q"},
       {{"QLB-mc1", 0x10, 0x23, 4711}, {"ABCDEFGH", 0x21, 0x1A, 12345678}},
       nullptr,
       true,
       0,
       json,
       "",
       two,
       numberTwo},
      {"an empty bus",
       {"--report", "R"},
       {},
       nullptr,
       true,
       0,
       "No modules found\n",
       "Bus analysis on @\n0 modules found\n",
       "No modules found",
       Join({kBusStart, kBusIdentify, kBusEnd})},
      {"numbering not acknowledged",
       {"-q", "--report", "R"},
       {{"A", 1, 1, 1}, {"B", 2, 2, 2}},
       "noack:1",
       true,
       1,
       "",
       noConnection + " (1 module was numbered before the failure)\n",
       "",
       {}},
      {"a module in the bootloader",
       {"-q"},
       {{"BOOT", 1, 1, 1, true}},
       nullptr,
       true,
       1,
       "",
       boot + boot + boot + boot + boot + noConnection + "\n",
       "",
       {}},
      {"a line without echo",
       {"-q"},
       {},
       nullptr,
       false,
       1,
       "",
       "s470: analyse on @: the line did not echo; " + std::string(kNoConnection) + "\n",
       "",
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string report = dir.Path("report.txt");
    sim::SimLine line;
    sim::BusSim bus(line);
    for (const auto& m : c.modules) bus.AddModule(m);
    sim::BusFault fault;
    if (c.fault != nullptr) {
      ASSERT_TRUE(sim::ParseBusFault(c.fault, &fault));
      bus.AddFault(fault);
    }
    if (c.bus) bus.Start();
    std::vector<std::string> args = {"analyse", "--port", line.slavePath()};
    for (const std::string& a : c.args) args.push_back(a == "R" ? report : a);
    const ToolRun run = RunS470(args);
    bus.Stop();

    const auto withPort = [&](std::string text) {
      for (size_t at; (at = text.find('@')) != std::string::npos;)
        text.replace(at, 1, line.slavePath());
      return text;
    };
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, withPort(c.err));
    EXPECT_EQ(Text(ReadFileBytes(report)), c.report);
    if (!c.wire.empty()) {
      EXPECT_EQ(HostBytes(line), c.wire);
    }
  }
}

}  // namespace
}  // namespace s470

namespace s470 {
namespace {

// The editor's defaults in a whole setup file: what the editor shows for an empty one.
Bytes DefaultedSetup() {
  Bytes b = NewSetup();
  const auto defaults = SetupDefaults();
  std::copy(defaults.begin(), defaults.end(), b.begin());
  return b;
}

// Channel k's lines of a defaulted setup.
std::string DefaultChannel(int k) {
  const std::string c = "channel " + std::to_string(k) + ", ";
  std::string lines = c + "resolution: mm, 4 decimals (0.0001)\n" + c + "base value: 0.0000\n";
  for (const char* limit : {"1: 0.0400", "2: 0.0300", "3: -0.0300", "4: -0.0400"})
    lines += c + "limit " + limit + "\n" + c + "limit " + limit[0] + " switch: on\n";
  for (int i = 1; i <= 8; ++i)
    lines += c + "input " + std::to_string(i) + " factor: " + (i == k ? "1.000" : "0.000") + "\n";
  return lines + c + "mode: Mode 0\n" + c + "pair value 1: 0.0000\n" + c +
         "pair value 2: 0.0000\n" + c + "pair value 2 switch: off\n";
}

TEST(S470Tool, InspectAndDiffShowTheSetupAsTheEditorDoesAndLeaveTheFiles) {
  TempDir dir;
  std::string defaulted = "module type: S470 + QLB-mc1\n";
  for (int k = 1; k <= 8; ++k) defaulted += "channel " + std::to_string(k) + ": active\n";
  for (int k = 1; k <= 8; ++k) defaulted += DefaultChannel(k);
  defaulted +=
      "general, micrometre display: off\ngeneral, assignment 1: item 1\ngeneral, assignment 2: "
      "item 2\n"
      "general, assignment 3: item 3\ngeneral, assignment 4: item 4\ngeneral, assignment variant: "
      "item 0\n"
      "general, selection: item 2\ngeneral, option flag: off\ngeneral, scale: auto\n"
      "general, scale style: item 1\n";
  for (int k = 1; k <= 8; ++k)
    defaulted += "general, channel " + std::to_string(k) + " number: off\n";
  defaulted +=
      "general, value 1: 0\ngeneral, value 1 switch: off\ngeneral, value 2: 0\n"
      "general, value 2 switch: off\ngeneral, interval: ---\n";
  for (int k = 1; k <= 8; ++k)
    defaulted += "general, interval channel " + std::to_string(k) + ": off\n";
  defaulted += "general, direction: one way\n";
  defaulted += "text field 1: \"\"\ntext field 2: \"\"\ntext field 3: \"\"\ntext field 4: \"\"\n";

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
  std::string bDiff = "channel 5: active -> inactive\n";
  bDiff += "channel 3, limit 2: 0.0300 -> 0.0450\nchannel 3, limit 2 switch: on -> off\n";
  bDiff += "channel 3, pair value 1: 0.0000 -> -1.2345\n";
  bDiff += "general, value 1: 0 -> -5\ngeneral, value 1 switch: off -> on\n";
  bDiff += "text field 1: \"\" -> \"Bench 4\"\n";

  const struct {
    std::vector<std::string> args;  // N: a new (empty) setup, D: defaulted, B: changed
    int status;
    std::string out, err;
  } cases[] = {
      {{"inspect", "N"}, 0, defaulted, ""},
      {{"inspect", "D"}, 0, defaulted, ""},
      {{"diff", "N", "D"}, 0, "", ""},
      {{"diff", "D", "B"}, 1, bDiff, ""},
      {{"inspect", "S"}, 2, "", "s470: @S is no setup file: a setup file holds 7500 bytes\n"},
      {{"diff", "D", "M"},
       2,
       "",
       "s470: cannot read @M: check that it exists and that you may read it\n"},
  };
  const std::map<std::string, Bytes> files = {
      {"N", NewSetup()}, {"D", DefaultedSetup()}, {"B", b}, {"S", Bytes(7499, 0)}};
  for (const auto& [name, bytes] : files) WriteFileBytes(dir.Path(name), bytes);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    std::vector<std::string> args;
    for (const std::string& a : c.args) args.push_back(a.size() == 1 ? dir.Path(a) : a);
    const ToolRun run = RunS470(args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    std::string err = c.err;
    for (const char* f : {"S", "M"})
      if (const size_t at = err.find(std::string("@") + f); at != std::string::npos)
        err.replace(at, 2, dir.Path(f));
    EXPECT_EQ(run.err, err);
    for (const auto& [name, bytes] : files) EXPECT_EQ(ReadFileBytes(dir.Path(name)), bytes) << name;
  }

  // The JSON document holds the same fields in the same order.
  const ToolRun json = RunS470({"inspect", "--json", dir.Path("B")});
  const ToolRun plain = RunS470({"inspect", dir.Path("B")});
  std::string fromJson;
  const nlohmann::ordered_json document = nlohmann::ordered_json::parse(json.out);
  for (const auto& [key, value] : document.items())
    fromJson += key + ": " + value.get<std::string>() + "\n";
  EXPECT_EQ(fromJson, plain.out);
}

}  // namespace
}  // namespace s470

namespace s470 {
namespace {

// One Intel HEX data record with its checksum, CR LF.
std::string HexRecordLine(uint16_t address, const Bytes& data) {
  char text[16];
  std::snprintf(text, sizeof text, ":%02X%04X00", static_cast<unsigned>(data.size()), address);
  std::string line = text;
  uint8_t sum = static_cast<uint8_t>(data.size() + (address >> 8) + (address & 0xFF));
  for (const uint8_t b : data) {
    std::snprintf(text, sizeof text, "%02X", b);
    line += text;
    sum = static_cast<uint8_t>(sum + b);
  }
  std::snprintf(text, sizeof text, "%02X\r\n", static_cast<uint8_t>(-sum));
  return line + text;
}

TEST(S470Tool, FlashRunsTheDllsProgrammingBehindTheAccessCode) {
  TempDir dir;
  // Firmware for the gauge (processor type 12: flash 0x800 to 0x1FFF): two records, one of them a
  // user cell of sector 1.
  const Bytes code(16, 0x3C), cell = {0x42};
  std::string hex = HexRecordLine(0x900, code) + HexRecordLine(0x520, cell) + ":00000001FF\r\n";
  Bytes scrambled = ToBytes(hex);
  ScrambleFirmwareBytes(scrambled.data(), scrambled.size());
  WriteFileBytes(dir.Path("S470.bin"), scrambled);

  // What the DLL's programming run sends for this module and file.
  sim::SimLine dllLine;
  sim::BootModule module;
  module.serial = 12345;
  std::vector<std::string> dllBytes;
  {
    sim::BootSim boot(dllLine, module);
    boot.Start();
    setenv("S470_COM4", dllLine.slavePath().c_str(), 1);
    struct : ProgrammingView {
      std::string id;
      void ShowStatus(const std::string&) override {}
      void ShowPortFailure(const std::string&) override {}
      void ShowIdentification(const std::string& text) override { id = text; }
      std::string ReadIdentification() override { return id; }
      void Beep() override {}
      void PumpMessages() override {}
      void Wait(uint32_t) override {}
    } view;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    ASSERT_EQ(RunProgramming({4, 1, 0}, view), ProgrammingResult::kProgrammed);
    ASSERT_EQ(chdir(cwd), 0);
    boot.Stop();
    dllBytes = HostBytes(dllLine);
  }

  const struct {
    const char* name;
    std::vector<std::string> args;  // after "flash --port LINE"; D stands for the folder
    const char* fault;              // of the module, or null
    int status;
    std::string err;  // @ stands for the port
    bool sameAsDll;
  } cases[] = {
      {"gauge firmware",
       {"--module", "gauge", "--dir", "D", "--code", "KdWz"},
       nullptr,
       0,
       "10\nSerial number: 00012345\n11110010\n10000001\nProgramming -> 0\nProgramming -> 95\n"
       "Verifying\n11001111\n11101111\n11001110\n11101110\n11001101\n11101101\n11001100\n11101100\n"
       "11001011\n11101011\n11001010\n11101010\nProgramme user setup data - Cell 510\n"
       "Programme user setup data - Cell 7ff\nRESET\nModule is programmed successfully\n",
       true},
      {"a user cell that will not change",
       {"-q", "--module", "gauge", "--dir", "D", "--code", "kdwz"},
       "stuckcell:0x520",
       1,
       "s470: flash on @: the module was programmed and reset, but: Cell of sector 1 could not be "
       "written\n",
       false},
      {"wrong code",
       {"--module", "gauge", "--dir", "D", "--code", "kdwz "},
       nullptr,
       2,
       "s470: Wrong Password: the access code does not match\n",
       false},
      {"ae1im2 for brand 1",
       {"--module", "ae1im2", "--brand", "1", "--code", "kdwz"},
       nullptr,
       2,
       "s470: --module ae1im2 is not offered for brand 1; use mc1 or gauge\n",
       false},
      {"no such folder",
       {"--module", "gauge", "--dir", "D/none", "--code", "kdwz"},
       nullptr,
       2,
       "s470: cannot change to the folder D/none: check that it exists\n",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimLine line;
    sim::BootSim boot(line, module);
    sim::BootFault fault;
    if (c.fault != nullptr) {
      ASSERT_TRUE(sim::ParseBootFault(c.fault, &fault));
      boot.AddFault(fault);
    }
    boot.Start();
    std::vector<std::string> args = {"flash", "--port", line.slavePath()};
    for (const std::string& a : c.args) args.push_back(a[0] == 'D' ? dir.path() + a.substr(1) : a);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    const ToolRun run = RunS470(args);
    EXPECT_EQ(chdir(cwd), 0);  // --dir changes the folder
    boot.Stop();

    std::string err = c.err;
    for (size_t at; (at = err.find('@')) != std::string::npos;)
      err.replace(at, 1, line.slavePath());
    for (size_t at; (at = err.find(" D/")) != std::string::npos;)
      err.replace(at + 1, 1, dir.path());
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, err);
    EXPECT_EQ(run.out, "");
    if (c.sameAsDll) {
      // The same commands as the DLL's run; the packets' keys follow the clock, so of the
      // packets only their number and length are the same.
      const std::vector<std::string> sent = HostBytes(line);
      ASSERT_EQ(sent.size(), dllBytes.size());
      EXPECT_TRUE(std::equal(sent.begin(), sent.begin() + 16, dllBytes.begin()));
      EXPECT_TRUE(std::equal(sent.end() - 2, sent.end(), dllBytes.end() - 2));
      const Bytes flash = boot.Flash();
      EXPECT_EQ(Bytes(flash.begin() + 0x900, flash.begin() + 0x910), code);
      EXPECT_EQ(flash[0x520], 0x42);
    }
    if (c.status == 2) {
      EXPECT_TRUE(HostBytes(line).empty());
    }
    EXPECT_EQ(ReadFileBytes(dir.Path("S470.bin")), scrambled);
  }
}

}  // namespace
}  // namespace s470
