#include "slots/file_slots.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/call_frame.h"
#include "lang/text16.h"
#include "slots/slot_file.h"
#include "test_files.h"

namespace s470 {
namespace {

using Bytes = std::vector<uint8_t>;

// The platform's file layer with one step made to fail, counting the handles closed.
struct FailingFiles {
  static inline std::string fail;  // "length", "size", "read", "write"
  static inline int closed = 0;
  static bool Length(FileHandle f, uint32_t* length) {
    const bool ok = kPlatformSlotFiles.length(f, length);
    if (fail == "size") *length = UINT32_MAX;  // more than can be held
    return ok && fail != "length";
  }
  static inline const SlotFileLayer kLayer = {
      SlotFileOpen, Length, SlotFileSetEnd,
      [](FileHandle f, uint32_t offset, uint8_t* buffer, uint32_t count) {
        return kPlatformSlotFiles.read(f, offset, buffer, count) - (fail == "read" ? 1 : 0);
      },
      [](FileHandle f, uint32_t offset, const uint8_t* buffer, uint32_t count) {
        return kPlatformSlotFiles.write(f, offset, buffer, fail == "write" ? count / 2 : count);
      },
      [](FileHandle f) {
        ++closed;
        kPlatformSlotFiles.close(f);
      }};
};

class FileSlotsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (int16_t s = 0; s < kSlotCount; ++s) CloseFileSlot(s);
    SetSlotFileLayer(nullptr);
  }
  int16_t Open(int16_t slot, const std::string& path, int32_t size = kSetupFileSize) {
    return OpenFileSlot(slot, FromUtf8(path).c_str(), size);
  }
  static Bytes Image(int16_t slot) {
    Bytes b(GetSlotSize(slot));
    for (uint32_t a = 0; a < b.size(); ++a) b[a] = GetSlotByte(slot, a);
    return b;
  }
  TempDir dir_;
};

