// ROBO-Q codes, slot patterns and the sending thread against a fake PC-OP-RS1.
#include "device/CRoboQ.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "DeviceRig.h"
#include "FakePcOpRs1.h"
#include "core/DriveTypes.h"
#include "device/CRelayBoard.h"
#include "device/RoboQFrame.h"

namespace viren {
namespace {

using namespace std::chrono_literals;
using test::DecodeRoboQPattern;
using test::FakePcOpRs1;

// Lit/dark run lengths of the first `slots` slots, starting with a lit run.
std::vector<int> Runs(const RoboQPattern& p, int slots) {
  std::vector<int> runs;
  int value = 1;
  int length = 0;
  for (int k = 0; k < slots; ++k) {
    const int lit = (p.bytes[k / 8] >> (k % 8)) & 1;
    if (lit == value) {
      ++length;
      continue;
    }
    runs.push_back(length);
    value = lit;
    length = 1;
  }
  runs.push_back(length);
  return runs;
}

TEST(RoboQFrame, bandTwoSpeedOneStraightIsCode36WithItsSlotPattern) {
  EXPECT_EQ(RoboQCode(1, 0, 2), 36);
  const RoboQPattern p = BuildRoboQPattern(36);
  EXPECT_EQ(p.slots, 90);
  EXPECT_EQ(p.frameBytes, 12);
  EXPECT_EQ(Runs(p, 90), (std::vector<int>{15, 5, 10, 5, 5, 5, 5, 5, 10, 5, 5, 5, 5, 5}));
  EXPECT_EQ(std::vector<std::uint8_t>(p.bytes.begin(), p.bytes.begin() + 12),
            std::vector<std::uint8_t>(p.bytes.begin() + 80, p.bytes.begin() + 92));
  EXPECT_EQ(std::vector<std::uint8_t>(p.bytes.begin(), p.bytes.begin() + 12),
            std::vector<std::uint8_t>(p.bytes.begin() + 160, p.bytes.begin() + 172));
}

TEST(RoboQFrame, largestAndSmallestCodesAndTheStopCode) {
  EXPECT_EQ(RoboQCode(3, 3, 3), 0x7E);
  const RoboQPattern big = BuildRoboQPattern(0x7E);
  EXPECT_EQ(big.slots, 110);
  EXPECT_EQ(big.frameBytes, 14);
  const RoboQPattern small = BuildRoboQPattern(RoboQCode(0, 0, 0));
  EXPECT_EQ(small.slots, 80);
  EXPECT_EQ(small.frameBytes, 10);
  // Fields are two bits wide and bit 0 stays clear.
  EXPECT_EQ(RoboQCode(7, 5, 6), RoboQCode(3, 1, 2));
  EXPECT_EQ(RoboQStopCode(2), RoboQCode(0, 1, 2));
  EXPECT_EQ(RoboQStopCode(0), 8);
}

TEST(RoboQFrame, everyCodeReadsBackAndItsCopiesNeverOverlap) {
  for (int code = 0; code < 128; code += 2) {
    const RoboQPattern p = BuildRoboQPattern(code);
    EXPECT_EQ(DecodeRoboQPattern(p.bytes), code) << code;
    EXPECT_LE(p.frameBytes, 14);
    EXPECT_GE(p.frameBytes, 10);
  }
}

TEST(RoboQFrame, channelBytes) {
  EXPECT_EQ(RoboQChannelByte(0), '1');
  EXPECT_EQ(RoboQChannelByte(1), '1');
  EXPECT_EQ(RoboQChannelByte(3), '3');
  EXPECT_EQ(RoboQChannelByte(4), '4');
  EXPECT_EQ(RoboQChannelByte(9), '1');
}

class RoboQ : public ::testing::Test {
 protected:
  RoboQ() : RoboQ(0) {}
  explicit RoboQ(int intervalMs, RoboQTimings timings = {100ms, 200ms})
      : rig({.com1Device = peer.devicePath(), .roboqBand = 2, .roboqIntervalMs = intervalMs}),
        relay(rig.settings, rig.state, rig.ui, {5ms, 10}),
        roboq(rig.settings, rig.state, rig.ui, speed, relay, timings) {
    rig.state.controlRoboQ = true;
  }

  // Codes of the frames received so far.
  std::vector<int> Codes() const {
    std::vector<int> codes;
    for (const auto& f : peer.frames()) codes.push_back(DecodeRoboQPattern(f.pattern));
    return codes;
  }
  // Waits until the sending thread has ended (its stop frame is out).
  void WaitStopped() {
    const auto stop = RoboQStopCode(roboq.band());
    for (int i = 0; i < 1000; ++i) {
      const auto codes = Codes();
      if (!codes.empty() && codes.back() == stop) return;
      std::this_thread::sleep_for(2ms);
    }
    FAIL() << "no stop frame";
  }

