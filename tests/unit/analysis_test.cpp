// The bus analysis: report lines, and whole runs against the bus simulator on a pseudo-terminal
// (the POSIX serial device, real tick threads).
#include "analysis/bus_analysis.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "analysis/report_file.h"
#include "bus_fake_wire.h"
#include "bus_sim.h"
#include "fake_lang.h"
#include "lang/fixed_message.h"
#include "lang/text_lookup.h"
#include "test_files.h"
#include "test_helpers.h"

namespace s470 {
namespace {

using sim::BusFault;
using sim::BusFaultKind;
using sim::BusSim;
using sim::SimLine;
using sim::SimModule;

TEST(AnalysisReport, VersionsSerialNumbersAndIdentityBlockFields) {
  EXPECT_EQ(VersionText(0x03), "0.3");
  EXPECT_EQ(VersionText(0x1A), "1.:");
  EXPECT_EQ(VersionText(0xFF), "?.?");
  EXPECT_EQ(SerialText(0), "00000000");
  EXPECT_EQ(SerialText(99999999), "99999999");
  EXPECT_EQ(SerialText(4294967295u), "4294967295");  // longer numbers are written whole
  uint8_t block[48];
  for (int i = 0; i < 48; ++i) block[i] = static_cast<uint8_t>(0x80 + i);
  const uint8_t fields[] = {0, 'A', 'B', 0, 'X'};  // 'X' lies after the end of the name
  std::copy(fields, fields + 5, block + 23);
  const BusModule m = ModuleFromIdentity(block);
  EXPECT_STREQ(m.name, "AB");
  EXPECT_EQ(m.hardware, 0x80 + 32);
  EXPECT_EQ(m.software, 0x80 + 33);
  EXPECT_EQ(m.serial, 0xA4A5A6A7u);  // bytes 36 to 39, the first the highest
  // Eight characters with no zero byte: all of them, nothing of the bytes after.
  for (int i = 0; i < 8; ++i) block[24 + i] = static_cast<uint8_t>('a' + i);
  EXPECT_STREQ(ModuleFromIdentity(block).name, "abcdefgh");
}

// One analysis as the host runs it, with the simulator on COM5 of the POSIX device layer.
class AnalysisOnBus : public ::testing::Test {
 protected:
  static constexpr int16_t kPort = 5;
  Window owner = reinterpret_cast<Window>(0x1234);

  void SetUp() override {
    setenv("S470_COM5", line.slavePath().c_str(), 1);
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    oldCwd_ = cwd;
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    lang.texts[1004] = u"No connection";
    lang.texts[1201] = u"Analysis done";
    SetBrand(0);
    TakeFixedMessages();
    TakeNotepadCalls();
  }
  void TearDown() override {
    sim.Stop();
    if (chdir(oldCwd_.c_str()) != 0) ADD_FAILURE() << "cannot go back to " << oldCwd_;
  }

  void Run(BusSim& bus) {
    bus.Start();
    RunBusAnalysis(owner, kPort);
    bus.Stop();
  }
  void Run() { Run(sim); }

  std::string Report() const { return Text(ReadFileBytes(dir.Path("Analysis.txt"))); }
  bool ReportExists() const { return access(dir.Path("Analysis.txt").c_str(), F_OK) == 0; }

  void ExpectDoneBoxAndNotepad() {
    EXPECT_EQ(TakeNotepadCalls(), std::vector<std::string>{"notepad analysis.txt"});
    ASSERT_EQ(lang.boxes.size(), 1u);
    EXPECT_EQ(lang.boxes[0].text, u"Analysis done");
    EXPECT_TRUE(lang.boxes[0].hasCaption);
    EXPECT_EQ(lang.boxes[0].caption, u"Attention");
    EXPECT_EQ(lang.boxes[0].style, kInformationIcon);
    EXPECT_EQ(lang.boxes[0].owner, owner);
  }
  void ExpectPortFailureOnly() {
    ASSERT_EQ(lang.boxes.size(), 1u);
    EXPECT_EQ(lang.boxes[0].text, u"No connection");
    EXPECT_FALSE(lang.boxes[0].hasCaption);
    EXPECT_EQ(lang.boxes[0].style, kStopIcon);
    EXPECT_EQ(lang.boxes[0].owner, owner);
    EXPECT_TRUE(TakeNotepadCalls().empty());
  }

  TempDir dir;
  FakeLang lang;
  SimLine line;
  BusSim sim{line};

