// Reading and writing a gauge's setup against the simulated gauge on a pseudo-terminal (POSIX
// device), with the progress view recorded: bytes on the wire, slot 0, texts shown, failures.
#include "transfer/gauge_transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_lang.h"
#include "gauge_test_helpers.h"
#include "lang/text16.h"
#include "lang/text_lookup.h"
#include "serial/direct_port.h"
#include "serial/serial_device.h"
#include "slots/file_slots.h"
#include "test_files.h"

namespace s470 {
namespace {

using namespace gauge_test;
using sim::Chatter;
using sim::GaugeConfig;
using sim::GaugeSim;
using sim::GaugeSimRunner;
using Kind = RecordingProgressView::Kind;
using Clock = std::chrono::steady_clock;

constexpr int16_t kPort = 5;
const sim::GaugeMemory kGauge = PatternedGauge(1);

// The first n status lines of a transfer (all of them by default), as shown.
std::vector<std::u16string> Shown(size_t n = 51) {
  const std::vector<std::string> lines = ProgressLines();
  std::vector<std::u16string> shown;
  for (size_t i = 0; i < n; ++i) shown.push_back(FromUtf8(lines.at(i)));
  return shown;
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
  }

  // A fresh gauge (and progress view) for each case.
  void StartGauge(GaugeConfig config = {}) {
    runner_.reset();
    sim_ = std::make_unique<GaugeSim>(config);
    sim_->SetMemory(kGauge);
    const std::string link = dir_.Path("com" + std::to_string(kPort));
    runner_ = std::make_unique<GaugeSimRunner>(*sim_, link);
    setenv(("S470_COM" + std::to_string(kPort)).c_str(), link.c_str(), 1);
    view_ = RecordingProgressView();
  }

  Bytes Slot() const {
    Bytes b(7500);
    for (uint32_t a = 0; a < b.size(); ++a) b[a] = GetSlotByte(0, a);
    return b;
  }

  // The port is released after every transfer: another opener gets it at once.
  void ExpectPortReleased() {
    EXPECT_FALSE(IsDirectPortOpen());
    EXPECT_TRUE(NewPlatformSerialDevice()->Open(kPort));
  }

  // One box with the text, the dialog gone, and never "o.k.".
  void ExpectFailureShown(const char* text) {
    const auto boxes = view_.Texts(Kind::kMessage);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], FromUtf8(text));
    EXPECT_EQ(view_.Last(Kind::kMessage)->style, 48u);
    ASSERT_FALSE(view_.events.empty());
    EXPECT_EQ(view_.events.back().kind, Kind::kDestroy);
    EXPECT_EQ(view_.Count(Kind::kDestroy), 1);
    for (const auto& s : view_.Texts(Kind::kStatus)) EXPECT_NE(s, u"o.k.");
  }

  FakeLang lang_;
  TempDir dir_;
  std::string setupPath_;
  Bytes image_;
  RecordingProgressView view_;
  std::unique_ptr<GaugeSim> sim_;
  std::unique_ptr<GaugeSimRunner> runner_;
};

TEST(ModuleType, FromTheIdentificationLine) {
  const std::pair<std::string, int> cases[] = {
      {"R/S470-ae1\r", 1}, {"R/S470-im2\r", 2}, {"R/S470-ae1", 1},  // no CR: ended by silence
      {"R/S470-xx7\r", 2}, {"R/S470-xx0", 2},   {"R/S470-xx3", 2},
      {"R/S470-", 2},  // nothing at index 9
      {"R/S470-\r", 2},    {"R/S471-ae1\r", 0}, {"r/s470-ae1\r", 0},
      {"R/S470", 0},       {"", 0},             {std::string("R/S\0" "70-ae1", 10), 0}};
  for (const auto& [line, type] : cases) EXPECT_EQ(ModuleTypeFromIdentification(line), type) << line;
}

TEST(BlockChecksum, IsTheComplementOfTheEightBitSum) {
  const struct {
    uint8_t fill, first, checksum;
  } cases[] = {{0x00, 0x00, 0xFF}, {0x01, 0x01, 0xEF},
               {0x10, 0x10, 0xFF},   // the sum wraps to 0
               {0xFF, 0xFF, 0x0F},   // 16 * 255 = 0xFF0
               {0xFF, 0x12, 0xFC}};
  for (const auto& c : cases) {
    uint8_t block[16];
    std::fill(block, block + 16, c.fill);
    block[0] = c.first;
    EXPECT_EQ(BlockChecksum(block), c.checksum) << int(c.fill) << " " << int(c.first);
  }
}

