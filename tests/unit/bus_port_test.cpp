// Opening and closing the bus port: the settings tables, the wake byte of parity mode 10, the
// tick thread and its handshake, DTR before RTS at close, and failed opens.
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

TEST(BusPortOpen, RefusesValuesOutsideItsTablesWithoutTouchingTheDevice) {
  FakeWireScope scope(false);
  struct Bad {
    int16_t port;
    int32_t baud;
    uint16_t parity, dataBits, stopBits;
  } cases[] = {
      {0, 4800, 0, 8, 2},  {9, 4800, 0, 8, 2},    {-1, 4800, 0, 8, 2},   {100, 4800, 0, 8, 2},
      {5, 300, 0, 8, 2},   {5, 14400, 0, 8, 2},   {5, 230400, 0, 8, 2},  {5, -4800, 0, 8, 2},
      {5, 4800, 5, 8, 2},  {5, 4800, 9, 8, 2},    {5, 4800, 11, 8, 2},   {5, 4800, 0xFFFF, 8, 2},
      {5, 4800, 0, 6, 2},  {5, 4800, 0, 9, 2},    {5, 4800, 0, 8, 0},    {5, 4800, 0, 8, 3},
  };
  for (const Bad& b : cases) {
    EXPECT_EQ(OpenBusPort(b.port, b.baud, b.parity, b.dataBits, b.stopBits, 1, 1), 1)
        << b.port << " " << b.baud << " " << b.parity << " " << b.dataBits << " " << b.stopBits;
    EXPECT_FALSE(BusPortIsOpen(b.port));
  }
  EXPECT_TRUE(Wire().events.empty()) << Wire().Events()[0];
}

TEST(BusPortOpen, AppliesEverySettingOfItsTables) {
  FakeWireScope scope(false);
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
  for (const Case& c : cases) {
    Wire().events.clear();
    ASSERT_EQ(OpenBusPort(5, c.baud, c.parity, c.dataBits, c.stopBits, c.dtr, c.rts), 0) << c.applied;
    EXPECT_TRUE(BusPortIsOpen(5));
    EXPECT_EQ(CloseBusPort(5), 0);
    EXPECT_FALSE(BusPortIsOpen(5));
    EXPECT_EQ(Wire().Events(), Join({Opened(5, c.applied), kCloseEvents}));
  }
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
    EXPECT_EQ(Wire().Events(), Join({Opened(6, "apply 115200 8M2 dtr rts"),
                                     {"write 00 M", "apply 115200 8S2 dtr rts", "write 81 S"}}));
    uint8_t reply[4] = {};
    EXPECT_EQ(BusTransact(6, 2, 0, 0, reply, sizeof reply), 1);  // only the echo of 0x81 waits
    EXPECT_EQ(reply[0], echo ? 0x81 : 0);
    EXPECT_TRUE(Wire().incoming.empty());
  }
}

TEST(BusPortClose, DtrGoesOffTenMillisecondsBeforeRts) {
  FakeWireScope scope(false);
  ASSERT_EQ(OpenBusPort(5, 4800, 0, 8, 2, 1, 1), 0);
  Wire().events.clear();
  CloseBusPort(5);
  ASSERT_EQ(Wire().Events(), kCloseEvents);
  const double gapMs =
      std::chrono::duration<double, std::milli>(Wire().events[1].at - Wire().events[0].at).count();
  EXPECT_GE(gapMs, 9.5);
  EXPECT_LT(gapMs, 200);
}

