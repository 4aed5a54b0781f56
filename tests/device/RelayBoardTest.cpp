// The relay board protocol against a fake board on a pseudo-terminal.
#include "device/CRelayBoard.h"

#include <gtest/gtest.h>

#include <thread>

#include "DeviceRig.h"
#include "FakeRelayBoard.h"
#include "core/DriveTypes.h"
#include "core/Messages.h"

namespace viren {
namespace {

using namespace std::chrono_literals;
using test::FakeRelayBoard;
using Strings = std::vector<std::string>;

// 20 polls 10 ms apart: the board's 5 s scaled down to 200 ms; a silent board
// is tried again every 50 ms, and close waits at most 100 ms for it.
constexpr RelayTimings kFast{10ms, 20, 50ms, 100ms};
constexpr auto kAckWait = 200ms;
// A drive command only queues; even a loaded machine takes far less.
constexpr auto kNoWait = 50ms;

template <typename F>
std::chrono::steady_clock::duration Timed(F f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::steady_clock::now() - start;
}

class RelayBoard : public ::testing::Test {
 protected:
  explicit RelayBoard(int comNo = 1)
      : rig({.com1Device = peer.devicePath(), .comNo = comNo}),
        board(rig.settings, rig.state, rig.ui, kFast) {}

  // Opens with every rest-position command answered, then forgets them.
  void OpenQuietly() {
    ASSERT_TRUE(board.RelayOpen());
    ASSERT_TRUE(peer.WaitForCommands(4, 2s));
    opened = peer.commands().size();
  }
  Strings CommandsSinceOpen() const {
    const auto all = peer.commands();
    return Strings(all.begin() + static_cast<long>(opened), all.end());
  }