TEST_F(GaugeTransferTest, ReadTakesThe48BlocksAndModuleTypeWithExactBytesTextsAndPauses) {
  StartGauge();
  int pumps = 0;
  view_.onPump = [&] {
    ++pumps;
    // The host sees its old setup until the last block is in.
    EXPECT_EQ(GetSlotByte(0, 256), image_[256]);
    EXPECT_EQ(GetSlotByte(0, 255), image_[255]);
  };
  Window parent = reinterpret_cast<Window>(0x1234);
  ASSERT_EQ(ReadSetupFromGauge(parent, kPort, view_), 0);

  EXPECT_EQ(Slot(), SetupAfterRead(image_, kGauge, 1));
  EXPECT_EQ(runner_->Bytes('>'), Cat({ReadStart(), kEndCommandBytes}));
  EXPECT_EQ(runner_->Bytes('<'), Cat({{0x8D}, Bytes{'R', '/', 'S', '4', '7', '0', '-', 'a', 'e', '1', '\r'},
                                      WithChecksums(kGauge.data())}));

  // The pauses: 100 ms between the confirmations and after the lead-in; all at 4800 8N2.
  std::vector<sim::LogEntry> host;
  for (const auto& e : runner_->Log()) {
    EXPECT_EQ(e.line.ToString(), "4800 N 2");
    if (e.direction == '>') host.push_back(e);
  }
  ASSERT_EQ(host.size(), 13u);
  EXPECT_GE(host[3].ms - host[2].ms, 90);
  EXPECT_GE(host[9].ms - host[8].ms, 90);
  EXPECT_TRUE(sim_->Stats().violations.empty());
  EXPECT_EQ(sim_->Stats().readsEnded, 1);

  EXPECT_EQ(view_.parent, parent);
  EXPECT_EQ(view_.Texts(Kind::kCreate), (std::vector<std::u16string>{u"Read setup from the ORV S470 gauge"}));
  EXPECT_EQ(view_.Texts(Kind::kStatus), Shown());
  EXPECT_EQ(pumps, 48);
  EXPECT_EQ(view_.Count(Kind::kMessage), 0);
  ASSERT_EQ(view_.events.back().kind, Kind::kDestroy);
  EXPECT_GE(view_.events.back().ms - view_.Last(Kind::kStatus)->ms, 995);  // "o.k." for a second
  // Every status change is repainted before anything else happens.
  for (size_t i = 0; i < view_.events.size(); ++i)
    if (view_.events[i].kind == Kind::kStatus) {
      ASSERT_LT(i + 1, view_.events.size());
      EXPECT_EQ(view_.events[i + 1].kind, Kind::kRepaint) << i;
    }
  ExpectPortReleased();
}

// Gauges that are slow to wake, talk before the echo, end the identification line by silence
// or with high bits set, or pause within the read time-out: all read as usual.
TEST_F(GaugeTransferTest, ReadCopesWithUnusualButWorkingGauges) {
  const struct {
    const char* name;
    std::function<void(GaugeConfig&)> set;
  } cases[] = {
      {"other bytes before the echo", [](GaugeConfig& c) { c.faults.beforeEcho = {0x55, 0x00, 0xC9, 0x0D}; }},
      {"echo only to the third pair", [](GaugeConfig& c) { c.faults.wakeOnPair = 3; }},
      {"identification ended by silence", [](GaugeConfig& c) { c.faults.identificationWithoutCr = true; }},
      // High bits count as their low 7 bits.
      {"identification with high bits", [](GaugeConfig& c) { c.identification = "\xD2/S470-\xE1\xE5\xB1"; }},
      {"block 7 late within the read time-out", [](GaugeConfig& c) {
         c.faults.slowBlock = 7;
         c.faults.slowMs = 150;
       }}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GaugeConfig config;
    c.set(config);
    StartGauge(config);
    SetSlotByte(0, 255, 0x77);
    ASSERT_EQ(ReadSetupFromGauge(nullptr, kPort, view_), 0);
    EXPECT_EQ(view_.Count(Kind::kMessage), 0);
    runner_->Stop();
    EXPECT_EQ(runner_->Bytes('>'), Cat({ReadStart(config.faults.wakeOnPair), kEndCommandBytes}));
    const Bytes toHost = runner_->Bytes('<');
    const Bytes& noise = config.faults.beforeEcho;
    EXPECT_EQ(Bytes(toHost.begin(), toHost.begin() + noise.size() + 1), Cat({noise, {0x8D}}));
    EXPECT_EQ(Slot(), SetupAfterRead(image_, kGauge, 1));
    EXPECT_TRUE(sim_->Stats().violations.empty());
  }
}

