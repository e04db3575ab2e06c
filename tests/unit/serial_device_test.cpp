// The POSIX serial device against a simulator line.
#include "serial/serial_device.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "sim_line.h"

namespace s470 {
namespace {

using sim::SimLine;
using sim::SimParity;

struct PortOnLine {
  SimLine line;
  std::unique_ptr<SerialDevice> device = NewPlatformSerialDevice();
  PortOnLine() {
    setenv("S470_COM41", line.slavePath().c_str(), 1);
    EXPECT_TRUE(device->Open(41));
  }
};

TEST(PosixSerialDevice, AppliesBaudParityAndStopBitsVisibleOnTheLine) {
  PortOnLine p;
  struct Case {
    LineSettings settings;
    uint32_t baud;
    SimParity parity;
    bool twoStop;
  } cases[] = {
      {{DcbStyle::kDirect, 4800, 8, Parity::kNone, 2, true, true}, 4800, SimParity::kNone, true},
      {{DcbStyle::kBus, 4800, 7, Parity::kEven, 2, true, true}, 4800, SimParity::kEven, true},
      {{DcbStyle::kBus, 115200, 8, Parity::kMark, 2, true, true}, 115200, SimParity::kMark, true},
      {{DcbStyle::kBus, 115200, 8, Parity::kSpace, 1, true, true}, 115200, SimParity::kSpace, false},
      {{DcbStyle::kBus, 1200, 8, Parity::kOdd, 1, false, false}, 1200, SimParity::kOdd, false},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(p.device->Apply(c.settings));
    const sim::LineState s = p.line.Settings();
    EXPECT_EQ(s.baud, c.baud);
    EXPECT_EQ(s.parity, c.parity) << s.ToString();
    EXPECT_EQ(s.twoStopBits, c.twoStop);
  }
  LineSettings odd;
  odd.baud = 300;  // not a rate of the system's tables
  EXPECT_FALSE(p.device->Apply(odd));
}

// Bytes both ways and the 300 ms wait are shown with the direct port; a bus port's reads return
// at once.
TEST(PosixSerialDevice, ReadsOfTheBusPortReturnAtOnce) {
  PortOnLine p;
  ASSERT_TRUE(p.device->Apply(LineSettings{}));
  ASSERT_TRUE(p.device->SetReadTimeouts(ReadTimeouts::kReturnAtOnce));
  uint8_t b = 0;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(p.device->Read(&b, 1), 0);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(ms, 100);
  p.line.Write({0x8D, 0x41});
  p.line.ReadByte(50);  // lets the bytes cross
  EXPECT_EQ(p.device->Read(&b, 1), 1);
  EXPECT_EQ(b, 0x8D);
}

TEST(PosixSerialDevice, PortIsNotSharedAndMissingPortFails) {
  PortOnLine p;
  auto second = NewPlatformSerialDevice();
  EXPECT_FALSE(second->Open(41));
  setenv("S470_COM42", "/nonexistent/tty", 1);
  EXPECT_FALSE(second->Open(42));
  EXPECT_FALSE(second->IsOpen());
}

}  // namespace
}  // namespace s470
