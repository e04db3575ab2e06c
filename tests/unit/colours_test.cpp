#include "colours/colour_table.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "api/call_frame.h"
#include "colours/colour_platform.h"
#include "fake_lang.h"
#include "lang/fixed_message.h"

namespace s470 {
namespace {

const std::u16string kKey = u"SOFTWARE\\ORV\\MERIDEX";

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}
// The registry's form of an 8-bit text: the characters and the NUL.
std::vector<uint8_t> Narrow8(const std::string& text) {
  std::vector<uint8_t> b = Bytes(text);
  b.push_back(0);
  return b;
}
// UTF-16LE, each byte followed by a zero byte; with `tail` extra bytes of the wide NUL.
std::vector<uint8_t> Wide16(const std::string& text, size_t tail) {
  std::vector<uint8_t> b;
  for (char c : text) {
    b.push_back(static_cast<uint8_t>(c));
    b.push_back(0);
  }
  b.insert(b.end(), tail, 0);
  return b;
}

Colour Parse(const std::vector<uint8_t>& data, bool* wide = nullptr) {
  bool w = false;
  // A copy of exactly the data's length, so a read past it is a fault the sanitizers see.
  std::vector<uint8_t> exact(data);
  const Colour c = ParseColourText(exact.data(), exact.size(), &w);
  if (wide != nullptr) *wide = w;
  return c;
}

class ColoursTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFakeBrushes();
    SetFakeNtPlatform(false);
    TakeFixedMessages();
  }
  void TearDown() override { SetFakeNtPlatform(true); }

  void AddValue(const std::u16string& name, const std::vector<uint8_t>& data, uint32_t type = kRegSz) {
    lang_.registry[kKey].push_back({name, FakeLang::RegValue{type, data}});
  }
  const std::vector<std::pair<std::u16string, FakeLang::RegValue>>& Values() {
    return lang_.registry[kKey];
  }
  const std::vector<uint8_t>* ValueData(const std::u16string& name) {
    for (const auto& [n, v] : lang_.registry[kKey])
      if (n == name) return &v.data;
    return nullptr;
  }
  Colour ColourOf(int16_t role) {
    Colour c = 0;
    Brush b = 0;
    GetColour(role, &c, &b);
    return c;
  }
  Brush BrushOf(int16_t role) {
    Colour c = 0;
    Brush b = 0;
    GetColour(role, &c, &b);
    return b;
  }
  void ExpectAllBrushesGone() {
    const FakeBrushCounts counts = FakeBrushes();
    EXPECT_EQ(counts.alive, 0);
    EXPECT_EQ(counts.badDeletes, 0);
    EXPECT_EQ(counts.created, counts.deleted);
    for (int16_t role = 0; role < kColourRoles; ++role) EXPECT_EQ(BrushOf(role), 0u) << role;
  }

  FakeLang lang_;
};

// --- The text of a value ---

TEST(ColourText, ParsesRedGreenBlueEachEndedByABlank) {
  EXPECT_EQ(Parse(Bytes("255 255 242 ")), 0xF2FFFFu);
  EXPECT_EQ(Parse(Narrow8("240 233 208 ")), 0xD0E9F0u);
  EXPECT_EQ(Parse(Bytes("0 0 255 ")), 0xFF0000u);
  EXPECT_EQ(Parse(Bytes("256 0 0 ")), 0x000000u);  // each component modulo 256
  EXPECT_EQ(Parse(Bytes("258 513 1024 ")), 0x000102u);
  EXPECT_EQ(Parse(Bytes(" 255 255 ")), 0xFFFF00u);  // an empty field stays 0
  EXPECT_EQ(Parse(Bytes("1 2 3 4 5 ")), 0x030201u); // the third blank ends the parse
  EXPECT_EQ(Parse(Bytes("   9")), 0x000000u);
  EXPECT_EQ(Parse(Bytes("")), 0x000000u);
}

TEST(ColourText, WideTextSetsTheWideFlag) {
  bool wide = false;
  EXPECT_EQ(Parse({0x31, 0x00, 0x20, 0x00, 0x32, 0x00, 0x20, 0x00, 0x33, 0x00, 0x20, 0x00}, &wide),
            0x030201u);
  EXPECT_TRUE(wide);
  EXPECT_EQ(Parse(Wide16("240 233 208 ", 2), &wide), 0xD0E9F0u);
  EXPECT_TRUE(wide);
  EXPECT_EQ(Parse(Narrow8("240 233 208 "), &wide), 0xD0E9F0u);
  EXPECT_FALSE(wide);  // the NUL after the third blank is never reached
  // An 8-bit text without its last blank reaches its NUL, which counts as wide.
  EXPECT_EQ(Parse(Narrow8("1 2 3"), &wide), 0x030201u);
  EXPECT_TRUE(wide);
}

