#include "programming/firmware_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "lang/text16.h"
#include "programming/firmware_file_layers.h"
#include "programming/firmware_keys.h"
#include "slots/file_slots.h"
#include "test_files.h"

namespace s470 {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// One Intel HEX record line with CR LF; checksumError spoils the checksum.
std::string Record(uint8_t type, uint16_t address, const Bytes& data, uint8_t checksumError = 0) {
  std::string line = ":";
  uint8_t sum = 0;
  const auto put = [&](unsigned value) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", value & 0xFF);
    line += digits;
    sum = static_cast<uint8_t>(sum + value);
  };
  put(static_cast<unsigned>(data.size()));
  put(address >> 8);
  put(address & 0xFF);
  put(type);
  for (const uint8_t b : data) put(b);
  put(static_cast<uint8_t>(-sum + checksumError));
  return line + "\r\n";
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

// The first difference between the flash image and what it should hold, or "" when they agree.
std::string ImageDiff(const FlashImageEntries& want) {
  const FlashImageEntries& got = FlashImage();
  for (uint32_t a = 0; a < kFlashImageSize; ++a)
    if (got[a] != want[a])
      return "entry " + std::to_string(a) + " is " + std::to_string(got[a]) + ", want " +
             std::to_string(want[a]);
  return "";
}

void Put(FlashImageEntries& image, uint16_t address, const Bytes& data) {
  for (size_t j = 0; j < data.size(); ++j) image[address + j] = data[j];
}

// ---------------------------------------------------------------------------------------------
// Hex fields

TEST(ParseHexTest, ReadsDigitsOfEitherCasePassesOverOthersKeepsLow16Bits) {
  EXPECT_EQ(ParseHex("1a2B"), 0x1A2B);
  EXPECT_EQ(ParseHex("x1 -2g"), 0x12);
  EXPECT_EQ(ParseHex(""), 0);
  EXPECT_EQ(ParseHex("12345"), 0x2345);
  EXPECT_EQ(ParseHex("fFfFf"), 0xFFFF);
}

TEST(ParseHexRecordTest, FieldsByPositionRecordMarkAndChecksumNotExamined) {
  const HexRecord r = ParseHexRecord("?03ABCD00a1B2c3ZZ");
  EXPECT_EQ(r.count, 3);
  EXPECT_EQ(r.address, 0xABCD);
  EXPECT_EQ(r.type, 0);
  EXPECT_EQ(r.data[0], 0xA1);
  EXPECT_EQ(r.data[1], 0xB2);
  EXPECT_EQ(r.data[2], 0xC3);
  EXPECT_EQ(ParseHexRecord(":0000000402").type, 4);
}

TEST(ParseHexRecordTest, FieldsCutShortByTheLineEndReadWhatIsThere) {
  // Count 16 but two data bytes: the checksum digits read as the third, the rest as 0.
  HexRecord r = ParseHexRecord(":1000100011229A");
  EXPECT_EQ(r.count, 16);
  EXPECT_EQ(r.address, 0x0010);
  EXPECT_EQ(r.data[0], 0x11);
  EXPECT_EQ(r.data[1], 0x22);
  EXPECT_EQ(r.data[2], 0x9A);
  for (int j = 3; j < 16; ++j) EXPECT_EQ(r.data[j], 0) << j;
  r = ParseHexRecord(":0210");
  EXPECT_EQ(r.count, 2);
  EXPECT_EQ(r.address, 0x10);
  EXPECT_EQ(r.type, 0);
  EXPECT_EQ(ParseHexRecord("").count, 0);
}

// ---------------------------------------------------------------------------------------------
// The layers one by one

TEST(FirmwareLayersTest, FileMaskXorsEveryByte) {
  Bytes b = {0x00, 0xFF, 0x5A};
  ByteBuffer buffer{b.data(), b.size()};
  ApplyFileMask(buffer);
  EXPECT_EQ(b, (Bytes{kFirmwareFileMask, static_cast<uint8_t>(~kFirmwareFileMask),
                      static_cast<uint8_t>(0x5A ^ kFirmwareFileMask)}));
}

TEST(FirmwareLayersTest, RotationMovesThreeBitsAcrossBytesAndAroundTheEnd) {
  Bytes b = {0x80, 0x00, 0x00, 0x01};
  ByteBuffer buffer{b.data(), b.size()};
  RotateLeft3(buffer);
  EXPECT_EQ(b, (Bytes{0x00, 0x00, 0x00, 0x0C}));
  RotateRight3(buffer);
  EXPECT_EQ(b, (Bytes{0x80, 0x00, 0x00, 0x01}));

  b = {0x12, 0x34};
  buffer = {b.data(), b.size()};
  RotateLeft3(buffer);
  EXPECT_EQ(b, (Bytes{0x91, 0xA0}));

  b = {0xE1};
  buffer = {b.data(), b.size()};
  RotateLeft3(buffer);
  EXPECT_EQ(b, (Bytes{0x0F}));
}

TEST(FirmwareLayersTest, RotationAgreesWithTheFileAsOneStringOfBits) {
  std::mt19937 rng(7);
  for (size_t n : {1u, 2u, 3u, 17u, 256u}) {
    Bytes b = RandomBytes(rng, n);
    std::vector<int> bits;
    for (const uint8_t byte : b)
      for (int k = 7; k >= 0; --k) bits.push_back((byte >> k) & 1);
    std::rotate(bits.begin(), bits.begin() + 3, bits.end());
    Bytes want(n, 0);
    for (size_t i = 0; i < bits.size(); ++i)
      want[i / 8] = static_cast<uint8_t>(want[i / 8] | (bits[i] << (7 - i % 8)));
    ByteBuffer buffer{b.data(), b.size()};
    RotateLeft3(buffer);
    EXPECT_EQ(b, want) << n;
  }
}

TEST(FirmwareLayersTest, KeystreamSwapsNibblesThenXorsSteppedRegisters) {
  // Registers stepped after each byte: A doubled, B + 1, C * 7 xor step, D - 1.
  unsigned a = kKeySeedA, b = kKeySeedB, c = kKeySeedC, d = kKeySeedD;
  Bytes keys;
  for (int i = 0; i < 12; ++i) {
    keys.push_back(static_cast<uint8_t>(a ^ b ^ c ^ d ^ kKeyE));
    a = (a * 2) % 256;
    b = (b + 1) % 256;
    c = ((c * 7) % 256) ^ kKeyStepC;
    d = (d + 255) % 256;
  }
  Bytes zeros(12, 0);
  ByteBuffer buffer{zeros.data(), zeros.size()};
  RemoveKeystream(buffer);
  EXPECT_EQ(zeros, keys);

  Bytes one = {0x1E};
  buffer = {one.data(), one.size()};
  RemoveKeystream(buffer);
  EXPECT_EQ(one[0], 0xE1 ^ keys[0]);  // swap first, then the key
  AddKeystream(buffer);
  EXPECT_EQ(one[0], 0x1E);
}

int DigitIndex(char c) { return static_cast<int>(std::string("0123456789ABCDEF").find(c)); }

TEST(FirmwareLayersTest, DigitSubstitutionVisitsTheRecordDataAndSwitchesTablesAt57And120) {
  // 200 data digits: visited characters 1 to 200 of the file.
  std::string data;
  for (int k = 1; k <= 200; ++k) data += "0123456789ABCDEF"[k % 16];
  // The digits at the switches map differently in the tables on both sides, so that a switch
  // one place early or late shows.
  ASSERT_NE(kDigitTables[0][DigitIndex(data[56])], kDigitTables[1][DigitIndex(data[56])]);
  ASSERT_NE(kDigitTables[0][DigitIndex(data[57])], kDigitTables[1][DigitIndex(data[57])]);
  ASSERT_NE(kDigitTables[1][DigitIndex(data[119])], kDigitTables[2][DigitIndex(data[119])]);
  ASSERT_NE(kDigitTables[1][DigitIndex(data[120])], kDigitTables[2][DigitIndex(data[120])]);

  const std::string line = ":C8080000" + data + "9A\r\n";
  Bytes b = ToBytes(line);
  ByteBuffer buffer{b.data(), b.size()};
  SubstituteDigits(buffer, kUnscrambleDigits);

  std::string want = line;
  for (int k = 1; k <= 200; ++k) {
    const int table = k <= 57 ? 0 : k <= 120 ? 1 : 2;
    want[8 + k] = kDigitTables[table][DigitIndex(data[k - 1])];
  }
  EXPECT_EQ(std::string(b.begin(), b.end()), want);

  SubstituteDigits(buffer, kScrambleDigits);
  EXPECT_EQ(std::string(b.begin(), b.end()), line);
}

TEST(FirmwareLayersTest, DigitCounterRunsOverLinesAndCountsWhatItDoesNotChange) {
  // Line 1: 12 characters before CR, one visited (position 9, counter 1). Line 2: 11 characters,
  // none visited. Line 3: "a" (not a digit, counter 2) then 56 digits (3..58) and a checksum.
  // After the last CR: not a line, never visited.
  const std::string digits56 = std::string(55, '1') + "5";
  const std::string text = ":01000000" "7" "FF\r\n"
                           ":0000000100\r\n"
                           ":1D000000" "a" + digits56 + "EE\r\n"
                           ":0100000055AA";
  Bytes b = ToBytes(text);
  ByteBuffer buffer{b.data(), b.size()};
  SubstituteDigits(buffer, kUnscrambleDigits);

  std::string want = text;
  want[9] = kDigitTables[0][7];
  const size_t line3 = text.find(":1D");
  for (size_t k = 0; k < 55; ++k) want[line3 + 10 + k] = kDigitTables[0][1];  // counters 3..57
  want[line3 + 10 + 55] = kDigitTables[1][5];                                  // counter 58
  EXPECT_EQ(std::string(b.begin(), b.end()), want);
}

TEST(FirmwareLayersTest, LineFeedInsideALineMovesItsStartOnePlace) {
  // The line runs from position 0 to the CR at 15 and holds a line feed at 4: its start becomes 1,
  // so positions 10 to 12 are visited.
  const std::string text = "ABCD\nFGHIJ01234\r";
  Bytes b = ToBytes(text);
  ByteBuffer buffer{b.data(), b.size()};
  SubstituteDigits(buffer, kUnscrambleDigits);
  std::string want = text;
  want[10] = kDigitTables[0][0];
  want[11] = kDigitTables[0][1];
  want[12] = kDigitTables[0][2];
  EXPECT_EQ(std::string(b.begin(), b.end()), want);
}

TEST(FirmwareLayersTest, UnscramblingRemovesMaskRotationKeystreamDigitsInThatOrder) {
  std::mt19937 rng(11);
  std::string text;
  for (int i = 0; i < 40; ++i) text += Record(0, static_cast<uint16_t>(i * 16), RandomBytes(rng, 16));
  Bytes scrambled = RandomBytes(rng, text.size());
  Bytes want = scrambled;
  ByteBuffer buffer{want.data(), want.size()};
  ApplyFileMask(buffer);
  RotateLeft3(buffer);
  RemoveKeystream(buffer);
  SubstituteDigits(buffer, kUnscrambleDigits);
  EXPECT_EQ(Descrambled(scrambled), want);

  // And a real text, scrambled layer by layer in the opposite order.
  Bytes plain = ToBytes(text);
  want = plain;
  buffer = {want.data(), want.size()};
  SubstituteDigits(buffer, kScrambleDigits);
  AddKeystream(buffer);
  RotateRight3(buffer);
  ApplyFileMask(buffer);
  EXPECT_EQ(Scrambled(plain), want);
  EXPECT_NE(want, plain);
}

// ---------------------------------------------------------------------------------------------
// Scrambling and unscrambling are each other's inverse for any content

// Random lines of hex digits (and now and then other characters), each ended by CR LF or a bare
// CR or LF, of lengths from 0 to maxLine.
Bytes RandomLines(std::mt19937& rng, size_t n, size_t maxLine) {
  static const char kChars[] = "0123456789ABCDEF:0123456789abcdef x";
  Bytes bytes;
  while (bytes.size() < n) {
    const size_t length = rng() % (maxLine + 1);
    for (size_t i = 0; i < length && bytes.size() < n; ++i) bytes.push_back(kChars[rng() % (sizeof kChars - 1)]);
    const unsigned end = rng() % 8;
    if (end < 6) bytes.push_back('\r');
    if (end != 5 && end != 6) bytes.push_back('\n');
  }
  bytes.resize(n);
  return bytes;
}

TEST(FirmwareRoundTripTest, EveryLengthUpTo3000RandomBytesLinesAndShortLines) {
  std::mt19937 rng(1);
  for (size_t n = 0; n <= 3000; ++n) {
    const Bytes kinds[] = {RandomBytes(rng, n), RandomLines(rng, n, 80), RandomLines(rng, n, 13)};
    for (const Bytes& x : kinds) {
      ASSERT_EQ(Descrambled(Scrambled(x)), x) << "length " << n;
      ASSERT_EQ(Scrambled(Descrambled(x)), x) << "length " << n;
    }
  }
}

TEST(FirmwareRoundTripTest, SlotAndBufferGiveTheSameBytes) {
  TempDir dir;
  std::mt19937 rng(3);
  const Bytes file = RandomLines(rng, 2000, 60);
  const std::string path = dir.Path("fw.bin");
  WriteFileBytes(path, file);
  ASSERT_EQ(OpenFileSlot(kFirmwareSlot, FromUtf8(path).c_str(), 0), 0);
  DescrambleFirmwareFile();
  const Bytes want = Descrambled(file);
  for (size_t i = 0; i < file.size(); ++i) ASSERT_EQ(GetSlotByte(kFirmwareSlot, i), want[i]) << i;
  ScrambleFirmwareFile();
  for (size_t i = 0; i < file.size(); ++i) ASSERT_EQ(GetSlotByte(kFirmwareSlot, i), file[i]) << i;
  ASSERT_EQ(CloseFileSlot(kFirmwareSlot), 0);
  EXPECT_EQ(ReadFileBytes(path), file);
}

// ---------------------------------------------------------------------------------------------
// Loading a firmware file into the flash image

class FirmwareLoadTest : public ::testing::Test {
 protected:
  void TearDown() override { CloseFileSlot(kFirmwareSlot); }

