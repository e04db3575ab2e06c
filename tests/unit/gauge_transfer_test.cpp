// Reading and writing a gauge's setup on the fake wire with a driven clock, the gauge being a
// script of answers to what the host has written: bytes on the wire, pauses, slot 0, texts shown,
// failures. (The real line with the simulated gauge is shown by the command-line tool's tests and
// by Wine.)
#include "transfer/gauge_transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bus_fake_wire.h"
#include "fake_lang.h"
#include "gauge_test_helpers.h"
#include "lang/text16.h"
#include "lang/text_lookup.h"
#include "recording_progress_view.h"
#include "slots/file_slots.h"
#include "test_files.h"
#include "test_helpers.h"

namespace s470 {
namespace {

using namespace gauge_test;
using Kind = RecordingProgressView::Kind;
// What the gauge answers once the host has written n bytes in all.
using Gauge = std::function<Bytes(size_t n)>;

constexpr int16_t kPort = 5;
const sim::GaugeMemory kGauge = PatternedGauge(1);
const Bytes kBlocks = WithChecksums(kGauge.data());

// A gauge that answers a read: `echo` to the wake-up pair that ends at byte `wakeAt` (nothing to
// the pairs before), the identification line to the next pair, `blocks` to the read command.
Gauge ReadingGauge(const Bytes& blocks, size_t wakeAt = 2, const Bytes& echo = {0x8D},
                   const Bytes& identification = ToBytes("R/S470-ae1\r")) {
  return [=](size_t n) {
    if (n == wakeAt) return echo;
    if (n == wakeAt + 4) return identification;
    if (n == wakeAt + 9) return blocks;
    return Bytes{};
  };
}
// A gauge that answers a write: the echo, then ack(k) once block k (from 1) is in.
Gauge WritingGauge(const std::function<Bytes(size_t k)>& ack) {
  return [=](size_t n) {
    if (n == 2) return Bytes{0x8D};
    if (n >= 9 + 17 && (n - 9) % 17 == 0) return ack((n - 9) / 17);
    return Bytes{};
  };
}

// A gauge that echoes the first wake-up pair (unless `after` is 2) and, once the host has written
// `after` bytes, chatters longer than any quiet limit (a byte every 11 bits at 4800 baud).
Gauge Chattering(size_t after) {
  return [after](size_t n) {
    if (n == after) Wire().Arrive(Wire().nowMs, Bytes(2000, 0x55), 11000.0 / 4800);
    return n == 2 && after != 2 ? Bytes{0x8D} : Bytes{};
  };
}

Bytes First(const Bytes& b, size_t n) {
  return Bytes(b.begin(), b.begin() + static_cast<long>(n));
}

// The first n status lines of a transfer (all of them by default), as shown.
std::vector<std::u16string> Shown(size_t n = 51) {
  const std::vector<std::string> lines = ProgressLines();
  std::vector<std::u16string> shown;
  for (size_t i = 0; i < n; ++i) shown.push_back(FromUtf8(lines.at(i)));
  return shown;
}

TEST(ModuleType, FromTheIdentificationLine) {
  // "R/S470-" has nothing at index 9.
  const std::pair<std::string, int> cases[] = {
      {"R/S470-ae1\r", 1}, {"R/S470-im2\r", 2}, {"R/S470-", 2}, {"R/S471-ae1\r", 0}};
  for (const auto& [line, type] : cases)
    EXPECT_EQ(ModuleTypeFromIdentification(line), type) << line;
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
    wire_.reset();
    CloseFileSlot(0);
  }

  // A fresh fake wire with `gauge` on it (asked once before anything is written, then after every
  // write); the driven time of every byte written goes to writeMs_.
  void Start(const Gauge& gauge) {
    wire_.emplace(true);
    writeMs_.clear();
    view_ = RecordingProgressView();
    FakeWire& w = Wire();
    w.onWrite = [this, gauge, &w] {
      writeMs_.resize(w.written.size(), w.nowMs);
      w.Arrive(w.nowMs, gauge(w.written.size()));
    };
    w.Arrive(0, gauge(0));  // what waits on the line before the port is opened
  }

