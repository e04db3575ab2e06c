// RS470_Setup through the host and the real DLL under Wine: setup dialog 10 and channel dialog
// 11 from the stand-in Language DLL's templates, driven by the host's dialog script, and the
// setup file on disk afterwards. Every rule of the dialogs is proven natively; these show that
// the real controls, the templates and the Language DLL carry them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../unit/editor_test_helpers.h"
#include "wine_harness.h"

namespace s470::wine {
namespace {

using Bytes = std::vector<uint8_t>;

// Whether every script step found what it waited for.
bool ScriptMissedNothing(const HostRun& run) {
  for (const auto& l : run.lines)
    if (l.rfind("SCRIPT no dialog", 0) == 0 || l.rfind("SCRIPT still", 0) == 0) return false;
  return true;
}

HostRun RunScript(const std::string& dir, const std::string& script,
                  const std::vector<std::string>& commands) {
  WriteBytes(dir + "/script.txt", Bytes(script.begin(), script.end()));
  std::vector<std::string> all = {"--script", "script.txt"};
  all.insert(all.end(), commands.begin(), commands.end());
  return RunHost(all, dir);
}

Bytes DefaultedSetup() {
  Bytes file = ExpectedSetupDefaults();
  file.resize(7500, 0);
  return file;
}

// Without a setup the editor says so and opens nothing. An empty setup confirmed at once holds
// exactly the defaults; a setup cancelled after a channel was confirmed is the file as it was.
TEST(SetupEditorWine, DefaultsAreWrittenOnOkAndCancelRestoresTheFile) {
  const std::string dir = FreshDir("editor-defaults");
  Bytes kept(7500);
  for (size_t i = 0; i < kept.size(); ++i) kept[i] = static_cast<uint8_t>(i * 7 + 3);
  kept[256] = 0;  // counts as empty: defaults are shown, and taken back by Cancel
  WriteBytes(dir + "/kept.s47", kept);
  const HostRun run = RunScript(dir,
                                "wait ORV S470 Setup\n"
                                "click 1\n"
                                "gone ORV S470 Setup\n"
                                "wait ORV S470 Setup\n"
                                "click 115\n"
                                "wait Channel  3\n"
                                "settext 111 2.5\n"
                                "click 1\n"
                                "gone Channel  3\n"
                                "wait ORV S470 Setup\n"
                                "click 2\n",
                                {"setup", "1", "open", "new.s47", "setup", "1", "close", "open",
                                 "kept.s47", "setup", "1", "close"});
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(run.Results(), (Lines{"setup -> 1", "open -> 0", "setup -> 0", "close -> 0", "open -> 0",
                                 "setup -> 1", "close -> 0"}))
      << run.output;
  EXPECT_TRUE(ScriptMissedNothing(run)) << run.output;
  EXPECT_EQ(run.messageBoxes, (Lines{"Error|No setup file is open. Open a setup file first."}));
  EXPECT_EQ(ReadBytes(dir + "/new.s47"), DefaultedSetup());
  EXPECT_EQ(ReadBytes(dir + "/kept.s47"), kept);
}

// Channel 3 edited in German: a switch to five decimals, a negative base value and factor, a
// limit at its bound, pair value 2 on. A limit out of range first gets its message and leaves the
// dialog open with what was typed; once mended, OK in both dialogs stores exactly these bytes.
TEST(SetupEditorWine, ChannelEditsAreCheckedAndStoredAsExactRecordBytes) {
  const std::string dir = FreshDir("editor-channel");
  WriteBytes(dir + "/s.s47", DefaultedSetup());
  const HostRun run = RunScript(dir,
                                "wait ORV S470 Einstellungen\n"
                                "click 115\n"
                                "wait Kanal  3\n"
                                "select 101 2\n"
                                "settext 111 -0.12345\n"
                                "settext 122 0.59999\n"
                                "settext 124 0.6\n"
                                "settext 132 -2.5\n"
                                "check 153 1\n"
                                "settext 152 1\n"
                                "settext 154 1.0001\n"
                                "click 1\n"
                                "boxes 1\n"
                                "wait Kanal  3\n"
                                "dump\n"
                                "settext 124 0.3\n"
                                "click 1\n"
                                "gone Kanal  3\n"
                                "wait ORV S470 Einstellungen\n"
                                "click 1\n",
                                {"open", "s.s47", "setup", "2", "close"});
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(
      run.messageBoxes,
      (Lines{"Error|Ein Grenzwert liegt außerhalb des Bereichs. Erlaubt: -0.59999 bis 0.59999 "
             "(Dezimalpunkt)."}))
      << run.output;
  // Still open after the refusal, with the entries as typed.
  for (const char* control :
       {"CONTROL 101=Zoll, 5 Nachkommastellen (0.00001) [item 2]", "CONTROL 111=-0.12345",
        "CONTROL 124=0.6", "CONTROL 121=Grenzwert 1 [checked]", "CONTROL 154=1.0001"})
    EXPECT_TRUE(run.Has(control)) << control << "\n" << run.output;
  EXPECT_TRUE(run.Has("setup -> 0")) << run.output;
  EXPECT_TRUE(ScriptMissedNothing(run)) << run.output;

  Bytes want = DefaultedSetup();
  const Bytes record3 = {
      1,    32,   0xC7, 0xCF, 0xFF, 0xFF,                       // five decimals; base -0.12345
      0x0F, 0x5F, 0xEA, 0x00, 0x30, 0x75, 0x00,                 // limits 0.59999, 0.3,
      0x48, 0xF4, 0xFF, 0x60, 0xF0, 0xFF, 0,    0,    0, 0, 0,  // -0.03, -0.04
      0x05, 0x01, 0xC4, 0x09, 0,    0,    0xE8, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // factors
      0,    0,    0,    0,    0,    0,    0,    0,    0, 0,                          // mode 0
      0xA0, 0x86, 0x01, 0x00, 0xAA, 0x86, 0x01, 0x00, 1};  // pair values 1 and 1.0001, on
  std::copy(record3.begin(), record3.end(), want.begin() + 544);
  EXPECT_EQ(ReadBytes(dir + "/s.s47"), want);
}

// General settings dialog 12 from dialog 10 on a defaulted setup: an assignment, the one-hot
// list, the interval with two channel boxes, signed value 2 switched off; OK in 12 and 10 stores
// exactly these bytes 257 to 304. Cancel in 12 gives back the micrometre value 0 that opening
// replaced by 12.
TEST(SetupEditorWine, GeneralSettingsAreStoredAndCancelGivesBackTheMicrometreValue) {
  const std::string dir = FreshDir("editor-general");
  Bytes a = DefaultedSetup(), b = DefaultedSetup();
  a[282] = 0x2C;  // signed value 2: 300, on
  a[283] = 0x01;
  a[284] = 0x80;
  a[258] = 20;
  b[258] = 0;
  WriteBytes(dir + "/a.s47", a);
  WriteBytes(dir + "/b.s47", b);
  const HostRun run =
      RunScript(dir,
                "wait ORV S470 Setup\n"
                "click 126\n"
                "wait General settings\n"
                "select 113 5\n"
                "select 121 4\n"
                "select 181 5\n"
                "check 182 1\n"
                "check 184 1\n"
                "check 172 0\n"
                "dump\n"
                "click 1\n"
                "gone General settings\n"
                "wait ORV S470 Setup\n"
                "click 1\n"
                "gone ORV S470 Setup\n"
                "wait ORV S470 Setup\n"
                "click 126\n"
                "wait General settings\n"
                "dump\n"
                "click 2\n"
                "gone General settings\n"
                "wait ORV S470 Setup\n"
                "click 1\n",
                {"open", "a.s47", "setup", "1", "close", "open", "b.s47", "setup", "1", "close"});
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(run.Results(), (Lines{"open -> 0", "setup -> 0", "close -> 0", "open -> 0", "setup -> 0",
                                 "close -> 0"}))
      << run.output;
  EXPECT_TRUE(ScriptMissedNothing(run)) << run.output;
  EXPECT_TRUE(run.messageBoxes.empty()) << run.output;
  for (const char* control : {"CONTROL 181=1 h  15 min [item 5]", "CONTROL 173=300 [disabled]",
                              "CONTROL 113=Choice 5 [item 5]", "CONTROL 119=Variant A [item 0]",
                              "CONTROL 103=12 um [item 11] [hidden]", "CONTROL 142=off [item 0]"})
    EXPECT_TRUE(run.Has(control)) << control << "\n" << run.output;

  const Bytes general = {
      0,    20,   1,    0,    4,    8,    2,    0,      // micrometre, assignment 2 on choice 5
      0x04, 0x40, 0,    0,                              // one-hot item 4, scale, own scale 0
      0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,   // channel bytes
      5,    0x05, 0,    0,    0,    0x2C, 0x01, 0x00};  // interval, signed values
  std::copy(general.begin(), general.end(), a.begin() + 257);
  EXPECT_EQ(ReadBytes(dir + "/a.s47"), a);
  EXPECT_EQ(ReadBytes(dir + "/b.s47"), b);
}

}  // namespace
}  // namespace s470::wine