 private:
  std::string oldCwd_;
};

TEST_F(AnalysisOnBus, TwoModulesAreNumberedInOrderAndReplaceALongerOldReport) {
  WriteFileBytes(dir.Path("Analysis.txt"), std::vector<uint8_t>(500, 'x'));
  sim.AddModule({"QLB-mc1", 0x10, 0x23, 4711});
  sim.AddModule({"ABCDEFGH", 0x21, 0x1A, 12345678});
  Run();
  EXPECT_EQ(Report(),
            "QLB-mc1  /  Hardware = V1.0  /  Software = V2.3  /  Ser.Nr. = 00004711\r\n"
            "ABCDEFGH  /  Hardware = V2.1  /  Software = V1.:  /  Ser.Nr. = 12345678\r\n");
  EXPECT_EQ(HostBytes(line), Join({kBusStart, kBusIdentify, {"40 115200 M 2", "BF 115200 M 2"},
                                   kBusIdentify, {"41 115200 M 2", "BE 115200 M 2"}, kBusIdentify,
                                   kBusEnd}));
  EXPECT_EQ(sim.Numbers(), (std::vector<int>{0, 1}));
  ExpectDoneBoxAndNotepad();
}

TEST_F(AnalysisOnBus, ModuleInBootloaderModeEndsTheAnalysisAfterFiveAttempts) {
  WriteFileBytes(dir.Path("Analysis.txt"), {'o', 'l', 'd'});
  sim.AddModule({"QLB-mc1", 0x10, 0x23, 4711, true});
  Run();
  EXPECT_EQ(TakeFixedMessages(),
            std::vector<std::string>(5, "One QLBus module is in the QLB-bootloader mode"));
  ExpectPortFailureOnly();
  EXPECT_EQ(Report(), "old");  // no report
  EXPECT_EQ(sim.IdentifyCount(), 5);
}

// Modules "A" and "B" (serial numbers 1 and 2) on the bus, the first `modules` of them.
struct FaultCase {
  int modules;
  BusFault fault;
};
const std::string kLineA = "A  /  Hardware = V1.0  /  Software = V1.0  /  Ser.Nr. = 00000001\r\n";
const std::string kLineB = "B  /  Hardware = V1.0  /  Software = V1.0  /  Ser.Nr. = 00000002\r\n";

TEST_F(AnalysisOnBus, FaultsThatClearWithinFiveAttemptsOnlyUseThemUp) {
  const struct {
    FaultCase c;
    int identifies;
  } cases[] = {
      {{2, {BusFaultKind::kWrongAck, 1, 4}}, 1 + 5 + 1},  // the fifth attempt of module 1 succeeds
      {{1, {BusFaultKind::kTruncated, 0, 2}}, 3 + 1},
  };
  for (const auto& [c, identifies] : cases) {
    SCOPED_TRACE(static_cast<int>(c.fault.kind));
    BusSim bus(line);
    bus.AddModule({"A", 0x10, 0x10, 1});
    if (c.modules == 2) bus.AddModule({"B", 0x10, 0x10, 2});
    bus.AddFault(c.fault);
    Run(bus);
    EXPECT_EQ(Report(), c.modules == 2 ? kLineA + kLineB : kLineA);
    EXPECT_EQ(bus.IdentifyCount(), identifies);
    EXPECT_TRUE(TakeFixedMessages().empty());
  }
}

TEST_F(AnalysisOnBus, FaultsThatPersistEndWithTheFailureTextAndNoReport) {
  const FaultCase cases[] = {
      {1, {BusFaultKind::kWrongAck, 0, 5}},
      {1, {BusFaultKind::kTruncated, 0, -1}},
      {2, {BusFaultKind::kNoAck, 1, -1}},
      {2, {BusFaultKind::kWrongNumberAck, 1, -1}},
      // Gone after the first byte of the numbering: 3 gauge bytes, wake, 0x81, 0x00 0x02 0xFD, 0x40.
      {1, {BusFaultKind::kHangUp, 0, -1, 9}},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fault.kind));
    BusSim bus(line);
    bus.AddModule({"A", 0x10, 0x10, 1});
    if (c.modules == 2) bus.AddModule({"B", 0x10, 0x10, 2});
    bus.AddFault(c.fault);
    lang.boxes.clear();
    Run(bus);
    ExpectPortFailureOnly();
    EXPECT_FALSE(ReportExists());
    // A module whose numbering failed takes no number.
    if (c.modules == 2) {
      EXPECT_EQ(bus.Numbers(), (std::vector<int>{0, -1}));
    }
  }
}