TEST(ColourText, OddLengthsOfWideDataStopAtTheEnd) {
  bool wide = false;
  EXPECT_EQ(Parse({0x31, 0x00, 0x20, 0x00, 0x32}, &wide), 0x000201u);
  EXPECT_TRUE(wide);
  EXPECT_EQ(Parse({0x37, 0x00, 0x20}, &wide), 0x000007u);
  EXPECT_EQ(Parse({0x00}, &wide), 0x000000u);
  EXPECT_TRUE(wide);
  EXPECT_EQ(Parse({0x00, 0x00, 0x00}, &wide), 0x0000D0u);  // a second zero byte is taken: 0 - '0'
  // Without its last blank, a wide text runs into its NUL: the zero byte after the stepped-over
  // one is taken as a digit (5 * 10 + 0 - '0' = 2).
  EXPECT_EQ(Parse(Wide16("12 34 5", 1), &wide), 0x02220Cu);
}

TEST(ColourText, HostileTextsGiveAColourAndStayInsideTheData) {
  // No blanks: one endless red field.
  EXPECT_EQ(Parse(Bytes("123456")), 123456u & 0xFF);
  // Characters other than digits count as digits with their distance from '0'.
  EXPECT_EQ(Parse(Bytes("A 0 0 ")), 17u);          // 'A' - '0'
  EXPECT_EQ(Parse(Bytes("-1 0 0 ")), 0xE3u);       // (-3) * 10 + 1, low 8 bits
  EXPECT_EQ(Parse(Bytes("abc")), (49u * 100 + 50 * 10 + 51) & 0xFF);
  // 1000 nines: 10^1000 - 1 is 255 modulo 256.
  EXPECT_EQ(Parse(std::vector<uint8_t>(1000, '9')), 0xFFu);
  // Nothing past 1000 bytes is looked at.
  std::vector<uint8_t> longText(1000, '0');
  const std::vector<uint8_t> tail = Bytes(" 5 6 ");
  longText.insert(longText.end(), tail.begin(), tail.end());
  EXPECT_EQ(Parse(longText), 0x000000u);
  // Every byte value, once each, in one text.
  std::vector<uint8_t> all;
  for (int b = 255; b >= 0; --b) all.push_back(static_cast<uint8_t>(b));
  bool wide = false;
  Parse(all, &wide);
  EXPECT_TRUE(wide);
}

TEST(ColourText, WrittenAsDecimalsEachFollowedByABlank) {
  EXPECT_EQ(ColourText(0xF2FFFF), "255 255 242 ");
  EXPECT_EQ(ColourText(0x000000), "0 0 0 ");
  EXPECT_EQ(ColourText(0xFF0000), "0 0 255 ");
  EXPECT_EQ(ColourText(0x12030201), "1 2 3 ");  // bits 24 to 31 are not part of the colour
  EXPECT_EQ(ColourText(0x64090A), "10 9 100 ");
  // Every component value reads back as itself, in 8-bit and in wide form.
  for (Colour v = 0; v < 256; ++v) {
    const Colour colour = v | (255 - v) << 8 | (v * 7 % 256) << 16;
    EXPECT_EQ(Parse(Narrow8(ColourText(colour))), colour);
    EXPECT_EQ(Parse(Wide16(ColourText(colour), 1)), colour);
  }
}

TEST(ColourText, ValueNames) {
  EXPECT_EQ(ColourRoleOfName("COLOR 00"), 0);
  EXPECT_EQ(ColourRoleOfName("COLOR 07"), 7);
  EXPECT_EQ(ColourRoleOfName("COLOR 19"), 19);
  EXPECT_EQ(ColourRoleOfName("COLOR 05 old"), 5);  // what follows the digits does not count
  EXPECT_EQ(ColourRoleOfName("COLOR 20"), -1);
  EXPECT_EQ(ColourRoleOfName("COLOR 42"), -1);
  EXPECT_EQ(ColourRoleOfName("COLOR 99"), -1);
  EXPECT_EQ(ColourRoleOfName("COLOR 7x"), -1);
  EXPECT_EQ(ColourRoleOfName("COLOR x7"), -1);
  EXPECT_EQ(ColourRoleOfName("COLOR 5"), -1);
  EXPECT_EQ(ColourRoleOfName("COLOR "), -1);
  EXPECT_EQ(ColourRoleOfName("COLOR"), -1);
  EXPECT_EQ(ColourRoleOfName("COLOR05"), -1);
  EXPECT_EQ(ColourRoleOfName("color 05"), -1);
  EXPECT_EQ(ColourRoleOfName("COLOUR 05"), -1);
  EXPECT_EQ(ColourRoleOfName(""), -1);
}

