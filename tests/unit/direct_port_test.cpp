// The direct port of the setup transfer: line settings, queues, time-outs, emptied input.
#include "serial/direct_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "gauge_test_helpers.h"
#include "serial/serial_device.h"
#include "sim_line.h"

namespace s470 {
namespace {

using gauge_test::FakePort;
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

TEST_F(DirectPortTest, OpensAt4800Baud8N2AndThrowsAwayWhatWasWaiting) {
  sim::SimLine line;
  setenv("S470_COM51", line.slavePath().c_str(), 1);
  line.Write({0x11, 0x22, 0x33});  // stale bytes from before the open
  ASSERT_EQ(OpenDirectPort(51), 0);
  EXPECT_TRUE(IsDirectPortOpen());
  EXPECT_EQ(line.Settings(), (sim::LineState{4800, sim::SimParity::kNone, true}));

  line.Write({0x8D});
  uint8_t b = 0;
  const auto t0 = Clock::now();
  ASSERT_EQ(ReadDirectPort(&b, 1), 1);  // a waiting byte comes at once
  EXPECT_EQ(b, 0x8D);
  EXPECT_LT(MsSince(t0), 100);

  const auto t1 = Clock::now();
  EXPECT_EQ(ReadDirectPort(&b, 1), 0);  // silence: nothing after 300 ms
  EXPECT_GE(MsSince(t1), 280);
  EXPECT_LT(MsSince(t1), 1500);

  const uint8_t out[] = {0xC9, 0x8D};
  EXPECT_EQ(WriteDirectPort(out, 2), 2);
  EXPECT_EQ(line.ReadByte(1000), 0xC9);
  EXPECT_EQ(line.ReadByte(1000), 0x8D);

  CloseDirectPort();
  EXPECT_FALSE(IsDirectPortOpen());
  EXPECT_EQ(ReadDirectPort(&b, 1), 0);  // a closed port reads and writes nothing
  EXPECT_EQ(WriteDirectPort(out, 2), 0);
  // Closed means released: another opener gets it.
  EXPECT_TRUE(NewPlatformSerialDevice()->Open(51));
}

TEST_F(DirectPortTest, MissingOrHeldPortFails) {
  setenv("S470_COM52", "/nonexistent/tty", 1);
  EXPECT_EQ(OpenDirectPort(52), 1);
  EXPECT_FALSE(IsDirectPortOpen());

  sim::SimLine line;
  setenv("S470_COM53", line.slavePath().c_str(), 1);
  auto holder = NewPlatformSerialDevice();
  ASSERT_TRUE(holder->Open(53));
  EXPECT_EQ(OpenDirectPort(53), 1);
  holder->Close();
  EXPECT_EQ(OpenDirectPort(53), 0);
}

// What a pseudo-terminal cannot show: the device-control style, DTR/RTS, the queues, the order.
TEST_F(DirectPortTest, AsksForTheGaugeLineQueuesAndTimeoutsAndStaysOpenUntilClosed) {
  SetSerialDeviceFactory(&FakePort::New);
  FakePort::Reset();
  ASSERT_EQ(OpenDirectPort(12), 0);
  EXPECT_EQ(FakePort::calls,
            (std::vector<std::string>{"open 12", "apply", "queues 8192 8192", "timeouts 300", "read"}));
  const LineSettings& s = FakePort::applied;
  EXPECT_EQ(s.style, DcbStyle::kDirect);
  EXPECT_EQ(s.dataBits, 8);
  EXPECT_TRUE(s.dtr);
  EXPECT_TRUE(s.rts);
  CloseDirectPort();
  EXPECT_EQ(FakePort::calls.back(), "close");

  // A refused step fails the open; the port stays open until the caller closes it.
  for (const char* step : {"apply", "queues", "timeouts"}) {
    FakePort::Reset();
    FakePort::refuse = step;
    EXPECT_EQ(OpenDirectPort(3), 1) << step;
    EXPECT_TRUE(IsDirectPortOpen()) << step;
    EXPECT_EQ(std::count(FakePort::calls.begin(), FakePort::calls.end(), "read"), 0);
    CloseDirectPort();
    EXPECT_EQ(FakePort::calls.back(), "close") << step;
  }
  FakePort::refuse = "open";
  EXPECT_EQ(OpenDirectPort(3), 1);
  EXPECT_FALSE(IsDirectPortOpen());
}

}  // namespace
}  // namespace s470
