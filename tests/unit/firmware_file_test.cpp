#include "programming/firmware_file.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "lang/text16.h"
#include "programming/firmware_file_layers.h"
#include "slots/file_slots.h"
#include "test_files.h"
#include "test_helpers.h"

namespace s470 {
namespace {

using Bytes = std::vector<uint8_t>;

std::string Hex(const Bytes& bytes) {
  std::string hex;
  char digits[3];
  for (const uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    hex += digits;
  }
  return hex;
}

// One Intel HEX record line with CR LF; checksumError spoils the checksum.
std::string Record(uint8_t type, uint16_t address, const Bytes& data, uint8_t checksumError = 0) {
  Bytes fields = {static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
                  static_cast<uint8_t>(address), type};
  fields.insert(fields.end(), data.begin(), data.end());
  uint8_t sum = 0;
  for (const uint8_t b : fields) sum = static_cast<uint8_t>(sum + b);
  fields.push_back(static_cast<uint8_t>(-sum + checksumError));
  return ":" + Hex(fields) + "\r\n";
}
const std::string kEndRecord = ":00000001FF\r\n";

Bytes Scrambled(Bytes bytes) {
  ScrambleFirmwareBytes(bytes.data(), bytes.size());
  return bytes;
}
Bytes RandomBytes(std::mt19937& rng, size_t n) {
  Bytes bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

struct Piece {
  uint16_t address;
  Bytes bytes;
};

// The first entry where the flash image differs from the pieces (zeros elsewhere), or "".
std::string ImageDiff(const std::vector<Piece>& pieces) {
  FlashImageEntries want{};
  for (const Piece& p : pieces)
    for (size_t j = 0; j < p.bytes.size(); ++j) want[p.address + j] = p.bytes[j];
  for (uint32_t a = 0; a < kFlashImageSize; ++a)
    if (FlashImage()[a] != want[a])
      return "entry " + std::to_string(a) + " is " + std::to_string(FlashImage()[a]) + ", want " +
             std::to_string(want[a]);
  return "";
}

// Unscrambling and scrambling: the digit substitution with its exact bytes; then a whole file,
// which pins every key, the digit table switches and the order of the layers. (The loads and the
// firmware file fuzzer take any text both ways.)
TEST(FirmwareLayersTest, DigitsAndAWholeFileGiveTheirExactBytes) {
  const auto unsubstituted = [](const std::string& text) {
    Bytes b = ToBytes(text);
    ByteBuffer buffer{b.data(), b.size()};
    SubstituteDigits(buffer, kUnscrambleDigits);
    return Text(b);
  };
  // Digits from position 9 of each line up to the checksum; the counter that picks the table
  // runs over the whole file. Line 1: one digit (counter 1). Line 2: none. Line 3: "a" (not a
  // digit, counter 2) then 56 digits (3 to 58: the last under the second table). After the last
  // CR: not a line, never visited.
  EXPECT_EQ(unsubstituted(":010000007FF\r\n:0000000100\r\n:1D000000a" + std::string(55, '1') +
                          "5EE\r\n:0100000055AA"),
            ":01000000AFF\r\n:0000000100\r\n:1D000000a" + std::string(55, '5') +
                "AEE\r\n:0100000055AA");
  // A line feed inside a line moves its start one place: positions 10 to 12 are visited.
  EXPECT_EQ(unsubstituted("ABCD\nFGHIJ01234\r"), "ABCD\nFGHIJ35034\r");

  // A 100-byte record whose digits map differently on both sides of each table switch.
  Bytes data;
  for (int k = 1; k <= 200; k += 2)
    data.push_back(static_cast<uint8_t>((k % 16) << 4 | (k + 1) % 16));
  EXPECT_EQ(Hex(Scrambled(ToBytes(Record(0, 0x0000, data) + kEndRecord))),
            "4906FEE6A6AE9F37176C7916402C749ADEF5111543A39707522D3896C0ACF51A5F34D1D4836256C792EDF817"
            "412D759BDFF4101442A29606532C3997C1ADF41B5EB5545FF6053944177690FB43CD7D7BD1FAF41EB6447804"
            "5736D17BC34DFCFB503B34DF7685B9C497F611FA42CC7C7AD0FBF51FB74579055637D07AC24CFDFA50B5AE55"
            "0CE7D9B0E57271F642CA727ED4F5EF154DA799F1A4333076C24AF3FE55342FD48D66583164F3F0F743CB737F"
            "D5F4EE144CA698F0A5323177C34BF2FF54B5AE550CE7D9B0E57270F743CB737FD5F40E0CD23A9EF6573E3F77"
            "C7ADF2FB4C4B");
}

class FirmwareLoadTest : public ::testing::Test {
 protected:
  void TearDown() override { CloseFileSlot(kFirmwareSlot); }

  // Writes the plain text scrambled and loads it, checked as for a module or not.
  FirmwareLoad Load(const std::string& plain, bool checked = false) {
    onDisk_ = Scrambled(ToBytes(plain));
    WriteFileBytes(path_, onDisk_);
    const std::u16string name = FromUtf8(path_);
    return checked ? LoadCheckedFirmwareImage(name.c_str()) : LoadFirmwareImage(name.c_str());
  }
  // Slot 1 is left open by the load; closed, it must give back the file exactly.
  void ExpectFileUnchanged() {
    EXPECT_TRUE(IsSlotOpen(kFirmwareSlot));
    ASSERT_EQ(CloseFileSlot(kFirmwareSlot), 0);
    EXPECT_EQ(ReadFileBytes(path_), onDisk_);
  }

  TempDir dir_;
  std::string path_ = dir_.Path("fw.hex");
  Bytes onDisk_;
  std::mt19937 rng_{5};
};

TEST_F(FirmwareLoadTest, RecordsAreReadIntoAClearedImageOrTheFileIsRefusedWhole) {
  const Bytes a = RandomBytes(rng_, 16), b = RandomBytes(rng_, 16), c = RandomBytes(rng_, 32),
              d = RandomBytes(rng_, 5);
  const std::string good = Record(0, 0x0000, a);
  // A record of 1000 characters without the spaces after it (what follows the checksum is not
  // looked at), and one of 1001.
  std::string record = Record(0, 0x0020, b);
  record.resize(record.size() - 2);
  const std::string full = record + std::string(1000 - record.size(), '0') + std::string(40, ' ');
  // A record line ended by LF, TAB or NUL instead of CR is no line of its own.
  std::string notEnded;
  for (const char end : {'\n', '\t', '\0'}) notEnded += ":0101000055A9" + std::string(1, end);
  struct Case {
    std::string what, text;
    FirmwareLoad result;
    std::vector<Piece> image;
    bool checked = false;
  };
  std::vector<Case> cases = {
      {"addresses", good + Record(0, 0x0500, c) + Record(0, 0x3E7B, d) + kEndRecord,
       FirmwareLoad::kLoaded, {{0x0000, a}, {0x0500, c}, {0x3E7B, d}}},  // d ends at 15999
      {"no end record, no CR", good + Record(0, 0x0010, b) + notEnded, FirmwareLoad::kLoaded,
       {{0x0000, a}, {0x0010, b}}},
      {"spaces, blank lines", "\r\n\r\n : 04 0 1 20 00 DE AD  BE E F 4A \r\n" + kEndRecord,
       FirmwareLoad::kLoaded,
       {{0x0120, {0xDE, 0xAD, 0xBE, 0xEF}}}},
      // Checksums are not checked; empty records are passed over wherever they point.
      {"checksum and empty records", Record(0, 0x0040, a, 0x5A) + ":00FFF00011\r\n" +
       ":003E80004E\r\n" + Record(0, 0x0080, {7}) + kEndRecord, FirmwareLoad::kLoaded,
       {{0x0040, a}, {0x0080, {7}}}},
      {"1001 characters", good + full + "0\r\n" + kEndRecord, FirmwareLoad::kRefused, {}},
      // Nothing after the end record is read.
      {"after the end",
       full + "\r\n" + kEndRecord + Record(0, 0xFFF8, b) + std::string(5000, 'F') + "\r\n",
       FirmwareLoad::kLoaded, {{0x0020, b}}},
      // Any record type but data ends the reading, also an extended address.
      {"type 4", Record(0, 0x0200, a) + ":020000040000FA\r\n" + Record(0, 0x0300, b) + kEndRecord,
       FirmwareLoad::kLoaded, {{0x0200, a}}},
      // A record past the image, here one whose end would wrap round in 16 bits.
      {"past the image", good + Record(0, 0xFFF8, b) + kEndRecord, FirmwareLoad::kRefused, {}},
  };
  // A file for a module is loaded checked: every record read must have its mark, hex digits of
  // either case only, its stated length and a checksum that sums to 0, and one must carry data.
  const Bytes e = {0x01, 0x9F, 0xF9, 0xAF, 0x90, 0x00};
  const std::string sound = ":06010000019FF9AF900021\r\n";  // e at 0x0100
  for (const std::string& line : {sound, std::string(":06010000019ff9af900021\r\n")})
    cases.push_back({"checked: " + line, line + kEndRecord, FirmwareLoad::kLoaded, {{0x0100, e}},
                     true});
  for (const char* line : {":06010000019FF9AF900022\r\n",  // a bad checksum
                           // "01" as "G1" (the same value and sum, but no hex digit), "00" as "0G"
                           ":06010000G19FF9AF900021\r\n", ":06010000019FF9AF900G21\r\n"})
    cases.push_back({std::string("checked: ") + line, line + kEndRecord, FirmwareLoad::kRefused, {},
                     true});
  for (const std::string& text : {sound + ":00000001FE\r\n", kEndRecord})  // bad end, no data
    cases.push_back({"checked: " + text, text, FirmwareLoad::kRefused, {}, true});

  // Each case loads over what the one before left, so an image that is not cleared first shows.
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    ASSERT_EQ(Load(k.text, k.checked), k.result);
    EXPECT_EQ(ImageDiff(k.image), "");
    ExpectFileUnchanged();
  }
}

// A HEX file of srec_cat, scrambled by the fwscramble tool, loads exactly and unscrambles
// back; a text the loader cannot use is scrambled all the same, with a warning; unusable files
// are refused.
TEST_F(FirmwareLoadTest, HexFilesScrambledByTheToolLoadExactlyOrAreWarnedAbout) {
  const Bytes all = RandomBytes(rng_, kFlashImageSize);
  const std::string bin = dir_.Path("all.bin"), hex = dir_.Path("made.hex"),
                    back = dir_.Path("back.hex"), err = dir_.Path("err");
  WriteFileBytes(bin, all);
  const auto piece = [&all](uint16_t from, uint16_t to) {
    return Piece{from, Bytes(all.begin() + from, all.begin() + to)};
  };
  const std::string warning = "fwscramble: warning: " + hex;
  const struct {
    std::string command, plain;  // what makes the HEX file, or its text
    FirmwareLoad result;
    std::vector<Piece> pieces;
    std::string err;
  } cases[] = {
      {"srec_cat '" + bin + "' -binary -crop 0x100 0x2F4 0x800 0x810 0x2000 0x3E80 -o '" + hex +
           "' -intel -address-length=2 -crlf -execution-start-address=0x2000",
       "", FirmwareLoad::kLoaded,
       {piece(0x100, 0x2F4), piece(0x800, 0x810), piece(0x2000, 0x3E80)}, ""},
      {"", ":0100000055AA\n:00000001FF\n", FirmwareLoad::kLoaded, {},
       warning + " has no CR line ends; the firmware loader reads no records from it\n"},
      {"", Record(0, 0x3E7F, {1, 2}) + kEndRecord, FirmwareLoad::kRefused, {},
       warning + " has a record past flash address 15999 or a line longer than 1000 characters; "
                 "the firmware loader refuses it\n"},
  };
  const std::string tool = "'" S470_NATIVE_BIN "/fwscramble' ";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command + c.plain);
    if (c.command.empty()) WriteFileBytes(hex, ToBytes(c.plain));
    ASSERT_EQ(c.command.empty() ? 0 : std::system(c.command.c_str()), 0);
    const Bytes made = ReadFileBytes(hex);
    const std::string scramble = tool + "scramble '" + hex + "' '" + path_ + "' 2>'" + err + "'";
    ASSERT_EQ(std::system(scramble.c_str()), 0);
    EXPECT_EQ(Text(ReadFileBytes(err)), c.err);
    onDisk_ = ReadFileBytes(path_);
    EXPECT_EQ(onDisk_, Scrambled(made));
    ASSERT_EQ(LoadFirmwareImage(FromUtf8(path_).c_str()), c.result);
    EXPECT_EQ(ImageDiff(c.pieces), "");
    ExpectFileUnchanged();
    ASSERT_EQ(std::system((tool + "unscramble '" + path_ + "' '" + back + "'").c_str()), 0);
    EXPECT_EQ(ReadFileBytes(back), made);
  }
  // Input that cannot be read and output that cannot be made: status 2 (unusable files), one
  // line, and nothing written.
  WriteFileBytes(hex, ToBytes(kEndRecord));
  WriteFileBytes(back, {1, 2, 3});
  const std::string missing = dir_.Path("missing.bin"), noFolder = dir_.Path("no/out.bin");
  const struct {
    std::string args, err;
  } failures[] = {
      {"unscramble '" + missing + "' '" + back + "'",
       "fwscramble: cannot open " + missing + ": No such file or directory\n"},
      {"scramble '" + hex + "' '" + noFolder + "'",
       "fwscramble: cannot create " + noFolder + ": No such file or directory\n"},
  };
  for (const auto& f : failures) {
    const int status = std::system((tool + f.args + " 2>'" + err + "'").c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 2) << f.args;
    EXPECT_EQ(Text(ReadFileBytes(err)), f.err);
    EXPECT_EQ(ReadFileBytes(back), (Bytes{1, 2, 3}));
  }
}

}  // namespace
}  // namespace s470