TEST(ColourRule, RoleOfEachControlColourMessage) {
  EXPECT_EQ(ColourRoleForMessage(0x0135), 6);  // WM_CTLCOLORBTN
  EXPECT_EQ(ColourRoleForMessage(0x0133), 5);  // WM_CTLCOLOREDIT
  EXPECT_EQ(ColourRoleForMessage(0x0134), 5);  // WM_CTLCOLORLISTBOX
  EXPECT_EQ(ColourRoleForMessage(0x0137), 7);  // WM_CTLCOLORSCROLLBAR
  EXPECT_EQ(ColourRoleForMessage(0x0136), 1);  // WM_CTLCOLORDLG
  EXPECT_EQ(ColourRoleForMessage(0x0138), 1);  // WM_CTLCOLORSTATIC
  EXPECT_EQ(ColourRoleForMessage(0x0132), -1); // WM_CTLCOLORMSGBOX
  EXPECT_EQ(ColourRoleForMessage(0x0111), -1); // WM_COMMAND
  EXPECT_EQ(ColourRoleForMessage(0x0110), -1); // WM_INITDIALOG
}

// --- Loading and saving ---

TEST_F(ColoursTest, NoKeyGivesTheDefaultsAndSavesEightValues8Bit) {
  LoadColours();
  EXPECT_EQ(GetWideRegistryFlag(), 0);
  const Colour defaults[8] = {0xF2FFFF, 0xD0E9F0, 0xD0E9F0, 0, 0, 0xF2FFFF, 0xC8D0D4, 0xC8D0D4};
  for (int16_t role = 0; role < 8; ++role) {
    EXPECT_EQ(ColourOf(role), defaults[role]) << role;
    ASSERT_NE(BrushOf(role), 0u) << role;
    EXPECT_EQ(FakeBrushColour(BrushOf(role)), defaults[role]) << role;
  }
  for (int16_t role = 8; role < kColourRoles; ++role) EXPECT_EQ(BrushOf(role), 0u) << role;
  EXPECT_EQ(FakeBrushes().alive, 8);
  SaveColours();

  const char* texts[8] = {"255 255 242 ", "240 233 208 ", "240 233 208 ", "0 0 0 ",
                          "0 0 0 ",       "255 255 242 ", "212 208 200 ", "212 208 200 "};
  ASSERT_EQ(Values().size(), 8u);
  for (int role = 0; role < 8; ++role) {
    EXPECT_EQ(Values()[role].first, u"COLOR 0" + std::u16string(1, char16_t(u'0' + role)));
    EXPECT_EQ(Values()[role].second.type, kRegSz);
    EXPECT_EQ(Values()[role].second.data, Narrow8(texts[role])) << role;  // length: characters + 1
  }
  EXPECT_EQ(*ValueData(u"COLOR 01"),
            std::vector<uint8_t>({'2', '4', '0', ' ', '2', '3', '3', ' ', '2', '0', '8', ' ', 0}));
  ExpectAllBrushesGone();
}

TEST_F(ColoursTest, OnNtTheValuesAreWrittenWideWithOneByteOfTheNul) {
  SetFakeNtPlatform(true);
  LoadColours();
  EXPECT_EQ(GetWideRegistryFlag(), 1);
  SaveColours();
  ASSERT_EQ(Values().size(), 8u);
  // 12 characters: 24 bytes of text and the first byte of the wide NUL.
  EXPECT_EQ(*ValueData(u"COLOR 01"), Wide16("240 233 208 ", 1));
  EXPECT_EQ(ValueData(u"COLOR 01")->size(), 25u);
  EXPECT_EQ(*ValueData(u"COLOR 03"), Wide16("0 0 0 ", 1));
  EXPECT_EQ(ValueData(u"COLOR 03")->size(), 13u);
  ExpectAllBrushesGone();
}

