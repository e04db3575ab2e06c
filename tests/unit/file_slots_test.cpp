#include "slots/file_slots.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lang/text16.h"
#include "test_files.h"

namespace s470 {
namespace {

class FileSlotsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (int16_t s = 0; s < kSlotCount; ++s) CloseFileSlot(s);
  }
  TempDir dir_;
};

TEST_F(FileSlotsTest, NewSetupFileIsZeroedWithWordZeroAllOnes) {
  const std::string path = dir_.Path("new.s47");
  ASSERT_EQ(OpenFileSlot(0, FromUtf8(path).c_str(), kSetupFileSize), 0);
  EXPECT_EQ(GetSlotSize(0), 7500u);
  EXPECT_EQ(GetSlotWord(0, 0), 0xFFFF);
  EXPECT_EQ(ReadFileBytes(path), std::vector<uint8_t>(7500, 0));  // the file gets it only on close
  ASSERT_EQ(CloseFileSlot(0), 0);
  std::vector<uint8_t> want(7500, 0);
  want[0] = want[1] = 0xFF;
  EXPECT_EQ(ReadFileBytes(path), want);
}

TEST_F(FileSlotsTest, ExactSizeFileIsReadUnchanged) {
  std::vector<uint8_t> bytes(7500);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  const std::string path = dir_.Path("old.s47");
  WriteFileBytes(path, bytes);
  ASSERT_EQ(OpenFileSlot(0, FromUtf8(path).c_str(), kSetupFileSize), 0);
  EXPECT_EQ(GetSlotWord(0, 0), bytes[0] | (bytes[1] << 8));
  EXPECT_EQ(GetSlotByte(0, 7499), bytes[7499]);
  ASSERT_EQ(CloseFileSlot(0), 0);
  EXPECT_EQ(ReadFileBytes(path), bytes);
}

TEST_F(FileSlotsTest, LongerFileIsCutWithWholeBlocksZeroedAndTailKept) {
  std::vector<uint8_t> bytes(8000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(1 + i % 250);
  const std::string path = dir_.Path("long.s47");
  WriteFileBytes(path, bytes);
  ASSERT_EQ(OpenFileSlot(0, FromUtf8(path).c_str(), kSetupFileSize), 0);
  std::vector<uint8_t> onDisk = ReadFileBytes(path);
  ASSERT_EQ(onDisk.size(), 7500u);
  for (size_t i = 0; i < 7000; ++i) ASSERT_EQ(onDisk[i], 0) << i;
  for (size_t i = 7000; i < 7500; ++i) ASSERT_EQ(onDisk[i], bytes[i]) << i;
  EXPECT_EQ(GetSlotWord(0, 0), 0xFFFF);
  EXPECT_EQ(GetSlotByte(0, 7000), bytes[7000]);
}

TEST_F(FileSlotsTest, SizeZeroTakesTheFileAsItIs) {
  const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5};
  const std::string path = dir_.Path("fw.hex");
  WriteFileBytes(path, bytes);
  ASSERT_EQ(OpenFileSlot(1, FromUtf8(path).c_str(), 0), 0);
  EXPECT_EQ(GetSlotSize(1), 5u);
  EXPECT_EQ(GetSlotWord(1, 0), 0x0201);  // no 0xFFFF: not a setup file
  EXPECT_EQ(ReadFileBytes(path), bytes);
}

TEST_F(FileSlotsTest, WordsAreLittleEndianAndOutOfRangeAccessIsHarmless) {
  const std::string path = dir_.Path("w.s47");
  ASSERT_EQ(OpenFileSlot(0, FromUtf8(path).c_str(), kSetupFileSize), 0);
  SetSlotWord(0, 10, 0x1234);
  EXPECT_EQ(GetSlotByte(0, 10), 0x34);
  EXPECT_EQ(GetSlotByte(0, 11), 0x12);
  EXPECT_EQ(GetSlotWord(0, 10), 0x1234);
  SetSlotWord(0, 7499, 0xABCD);  // would straddle the end: ignored
  SetSlotByte(0, 7500, 0x55);
  SetSlotByte(0, 0xFFFFFFFF, 0x55);
  EXPECT_EQ(GetSlotByte(0, 7499), 0);
  EXPECT_EQ(GetSlotWord(0, 7499), 0);
  EXPECT_EQ(GetSlotByte(0, 7500), 0);
  // Slots that are not open, or do not exist.
  EXPECT_EQ(GetSlotByte(5, 0), 0);
  EXPECT_EQ(GetSlotWord(-1, 0), 0);
  SetSlotByte(20, 0, 1);
  EXPECT_EQ(GetSlotSize(20), 0u);
  EXPECT_EQ(OpenFileSlot(20, FromUtf8(path).c_str(), 0), 1);
}

TEST_F(FileSlotsTest, SecondCloseChangesNothing) {
  const std::string path = dir_.Path("twice.s47");
  ASSERT_EQ(OpenFileSlot(0, FromUtf8(path).c_str(), kSetupFileSize), 0);
  SetSlotByte(0, 100, 9);
  ASSERT_EQ(CloseFileSlot(0), 0);
  std::vector<uint8_t> bytes = ReadFileBytes(path);
  bytes[100] = 77;  // someone else changes the file
  WriteFileBytes(path, bytes);
  EXPECT_EQ(CloseFileSlot(0), 0);
  EXPECT_EQ(ReadFileBytes(path), bytes);
}

TEST_F(FileSlotsTest, CloseWritesExactlyTheImageEvenIfTheFileGrew) {
  const std::string path = dir_.Path("grow.s47");
  ASSERT_EQ(OpenFileSlot(0, FromUtf8(path).c_str(), kSetupFileSize), 0);
  WriteFileBytes(path, std::vector<uint8_t>(9000, 0xEE));
  ASSERT_EQ(CloseFileSlot(0), 0);
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 7500u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[7499], 0);
}

TEST_F(FileSlotsTest, ReopeningAnOpenSlotDropsTheOldImageUnwritten) {
  const std::string a = dir_.Path("a.s47"), b = dir_.Path("b.s47");
  ASSERT_EQ(OpenFileSlot(0, FromUtf8(a).c_str(), kSetupFileSize), 0);
  SetSlotByte(0, 5, 42);
  ASSERT_EQ(OpenFileSlot(0, FromUtf8(b).c_str(), kSetupFileSize), 0);
  EXPECT_EQ(GetSlotByte(0, 5), 0);
  EXPECT_EQ(ReadFileBytes(a), std::vector<uint8_t>(7500, 0));
}

TEST_F(FileSlotsTest, UnopenablePathGivesOne) {
  EXPECT_EQ(OpenFileSlot(0, FromUtf8(dir_.Path("no/such/dir/x.s47")).c_str(), kSetupFileSize), 1);
  EXPECT_FALSE(IsSlotOpen(0));
}

}  // namespace
}  // namespace s470
