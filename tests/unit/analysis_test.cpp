// The bus analysis: report lines, and whole analyses on the fake wire with the driven bus clock,
// the modules being scripted answers to identify and numbering.
#include "analysis/bus_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
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

using Bytes = std::vector<uint8_t>;
using Events = std::vector<std::string>;

// The name ends at its zero byte, whatever follows it in the identity block. (The versions,
// serial numbers and eight-character names are in the report of the whole analyses below.)
TEST(AnalysisReport, NameEndsAtItsZeroByte) {
  uint8_t block[48];
  for (int i = 0; i < 48; ++i) block[i] = static_cast<uint8_t>(0x80 + i);
  const uint8_t fields[] = {0, 'A', 'B', 0, 'X'};  // 'X' lies after the end of the name
  std::copy(fields, fields + 5, block + 23);
  const BusModule m = ModuleFromIdentity(block);
  EXPECT_EQ(std::string(m.name, sizeof m.name), std::string("AB\0\0\0\0\0\0\0", 9));
}

// A module's whole answer to identify: the acknowledgement and its identity block.
Bytes Answer(const sim::SimModule& m) {
  return Join({{0x00}, sim::IdentityBlock(m)});
}
template <typename T>
std::vector<T> First(const std::vector<T>& v, size_t n) {
  return std::vector<T>(v.begin(), v.begin() + static_cast<long>(n));
}

const Bytes kAnswerA = Answer({"A", 0x10, 0x10, 1});
const Bytes kAnswerB = Answer({"B", 0x10, 0x10, 2});
const Bytes kBootAnswer = First(Answer({"A", 0x10, 0x10, 1, true}), 25);
const std::string kLineA = "A  /  Hardware = V1.0  /  Software = V1.0  /  Ser.Nr. = 00000001\r\n";
const std::string kOldReport(500, 'x');

// One analysis as the host runs it, on COM5 of the fake wire, which echoes every byte.
class AnalysisOnBus : public ::testing::Test {
 protected:
  static constexpr int16_t kPort = 5;
  Window owner = reinterpret_cast<Window>(0x1234);

  void SetUp() override {
    lang.texts[1004] = u"No connection";
    lang.texts[1201] = u"Analysis done";
    SetBrand(0);
    TakeFixedMessages();
    TakeNotepadCalls();
  }

  // The fake wire, with the modules answering on it: after the n-th identify comes
  // identifyAnswers[n] (nothing after the last), then noise from noiseAfterMs on if that is set
  // (the first identify only), the second half of a block secondHalfLateMs after the first;
  // after numbering n comes numberAnswers[n], 0x00 if unset.
  void StartWire() {
    scope_.emplace(true);
    Wire().echo = true;
    Wire().phaseMs = phaseMs;
    identifies = 0;
    numbers.clear();
    Wire().onWrite = [this] {
      FakeWire& w = Wire();
      const size_t n = w.written.size();
      if (n < 2 || static_cast<uint8_t>(~w.written[n - 2]) != w.written[n - 1]) return;
      const uint8_t command = w.written[n - 2];
      if (command == 0x02) {
        if (static_cast<size_t>(identifies) < identifyAnswers.size()) {
          const Bytes& answer = identifyAnswers[static_cast<size_t>(identifies)];
          const size_t firstHalf = std::min<size_t>(answer.size(), 1 + 24);
          w.Arrive(w.nowMs + 1, First(answer, firstHalf));
          w.Arrive(w.nowMs + 1 + secondHalfLateMs, Bytes(answer.begin() + firstHalf, answer.end()));
        }
        if (identifies++ == 0 && noiseAfterMs >= 0)
          w.Arrive(w.nowMs + noiseAfterMs, Bytes(50, 0x55), 10);
      } else if (command >= 0x40) {
        numbers.push_back(command - 0x40);
        const auto it = numberAnswers.find(command - 0x40);
        w.Arrive(w.nowMs + 1, it != numberAnswers.end() ? it->second : Bytes{0x00});
      }
    };
  }
  void Run(const std::vector<Bytes>& answers) {
    identifyAnswers = answers;
    StartWire();
    lang.boxes.clear();
    RunBusAnalysis(owner, kPort);
  }

