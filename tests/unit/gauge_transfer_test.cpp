// Reading and writing a gauge's setup against the simulated gauge on a pseudo-terminal (POSIX
// device), with the progress view recorded: bytes on the wire, slot 0, texts shown, failures.
#include "transfer/gauge_transfer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fake_lang.h"
#include "gauge_sim.h"
#include "lang/text16.h"
#include "lang/text_lookup.h"
#include "serial/direct_port.h"
#include "serial/serial_device.h"
#include "slots/file_slots.h"
#include "test_files.h"

namespace s470 {
namespace {

using sim::Chatter;
using sim::GaugeConfig;
using sim::GaugeMemory;
using sim::GaugeSim;
using sim::GaugeSimRunner;
using Bytes = std::vector<uint8_t>;
using Kind = RecordingProgressView::Kind;
using Clock = std::chrono::steady_clock;

constexpr int16_t kPort = 5;

const char16_t kNoConnection[] =
    u"No connection to the ORV module. Please check the cable, the COM port and the power supply "
    u"of the S470, then try again.";
const char16_t kNotAccepted[] =
    u"The S470 gauge did not accept the setup data. The setup in the gauge is incomplete: please "
    u"write it again.";

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes Repeat(const Bytes& b, int n) {
  Bytes all;
  for (int i = 0; i < n; ++i) all.insert(all.end(), b.begin(), b.end());
  return all;
}

Bytes Ascii(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A gauge memory whose first blocks are the checksum cases: zeros (0xFF), sixteen 0x01 (0xEF),
// sixteen 0x10 (sum 0 -> 0xFF); the rest a pattern.
GaugeMemory GaugePattern() {
  GaugeMemory m{};
  for (size_t i = 0; i < m.size(); ++i) m[i] = static_cast<uint8_t>(i * 37 + 11);
  for (int i = 0; i < 16; ++i) {
    m[i] = 0x00;
    m[16 + i] = 0x01;
    m[32 + i] = 0x10;
  }
  return m;
}

// Blocks as the gauge sends them, each followed by its checksum.
Bytes WithChecksums(const uint8_t* data) {
  Bytes out;
  for (int b = 0; b < kGaugeBlocks; ++b) {
    const uint8_t* block = data + b * kGaugeBlockBytes;
    out.insert(out.end(), block, block + kGaugeBlockBytes);
    out.push_back(BlockChecksum(block));
  }
  return out;
}

std::vector<std::u16string> ProgressLines() {
  std::vector<std::u16string> lines = {u"Connection : RS232", u" Please wait ... ( Gauge is busy ) "};
  for (int a = 272; a <= 1024; a += 16) lines.push_back(u"Transferred: " + FromUtf8(std::to_string(a)) + u" / 1024");
  lines.push_back(u"o.k.");
  return lines;
}

class GaugeTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetBrand(0);
    lang_.texts = {
        {1000, u"Read setup from the ORV S470 gauge"},
        {1001, u"Write setup to the ORV S470 gauge"},
        {1002, u"Connection"},
        {1003, u"Transferred: "},
        {1004, kNoConnection},
        {1005, kNotAccepted},
    };
    image_.resize(7500);
    for (size_t i = 0; i < image_.size(); ++i) image_[i] = static_cast<uint8_t>(i * 13 + 5);
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

  void StartGauge(GaugeConfig config = {}) {
    runner_.reset();
    sim_ = std::make_unique<GaugeSim>(config);
    sim_->SetMemory(GaugePattern());
    const std::string link = dir_.Path("com" + std::to_string(kPort));
    runner_ = std::make_unique<GaugeSimRunner>(*sim_, link);
    setenv(("S470_COM" + std::to_string(kPort)).c_str(), link.c_str(), 1);
  }

  Bytes Slot() const {
    Bytes b(7500);
    for (uint32_t a = 0; a < b.size(); ++a) b[a] = GetSlotByte(0, a);
    return b;
  }

  // The port is released after every transfer: another opener gets it at once.
  void ExpectPortReleased() {
    EXPECT_FALSE(IsDirectPortOpen());
    auto other = NewPlatformSerialDevice();
    EXPECT_TRUE(other->Open(kPort));
  }

  void ExpectFailureShown(const char16_t* text) {
    const auto boxes = view_.Texts(Kind::kMessage);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], text);
    EXPECT_EQ(view_.Last(Kind::kMessage)->style, 48u);
    ASSERT_FALSE(view_.events.empty());
    EXPECT_EQ(view_.events.back().kind, Kind::kDestroy);
    EXPECT_EQ(view_.Count(Kind::kDestroy), 1);
    for (const auto& s : view_.Texts(Kind::kStatus)) EXPECT_NE(s, u"o.k.");
  }

