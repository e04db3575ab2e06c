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

Bytes DefaultedSetup() {
  Bytes file = ExpectedSetupDefaults();
  file.resize(7500, 0);
  return file;
}

// Channel 3 edited in German: a switch to five decimals, a negative base value and factor, a
// limit at its bound, pair value 2 on. A limit out of range first gets its message and leaves the
// dialog open with what was typed; once mended, OK in both dialogs stores exactly these bytes.
TEST(SetupEditorWine, ChannelEditsAreCheckedAndStoredAsExactRecordBytes) {
  const std::string dir = FreshDir("editor-channel");
  WriteFileBytes(dir + "/s.s47", DefaultedSetup());
  const std::string script =
      "wait ORV S470 Einstellungen; click 115; wait Kanal  3; select 101 2; "
      "settext 111 -0.12345; settext 122 0.59999; settext 124 0.6; settext 132 -2.5; "
      "check 153 1; settext 152 1; settext 154 1.0001; click 1; boxes 1; "
      "wait Kanal  3; dump; settext 124 0.3; click 1; gone Kanal  3; "
      "wait ORV S470 Einstellungen; click 1";
  const HostRun run = RunHost(dir, "open s.s47 setup 2 close", script);
  // The refusal's box; the dialog still open after it, with the entries as typed.
  EXPECT_EQ(run.Starting({"MSGBOX ", "CONTROL 101=", "CONTROL 124=", "CONTROL 154=", "setup -> "}),
            (Lines{"MSGBOX Error|Ein Grenzwert liegt außerhalb des Bereichs. Erlaubt: -0.59999 "
                   "bis 0.59999 (Dezimalpunkt).",
                   "CONTROL 101=Zoll, 5 Nachkommastellen (0.00001) [item 2]", "CONTROL 124=0.6",
                   "CONTROL 154=1.0001", "setup -> 0"}))
      << run.output;

  Bytes want = DefaultedSetup();
  const Bytes record3 = {
      1,    32,   0xC7, 0xCF, 0xFF, 0xFF,                       // five decimals; base -0.12345
      0x0F, 0x5F, 0xEA, 0x00, 0x30, 0x75, 0x00,                 // limits 0.59999, 0.3,
      0x48, 0xF4, 0xFF, 0x60, 0xF0, 0xFF, 0,    0,    0, 0, 0,  // -0.03, -0.04
      0x05, 0x01, 0xC4, 0x09, 0,    0,    0xE8, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // factors
      0,    0,    0,    0,    0,    0,    0,    0,    0, 0,                          // mode 0
      0xA0, 0x86, 0x01, 0x00, 0xAA, 0x86, 0x01, 0x00, 1};  // pair values 1 and 1.0001, on
  std::copy(record3.begin(), record3.end(), want.begin() + 544);
  EXPECT_EQ(ReadFileBytes(dir + "/s.s47"), want);
}

}  // namespace
}  // namespace s470::wine
