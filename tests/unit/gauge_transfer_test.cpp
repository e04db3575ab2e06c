// Reading and writing a gauge's setup: against the simulated gauge on a pseudo-terminal (POSIX
// device, real time), and against a fake port on a driven clock for gauges that never answer or
// never fall quiet. Bytes on the wire, slot 0, texts shown, failures.
#include "transfer/gauge_transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_lang.h"
#include "gauge_test_helpers.h"
#include "lang/text16.h"
#include "lang/text_lookup.h"
#include "recording_progress_view.h"
#include "serial/direct_port.h"
#include "serial/serial_device.h"
#include "slots/file_slots.h"
#include "test_files.h"
#include "test_helpers.h"

namespace s470 {
namespace {

using namespace gauge_test;
using sim::Chatter;
using sim::GaugeConfig;
using Kind = RecordingProgressView::Kind;

constexpr int16_t kPort = 5;
const sim::GaugeMemory kGauge = PatternedGauge(1);

// The first n status lines of a transfer (all of them by default), as shown.
std::vector<std::u16string> Shown(size_t n = 51) {
  const std::vector<std::string> lines = ProgressLines();
  std::vector<std::u16string> shown;
  for (size_t i = 0; i < n; ++i) shown.push_back(FromUtf8(lines.at(i)));
  return shown;
}

TEST(ModuleType, FromTheIdentificationLine) {
  const std::pair<std::string, int> cases[] = {
      {"R/S470-ae1\r", 1}, {"R/S470-im2\r", 2}, {"R/S470-ae1", 1},  // no CR: ended by silence
      {"R/S470-xx0", 2},   {"R/S470-xx3", 2},
      {"R/S470-", 2},  // nothing at index 9
      {"R/S471-ae1\r", 0}, {"r/s470-ae1\r", 0}, {"R/S470", 0}, {std::string("R/S\0" "70-ae1", 10), 0}};
  for (const auto& [line, type] : cases) EXPECT_EQ(ModuleTypeFromIdentification(line), type) << line;
}

class GaugeTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetBrand(0);
    lang_.texts = {
        {1000, u"Read setup from the ORV S470 gauge"}, {1001, u"Write setup to the ORV S470 gauge"},
        {1002, u"Connection"}, {1003, u"Transferred: "},
        {1004, FromUtf8(kNoConnection)}, {1005, FromUtf8(kNotAccepted)},
    };
    image_ = PatternedSetup();
    setupPath_ = dir_.Path("gauge.s47");
    WriteFileBytes(setupPath_, image_);
    ASSERT_EQ(OpenFileSlot(0, FromUtf8(setupPath_).c_str(), kSetupFileSize), 0);
  }
  void TearDown() override {
    runner_.reset();
    CloseDirectPort();
    CloseFileSlot(0);
    SetSerialDeviceFactory(nullptr);
    SetDirectPortClock(nullptr);
  }

  // A fresh simulated gauge (and progress view) for each case.
  void StartGauge(GaugeConfig config = {}) {
    runner_.reset();
    sim_ = std::make_unique<sim::GaugeSim>(config);
    sim_->SetMemory(kGauge);
    const std::string link = dir_.Path("com" + std::to_string(kPort));
    runner_ = std::make_unique<sim::GaugeSimRunner>(*sim_, link);
    setenv(("S470_COM" + std::to_string(kPort)).c_str(), link.c_str(), 1);
    view_ = RecordingProgressView();
  }
  // The fake port on its driven clock instead.
  void UseFakePort() {
    FakePort::Reset();
    SetSerialDeviceFactory(&FakePort::New);
    SetDirectPortClock(&clock_);
    view_ = RecordingProgressView();
  }
  int16_t Transfer(bool reading) {
    return reading ? ReadSetupFromGauge(nullptr, kPort, view_) : WriteSetupToGauge(nullptr, kPort, view_);
  }

  Bytes Slot() const {
    Bytes b(7500);
    for (uint32_t a = 0; a < b.size(); ++a) b[a] = GetSlotByte(0, a);
    return b;
  }

