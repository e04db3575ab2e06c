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

double MsSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

class DirectPortTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseDirectPort();
    SetSerialDeviceFactory(nullptr);
  }
};

// On a pseudo-terminal: 4800 8N2, stale bytes thrown away, a waiting byte read at once, silence
// after 300 ms; closed means nothing moves and another opener gets the port; a missing or held
// port fails.
TEST_F(DirectPortTest, OpensAt4800Baud8N2AndThrowsAwayWhatWasWaiting) {
  sim::SimLine line;
  setenv("S470_COM51", line.slavePath().c_str(), 1);
  line.Write({0x11, 0x22, 0x33});
  ASSERT_EQ(OpenDirectPort(51), 0);
  EXPECT_EQ(line.Settings(), (sim::LineState{4800, sim::SimParity::kNone, true}));
  line.Write({0x8D});
  uint8_t b = 0;
  auto t0 = Clock::now();
  ASSERT_EQ(ReadDirectPort(&b, 1), 1);
  EXPECT_EQ(b, 0x8D);
  EXPECT_LT(MsSince(t0), 100);
  t0 = Clock::now();
  EXPECT_EQ(ReadDirectPort(&b, 1), 0);
  EXPECT_GE(MsSince(t0), 280);
  EXPECT_LT(MsSince(t0), 1500);
  const uint8_t out[] = {0xC9, 0x8D};
  EXPECT_EQ(WriteDirectPort(out, 2), 2);
  EXPECT_EQ(line.ReadByte(1000), 0xC9);
  EXPECT_EQ(line.ReadByte(1000), 0x8D);

  auto holder = NewPlatformSerialDevice();
  EXPECT_FALSE(holder->Open(51));  // held
  CloseDirectPort();
  EXPECT_FALSE(IsDirectPortOpen());
  EXPECT_EQ(ReadDirectPort(&b, 1), 0);
  EXPECT_EQ(WriteDirectPort(out, 2), 0);
  ASSERT_TRUE(holder->Open(51));
  EXPECT_EQ(OpenDirectPort(51), 1);
  setenv("S470_COM52", "/nonexistent/tty", 1);
  EXPECT_EQ(OpenDirectPort(52), 1);
  EXPECT_FALSE(IsDirectPortOpen());
}

// What a pseudo-terminal cannot show: the device-control style, DTR/RTS, the queues, the order; a
// refused step fails the open, and the port stays open until the caller closes it.
TEST_F(DirectPortTest, AsksForTheGaugeLineQueuesAndTimeoutsAndStaysOpenUntilClosed) {
  SetSerialDeviceFactory(&FakePort::New);
  for (const char* step : {"", "apply", "queues", "timeouts"}) {
    FakePort::Reset();
    FakePort::refuse = step;
    EXPECT_EQ(OpenDirectPort(12), *step ? 1 : 0) << step;
    EXPECT_TRUE(IsDirectPortOpen()) << step;
    CloseDirectPort();
    const std::vector<std::string> all = {"open 12", "apply", "queues 8192 8192", "timeouts 300", "read"};
    const auto last = *step ? std::find_if(all.begin(), all.end(), [&](const std::string& c) { return c.rfind(step, 0) == 0; })
                            : all.end() - 1;
    std::vector<std::string> want(all.begin(), last + 1);
    want.push_back("close");
    EXPECT_EQ(FakePort::calls, want) << step;
  }
  const LineSettings& s = FakePort::applied;
  EXPECT_EQ(s.style, DcbStyle::kDirect);
  EXPECT_EQ(s.dataBits, 8);
  EXPECT_TRUE(s.dtr && s.rts);
  FakePort::refuse = "open";
  EXPECT_EQ(OpenDirectPort(3), 1);
  EXPECT_FALSE(IsDirectPortOpen());
}

}  // namespace
}  // namespace s470