  FakePcOpRs1 peer;
  test::DeviceRig rig;
  std::atomic<int> speed{0};
  CRelayBoard relay;
  CRoboQ roboq;
};

TEST_F(RoboQ, openNeedsRoboQModeAndAPortAndTakesTheRelayBoardsPlace) {
  rig.state.controlRoboQ = false;
  EXPECT_FALSE(roboq.RoboQOpen());
  EXPECT_FALSE(roboq.isOpen());
  rig.state.controlRoboQ = true;
  relay.reconnectingFlag().Set();
  EXPECT_TRUE(roboq.RoboQOpen());
  EXPECT_TRUE(roboq.isOpen());
  EXPECT_EQ(speed, 2);
  EXPECT_EQ(roboq.direction(), 0);
  EXPECT_EQ(roboq.band(), 2);
  EXPECT_EQ(roboq.portPath(), peer.devicePath());
  EXPECT_FALSE(relay.connected());
  EXPECT_FALSE(relay.reconnectingFlag().IsSet());
  roboq.RoboQClose();
  EXPECT_FALSE(roboq.isOpen());

  rig.Configure({.com1Device = peer.devicePath(), .comNo = 0});
  EXPECT_FALSE(roboq.RoboQOpen());
  rig.Configure({.com1Device = "/dev/no-such-transmitter"});
  EXPECT_FALSE(roboq.RoboQOpen());
  EXPECT_TRUE(roboq.RoboQOutput(DRIVE_FORWARD));  // nothing open: accepted, nothing sent
  EXPECT_EQ(peer.received(), "");
}

TEST_F(RoboQ, forwardThenLeftSwitchesDirectionWithoutInterruptingThenOneStopFrame) {
  ASSERT_TRUE(roboq.RoboQOpen());
  EXPECT_TRUE(roboq.RoboQOutput(DRIVE_FORWARD));
  ASSERT_TRUE(peer.WaitForFrames(3, 2s));
  EXPECT_TRUE(roboq.RoboQOutput(DRIVE_LEFT));
  const std::size_t before = peer.frameCount();
  ASSERT_TRUE(peer.WaitForFrames(before + 3, 2s));
  EXPECT_TRUE(roboq.sending());
  EXPECT_TRUE(roboq.RoboQOutput(DRIVE_STOP));
  WaitStopped();
  std::this_thread::sleep_for(30ms);

  const auto codes = Codes();
  const int straight = RoboQCode(2, 0, 2);
  const int left = RoboQCode(2, 2, 2);
  const int stop = RoboQStopCode(2);
  ASSERT_GE(codes.size(), 7u);
  std::size_t i = 0;
  while (i < codes.size() && codes[i] == straight) ++i;
  EXPECT_GE(i, 3u);
  std::size_t j = i;
  while (j < codes.size() && codes[j] == left) ++j;
  EXPECT_GE(j - i, 1u);
  EXPECT_EQ(j, codes.size() - 1) << "only left frames between straight and the stop";
  EXPECT_EQ(codes.back(), stop);
  EXPECT_EQ(peer.strayBytes(), 0u);
  for (const auto& f : peer.frames()) EXPECT_EQ(f.channel, '1');
  EXPECT_FALSE(roboq.sending());
}

TEST_F(RoboQ, turboReverseAndDirectionsChangeOnlyWhatTheyShould) {
  ASSERT_TRUE(roboq.RoboQOpen());
  EXPECT_TRUE(roboq.RoboQOutput(DRIVE_REVERSE));
  EXPECT_TRUE(roboq.RoboQOutput(DRIVE_AUTO_ON));
  EXPECT_TRUE(roboq.RoboQOutput(DRIVE_CHECK));
  EXPECT_FALSE(roboq.sending());
  EXPECT_TRUE(roboq.RoboQOutput(DRIVE_TURBO_ON));
  EXPECT_EQ(speed, 3);
  EXPECT_TRUE(roboq.RoboQOutput(DRIVE_RIGHT));
  EXPECT_EQ(roboq.direction(), 1);
  EXPECT_TRUE(roboq.RoboQOutput(DRIVE_FORWARD));
  ASSERT_TRUE(peer.WaitForFrames(1, 2s));
  EXPECT_EQ(Codes().front(), RoboQCode(3, 1, 2));
  EXPECT_TRUE(roboq.RoboQOutput(DRIVE_REVERSE));  // keeps going as it was
  EXPECT_TRUE(roboq.sending());
  EXPECT_TRUE(roboq.RoboQOutput(DRIVE_TURBO_OFF));
  EXPECT_EQ(speed, 2);
  EXPECT_TRUE(roboq.RoboQOutput(DRIVE_STRAIGHT));
  EXPECT_EQ(roboq.direction(), 0);
  roboq.RoboQClose();
  EXPECT_EQ(Codes().back(), RoboQStopCode(2));
}

TEST_F(RoboQ, refusesWhileTheRelayBoardReconnects) {
  ASSERT_TRUE(roboq.RoboQOpen());
  relay.reconnectingFlag().Set();
  EXPECT_FALSE(roboq.RoboQOutput(DRIVE_FORWARD));
  EXPECT_FALSE(roboq.sending());
  relay.reconnectingFlag().Clear();
}

TEST_F(RoboQ, stopThenForwardNeverLeavesTwoSendingThreads) {
  ASSERT_TRUE(roboq.RoboQOpen());
  std::vector<std::thread> drivers;
  for (int t = 0; t < 3; ++t)
    drivers.emplace_back([&, t] {
      for (int i = 0; i < 15; ++i) {
        roboq.RoboQOutput(DRIVE_FORWARD);
        if ((i + t) % 3 == 0) std::this_thread::sleep_for(1ms);
        roboq.RoboQOutput(DRIVE_STOP);
        roboq.RoboQOutput((i % 2) ? DRIVE_LEFT : DRIVE_STRAIGHT);
      }
    });
  for (auto& d : drivers) d.join();
  roboq.RoboQClose();
  EXPECT_EQ(roboq.maxConcurrentSenders(), 1);
  // Frames arrive whole, one after another, never mixed.
  EXPECT_EQ(peer.strayBytes(), 0u);
  for (int code : Codes()) EXPECT_NE(code, -1);
  EXPECT_GT(peer.frameCount(), 0u);
  EXPECT_EQ(Codes().back(), RoboQStopCode(2));
}

TEST_F(RoboQ, vanishedTransmitterEndsTheThreadAndClose) {
  ASSERT_TRUE(roboq.RoboQOpen());
  EXPECT_TRUE(roboq.RoboQOutput(DRIVE_FORWARD));
  ASSERT_TRUE(peer.WaitForFrames(1, 2s));
  peer.VanishAfter(0ms);
  ASSERT_TRUE(peer.WaitVanished(2s));
  std::this_thread::sleep_for(50ms);
  const auto start = std::chrono::steady_clock::now();
  roboq.RoboQClose();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 600ms);
}

class RoboQPaced : public RoboQ {
 protected:
  RoboQPaced() : RoboQ(100) {}
};

TEST_F(RoboQPaced, framesStartOneIntervalApartWhenATransmissionIsShorter) {
  peer.SetTransmitTime(25ms);
  ASSERT_TRUE(roboq.RoboQOpen());
  roboq.RoboQOutput(DRIVE_FORWARD);
  ASSERT_TRUE(peer.WaitForFrames(5, 3s));
  roboq.RoboQClose();
  const auto frames = peer.frames();
  for (std::size_t i = 1; i < 5; ++i) {
    const auto gap = frames[i].start - frames[i - 1].start;
    EXPECT_GE(gap, 95ms) << i;
    EXPECT_LT(gap, 180ms) << i;
  }
}

TEST_F(RoboQ, withoutAnIntervalFramesFollowEachOtherAtOnce) {
  peer.SetTransmitTime(25ms);
  ASSERT_TRUE(roboq.RoboQOpen());
  roboq.RoboQOutput(DRIVE_FORWARD);
  ASSERT_TRUE(peer.WaitForFrames(5, 3s));
  roboq.RoboQClose();
  const auto frames = peer.frames();
  for (std::size_t i = 1; i < 5; ++i) {
    const auto gap = frames[i].start - frames[i - 1].start;
    EXPECT_GE(gap, 25ms) << i;
    EXPECT_LT(gap, 80ms) << i;
  }
}

// The same exchanges with the waits a tenth of the real ones: answers may take
// 250 ms, the line must then be quiet for 500 ms.
class RoboQSlow : public RoboQ {
 protected:
  RoboQSlow() : RoboQ(0, {250ms, 500ms}) {}