  // The title, every status line followed by its repaint, a dispatch after each block, "o.k."
  // for a second, the dialog gone, and the port released (another opener gets it at once).
  void ExpectDone(const char16_t* title, const std::vector<std::u16string>& lines) {
    EXPECT_EQ(view_.Texts(Kind::kCreate), std::vector<std::u16string>{title});
    EXPECT_EQ(view_.Texts(Kind::kStatus), lines);
    EXPECT_EQ(view_.Count(Kind::kPump), 48);
    EXPECT_EQ(view_.Count(Kind::kMessage), 0);
    for (size_t i = 0; i < view_.events.size(); ++i)
      if (view_.events[i].kind == Kind::kStatus) {
        ASSERT_LT(i + 1, view_.events.size());
        EXPECT_EQ(view_.events[i + 1].kind, Kind::kRepaint) << i;
      }
    ASSERT_EQ(view_.events.back().kind, Kind::kDestroy);
    EXPECT_GE(view_.events.back().ms - view_.Last(Kind::kStatus)->ms, 995);
    EXPECT_FALSE(IsDirectPortOpen());
    EXPECT_TRUE(NewPlatformSerialDevice()->Open(kPort));
  }
  // One box with the text, the dialog gone, never "o.k.", the port closed, nothing lost.
  void ExpectFailure(const char* text, size_t statusLines) {
    EXPECT_EQ(view_.Texts(Kind::kMessage), std::vector<std::u16string>{FromUtf8(text)});
    EXPECT_EQ(view_.Last(Kind::kMessage)->style, 48u);
    ASSERT_FALSE(view_.events.empty());
    EXPECT_EQ(view_.events.back().kind, Kind::kDestroy);
    EXPECT_EQ(view_.Count(Kind::kDestroy), 1);
    EXPECT_EQ(view_.Texts(Kind::kStatus), Shown(statusLines));
    EXPECT_FALSE(IsDirectPortOpen());
    EXPECT_EQ(Slot(), image_);
  }

  FakeLang lang_;
  TempDir dir_;
  std::string setupPath_;
  Bytes image_;
  RecordingProgressView view_;
  std::unique_ptr<sim::GaugeSim> sim_;
  std::unique_ptr<sim::GaugeSimRunner> runner_;
  FakePort::Clock clock_;
};

// A gauge that is slow to wake (echoes the third pair), talks before the echo, ends its
// identification line by silence and with high bits set (they count as their low 7 bits), and
// pauses within the read time-out: read as usual, with exact bytes, texts and pauses.
TEST_F(GaugeTransferTest, ReadTakesThe48BlocksAndModuleTypeWithExactBytesTextsAndPauses) {
  GaugeConfig config;
  config.faults.beforeEcho = {0x55, 0x00, 0xC9, 0x0D};
  config.faults.wakeOnPair = 3;
  config.faults.identificationWithoutCr = true;
  config.identification = "\xD2/S470-\xE1\xE5\xB1";
  config.faults.slowBlock = 7;
  config.faults.slowMs = 150;
  StartGauge(config);
  view_.onPump = [&] {  // the host sees its old setup until the last block is in
    EXPECT_EQ(GetSlotByte(0, 256), image_[256]);
    EXPECT_EQ(GetSlotByte(0, 255), image_[255]);
  };
  Window parent = reinterpret_cast<Window>(0x1234);
  ASSERT_EQ(ReadSetupFromGauge(parent, kPort, view_), 0);
  EXPECT_EQ(view_.parent, parent);
  EXPECT_EQ(Slot(), SetupAfterRead(image_, kGauge, 1));
  ExpectDone(u"Read setup from the ORV S470 gauge", Shown());
  runner_->Stop();
  EXPECT_EQ(runner_->Bytes('>'), Cat({ReadStart(3), kEndCommandBytes}));
  EXPECT_EQ(runner_->Bytes('<'), Cat({config.faults.beforeEcho, {0x8D}, ToBytes(config.identification),
                                      WithChecksums(kGauge.data())}));
  // The pauses: 100 ms between the confirmations and after the lead-in; all at 4800 8N2.
  std::vector<sim::LogEntry> host;
  for (const auto& e : runner_->Log()) {
    EXPECT_EQ(e.line.ToString(), "4800 N 2");
    if (e.direction == '>') host.push_back(e);
  }
  ASSERT_EQ(host.size(), 17u);
  EXPECT_GE(host[7].ms - host[6].ms, 90);
  EXPECT_GE(host[13].ms - host[12].ms, 90);
  EXPECT_TRUE(sim_->Stats().violations.empty());
  EXPECT_EQ(sim_->Stats().readsEnded, 1);
}