TEST_F(ColoursTest, StoredColourIsUsedAndSavedBackUnchanged) {
  AddValue(u"COLOR 05", Narrow8("0 0 255 "));
  LoadColours();
  EXPECT_EQ(ColourOf(5), 0xFF0000u);
  EXPECT_EQ(FakeBrushColour(BrushOf(5)), 0xFF0000u);
  EXPECT_EQ(ColourOf(1), 0xD0E9F0u);
  EXPECT_EQ(GetWideRegistryFlag(), 0);
  SaveColours();
  EXPECT_EQ(*ValueData(u"COLOR 05"), Narrow8("0 0 255 "));
  EXPECT_EQ(Values().size(), 8u);
  ExpectAllBrushesGone();
}

TEST_F(ColoursTest, WideDataOnANonNtPlatformMakesEveryValueWide) {
  AddValue(u"COLOR 02", {0x31, 0x00, 0x20, 0x00, 0x32, 0x00, 0x20, 0x00, 0x33, 0x00, 0x20, 0x00});
  LoadColours();
  EXPECT_EQ(GetWideRegistryFlag(), 1);
  EXPECT_EQ(ColourOf(2), 0x030201u);
  SaveColours();
  EXPECT_EQ(*ValueData(u"COLOR 02"), Wide16("1 2 3 ", 1));
  EXPECT_EQ(*ValueData(u"COLOR 00"), Wide16("255 255 242 ", 1));
  // The next call starts from the platform again: without wide data, 8-bit values.
  lang_.registry[kKey].clear();
  LoadColours();
  EXPECT_EQ(GetWideRegistryFlag(), 0);
  SaveColours();
  EXPECT_EQ(*ValueData(u"COLOR 00"), Narrow8("255 255 242 "));
  EXPECT_EQ(*ValueData(u"COLOR 02"), Narrow8("240 233 208 "));  // defaults again
}

TEST_F(ColoursTest, HigherRolesAreKeptOnlyWhenTheRegistryNamesThem) {
  AddValue(u"COLOR 19", Narrow8("1 2 3 "));
  AddValue(u"COLOR 12", Narrow8("10 20 30 "));
  LoadColours();
  EXPECT_EQ(ColourOf(19), 0x030201u);
  EXPECT_EQ(ColourOf(12), 0x1E140Au);
  EXPECT_EQ(BrushOf(11), 0u);
  SaveColours();
  EXPECT_EQ(Values().size(), 10u);
  EXPECT_EQ(*ValueData(u"COLOR 19"), Narrow8("1 2 3 "));
  EXPECT_EQ(*ValueData(u"COLOR 12"), Narrow8("10 20 30 "));
  EXPECT_EQ(ValueData(u"COLOR 11"), nullptr);
  ExpectAllBrushesGone();
}

TEST_F(ColoursTest, ValuesThatAreNotColoursAreIgnoredAndKept) {
  const std::vector<uint8_t> junk = Narrow8("9 9 9 ");
  for (const char16_t* name : {u"COLOR 7x", u"COLOR 42", u"COLOR 20", u"COLOR 5", u"COLOR",
                               u"color 05", u"COLOUR 05", u"XCOLOR 05", u"", u"COLOR \x0665\x0660"})
    AddValue(name, junk);
  LoadColours();
  const Colour defaults[8] = {0xF2FFFF, 0xD0E9F0, 0xD0E9F0, 0, 0, 0xF2FFFF, 0xC8D0D4, 0xC8D0D4};
  for (int16_t role = 0; role < 8; ++role) EXPECT_EQ(ColourOf(role), defaults[role]) << role;
  for (int16_t role = 8; role < kColourRoles; ++role) EXPECT_EQ(BrushOf(role), 0u) << role;
  SaveColours();
  EXPECT_EQ(Values().size(), 10u + 8u);
  EXPECT_EQ(*ValueData(u"COLOR 42"), junk);
  EXPECT_EQ(*ValueData(u"COLOR 07"), Narrow8("212 208 200 "));
  ExpectAllBrushesGone();
}

TEST_F(ColoursTest, ALongValueDoesNotHideTheColoursAfterIt) {
  AddValue(u"Path", std::vector<uint8_t>(800, 'x'));  // more than the 500 bytes offered
  AddValue(u"COLOR 06", Narrow8("1 1 1 "));
  LoadColours();
  EXPECT_EQ(ColourOf(6), 0x010101u);
  SaveColours();
  EXPECT_EQ(*ValueData(u"COLOR 06"), Narrow8("1 1 1 "));
  EXPECT_EQ(ValueData(u"Path")->size(), 800u);
  ExpectAllBrushesGone();
}

