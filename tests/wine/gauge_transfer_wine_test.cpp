// RS470_ReadFile and RS470_WriteFile through the host and the real DLL under wine64, against
// the simulated gauge on pseudo-terminals linked as COM2, COM3, COM4 and COM12.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "gauge_sim.h"
#include "wine_harness.h"

namespace s470::wine {
namespace {

using sim::GaugeConfig;
using sim::GaugeMemory;
using sim::GaugeSim;
using sim::GaugeSimRunner;
using Bytes = std::vector<uint8_t>;

const char kNoConnection[] =
    "No connection to the ORV module. Please check the cable, the COM port and the power supply "
    "of the S470, then try again.";
const char kNotAccepted[] =
    "The S470 gauge did not accept the setup data. The setup in the gauge is incomplete: please "
    "write it again.";

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

uint8_t Checksum(const uint8_t* block) {
  uint8_t sum = 0;
  for (int i = 0; i < 16; ++i) sum = static_cast<uint8_t>(sum + block[i]);
  return static_cast<uint8_t>(~sum);
}

Bytes WithChecksums(const uint8_t* data, int blocks = 48) {
  Bytes out;
  for (int b = 0; b < blocks; ++b) {
    out.insert(out.end(), data + 16 * b, data + 16 * b + 16);
    out.push_back(Checksum(data + 16 * b));
  }
  return out;
}

GaugeMemory Pattern(int seed) {
  GaugeMemory m{};
  for (size_t i = 0; i < m.size(); ++i) m[i] = static_cast<uint8_t>(i * (2 * seed + 1) + seed);
  return m;
}

// A setup file with something in every byte, so that any change shows.
Bytes SetupFile() {
  Bytes b(7500);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 13 + 5);
  return b;
}

const Bytes kReadBytes = {0xC9, 0x8D, 0x8D, 0x8D, 0xC9, 0x8D, 0x10, 0x0D, 0x13, 0xC2, 0x3D, 0xC1, 0x3E};
const Bytes kWriteStart = {0xC9, 0x8D, 0x8D, 0x8D, 0x10, 0x0D, 0x13, 0xC4, 0x3B};

// A simulated gauge on COM<n> of the Wine prefix, for the length of one test.
struct GaugeOnCom {
  GaugeSim sim;
  std::unique_ptr<GaugeSimRunner> runner;
  GaugeOnCom(int com, GaugeConfig config, const GaugeMemory& memory) : sim(std::move(config)) {
    sim.SetMemory(memory);
    runner = std::make_unique<GaugeSimRunner>(
        sim, WinePrefix() + "/dosdevices/com" + std::to_string(com));
  }
  Bytes Heard() {  // everything the host sent, once the gauge has stopped
    runner->Stop();
    return runner->Bytes('>');
  }
};

std::string BoxText(const std::string& box) { return box.substr(box.find('|') + 1); }

class GaugeTransferWine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The links go into the prefix's dosdevices: the prefix must exist first.
    struct stat st {};
    if (stat((WinePrefix() + "/.s470-ready").c_str(), &st) != 0) RunHost({}, FreshDir("gauge-prefix"));
  }
};

