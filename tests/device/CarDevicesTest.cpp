// The devices as the engine uses them: start-up and shut-down, drive commands
// reaching a fake board byte for byte, COM port selection.
#include "device/CCarDevices.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "DeviceRig.h"
#include "FakePcOpRs1.h"
#include "FakeRelayBoard.h"
#include "core/DriveTypes.h"
#include "device/ComPortMap.h"
#include "device/RoboQFrame.h"
#include "settings/IniFile.h"

namespace viren {
namespace {

using namespace std::chrono_literals;
using test::FakeRelayBoard;
using Strings = std::vector<std::string>;

constexpr DeviceTimings kFast{{10ms, 20, 50ms, 100ms}, {100ms}};
constexpr auto kNoWait = 50ms;

class CarDevices : public ::testing::Test {
 protected:
  CarDevices() : rig({.com1Device = board.devicePath()}) {}

  // Start-up step 12 as the engine runs it.
  bool OpenDevice(CCarDevices& devices) {
    if (devices.RoboQOpen() || devices.RelayOpen()) return true;
    rig.ui.Message(MSG_DEVICE_INIT_FAILED, {}, MsgIcon::Stop, MsgButtons::Ok);
    return false;
  }
  Strings Since(std::size_t from) const {
    const auto all = board.commands();
    return Strings(all.begin() + static_cast<long>(std::min(from, all.size())), all.end());
  }