// Status lines are cut to their hundred characters.
TEST_F(GaugeTransferTest, WriteSends48BlocksWithChecksumsAndTheGaugeKeepsThem) {
  lang_.texts[1002] = std::u16string(120, u'c');
  lang_.texts[1003] = std::u16string(95, u't');
  StartGauge();
  ASSERT_EQ(WriteSetupToGauge(nullptr, kPort, view_), 0);
  EXPECT_EQ(runner_->Bytes('>'), Cat({WriteStart(), WithChecksums(&image_[256]), kEndCommandBytes}));
  EXPECT_EQ(runner_->Bytes('<'), Cat({{0x8D}, Repeat({0x01}, 48)}));
  EXPECT_EQ(AsBytes(sim_->Memory()), Bytes(image_.begin() + 256, image_.begin() + 1024));
  EXPECT_EQ(sim_->Stats().writesCompleted, 1);
  EXPECT_TRUE(sim_->Stats().violations.empty());
  EXPECT_EQ(Slot(), image_);  // writing only reads the setup
  std::vector<std::u16string> lines = Shown();
  lines[0] = std::u16string(99, u'c');
  for (int a = 272; a <= 1024; a += 16) {
    const std::u16string tail = FromUtf8(std::to_string(a) + " / 1024");
    lines[(a - 256) / 16 + 1] = (std::u16string(95, u't') + tail).substr(0, 99);
  }
  ExpectDone(u"Write setup to the ORV S470 gauge", lines);
}

// Every failed transfer: its text, the port released, on the wire exactly what came before the
// fault (no end command), and the setup and the gauge exactly as they were.
TEST_F(GaugeTransferTest, FailedTransferShowsItsTextAndLosesNothing) {
  const Bytes blocks = WithChecksums(&image_[256]);
  auto writeUpTo = [&](size_t n) { return Cat({WriteStart(), Bytes(blocks.begin(), blocks.begin() + n)}); };
  const struct {
    const char* name;
    bool reading;
    std::function<void(GaugeConfig&)> set;
    int statusLines;  // shown before the failure
    Bytes sent;       // by the host
    const char* text;
  } cases[] = {
      {"read: wrong checksum in the last block", true, [](GaugeConfig& c) { c.faults.badChecksumBlock = 48; },
       2 + 47, ReadStart(), kNoConnection},
      {"read: block 10 later than the read time-out", true, [](GaugeConfig& c) {
         c.faults.slowBlock = 10;
         c.faults.slowMs = 450;
       }, 2 + 9, ReadStart(), kNoConnection},
      {"read: hang-up in block 20", true, [](GaugeConfig& c) {
         c.faults.hangUpBlock = 20;
         c.pace = true;  // a hang-up drops what the host has not read yet: let it keep up
       }, 2 + 19, ReadStart(), kNoConnection},
      {"write: block 30 refused", false, [](GaugeConfig& c) { c.faults.refuseBlock = 30; }, 2 + 29,
       writeUpTo(30 * 17), kNotAccepted},
      {"write: acknowledgement of block 3 too late", false, [](GaugeConfig& c) {
         c.faults.slowBlock = 3;
         c.faults.slowMs = 450;
       }, 2 + 2, writeUpTo(3 * 17), kNoConnection},
      // The gauge takes a block and a half before it hangs up.
      {"write: hang-up in block 2", false, [](GaugeConfig& c) { c.faults.hangUpBlock = 2; }, 2 + 1,
       writeUpTo(17 + 8), kNoConnection}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GaugeConfig config;
    c.set(config);
    StartGauge(config);
    EXPECT_EQ(Transfer(c.reading), 1);
    ExpectFailure(c.text, c.statusLines);
    if (config.faults.hangUpBlock == 0) {
      EXPECT_TRUE(NewPlatformSerialDevice()->Open(kPort));
    }
    runner_->Stop();  // every byte is in the log
    EXPECT_EQ(runner_->Bytes('>'), c.sent);
    EXPECT_EQ(sim_->Memory(), kGauge);
    runner_.reset();
  }
  // The setup file is untouched as well when the host closes it now.
  ASSERT_EQ(CloseFileSlot(0), 0);
  EXPECT_EQ(ReadFileBytes(setupPath_), image_);
}