TEST_F(AnalysisOnBus, ScanStopsWhenTheTableIsFull) {
  for (int i = 0; i < 91; ++i)
    sim.AddModule({"M" + std::to_string(i), 0x10, 0x11, static_cast<uint32_t>(1000 + i)});
  Run();
  std::string want;
  for (int i = 0; i < 90; ++i)
    want += "M" + std::to_string(i) + "  /  Hardware = V1.0  /  Software = V1.1  /  Ser.Nr. = 0000" +
            std::to_string(1000 + i) + "\r\n";
  EXPECT_EQ(Report(), want);
  EXPECT_EQ(sim.IdentifyCount(), 90);
  EXPECT_EQ(sim.Numbers()[89], 89);
  EXPECT_EQ(sim.Numbers()[90], -1);
  ExpectDoneBoxAndNotepad();
}

// An open that fails at any step (gauge line, wake byte, its space parity, module line, closing
// wake byte, its space parity) ends the analysis with the failure text, no report, the port closed.
TEST_F(AnalysisOnBus, PortThatCannotBeOpenedAtAnyStepGivesTheFailureText) {
  for (int failing = 0; failing <= 6; ++failing) {
    SCOPED_TRACE(failing);
    FakeWireScope scope(true);
    Wire().echo = true;
    Wire().failApplyNumber = failing;
    lang.boxes.clear();
    RunBusAnalysis(owner, kPort);
    EXPECT_FALSE(BusPortIsOpen(kPort));
    if (failing == 6) {  // no step failed; every open switched DTR and RTS on
      for (const std::string& e : Wire().Events()) {
        if (e.rfind("apply", 0) == 0) {
          EXPECT_NE(e.find("dtr rts"), std::string::npos) << e;
        }
      }
      EXPECT_EQ(Report(), "No modules found");
      ExpectDoneBoxAndNotepad();
      continue;
    }
    ExpectPortFailureOnly();
    EXPECT_FALSE(ReportExists());
  }
}

// After a faulty answer the line is drained before the next attempt: here the answer is followed
// by half a second of noise (after a short block, once the block's time-out has passed), which
// would otherwise spoil the attempts after it.
TEST_F(AnalysisOnBus, FaultyAnswersAreDrainedBeforeTheNextAttempt) {
  const std::vector<uint8_t> block = sim::IdentityBlock({"A", 0x10, 0x10, 1});
  std::vector<uint8_t> boot(block.begin(), block.begin() + 24);
  boot[0] = 0x01;
  const struct {
    const char* what;
    std::vector<uint8_t> answer;
    double noiseAfterMs;
    size_t messages;
  } cases[] = {{"bad acknowledgement", {0x15}, 2, 0},
               {"short first half", Join({{0x00}, std::vector<uint8_t>(block.begin(), block.begin() + 10)}), 450, 0},
               {"short block", Join({{0x00}, std::vector<uint8_t>(block.begin(), block.begin() + 30)}), 450, 0},
               {"bootloader block", Join({{0x00}, boot}), 2, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeWireScope scope(true);
    FakeWire& w = Wire();
    w.echo = true;
    int identifies = 0;
    w.onWrite = [&] {
      const std::vector<uint8_t>& out = w.written;
      const auto endsWith = [&](uint8_t a, uint8_t b) {
        return out.size() >= 2 && out[out.size() - 2] == a && out.back() == b;
      };
      if (endsWith(0x02, 0xFD) && ++identifies == 1) {
        w.Arrive(w.nowMs + 1, c.answer);
        w.Arrive(w.nowMs + c.noiseAfterMs, std::vector<uint8_t>(50, 0x55), 10);
      } else if (endsWith(0x02, 0xFD) && identifies == 2) {
        w.Arrive(w.nowMs + 1, Join({{0x00}, block}));
      } else if (endsWith(0x40, 0xBF)) {
        w.Arrive(w.nowMs + 1, {0x00});
      }
    };
    RunBusAnalysis(owner, kPort);
    EXPECT_EQ(Report(), kLineA);
    EXPECT_EQ(identifies, 3);  // the faulty answer, the good one, the end of the scan
    EXPECT_EQ(TakeFixedMessages().size(), c.messages);
  }
}

TEST_F(AnalysisOnBus, ReportThatCannotBeCreatedIsAFileAccessError) {
  ASSERT_EQ(mkdir(dir.Path("Analysis.txt").c_str(), 0755), 0);
  sim.AddModule({"A", 0x10, 0x10, 1});
  Run();
  EXPECT_EQ(TakeFixedMessages(), std::vector<std::string>{"File access error"});
  EXPECT_TRUE(lang.boxes.empty());
  EXPECT_TRUE(TakeNotepadCalls().empty());
}

}  // namespace
}  // namespace s470
