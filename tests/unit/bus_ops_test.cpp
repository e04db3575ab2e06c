// The bus operations on a driven clock: per-byte time-outs counted in 50 ms ticks, count and
// terminator replies, echo checks, drains, and the bus start sequence.
#include "serial/bus_ops.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <utility>

#include "bus_fake_wire.h"
#include "serial/bus_port.h"

namespace s470 {
namespace {

constexpr int16_t kPort = 5;

class BusOps : public ::testing::Test {
 protected:
  BusOps() : scope_(true) {}
  void SetUp() override { ASSERT_EQ(OpenBusPort(kPort, 115200, 4, 8, 2, 1, 1), 0); }

  // A wait on an empty line from driven time 0 with the tick boundaries at `phase`: how many
  // ticks passed between the first look and the last one, and how long it took.
  struct Waited {
    int16_t result;
    uint32_t ticks;
    double ms;
  };
  // BusTransact with `capacity`: the result, and the reply buffer (first filled with 0xEE) with
  // one byte past the capacity, which must stay untouched.
  using Got = std::pair<int16_t, std::vector<uint8_t>>;
  static Got Transact(int32_t count, uint8_t terminator, int32_t timeoutMs, size_t capacity) {
    std::vector<uint8_t> reply(capacity + 1, 0xEE);
    const int16_t r = BusTransact(kPort, count, terminator, timeoutMs, reply.data(), capacity);
    return {r, reply};
  }

  // Driven time back to 0 on an empty line, with the tick boundaries at `phase`.
  static FakeWire& Restart(double phase = 0) {
    FakeWire& w = Wire();
    w.nowMs = 0;
    w.phaseMs = phase;
    w.incoming.clear();
    return w;
  }
  // The driven milliseconds a call takes from time 0.
  template <typename Call>
  static double Took(Call call) {
    Wire().nowMs = 0;
    call();
    return Wire().nowMs;
  }
  static auto Within(double lo, double hi) { return ::testing::AllOf(::testing::Ge(lo), ::testing::Le(hi)); }

  Waited WaitEmpty(int32_t timeoutMs, double phase) {
    FakeWire& w = Restart(phase);
    uint8_t reply[4];
    const int16_t r = BusTransact(kPort, 1, 0, timeoutMs, reply, sizeof reply);
    return {r, w.TickAt(w.nowMs) - w.TickAt(w.msPerLook), w.nowMs};
  }