// A gauge that never falls quiet (on open, instead of the echo, after the handshake, in the
// identification line) is given up on after the quiet limit, not waited for.
TEST_F(GaugeTransferTest, GaugeThatNeverFallsQuietIsGivenUpAfterTheQuietLimit) {
  const struct {
    const char* name;
    size_t chatterAfter;  // bytes written; the gauge echoes the first wake-up pair
    int statusLines;
  } cases[] = {{"while the input is emptied on open", 0, 1},
               {"instead of the echo", 2, 2},
               {"after the confirmations", 4, 2},
               {"endless identification line", 6, 2}};
  for (bool reading : {true, false})
    for (const auto& c : cases) {
      if (!reading && c.chatterAfter == 6) continue;  // a write asks for no identification
      SCOPED_TRACE(std::string(c.name) + (reading ? ", read" : ", write"));
      UseFakePort();
      const size_t after = c.chatterAfter;
      FakePort::chatter = after == 0;
      FakePort::gauge = [after] {
        const size_t n = FakePort::written.size();
        if (n == 2 && after != 2) FakePort::ready = {0x8D};
        if (n >= after) FakePort::chatter = true;
      };
      EXPECT_EQ(Transfer(reading), 1);
      ExpectFailure(kNoConnection, c.statusLines);
      const Bytes start = ReadStart();
      EXPECT_EQ(FakePort::written, Bytes(start.begin(), start.begin() + after));
      EXPECT_GE(FakePort::nowMs, kQuietLimitMs);
      EXPECT_LT(FakePort::nowMs, kQuietLimitMs + 1000);
    }
}

// No gauge to talk to: a port that cannot be opened, or one on which the gauge never answers:
// 101 wake-up pairs, each given the 300 ms read time-out.
TEST_F(GaugeTransferTest, NoGaugeEndsIn1004AfterTheWakeAttempts) {
  setenv(("S470_COM" + std::to_string(kPort)).c_str(), "/nonexistent/tty", 1);
  for (bool silent : {false, true})
    for (bool reading : {true, false}) {
      SCOPED_TRACE(std::string(silent ? "silent gauge, " : "no port, ") + (reading ? "read" : "write"));
      if (silent) UseFakePort();
      view_ = RecordingProgressView();
      EXPECT_EQ(Transfer(reading), 1);
      ExpectFailure(kNoConnection, silent ? 2 : 1);
      if (!silent) continue;
      EXPECT_EQ(FakePort::written, Repeat({0xC9, 0x8D}, 101));
      // Emptying the input, then one read per attempt.
      EXPECT_EQ(std::count(FakePort::calls.begin(), FakePort::calls.end(), "read"), 1 + 101);
      EXPECT_EQ(FakePort::nowMs, 300 * (1 + 101));
    }
}

TEST_F(GaugeTransferTest, PrepareChannelRecordsDefaultsOnlyRecordsWithBothBytesZero) {
  const uint8_t before[8][2] = {{0, 0}, {0, 5}, {1, 0}, {0, 0}, {7, 7}, {0, 0}, {0, 0x80}, {9, 0}};
  SetChannelBytes(image_, before);
  image_[384 + 80 * 8 + 65] = image_[384 + 80 * 8 + 66] = 0;  // past the eighth record
  for (uint32_t a = 0; a < 7500; ++a) SetSlotByte(0, a, image_[a]);
  PrepareChannelRecords();
  for (int k : {0, 3, 5}) image_[384 + 80 * k + 66] = 0x80;
  EXPECT_EQ(Slot(), image_);
}

}  // namespace
}  // namespace s470