TEST(BusPortTicks, EachPortCountsTwentyASecondFromZeroUntilItsOwnClose) {
  FakeWireScope scope(false);
  ASSERT_EQ(OpenBusPort(8, 115200, 4, 8, 2, 1, 1), 0);  // COM8, the last record
  EXPECT_EQ(Wire().events.front().what, "open 8");
  EXPECT_LE(PortTickCounter(8), 1u);
  ASSERT_EQ(OpenBusPort(5, 115200, 4, 8, 2, 1, 1), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const uint32_t ticks = PortTickCounter(8);
  EXPECT_GE(ticks, 9u);
  EXPECT_LE(ticks, 13u);  // a counter both threads step would run at twice the rate
  EXPECT_GE(PortTickCounter(5), 8u);

  const auto t0 = std::chrono::steady_clock::now();
  CloseBusPort(8);
  const double closeMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(closeMs, 60);  // the tick thread ends within a pass
  const uint32_t stopped = PortTickCounter(8), five = PortTickCounter(5);
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  EXPECT_EQ(PortTickCounter(8), stopped);
  EXPECT_GT(PortTickCounter(5), five);  // closing one port leaves the other's thread running

  ASSERT_EQ(OpenBusPort(8, 4800, 0, 8, 2, 1, 1), 0);
  EXPECT_LE(PortTickCounter(8), 1u);
}

TEST(BusPortOpen, FailedOpensLeaveThePortClosedWithNoTickThread) {
  struct Failure {
    const char* name;
    void (*arrange)();
    uint16_t parity;
    bool deviceOpened;
  } failures[] = {
      {"device", [] { Wire().failOpen = true; }, 4, false},
      {"settings", [] { Wire().failApplyNumber = 0; }, 4, true},
      {"queues", [] { Wire().failQueues = true; }, 4, true},
      {"time-outs", [] { Wire().failTimeouts = true; }, 4, true},
      {"tick thread", [] { SetTickThreadStarter([](int16_t) { return TickThreadHandle{0}; }); }, 4, true},
      {"space parity", [] { Wire().failApplyNumber = 1; }, kParityWake, true},
  };
  for (const Failure& f : failures) {
    FakeWireScope scope(false);
    Wire().echo = true;
    f.arrange();
    EXPECT_EQ(OpenBusPort(5, 115200, f.parity, 8, 2, 1, 1), 1) << f.name;
    EXPECT_EQ(CloseBusPort(5), 0);
    EXPECT_FALSE(BusPortIsOpen(5)) << f.name;
    const Events events = Wire().Events();
    EXPECT_EQ(events.back(), f.deviceOpened ? "close" : "open 5") << f.name;
    const uint32_t ticks = PortTickCounter(5);
    std::this_thread::sleep_for(std::chrono::milliseconds(70));
    EXPECT_EQ(PortTickCounter(5), ticks) << f.name << ": a tick thread is still running";
    // Nothing is left over: the next open works and the next close closes only its own.
    SetTickThreadStarter(nullptr);
    Wire().failOpen = Wire().failQueues = Wire().failTimeouts = false;
    Wire().failApplyNumber = -1;
    Wire().events.clear();
    ASSERT_EQ(OpenBusPort(5, 4800, 0, 8, 2, 1, 1), 0) << f.name;
    CloseBusPort(5);
    EXPECT_EQ(Wire().Events(), Join({Opened(5, "apply 4800 8N2 dtr rts"), kCloseEvents}));
  }
}

// Opening an open port closes it first; closing a port that is not open leaves it alone.
TEST(BusPortOpen, OpeningAnOpenPortClosesItFirst) {
  FakeWireScope scope(false);
  for (int16_t port : {int16_t{0}, int16_t{3}, int16_t{-1}, int16_t{9}, int16_t{999}})
    EXPECT_EQ(CloseBusPort(port), 0);
  ASSERT_EQ(OpenBusPort(5, 4800, 0, 8, 2, 1, 1), 0);
  ASSERT_EQ(OpenBusPort(5, 115200, 4, 8, 2, 1, 1), 0);
  CloseBusPort(5);
  EXPECT_EQ(Wire().Events(), Join({Opened(5, "apply 4800 8N2 dtr rts"), kCloseEvents,
                                   Opened(5, "apply 115200 8M2 dtr rts"), kCloseEvents}));
}

// On a pseudo-terminal (the POSIX device): the closing wake byte of an analysis reopens the port
// with the mark parity it had just before.
TEST(BusPortOnLine, ReopeningWithTheSameParityWorks) {
  sim::SimLine line;
  setenv("S470_COM6", line.slavePath().c_str(), 1);
  for (uint16_t parity : {uint16_t{4}, uint16_t{4}, kParityWake, uint16_t{3}, uint16_t{3}, uint16_t{1},
                          uint16_t{1}, uint16_t{0}, uint16_t{0}}) {
    EXPECT_EQ(OpenBusPort(6, 115200, parity, 8, 2, 1, 1), 0) << parity;
    CloseBusPort(6);
  }
  EXPECT_EQ(line.Settings().parity, sim::SimParity::kNone);
}

}  // namespace
}  // namespace s470