  FakeRelayBoard board;
  test::DeviceRig rig;
};

TEST_F(CarDevices, startupOpensTheBoardAndShutdownStopsAndReleasesIt) {
  {
    CCarDevices devices(rig.settings, rig.state, rig.ui, kFast);
    EXPECT_TRUE(OpenDevice(devices));
    EXPECT_EQ(board.commands(), (Strings{"AT\r", "PCRA0RB0\r", "PCRC0RD0\r", "PCRE0\r"}));
    devices.drive().SendDriveCommand(DRIVE_FORWARD);
    devices.drive().SendDriveCommand(DRIVE_LEFT);
    devices.RelayClose();
    devices.RoboQClose();
  }
  EXPECT_EQ(Since(4), (Strings{"PCRA1RB0\r", "PCRC1RD0\r", "PCRA0RB0\r", "PCRC0RD0\r", "PCRE0\r"}));
  EXPECT_TRUE(rig.ui.messageIds().empty());
}

TEST_F(CarDevices, noPortNumberOpensNothingAndShowsNothing) {
  rig.Configure({.com1Device = board.devicePath(), .comNo = 0});
  CCarDevices devices(rig.settings, rig.state, rig.ui, kFast);
  EXPECT_TRUE(OpenDevice(devices));
  devices.drive().SendDriveCommand(DRIVE_FORWARD);
  devices.RelayClose();
  devices.RoboQClose();
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(board.received(), "");
  EXPECT_TRUE(rig.ui.messageIds().empty());
}

TEST_F(CarDevices, missingDeviceSaysWhichAndWhyThenStartupShows142) {
  rig.Configure({.com1Device = "/dev/no-such-board"});
  CCarDevices devices(rig.settings, rig.state, rig.ui, kFast);
  EXPECT_FALSE(OpenDevice(devices));
  const auto shown = rig.ui.messages();
  ASSERT_EQ(rig.ui.messageIds(), (std::vector<int>{MSG_PORT_NOT_OPENED, MSG_DEVICE_INIT_FAILED}));
  EXPECT_EQ(shown[0].args.at(0), "COM1 (/dev/no-such-board)");
  EXPECT_EQ(shown[0].args.at(1),
            "デバイス/dev/no-such-boardがありません。ボードの接続を確かめてください。");
}

TEST(PortOpenFailure, eachReasonTellsTheUserWhatToDo) {
  const struct {
    std::string path;
    int error;
    const char* mustSay;
  } cases[] = {
      {"", 0, "COM_DEVICE4="},
      {"/dev/ttyUSB0", ENOENT, "がありません"},
      {"/dev/ttyUSB0", EACCES, "sudo adduser $USER uucp"},
      {"/dev/ttyUSB0", EPERM, "uucpグループ"},
      {"/dev/ttyUSB0", EBUSY, "使用中"},
      {"/dev/ttyUSB0", EIO, "Input/output error"},
  };
  for (const auto& c : cases) {
    const std::string text = DescribePortOpenFailure(4, c.path, c.error, "uucp");
    EXPECT_NE(text.find(c.mustSay), std::string::npos) << c.error << ": " << text;
    if (!c.path.empty()) {
      EXPECT_NE(text.find(c.path), std::string::npos) << text;
    }
  }
}

TEST_F(CarDevices, everyDriveCommandReachesTheBoardAsItsTextInBothCarModes) {
  const struct {
    int code;
    Strings normal;
    Strings fourWheel;
  } cases[] = {
      {DRIVE_FORWARD, {"PCRA1RB0\r"}, {"PCRA1RB0RC1RD0\r"}},
      {DRIVE_REVERSE, {"PCRA0RB1\r"}, {"PCRA0RB1RC0RD1\r"}},
      {DRIVE_STRAIGHT, {"PCRC0RD0\r"}, {}},
      {DRIVE_LEFT, {"PCRC1RD0\r"}, {"PCRA0RB1RC1RD0\r"}},
      {DRIVE_RIGHT, {"PCRC0RD1\r"}, {"PCRA1RB0RC0RD1\r"}},
      {DRIVE_FORWARD, {"PCRA1RB0\r"}, {"PCRA1RB0RC1RD0\r"}},
      {DRIVE_TURBO_ON, {"PCRE1\r"}, {}},
      {DRIVE_AUTO_ON, {}, {}},
      {DRIVE_AUTO_OFF, {}, {}},
      // Moving: turbo is let go first (no such relay on the four-wheel car).
      {DRIVE_STOP, {"PCRE0\r", "PCRA0RB0\r"}, {"PCRA0RB0RC0RD0\r"}},
      {DRIVE_TURBO_OFF, {"PCRE0\r"}, {}},
      {DRIVE_STOP, {"PCRA0RB0\r"}, {"PCRA0RB0RC0RD0\r"}},
      {DRIVE_CHECK, {"AT\r"}, {"AT\r"}},
  };
  for (bool fourWheel : {false, true}) {
    rig.state.control4WD = fourWheel;
    CCarDevices devices(rig.settings, rig.state, rig.ui, kFast);
    ASSERT_TRUE(devices.RelayOpen());
    for (const auto& c : cases) {
      const std::size_t before = board.commands().size();
      devices.drive().SendDriveCommand(c.code);
      ASSERT_TRUE(devices.relay().Flush());
      EXPECT_EQ(Since(before), fourWheel ? c.fourWheel : c.normal)
          << c.code << " 4wd " << fourWheel;
    }
    devices.RelayClose();
  }
}

TEST_F(CarDevices, stopWhileMovingWithTurboSendsTurboOffFirst) {
  CCarDevices devices(rig.settings, rig.state, rig.ui, kFast);
  ASSERT_TRUE(devices.RelayOpen());
  auto& drive = devices.drive();
  drive.SendDriveCommand(DRIVE_FORWARD);
  drive.SendDriveCommand(DRIVE_TURBO_ON);
  ASSERT_TRUE(devices.relay().Flush());
  const std::size_t before = board.commands().size();
  drive.SendDriveCommand(DRIVE_STOP);
  ASSERT_TRUE(devices.relay().Flush());
  EXPECT_EQ(Since(before), (Strings{"PCRE0\r", "PCRA0RB0\r"}));
  EXPECT_EQ(drive.DriveState(), 0u);
}

TEST_F(CarDevices, nothingIsWrittenWhileSimulating) {
  CCarDevices devices(rig.settings, rig.state, rig.ui, kFast);
  ASSERT_TRUE(devices.RelayOpen());
  const std::size_t before = board.commands().size();
  rig.state.simulating = true;
  for (int code = DRIVE_CHECK; code <= DRIVE_AUTO_OFF; ++code)
    devices.drive().SendDriveCommand(code);
  std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(Since(before).empty());
  // The state still follows every command.
  EXPECT_EQ(devices.drive().DriveState(), DRIVE_STATE_REVERSE | DRIVE_STATE_RIGHT);
}

TEST_F(CarDevices, silentBoardHoldsUpNoSenderSaysSoOnceAndIsRestedAtClose) {
  CCarDevices devices(rig.settings, rig.state, rig.ui, kFast);
  ASSERT_TRUE(devices.RelayOpen());
  board.SetDefault(FakeRelayBoard::Silent());
  std::vector<std::thread> senders;
  std::atomic<int> slow{0};
  for (int code : {DRIVE_LEFT, DRIVE_FORWARD, DRIVE_RIGHT})
    senders.emplace_back([&, code] {
      const auto start = std::chrono::steady_clock::now();
      devices.drive().SendDriveCommand(code);
      slow += std::chrono::steady_clock::now() - start >= kNoWait;
    });
  for (auto& s : senders) s.join();
  EXPECT_EQ(slow, 0);
  ASSERT_TRUE(devices.relay().Flush());
  EXPECT_EQ(devices.linkHealth(), LinkHealth::NotAnswering);
  // The unanswered command is followed by one reconnect handshake, never by
  // itself again; from then on the board is only asked "AT" now and then.
  std::this_thread::sleep_for(kFast.relay.retryInterval * 3);
  const Strings sent = Since(4);
  ASSERT_GE(sent.size(), 3u);
  EXPECT_NE(sent[0], "AT\r");
  for (std::size_t i = 1; i < sent.size(); ++i) EXPECT_EQ(sent[i], "AT\r") << i;
  EXPECT_EQ(rig.ui.messageIds(), (std::vector<int>{MSG_DEVICE_NO_ANSWER}));
  // The state keeps every command although the board never took one.
  const std::uint32_t state = devices.drive().DriveState();
  EXPECT_TRUE(state == (DRIVE_STATE_FORWARD | DRIVE_STATE_LEFT) ||
              state == (DRIVE_STATE_FORWARD | DRIVE_STATE_RIGHT))
      << state;
  devices.RelayClose();
  ASSERT_TRUE(board.WaitForCommands(4 + sent.size() + 3, 2s));
  const Strings all = board.commands();
  EXPECT_EQ(Strings(all.end() - 3, all.end()), (Strings{"PCRA0RB0\r", "PCRC0RD0\r", "PCRE0\r"}));
}

TEST_F(CarDevices, selectComPortRewritesTheNumberAndReopens) {
  CCarDevices devices(rig.settings, rig.state, rig.ui, kFast);
  ASSERT_TRUE(devices.RelayOpen());
  EXPECT_TRUE(devices.SelectComPort(0));
  EXPECT_EQ(ini::Lookup(rig.dir.Read("option.ini"), "USB", "COM_NO"), "0");
  EXPECT_FALSE(devices.relay().connected());
  // Closing sent the rest position.
  EXPECT_EQ(Since(4), (Strings{"PCRA0RB0\r", "PCRC0RD0\r", "PCRE0\r"}));
  EXPECT_TRUE(devices.SelectComPort(1));
  EXPECT_TRUE(devices.relay().connected());
  EXPECT_EQ(Since(7), (Strings{"AT\r", "PCRA0RB0\r", "PCRC0RD0\r", "PCRE0\r"}));
  EXPECT_FALSE(devices.SelectComPort(-1));
  EXPECT_EQ(ini::Lookup(rig.dir.Read("option.ini"), "USB", "COM_NO"), "1");
  EXPECT_EQ(devices.ComPortLabel(1), "COM1 (" + board.devicePath() + ")");
  devices.RelayClose();
}

TEST_F(CarDevices, reopeningAfterAFailedHandshakeDoesNotOpenThePortTwice) {
  board.Script(FakeRelayBoard::Silent());
  CCarDevices devices(rig.settings, rig.state, rig.ui, kFast);
  EXPECT_FALSE(devices.RelayOpen());
  EXPECT_EQ(rig.ui.messageIds(), (std::vector<int>{MSG_BOARD_NO_ANSWER_CHOOSE_PORT}));
  EXPECT_TRUE(devices.SelectComPort(1));
  EXPECT_TRUE(devices.relay().connected());
  devices.drive().SendDriveCommand(DRIVE_REVERSE);
  ASSERT_TRUE(devices.relay().Flush());
  EXPECT_EQ(board.commands().back(), "PCRA0RB1\r");
  devices.RelayClose();
}

// The flag that lets other programs start and stop the driving program
// follows the board as it answers, vanishes and comes back.
TEST_F(CarDevices, deviceConnectedFollowsTheBoardThroughLossAndReconnect) {
  CCarDevices devices(rig.settings, rig.state, rig.ui, kFast);
  EXPECT_FALSE(rig.state.deviceConnected);
  ASSERT_TRUE(OpenDevice(devices));
  EXPECT_TRUE(rig.state.deviceConnected);

  board.Script(FakeRelayBoard::Vanish());
  devices.drive().SendDriveCommand(DRIVE_FORWARD);
  ASSERT_TRUE(devices.relay().Flush());
  EXPECT_EQ(rig.ui.messageIds(), (std::vector<int>{MSG_DEVICE_NO_ANSWER}));
  EXPECT_FALSE(rig.state.deviceConnected);

  // The board is plugged in again (under a new device path): the sending
  // thread's next try finds it and hands it the stop.
  FakeRelayBoard again;
  rig.Configure({.com1Device = again.devicePath()});
  devices.drive().SendDriveCommand(DRIVE_STOP);
  ASSERT_TRUE(again.WaitForCommands(2, 5s));
  ASSERT_TRUE(devices.relay().Flush());
  EXPECT_EQ(again.commands().front(), "AT\r");
  EXPECT_TRUE(rig.state.deviceConnected);

  devices.RelayClose();
  EXPECT_FALSE(rig.state.deviceConnected);
  again.SetDefault(FakeRelayBoard::Silent());
  EXPECT_FALSE(devices.RelayOpen());  // handshake unanswered: MSG_BOARD_NO_ANSWER_CHOOSE_PORT
  EXPECT_FALSE(rig.state.deviceConnected);
  devices.RelayClose();
}

TEST(CarDevicesRoboQ, roboQModeOpensTheTransmitterAndLeavesTheRelayBoardAlone) {
  test::FakePcOpRs1 transmitter;
  test::DeviceRig rig({.com1Device = transmitter.devicePath(), .roboqBand = 1});
  rig.state.controlRoboQ = true;
  CCarDevices devices(rig.settings, rig.state, rig.ui, kFast);
  ASSERT_TRUE(devices.RoboQOpen());
  EXPECT_TRUE(rig.state.deviceConnected);
  EXPECT_EQ(devices.drive().SpeedLevel(), 2);
  devices.drive().SendDriveCommand(DRIVE_TURBO_ON);
  EXPECT_EQ(devices.drive().SpeedLevel(), 3);
  devices.drive().SendDriveCommand(DRIVE_FORWARD);
  ASSERT_TRUE(transmitter.WaitForFrames(2, 2s));
  devices.drive().SendDriveCommand(DRIVE_STOP);
  // Stop while moving releases turbo first: speed back to 2.
  EXPECT_EQ(devices.drive().SpeedLevel(), 2);
  // COM change: the transmitter is closed (stop frame out) and opened again.
  EXPECT_TRUE(devices.SelectComPort(1));
  EXPECT_TRUE(devices.roboQ().isOpen());
  const auto frames = transmitter.frames();
  EXPECT_EQ(test::DecodeRoboQPattern(frames.back().pattern), RoboQStopCode(1));
  EXPECT_EQ(test::DecodeRoboQPattern(frames.front().pattern), RoboQCode(3, 0, 1));
  devices.RelayClose();
  EXPECT_TRUE(rig.state.deviceConnected);
  devices.RoboQClose();
  EXPECT_FALSE(rig.state.deviceConnected);
  EXPECT_EQ(transmitter.strayBytes(), 0u);
  EXPECT_TRUE(rig.ui.messageIds().empty());
}

}  // namespace
}  // namespace viren