TEST_F(ColoursTest, TwoValuesForOneRoleLeaveNoBrushBehind) {
  AddValue(u"COLOR 05", Narrow8("1 1 1 "));
  AddValue(u"COLOR 05 old", Narrow8("2 2 2 "));
  LoadColours();
  EXPECT_EQ(ColourOf(5), 0x020202u);
  EXPECT_EQ(FakeBrushes().alive, 8);
  SaveColours();
  EXPECT_EQ(*ValueData(u"COLOR 05"), Narrow8("2 2 2 "));
  ExpectAllBrushesGone();
}

TEST_F(ColoursTest, KeyThatCannotBeCreatedWritesNothingAndStillDeletesTheBrushes) {
  lang_.refuseCreateKey = true;
  LoadColours();
  SaveColours();
  EXPECT_TRUE(lang_.registry.empty());
  EXPECT_EQ(lang_.closedKeys, 0);
  ExpectAllBrushesGone();
}

TEST_F(ColoursTest, KeysAreClosedAndColoursOutsideTheTableAreNone) {
  AddValue(u"COLOR 01", Narrow8("5 5 5 "));
  LoadColours();
  EXPECT_EQ(lang_.closedKeys, 1);
  Colour colour = 7;
  Brush brush = 7;
  GetColour(-1, &colour, &brush);
  EXPECT_EQ(colour, 0u);
  EXPECT_EQ(brush, 0u);
  GetColour(20, &colour, &brush);
  EXPECT_EQ(brush, 0u);
  GetColour(1, nullptr, nullptr);  // no place to store: nothing happens
  SaveColours();
  EXPECT_EQ(lang_.closedKeys, 2);
}

TEST_F(ColoursTest, ColoursKeepTheirValuesButNotTheirBrushesBetweenCalls) {
  AddValue(u"COLOR 09", Narrow8("9 9 9 "));
  LoadColours();
  SaveColours();
  lang_.registry.clear();
  LoadColours();
  EXPECT_EQ(ColourOf(9), 0x090909u);  // the value stays in memory...
  EXPECT_EQ(BrushOf(9), 0u);          // ...but only what the registry names is used and saved
  SaveColours();
  EXPECT_EQ(ValueData(u"COLOR 09"), nullptr);
  EXPECT_EQ(Values().size(), 8u);
}

// --- The call frame ---

TEST_F(ColoursTest, CallFrameBracketsTheWorkWithTheColours) {
  AddValue(u"COLOR 05", Narrow8("0 0 255 "));
  bool ran = false;
  const int16_t result = RunCallFrame(nullptr, 0x0301, 9, [&]() -> int16_t {
    ran = true;
    EXPECT_EQ(ColourOf(5), 0xFF0000u);
    EXPECT_NE(BrushOf(5), 0u);
    EXPECT_NE(BrushOf(1), 0u);
    EXPECT_EQ(Values().size(), 1u);  // nothing saved yet
    return 4;
  });
  EXPECT_TRUE(ran);
  EXPECT_EQ(result, 4);
  EXPECT_EQ(lang_.language, 1);
  EXPECT_EQ(Values().size(), 8u);
  EXPECT_EQ(*ValueData(u"COLOR 05"), Narrow8("0 0 255 "));
  ExpectAllBrushesGone();
}

TEST_F(ColoursTest, CallFrameSavesTheColoursEvenWhenTheWorkThrows) {
  EXPECT_THROW(RunCallFrame(nullptr, 0x0001, 1, []() -> int16_t { throw std::runtime_error("x"); }),
               std::runtime_error);
  EXPECT_EQ(Values().size(), 8u);
  ExpectAllBrushesGone();
}

TEST_F(ColoursTest, CallFrameWithoutLanguageDllDoesNoWorkAndTouchesNoColour) {
  SetLang(nullptr);
  bool ran = false;
  const int16_t result = RunCallFrame(nullptr, 0x0001, 1, [&]() -> int16_t {
    ran = true;
    return 0;
  });
  EXPECT_FALSE(ran);
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(lang_.registry.empty());
  EXPECT_EQ(FakeBrushes().created, 0);
  EXPECT_EQ(TakeFixedMessages().size(), 1u);
}

}  // namespace
}  // namespace s470
