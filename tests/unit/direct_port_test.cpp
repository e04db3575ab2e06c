// The direct port of the setup transfer: line settings, queues, time-outs, emptied input.
#include "serial/direct_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

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
  auto other = NewPlatformSerialDevice();
  EXPECT_TRUE(other->Open(51));
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

TEST_F(DirectPortTest, LineThatNeverFallsQuietFailsTheOpenWithinItsLimit) {
  sim::SimLine line;
  setenv("S470_COM54", line.slavePath().c_str(), 1);
  std::atomic<bool> stop{false};
  std::thread talker([&] {
    line.SetPacing(true);
    while (!stop) line.Write({0x55});
  });
  const auto t0 = Clock::now();
  EXPECT_EQ(OpenDirectPort(54), 1);
  const double ms = MsSince(t0);
  stop = true;
  talker.join();
  EXPECT_GE(ms, kQuietLimitMs);
  EXPECT_LT(ms, kQuietLimitMs + 1500);
}

// A device that records what the port asks of it and refuses one step on request.
struct RecordingDevice : SerialDevice {
  static inline std::vector<std::string> calls;
  static inline LineSettings applied;
  static inline std::string refuse;
  bool open = false;
  bool Open(int port) override {
    calls.push_back("open " + std::to_string(port));
    open = refuse != "open";
    return open;
  }
  bool Apply(const LineSettings& s) override {
    calls.push_back("apply");
    applied = s;
    return refuse != "apply";
  }
  bool SetQueues(uint32_t in, uint32_t out) override {
    calls.push_back("queues " + std::to_string(in) + " " + std::to_string(out));
    return refuse != "queues";
  }
  bool SetReadTimeouts(ReadTimeouts t) override {
    calls.push_back(t == ReadTimeouts::kWait300ms ? "timeouts 300" : "timeouts none");
    return refuse != "timeouts";
  }
  int Read(uint8_t*, int) override {
    calls.push_back("read");
    return 0;
  }
  int Write(const uint8_t*, int count) override { return count; }
  bool SetDtr(bool) override { return false; }
  bool SetRts(bool) override { return false; }
  void Close() override {
    if (open) calls.push_back("close");
    open = false;
  }
  bool IsOpen() const override { return open; }
};

std::unique_ptr<SerialDevice> NewRecordingDevice() { return std::make_unique<RecordingDevice>(); }

TEST_F(DirectPortTest, AsksForTheGaugeLineQueuesAndTimeoutsAndStaysOpenUntilClosed) {
  SetSerialDeviceFactory(&NewRecordingDevice);
  RecordingDevice::calls.clear();
  RecordingDevice::refuse.clear();
  ASSERT_EQ(OpenDirectPort(12), 0);
  EXPECT_EQ(RecordingDevice::calls,
            (std::vector<std::string>{"open 12", "apply", "queues 8192 8192", "timeouts 300", "read"}));
  const LineSettings& s = RecordingDevice::applied;
  EXPECT_EQ(s.style, DcbStyle::kDirect);
  EXPECT_EQ(s.baud, 4800u);
  EXPECT_EQ(s.dataBits, 8);
  EXPECT_EQ(s.parity, Parity::kNone);
  EXPECT_EQ(s.stopBits, 2);
  EXPECT_TRUE(s.dtr);
  EXPECT_TRUE(s.rts);
  CloseDirectPort();
  EXPECT_EQ(RecordingDevice::calls.back(), "close");

  // A refused step fails the open; the port stays open until the caller closes it.
  for (const char* step : {"apply", "queues", "timeouts"}) {
    RecordingDevice::calls.clear();
    RecordingDevice::refuse = step;
    EXPECT_EQ(OpenDirectPort(3), 1) << step;
    EXPECT_TRUE(IsDirectPortOpen()) << step;
    EXPECT_EQ(std::count(RecordingDevice::calls.begin(), RecordingDevice::calls.end(), "read"), 0);
    CloseDirectPort();
    EXPECT_EQ(RecordingDevice::calls.back(), "close") << step;
  }
  RecordingDevice::refuse = "open";
  EXPECT_EQ(OpenDirectPort(3), 1);
  EXPECT_FALSE(IsDirectPortOpen());
}

}  // namespace
}  // namespace s470
