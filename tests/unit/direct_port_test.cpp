// The direct port of the setup transfer on a pseudo-terminal (the POSIX device). What a
// pseudo-terminal cannot show (the device-control style, DTR/RTS, queues, the order of the steps,
// refused steps) is checked through the transfer on the fake wire.
#include "serial/direct_port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "serial/serial_device.h"
#include "sim_line.h"

namespace s470 {
namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

class DirectPortTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseDirectPort();
    SetSerialDeviceFactory(nullptr);
  }
};

// On a pseudo-terminal: 4800 8N2, stale bytes thrown away, a waiting byte read, silence after
// 300 ms; closed means nothing moves and another opener gets the port; a held port fails.
TEST_F(DirectPortTest, OpensAt4800Baud8N2AndThrowsAwayWhatWasWaiting) {
  sim::SimLine line;
  setenv("S470_COM51", line.slavePath().c_str(), 1);
  line.Write({0x11, 0x22, 0x33});
  ASSERT_EQ(OpenDirectPort(51), 0);
  EXPECT_EQ(line.Settings(), (sim::LineState{4800, sim::SimParity::kNone, true}));
  line.Write({0x8D});
  uint8_t b = 0;
  ASSERT_EQ(ReadDirectPort(&b, 1), 1);
  EXPECT_EQ(b, 0x8D);
  const auto t0 = Clock::now();
  EXPECT_EQ(ReadDirectPort(&b, 1), 0);
  EXPECT_GE(MsSince(t0), 280);
  const uint8_t out[] = {0xC9, 0x8D};
  EXPECT_EQ(WriteDirectPort(out, 2), 2);
  EXPECT_EQ(line.ReadByte(1000), 0xC9);
  EXPECT_EQ(line.ReadByte(1000), 0x8D);

  auto holder = NewPlatformSerialDevice();
  EXPECT_FALSE(holder->Open(51));  // held
  CloseDirectPort();
  EXPECT_EQ(ReadDirectPort(&b, 1), 0);
  EXPECT_EQ(WriteDirectPort(out, 2), 0);
  ASSERT_TRUE(holder->Open(51));
  EXPECT_EQ(OpenDirectPort(51), 1);
}

}  // namespace
}  // namespace s470