 private:
  FakeWireScope scope_;
};

TEST_F(BusOps, TimeOutAllowsWholeTicksOnlyAndEndsOnTheNextOne) {
  for (double phase = 0; phase < 50; phase += 1) {
    // 100 ms allows 2 ticks: the wait ends when the third has come.
    const Waited w100 = WaitEmpty(100, phase);
    EXPECT_EQ(w100.result, 1);
    EXPECT_EQ(w100.ticks, 3u) << phase;
    EXPECT_GE(w100.ms, 100) << phase;
    EXPECT_LE(w100.ms, 151) << phase;
    // 120 ms is the same 2 ticks.
    const Waited w120 = WaitEmpty(120, phase);
    EXPECT_EQ(w120.ticks, 3u);
    EXPECT_EQ(w120.ms, w100.ms) << phase;
    // 300 ms: 6 ticks; 40 ms: none, so the next tick ends it.
    EXPECT_EQ(WaitEmpty(300, phase).ticks, 7u);
    const Waited w40 = WaitEmpty(40, phase);
    EXPECT_EQ(w40.ticks, 1u);
    EXPECT_LE(w40.ms, 51);
  }
}

TEST_F(BusOps, TimeOutZeroTakesOnlyBytesAlreadyThere) {
  FakeWire& w = Wire();
  w.Arrive(0, {0x11, 0x22});
  w.Arrive(1000, {0x33});
  EXPECT_EQ(Transact(2, 0, 0, 3), Got(0, {0x11, 0x22, 0x00, 0xEE}));

  w.incoming.clear();
  w.Arrive(0, {0x44});
  w.Arrive(1000, {0x33});
  const double before = w.nowMs;
  // What came stays, without a zero byte after it.
  EXPECT_EQ(Transact(3, 0, 0, 4), Got(1, {0x44, 0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(w.nowMs - before, 4);  // two looks for each of the two bytes: no waiting
  ASSERT_EQ(w.incoming.size(), 1u);  // the late byte is left for later
  EXPECT_EQ(Transact(1, 0, 0, 4).first, 1);  // nothing there yet
}

TEST_F(BusOps, BytesEvery80MsMeetA100MsTimeOutHoweverLongTheReply) {
  for (double phase = 0; phase < 50; phase += 1) {
    FakeWire& w = Restart(phase);
    std::vector<uint8_t> bytes(40);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i + 1);
    w.Arrive(80, bytes, 80);
    uint8_t reply[41];
    ASSERT_EQ(BusTransact(kPort, 40, 0, 100, reply, sizeof reply), 0) << phase;
    EXPECT_EQ(std::vector<uint8_t>(reply, reply + 40), bytes);
    EXPECT_EQ(reply[40], 0);
  }
  // The same reply against 50 ms (one tick) fails for some placements of the ticks.
  int failed = 0;
  for (double phase = 0; phase < 50; phase += 1) {
    Restart(phase).Arrive(80, std::vector<uint8_t>(5, 0x55), 80);
    uint8_t reply[6];
    failed += BusTransact(kPort, 5, 0, 50, reply, sizeof reply);
  }
  EXPECT_GT(failed, 0);
}

TEST_F(BusOps, CountModeTakesExactlyCountBytesAndLeavesTheRest) {
  FakeWire& w = Wire();
  w.Arrive(0, {1, 2, 3, 4, 5});
  EXPECT_EQ(Transact(3, 0, 100, 4), Got(0, {1, 2, 3, 0, 0xEE}));
  EXPECT_EQ(Transact(2, 0, 100, 3), Got(0, {4, 5, 0, 0xEE}));

  // A reply buffer without room for count bytes and the zero byte: refused, nothing read.
  w.Arrive(w.nowMs, {7, 8, 9});
  EXPECT_EQ(Transact(3, 0, 100, 3), Got(1, {0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(w.incoming.size(), 3u);
  EXPECT_EQ(Transact(-1, 0, 100, 8).first, 1);
}

TEST_F(BusOps, TerminatorModeStopsAtTheTerminatorAndFailsWhenTheAnswerDoesNotFit) {
  FakeWire& w = Wire();
  w.Arrive(0, {0x41, 0x42, 0x0D, 0x43});
  EXPECT_EQ(Transact(0, 0x0D, 300, 3), Got(0, {0x41, 0x42, 0x00, 0xEE}));
  ASSERT_EQ(w.incoming.size(), 1u);  // the terminator is consumed, the next byte stays
  w.incoming.clear();

  // The answer up to 0x8D needs 4 bytes and the zero byte; the caller has room for 3.
  w.Arrive(w.nowMs, {0x31, 0x32, 0x33, 0x34, 0x8D});
  EXPECT_EQ(Transact(0, 0x8D, 300, 3), Got(1, {0x31, 0x32, 0xEE, 0xEE}));
  w.incoming.clear();

  // An exact fit works: 2 bytes and the zero byte in 3.
  w.Arrive(w.nowMs, {0x31, 0x32, 0x8D});
  EXPECT_EQ(Transact(0, 0x8D, 300, 3), Got(0, {0x31, 0x32, 0x00, 0xEE}));

  // A terminator that never comes is a time-out on the last byte.
  Restart().Arrive(0, {0x31});
  EXPECT_THAT(Took([] { EXPECT_EQ(Transact(0, 0x0D, 100, 8).first, 1); }), Within(100, 152));
}

TEST_F(BusOps, SendEchoComparesEveryByteOfTheEcho) {
  FakeWire& w = Wire();
  w.echo = true;
  const uint8_t pair[] = {0x81, 0x7E};
  EXPECT_EQ(BusSendEcho(kPort, pair, 2, 0), 0);
  // The second byte comes back wrong: both came, the check fails.
  w.echoAs[3] = 0x7F;
  EXPECT_EQ(BusSendEcho(kPort, pair, 2, 0), 1);
  EXPECT_TRUE(w.incoming.empty());
  EXPECT_EQ(w.written, (std::vector<uint8_t>{0x81, 0x7E, 0x81, 0x7E}));

  // 299 bytes is the most; 300 is refused and nothing is sent.
  std::vector<uint8_t> block(300, 0x5A);
  EXPECT_EQ(BusSendEcho(kPort, block.data(), 299, 0), 0);
  w.written.clear();
  EXPECT_EQ(BusSendEcho(kPort, block.data(), 300, 0), 1);
  EXPECT_EQ(BusSendEcho(kPort, block.data(), -1, 0), 1);
  EXPECT_TRUE(w.written.empty());
}

TEST_F(BusOps, SendEchoWaits100MsUpTo20BytesAnd500MsAbove) {
  FakeWire& w = Restart();
  std::vector<uint8_t> bytes(21, 0x33);
  EXPECT_THAT(Took([&] { EXPECT_EQ(BusSendEcho(kPort, bytes.data(), 20, 0), 1); }), Within(100, 151));
  EXPECT_THAT(Took([&] { EXPECT_EQ(BusSendEcho(kPort, bytes.data(), 21, 0), 1); }), Within(500, 551));

  // Send only: nothing is read, whatever waits on the line.
  w.Arrive(w.nowMs, {0x99});
  EXPECT_EQ(BusSendEcho(kPort, bytes.data(), 2, 1), 0);
  EXPECT_EQ(w.incoming.size(), 1u);
}

TEST_F(BusOps, DrainEndsAfterTheQuietTimeOrAfterFiveSecondsOfNoise) {
  FakeWire& w = Restart();
  const auto drain = [] { BusDrain(kPort, 100); };
  EXPECT_THAT(Took(drain), Within(100, 151));  // quiet line
  w.Arrive(10, std::vector<uint8_t>(14, 0x55), 30);  // the last at 400 ms
  EXPECT_THAT(Took(drain), Within(500, 552));
  EXPECT_TRUE(w.incoming.empty());
  // A line that never falls quiet: a byte every 10 ms for a minute.
  w.Arrive(0, std::vector<uint8_t>(6000, 0x55), 10);
  EXPECT_THAT(Took(drain), Within(5000, 5100));
  EXPECT_FALSE(w.incoming.empty());
}

TEST_F(BusOps, OperationsOnAPortThatIsNotOpenFailAtOnce) {
  FakeWire& w = Wire();
  w.Arrive(0, {1, 2, 3});
  const int looks = w.looks;
  uint8_t reply[4];
  const uint8_t byte = 0x02;
  for (int16_t port : {int16_t{6}, int16_t{0}, int16_t{-3}, int16_t{9}}) {
    EXPECT_EQ(BusTransact(port, 1, 0, 100, reply, sizeof reply), 1);
    EXPECT_EQ(BusTransact(port, 0, 0x0D, 0, reply, sizeof reply), 1);
    EXPECT_EQ(BusSend(port, &byte, 1), 1);
    EXPECT_EQ(BusSendEcho(port, &byte, 1, 0), 1);
    BusDrain(port, 100);
  }
  EXPECT_EQ(w.looks, looks);
  EXPECT_TRUE(w.written.empty());
  EXPECT_EQ(w.incoming.size(), 3u);
}

TEST(BusStart, SequenceSendsGaugeBytesThenWakeByteAndStart) {
  FakeWireScope scope(true);
  Wire().echo = true;
  ASSERT_EQ(BusStartSequence(7), 0);
  EXPECT_FALSE(BusPortIsOpen(7));
  EXPECT_EQ(Wire().Events(),
            (std::vector<std::string>{
                "open 7", "apply 4800 8N2 dtr rts", "queues 8192 8192", "timeouts at once",
                "write 09 0D 13 N", "dtr off", "rts off", "close",
                "open 7", "apply 115200 8M2 dtr rts", "queues 8192 8192", "timeouts at once",
                "write 00 M", "apply 115200 8S2 dtr rts", "write 81 S", "dtr off", "rts off",
                "close"}));
  EXPECT_TRUE(Wire().incoming.empty());  // the echo of 0x81 was drained
}

TEST(BusStart, FailedOpenIsReportedAndLeavesTheClosingToTheCaller) {
  FakeWireScope scope(true);
  Wire().failApplyNumber = 1;  // the 115200-baud settings are refused
  EXPECT_EQ(BusStartSequence(7), 1);
  EXPECT_TRUE(BusPortIsOpen(7));
  CloseBusPort(7);
  EXPECT_FALSE(BusPortIsOpen(7));
  EXPECT_EQ(Wire().Events().back(), "close");
}

}  // namespace
}  // namespace s470
