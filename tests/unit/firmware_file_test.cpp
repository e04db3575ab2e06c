#include "programming/firmware_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cctype>
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
Bytes Descrambled(Bytes bytes) {
  DescrambleFirmwareBytes(bytes.data(), bytes.size());
  return bytes;
}
Bytes RandomBytes(std::mt19937& rng, size_t n) {
  Bytes bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}
// Random record-like text: digits, marks, blanks and line ends of every kind.
Bytes RandomText(std::mt19937& rng, size_t n) {
  static const char kChars[] = "0123456789ABCDEF:0123456789abcdef x\r\n\r";
  Bytes bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(kChars[rng() % (sizeof kChars - 1)]);
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

TEST(ParseHexTest, DigitsOfEitherCaseOthersPassedOverLow16BitsFieldsByPosition) {
  EXPECT_EQ(ParseHex("x1 -2g"), 0x12);
  EXPECT_EQ(ParseHex("fFfFf"), 0xFFFF);
  EXPECT_EQ(ParseHex("aB12345"), 0x2345);
  const HexRecord r = ParseHexRecord("?03ABCD04a1B2c3ZZ");  // the mark is not examined
  EXPECT_EQ(std::vector<uint16_t>({r.count, r.address, r.type, r.data[0], r.data[1], r.data[2], r.data[3]}),
            (std::vector<uint16_t>{3, 0xABCD, 4, 0xA1, 0xB2, 0xC3, 0}));
}

// The four layers, each with its exact bytes and undone by its inverse; then a whole file.
void Unsubstitute(ByteBuffer& b) { SubstituteDigits(b, kUnscrambleDigits); }
void Substitute(ByteBuffer& b) { SubstituteDigits(b, kScrambleDigits); }

TEST(FirmwareLayersTest, EachLayerGivesItsExactBytesAndItsInverseUndoesIt) {
  using Layer = void (*)(ByteBuffer&);
  const struct {
    Layer unscramble, scramble;
    Bytes in, out;
  } cases[] = {
      {ApplyFileMask, ApplyFileMask, {0x00, 0xFF, 0x5A}, {0xD2, 0x2D, 0x88}},
      // The file as one string of bits, rotated left by 3: across bytes and around the end.
      {RotateLeft3, RotateRight3, {0xE1}, {0x0F}},
      {RotateLeft3, RotateRight3, {0x12, 0x34, 0x56}, {0x91, 0xA2, 0xB0}},
      {RotateLeft3, RotateRight3, {0x80, 0x00, 0x00, 0x01}, {0x00, 0x00, 0x00, 0x0C}},
      // Nibbles swapped first, then the key bytes.
      {RemoveKeystream, AddKeystream, Bytes(12, 0),
       {0xD7, 0x2C, 0x22, 0x0A, 0x0A, 0x1E, 0xC6, 0xD2, 0xE2, 0x66, 0xA6, 0x72}},
      {RemoveKeystream, AddKeystream, {0x1E}, {0xE1 ^ 0xD7}},
      // Digits from position 9 of each line up to the checksum; the counter that picks the
      // table runs over the whole file. Line 1: one digit (counter 1). Line 2: none. Line 3: "a"
      // (not a digit, counter 2) then 56 digits (3 to 58: the last under the second table).
      // After the last CR: not a line, never visited.
      {Unsubstitute, Substitute,
       ToBytes(":010000007FF\r\n:0000000100\r\n:1D000000a" + std::string(55, '1') + "5EE\r\n:0100000055AA"),
       ToBytes(":01000000AFF\r\n:0000000100\r\n:1D000000a" + std::string(55, '5') + "AEE\r\n:0100000055AA")},
      // A line feed inside a line moves its start one place: positions 10 to 12 are visited.
      {Unsubstitute, Substitute, ToBytes("ABCD\nFGHIJ01234\r"), ToBytes("ABCD\nFGHIJ35034\r")},
  };
  for (const auto& c : cases) {
    Bytes b = c.in;
    ByteBuffer buffer{b.data(), b.size()};
    c.unscramble(buffer);
    EXPECT_EQ(Hex(b), Hex(c.out)) << Hex(c.in);
    c.scramble(buffer);
    EXPECT_EQ(Hex(b), Hex(c.in));
  }

  // A 100-byte record whose digits map differently on both sides of each digit table switch,
  // then the end record: pins every key, the table switches and the order of the layers.
  Bytes data;
  for (int k = 1; k <= 200; k += 2) data.push_back(static_cast<uint8_t>((k % 16) << 4 | (k + 1) % 16));
  EXPECT_EQ(Hex(Scrambled(ToBytes(Record(0, 0x0000, data) + kEndRecord))),
            "4906FEE6A6AE9F37176C7916402C749ADEF5111543A39707522D3896C0ACF51A5F34D1D4836256C792EDF817"
            "412D759BDFF4101442A29606532C3997C1ADF41B5EB5545FF6053944177690FB43CD7D7BD1FAF41EB6447804"
            "5736D17BC34DFCFB503B34DF7685B9C497F611FA42CC7C7AD0FBF51FB74579055637D07AC24CFDFA50B5AE55"
            "0CE7D9B0E57271F642CA727ED4F5EF154DA799F1A4333076C24AF3FE55342FD48D66583164F3F0F743CB737F"
            "D5F4EE144CA698F0A5323177C34BF2FF54B5AE550CE7D9B0E57270F743CB737FD5F40E0CD23A9EF6573E3F77"
            "C7ADF2FB4C4B");
}

// Scrambling and unscrambling undo each other for any content and length, in a buffer and in the
// slot, whose file closes unchanged.
TEST(FirmwareRoundTripTest, AnyBytesBothWaysInBufferAndSlot) {
  std::mt19937 rng(1);
  for (size_t n = 0; n <= 1200; ++n)
    for (const Bytes& x : {RandomBytes(rng, n), RandomText(rng, n)}) {
      ASSERT_EQ(Descrambled(Scrambled(x)), x) << n;
      ASSERT_EQ(Scrambled(Descrambled(x)), x) << n;
    }
  TempDir dir;
  Bytes file = ToBytes(Record(0, 0x10, RandomBytes(rng, 200)) + kEndRecord);
  file.resize(1999, 'x');
  const std::string path = dir.Path("fw.bin");
  WriteFileBytes(path, file);
  ASSERT_EQ(OpenFileSlot(kFirmwareSlot, FromUtf8(path).c_str(), 0), 0);
  DescrambleFirmwareFile();
  const Bytes want = Descrambled(file);
  for (size_t i = 0; i < file.size(); ++i) ASSERT_EQ(GetSlotByte(kFirmwareSlot, i), want[i]) << i;
  ScrambleFirmwareFile();
  ASSERT_EQ(CloseFileSlot(kFirmwareSlot), 0);
  EXPECT_EQ(ReadFileBytes(path), file);
}

class FirmwareLoadTest : public ::testing::Test {
 protected:
  void TearDown() override { CloseFileSlot(kFirmwareSlot); }

  // Writes the plain text scrambled and loads it.
  FirmwareLoad Load(const std::string& plain) {
    onDisk_ = Scrambled(ToBytes(plain));
    WriteFileBytes(path_, onDisk_);
    return LoadFirmwareImage(FromUtf8(path_).c_str());
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
              d = RandomBytes(rng_, 5), big = RandomBytes(rng_, 255);
  const std::string good = Record(0, 0x0000, a);
  // A record of 1000 characters without the spaces after it (what follows the checksum is not
  // looked at), and one of 1001.
  std::string record = Record(0, 0x0020, b);
  record.resize(record.size() - 2);
  const std::string full = record + std::string(1000 - record.size(), '0') + std::string(40, ' ');
  // A record line ended by anything but CR is no line of its own.
  const auto endedBy = [&](char end) {
    std::string r = Record(0, 0x0100, {0x55});
    r.resize(r.size() - 2);
    return r + end;
  };
  struct Case {
    std::string what, text;
    FirmwareLoad result;
    std::vector<Piece> image;
  };
  std::vector<Case> cases = {
      {"addresses", good + Record(0, 0x0500, c) + Record(0, 0x3E7B, d) + kEndRecord,
       FirmwareLoad::kLoaded, {{0x0000, a}, {0x0500, c}, {0x3E7B, d}}},  // d ends at 15999
      // The second record overwrites the upper half of the first.
      {"overlap", Record(0, 0x07F8, a) + Record(0, 0x0800, b) + kEndRecord, FirmwareLoad::kLoaded,
       {{0x07F8, a}, {0x0800, b}}},
      {"no end record, no CR", good + Record(0, 0x0010, b) + endedBy('\n'), FirmwareLoad::kLoaded,
       {{0x0000, a}, {0x0010, b}}},
      {"ended by TAB", good + endedBy('\t'), FirmwareLoad::kLoaded, {{0x0000, a}}},
      {"ended by NUL", good + endedBy('\0'), FirmwareLoad::kLoaded, {{0x0000, a}}},
      {"spaces", " : 04 0 1 20 00 DE AD  BE E F 4A \r\n" + kEndRecord, FirmwareLoad::kLoaded,
       {{0x0120, {0xDE, 0xAD, 0xBE, 0xEF}}}},
      // Checksums are not checked; empty records are passed over wherever they point.
      {"checksum and empty records", Record(0, 0x0040, a, 0x5A) + ":00FFF00011\r\n" +
       ":003E80004E\r\n" + Record(0, 0x0080, {7}) + kEndRecord, FirmwareLoad::kLoaded,
       {{0x0040, a}, {0x0080, {7}}}},
      // A short record after the longest reads nothing stale: the checksum as the third byte,
      // the rest as 0.
      {"longest then short", Record(0, 0x1000, big) + ":100FF000112233\r\n" + kEndRecord,
       FirmwareLoad::kLoaded, {{0x1000, big}, {0x0FF0, {0x11, 0x22, 0x33, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}}},
      // Nothing after the end record is read.
      {"past the image after the end", good + kEndRecord + Record(0, 0xFFF8, b), FirmwareLoad::kLoaded,
       {{0x0000, a}}},
      {"1000 characters", full + "\r\n" + kEndRecord, FirmwareLoad::kLoaded, {{0x0020, b}}},
      {"1001 characters", good + full + "0\r\n" + kEndRecord, FirmwareLoad::kRefused, {}},
      // Overlong text after the end record, or after the last CR, is no line that is read.
      {"overlong after the end", full + "\r\n" + kEndRecord + std::string(5000, 'F') + "\r\n",
       FirmwareLoad::kLoaded, {{0x0020, b}}},
      {"overlong after the last CR", full + "\r\n" + std::string(5000, 'F'), FirmwareLoad::kLoaded,
       {{0x0020, b}}},
  };
  for (const uint16_t address : {uint16_t{0x3E71}, uint16_t{0x3E80}, uint16_t{0xFFF8}})
    cases.push_back({"past the image at " + std::to_string(address),
                     good + Record(0, address, b) + kEndRecord, FirmwareLoad::kRefused, {}});
  // Any record type but data ends the reading.
  for (const uint8_t type : {1, 4, 0x10})
    cases.push_back({"type " + std::to_string(type),
                     Record(0, 0x0200, a) + Record(type, 0x0000, {0x10, 0x00}) + Record(0, 0x0300, b) + kEndRecord,
                     FirmwareLoad::kLoaded, {{0x0200, a}}});

  // Each case loads over what the one before left, so an image that is not cleared first shows.
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    ASSERT_EQ(Load(k.text), k.result);
    EXPECT_EQ(ImageDiff(k.image), "");
    ExpectFileUnchanged();
  }
}

TEST_F(FirmwareLoadTest, EmptyMissingAndUnopenableFilesLeaveTheImageAlone) {
  FlashImage().fill(0);
  FlashImage()[0x123] = 0x42;
  const std::vector<Piece> before = {{0x123, {0x42}}};
  WriteFileBytes(path_, {});
  const std::string missing = dir_.Path("mc1_fw_u.bin");
  for (const std::string& path : {path_, missing}) {
    EXPECT_EQ(LoadFirmwareImage(FromUtf8(path).c_str()), FirmwareLoad::kEmpty);
    ASSERT_EQ(CloseFileSlot(kFirmwareSlot), 0);
    EXPECT_EQ(ImageDiff(before), "");
  }
  struct stat st {};
  ASSERT_EQ(stat(missing.c_str(), &st), 0);  // a missing file is created empty and stays behind
  EXPECT_EQ(st.st_size, 0);
  for (const std::string& path : {dir_.Path("no/such/folder.bin"), dir_.path()})
    EXPECT_EQ(LoadFirmwareImage(FromUtf8(path).c_str()), FirmwareLoad::kNotLoaded);
  EXPECT_EQ(ImageDiff(before), "");
}

// A file for a module is loaded checked: every record read must have its mark, hex digits of
// either case only, its stated length and a checksum that sums to 0, and one must carry data.
TEST_F(FirmwareLoadTest, CheckedLoadRefusesEveryRecordThatIsNotSound) {
  const Bytes d = {0x01, 0x9F, 0xF9, 0xAF, 0x90, 0x00};
  std::string good = Record(0, 0x0100, d);
  good.resize(good.size() - 2);
  std::string lower = good, notHex = good, notHex2 = good, mark = good;
  for (char& c : lower) c = static_cast<char>(std::tolower(c));
  notHex[9] = 'G';  // "01" as "G1": the same value and sum, but no hex digit
  notHex2[20] = 'G';  // "00" as "0G"
  mark[0] = ';';
  const struct {
    std::string what, text;
    FirmwareLoad result;
  } cases[] = {{"sound", good + "\r\n" + kEndRecord, FirmwareLoad::kLoaded},
               {"lower case", lower + "\r\n" + kEndRecord, FirmwareLoad::kLoaded},
               {"checksum", Record(0, 0x0100, d, 1) + kEndRecord, FirmwareLoad::kRefused},
               {"not a hex digit", notHex + "\r\n" + kEndRecord, FirmwareLoad::kRefused},
               {"not a hex digit second", notHex2 + "\r\n" + kEndRecord, FirmwareLoad::kRefused},
               {"two digits too many", good + "00\r\n" + kEndRecord, FirmwareLoad::kRefused},
               {"no record mark", mark + "\r\n" + kEndRecord, FirmwareLoad::kRefused},
               {"a bad end record", good + "\r\n:00000001FE\r\n", FirmwareLoad::kRefused},
               {"no data", kEndRecord, FirmwareLoad::kRefused}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    onDisk_ = Scrambled(ToBytes(c.text));
    WriteFileBytes(path_, onDisk_);
    EXPECT_EQ(LoadCheckedFirmwareImage(FromUtf8(path_).c_str()), c.result);
    EXPECT_EQ(ImageDiff(c.result == FirmwareLoad::kLoaded ? std::vector<Piece>{{0x0100, d}} : std::vector<Piece>{}), "");
    ExpectFileUnchanged();
  }
}

// The fwscramble tool (the s470 tool under its old name), and HEX files from other producers
// scrambled with it.
struct RunResult {
  int exitCode;
  std::string err;
};

RunResult RunCommand(const std::string& command, const TempDir& dir) {
  const std::string errPath = dir.Path("stderr.txt");
  const int status = std::system((command + " 2>'" + errPath + "'").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Text(ReadFileBytes(errPath))};
}

RunResult Fwscramble(const std::string& args, const TempDir& dir) {
  return RunCommand("'" S470_NATIVE_BIN "/fwscramble'" + args, dir);
}

TEST_F(FirmwareLoadTest, HexFilesOfSrecCatAndObjcopyScrambledByTheToolLoadExactly) {
  const Piece whole{0x0000, RandomBytes(rng_, kFlashImageSize)};
  const std::vector<Piece> three = {{0x0100, RandomBytes(rng_, 500)}, {0x0800, RandomBytes(rng_, 16)},
                                    {0x2000, RandomBytes(rng_, kFlashImageSize - 0x2000)}};
  int files = 0;
  const auto bin = [&](const Piece& piece) {  // the piece as a binary file
    const std::string name = dir_.Path("piece" + std::to_string(files++) + ".bin");
    WriteFileBytes(name, piece.bytes);
    return " '" + name + "'";
  };
  const std::string hex = dir_.Path("made.hex"), back = dir_.Path("back.hex");
  std::string srec = "srec_cat";
  for (const Piece& p : three) srec += bin(p) + " -binary -offset " + std::to_string(p.address);
  srec += " -o '" + hex + "' -intel -address-length=2 -crlf -output_block_size=";
  const struct {
    std::string command;
    std::vector<Piece> pieces;
  } producers[] = {
      {srec + "16", three},
      {srec + "32 -execution-start-address=0x2000", three},
      {"objcopy -I binary -O ihex --set-start 0x0500" + bin(whole) + " '" + hex + "'", {whole}},
  };
  for (const auto& p : producers) {
    SCOPED_TRACE(p.command);
    const RunResult made = RunCommand(p.command, dir_);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const RunResult scrambled = Fwscramble(" scramble '" + hex + "' '" + path_ + "'", dir_);
    ASSERT_EQ(scrambled.exitCode, 0) << scrambled.err;
    EXPECT_EQ(scrambled.err, "");
    onDisk_ = ReadFileBytes(path_);
    ASSERT_EQ(LoadFirmwareImage(FromUtf8(path_).c_str()), FirmwareLoad::kLoaded);
    EXPECT_EQ(ImageDiff(p.pieces), "");
    ExpectFileUnchanged();
    ASSERT_EQ(Fwscramble(" unscramble '" + path_ + "' '" + back + "'", dir_).exitCode, 0);
    EXPECT_EQ(ReadFileBytes(back), ReadFileBytes(hex));
  }
}

// Bad arguments, unreadable input and unwritable output exit with 2 (the s470 tool's status for
// bad usage and unusable files) and lose nothing; files the loader cannot use are written with a
// warning.
TEST(FwscrambleToolTest, FailuresAndWarningsAreReportedAndLoseNothing) {
  TempDir dir;
  const std::string in = dir.Path("in.hex"), out = dir.Path("out.bin"), missing = dir.Path("missing.hex");
  WriteFileBytes(out, {1, 2, 3});
  const struct {
    std::string args, plain;
    int exitCode;
    std::string err;  // what stderr begins with
  } cases[] = {
      {"", "", 2, "fwscramble: A subcommand is required; see fwscramble --help\n"},
      {" scramble only-in", "", 2, "fwscramble: OUT is required; see fwscramble --help\n"},
      {" mix a b", "", 2, "fwscramble: unknown command 'mix'; see fwscramble --help\n"},
      {" analyse --port /dev/null", "", 2, "fwscramble: unknown command 'analyse'; see fwscramble --help\n"},
      {" unscramble '" + missing + "' '" + out + "'", "", 2,
       "fwscramble: cannot open " + missing + ": No such file or directory\n"},
      {" scramble '" + in + "' '" + dir.Path("no/out.bin") + "'", kEndRecord, 2,
       "fwscramble: cannot create " + dir.Path("no/out.bin")},
      {" scramble '" + in + "' '" + out + "'", ":0100000055AA\n:00000001FF\n", 0,
       "fwscramble: warning: " + in + " has no CR line ends; the firmware loader reads no records from it\n"},
      {" scramble '" + in + "' '" + out + "'", Record(0, 0x3E7F, {1, 2}) + kEndRecord, 0,
       "fwscramble: warning: " + in + " has a record past flash address 15999 or a line longer than "
       "1000 characters; the firmware loader refuses it\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    if (!c.plain.empty()) WriteFileBytes(in, ToBytes(c.plain));
    const RunResult r = Fwscramble(c.args, dir);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err);
    if (!c.plain.empty()) {
      EXPECT_EQ(ReadFileBytes(in), ToBytes(c.plain));
    }
    const Bytes unchanged = {1, 2, 3};
    EXPECT_EQ(ReadFileBytes(out), c.exitCode == 0 ? Scrambled(ToBytes(c.plain)) : unchanged);
  }
}

}  // namespace
}  // namespace s470
