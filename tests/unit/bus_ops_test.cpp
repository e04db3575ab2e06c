// The bus operations on a driven clock: per-byte time-outs counted in 50 ms ticks, count and
// terminator replies, echo checks, drains, and the bus start sequence.
#include "serial/bus_ops.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "bus_fake_wire.h"
#include "serial/bus_port.h"
#include "test_helpers.h"

namespace s470 {
namespace {

constexpr int16_t kPort = 5;
using Bytes = std::vector<uint8_t>;

class BusOps : public ::testing::Test {
 protected:
  BusOps() : scope_(true) {}
  void SetUp() override { ASSERT_EQ(OpenBusPort(kPort, 115200, 4, 8, 2, 1, 1), 0); }

  // BusTransact with `capacity`: the result, and the reply buffer (first filled with 0xEE) with
  // one byte past the capacity, which must stay untouched.
  using Got = std::pair<int16_t, Bytes>;
  static Got Transact(int32_t count, uint8_t terminator, int32_t timeoutMs, size_t capacity) {
    Bytes reply(capacity + 1, 0xEE);
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
  static double Took(const std::function<void()>& call) {
    Wire().nowMs = 0;
    call();
    return Wire().nowMs;
  }

 private:
  FakeWireScope scope_;
};

// A wait of t ms allows t / 50 whole ticks and ends on the next one, wherever the ticks fall: a
// time-out 1 ms short loses a whole tick at some placement of the ticks.
TEST_F(BusOps, WaitsEndBetweenTheTimeOutAndTheTickAfterItAtEveryPhase) {
  Bytes bytes(21, 0x33);
  uint8_t reply[4];
  const auto transact = [&](int32_t ms) {
    return [&reply, ms] { return BusTransact(kPort, 1, 0, ms, reply, 4); };
  };
  const auto echo = [&](int16_t n) {
    return [&bytes, n] { return BusSendEcho(kPort, bytes.data(), n, 0); };
  };
  const struct {
    const char* what;
    std::function<int16_t()> call;
    double lo, hi;
  } cases[] = {
      {"100 ms", transact(100), 100, 151},
      {"echo of 20 bytes: 100 ms", echo(20), 100, 151},
      {"echo of 21 bytes: 500 ms", echo(21), 500, 551},
  };
  for (double phase = 0; phase < 50; phase += 1)
    for (const auto& c : cases) {
      Restart(phase);
      int16_t result = 0;
      const double ms = Took([&] { result = c.call(); });
      EXPECT_EQ(result, 1) << c.what;
      EXPECT_GE(ms, c.lo) << c.what << " at phase " << phase;
      EXPECT_LE(ms, c.hi) << c.what << " at phase " << phase;
    }
}

// 40 bytes 80 ms apart are all taken with 100 ms for each: the wait starts again at every byte.
TEST_F(BusOps, EachByteHasItsOwnWait) {
  Bytes bytes(40);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i + 1);
  Restart(25).Arrive(80, bytes, 80);
  uint8_t reply[41];
  ASSERT_EQ(BusTransact(kPort, 40, 0, 100, reply, sizeof reply), 0);
  EXPECT_EQ(Bytes(reply, reply + 41), Join({bytes, {0}}));
}

// Replies by count or terminator must fit with their zero byte; with time-out 0 only bytes that
// are already there are taken, without waiting. Each case has its bytes waiting on the line and
// one more coming a second later.
TEST_F(BusOps, RepliesByCountOrTerminatorMustFitWithTheirZeroByte) {
  const struct {
    Bytes waiting;
    int32_t count;
    uint8_t terminator;
    int32_t timeoutMs;
    size_t capacity;
    Got got;
    size_t left;  // bytes still on the line afterwards, the late one included
  } cases[] = {
      {{1, 2, 3, 4, 5}, 3, 0, 300, 4, {0, {1, 2, 3, 0, 0xEE}}, 3},
      {{7, 8, 9}, 3, 0, 300, 3, {1, {0xEE, 0xEE, 0xEE, 0xEE}}, 4},  // no room: nothing is read
      {{7}, -1, 0, 300, 8, {1, Bytes(9, 0xEE)}, 2},
      {{7}, 3, 0, 300, 0, {1, {0xEE}}, 2},
      {{7}, 1, 0, 300, 1, {1, {0xEE, 0xEE}}, 2},
      // The terminator is taken from the line.
      {{0x41, 0x42, 0x0D, 0x43}, 0, 0x0D, 300, 3, {0, {0x41, 0x42, 0x00, 0xEE}}, 2},
      {{0x31, 0x32, 0x33, 0x34, 0x8D}, 0, 0x8D, 300, 3, {1, {0x31, 0x32, 0xEE, 0xEE}}, 3},
      {{0x31, 0x32, 0x8D}, 0, 0x8D, 300, 3, {0, {0x31, 0x32, 0x00, 0xEE}}, 1},  // an exact fit
      {{0x44}, 3, 0, 0, 4, {1, {0x44, 0xEE, 0xEE, 0xEE, 0xEE}}, 1},  // what came stays, unended
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.count << " " << c.timeoutMs << " " << c.capacity);
    FakeWire& w = Restart();
    w.Arrive(0, c.waiting);
    w.Arrive(1000, {0x33});
    EXPECT_EQ(Transact(c.count, c.terminator, c.timeoutMs, c.capacity), c.got);
    EXPECT_EQ(w.incoming.size(), c.left);
    EXPECT_LE(w.nowMs, 20);  // none of them waits
  }
}

// A wrong byte fails the check though every byte came back; too long or negative echoes are
// refused unsent; nothing to send is done at once.
TEST_F(BusOps, SendEchoChecksEveryByteOfTheEchoUpTo299Bytes) {
  FakeWire& w = Wire();
  w.echo = true;
  const uint8_t pair[] = {0x81, 0x7E};
  w.echoAs[1] = 0x7F;
  EXPECT_EQ(BusSendEcho(kPort, pair, 2, 0), 1);
  Bytes block(300, 0x5A);
  EXPECT_EQ(BusSendEcho(kPort, block.data(), 299, 0), 0);
  w.written.clear();
  EXPECT_EQ(BusSendEcho(kPort, block.data(), 300, 0), 1);
  EXPECT_EQ(BusSendEcho(kPort, block.data(), -1, 0), 1);
  EXPECT_TRUE(w.written.empty());
  EXPECT_EQ(BusSendEcho(kPort, block.data(), 0, 0), 0);
  EXPECT_EQ(BusSend(kPort, block.data(), 1), 0);
}

// (A drain of a quiet line is in every analysis.)
TEST_F(BusOps, DrainEndsAfterFiveSecondsOfNoise) {
  Restart().Arrive(0, Bytes(6000, 0x55), 10);  // a byte every 10 ms for a minute
  const double ms = Took([] { BusDrain(kPort, 100); });
  EXPECT_GE(ms, 5000);
  EXPECT_LE(ms, 5100);
}

// Without looking at the clock; a send-only echo too.
TEST_F(BusOps, OperationsOnAPortThatIsNotOpenFailAtOnce) {
  const int looks = Wire().looks;
  uint8_t reply[4];
  const uint8_t byte = 0x02;
  for (int16_t port : {int16_t{6}, int16_t{0}, int16_t{-3}, int16_t{9}}) {
    EXPECT_EQ(BusTransact(port, 1, 0, 100, reply, sizeof reply), 1);
    EXPECT_EQ(BusSend(port, &byte, 1), 1);
    EXPECT_EQ(BusSendEcho(port, &byte, 1, 0), 1);
    EXPECT_EQ(BusSendEcho(port, &byte, 1, 1), 1);
    BusDrain(port, 100);
  }
  EXPECT_EQ(Wire().looks, looks);
}

TEST(BusStart, SequenceSendsGaugeBytesThenWakeByteAndStart) {
  FakeWireScope scope(true);
  Wire().echo = true;
  ASSERT_EQ(BusStartSequence(7), 0);
  EXPECT_EQ(Wire().events,
            (std::vector<std::string>{
                "open 7", "apply 4800 8N2 dtr rts", "queues 8192 8192", "timeouts at once",
                "write 09 0D 13 N", "dtr off", "rts off", "close", "open 7",
                "apply 115200 8M2 dtr rts", "queues 8192 8192", "timeouts at once", "write 00 M",
                "apply 115200 8S2 dtr rts", "write 81 S", "dtr off", "rts off", "close"}));
}

TEST(BusStart, FailedOpenIsReported) {
  for (int failing : {1, 5}) {  // the 4800-baud or the 115200-baud settings are refused
    FakeWireScope scope(true);
    Wire().failCall = failing;
    EXPECT_EQ(BusStartSequence(7), 1);
  }
}

}  // namespace
}  // namespace s470