  // Writes the plain text scrambled under `name` and loads it.
  FirmwareLoad Load(const std::string& plain, const std::string& name = "fw.hex") {
    path_ = dir_.Path(name);
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
  std::string path_;
  Bytes onDisk_;
  std::mt19937 rng_{5};
};

TEST_F(FirmwareLoadTest, RecordsGoToTheirAddressesAndTheFileStaysAsItWas) {
  const Bytes a = RandomBytes(rng_, 16), b = RandomBytes(rng_, 32), c = RandomBytes(rng_, 5);
  const FirmwareLoad result =
      Load(Record(0, 0x0000, a) + Record(0, 0x0500, b) + Record(0, 0x3E7B, c) + kEndRecord);
  ASSERT_EQ(result, FirmwareLoad::kLoaded);
  FlashImageEntries want{};
  Put(want, 0x0000, a);
  Put(want, 0x0500, b);
  Put(want, 0x3E7B, c);  // ends at 15999
  EXPECT_EQ(ImageDiff(want), "");
  ExpectFileUnchanged();
}

TEST_F(FirmwareLoadTest, SixteenByteRecordAt0x800FillsExactly0x800To0x80F) {
  const Bytes before = RandomBytes(rng_, 16), record = RandomBytes(rng_, 16);
  ASSERT_EQ(Load(Record(0, 0x07F8, before) + Record(0, 0x0800, record) + kEndRecord),
            FirmwareLoad::kLoaded);
  FlashImageEntries want{};
  Put(want, 0x07F8, before);  // 0x7F8 .. 0x807, the upper half overwritten next
  Put(want, 0x0800, record);
  EXPECT_EQ(ImageDiff(want), "");
  EXPECT_EQ(FlashImage()[0x80F], record[15]);
  EXPECT_EQ(FlashImage()[0x810], 0);
  ExpectFileUnchanged();
}

TEST_F(FirmwareLoadTest, WithoutEndRecordReadsUpToTheLastCarriageReturn) {
  const Bytes a = RandomBytes(rng_, 16), b = RandomBytes(rng_, 16);
  std::string last = Record(0, 0x0100, {0x55});
  last.resize(last.size() - 2);  // no CR LF: not a line
  ASSERT_EQ(Load(Record(0, 0x0000, a) + Record(0, 0x0010, b) + last), FirmwareLoad::kLoaded);
  FlashImageEntries want{};
  Put(want, 0x0000, a);
  Put(want, 0x0010, b);
  EXPECT_EQ(ImageDiff(want), "");
  ExpectFileUnchanged();
}

TEST_F(FirmwareLoadTest, SpacesInsideRecordsAreDropped) {
  ASSERT_EQ(Load(" : 04 0 1 20 00 DE AD  BE E F 4A \r\n" + kEndRecord), FirmwareLoad::kLoaded);
  FlashImageEntries want{};
  Put(want, 0x0120, {0xDE, 0xAD, 0xBE, 0xEF});
  EXPECT_EQ(ImageDiff(want), "");
  ExpectFileUnchanged();
}

TEST_F(FirmwareLoadTest, AnyRecordTypeButDataEndsTheReading) {
  for (const uint8_t type : {1, 2, 3, 4, 5, 0x10}) {
    const Bytes a = RandomBytes(rng_, 16);
    ASSERT_EQ(Load(Record(0, 0x0200, a) + Record(type, 0x0000, {0x10, 0x00}) +
                   Record(0, 0x0300, RandomBytes(rng_, 16)) + kEndRecord),
              FirmwareLoad::kLoaded)
        << int{type};
    FlashImageEntries want{};
    Put(want, 0x0200, a);
    EXPECT_EQ(ImageDiff(want), "") << "type " << int{type};
    ExpectFileUnchanged();
  }
}

TEST_F(FirmwareLoadTest, WrongChecksumAndEmptyDataRecordsAreReadLikeAnyOther) {
  const Bytes a = RandomBytes(rng_, 16);
  ASSERT_EQ(Load(Record(0, 0x0040, a, 0x5A) + ":00123400BA\r\n" + Record(0, 0x0080, {7}) + kEndRecord),
            FirmwareLoad::kLoaded);
  FlashImageEntries want{};
  Put(want, 0x0040, a);
  want[0x0080] = 7;
  EXPECT_EQ(ImageDiff(want), "");
  ExpectFileUnchanged();
}

TEST_F(FirmwareLoadTest, LongestRecordAndShortRecordReadNothingStale) {
  // A record of 255 bytes, then one that promises 16 but holds 2 (its checksum reads as the
  // third byte, the rest as 0, not what the longer line left in the buffer).
  const Bytes big = RandomBytes(rng_, 255);
  ASSERT_EQ(Load(Record(0, 0x1000, big) + ":100FF000112233\r\n" + kEndRecord), FirmwareLoad::kLoaded);
  FlashImageEntries want{};
  Put(want, 0x1000, big);
  Put(want, 0x0FF0, {0x11, 0x22, 0x33, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(ImageDiff(want), "");
  ExpectFileUnchanged();
}

TEST_F(FirmwareLoadTest, EveryLoadStartsFromAClearedImage) {
  ASSERT_EQ(Load(Record(0, 0x0000, RandomBytes(rng_, 200)) + kEndRecord, "part1.hex"),
            FirmwareLoad::kLoaded);
  ExpectFileUnchanged();
  const Bytes b = RandomBytes(rng_, 16);
  ASSERT_EQ(Load(Record(0, 0x0900, b) + kEndRecord, "programme.hex"), FirmwareLoad::kLoaded);
  FlashImageEntries want{};
  Put(want, 0x0900, b);
  EXPECT_EQ(ImageDiff(want), "");
  ExpectFileUnchanged();
}

TEST_F(FirmwareLoadTest, RecordPastTheImageIsRefusedAndLeavesItCleared) {
  const std::string good = Record(0, 0x0000, RandomBytes(rng_, 16));
  for (const uint16_t address : {uint16_t{0x3E71}, uint16_t{0x3E80}, uint16_t{0xFFF8}}) {
    ASSERT_EQ(Load(good + Record(0, address, RandomBytes(rng_, 16)) + kEndRecord),
              FirmwareLoad::kRefused)
        << address;
    EXPECT_EQ(ImageDiff(FlashImageEntries{}), "") << address;
    ExpectFileUnchanged();
  }
  // The same record after the end record is never read.
  ASSERT_EQ(Load(good + kEndRecord + Record(0, 0xFFF8, RandomBytes(rng_, 16))), FirmwareLoad::kLoaded);
  ExpectFileUnchanged();
}

TEST_F(FirmwareLoadTest, LineLongerThanTheLineBufferIsRefused) {
  const Bytes a = RandomBytes(rng_, 16);
  std::string record = Record(0, 0x0020, a);
  record.resize(record.size() - 2);
  // 1000 characters without the spaces: read (what follows the checksum is not looked at).
  const std::string full = record + std::string(1000 - record.size(), '0') + std::string(40, ' ');
  ASSERT_EQ(Load(full + "\r\n" + kEndRecord), FirmwareLoad::kLoaded);
  FlashImageEntries want{};
  Put(want, 0x0020, a);
  EXPECT_EQ(ImageDiff(want), "");
  ExpectFileUnchanged();

  ASSERT_EQ(Load(Record(0, 0x0000, a) + full + "0\r\n" + kEndRecord), FirmwareLoad::kRefused);
  EXPECT_EQ(ImageDiff(FlashImageEntries{}), "");
  ExpectFileUnchanged();

  // Overlong text after the end record, or after the last CR, is no line that is read.
  ASSERT_EQ(Load(full + "\r\n" + kEndRecord + std::string(5000, 'F') + "\r\n"), FirmwareLoad::kLoaded);
  EXPECT_EQ(ImageDiff(want), "");
  ExpectFileUnchanged();
  ASSERT_EQ(Load(full + "\r\n" + std::string(5000, 'F')), FirmwareLoad::kLoaded);
  EXPECT_EQ(ImageDiff(want), "");
  ExpectFileUnchanged();
}

TEST_F(FirmwareLoadTest, EmptyMissingAndUnopenableFilesLeaveTheImageAlone) {
  FlashImage().fill(0);
  FlashImage()[0x123] = 0x42;
  const FlashImageEntries before = FlashImage();

  const std::string empty = dir_.Path("empty.bin");
  WriteFileBytes(empty, {});
  EXPECT_EQ(LoadFirmwareImage(FromUtf8(empty).c_str()), FirmwareLoad::kEmpty);
  EXPECT_EQ(ImageDiff(before), "");
  ASSERT_EQ(CloseFileSlot(kFirmwareSlot), 0);

  // A missing file is created empty and stays behind.
  const std::string missing = dir_.Path("mc1_fw_u.bin");
  EXPECT_EQ(LoadFirmwareImage(FromUtf8(missing).c_str()), FirmwareLoad::kEmpty);
  ASSERT_EQ(CloseFileSlot(kFirmwareSlot), 0);
  struct stat st {};
  ASSERT_EQ(stat(missing.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
  EXPECT_EQ(ImageDiff(before), "");

  EXPECT_EQ(LoadFirmwareImage(FromUtf8(dir_.Path("no/such/folder.bin")).c_str()),
            FirmwareLoad::kNotLoaded);
  EXPECT_EQ(LoadFirmwareImage(FromUtf8(dir_.path()).c_str()), FirmwareLoad::kNotLoaded);
  EXPECT_EQ(ImageDiff(before), "");
}

TEST_F(FirmwareLoadTest, FileNotMadeForTheseModulesIsLeftAsItWas) {
  for (int i = 0; i < 20; ++i) {
    path_ = dir_.Path("foreign.bin");
    onDisk_ = RandomBytes(rng_, 3000 + i);
    WriteFileBytes(path_, onDisk_);
    const FirmwareLoad result = LoadFirmwareImage(FromUtf8(path_).c_str());
    EXPECT_TRUE(result == FirmwareLoad::kLoaded || result == FirmwareLoad::kRefused);
    ExpectFileUnchanged();
  }
}

TEST(ReadFirmwareRecordsTest, BufferReadsLikeTheSlot) {
  const std::string text = Record(0, 0x0030, {1, 2, 3}) + kEndRecord;
  ASSERT_TRUE(ReadFirmwareRecords(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  FlashImageEntries want{};
  Put(want, 0x0030, {1, 2, 3});
  EXPECT_EQ(ImageDiff(want), "");
  const std::string bad = Record(0, 0x3E7F, {1, 2});
  EXPECT_FALSE(ReadFirmwareRecords(reinterpret_cast<const uint8_t*>(bad.data()), bad.size()));
  EXPECT_EQ(ImageDiff(FlashImageEntries{}), "");
}

// ---------------------------------------------------------------------------------------------
// HEX files from other producers, scrambled with the fwscramble tool

struct RunResult {
  int exitCode;
  std::string err;
};

RunResult RunCommand(const std::string& command, const TempDir& dir) {
  const std::string errPath = dir.Path("stderr.txt");
  const int status = std::system((command + " 2>'" + errPath + "'").c_str());
  const Bytes err = ReadFileBytes(errPath);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(err.begin(), err.end())};
}

const std::string kFwscramble = std::string(S470_NATIVE_BIN) + "/fwscramble";

struct Piece {
  uint16_t address;
  Bytes bytes;
};

class OutsideHexTest : public FirmwareLoadTest {
 protected:
  // Writes each piece as a binary file; returns the srec_cat input arguments.
  std::string WritePieces(const std::vector<Piece>& pieces) {
    std::string args;
    for (size_t i = 0; i < pieces.size(); ++i) {
      const std::string bin = dir_.Path("piece" + std::to_string(i) + ".bin");
      WriteFileBytes(bin, pieces[i].bytes);
      args += " '" + bin + "' -binary -offset " + std::to_string(pieces[i].address);
    }
    return args;
  }

  // Scrambles `hex` with the tool, loads it, and checks the image against the pieces and the
  // file after closing against the scrambled file; unscrambling gives the HEX file back.
  void ScrambleAndLoad(const std::string& hex, const std::vector<Piece>& pieces) {
    path_ = dir_.Path("firmware.bin");
    const RunResult scrambled = RunCommand("'" + kFwscramble + "' scramble '" + hex + "' '" + path_ + "'", dir_);
    ASSERT_EQ(scrambled.exitCode, 0) << scrambled.err;
    EXPECT_EQ(scrambled.err, "");
    onDisk_ = ReadFileBytes(path_);
    EXPECT_EQ(Descrambled(onDisk_), ReadFileBytes(hex));

    ASSERT_EQ(LoadFirmwareImage(FromUtf8(path_).c_str()), FirmwareLoad::kLoaded);
    FlashImageEntries want{};
    for (const Piece& p : pieces) Put(want, p.address, p.bytes);
    EXPECT_EQ(ImageDiff(want), "");
    ExpectFileUnchanged();

    const std::string back = dir_.Path("back.hex");
    ASSERT_EQ(RunCommand("'" + kFwscramble + "' unscramble '" + path_ + "' '" + back + "'", dir_).exitCode, 0);
    EXPECT_EQ(ReadFileBytes(back), ReadFileBytes(hex));
  }
};

TEST_F(OutsideHexTest, SrecCatSixteenAndThirtyTwoByteRecordsWithAndWithoutStartAddress) {
  const std::vector<Piece> pieces = {{0x0100, RandomBytes(rng_, 500)},
                                     {0x0800, RandomBytes(rng_, 16)},
                                     {0x2000, RandomBytes(rng_, kFlashImageSize - 0x2000)}};
  const std::string inputs = WritePieces(pieces);
  for (const char* options : {"-output_block_size=16", "-output_block_size=32",
                              "-output_block_size=16 -execution-start-address=0x0100",
                              "-output_block_size=32 -execution-start-address=0x2000"}) {
    SCOPED_TRACE(options);
    const std::string hex = dir_.Path("srec.hex");
    const RunResult made = RunCommand("srec_cat" + inputs + " -o '" + hex +
                                   "' -intel -address-length=2 -crlf " + options, dir_);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    ScrambleAndLoad(hex, pieces);
  }
}

TEST_F(OutsideHexTest, ObjcopyWithAndWithoutStartAddressRecord) {
  // A whole image, and a piece in the middle.
  for (const Piece& piece : {Piece{0x0000, RandomBytes(rng_, kFlashImageSize)},
                             Piece{0x0500, RandomBytes(rng_, 3001)}}) {
    const std::string bin = dir_.Path("image.bin");
    WriteFileBytes(bin, piece.bytes);
    for (const std::string start : {"", " --set-start 0x0500"}) {
      SCOPED_TRACE(std::to_string(piece.address) + start);
      const std::string hex = dir_.Path("objcopy.hex");
      const RunResult made =
          RunCommand("objcopy -I binary -O ihex --change-section-address .data+" +
                  std::to_string(piece.address) + start + " '" + bin + "' '" + hex + "'", dir_);
      ASSERT_EQ(made.exitCode, 0) << made.err;
      const Bytes text = ReadFileBytes(hex);
      const bool startRecord = std::string(text.begin(), text.end()).find(":04000003") != std::string::npos;
      EXPECT_EQ(startRecord, !start.empty());
      ScrambleAndLoad(hex, {piece});
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The fwscramble tool's own failures

TEST(FwscrambleToolTest, BadArgumentsGiveUsageAndExitCode1) {
  TempDir dir;
  const std::string usage = "usage: fwscramble scramble IN OUT";
  RunResult r = RunCommand("'" + kFwscramble + "'", dir);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find(usage), std::string::npos) << r.err;
  r = RunCommand("'" + kFwscramble + "' scramble only-in", dir);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find(usage), std::string::npos) << r.err;
  r = RunCommand("'" + kFwscramble + "' mix a b", dir);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("fwscramble: unknown command 'mix'"), std::string::npos) << r.err;
}

TEST(FwscrambleToolTest, UnreadableInputOrUnwritableOutputExitWith1AndLoseNothing) {
  TempDir dir;
  const std::string out = dir.Path("out.bin");
  WriteFileBytes(out, {1, 2, 3});
  RunResult r = RunCommand("'" + kFwscramble + "' unscramble '" + dir.Path("missing.hex") + "' '" + out + "'", dir);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "fwscramble: cannot open " + dir.Path("missing.hex") + ": No such file or directory\n");
  EXPECT_EQ(ReadFileBytes(out), (Bytes{1, 2, 3}));

  const std::string in = dir.Path("in.hex");
  WriteFileBytes(in, ToBytes(kEndRecord));
  r = RunCommand("'" + kFwscramble + "' scramble '" + in + "' '" + dir.Path("no/such/out.bin") + "'", dir);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("fwscramble: cannot create " + dir.Path("no/such/out.bin")), std::string::npos)
      << r.err;
  EXPECT_EQ(ReadFileBytes(in), ToBytes(kEndRecord));
}

TEST(FwscrambleToolTest, WarnsAboutFilesTheLoaderCannotUse) {
  TempDir dir;
  const std::string in = dir.Path("lf.hex"), out = dir.Path("lf.bin");
  WriteFileBytes(in, ToBytes(":0100000055AA\n:00000001FF\n"));
  RunResult r = RunCommand("'" + kFwscramble + "' scramble '" + in + "' '" + out + "'", dir);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "fwscramble: warning: " + in +
                       " has no CR line ends; the firmware loader reads no records from it\n");
  EXPECT_EQ(Descrambled(ReadFileBytes(out)), ReadFileBytes(in));

  WriteFileBytes(in, ToBytes(Record(0, 0x3E7F, {1, 2}) + kEndRecord));
  r = RunCommand("'" + kFwscramble + "' scramble '" + in + "' '" + out + "'", dir);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "fwscramble: warning: " + in +
                       " has a record past flash address 15999 or a line longer than 1000 "
                       "characters; the firmware loader refuses it\n");
}

}  // namespace
}  // namespace s470
