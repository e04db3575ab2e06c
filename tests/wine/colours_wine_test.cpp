// The dialog colours in the registry, through the real DLL and the stand-in Language DLL (which
// passes the registry calls on to the Win32 registry) under wine64. Wine reports Windows NT, so
// the colours are written as UTF-16LE text; `reg query` reads them back. How each value is
// parsed and which names count is proven natively; here the real registry's data.
#include <gtest/gtest.h>

#include "wine_harness.h"

namespace s470::wine {
namespace {

const std::string kKey = "HKLM\\SOFTWARE\\ORV\\MERIDEX";

// One window export, run inside the call frame. What the work itself does (messages about the
// port, which nobody links) does not matter here: only the colours before and after it.
const std::vector<std::string> kOneExport = {"open", "c.s47", "read", "30", "0x0001", "close"};

void AddString(const std::string& name, const std::string& text) {
  int code = -1;
  const Lines output = WineReg({"add", kKey, "/v", name, "/t", "REG_SZ", "/d", text, "/f"}, &code);
  ASSERT_EQ(code, 0) << ::testing::PrintToString(output);
}

// The eight values the system writes for roles 0 to 7 when it has none.
const std::map<std::string, std::string> kDefaults = {
    {"COLOR 00", "REG_SZ 255 255 242 "}, {"COLOR 01", "REG_SZ 240 233 208 "},
    {"COLOR 02", "REG_SZ 240 233 208 "}, {"COLOR 03", "REG_SZ 0 0 0 "},
    {"COLOR 04", "REG_SZ 0 0 0 "},       {"COLOR 05", "REG_SZ 255 255 242 "},
    {"COLOR 06", "REG_SZ 212 208 200 "}, {"COLOR 07", "REG_SZ 212 208 200 "}};

TEST(ColoursWine, WithoutTheKeyOneExportLeavesTheEightDefaultValues) {
  WineReg({"delete", kKey, "/f"});
  ASSERT_TRUE(QueryKey(kKey).empty());
  const HostRun run = RunHost(kOneExport, FreshDir("colours-defaults"));
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(QueryKey(kKey), kDefaults);
}

// Stored colours are used and written back, read back by a second export; roles this system
// does not use are kept as they are. (An 8-bit value, as Windows 9x stores it, is read in the
// PE colour test.)
TEST(ColoursWine, StoredValuesAreReadAndWrittenBack) {
  WineReg({"delete", kKey, "/f"});
  AddString("COLOR 04", "256 00 0255 ");  // read as 0, 0, 255 and written back in the short form
  AddString("COLOR 12", "1 2 3 ");
  AddString("COLOR 03", "1234567890123456789012345678901234567890");  // no blanks at all
  const HostRun run =
      RunHost(Words("open c.s47 read 30 0x0001 read 30 0x0101 close"), FreshDir("colours-stored"));
  ASSERT_TRUE(run.ended) << run.output;
  auto want = kDefaults;
  want["COLOR 04"] = "REG_SZ 0 0 255 ";
  want["COLOR 12"] = "REG_SZ 1 2 3 ";
  // One endless red field, which runs into the wide NUL: its second zero byte counts as a digit
  // too. 1234...890 is 210 modulo 256; 210 * 10 + 0 - '0' = 2052 is 4.
  want["COLOR 03"] = "REG_SZ 4 0 0 ";
  EXPECT_EQ(QueryKey(kKey), want);
}

}  // namespace
}  // namespace s470::wine