// Every failed transfer: its text, the port released, the dialog gone without "o.k.", on the
// wire exactly what came before the fault (no end command), and the setup and the gauge
// exactly as they were (slot 0 also in byte 255). A gauge that never falls quiet is given up
// on after the quiet limit, not waited for.
TEST_F(GaugeTransferTest, FailedTransferShowsItsTextAndLosesNothing) {
  const Bytes blocks = WithChecksums(&image_[256]);
  auto writeUpTo = [&](size_t n) { return Cat({WriteStart(), Bytes(blocks.begin(), blocks.begin() + n)}); };
  auto chatter = [](Chatter kind) { return [kind](GaugeConfig& c) { c.faults.chatter = kind; }; };
  const struct {
    const char* name;
    bool reading;
    std::function<void(GaugeConfig&)> set;
    int statusLines;  // shown before the failure
    Bytes sent;       // by the host
    const char* text;
    bool quietLimit = false;
  } cases[] = {
      {"read: wrong checksum in block 5", true, [](GaugeConfig& c) { c.faults.badChecksumBlock = 5; }, 2 + 4,
       ReadStart(), kNoConnection},
      {"read: block 10 later than the read time-out", true, [](GaugeConfig& c) {
         c.faults.slowBlock = 10;
         c.faults.slowMs = 450;
       }, 2 + 9, ReadStart(), kNoConnection},
      {"read: hang-up in block 20", true, [](GaugeConfig& c) {
         c.faults.hangUpBlock = 20;
         c.pace = true;  // a hang-up drops what the host has not read yet: let it keep up
       }, 2 + 19, ReadStart(), kNoConnection},
      {"read: wrong checksum in the last block", true, [](GaugeConfig& c) { c.faults.badChecksumBlock = 48; },
       2 + 47, ReadStart(), kNoConnection},
      {"read: chatter while the input is emptied on open", true, chatter(Chatter::kFromStart), 1, {},
       kNoConnection, true},
      {"read: chatter instead of the echo", true, chatter(Chatter::kInsteadOfEcho), 2, {0xC9, 0x8D},
       kNoConnection, true},
      {"read: chatter after the confirmations", true, chatter(Chatter::kAfterHandshake), 2,
       {0xC9, 0x8D, 0x8D, 0x8D}, kNoConnection, true},
      {"read: endless identification line", true, chatter(Chatter::kEndlessIdentification), 2,
       {0xC9, 0x8D, 0x8D, 0x8D, 0xC9, 0x8D}, kNoConnection, true},
      {"write: block 1 refused", false, [](GaugeConfig& c) { c.faults.refuseBlock = 1; }, 2, writeUpTo(17),
       kNotAccepted},
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
    const auto t0 = Clock::now();
    EXPECT_EQ(c.reading ? ReadSetupFromGauge(nullptr, kPort, view_) : WriteSetupToGauge(nullptr, kPort, view_), 1);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    if (c.quietLimit) {
      EXPECT_GE(ms, kQuietLimitMs);
      EXPECT_LT(ms, kQuietLimitMs + 2500);
    }
    ExpectFailureShown(c.text);
    EXPECT_EQ(view_.Texts(Kind::kStatus), Shown(c.statusLines));
    if (config.faults.hangUpBlock == 0) ExpectPortReleased();  // (a hung-up line comes back later)
    EXPECT_FALSE(IsDirectPortOpen());
    runner_->Stop();  // every byte is in the log
    EXPECT_EQ(runner_->Bytes('>'), c.sent);
    EXPECT_EQ(Slot(), image_);
    EXPECT_EQ(sim_->Memory(), kGauge);
    runner_.reset();
  }
  // The setup file is untouched as well when the host closes it now.
  ASSERT_EQ(CloseFileSlot(0), 0);
  EXPECT_EQ(ReadFileBytes(setupPath_), image_);
}

// No gauge to talk to: a port that cannot be opened, or one on which the gauge never answers
// (its reads time out at once here, so all 101 attempts count quickly; the real-time case runs
// under Wine).
TEST_F(GaugeTransferTest, NoGaugeEndsIn1004AfterTheWakeAttempts) {
  setenv(("S470_COM" + std::to_string(kPort)).c_str(), "/nonexistent/tty", 1);
  for (bool silent : {false, true}) {
    if (silent) SetSerialDeviceFactory(&FakePort::New);
    for (bool reading : {true, false}) {
      SCOPED_TRACE(std::string(silent ? "silent gauge, " : "no port, ") + (reading ? "read" : "write"));
      FakePort::Reset();
      view_ = RecordingProgressView();
      EXPECT_EQ(reading ? ReadSetupFromGauge(nullptr, kPort, view_) : WriteSetupToGauge(nullptr, kPort, view_), 1);
      ExpectFailureShown(kNoConnection);
      EXPECT_FALSE(IsDirectPortOpen());
      EXPECT_EQ(view_.Texts(Kind::kStatus), Shown(silent ? 2 : 1));
      if (!silent) continue;
      EXPECT_EQ(FakePort::written, Repeat({0xC9, 0x8D}, 101));
      // Emptying the input, then one read per attempt.
      EXPECT_EQ(std::count(FakePort::calls.begin(), FakePort::calls.end(), "read"), 1 + 101);
    }
  }
  EXPECT_EQ(Slot(), image_);
}