  FakeRelayBoard peer;
  test::DeviceRig rig;
  CRelayBoard board;
  std::size_t opened = 0;
};

TEST_F(RelayBoard, openHandshakesThenPutsEveryRelayAtRest) {
  EXPECT_TRUE(board.RelayOpen());
  EXPECT_TRUE(board.connected());
  EXPECT_EQ(peer.commands(), (Strings{"AT\r", "PCRA0RB0\r", "PCRC0RD0\r", "PCRE0\r"}));
  EXPECT_EQ(board.portPath(), peer.devicePath());
  EXPECT_TRUE(rig.ui.messageIds().empty());
}

TEST_F(RelayBoard, fourWheelOpenAndCloseSendOnlyTheFourRelayStop) {
  rig.state.control4WD = true;
  EXPECT_TRUE(board.RelayOpen());
  board.RelayClose();
  EXPECT_EQ(peer.commands(), (Strings{"AT\r", "PCRA0RB0RC0RD0\r", "PCRA0RB0RC0RD0\r"}));
}

TEST_F(RelayBoard, forwardIsWrittenAsTheExactBytesAndAcknowledged) {
  OpenQuietly();
  EXPECT_TRUE(board.RelayOutput(DRIVE_FORWARD));
  EXPECT_TRUE(board.RelayOutput(DRIVE_TURBO_ON));
  EXPECT_TRUE(board.RelayOutput(DRIVE_AUTO_ON));  // no command: nothing written
  ASSERT_TRUE(board.Flush());
  EXPECT_EQ(CommandsSinceOpen(), (Strings{"PCRA1RB0\r", "PCRE1\r"}));
  const std::string bytes = peer.received();
  EXPECT_EQ(bytes.substr(bytes.size() - 15), std::string("PCRA1RB0\rPCRE1\r"));
}

TEST_F(RelayBoard, anAnswerInPiecesStillAcknowledges) {
  OpenQuietly();
  peer.Script(FakeRelayBoard::Pieces(40ms));
  EXPECT_TRUE(board.RelayOutput(DRIVE_LEFT));
  ASSERT_TRUE(board.Flush());
  // A late answer inside the wait is fine too.
  peer.Script(FakeRelayBoard::Late(kAckWait / 2));
  EXPECT_TRUE(board.RelayOutput(DRIVE_RIGHT));
  ASSERT_TRUE(board.Flush());
  EXPECT_TRUE(board.answering());
  EXPECT_EQ(CommandsSinceOpen(), (Strings{"PCRC1RD0\r", "PCRC0RD1\r"}));
  EXPECT_TRUE(rig.ui.messageIds().empty());
}

// The answer is taken when it arrives, not at the next tick of the wait: a
// car steered every frame must not see its commands pile up behind the
// board's answers. With a one-second tick, ten prompt answers took ten seconds.
TEST(RelayBoardPace, promptAnswersLetCommandsFollowEachOtherAtOnce) {
  FakeRelayBoard peer;
  test::DeviceRig rig({.com1Device = peer.devicePath()});
  CRelayBoard board(rig.settings, rig.state, rig.ui, RelayTimings{1s, 5, 1s, 1s});
  ASSERT_TRUE(board.RelayOpen());
  for (int i = 0; i < 5; ++i) {
    board.RelayOutput(DRIVE_LEFT);
    board.RelayOutput(DRIVE_RIGHT);
  }
  EXPECT_TRUE(board.Flush(3s));
  EXPECT_EQ(peer.commands().size(), 14u);
  board.RelayClose();
}

TEST_F(RelayBoard, silentBoardAfterASteeringCommandIsReopenedAndTheCommandNotRepeated) {
  OpenQuietly();
  peer.Script(FakeRelayBoard::Silent());
  // The caller never waits for the board's answer.
  EXPECT_LT(Timed([&] { EXPECT_TRUE(board.RelayOutput(DRIVE_LEFT)); }), kNoWait);
  ASSERT_TRUE(board.Flush());
  EXPECT_EQ(CommandsSinceOpen(), (Strings{"PCRC1RD0\r", "AT\r"}));
  EXPECT_TRUE(board.answering());
  EXPECT_TRUE(rig.ui.messageIds().empty());
  // The re-opened port carries the next command.
  EXPECT_TRUE(board.RelayOutput(DRIVE_STRAIGHT));
  ASSERT_TRUE(board.Flush());
  EXPECT_EQ(CommandsSinceOpen().back(), "PCRC0RD0\r");
}

TEST_F(RelayBoard, answersThatAreNotOkCountAsSilence) {
  OpenQuietly();
  peer.Script(FakeRelayBoard::Garbage("OK\r\n"));  // OK must be bytes three and four
  EXPECT_TRUE(board.RelayOutput(DRIVE_FORWARD));
  ASSERT_TRUE(board.Flush());
  peer.Script(FakeRelayBoard::Garbage("\x01\xfe\r\nNG"));
  EXPECT_TRUE(board.RelayOutput(DRIVE_STOP));
  ASSERT_TRUE(board.Flush());
  // An answer that comes after the wait is over is no answer.
  // Well past the wait even when a loaded machine stretches its polls.
  peer.Script(FakeRelayBoard::Late(kAckWait * 10));
  peer.Script(FakeRelayBoard::Silent());      // the reconnect's AT
  peer.SetDefault(FakeRelayBoard::Silent());  // and the tries after it
  EXPECT_TRUE(board.RelayOutput(DRIVE_REVERSE));
  ASSERT_TRUE(board.Flush());
  EXPECT_FALSE(board.answering());
  EXPECT_EQ(CommandsSinceOpen(),
            (Strings{"PCRA1RB0\r", "AT\r", "PCRA0RB0\r", "AT\r", "PCRA0RB1\r", "AT\r"}));
  EXPECT_EQ(rig.ui.messageIds(), (std::vector<int>{MSG_DEVICE_NO_ANSWER}));
}

TEST_F(RelayBoard, boardThatVanishesGives194OnceAndLaterCommandsNeverWait) {
  OpenQuietly();
  peer.Script(FakeRelayBoard::Vanish());
  EXPECT_TRUE(board.RelayOutput(DRIVE_FORWARD));
  ASSERT_TRUE(board.Flush());
  EXPECT_EQ(rig.ui.messageIds(), (std::vector<int>{MSG_DEVICE_NO_ANSWER}));
  EXPECT_TRUE(board.connected());
  EXPECT_FALSE(board.answering());
  // One message for the whole outage, however many commands follow, and none
  // of them waits while the board is tried again in the background.
  for (int code : {DRIVE_LEFT, DRIVE_STOP, DRIVE_RIGHT, DRIVE_STRAIGHT})
    EXPECT_LT(Timed([&] { EXPECT_FALSE(board.RelayOutput(code)); }), kNoWait);
  std::this_thread::sleep_for(kFast.retryInterval * 4);
  EXPECT_EQ(rig.ui.messageIds(), (std::vector<int>{MSG_DEVICE_NO_ANSWER}));
  EXPECT_LT(Timed([&] { board.RelayClose(); }), kFast.closingWait + kAckWait);
  EXPECT_FALSE(board.connected());
}

TEST_F(RelayBoard, boardThatAnswersAgainIsFoundAndTakesTheNewestCommandForEachRelayPair) {
  OpenQuietly();
  peer.SetDefault(FakeRelayBoard::Silent());
  EXPECT_TRUE(board.RelayOutput(DRIVE_FORWARD));
  ASSERT_TRUE(board.Flush());
  ASSERT_FALSE(board.answering());
  // Given while the board is silent: left is overtaken by straight.
  board.RelayOutput(DRIVE_LEFT);
  board.RelayOutput(DRIVE_STOP);
  board.RelayOutput(DRIVE_STRAIGHT);
  const std::size_t beforeRevival = peer.commands().size();
  peer.SetDefault(FakeRelayBoard::Answer());
  for (int i = 0; i < 200 && !board.answering(); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(board.answering());
  ASSERT_TRUE(board.Flush());
  const Strings all = peer.commands();
  const Strings after(all.begin() + static_cast<long>(beforeRevival), all.end());
  EXPECT_EQ(after, (Strings{"AT\r", "PCRA0RB0\r", "PCRC0RD0\r"}));
  // Between the first command and the revival only handshakes went out.
  for (std::size_t i = opened + 1; i < beforeRevival; ++i) EXPECT_EQ(all[i], "AT\r");
  EXPECT_EQ(rig.ui.messageIds(), (std::vector<int>{MSG_DEVICE_NO_ANSWER}));
}

TEST_F(RelayBoard, closeOfASilentBoardEndsQuicklyWithTheRestCommandsLastAndTheLockReleased) {
  OpenQuietly();
  EXPECT_TRUE(peer.exclusivelyLocked());
  EXPECT_TRUE(board.RelayOutput(DRIVE_FORWARD));
  EXPECT_TRUE(board.RelayOutput(DRIVE_LEFT));
  ASSERT_TRUE(board.Flush());
  peer.SetDefault(FakeRelayBoard::Silent());
  // Falls silent during the last command before the end: no reconnect, no
  // message, the rest written without waiting.
  board.RelayOutput(DRIVE_TURBO_ON);
  EXPECT_LT(Timed([&] { board.RelayClose(); }), kFast.closingWait + kAckWait);
  ASSERT_TRUE(peer.WaitForCommands(opened + 6, 2s));
  const Strings sent = CommandsSinceOpen();
  EXPECT_EQ(sent, (Strings{"PCRA1RB0\r", "PCRC1RD0\r", "PCRE1\r", "PCRA0RB0\r", "PCRC0RD0\r",
                           "PCRE0\r"}));
  EXPECT_TRUE(rig.ui.messageIds().empty());
  EXPECT_FALSE(peer.exclusivelyLocked());
}

TEST_F(RelayBoard, silentHandshakeShows141AndLeavesTheBoardUnused) {
  peer.SetDefault(FakeRelayBoard::Silent());
  EXPECT_FALSE(board.RelayOpen());
  EXPECT_FALSE(board.connected());
  EXPECT_EQ(rig.ui.messageIds(), (std::vector<int>{MSG_BOARD_NO_ANSWER_CHOOSE_PORT}));
  EXPECT_EQ(peer.commands(), (Strings{"AT\r"}));
  EXPECT_TRUE(board.RelayOutput(DRIVE_FORWARD));
  board.RelayClose();
  EXPECT_EQ(peer.commands(), (Strings{"AT\r"}));
}

TEST_F(RelayBoard, portThatCannotBeOpenedSaysWhyOnceAndStaysUnconnected) {
  rig.Configure({.com1Device = "/dev/no-such-board"});
  EXPECT_FALSE(board.RelayOpen());
  EXPECT_FALSE(board.connected());
  EXPECT_EQ(rig.ui.messageIds(), std::vector<int>{MSG_PORT_NOT_OPENED});
  EXPECT_TRUE(board.RelayOutput(DRIVE_FORWARD));
}

class RelayBoardWithoutPort : public RelayBoard {
 protected:
  RelayBoardWithoutPort() : RelayBoard(0) {}
};

TEST_F(RelayBoardWithoutPort, comZeroOpensNothingShowsNothingAndAcceptsEverything) {
  EXPECT_TRUE(board.RelayOpen());
  EXPECT_FALSE(board.connected());
  for (int code = DRIVE_CHECK; code <= DRIVE_AUTO_OFF; ++code) EXPECT_TRUE(board.RelayOutput(code));
  board.RelayClose();
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(peer.received(), "");
  EXPECT_TRUE(rig.ui.messageIds().empty());
}

TEST_F(RelayBoard, closeRestsTheRelaysAndLaterCommandsAreDropped) {
  OpenQuietly();
  board.RelayClose();
  EXPECT_EQ(CommandsSinceOpen(), (Strings{"PCRA0RB0\r", "PCRC0RD0\r", "PCRE0\r"}));
  EXPECT_FALSE(board.connected());
  EXPECT_TRUE(board.RelayOutput(DRIVE_FORWARD));
  EXPECT_EQ(CommandsSinceOpen().size(), 3u);
}

TEST_F(RelayBoard, concurrentSendersNeverInterleaveEvenAcrossAReconnect) {
  OpenQuietly();
  peer.Script(FakeRelayBoard::Answer());
  peer.Script(FakeRelayBoard::Silent());  // the second command goes unanswered
  constexpr int kThreads = 4;
  constexpr int kEach = 6;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) board.RelayOutput(t % 2 ? DRIVE_LEFT : DRIVE_FORWARD);
    });
  for (auto& t : threads) t.join();
  ASSERT_TRUE(board.Flush());
  const Strings sent = CommandsSinceOpen();
  // Every command whole, one reconnect handshake, nothing sent twice.
  EXPECT_EQ(sent.size(), static_cast<std::size_t>(kThreads * kEach + 1));
  int handshakes = 0;
  for (const auto& c : sent) {
    EXPECT_TRUE(c == "PCRA1RB0\r" || c == "PCRC1RD0\r" || c == "AT\r") << c;
    handshakes += c == "AT\r";
  }
  EXPECT_EQ(handshakes, 1);
  EXPECT_TRUE(rig.ui.messageIds().empty());
}

TEST(RelayTimingsDefaults, theBoardIsGivenFiveSecondsInTenthsOfASecond) {
  const RelayTimings t;
  EXPECT_EQ(t.pollInterval, 100ms);
  EXPECT_EQ(t.pollCount, 50);
  // A shut-down with a silent board stays within a few seconds.
  EXPECT_LE(t.closingWait, 1s);
}

}  // namespace
}  // namespace viren
