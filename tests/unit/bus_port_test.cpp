// Opening and closing the bus port: the settings tables, the wake byte of parity mode 10, the
// tick thread, DTR before RTS at close, failed opens; and the POSIX device on a pseudo-terminal.
#include "serial/bus_port.h"

#include <gtest/gtest.h>

#include <thread>

#include "bus_fake_wire.h"
#include "serial/bus_ops.h"
#include "sim_line.h"
#include "test_helpers.h"

namespace s470 {
namespace {

using Events = std::vector<std::string>;

const Events kCloseEvents = {"dtr off", "rts off", "close"};

// What an open of the port does on the device, with the settings as applied.
Events Opened(int port, const std::string& applied) {
  return {"open " + std::to_string(port), applied, "queues 8192 8192", "timeouts at once"};
}

double MsBetween(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

TEST(BusPortOpen, RefusesValuesOutsideItsTablesWithoutTouchingTheDevice) {
  FakeWireScope scope(false);
  struct Bad {
    int16_t port;
    int32_t baud;
    uint16_t parity, dataBits, stopBits;
  } cases[] = {
      {0, 4800, 0, 8, 2}, {9, 4800, 0, 8, 2},  {-1, 4800, 0, 8, 2},  {100, 4800, 0, 8, 2},
      {5, 300, 0, 8, 2},  {5, 14400, 0, 8, 2}, {5, 230400, 0, 8, 2}, {5, -4800, 0, 8, 2},
      {5, 4800, 5, 8, 2}, {5, 4800, 9, 8, 2},  {5, 4800, 11, 8, 2},  {5, 4800, 0xFFFF, 8, 2},
      {5, 4800, 0, 6, 2}, {5, 4800, 0, 9, 2},  {5, 4800, 0, 8, 0},   {5, 4800, 0, 8, 3},
  };
  for (const Bad& b : cases) {
    EXPECT_EQ(OpenBusPort(b.port, b.baud, b.parity, b.dataBits, b.stopBits, 1, 1), 1)
        << b.port << " " << b.baud << " " << b.parity << " " << b.dataBits << " " << b.stopBits;
  }
  EXPECT_EQ(Wire().events, Events{});
}

// Every setting of the tables; opening an open port closes it first; closing a port that is not
// open leaves it alone.
TEST(BusPortOpen, AppliesEverySettingOfItsTablesAndClosesAnOpenPortFirst) {
  FakeWireScope scope(false);
  for (int16_t port : {int16_t{0}, int16_t{3}, int16_t{-1}, int16_t{9}, int16_t{999}})
    EXPECT_EQ(CloseBusPort(port), 0);
  struct Case {
    int32_t baud;
    uint16_t parity, dataBits, stopBits, dtr, rts;
    const char* applied;
  } cases[] = {
      {1200, 0, 8, 2, 1, 1, "apply 1200 8N2 dtr rts"},
      {2400, 1, 7, 2, 1, 1, "apply 2400 7E2 dtr rts"},
      {4800, 2, 8, 1, 1, 1, "apply 4800 8O1 dtr rts"},
      {9600, 3, 8, 1, 0, 1, "apply 9600 8S1 rts"},
      {19200, 4, 8, 2, 1, 0, "apply 19200 8M2 dtr"},
      {38400, 0, 7, 1, 0, 0, "apply 38400 7N1"},
      {57600, 1, 8, 2, 2, 2, "apply 57600 8E2"},  // only 1 switches a line on
      {115200, 4, 8, 2, 1, 1, "apply 115200 8M2 dtr rts"},
  };
  Events want;
  for (const Case& c : cases) {
    if (!want.empty()) want = Join({want, kCloseEvents});
    want = Join({want, Opened(5, c.applied)});
    ASSERT_EQ(OpenBusPort(5, c.baud, c.parity, c.dataBits, c.stopBits, c.dtr, c.rts), 0)
        << c.applied;
  }
  EXPECT_EQ(CloseBusPort(5), 0);
  EXPECT_EQ(Wire().events, Join({want, kCloseEvents}));
}

// The wake byte leaves with mark parity and its echo is taken in; without an echo the port
// still opens after its 100 ms wait (on the driven clock).
TEST(BusPortOpen, WakeByteLeavesWithMarkParityAndItsEchoIsTakenIn) {
  for (bool echo : {true, false}) {
    FakeWireScope scope(true);
    Wire().echo = echo;
    ASSERT_EQ(OpenBusPort(6, 115200, kParityWake, 8, 2, 1, 1), 0);
    EXPECT_GE(Wire().nowMs, echo ? 0 : 100);
    EXPECT_LE(Wire().nowMs, echo ? 10 : 151);
    const uint8_t start = 0x81;
    BusSend(6, &start, 1);
    EXPECT_EQ(Wire().events, Join({Opened(6, "apply 115200 8M2 dtr rts"),
                                   {"write 00 M", "apply 115200 8S2 dtr rts", "write 81 S"}}));
    uint8_t reply[4] = {};
    EXPECT_EQ(BusTransact(6, 2, 0, 0, reply, sizeof reply), 1);  // only the echo of 0x81 waits
    EXPECT_EQ(reply[0], echo ? 0x81 : 0);
  }
}

// Each port's tick thread counts 20 a second, from 0 again at a new open, and ends with its own
// close, at which DTR goes off before RTS.
TEST(BusPortTicks, EachPortCountsTwentyASecondFromZeroUntilItsOwnClose) {
  FakeWireScope scope(false);
  ASSERT_EQ(OpenBusPort(8, 115200, 4, 8, 2, 1, 1), 0);  // COM8, the last record
  ASSERT_EQ(OpenBusPort(5, 115200, 4, 8, 2, 1, 1), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const uint32_t ticks = PortTickCounter(8);
  EXPECT_GE(ticks, 9u);
  EXPECT_LE(ticks, 13u);  // a counter both threads step would run at twice the rate
  EXPECT_GE(PortTickCounter(5), 8u);

  Wire().events.clear();
  const auto t0 = std::chrono::steady_clock::now();
  CloseBusPort(8);
  // The tick thread ends within a pass.
  EXPECT_LT(MsBetween(t0, std::chrono::steady_clock::now()), 60);
  ASSERT_EQ(Wire().events, kCloseEvents);
  const uint32_t five = PortTickCounter(5);
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  EXPECT_GT(PortTickCounter(5), five);  // closing one port leaves the other's thread running

  ASSERT_EQ(OpenBusPort(8, 4800, 0, 8, 2, 1, 1), 0);
  EXPECT_LE(PortTickCounter(8), 1u);
}

// The refused queues, or a tick thread that does not start. (A refused device, settings, time-outs
// or space parity end every analysis the same way, in its table of failing open steps.)
TEST(BusPortOpen, FailedOpensLeaveThePortClosedWithNoTickThread) {
  for (const int failCall : {2, -1}) {  // -1: the tick thread does not start
    SCOPED_TRACE(failCall);
    FakeWireScope scope(false);
    Wire().failCall = failCall;
    if (failCall < 0) SetTickThreadStarter([](int16_t) { return TickThreadHandle{0}; });
    EXPECT_EQ(OpenBusPort(5, 115200, 4, 8, 2, 1, 1), 1);
    EXPECT_EQ(CloseBusPort(5), 0);
    EXPECT_FALSE(BusPortIsOpen(5));
    EXPECT_EQ(Wire().events.back(), "close");
    const uint32_t ticks = PortTickCounter(5);
    std::this_thread::sleep_for(std::chrono::milliseconds(70));
    EXPECT_EQ(PortTickCounter(5), ticks) << "a tick thread is still running";
    // Nothing is left over: the next open works and the next close closes only its own.
    SetTickThreadStarter(nullptr);
    Wire().failCall = -1;
    Wire().events.clear();
    ASSERT_EQ(OpenBusPort(5, 4800, 0, 8, 2, 1, 1), 0);
    CloseBusPort(5);
    EXPECT_EQ(Wire().events, Join({Opened(5, "apply 4800 8N2 dtr rts"), kCloseEvents}));
  }
}

// On a pseudo-terminal (the POSIX device), what only a real line shows: an open that keeps the
// parity it had just before (as the closing wake byte of an analysis does) still shows it, and a
// slow rate. (The termios of every line is pinned exactly by LineTermios.)
TEST(BusPortOnLine, SettingsShowOnTheLine) {
  sim::SimLine line;
  setenv("S470_COM6", line.slavePath().c_str(), 1);
  const struct {
    int32_t baud;
    uint16_t parity;
    const char* shown;
  } cases[] = {{115200, 4, "115200 M 2"}, {115200, 4, "115200 M 2"}, {2400, 1, "2400 E 2"}};
  for (const auto& c : cases) {
    ASSERT_EQ(OpenBusPort(6, c.baud, c.parity, 8, 2, 1, 1), 0) << c.shown;
    EXPECT_EQ(line.Settings().ToString(), c.shown);
  }
  CloseBusPort(6);
}

}  // namespace
}  // namespace s470
