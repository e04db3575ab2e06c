#include "slots/file_slots.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "lang/text16.h"
#include "test_files.h"

namespace s470 {
namespace {

using Bytes = std::vector<uint8_t>;

class FileSlotsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (int16_t s = 0; s < kSlotCount; ++s) CloseFileSlot(s);
  }
  int16_t Open(int16_t slot, const std::string& path, int32_t size = kSetupFileSize) {
    return OpenFileSlot(slot, FromUtf8(path).c_str(), size);
  }
  TempDir dir_;
};

// A setup file is brought to 7500 bytes: whole 1000-byte blocks zeroed, the tail kept, word 0
// all ones; one of the right size is taken as it is, and so is any file opened with size 0.
TEST_F(FileSlotsTest, OpeningBringsASetupFileToItsSizeAndCloseWritesTheImage) {
  Bytes exact(7500), longer(8000);
  for (size_t i = 0; i < longer.size(); ++i) {
    if (i < exact.size()) exact[i] = static_cast<uint8_t>(i * 7 + 3);
    longer[i] = static_cast<uint8_t>(1 + i % 250);
  }
  Bytes cut(longer.begin(), longer.begin() + 7500);
  std::fill(cut.begin(), cut.begin() + 7000, 0);
  const struct {
    const char* name;
    std::optional<Bytes> before;
    int32_t size;
    Bytes onOpen;       // the file right after the open
    bool wordZeroSet;   // the image (and the file after the close) gets 0xFFFF at 0
  } cases[] = {{"new file", std::nullopt, kSetupFileSize, Bytes(7500, 0), true},
               {"exact size", exact, kSetupFileSize, exact, false},
               {"longer", longer, kSetupFileSize, cut, true},
               {"size 0: not a setup file", Bytes{1, 2, 3, 4, 5}, 0, Bytes{1, 2, 3, 4, 5}, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.Path(std::string(c.name) + ".bin");
    if (c.before) WriteFileBytes(path, *c.before);
    ASSERT_EQ(Open(0, path, c.size), 0);
    EXPECT_EQ(ReadFileBytes(path), c.onOpen);
    Bytes image = c.onOpen;
    if (c.wordZeroSet) image[0] = image[1] = 0xFF;
    ASSERT_EQ(GetSlotSize(0), image.size());
    for (uint32_t a = 0; a < image.size(); ++a) ASSERT_EQ(GetSlotByte(0, a), image[a]) << a;
    EXPECT_EQ(GetSlotWord(0, 0), image[0] | image[1] << 8);
    ASSERT_EQ(CloseFileSlot(0), 0);
    EXPECT_EQ(ReadFileBytes(path), image);
  }
}

TEST_F(FileSlotsTest, WordsAreLittleEndianAndOutOfRangeAccessIsHarmless) {
  const std::string path = dir_.Path("w.s47");
  ASSERT_EQ(Open(0, path), 0);
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
  EXPECT_EQ(Open(20, path, 0), 1);
}

// The close writes the image, exactly, whatever happened to the file meanwhile; a second close
// writes nothing.
TEST_F(FileSlotsTest, CloseWritesExactlyTheImageOnce) {
  const std::string path = dir_.Path("grow.s47");
  ASSERT_EQ(Open(0, path), 0);
  SetSlotByte(0, 100, 9);
  WriteFileBytes(path, Bytes(9000, 0xEE));
  ASSERT_EQ(CloseFileSlot(0), 0);
  Bytes want(7500, 0);
  want[0] = want[1] = 0xFF;
  want[100] = 9;
  EXPECT_EQ(ReadFileBytes(path), want);
  want[100] = 77;  // someone else changes the file
  WriteFileBytes(path, want);
  EXPECT_EQ(CloseFileSlot(0), 0);
  EXPECT_EQ(ReadFileBytes(path), want);
}

TEST_F(FileSlotsTest, ReopeningAnOpenSlotDropsTheOldImageUnwritten) {
  const std::string a = dir_.Path("a.s47"), b = dir_.Path("b.s47");
  ASSERT_EQ(Open(0, a), 0);
  SetSlotByte(0, 5, 42);
  ASSERT_EQ(Open(0, b), 0);
  EXPECT_EQ(GetSlotByte(0, 5), 0);
  EXPECT_EQ(ReadFileBytes(a), Bytes(7500, 0));
}

TEST_F(FileSlotsTest, UnopenablePathGivesOne) {
  EXPECT_EQ(Open(0, dir_.Path("no/such/dir/x.s47")), 1);
  EXPECT_FALSE(IsSlotOpen(0));
}

}  // namespace
}  // namespace s470
