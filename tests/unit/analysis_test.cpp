// The bus analysis: report lines, and whole runs against the bus simulator on a pseudo-terminal
// (the POSIX serial device, real tick threads).
#include "analysis/bus_analysis.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "analysis/report_file.h"
#include "bus_sim.h"
#include "fake_lang.h"
#include "lang/fixed_message.h"
#include "lang/text_lookup.h"
#include "test_files.h"

namespace s470 {
namespace {

using sim::BusFault;
using sim::BusFaultKind;
using sim::BusSim;
using sim::SimLine;
using sim::SimModule;
using sim::SimParity;

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(AnalysisReport, LinesCarryNameVersionsAndSerialNumber) {
  ModuleTable table;
  EXPECT_EQ(AnalysisReport(table), "No modules found");

  SimModule a{"QLB-mc1", 0x10, 0x23, 4711};
  SimModule b{"ABCDEFGH", 0x21, 0x1A, 0};
  const std::vector<uint8_t> blockA = sim::IdentityBlock(a), blockB = sim::IdentityBlock(b);
  table.modules[0] = ModuleFromIdentity(blockA.data());
  table.modules[1] = ModuleFromIdentity(blockB.data());
  table.count = 2;
  EXPECT_EQ(AnalysisReport(table),
            "QLB-mc1  /  Hardware = V1.0  /  Software = V2.3  /  Ser.Nr. = 00004711\r\n"
            "ABCDEFGH  /  Hardware = V2.1  /  Software = V1.:  /  Ser.Nr. = 00000000\r\n");
}

TEST(AnalysisReport, VersionsAndSerialNumbers) {
  EXPECT_EQ(VersionText(0x12), "1.2");
  EXPECT_EQ(VersionText(0x03), "0.3");
  EXPECT_EQ(VersionText(0x1A), "1.:");
  EXPECT_EQ(VersionText(0xFF), "?.?");
  EXPECT_EQ(SerialText(4711), "00004711");
  EXPECT_EQ(SerialText(0), "00000000");
  EXPECT_EQ(SerialText(99999999), "99999999");
  // Longer numbers are written whole rather than cut.
  EXPECT_EQ(SerialText(100000000), "100000000");
  EXPECT_EQ(SerialText(4294967295u), "4294967295");
}

TEST(AnalysisReport, IdentityBlockFieldsAndNameEndings) {
  uint8_t block[48];
  for (int i = 0; i < 48; ++i) block[i] = static_cast<uint8_t>(0x80 + i);
  block[24] = 'A';
  block[25] = 'B';
  block[26] = 0;
  block[27] = 'X';  // after the end of the name
  block[36] = 0x12;
  block[37] = 0x34;
  block[38] = 0x56;
  block[39] = 0x78;
  const BusModule m = ModuleFromIdentity(block);
  EXPECT_STREQ(m.name, "AB");
  EXPECT_EQ(m.hardware, 0x80 + 32);
  EXPECT_EQ(m.software, 0x80 + 33);
  EXPECT_EQ(m.serial, 0x12345678u);
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

  void Run() {
    sim.Start();
    RunBusAnalysis(owner, kPort);
    sim.Stop();
  }

  std::vector<uint8_t> Report() const { return ReadFileBytes(dir.Path("Analysis.txt")); }
  bool ReportExists() const { return access(dir.Path("Analysis.txt").c_str(), F_OK) == 0; }

  // The bytes the PC sent, each with the line settings it was read under.
  std::vector<std::string> HostBytes() const {
    std::vector<std::string> out;
    for (const auto& e : line.Log()) {
      if (e.direction != '>') continue;
      char text[40];
      std::snprintf(text, sizeof text, "%02X %s", e.byte, e.line.ToString().c_str());
      out.push_back(text);
    }
    return out;
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

const std::vector<std::string> kStart = {"09 4800 N 2", "0D 4800 N 2", "13 4800 N 2",
                                         "00 115200 M 2", "81 115200 S 2"};
const std::vector<std::string> kEnd = {"00 115200 M 2", "81 115200 S 2"};

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::vector<std::string> Identify() { return {"00 115200 M 2", "02 115200 M 2", "FD 115200 M 2"}; }
std::vector<std::string> Number(int n) {
  char a[32], b[32];
  std::snprintf(a, sizeof a, "%02X 115200 M 2", 0x40 + n);
  std::snprintf(b, sizeof b, "%02X 115200 M 2", static_cast<uint8_t>(~(0x40 + n)));
  return {a, b};
}

TEST_F(AnalysisOnBus, EmptyBusGivesNoModulesFoundNotepadAndTheClosingText) {
  Run();
  EXPECT_EQ(Text(Report()), "No modules found");
  EXPECT_EQ(TakeNotepadCalls(), std::vector<std::string>{"notepad analysis.txt"});
  ASSERT_EQ(lang.boxes.size(), 1u);
  EXPECT_EQ(lang.boxes[0].text, u"Analysis done");
  EXPECT_TRUE(lang.boxes[0].hasCaption);
  EXPECT_EQ(lang.boxes[0].caption, u"Attention");
  EXPECT_EQ(lang.boxes[0].style, kInformationIcon);
  EXPECT_EQ(lang.boxes[0].owner, owner);
  EXPECT_TRUE(TakeFixedMessages().empty());
  EXPECT_EQ(HostBytes(), Join({kStart, Identify(), kEnd}));
}

TEST_F(AnalysisOnBus, TwoModulesAreNumberedInOrderAndReported) {
  sim.AddModule({"QLB-mc1", 0x10, 0x23, 4711});
  sim.AddModule({"ABCDEFGH", 0x21, 0x1A, 12345678});
  Run();
  EXPECT_EQ(Text(Report()),
            "QLB-mc1  /  Hardware = V1.0  /  Software = V2.3  /  Ser.Nr. = 00004711\r\n"
            "ABCDEFGH  /  Hardware = V2.1  /  Software = V1.:  /  Ser.Nr. = 12345678\r\n");
  EXPECT_EQ(HostBytes(),
            Join({kStart, Identify(), Number(0), Identify(), Number(1), Identify(), kEnd}));
  EXPECT_EQ(sim.Numbers(), (std::vector<int>{0, 1}));
  EXPECT_EQ(TakeNotepadCalls(), std::vector<std::string>{"notepad analysis.txt"});
  ASSERT_EQ(lang.boxes.size(), 1u);
  EXPECT_EQ(lang.boxes[0].text, u"Analysis done");
}

TEST_F(AnalysisOnBus, OldLongerReportIsReplacedWhole) {
  WriteFileBytes(dir.Path("Analysis.txt"), std::vector<uint8_t>(500, 'x'));
  sim.AddModule({"M1", 0x01, 0x02, 7});
  Run();
  EXPECT_EQ(Text(Report()),
            "M1  /  Hardware = V0.1  /  Software = V0.2  /  Ser.Nr. = 00000007\r\n");
}

TEST_F(AnalysisOnBus, ModuleInBootloaderModeEndsTheAnalysisAfterFiveAttempts) {
  WriteFileBytes(dir.Path("Analysis.txt"), {'o', 'l', 'd'});
  sim.AddModule({"QLB-mc1", 0x10, 0x23, 4711, true});
  Run();
  EXPECT_EQ(TakeFixedMessages(),
            std::vector<std::string>(5, "One QLBus module is in the QLB-bootloader mode"));
  ExpectPortFailureOnly();
  EXPECT_EQ(Text(Report()), "old");  // no report
  EXPECT_EQ(sim.IdentifyCount(), 5);
}

TEST_F(AnalysisOnBus, WrongAcknowledgementsToIdentifyUseUpAttemptsOnly) {
  sim.AddModule({"A", 0x10, 0x10, 1});
  sim.AddModule({"B", 0x10, 0x10, 2});
  sim.AddFault({BusFaultKind::kWrongAck, 1, 4});  // the fifth attempt of module 1 succeeds
  Run();
  EXPECT_EQ(Text(Report()),
            "A  /  Hardware = V1.0  /  Software = V1.0  /  Ser.Nr. = 00000001\r\n"
            "B  /  Hardware = V1.0  /  Software = V1.0  /  Ser.Nr. = 00000002\r\n");
  EXPECT_EQ(sim.IdentifyCount(), 1 + 5 + 1);
  EXPECT_TRUE(TakeFixedMessages().empty());
}

TEST_F(AnalysisOnBus, FiveWrongAcknowledgementsFailWithoutReport) {
  sim.AddModule({"A", 0x10, 0x10, 1});
  sim.AddFault({BusFaultKind::kWrongAck, 0, 5});
  Run();
  ExpectPortFailureOnly();
  EXPECT_FALSE(ReportExists());
}

TEST_F(AnalysisOnBus, TruncatedIdentityBlocksAreRetriedThenGiveUp) {
  sim.AddModule({"A", 0x10, 0x10, 1});
  sim.AddFault({BusFaultKind::kTruncated, 0, 2});
  Run();
  EXPECT_EQ(Text(Report()), "A  /  Hardware = V1.0  /  Software = V1.0  /  Ser.Nr. = 00000001\r\n");
  EXPECT_EQ(sim.IdentifyCount(), 3 + 1);
}

TEST_F(AnalysisOnBus, IdentityBlockThatIsAlwaysCutShortFails) {
  sim.AddModule({"A", 0x10, 0x10, 1});
  sim.AddFault({BusFaultKind::kTruncated, 0, -1});
  Run();
  ExpectPortFailureOnly();
  EXPECT_FALSE(ReportExists());
}

TEST_F(AnalysisOnBus, NumberingThatIsNotAcknowledgedFails) {
  for (BusFaultKind kind : {BusFaultKind::kNoAck, BusFaultKind::kWrongNumberAck}) {
    SCOPED_TRACE(static_cast<int>(kind));
    BusSim faulty(line);
    faulty.AddModule({"A", 0x10, 0x10, 1});
    faulty.AddModule({"B", 0x10, 0x10, 2});
    faulty.AddFault({kind, 1, -1});
    lang.boxes.clear();
    faulty.Start();
    RunBusAnalysis(owner, kPort);
    faulty.Stop();
    ExpectPortFailureOnly();
    EXPECT_FALSE(ReportExists());
    EXPECT_EQ(faulty.Numbers(), (std::vector<int>{0, -1}));
  }
}

TEST_F(AnalysisOnBus, ScanStopsWhenTheTableIsFull) {
  for (int i = 0; i < 91; ++i)
    sim.AddModule({"M" + std::to_string(i), 0x10, 0x11, static_cast<uint32_t>(1000 + i)});
  Run();
  const std::string report = Text(Report());
  std::string want;
  for (int i = 0; i < 90; ++i)
    want += "M" + std::to_string(i) + "  /  Hardware = V1.0  /  Software = V1.1  /  Ser.Nr. = 0000" +
            std::to_string(1000 + i) + "\r\n";
  EXPECT_EQ(report, want);
  EXPECT_EQ(sim.IdentifyCount(), 90);
  EXPECT_EQ(sim.Numbers()[89], 89);
  EXPECT_EQ(sim.Numbers()[90], -1);
  ASSERT_EQ(lang.boxes.size(), 1u);
  EXPECT_EQ(lang.boxes[0].text, u"Analysis done");
}

TEST_F(AnalysisOnBus, PortThatCannotBeOpenedGivesTheFailureText) {
  setenv("S470_COM5", "/nonexistent/tty", 1);
  Run();
  ExpectPortFailureOnly();
  EXPECT_FALSE(ReportExists());
  EXPECT_TRUE(line.Log().empty());
}

TEST_F(AnalysisOnBus, LineThatHangsUpMidScanEndsWithTheFailureText) {
  sim.AddModule({"A", 0x10, 0x10, 1});
  // Gone after the first byte of the numbering: 3 gauge bytes, wake, 0x81, 0x00 0x02 0xFD, 0x40.
  sim.AddFault({BusFaultKind::kHangUp, 0, -1, 9});
  Run();
  ExpectPortFailureOnly();
  EXPECT_FALSE(ReportExists());
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
