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

// 20 polls 10 ms apart: the board's 5 s scaled down to 200 ms.
constexpr RelayTimings kFast{10ms, 20};
constexpr auto kAckWait = 200ms;

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
  EXPECT_EQ(CommandsSinceOpen(), (Strings{"PCRA1RB0\r", "PCRE1\r"}));
  const std::string bytes = peer.received();
  EXPECT_EQ(bytes.substr(bytes.size() - 15), std::string("PCRA1RB0\rPCRE1\r"));
}

TEST_F(RelayBoard, anAnswerInPiecesStillAcknowledges) {
  OpenQuietly();
  peer.Script(FakeRelayBoard::Pieces(40ms));
  EXPECT_TRUE(board.RelayOutput(DRIVE_LEFT));
  // A late answer inside the wait is fine too.
  peer.Script(FakeRelayBoard::Late(kAckWait / 2));
  EXPECT_TRUE(board.RelayOutput(DRIVE_RIGHT));
  EXPECT_EQ(CommandsSinceOpen(), (Strings{"PCRC1RD0\r", "PCRC0RD1\r"}));
  EXPECT_TRUE(rig.ui.messageIds().empty());
}

TEST_F(RelayBoard, silentBoardAfterASteeringCommandIsReopenedAndTheCommandNotRepeated) {
  OpenQuietly();
  peer.Script(FakeRelayBoard::Silent());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(board.RelayOutput(DRIVE_LEFT));
  EXPECT_GE(std::chrono::steady_clock::now() - start, kAckWait);
  EXPECT_EQ(CommandsSinceOpen(), (Strings{"PCRC1RD0\r", "AT\r"}));
  EXPECT_TRUE(board.connected());
  EXPECT_TRUE(rig.ui.messageIds().empty());
  // The re-opened port carries the next command.
  EXPECT_TRUE(board.RelayOutput(DRIVE_STRAIGHT));
  EXPECT_EQ(CommandsSinceOpen().back(), "PCRC0RD0\r");
}

TEST_F(RelayBoard, answersThatAreNotOkCountAsSilence) {
  OpenQuietly();
  peer.Script(FakeRelayBoard::Garbage("OK\r\n"));  // OK must be bytes three and four
  EXPECT_TRUE(board.RelayOutput(DRIVE_FORWARD));
  peer.Script(FakeRelayBoard::Garbage("\x01\xfe\r\nNG"));
  EXPECT_TRUE(board.RelayOutput(DRIVE_STOP));
  // An answer that comes after the wait is over is no answer.
  // Well past the wait even when a loaded machine stretches its polls.
  peer.Script(FakeRelayBoard::Late(kAckWait * 10));
  peer.Script(FakeRelayBoard::Silent());  // the reconnect's AT
  EXPECT_FALSE(board.RelayOutput(DRIVE_REVERSE));
  EXPECT_EQ(CommandsSinceOpen(),
            (Strings{"PCRA1RB0\r", "AT\r", "PCRA0RB0\r", "AT\r", "PCRA0RB1\r", "AT\r"}));
  EXPECT_EQ(rig.ui.messageIds(), (std::vector<int>{194}));
}

TEST_F(RelayBoard, boardThatVanishesGives194AndLaterCommandsTryAgain) {
  OpenQuietly();
  peer.Script(FakeRelayBoard::Vanish());
  EXPECT_FALSE(board.RelayOutput(DRIVE_FORWARD));
  EXPECT_EQ(rig.ui.messageIds(), (std::vector<int>{194}));
  // The board stays "connected" without a port: each command waits its time
  // and tries to reconnect again, and says so.
  EXPECT_TRUE(board.connected());
  EXPECT_FALSE(board.RelayOutput(DRIVE_STOP));
  EXPECT_EQ(rig.ui.messageIds(), (std::vector<int>{194, 194}));
  EXPECT_FALSE(board.reconnectingFlag().IsSet());
  board.RelayClose();
  EXPECT_FALSE(board.connected());
}

TEST_F(RelayBoard, silentHandshakeShows141AndLeavesTheBoardUnused) {
  peer.SetDefault(FakeRelayBoard::Silent());
  EXPECT_FALSE(board.RelayOpen());
  EXPECT_FALSE(board.connected());
  EXPECT_EQ(rig.ui.messageIds(), (std::vector<int>{141}));
  EXPECT_EQ(peer.commands(), (Strings{"AT\r"}));
  EXPECT_TRUE(board.RelayOutput(DRIVE_FORWARD));
  board.RelayClose();
  EXPECT_EQ(peer.commands(), (Strings{"AT\r"}));
}

TEST_F(RelayBoard, portThatCannotBeOpenedSaysWhyOnceAndStaysUnconnected) {
  rig.Configure({.com1Device = "/dev/no-such-board"});
  EXPECT_FALSE(board.RelayOpen());
  EXPECT_FALSE(board.connected());
  EXPECT_EQ(rig.ui.messageIds(), std::vector<int>{kMessagePortNotOpened});
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

TEST_F(RelayBoard, senderWaitsOnTheReconnectingFlagAndGivesUpAfterItsTime) {
  OpenQuietly();
  board.reconnectingFlag().Set();
  std::atomic<bool> done{false};
  bool result = false;
  std::thread sender([&] {
    result = board.RelayOutput(DRIVE_FORWARD);
    done = true;
  });
  std::this_thread::sleep_for(kAckWait / 4);
  EXPECT_FALSE(done);
  EXPECT_EQ(CommandsSinceOpen().size(), 0u);
  board.reconnectingFlag().Clear();
  sender.join();
  EXPECT_TRUE(result);
  EXPECT_EQ(CommandsSinceOpen(), (Strings{"PCRA1RB0\r"}));

  board.reconnectingFlag().Set();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(board.RelayOutput(DRIVE_STOP));
  EXPECT_GE(std::chrono::steady_clock::now() - start, kAckWait);
  EXPECT_EQ(CommandsSinceOpen().size(), 1u);
  board.reconnectingFlag().Clear();
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
}

}  // namespace
}  // namespace viren