  // Host bytes before the first block: one wake-up pair answered at once, the confirmations.
  static Bytes Handshake(int pairs = 1) {
    return Cat({Repeat({0xC9, 0x8D}, pairs), {0x8D, 0x8D}});
  }

  FakeLang lang_;
  TempDir dir_;
  std::string setupPath_;
  Bytes image_;
  RecordingProgressView view_;
  std::unique_ptr<GaugeSim> sim_;
  std::unique_ptr<GaugeSimRunner> runner_;
};

TEST_F(GaugeTransferTest, ReadTakesThe48BlocksAndModuleTypeWithExactBytesTextsAndPauses) {
  StartGauge();
  const GaugeMemory gauge = GaugePattern();
  int pumps = 0;
  view_.onPump = [&] {
    ++pumps;
    // The host sees its old setup until the last block is in.
    EXPECT_EQ(GetSlotByte(0, 256), image_[256]);
    EXPECT_EQ(GetSlotByte(0, 255), image_[255]);
  };
  Window parent = reinterpret_cast<Window>(0x1234);
  ASSERT_EQ(ReadSetupFromGauge(parent, kPort, view_), 0);

  Bytes want = image_;
  std::copy(gauge.begin(), gauge.end(), want.begin() + 256);
  want[255] = 1;
  EXPECT_EQ(Slot(), want);

  EXPECT_EQ(runner_->Bytes('>'),
            Cat({Handshake(), {0xC9, 0x8D}, {0x10, 0x0D, 0x13}, {0xC2, 0x3D}, {0xC1, 0x3E}}));
  EXPECT_EQ(runner_->Bytes('<'), Cat({{0x8D}, Ascii("R/S470-ae1\r"), WithChecksums(gauge.data())}));
  const Bytes toHost = runner_->Bytes('<');
  EXPECT_EQ(toHost[12 + 16], 0xFF);  // sixteen 0x00
  EXPECT_EQ(toHost[12 + 33], 0xEF);  // sixteen 0x01
  EXPECT_EQ(toHost[12 + 50], 0xFF);  // sixteen 0x10 sum to 0

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
  EXPECT_EQ(view_.Texts(Kind::kStatus), ProgressLines());
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

TEST(ModuleType, FromTheIdentificationLine) {
  EXPECT_EQ(ModuleTypeFromIdentification("R/S470-ae1\r"), 1);
  EXPECT_EQ(ModuleTypeFromIdentification("R/S470-im2\r"), 2);
  EXPECT_EQ(ModuleTypeFromIdentification("R/S470-ae1"), 1);  // no CR: ended by silence
  EXPECT_EQ(ModuleTypeFromIdentification("R/S470-xx7\r"), 2);
  EXPECT_EQ(ModuleTypeFromIdentification("R/S470-xx0"), 2);
  EXPECT_EQ(ModuleTypeFromIdentification("R/S470-xx3"), 2);
  EXPECT_EQ(ModuleTypeFromIdentification("R/S470-"), 2);  // nothing at index 9
  EXPECT_EQ(ModuleTypeFromIdentification("R/S470-\r"), 2);
  EXPECT_EQ(ModuleTypeFromIdentification("R/S471-ae1\r"), 0);
  EXPECT_EQ(ModuleTypeFromIdentification("r/s470-ae1\r"), 0);
  EXPECT_EQ(ModuleTypeFromIdentification("R/S470"), 0);
  EXPECT_EQ(ModuleTypeFromIdentification(""), 0);
  EXPECT_EQ(ModuleTypeFromIdentification(std::string("R/S\0""70-ae1", 10)), 0);
}

TEST(BlockChecksum, IsTheComplementOfTheSum) {
  uint8_t block[16] = {};
  EXPECT_EQ(BlockChecksum(block), 0xFF);
  std::fill(block, block + 16, 0x01);
  EXPECT_EQ(BlockChecksum(block), 0xEF);
  std::fill(block, block + 16, 0x10);
  EXPECT_EQ(BlockChecksum(block), 0xFF);
  std::fill(block, block + 16, 0xFF);
  EXPECT_EQ(BlockChecksum(block), 0x0F);  // 16 * 255 = 0xFF0
  block[0] = 0x12;
  EXPECT_EQ(BlockChecksum(block), 0xFC);
}

TEST_F(GaugeTransferTest, ModuleTypeOfOtherGaugesAndLinesWithoutCrOrWithHighBits) {
  struct Case {
    std::string id;
    bool withoutCr;
    uint8_t type;
  } cases[] = {{"R/S470-im2", false, 2}, {"Gauge 12", false, 0}, {"R/S470-ae1", true, 1},
               {"\xD2/S470-\xE1\xE5\xB1", false, 1}};  // high bits count as their low 7 bits
  for (const Case& c : cases) {
    GaugeConfig config;
    config.identification = c.id;
    config.faults.identificationWithoutCr = c.withoutCr;
    StartGauge(config);
    view_ = RecordingProgressView();
    SetSlotByte(0, 255, 0x77);
    ASSERT_EQ(ReadSetupFromGauge(nullptr, kPort, view_), 0) << c.id;
    EXPECT_EQ(GetSlotByte(0, 255), c.type) << c.id;
    EXPECT_TRUE(sim_->Stats().violations.empty()) << c.id;
  }
}

TEST_F(GaugeTransferTest, WakeSkipsBytesBeforeTheEchoAndRepeatsThePairUntilEchoed) {
  const struct {
    const char* name;
    Bytes noise;
    int wakeOnPair;
  } cases[] = {{"other bytes before the echo: woken by the first pair", {0x55, 0x00, 0xC9, 0x0D}, 1},
               {"echo only to the third pair", {}, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GaugeConfig config;
    config.faults.beforeEcho = c.noise;
    config.faults.wakeOnPair = c.wakeOnPair;
    StartGauge(config);
    view_ = RecordingProgressView();
    SetSlotByte(0, 255, 0);
    ASSERT_EQ(ReadSetupFromGauge(nullptr, kPort, view_), 0);
    EXPECT_EQ(view_.Count(Kind::kMessage), 0);
    runner_->Stop();
    EXPECT_EQ(runner_->Bytes('>'), Cat({Handshake(c.wakeOnPair), {0xC9, 0x8D}, {0x10, 0x0D, 0x13},
                                        {0xC2, 0x3D}, {0xC1, 0x3E}}));
    const Bytes toHost = runner_->Bytes('<');
    EXPECT_EQ(Bytes(toHost.begin(), toHost.begin() + c.noise.size() + 1), Cat({c.noise, {0x8D}}));
    EXPECT_EQ(GetSlotByte(0, 255), 1);
  }
}

TEST_F(GaugeTransferTest, SlowBlockWithinTheReadTimeoutIsWaitedFor) {
  GaugeConfig config;
  config.faults.slowBlock = 7;
  config.faults.slowMs = 150;
  StartGauge(config);
  EXPECT_EQ(ReadSetupFromGauge(nullptr, kPort, view_), 0);
  EXPECT_EQ(GetSlotByte(0, 256 + 6 * 16), GaugePattern()[6 * 16]);
}

// Every failed read: text 1004, port released, and slot 0 exactly as it was (also byte 255).
TEST_F(GaugeTransferTest, FailedReadShows1004AndLeavesTheSetupAsItWas) {
  struct Case {
    const char* name;
    GaugeConfig config;
    int blocksShown;  // progress lines before the failure
  };
  std::vector<Case> cases;
  {
    GaugeConfig c;
    c.faults.badChecksumBlock = 5;
    cases.push_back({"wrong checksum in block 5", c, 4});
  }
  {
    GaugeConfig c;
    c.faults.slowBlock = 10;
    c.faults.slowMs = 450;
    cases.push_back({"block 10 later than the read time-out", c, 9});
  }
  {
    GaugeConfig c;
    c.faults.hangUpBlock = 20;
    c.pace = true;  // a hang-up drops what the host has not read yet: let it keep up
    cases.push_back({"hang-up in block 20", c, 19});
  }
  {
    GaugeConfig c;
    c.faults.badChecksumBlock = 48;
    cases.push_back({"wrong checksum in the last block", c, 47});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartGauge(c.config);
    view_ = RecordingProgressView();
    EXPECT_EQ(ReadSetupFromGauge(nullptr, kPort, view_), 1);
    EXPECT_EQ(Slot(), image_);
    ExpectFailureShown(kNoConnection);
    const auto lines = view_.Texts(Kind::kStatus);
    ASSERT_EQ(lines.size(), 2u + c.blocksShown);
    EXPECT_EQ(lines.back(), c.blocksShown == 0 ? u" Please wait ... ( Gauge is busy ) "
                                               : u"Transferred: " +
                                                     FromUtf8(std::to_string(256 + 16 * c.blocksShown)) +
                                                     u" / 1024");
    const Bytes host = runner_->Bytes('>');
    ASSERT_GE(host.size(), 2u);
    EXPECT_NE(Bytes(host.end() - 2, host.end()), (Bytes{0xC1, 0x3E}));  // no end command
    runner_.reset();  // a hung-up line is plugged back in: stop first
    EXPECT_FALSE(IsDirectPortOpen());
  }
  // The setup file is untouched as well when the host closes it now.
  ASSERT_EQ(CloseFileSlot(0), 0);
  EXPECT_EQ(ReadFileBytes(setupPath_), image_);
}

TEST_F(GaugeTransferTest, GaugeThatNeverFallsQuietEndsIn1004WithinTheLimit) {
  const struct {
    const char* name;
    Chatter chatter;
  } cases[] = {{"emptying the input on open", Chatter::kFromStart},
               {"bytes instead of the echo", Chatter::kInsteadOfEcho},
               {"after the confirmations", Chatter::kAfterHandshake},
               {"endless identification line", Chatter::kEndlessIdentification}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GaugeConfig config;
    config.faults.chatter = c.chatter;
    StartGauge(config);
    view_ = RecordingProgressView();
    const auto t0 = Clock::now();
    EXPECT_EQ(ReadSetupFromGauge(nullptr, kPort, view_), 1);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    EXPECT_GE(ms, kQuietLimitMs);
    EXPECT_LT(ms, kQuietLimitMs + 2500);
    EXPECT_EQ(Slot(), image_);
    ExpectFailureShown(kNoConnection);
    ExpectPortReleased();
  }
}

// A device on which the gauge never answers, with instant time-outs, so that all 101 attempts
// can be counted without waiting 30 s; the real-time case runs under Wine.
struct SilentDevice : SerialDevice {
  static inline Bytes written;
  static inline int reads = 0;
  bool open = false;
  bool Open(int) override { return open = true; }
  bool Apply(const LineSettings&) override { return true; }
  bool SetQueues(uint32_t, uint32_t) override { return true; }
  bool SetReadTimeouts(ReadTimeouts) override { return true; }
  int Read(uint8_t*, int) override {
    ++reads;
    return 0;
  }
  int Write(const uint8_t* b, int n) override {
    written.insert(written.end(), b, b + n);
    return n;
  }
  bool SetDtr(bool) override { return true; }
  bool SetRts(bool) override { return true; }
  void Close() override { open = false; }
  bool IsOpen() const override { return open; }
};

TEST_F(GaugeTransferTest, SilentGaugeGets101WakePairsThen1004) {
  SetSerialDeviceFactory([]() -> std::unique_ptr<SerialDevice> { return std::make_unique<SilentDevice>(); });
  for (bool reading : {true, false}) {
    SCOPED_TRACE(reading ? "read" : "write");
    SilentDevice::written.clear();
    SilentDevice::reads = 0;
    view_ = RecordingProgressView();
    const int16_t result = reading ? ReadSetupFromGauge(nullptr, kPort, view_)
                                   : WriteSetupToGauge(nullptr, kPort, view_);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(SilentDevice::written, Repeat({0xC9, 0x8D}, 101));
    EXPECT_EQ(SilentDevice::reads, 1 + 101);  // emptying the input, then one per attempt
    ExpectFailureShown(kNoConnection);
    EXPECT_FALSE(IsDirectPortOpen());
    EXPECT_EQ(view_.Texts(Kind::kStatus),
              (std::vector<std::u16string>{u"Connection : RS232", u" Please wait ... ( Gauge is busy ) "}));
  }
  EXPECT_EQ(Slot(), image_);
}

TEST_F(GaugeTransferTest, PortThatCannotBeOpenedShows1004) {
  setenv(("S470_COM" + std::to_string(kPort)).c_str(), "/nonexistent/tty", 1);
  EXPECT_EQ(ReadSetupFromGauge(nullptr, kPort, view_), 1);
  ExpectFailureShown(kNoConnection);
  EXPECT_EQ(view_.Texts(Kind::kStatus), (std::vector<std::u16string>{u"Connection : RS232"}));
  view_ = RecordingProgressView();
  EXPECT_EQ(WriteSetupToGauge(nullptr, kPort, view_), 1);
  ExpectFailureShown(kNoConnection);
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
  EXPECT_EQ(StatusLine(u"Transferred: ", u"1024 / 1024"), u"Transferred: 1024 / 1024");
}

// ---- Writing ----

TEST_F(GaugeTransferTest, WriteSends48BlocksWithChecksumsAndTheGaugeKeepsThem) {
  StartGauge();
  // Checksum cases at the start of the image's gauge range.
  for (int i = 0; i < 16; ++i) {
    image_[256 + i] = 0x00;
    image_[272 + i] = 0x01;
    SetSlotByte(0, 256 + i, 0x00);
    SetSlotByte(0, 272 + i, 0x01);
  }
  ASSERT_EQ(WriteSetupToGauge(nullptr, kPort, view_), 0);
  const Bytes blocks = WithChecksums(&image_[256]);
  EXPECT_EQ(blocks[16], 0xFF);
  EXPECT_EQ(blocks[33], 0xEF);
  EXPECT_EQ(runner_->Bytes('>'),
            Cat({Handshake(), {0x10, 0x0D, 0x13}, {0xC4, 0x3B}, blocks, {0xC1, 0x3E}}));
  EXPECT_EQ(runner_->Bytes('<'), Cat({{0x8D}, Repeat({0x01}, 48)}));
  const GaugeMemory gauge = sim_->Memory();
  EXPECT_EQ(Bytes(gauge.begin(), gauge.end()), Bytes(image_.begin() + 256, image_.begin() + 1024));
  const sim::GaugeStats stats = sim_->Stats();
  EXPECT_EQ(stats.lastWriteBytes, 48 * 17);
  EXPECT_EQ(stats.writesCompleted, 1);
  EXPECT_TRUE(stats.violations.empty());
  EXPECT_EQ(Slot(), image_);  // writing only reads the setup

  EXPECT_EQ(view_.Texts(Kind::kCreate), (std::vector<std::u16string>{u"Write setup to the ORV S470 gauge"}));
  EXPECT_EQ(view_.Texts(Kind::kStatus), ProgressLines());
  EXPECT_EQ(view_.Count(Kind::kPump), 48);
  EXPECT_EQ(view_.Count(Kind::kMessage), 0);
  ExpectPortReleased();
}

TEST_F(GaugeTransferTest, PrepareChannelRecordsDefaultsOnlyRecordsWithBothBytesZero) {
  // Records 0..7 at 384 + 80k; bytes +65 / +66.
  const uint8_t before[8][2] = {{0, 0}, {0, 5}, {1, 0}, {0, 0}, {7, 7}, {0, 0x80}, {0, 0}, {9, 0}};
  for (int k = 0; k < 8; ++k) {
    image_[384 + 80 * k + 65] = before[k][0];
    image_[384 + 80 * k + 66] = before[k][1];
    SetSlotByte(0, 384 + 80 * k + 65, before[k][0]);
    SetSlotByte(0, 384 + 80 * k + 66, before[k][1]);
  }
  PrepareChannelRecords();
  Bytes want = image_;
  for (int k : {0, 3, 6}) want[384 + 80 * k + 66] = 0x80;
  EXPECT_EQ(Slot(), want);

  // The gauge gets the defaults; they stay in the setup when the gauge cannot be reached too.
  StartGauge();
  ASSERT_EQ(WriteSetupToGauge(nullptr, kPort, view_), 0);
  const GaugeMemory gauge = sim_->Memory();
  EXPECT_EQ(Bytes(gauge.begin(), gauge.end()), Bytes(want.begin() + 256, want.begin() + 1024));
}

TEST_F(GaugeTransferTest, RefusedBlockEndsWith1005AfterThatBlock) {
  for (int refused : {1, 30}) {
    SCOPED_TRACE(refused);
    GaugeConfig config;
    config.faults.refuseBlock = refused;
    StartGauge(config);
    view_ = RecordingProgressView();
    EXPECT_EQ(WriteSetupToGauge(nullptr, kPort, view_), 1);
    ExpectFailureShown(kNotAccepted);
    ExpectPortReleased();
    runner_->Stop();  // every byte the gauge sent is in the log
    const Bytes blocks = WithChecksums(&image_[256]);
    EXPECT_EQ(runner_->Bytes('>'),
              Cat({Handshake(), {0x10, 0x0D, 0x13}, {0xC4, 0x3B},
                   Bytes(blocks.begin(), blocks.begin() + 17 * refused)}));  // no end command
    EXPECT_EQ(runner_->Bytes('<'), Cat({{0x8D}, Repeat({0x01}, refused - 1), {0x00}}));
    const GaugeMemory gauge = sim_->Memory();
    EXPECT_EQ(gauge, GaugePattern());  // the gauge keeps its old setup
    EXPECT_EQ(view_.Texts(Kind::kStatus).size(), 2u + refused - 1);
  }
}

TEST_F(GaugeTransferTest, MissingAcknowledgementOrHangUpEndsWith1004) {
  struct Case {
    const char* name;
    GaugeConfig config;
    size_t bytesAfterCommand;
  };
  std::vector<Case> cases;
  {
    GaugeConfig c;
    c.faults.slowBlock = 3;
    c.faults.slowMs = 450;
    cases.push_back({"acknowledgement of block 3 too late", c, 3 * 17});
  }
  {
    GaugeConfig c;
    c.faults.hangUpBlock = 2;
    cases.push_back({"hang-up in block 2", c, 2 * 17});  // the host still sends the whole block
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartGauge(c.config);
    view_ = RecordingProgressView();
    EXPECT_EQ(WriteSetupToGauge(nullptr, kPort, view_), 1);
    ExpectFailureShown(kNoConnection);
    EXPECT_FALSE(IsDirectPortOpen());
    const Bytes host = runner_->Bytes('>');
    const size_t start = Handshake().size() + 5;
    if (c.config.faults.hangUpBlock == 0) {
      EXPECT_EQ(host.size(), start + c.bytesAfterCommand);
    } else {
      EXPECT_EQ(host.size(), start + 17 + 8);  // what the gauge took before it hung up
    }
    EXPECT_EQ(sim_->Stats().writesCompleted, 0);
    runner_.reset();
  }
}

TEST_F(GaugeTransferTest, WriteFromAFreshSetupAndReadBackGiveTheSameBytes) {
  StartGauge();
  for (uint32_t a = 256; a < 1024; ++a) SetSlotByte(0, a, static_cast<uint8_t>(a ^ 0x5A));
  ASSERT_EQ(WriteSetupToGauge(nullptr, kPort, view_), 0);
  for (uint32_t a = 255; a < 1024; ++a) SetSlotByte(0, a, 0);
  view_ = RecordingProgressView();
  ASSERT_EQ(ReadSetupFromGauge(nullptr, kPort, view_), 0);
  for (uint32_t a = 256; a < 1024; ++a) ASSERT_EQ(GetSlotByte(0, a), static_cast<uint8_t>(a ^ 0x5A)) << a;
  EXPECT_EQ(GetSlotByte(0, 255), 1);
  EXPECT_TRUE(sim_->Stats().violations.empty());
}

// ---- The simulated gauge itself ----

TEST_F(GaugeTransferTest, GaugeIgnoresALineNotAt4800Baud8N2) {
  StartGauge();
  const std::string link = dir_.Path("com5");
  auto device = NewPlatformSerialDevice();
  ASSERT_TRUE(device->Open(kPort));
  LineSettings wrong;
  wrong.baud = 9600;
  ASSERT_TRUE(device->Apply(wrong));
  ASSERT_TRUE(device->SetReadTimeouts(ReadTimeouts::kWait300ms));
  const uint8_t pair[] = {0xC9, 0x8D};
  device->Write(pair, 2);
  uint8_t b = 0;
  EXPECT_EQ(device->Read(&b, 1), 0);
  const auto violations = sim_->Stats().violations;
  ASSERT_EQ(violations.size(), 2u);
  EXPECT_EQ(violations[0], "byte 0xC9 at 9600 N 2");

  LineSettings oneStop;
  oneStop.stopBits = 1;
  ASSERT_TRUE(device->Apply(oneStop));
  device->Write(pair, 2);
  EXPECT_EQ(device->Read(&b, 1), 0);
  ASSERT_TRUE(device->Apply(LineSettings{}));  // 4800 8N2
  device->Write(pair, 2);
  ASSERT_EQ(device->Read(&b, 1), 1);
  EXPECT_EQ(b, 0x8D);
}

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
  EXPECT_EQ(b, GaugePattern()[0]);
  EXPECT_EQ(sim_->Stats().violations,
            (std::vector<std::string>{"second 0x8D too soon after the first",
                                      "read command too soon after the lead-in"}));
}

TEST_F(GaugeTransferTest, GaugeMemoryFileIsLoadedAndSavedAfterACompletedWrite) {
  const std::string memory = dir_.Path("gauge.mem");
  Bytes start(768);
  for (size_t i = 0; i < start.size(); ++i) start[i] = static_cast<uint8_t>(255 - i);
  WriteFileBytes(memory, start);
  runner_.reset();
  sim_ = std::make_unique<GaugeSim>();
  ASSERT_TRUE(sim_->UseMemoryFile(memory));
  EXPECT_EQ(sim_->Memory()[1], 254);
  const std::string link = dir_.Path("com5");
  runner_ = std::make_unique<GaugeSimRunner>(*sim_, link);
  setenv("S470_COM5", link.c_str(), 1);
  ASSERT_EQ(WriteSetupToGauge(nullptr, kPort, view_), 0);
  EXPECT_EQ(ReadFileBytes(memory), Bytes(image_.begin() + 256, image_.begin() + 1024));

  WriteFileBytes(memory, Bytes(100));
  GaugeSim other;
  EXPECT_FALSE(other.UseMemoryFile(memory));  // not a 768-byte memory
}

}  // namespace
}  // namespace s470