TEST_F(GaugeTransferTest, StatusLineNeverPassesItsHundredCharacters) {
  lang_.texts[1002] = std::u16string(120, u'c');
  lang_.texts[1003] = std::u16string(95, u't');
  StartGauge();
  ASSERT_EQ(ReadSetupFromGauge(nullptr, kPort, view_), 0);
  const auto lines = view_.Texts(Kind::kStatus);
  ASSERT_EQ(lines.size(), 51u);
  EXPECT_EQ(lines[0], std::u16string(99, u'c'));
  EXPECT_EQ(lines[2], std::u16string(95, u't') + u"272 ");
  EXPECT_EQ(lines[49], std::u16string(95, u't') + u"1024");
}

// ---- Writing ----

TEST_F(GaugeTransferTest, WriteSends48BlocksWithChecksumsAndTheGaugeKeepsThem) {
  StartGauge();
  ASSERT_EQ(WriteSetupToGauge(nullptr, kPort, view_), 0);
  EXPECT_EQ(runner_->Bytes('>'), Cat({WriteStart(), WithChecksums(&image_[256]), kEndCommandBytes}));
  EXPECT_EQ(runner_->Bytes('<'), Cat({{0x8D}, Repeat({0x01}, 48)}));
  EXPECT_EQ(AsBytes(sim_->Memory()), Bytes(image_.begin() + 256, image_.begin() + 1024));
  const sim::GaugeStats stats = sim_->Stats();
  EXPECT_EQ(stats.lastWriteBytes, 48 * 17);
  EXPECT_EQ(stats.writesCompleted, 1);
  EXPECT_TRUE(stats.violations.empty());
  EXPECT_EQ(Slot(), image_);  // writing only reads the setup

  EXPECT_EQ(view_.Texts(Kind::kCreate), (std::vector<std::u16string>{u"Write setup to the ORV S470 gauge"}));
  EXPECT_EQ(view_.Texts(Kind::kStatus), Shown());
  EXPECT_EQ(view_.Count(Kind::kPump), 48);
  EXPECT_EQ(view_.Count(Kind::kMessage), 0);
  ExpectPortReleased();
}

TEST_F(GaugeTransferTest, PrepareChannelRecordsDefaultsOnlyRecordsWithBothBytesZero) {
  const uint8_t before[8][2] = {{0, 0}, {0, 5}, {1, 0}, {0, 0}, {7, 7}, {0, 0x80}, {0, 0}, {9, 0}};
  SetChannelBytes(image_, before);
  for (uint32_t a = 0; a < 7500; ++a) SetSlotByte(0, a, image_[a]);
  PrepareChannelRecords();
  for (int k : {0, 3, 6}) image_[384 + 80 * k + 66] = 0x80;
  EXPECT_EQ(Slot(), image_);
}

// ---- The simulated gauge itself: it must be as strict as a real one about the pauses ----

TEST_F(GaugeTransferTest, GaugeLosesConfirmationsAndCommandsSentWithoutThePauses) {
  StartGauge();
  auto device = NewPlatformSerialDevice();
  ASSERT_TRUE(device->Open(kPort));
  ASSERT_TRUE(device->Apply(LineSettings{}));
  ASSERT_TRUE(device->SetReadTimeouts(ReadTimeouts::kWait300ms));
  auto send = [&](Bytes bytes) { device->Write(bytes.data(), static_cast<int>(bytes.size())); };
  uint8_t b = 0;
  send({0xC9, 0x8D});
  ASSERT_EQ(device->Read(&b, 1), 1);
  send({0x8D, 0x8D});  // no 100 ms between the confirmations: the second is lost
  SleepMs(100);
  send({0x8D});        // now the gauge is awake
  send({0x10, 0x0D, 0x13, 0xC2, 0x3D});  // read command at once after the lead-in: lost
  EXPECT_EQ(device->Read(&b, 1), 0);
  send({0x10, 0x0D, 0x13});
  SleepMs(100);
  send({0xC2, 0x3D});
  ASSERT_EQ(device->Read(&b, 1), 1);  // the blocks come
  EXPECT_EQ(b, kGauge[0]);
  EXPECT_EQ(sim_->Stats().violations,
            (std::vector<std::string>{"second 0x8D too soon after the first",
                                      "read command too soon after the lead-in"}));
}

}  // namespace
}  // namespace s470