// A setup file is brought to 7500 bytes in the image (whole 1000-byte blocks zeroed, the tail
// kept, word 0 all ones) and on disk only when the slot is closed, whatever happened to the file
// meanwhile; a file opened with a size of 0 or less is taken as it is. A second close writes
// nothing.
TEST_F(FileSlotsTest, OpeningLeavesTheFileAloneAndCloseWritesTheImage) {
  Bytes longer(8000);
  for (size_t i = 0; i < longer.size(); ++i) longer[i] = static_cast<uint8_t>(1 + i % 250);
  Bytes cut(longer.begin(), longer.begin() + 7500);
  std::fill(cut.begin(), cut.begin() + 7000, 0);
  cut[0] = cut[1] = 0xFF;
  const struct {
    const char* name;
    Bytes before;
    int32_t size;
    Bytes image;  // the image after the open, and the file after the close
  } cases[] = {{"longer", longer, kSetupFileSize, cut},
               {"negative size", Bytes{1, 2, 3, 4, 5}, -7500, Bytes{1, 2, 3, 4, 5}},
               {"empty, size 0", Bytes{}, 0, Bytes{}},
               {"other sizes get no word 0", Bytes(2500, 0x11), 2000, Bytes(2000, 0)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.Path(std::string(c.name) + ".bin");
    WriteFileBytes(path, c.before);
    ASSERT_EQ(Open(0, path, c.size), 0);
    EXPECT_EQ(ReadFileBytes(path), c.before);
    EXPECT_EQ(Image(0), c.image);
    WriteFileBytes(path, Bytes(9000, 0xEE));
    ASSERT_EQ(CloseFileSlot(0), 0);
    EXPECT_EQ(ReadFileBytes(path), c.image);
    WriteFileBytes(path, {7});
    EXPECT_EQ(CloseFileSlot(0), 0);
    EXPECT_EQ(ReadFileBytes(path), Bytes{7});
  }
}

TEST_F(FileSlotsTest, EachSlotHoldsItsOwnFileWordsLittleEndianOutOfRangeHarmless) {
  const std::string path = dir_.Path("w.s47");
  ASSERT_EQ(Open(0, path), 0);
  SetSlotWord(0, 7498, 0xABCD);  // the last word
  EXPECT_EQ(GetSlotWord(0, 7498), 0xABCD);
  SetSlotWord(0, 7499, 0x1234);  // would straddle the end: ignored
  SetSlotByte(0, 7500, 0x55);
  SetSlotByte(0, 0xFFFFFFFF, 0x55);
  EXPECT_EQ(GetSlotByte(0, 7499), 0xAB);
  EXPECT_EQ(GetSlotWord(0, 7499), 0);
  // Files of one word and of one byte, too short for any.
  WriteFileBytes(dir_.Path("two"), {0x42, 0x43});
  WriteFileBytes(dir_.Path("one"), {0x42});
  ASSERT_EQ(Open(5, dir_.Path("two"), 0), 0);
  SetSlotWord(5, 0, 0x1234);
  EXPECT_EQ(GetSlotWord(5, 0), 0x1234);
  ASSERT_EQ(Open(4, dir_.Path("one"), 0), 0);
  EXPECT_EQ(GetSlotWord(4, 0), 0);
  SetSlotWord(4, 0, 0x1234);
  EXPECT_EQ(GetSlotByte(4, 0), 0x42);
  // A new setup-size file in another slot marks its own word 0, not slot 0's.
  SetSlotWord(0, 0, 0x0102);
  ASSERT_EQ(Open(3, dir_.Path("other.s47")), 0);
  EXPECT_EQ(GetSlotWord(3, 0), 0xFFFF);
  EXPECT_EQ(GetSlotWord(0, 0), 0x0102);
  // Slots that are not open, or do not exist.
  EXPECT_EQ(GetSlotByte(6, 0), 0);
  SetSlotByte(20, 0, 1);
  SetSlotWord(6, 0, 1);
  EXPECT_EQ(Open(20, path, 0), 1);
}

// A file that cannot be measured, held or read whole gives 2, and its handle is closed; a
// short write-back gives 1. Either way the slot is free for the next open. A reopened slot
// closes its old handle once and drops its image unwritten.
TEST_F(FileSlotsTest, FailedStepsReleaseTheHandleAndTheSlot) {
  const std::string path = dir_.Path("f.s47");
  const Bytes content(7500, 0x11);
  WriteFileBytes(path, content);
  SetSlotFileLayer(&FailingFiles::kLayer);
  for (const char* fail : {"length", "size", "read"}) {
    SCOPED_TRACE(fail);
    FailingFiles::fail = fail;
    FailingFiles::closed = 0;
    EXPECT_EQ(Open(2, path, std::string(fail) == "size" ? 0 : 7500), 2);
    EXPECT_EQ(FailingFiles::closed, 1);
    EXPECT_EQ(GetSlotSize(2), 0u);
  }
  FailingFiles::fail = "";
  FailingFiles::closed = 0;
  ASSERT_EQ(Open(2, path), 0);
  SetSlotByte(2, 5, 42);
  ASSERT_EQ(Open(2, path), 0);
  EXPECT_EQ(ReadFileBytes(path), content);
  FailingFiles::fail = "write";
  EXPECT_EQ(CloseFileSlot(2), 1);
  EXPECT_EQ(FailingFiles::closed, 2);
}

// OpenSetup opens slot 0 with the setup size; a path ending in lower-case "tmp" is no regular
// setup file. Short paths are not read before their start (the address sanitizer sees that).
TEST(OpenSetupTest, RegularFileFlagFollowsTheLastThreeLowerCaseCharacters) {
  TempDir dir;
  const InFolder inDir(dir.path());
  WriteFileBytes("s.s47", Bytes(100, 0x22));
  const struct {
    std::u16string path;
    int16_t result;
    uint16_t regular;
  } cases[] = {{u"a.tmp", 0, 0}, {u"b.TMP", 0, 1}, {u"xtmp", 0, 0}, {u"ctmp.s47", 0, 1},
               {u"mp", 0, 1},    {u"p", 0, 1},     {u"", 1, 1},     {u"s.s47", 0, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.path));
    const std::vector<char16_t> copy(c.path.c_str(), c.path.c_str() + c.path.size() + 1);
    EXPECT_EQ(OpenSetup(copy.data()), c.result);  // exactly as long as the text
    EXPECT_EQ(GetRegularFileFlag(), c.regular);
  }
  EXPECT_EQ(GetSlotSize(0), 7500u);
  EXPECT_EQ(GetSlotWord(0, 0), 0xFFFF);
  EXPECT_EQ(GetSlotByte(0, 99), 0);  // a whole block of 1000 was zeroed
  CloseFileSlot(0);
}

}  // namespace
}  // namespace s470