TEST_F(GaugeTransferWine, ReadStoresTheGaugeSetupAndModuleTypeOnComTwoTwelveAndThree) {
  GaugeConfig ae1, im2, other;
  im2.identification = "R/S470-im2";
  other.identification = "QLB-mc1 V2.1";
  GaugeOnCom com2(2, ae1, Pattern(1)), com12(12, im2, Pattern(2)), com3(3, other, Pattern(3));
  const std::string dir = FreshDir("gauge-read");
  for (const char* f : {"/a.s47", "/b.s47", "/c.s47"}) WriteBytes(dir + f, SetupFile());
  const HostRun run = RunHost({"open", "a.s47", "read", "2", "0x0001", "close", "open", "b.s47",
                               "read", "12", "0x0001", "close", "open", "c.s47", "read", "3",
                               "0x0001", "close"},
                              dir);
  ASSERT_TRUE(run.ended) << run.output;
  int reads = 0;
  for (const auto& l : run.lines) reads += l == "read -> 0" ? 1 : 0;
  EXPECT_EQ(reads, 3) << run.output;
  EXPECT_TRUE(run.messageBoxes.empty()) << run.output;

  const struct {
    const char* file;
    GaugeOnCom* gauge;
    uint8_t type;
  } cases[] = {{"/a.s47", &com2, 1}, {"/b.s47", &com12, 2}, {"/c.s47", &com3, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    Bytes want = SetupFile();
    const GaugeMemory memory = c.gauge->sim.Memory();
    std::copy(memory.begin(), memory.end(), want.begin() + 256);
    want[255] = c.type;
    EXPECT_EQ(ReadBytes(dir + c.file), want);
    EXPECT_EQ(c.gauge->Heard(), kReadBytes);
    for (const auto& e : c.gauge->runner->Log()) ASSERT_EQ(e.line.ToString(), "4800 N 2");
    EXPECT_TRUE(c.gauge->sim.Stats().violations.empty());
  }

  // The progress dialog showed its title and progress lines (as far as the host saw them).
  int progress = 0;
  for (const auto& l : run.lines) {
    const std::string prefix = "DIALOG Read setup from the ORV S470 gauge|100=";
    if (l.rfind(prefix, 0) != 0) continue;
    const std::string text = l.substr(prefix.size());
    ++progress;
    EXPECT_TRUE(text == "Connection : RS232" || text == " Please wait ... ( Gauge is busy ) " ||
                text == "o.k." ||
                (text.rfind("Transferred: ", 0) == 0 && text.size() > 20 &&
                 text.substr(text.size() - 7) == " / 1024"))
        << text;
  }
  EXPECT_GT(progress, 0) << run.output;
}

TEST_F(GaugeTransferWine, WriteLeavesTheImageInTheGaugeWithChannelDefaults) {
  GaugeOnCom com3(3, GaugeConfig{}, Pattern(4));
  const std::string dir = FreshDir("gauge-write");
  Bytes file = SetupFile();
  // Channel records at 384 + 80k: +65/+66 both 0 get 0x80 at +66; the others stay.
  const uint8_t pairs[8][2] = {{0, 0}, {0, 5}, {1, 0}, {0, 0}, {3, 3}, {0, 0}, {0, 0x7F}, {0, 0}};
  for (int k = 0; k < 8; ++k) {
    file[384 + 80 * k + 65] = pairs[k][0];
    file[384 + 80 * k + 66] = pairs[k][1];
  }
  WriteBytes(dir + "/w.s47", file);
  const HostRun run = RunHost({"open", "w.s47", "write", "3", "0x0001", "close"}, dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_TRUE(run.Has("write -> 0")) << run.output;
  EXPECT_TRUE(run.messageBoxes.empty()) << run.output;

  Bytes want = file;
  for (int k : {0, 3, 5, 7}) want[384 + 80 * k + 66] = 0x80;
  EXPECT_EQ(ReadBytes(dir + "/w.s47"), want);  // the defaults stay in the setup
  const GaugeMemory memory = com3.sim.Memory();
  EXPECT_EQ(Bytes(memory.begin(), memory.end()), Bytes(want.begin() + 256, want.begin() + 1024));
  EXPECT_EQ(com3.sim.Stats().lastWriteBytes, 48 * 17);
  EXPECT_EQ(com3.sim.Stats().writesCompleted, 1);
  EXPECT_EQ(com3.Heard(), Cat({kWriteStart, WithChecksums(&want[256]), {0xC1, 0x3E}}));
  EXPECT_TRUE(com3.sim.Stats().violations.empty());
}

// Without an open setup neither transfer talks to the gauge: a read would be thrown away and a
// write would send zeros over the gauge's setup.
TEST_F(GaugeTransferWine, NoOpenSetupLeavesTheGaugeAlone) {
  GaugeOnCom com4(4, GaugeConfig{}, Pattern(2));
  const HostRun run = RunHost({"read", "4", "1", "write", "4", "1", "open", "x.s47", "close",
                               "write", "4", "1"},
                              FreshDir("gauge-no-setup"));
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_TRUE(run.Has("read -> 1")) << run.output;
  EXPECT_FALSE(run.Has("write -> 0"));
  ASSERT_EQ(run.messageBoxes.size(), 3u) << run.output;
  for (const std::string& box : run.messageBoxes)
    EXPECT_EQ(BoxText(box), "No setup file is open. Open a setup file before the transfer.");
  const GaugeMemory memory = com4.sim.Memory();
  const GaugeMemory before = Pattern(2);
  EXPECT_EQ(Bytes(memory.begin(), memory.end()), Bytes(before.begin(), before.end()));
  EXPECT_TRUE(com4.Heard().empty());
}

// The channel defaults go into the setup before the transfer, and stay there when no gauge can
// be reached (nothing is linked as COM12 here).
TEST_F(GaugeTransferWine, ChannelDefaultsStayWhenThePortCannotBeOpened) {
  const std::string dir = FreshDir("gauge-no-port");
  Bytes file = SetupFile();
  for (int k = 0; k < 8; ++k) file[384 + 80 * k + 65] = file[384 + 80 * k + 66] = k == 2 ? 0 : 9;
  WriteBytes(dir + "/n.s47", file);
  const HostRun run = RunHost({"open", "n.s47", "write", "12", "1", "close"}, dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_TRUE(run.Has("write -> 1")) << run.output;
  ASSERT_EQ(run.messageBoxes.size(), 1u) << run.output;
  EXPECT_EQ(BoxText(run.messageBoxes[0]), kNoConnection);
  file[384 + 80 * 2 + 66] = 0x80;
  EXPECT_EQ(ReadBytes(dir + "/n.s47"), file);
}

// A wrong checksum in block 5 (first handshake only): text 1004, the setup file as it was, and
// the port free again for the next command, which reads.
TEST_F(GaugeTransferWine, FailedReadShows1004KeepsTheSetupAndFreesThePort) {
  GaugeConfig config;
  config.faults.badChecksumBlock = 5;
  config.faults.sessions = 1;
  GaugeOnCom com4(4, config, Pattern(5));
  const std::string dir = FreshDir("gauge-read-fail");
  WriteBytes(dir + "/f.s47", SetupFile());
  const HostRun run =
      RunHost({"open", "f.s47", "read", "4", "1", "close", "open", "g.s47", "read", "4", "1"}, dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_TRUE(run.Has("read -> 1")) << run.output;
  EXPECT_TRUE(run.Has("read -> 0")) << run.output;
  ASSERT_EQ(run.messageBoxes.size(), 1u) << run.output;
  EXPECT_EQ(BoxText(run.messageBoxes[0]), kNoConnection);
  EXPECT_EQ(ReadBytes(dir + "/f.s47"), SetupFile());
  EXPECT_EQ(com4.sim.Stats().readsEnded, 1);
  EXPECT_EQ(com4.Heard(), Cat({Bytes(kReadBytes.begin(), kReadBytes.end() - 2), kReadBytes}));
}

TEST_F(GaugeTransferWine, HangUpInTheMiddleOfAReadShows1004AndKeepsTheSetup) {
  GaugeConfig config;
  config.faults.hangUpBlock = 30;
  config.pace = true;
  GaugeOnCom com4(4, config, Pattern(6));
  const std::string dir = FreshDir("gauge-hangup");
  WriteBytes(dir + "/h.s47", SetupFile());
  const HostRun run = RunHost({"open", "h.s47", "read", "4", "1", "close"}, dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_TRUE(run.Has("read -> 1")) << run.output;
  ASSERT_EQ(run.messageBoxes.size(), 1u) << run.output;
  EXPECT_EQ(BoxText(run.messageBoxes[0]), kNoConnection);
  EXPECT_EQ(ReadBytes(dir + "/h.s47"), SetupFile());
  EXPECT_EQ(com4.runner->hangUps(), 1);
}

// The gauge refuses block 1 of the first write: text 1005 after exactly one block, no end
// command; the next write goes through.
TEST_F(GaugeTransferWine, RefusedBlockShows1005AndTheNextWriteGoesThrough) {
  GaugeConfig config;
  config.faults.refuseBlock = 1;
  config.faults.sessions = 1;
  GaugeOnCom com4(4, config, Pattern(7));
  const std::string dir = FreshDir("gauge-refused");
  Bytes file = SetupFile();
  for (int k = 0; k < 8; ++k) file[384 + 80 * k + 65] = 1;  // no defaults to fill in
  WriteBytes(dir + "/r.s47", file);
  const HostRun run = RunHost({"open", "r.s47", "write", "4", "1", "write", "4", "1", "close"}, dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_TRUE(run.Has("write -> 1")) << run.output;
  EXPECT_TRUE(run.Has("write -> 0")) << run.output;
  ASSERT_EQ(run.messageBoxes.size(), 1u) << run.output;
  EXPECT_EQ(BoxText(run.messageBoxes[0]), kNotAccepted);
  const Bytes blocks = WithChecksums(&file[256]);
  EXPECT_EQ(com4.Heard(), Cat({kWriteStart, Bytes(blocks.begin(), blocks.begin() + 17), kWriteStart,
                               blocks, {0xC1, 0x3E}}));
  const GaugeMemory memory = com4.sim.Memory();
  EXPECT_EQ(Bytes(memory.begin(), memory.end()), Bytes(file.begin() + 256, file.begin() + 1024));
}

// An identification line that never ends: the read gives up within its limit with 1004, and
// the port is free for the next command once the gauge has gone quiet.
TEST_F(GaugeTransferWine, EndlessIdentificationLineEndsIn1004NotInAHang) {
  GaugeConfig config;
  config.faults.chatter = sim::Chatter::kEndlessIdentification;
  config.faults.chatterMs = 4500;
  config.faults.sessions = 1;
  GaugeOnCom com4(4, config, Pattern(8));
  const std::string dir = FreshDir("gauge-endless-id");
  WriteBytes(dir + "/e.s47", SetupFile());
  const HostRun run =
      RunHost({"open", "e.s47", "read", "4", "1", "sleep", "2500", "read", "4", "1", "close"}, dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_TRUE(run.Has("read -> 1")) << run.output;
  EXPECT_TRUE(run.Has("read -> 0")) << run.output;
  ASSERT_EQ(run.messageBoxes.size(), 1u) << run.output;
  EXPECT_EQ(BoxText(run.messageBoxes[0]), kNoConnection);
}

// The one real-time silent gauge: 101 wake-up pairs, 300 ms apart, then 1004 (about 30 s).
TEST_F(GaugeTransferWine, SilentGaugeGets101WakePairsThen1004) {
  GaugeConfig config;
  config.faults.silent = true;
  GaugeOnCom com2(2, config, Pattern(9));
  const std::string dir = FreshDir("gauge-silent");
  WriteBytes(dir + "/s.s47", SetupFile());
  const auto t0 = std::chrono::steady_clock::now();
  const HostRun run = RunHost({"open", "s.s47", "read", "2", "1", "close"}, dir);
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_TRUE(run.Has("read -> 1")) << run.output;
  ASSERT_EQ(run.messageBoxes.size(), 1u) << run.output;
  EXPECT_EQ(BoxText(run.messageBoxes[0]), kNoConnection);
  EXPECT_EQ(ReadBytes(dir + "/s.s47"), SetupFile());
  EXPECT_EQ(com2.Heard(), Repeat({0xC9, 0x8D}, 101));
  EXPECT_GE(s, 101 * 0.3);
  EXPECT_LT(s, 60);
}

}  // namespace
}  // namespace s470::wine
