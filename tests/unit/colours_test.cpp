#include "colours/colour_table.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "api/call_frame.h"
#include "colours/colour_platform.h"
#include "fake_lang.h"
#include "lang/fixed_message.h"
#include "test_helpers.h"

namespace s470 {
namespace {

const std::u16string kKey = u"SOFTWARE\\ORV\\MERIDEX";
const Colour kDefaults[8] = {0xF2FFFF, 0xD0E9F0, 0xD0E9F0, 0, 0, 0xF2FFFF, 0xC8D0D4, 0xC8D0D4};

// The registry's form of an 8-bit text: the characters and the NUL.
std::vector<uint8_t> Narrow8(const std::string& text) {
  std::vector<uint8_t> b = ToBytes(text);
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
  Colour ColourOf(int16_t role) { return Get(role).first; }
  Brush BrushOf(int16_t role) { return Get(role).second; }
  std::pair<Colour, Brush> Get(int16_t role) {
    std::pair<Colour, Brush> got{0, 0};
    GetColour(role, &got.first, &got.second);
    return got;
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

// A copy of exactly the data's length, so a read past it is a fault the sanitizers see.
std::pair<Colour, bool> Parse(std::vector<uint8_t> exact) {
  bool wide = false;
  const Colour colour = ParseColourText(exact.data(), exact.size(), &wide);
  return {colour, wide};
}

// Red, green and blue each ended by a blank; a zero byte met on the way marks a wide text.
TEST(ColourText, ParsesTheComponentsAndStaysInsideTheData) {
  std::vector<uint8_t> longText(1000, '0');  // nothing past 1000 bytes is looked at
  for (uint8_t b : ToBytes(" 5 6 ")) longText.push_back(b);
  const struct {
    std::vector<uint8_t> data;
    Colour colour;
    bool wide;
  } cases[] = {
      {ToBytes("255 255 242 "), 0xF2FFFF, false},
      {Narrow8("240 233 208 "), 0xD0E9F0, false},  // the NUL after the third blank is never reached
      {ToBytes("258 513 1024 "), 0x000102, false},  // each component modulo 256
      {ToBytes(" 255 255 "), 0xFFFF00, false},  // an empty field stays 0
      {ToBytes("1 2 3 4 5 "), 0x030201, false},  // the third blank ends the parse
      {ToBytes(""), 0, false},
      {Wide16("240 233 208 ", 2), 0xD0E9F0, true},
      {Narrow8("1 2 3"), 0x030201, true},  // an 8-bit text without its last blank reaches its NUL
      // Odd lengths of wide data stop at the end.
      {{0x31, 0x00, 0x20, 0x00, 0x32}, 0x000201, true},
      {{0x37, 0x00, 0x20}, 0x000007, true},
      {{0x00}, 0, true},
      {{0x00, 0x00, 0x00}, 0x0000D0, true},  // a second zero byte is taken: 0 - '0'
      // Without its last blank, a wide text runs into its NUL: the zero byte after the
      // stepped-over one is taken as a digit (5 * 10 + 0 - '0' = 2).
      {Wide16("12 34 5", 1), 0x02220C, true},
      // Hostile texts: characters other than digits count with their distance from '0'; no
      // blanks is one endless red field.
      {ToBytes("A 0 0 "), 17, false},     // 'A' - '0'
      {ToBytes("-1 0 0 "), 0xE3, false},  // (-3) * 10 + 1, low 8 bits
      {std::vector<uint8_t>(1000, '9'), 0xFF, false},  // 10^1000 - 1 is 255 modulo 256
      {longText, 0, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Parse(c.data), std::make_pair(c.colour, c.wide)) << Text(c.data).substr(0, 20);
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
    EXPECT_EQ(Parse(Narrow8(ColourText(colour))).first, colour);
    EXPECT_EQ(Parse(Wide16(ColourText(colour), 1)).first, colour);
  }
}

TEST(ColourText, ValueNames) {
  EXPECT_EQ(ColourRoleOfName("COLOR 00"), 0);
  EXPECT_EQ(ColourRoleOfName("COLOR 07"), 7);
  EXPECT_EQ(ColourRoleOfName("COLOR 19"), 19);
  EXPECT_EQ(ColourRoleOfName("COLOR 05 old"), 5);  // what follows the digits does not count
  for (const char* name : {"COLOR 20", "COLOR 42", "COLOR 99", "COLOR 7x", "COLOR x7", "COLOR 5",
                           "COLOR ", "COLOR", "COLOR05", "color 05", "COLOUR 05", ""})
    EXPECT_EQ(ColourRoleOfName(name), -1) << name;
}

TEST(ColourRule, RoleOfEachControlColourMessage) {
  const std::pair<unsigned, int> cases[] = {
      {0x0135, 6},   // WM_CTLCOLORBTN
      {0x0133, 5},   // WM_CTLCOLOREDIT
      {0x0134, 5},   // WM_CTLCOLORLISTBOX
      {0x0137, 7},   // WM_CTLCOLORSCROLLBAR
      {0x0136, 1},   // WM_CTLCOLORDLG
      {0x0138, 1},   // WM_CTLCOLORSTATIC
      {0x0132, -1},  // WM_CTLCOLORMSGBOX
      {0x0111, -1},  // WM_COMMAND
      {0x0110, -1},  // WM_INITDIALOG
  };
  for (const auto& [message, role] : cases) EXPECT_EQ(ColourRoleForMessage(message), role) << message;
}

// --- Loading and saving ---

TEST_F(ColoursTest, NoKeyGivesTheDefaultsAndSavesEightValues8Bit) {
  LoadColours();
  EXPECT_EQ(GetWideRegistryFlag(), 0);
  for (int16_t role = 0; role < 8; ++role) {
    EXPECT_EQ(ColourOf(role), kDefaults[role]) << role;
    ASSERT_NE(BrushOf(role), 0u) << role;
    EXPECT_EQ(FakeBrushColour(BrushOf(role)), kDefaults[role]) << role;
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
  EXPECT_EQ(*ValueData(u"COLOR 03"), Wide16("0 0 0 ", 1));
  ExpectAllBrushesGone();
}

TEST_F(ColoursTest, StoredColoursAreUsedAndSavedBackUnchanged) {
  AddValue(u"COLOR 05", Narrow8("0 0 255 "));
  // Higher roles are kept only when the registry names them.
  AddValue(u"COLOR 19", Narrow8("1 2 3 "));
  AddValue(u"COLOR 12", Narrow8("10 20 30 "));
  // A long value (more than the 500 bytes offered) does not hide the colours after it.
  AddValue(u"Path", std::vector<uint8_t>(800, 'x'));
  AddValue(u"COLOR 06", Narrow8("1 1 1 "));
  // Two values for one role: the last counts and no brush is left behind.
  AddValue(u"COLOR 04", Narrow8("1 1 1 "));
  AddValue(u"COLOR 04 old", Narrow8("2 2 2 "));
  LoadColours();
  EXPECT_EQ(lang_.closedKeys, 1);
  EXPECT_EQ(ColourOf(5), 0xFF0000u);
  EXPECT_EQ(FakeBrushColour(BrushOf(5)), 0xFF0000u);
  EXPECT_EQ(ColourOf(1), 0xD0E9F0u);
  EXPECT_EQ(ColourOf(19), 0x030201u);
  EXPECT_EQ(ColourOf(12), 0x1E140Au);
  EXPECT_EQ(BrushOf(11), 0u);
  EXPECT_EQ(ColourOf(6), 0x010101u);
  EXPECT_EQ(ColourOf(4), 0x020202u);
  EXPECT_EQ(FakeBrushes().alive, 8 + 2);
  EXPECT_EQ(GetWideRegistryFlag(), 0);
  SaveColours();
  EXPECT_EQ(*ValueData(u"COLOR 05"), Narrow8("0 0 255 "));
  EXPECT_EQ(*ValueData(u"COLOR 19"), Narrow8("1 2 3 "));
  EXPECT_EQ(*ValueData(u"COLOR 12"), Narrow8("10 20 30 "));
  EXPECT_EQ(ValueData(u"COLOR 11"), nullptr);
  EXPECT_EQ(*ValueData(u"COLOR 06"), Narrow8("1 1 1 "));
  EXPECT_EQ(ValueData(u"Path")->size(), 800u);
  EXPECT_EQ(*ValueData(u"COLOR 04"), Narrow8("2 2 2 "));
  EXPECT_EQ(Values().size(), 8u + 2 + 2);  // and "Path", "COLOR 04 old"
  EXPECT_EQ(lang_.closedKeys, 2);
  ExpectAllBrushesGone();

  // The next call: role 19 keeps its value in memory, but only what the registry names is used
  // and saved.
  lang_.registry.clear();
  LoadColours();
  EXPECT_EQ(ColourOf(19), 0x030201u);
  EXPECT_EQ(BrushOf(19), 0u);
  SaveColours();
  EXPECT_EQ(ValueData(u"COLOR 19"), nullptr);
  EXPECT_EQ(Values().size(), 8u);
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

TEST_F(ColoursTest, ValuesThatAreNotColoursAreIgnoredAndKept) {
  const std::vector<uint8_t> junk = Narrow8("9 9 9 ");
  for (const char16_t* name : {u"COLOR 7x", u"COLOR 42", u"COLOR 20", u"COLOR 5", u"COLOR",
                               u"color 05", u"COLOUR 05", u"XCOLOR 05", u"", u"COLOR \x0665\x0660"})
    AddValue(name, junk);
  LoadColours();
  for (int16_t role = 0; role < 8; ++role) EXPECT_EQ(ColourOf(role), kDefaults[role]) << role;
  for (int16_t role = 8; role < kColourRoles; ++role) EXPECT_EQ(BrushOf(role), 0u) << role;
  SaveColours();
  EXPECT_EQ(Values().size(), 10u + 8u);
  EXPECT_EQ(*ValueData(u"COLOR 42"), junk);
  EXPECT_EQ(*ValueData(u"COLOR 07"), Narrow8("212 208 200 "));
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

TEST_F(ColoursTest, ColoursOutsideTheTableAreNone) {
  LoadColours();
  std::pair<Colour, Brush> got{7, 7};
  GetColour(-1, &got.first, &got.second);
  EXPECT_EQ(got, (std::pair<Colour, Brush>{0, 0}));
  GetColour(20, &got.first, &got.second);
  EXPECT_EQ(got.second, 0u);
  GetColour(1, nullptr, nullptr);  // no place to store: nothing happens
  SaveColours();
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