  std::string Report() const { return Text(ReadFileBytes(dir.Path("Analysis.txt"))); }

  // One box: text 1201 with Notepad showing the report, or text 1004 alone; the port closed.
  void ExpectOneBox(bool done) {
    EXPECT_EQ(TakeNotepadCalls(), std::vector<std::string>(done ? 1 : 0, "notepad analysis.txt"));
    ASSERT_EQ(lang.boxes.size(), 1u);
    const FakeLang::Box& box = lang.boxes[0];
    EXPECT_EQ(box.text, done ? u"Analysis done" : u"No connection");
    EXPECT_EQ(box.hasCaption, done);
    EXPECT_EQ(box.caption, done ? u"Attention" : u"");
    EXPECT_EQ(box.style, done ? kInformationIcon : kStopIcon);
    EXPECT_FALSE(BusPortIsOpen(kPort));
  }

  TempDir dir;
  InFolder inDir{dir.path()};  // the report file is written to the current folder
  FakeLang lang;
  std::vector<Bytes> identifyAnswers;
  std::map<int, Bytes> numberAnswers;
  double noiseAfterMs = -1;
  double secondHalfLateMs = 0;
  double phaseMs = 0;  // where the bus clock's tick boundaries lie
  int identifies = 0;
  std::vector<int> numbers;  // the numbering commands sent

 private:
  std::optional<FakeWireScope> scope_;
};

// Everything on the line: the bus start, the scan with mark parity, and the closing wake byte
// and 0x81 with space parity; every open at 115200 8 bits 2 stop bits with DTR and RTS on.
TEST_F(AnalysisOnBus, TwoModulesAreNumberedInOrderAndReplaceALongerOldReport) {
  WriteFileBytes(dir.Path("Analysis.txt"), ToBytes(kOldReport));
  Run({Answer({"QLB-mc1", 0x10, 0x23, 4711}), Answer({"ABCDEFGH", 0x21, 0x1A, 12345678})});
  EXPECT_EQ(Report(),
            "QLB-mc1  /  Hardware = V1.0  /  Software = V2.3  /  Ser.Nr. = 00004711\r\n"
            "ABCDEFGH  /  Hardware = V2.1  /  Software = V1.:  /  Ser.Nr. = 12345678\r\n");
  const Events open = {"open 5", "apply 115200 8M2 dtr rts", "queues 8192 8192",
                       "timeouts at once"};
  const Events wake = {"write 00 M", "apply 115200 8S2 dtr rts", "write 81 S"};
  const Events close = {"dtr off", "rts off", "close"};
  const Events gauge = {"open 5", "apply 4800 8N2 dtr rts", "queues 8192 8192", "timeouts at once",
                        "write 09 0D 13 N"};
  const Events scan = {"write 00 M",    "write 02 FD M", "write 40 BF M", "write 00 M",
                       "write 02 FD M", "write 41 BE M", "write 00 M",    "write 02 FD M"};
  EXPECT_EQ(Wire().events,
            Join({gauge, close, open, wake, close, open, scan, close, open, wake, close}));
  ExpectOneBox(true);
}