  // Forward for `frames` frames, then stop; the codes received.
  std::vector<int> DriveAndStop(std::size_t frames) {
    EXPECT_TRUE(roboq.RoboQOpen());
    roboq.RoboQOutput(DRIVE_FORWARD);
    EXPECT_TRUE(peer.WaitForFrames(frames, 20s));
    roboq.RoboQOutput(DRIVE_STOP);
    for (auto end = std::chrono::steady_clock::now() + 20s;
         std::chrono::steady_clock::now() < end && Codes().back() != RoboQStopCode(2);)
      std::this_thread::sleep_for(10ms);
    roboq.RoboQClose();
    return Codes();
  }
};

TEST_F(RoboQSlow, answersLateButWithinTheWaitKeepEveryFrameExactAndEndWithOneStop) {
  peer.SetAnswerDelay(120ms);
  const auto codes = DriveAndStop(3);
  ASSERT_GE(codes.size(), 4u);
  for (std::size_t i = 0; i + 1 < codes.size(); ++i) EXPECT_EQ(codes[i], RoboQCode(2, 0, 2)) << i;
  EXPECT_EQ(codes.back(), RoboQStopCode(2));
  EXPECT_EQ(peer.exchanges(), codes.size()) << "a \"t\" was taken for something else";
  EXPECT_EQ(peer.strayBytes(), 0u);
  EXPECT_TRUE(rig.ui.messageIds().empty());
}

TEST_F(RoboQSlow, anExchangeAnsweredTooLateIsCompletedDarkAndTheNextFramesAreExact) {
  // Its first exchange answered after the wait has given up on it; prompt
  // from then on.
  peer.SetAnswerDelay(400ms, 1);
  DriveAndStop(4);
  const auto frames = peer.frames();
  ASSERT_GE(frames.size(), 5u);
  // The transmitter held the first exchange; the program finished it with a
  // pattern that lights nothing instead of a "t" that would have become its
  // channel byte.
  EXPECT_EQ(frames[0].channel, '1');
  EXPECT_TRUE(std::all_of(frames[0].pattern.begin(), frames[0].pattern.end(),
                          [](std::uint8_t b) { return b == 0; }));
  const auto codes = Codes();
  for (std::size_t i = 1; i + 1 < codes.size(); ++i) EXPECT_EQ(codes[i], RoboQCode(2, 0, 2)) << i;
  EXPECT_EQ(codes.back(), RoboQStopCode(2));
  EXPECT_EQ(peer.strayBytes(), 0u);
  EXPECT_EQ(rig.ui.messageIds(), (std::vector<int>{MSG_DEVICE_NO_ANSWER}));
}

TEST_F(RoboQSlow, aSilentTransmitterIsReportedOnceAskedGentlyAndNeverHoldsTheClose) {
  peer.SetSilent(true);
  ASSERT_TRUE(roboq.RoboQOpen());
  roboq.RoboQOutput(DRIVE_FORWARD);
  ASSERT_TRUE(peer.WaitForBytes(3, 10s));  // the third try: 0 s, 0.75 s, 1.5 s
  EXPECT_FALSE(roboq.answering());
  roboq.RoboQOutput(DRIVE_STOP);
  roboq.RoboQOutput(DRIVE_FORWARD);
  const auto start = std::chrono::steady_clock::now();
  roboq.RoboQClose();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  const std::string sent = peer.received();
  EXPECT_EQ(sent, std::string(sent.size(), 't'));
  EXPECT_LE(sent.size(), 4u);
  EXPECT_EQ(rig.ui.messageIds(), (std::vector<int>{MSG_DEVICE_NO_ANSWER}));
}

class RoboQPatient : public RoboQ {
 protected:
  RoboQPatient() : RoboQ(0, {3s, 3s}) {}
};

TEST_F(RoboQPatient, forwardWhileTheThreadWaitsOnASilentTransmitterDoesNotWaitWithIt) {
  ASSERT_TRUE(roboq.RoboQOpen());
  roboq.RoboQOutput(DRIVE_FORWARD);
  ASSERT_TRUE(peer.WaitForFrames(1, 5s));
  peer.SetSilent(true);
  roboq.RoboQOutput(DRIVE_STOP);
  std::this_thread::sleep_for(100ms);
  // The thread is waiting seconds for an answer; the caller is not kept.
  const auto start = std::chrono::steady_clock::now();
  roboq.RoboQOutput(DRIVE_FORWARD);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_TRUE(roboq.sending());
  roboq.RoboQClose();
  EXPECT_EQ(roboq.maxConcurrentSenders(), 1);
  EXPECT_FALSE(roboq.sending());
}

}  // namespace
}  // namespace viren
