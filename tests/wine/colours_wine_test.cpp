// The dialog colours in the registry, through the real DLL and the stand-in Language DLL (which
// passes the registry calls on to the Win32 registry) under wine64. Wine reports Windows NT, so
// the colours are written as UTF-16LE text; `reg query` reads them back.
#include <gtest/gtest.h>

#include "wine_harness.h"

namespace s470::wine {
namespace {

const std::string kKey = "HKLM\\SOFTWARE\\ORV\\MERIDEX";

// One window export, run inside the call frame. What the work itself does (messages about the
// port, which nobody links) does not matter here: only the colours before and after it.
const std::vector<std::string> kOneExport = {"open", "c.s47", "read", "30", "0x0001", "close"};

void ClearKey() { WineReg({"delete", kKey, "/f"}); }

void AddString(const std::string& name, const std::string& text) {
  int code = -1;
  const std::string output = WineReg({"add", kKey, "/v", name, "/t", "REG_SZ", "/d", text, "/f"}, &code);
  ASSERT_EQ(code, 0) << output;
}

// The values the system writes for roles 0 to 7 when the registry has none.
const std::map<std::string, std::string> kDefaultTexts = {
    {"COLOR 00", "255 255 242 "}, {"COLOR 01", "240 233 208 "}, {"COLOR 02", "240 233 208 "},
    {"COLOR 03", "0 0 0 "},       {"COLOR 04", "0 0 0 "},       {"COLOR 05", "255 255 242 "},
    {"COLOR 06", "212 208 200 "}, {"COLOR 07", "212 208 200 "}};

std::map<std::string, std::string> Texts(const std::map<std::string, RegEntry>& values) {
  std::map<std::string, std::string> texts;
  for (const auto& [name, entry] : values) texts[name] = entry.type + " " + entry.data;
  return texts;
}
std::map<std::string, std::string> AsStrings(const std::map<std::string, std::string>& texts) {
  std::map<std::string, std::string> out;
  for (const auto& [name, text] : texts) out[name] = "REG_SZ " + text;
  return out;
}

TEST(ColoursWine, WithoutTheKeyOneExportLeavesTheEightDefaultValues) {
  ClearKey();
  ASSERT_TRUE(QueryKey(kKey).empty());
  const HostRun run = RunHost(kOneExport, FreshDir("colours-defaults"));
  ASSERT_TRUE(run.ended) << run.output;
  const auto values = QueryKey(kKey);
  EXPECT_EQ(Texts(values), AsStrings(kDefaultTexts));
  ASSERT_EQ(values.count("COLOR 01"), 1u);
  EXPECT_EQ(values.at("COLOR 01").data, "240 233 208 ");
}

TEST(ColoursWine, StoredColoursAreUsedAndWrittenBackAsWideText) {
  ClearKey();
  AddString("COLOR 05", "0 0 255 ");    // edit controls blue: 0xFF0000
  AddString("COLOR 04", "256 00 0255 ");  // read as 0, 0, 255 and written back in the short form
  AddString("COLOR 12", "1 2 3 ");      // a role this system does not use is kept
  const HostRun run = RunHost({"open", "c.s47", "read", "30", "0x0001", "read", "30", "0x0101",
                               "close"},
                              FreshDir("colours-stored"));
  ASSERT_TRUE(run.ended) << run.output;
  auto want = kDefaultTexts;
  want["COLOR 05"] = "0 0 255 ";
  want["COLOR 04"] = "0 0 255 ";
  want["COLOR 12"] = "1 2 3 ";
  // Written as 8-bit bytes, `reg query` would not show these texts.
  EXPECT_EQ(Texts(QueryKey(kKey)), AsStrings(want));
}

TEST(ColoursWine, EightBitDataIsReadAndWrittenBackWide) {
  ClearKey();
  // "0 0 255 " and its NUL as 8-bit bytes, as a registry written on Windows 9x holds them.
  AppendToMachineRegistry(
      "[Software\\\\ORV\\\\MERIDEX] 1700000000\n"
      "\"COLOR 05\"=hex(1):30,20,30,20,32,35,35,20,00\n"
      "\"COLOR 13\"=hex(1):37,20,38,20,39,20,00\n");
  auto before = QueryKey(kKey);
  ASSERT_EQ(before.count("COLOR 05"), 1u);
  ASSERT_NE(before.at("COLOR 05").data, "0 0 255 ");  // really 8-bit: not readable as wide text
  const HostRun run = RunHost(kOneExport, FreshDir("colours-8bit"));
  ASSERT_TRUE(run.ended) << run.output;
  auto want = kDefaultTexts;
  want["COLOR 05"] = "0 0 255 ";
  want["COLOR 13"] = "7 8 9 ";
  EXPECT_EQ(Texts(QueryKey(kKey)), AsStrings(want));
}

TEST(ColoursWine, ValuesThatAreNotColoursChangeNothingAndAreKept) {
  ClearKey();
  AddString("COLOR 7x", "1 1 1 ");
  AddString("COLOR 42", "2 2 2 ");
  AddString("COLOR 5", "3 3 3 ");
  AddString("COLOR", "");
  AddString("Colours", "4 4 4 ");
  AddString("COLOR 03", "1234567890123456789012345678901234567890");  // no blanks at all
  const HostRun run = RunHost(kOneExport, FreshDir("colours-foreign"));
  ASSERT_TRUE(run.ended) << run.output;
  auto want = AsStrings(kDefaultTexts);
  want["COLOR 7x"] = "REG_SZ 1 1 1 ";
  want["COLOR 42"] = "REG_SZ 2 2 2 ";
  want["COLOR 5"] = "REG_SZ 3 3 3 ";
  want["COLOR"] = "REG_SZ ";
  want["Colours"] = "REG_SZ 4 4 4 ";
  // One endless red field, which runs into the wide NUL: its second zero byte counts as a digit
  // too. 1234...890 is 210 modulo 256; 210 * 10 + 0 - '0' = 2052 is 4.
  want["COLOR 03"] = "REG_SZ 4 0 0 ";
  EXPECT_EQ(Texts(QueryKey(kKey)), want);
}

}  // namespace
}  // namespace s470::wine