// Faulty answers: five attempts per module, each after a drain of the line (here some cases add
// half a second of noise after the first answer, once a short block's time-out has passed, which
// would spoil the attempts after it); a numbering must be acknowledged with 0x00 at once.
TEST_F(AnalysisOnBus, FaultyAnswersAreRetriedFiveTimesAfterADrain) {
  const Bytes shortBlock = First(kAnswerA, 31), shortFirstHalf = First(kAnswerA, 11);
  const struct {
    const char* what;
    std::vector<Bytes> answers;
    std::map<int, Bytes> numberAnswers;
    double noiseAfterMs;
    std::string report;  // kOldReport: failed, untouched
    int identifies;
    size_t bootMessages;
  } cases[] = {
      {"an empty bus", {}, {}, -1, "No modules found", 1, 0},
      {"short blocks for good", std::vector<Bytes>(5, shortBlock), {}, -1, kOldReport, 5, 0},
      {"numbering acknowledged with 0x15", {kAnswerA, kAnswerB}, {{1, {0x15}}}, -1, kOldReport, 2,
       0},
      {"bad acknowledgement and noise", {{0x15}, kAnswerA}, {}, 2, kLineA, 3, 0},
      {"short first half and noise", {shortFirstHalf, kAnswerA}, {}, 450, kLineA, 3, 0},
      {"short block and noise", {shortBlock, kAnswerA}, {}, 450, kLineA, 3, 0},
      {"bootloader block and noise", {kBootAnswer, kAnswerA}, {}, 2, kLineA, 3, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(dir.Path("Analysis.txt"), ToBytes(kOldReport));
    numberAnswers = c.numberAnswers;
    noiseAfterMs = c.noiseAfterMs;
    Run(c.answers);
    EXPECT_EQ(Report(), c.report);
    EXPECT_EQ(identifies, c.identifies);
    EXPECT_EQ(
        TakeFixedMessages(),
        std::vector<std::string>(c.bootMessages, "One QLBus module is in the QLB-bootloader mode"));
    ExpectOneBox(c.report != kOldReport);
  }
}

// Each half of the identity block has its own 300 ms: a second half that comes 370 ms after the
// first (whose bytes take the host some 80 ms of the driven clock to read) is still taken. With
// 250 ms for it the module would be lost.
TEST_F(AnalysisOnBus, SecondHalfOfTheBlockMayComeAlmost300MsLate) {
  secondHalfLateMs = 370;
  phaseMs = 25;
  Run({kAnswerA});
  EXPECT_EQ(Report(), kLineA);
  EXPECT_EQ(identifies, 2);
  ExpectOneBox(true);
}

// The table holds 90 modules: a 91st is neither numbered nor asked again.
TEST_F(AnalysisOnBus, ScanStopsWhenTheTableIsFull) {
  std::vector<Bytes> answers;
  for (int i = 0; i < 91; ++i)
    answers.push_back(
        Answer({"M" + std::to_string(i), 0x10, 0x11, static_cast<uint32_t>(1000 + i)}));
  Run(answers);
  EXPECT_EQ(identifies, 90);
  ASSERT_EQ(numbers.size(), 90u);
  EXPECT_EQ(numbers[89], 89);
  ExpectOneBox(true);
}

// An open that fails at any of its 18 steps (device, settings, queues, time-outs of the gauge line,
// the wake byte's line, the module line and the closing wake byte's line; the space parities after
// the wake bytes) ends the analysis with the failure text, no report, the port closed.
TEST_F(AnalysisOnBus, PortThatCannotBeOpenedAtAnyStepGivesTheFailureText) {
  for (int failing = 0; failing <= 18; ++failing) {  // 18: none fails
    SCOPED_TRACE(failing);
    identifyAnswers.clear();
    StartWire();
    Wire().failCall = failing;
    lang.boxes.clear();
    RunBusAnalysis(owner, kPort);
    ExpectOneBox(failing == 18);
  }
}

TEST_F(AnalysisOnBus, ReportThatCannotBeCreatedIsAFileAccessError) {
  ASSERT_EQ(mkdir(dir.Path("Analysis.txt").c_str(), 0755), 0);
  Run({kAnswerA});
  EXPECT_EQ(TakeFixedMessages(), std::vector<std::string>{"File access error"});
  EXPECT_TRUE(lang.boxes.empty());
  EXPECT_TRUE(TakeNotepadCalls().empty());
}

}  // namespace
}  // namespace s470