  Bytes Slot() const {
    Bytes b(7500);
    for (uint32_t a = 0; a < b.size(); ++a) b[a] = GetSlotByte(0, a);
    return b;
  }

  // The title, every status line followed by its repaint, a dispatch after each block, "o.k."
  // for a second after the end command, the dialog gone, and the port closed.
  void ExpectDone(const char16_t* title, const std::vector<std::u16string>& lines) {
    EXPECT_EQ(view_.Texts(Kind::kCreate), std::vector<std::u16string>{title});
    EXPECT_EQ(view_.Texts(Kind::kStatus), lines);
    EXPECT_EQ(view_.Count(Kind::kPump), 48);
    for (size_t i = 0; i < view_.events.size(); ++i)
      if (view_.events[i].kind == Kind::kStatus) {
        ASSERT_LT(i + 1, view_.events.size());
        EXPECT_EQ(view_.events[i + 1].kind, Kind::kRepaint) << i;
      }
    ASSERT_EQ(view_.events.back().kind, Kind::kDestroy);
    EXPECT_GE(Wire().nowMs - writeMs_.back(), 999);
    EXPECT_FALSE(IsDirectPortOpen());
  }
  // One box with the text, the dialog gone, never "o.k.", the port closed, nothing lost.
  void ExpectFailure(const char* text, size_t statusLines) {
    EXPECT_EQ(view_.Texts(Kind::kMessage), std::vector<std::u16string>{FromUtf8(text)});
    EXPECT_EQ(view_.Last(Kind::kMessage)->style, 48u);
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
  std::optional<FakeWireScope> wire_;
  std::vector<double> writeMs_;
};

// A gauge that is slow to wake (echoes the third pair), talks before the echo, and ends its
// identification line by silence with high bits set (they count as their low 7 bits): read as
// usual, with exact bytes, texts and the 100 ms pause after the lead-in (the one after the first
// confirmation is the write's).
TEST_F(GaugeTransferTest, ReadTakesThe48BlocksAndModuleTypeWithExactBytesTextsAndPauses) {
  Start(
      ReadingGauge(kBlocks, 6, {0x55, 0x00, 0xC9, 0x0D, 0x8D}, ToBytes("\xD2/S470-\xE1\xE5\xB1")));
  ASSERT_EQ(ReadSetupFromGauge(nullptr, kPort, view_), 0);
  EXPECT_EQ(Slot(), SetupAfterRead(image_, kGauge, 1));
  ExpectDone(u"Read setup from the ORV S470 gauge", Shown());
  EXPECT_EQ(Wire().written, Join({ReadStart(3), kEndCommandBytes}));
  // The port: 4800 baud 8N2 with DTR and RTS on, the direct port's style, a 300 ms read time-out.
  EXPECT_EQ(std::vector<std::string>(Wire().events.begin(), Wire().events.begin() + 4),
            (std::vector<std::string>{"open 5", "apply 4800 8N2 dtr rts direct", "queues 8192 8192",
                                      "timeouts 300"}));
  ASSERT_EQ(writeMs_.size(), 17u);
  EXPECT_GE(writeMs_[13] - writeMs_[12], 100);
}

// Status lines are cut to their hundred characters; 100 ms pauses after the first confirmation
// and after the lead-in.
TEST_F(GaugeTransferTest, WriteSends48BlocksWithChecksums) {
  lang_.texts[1002] = std::u16string(120, u'c');
  lang_.texts[1003] = std::u16string(95, u't');
  Start(WritingGauge([](size_t) { return Bytes{0x01}; }));
  ASSERT_EQ(WriteSetupToGauge(nullptr, kPort, view_), 0);
  EXPECT_EQ(Wire().written, Join({WriteStart(), WithChecksums(&image_[256]), kEndCommandBytes}));
  EXPECT_GE(writeMs_[3] - writeMs_[2], 100);
  EXPECT_GE(writeMs_[7] - writeMs_[6], 100);
  EXPECT_EQ(Slot(), image_);  // writing only reads the setup
  std::vector<std::u16string> lines = Shown();
  lines[0] = std::u16string(99, u'c');
  for (int a = 272; a <= 1024; a += 16) {
    const std::u16string tail = FromUtf8(std::to_string(a) + " / 1024");
    lines[(a - 256) / 16 + 1] = (std::u16string(95, u't') + tail).substr(0, 99);
  }
  ExpectDone(u"Write setup to the ORV S470 gauge", lines);
}

// Every failed transfer: its text, the port closed, on the wire exactly what came before the fault
// (no end command), the setup exactly as it was, and the driven time it took. A gauge that never
// falls quiet is given up on after the quiet limit (the wake-up is the same for a write); one that
// never answers after 101 wake-up pairs, each given the 300 ms read time-out; a port that refuses
// a step of its opening sends nothing.
TEST_F(GaugeTransferTest, FailedTransferShowsItsTextAndLosesNothing) {
  const Bytes blocks = WithChecksums(&image_[256]);
  auto writeUpTo = [&](size_t n) {
    return Join({WriteStart(), Bytes(blocks.begin(), blocks.begin() + n)});
  };
  Bytes badLast = kBlocks;
  badLast.back() ^= 0x01;
  const Gauge silent = [](size_t) { return Bytes{}; };
  const auto refuse30 = [](size_t k) { return k == 30 ? Bytes{0x15} : Bytes{0x01}; };
  const auto noAck3 = [](size_t k) { return k == 3 ? Bytes{} : Bytes{0x01}; };
  const Bytes start = ReadStart();
  const struct {
    const char* name;
    bool reading;
    Gauge gauge;
    int refused;          // the step of the opening the port refuses (0: the device), or -1
    int statusLines;      // shown before the failure
    Bytes sent;           // by the host
    const char* text;
    double minMs, maxMs;
  } cases[] = {
      // clang-format off
      {"read: wrong checksum in the last block", true, ReadingGauge(badLast), -1, 2 + 47, start,
       kNoConnection, 0, 5000},
      {"read: silent from block 10 on", true, ReadingGauge(First(kBlocks, 9 * 17 + 5)), -1, 2 + 9,
       start, kNoConnection, 0, 5000},
      {"write: block 30 refused", false, WritingGauge(refuse30), -1, 2 + 29, writeUpTo(30 * 17),
       kNotAccepted, 0, 5000},
      {"write: block 3 not acknowledged", false, WritingGauge(noAck3), -1, 2 + 2, writeUpTo(3 * 17),
       kNoConnection, 0, 5000},
      {"read: chatter while the input is emptied on open", true, Chattering(0), -1, 1, {},
       kNoConnection, 3000, 4000},
      {"read: chatter instead of the echo", true, Chattering(2), -1, 2, First(start, 2),
       kNoConnection, 3000, 4000},
      {"read: chatter after the confirmations", true, Chattering(4), -1, 2, First(start, 4),
       kNoConnection, 3000, 4000},
      {"read: endless identification line", true, Chattering(6), -1, 2, First(start, 6),
       kNoConnection, 3000, 4000},
      {"read: silent gauge", true, silent, -1, 2, Repeat({0xC9, 0x8D}, 101),
       kNoConnection, 300 * 102, 300 * 102},
      {"read: device refused", true, silent, 0, 1, {}, kNoConnection, 0, 0},
      {"read: settings refused", true, silent, 1, 1, {}, kNoConnection, 0, 0},
      {"write: queues refused", false, silent, 2, 1, {}, kNoConnection, 0, 0},
      {"write: time-outs refused", false, silent, 3, 1, {}, kNoConnection, 0, 0},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.gauge);
    Wire().failCall = c.refused;
    EXPECT_EQ(c.reading ? ReadSetupFromGauge(nullptr, kPort, view_)
                        : WriteSetupToGauge(nullptr, kPort, view_),
              1);
    ExpectFailure(c.text, c.statusLines);
    EXPECT_EQ(Wire().written, c.sent);
    EXPECT_GE(Wire().nowMs, c.minMs);
    EXPECT_LE(Wire().nowMs, c.maxMs);
    EXPECT_EQ(Wire().events.back(), c.refused == 0 ? "open 5" : "close");
  }
  // The setup file is untouched as well when the host closes it now.
  ASSERT_EQ(CloseFileSlot(0), 0);
  EXPECT_EQ(ReadFileBytes(setupPath_), image_);
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
