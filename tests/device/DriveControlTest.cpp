// Drive commands: state word, repaint list, output path, status, heading
// track; serialisation across threads.
#include "device/CDriveControl.h"

#include <gtest/gtest.h>

#include <thread>

#include "core/EngineState.h"
#include "device/MessageDeferral.h"
#include "support/FakeUiHost.h"

namespace viren {
namespace {

using namespace std::chrono_literals;

// One journal for every collaborator, so the order across them shows.
struct Journal {
  std::mutex mutex;
  std::vector<std::string> lines;
  void Add(std::string line) {
    std::lock_guard lock(mutex);
    lines.push_back(std::move(line));
  }
  std::vector<std::string> Take() {
    std::lock_guard lock(mutex);
    return std::exchange(lines, {});
  }
};

struct RecordingOutput : DriveOutput {
  RecordingOutput(Journal& j, std::string name) : journal(j), name(std::move(name)) {}
  bool Output(int code) override {
    // Commands never overlap: one output at a time.
    if (inFlight.fetch_add(1) != 0) overlapped = true;
    journal.Add(name + " " + std::to_string(code));
    if (hold.count()) std::this_thread::sleep_for(hold);
    inFlight.fetch_sub(1);
    return true;
  }
  Journal& journal;
  std::string name;
  std::chrono::milliseconds hold{0};
  std::atomic<int> inFlight{0};
  std::atomic<bool> overlapped{false};
};

struct RecordingView : ControllerView {
  explicit RecordingView(Journal& j) : journal(j) {}
  void RepaintButton(int button, bool pressed) override {
    journal.Add("paint " + std::to_string(button) + (pressed ? " down" : " up"));
  }
  Journal& journal;
};

struct RecordingStatus : StatusPublisher {
  explicit RecordingStatus(Journal& j) : journal(j) {}
  void PublishStatus(std::uint32_t state) override {
    journal.Add("status " + std::to_string(state));
  }
  Journal& journal;
};

struct RecordingTrack : PositionTrack {
  explicit RecordingTrack(Journal& j) : journal(j) {}
  void ResetPositionRing() override { journal.Add("ring"); }
  void WritePositionSnapshot() override { journal.Add("snapshot"); }
  Journal& journal;
};

using Lines = std::vector<std::string>;

class DriveControl : public ::testing::Test {
 protected:
  DriveControl() {
    drive.SetControllerView(&view);
    drive.SetStatusPublisher(&status);
    drive.SetPositionTrack(&track);
  }
  // Sends `code` and returns what it caused.
  Lines Send(int code, SendTo to = SendTo::Device) {
    journal.Take();
    drive.SendDriveCommand(code, to);
    return journal.Take();
  }

  Journal journal;
  EngineState state;
  RecordingOutput relay{journal, "relay"};
  RecordingOutput roboq{journal, "roboq"};
  std::atomic<int> speed{2};
  CDriveControl drive{state, relay, roboq, speed};
  RecordingView view{journal};
  RecordingStatus status{journal};
  RecordingTrack track{journal};
};

TEST_F(DriveControl, eachCodeSetsItsBitsRepaintsItsButtonsAndResetsTheTrackOnMotionChanges) {
  EXPECT_EQ(Send(DRIVE_FORWARD), (Lines{"paint 2 down", "paint 3 up", "relay 1", "ring"}));
  EXPECT_EQ(drive.DriveState(), DRIVE_STATE_FORWARD);
  EXPECT_EQ(Send(DRIVE_REVERSE), (Lines{"paint 2 up", "paint 3 down", "relay 2", "ring"}));
  EXPECT_EQ(drive.DriveState(), DRIVE_STATE_REVERSE);
  EXPECT_EQ(Send(DRIVE_LEFT), (Lines{"paint 4 down", "paint 5 up", "relay 4", "ring"}));
  EXPECT_EQ(Send(DRIVE_RIGHT), (Lines{"paint 4 up", "paint 5 down", "relay 5", "ring"}));
  EXPECT_EQ(drive.DriveState(), DRIVE_STATE_REVERSE | DRIVE_STATE_RIGHT);
  EXPECT_EQ(Send(DRIVE_STRAIGHT), (Lines{"paint 4 up", "paint 5 up", "relay 3", "ring"}));
  EXPECT_EQ(Send(DRIVE_TURBO_ON), (Lines{"paint 6 down", "relay 6"}));
  EXPECT_EQ(Send(DRIVE_AUTO_ON), (Lines{"paint 7 down", "relay 8"}));
  EXPECT_EQ(drive.DriveState(), DRIVE_STATE_REVERSE | DRIVE_STATE_TURBO | DRIVE_STATE_AUTO);
  EXPECT_EQ(Send(DRIVE_AUTO_OFF), (Lines{"paint 7 up", "relay 9"}));
  EXPECT_EQ(Send(DRIVE_TURBO_OFF), (Lines{"paint 6 up", "relay 7"}));
  // The check reaches the device only; unknown codes change nothing.
  EXPECT_EQ(Send(DRIVE_CHECK), (Lines{"relay -1"}));
  EXPECT_EQ(Send(42), (Lines{"relay 42"}));
  EXPECT_EQ(drive.DriveState(), DRIVE_STATE_REVERSE);
  EXPECT_EQ(drive.deviceMode(), DeviceMode::Relay);
}

TEST_F(DriveControl, stopWhileMovingReleasesTurboFirstStandingStillItDoesNot) {
  Send(DRIVE_FORWARD);
  Send(DRIVE_TURBO_ON);
  EXPECT_EQ(Send(DRIVE_STOP),
            (Lines{"paint 6 up", "relay 7", "paint 2 up", "paint 3 up", "relay 0"}));
  EXPECT_EQ(drive.DriveState(), 0u);
  Send(DRIVE_TURBO_ON);
  EXPECT_EQ(Send(DRIVE_STOP), (Lines{"paint 2 up", "paint 3 up", "relay 0"}));
  EXPECT_EQ(drive.DriveState(), DRIVE_STATE_TURBO);
}

TEST_F(DriveControl, stopRestartsThePositionLogWhenLogging) {
  drive.SetPositionLogging(true);
  Send(DRIVE_FORWARD);
  EXPECT_EQ(Send(DRIVE_STOP).front(), "snapshot");
  drive.SetPositionLogging(false);
  for (const auto& line : Send(DRIVE_STOP)) EXPECT_NE(line, "snapshot");
}

TEST_F(DriveControl, fourWheelDrivingAndTurningExcludeEachOther) {
  state.control4WD = true;
  EXPECT_EQ(drive.deviceMode(), DeviceMode::Relay4WD);
  Send(DRIVE_FORWARD);
  EXPECT_EQ(Send(DRIVE_LEFT),
            (Lines{"paint 4 down", "paint 5 up", "paint 2 up", "relay 4", "ring"}));
  EXPECT_EQ(drive.DriveState(), DRIVE_STATE_LEFT);
  EXPECT_EQ(Send(DRIVE_REVERSE),
            (Lines{"paint 2 up", "paint 3 down", "paint 4 up", "relay 2", "ring"}));
  EXPECT_EQ(drive.DriveState(), DRIVE_STATE_REVERSE);
  EXPECT_EQ(Send(DRIVE_RIGHT),
            (Lines{"paint 4 up", "paint 5 down", "paint 3 up", "relay 5", "ring"}));
  EXPECT_EQ(Send(DRIVE_STOP), (Lines{"paint 2 up", "paint 3 up", "paint 5 up", "relay 0"}));
  EXPECT_EQ(drive.DriveState(), 0u);
  // Nothing was cleared: no extra repaint.
  EXPECT_EQ(Send(DRIVE_STRAIGHT), (Lines{"paint 4 up", "paint 5 up", "relay 3", "ring"}));
}

TEST_F(DriveControl, roboQModeGoesToTheTransmitterSimulationToNoDevice) {
  state.controlRoboQ = true;
  EXPECT_EQ(drive.deviceMode(), DeviceMode::RoboQ);
  EXPECT_EQ(Send(DRIVE_REVERSE), (Lines{"paint 2 up", "paint 3 down", "roboq 2", "ring"}));
  EXPECT_EQ(drive.DriveState(), DRIVE_STATE_REVERSE);
  state.simulating = true;
  EXPECT_EQ(Send(DRIVE_FORWARD), (Lines{"paint 2 down", "paint 3 up", "ring"}));
  state.simulating = false;
  state.controlRoboQ = false;
  EXPECT_EQ(Send(DRIVE_LEFT, SendTo::StateOnly), (Lines{"paint 4 down", "paint 5 up", "ring"}));
  EXPECT_EQ(drive.DriveState(), DRIVE_STATE_FORWARD | DRIVE_STATE_LEFT);
}

TEST_F(DriveControl, statusIsPublishedOnlyWhileTheInterfaceIsActive) {
  state.interfaceActive = true;
  EXPECT_EQ(Send(DRIVE_AUTO_ON), (Lines{"paint 7 down", "relay 8", "status 64"}));
  Send(DRIVE_FORWARD);
  Send(DRIVE_TURBO_ON);
  // The implicit turbo release publishes its own state first.
  EXPECT_EQ(Send(DRIVE_STOP), (Lines{"paint 6 up", "relay 7", "status 66", "paint 2 up",
                                     "paint 3 up", "relay 0", "status 64"}));
  state.interfaceActive = false;
  EXPECT_EQ(Send(DRIVE_AUTO_OFF), (Lines{"paint 7 up", "relay 9"}));
}

TEST_F(DriveControl, directStateChangesAndSpeedLevel) {
  EXPECT_EQ(drive.ChangeDriveState(DRIVE_STATE_AUTO, 0), DRIVE_STATE_AUTO);
  EXPECT_EQ(drive.ChangeDriveState(0, DRIVE_STATE_AUTO), 0u);
  EXPECT_TRUE(journal.Take().empty());
  drive.SetSpeedLevel(3);
  EXPECT_EQ(drive.SpeedLevel(), 3);
  EXPECT_EQ(speed, 3);
}

TEST_F(DriveControl, withoutCollaboratorsCommandsStillChangeTheState) {
  drive.SetControllerView(nullptr);
  drive.SetStatusPublisher(nullptr);
  drive.SetPositionTrack(nullptr);
  state.interfaceActive = true;
  drive.SetPositionLogging(true);
  drive.SendDriveCommand(DRIVE_FORWARD);
  drive.SendDriveCommand(DRIVE_STOP);
  EXPECT_EQ(journal.Take(), (Lines{"relay 1", "relay 7", "relay 0"}));
}

TEST_F(DriveControl, concurrentCommandsNeverOverlapAndReadersSeeWholeWords) {
  relay.hold = 1ms;
  std::atomic<bool> stop{false};
  std::atomic<bool> torn{false};
  std::thread reader([&] {
    while (!stop) {
      const std::uint32_t s = drive.DriveState();
      if ((s & DRIVE_STATE_MOVING) == DRIVE_STATE_MOVING ||
          (s & DRIVE_STATE_STEERING) == DRIVE_STATE_STEERING || (s & ~0x7Eu))
        torn = true;
    }
  });
  std::vector<std::thread> senders;
  for (int t = 0; t < 4; ++t)
    senders.emplace_back([&, t] {
      for (int i = 0; i < 40; ++i) drive.SendDriveCommand((i * 7 + t) % 10);
    });
  for (auto& s : senders) s.join();
  stop = true;
  reader.join();
  EXPECT_FALSE(relay.overlapped);
  EXPECT_FALSE(torn);
  // The output after each command's repaints, never another command's between.
  const Lines lines = journal.Take();
  for (std::size_t i = 0; i + 1 < lines.size(); ++i)
    if (lines[i].rfind("relay 1", 0) == 0) {
      EXPECT_EQ(lines[i + 1], "ring");
    }
}

// A device message raised inside a command waits for the window thread; the
// window thread may itself be sending a command. The message must not be
// shown while the command lock is held.
struct WindowThreadUi : test::FakeUiHost {
  MsgAnswer Message(int id, const std::vector<std::string>& args, MsgIcon icon,
                    MsgButtons buttons) override {
    if (drive) {
      std::thread window([this] { drive->SendDriveCommand(DRIVE_STRAIGHT); });
      window.join();
    }
    return FakeUiHost::Message(id, args, icon, buttons);
  }
  CDriveControl* drive = nullptr;
};

struct ComplainingOutput : DriveOutput {
  explicit ComplainingOutput(UiHost& ui) : ui(ui) {}
  bool Output(int code) override {
    if (code == DRIVE_FORWARD) {
      MessageDeferral::Show(ui, MSG_DEVICE_NO_ANSWER, MsgIcon::Stop);
      shownBeforeReturn = !static_cast<test::FakeUiHost&>(ui).messageIds().empty();
    }
    return false;
  }
  UiHost& ui;
  bool shownBeforeReturn = false;
};

TEST(DriveControlMessages, deviceMessagesAppearAfterTheCommandWithoutDeadlock) {
  EngineState state;
  WindowThreadUi ui;
  ComplainingOutput relay(ui);
  ComplainingOutput roboq(ui);
  std::atomic<int> speed{2};
  CDriveControl drive(state, relay, roboq, speed);
  ui.drive = &drive;
  std::thread worker([&] { drive.SendDriveCommand(DRIVE_FORWARD); });
  worker.join();
  EXPECT_FALSE(relay.shownBeforeReturn);
  EXPECT_EQ(ui.messageIds(), (std::vector<int>{MSG_DEVICE_NO_ANSWER}));
  EXPECT_EQ(drive.DriveState(), DRIVE_STATE_FORWARD);
  // Outside a command the message is shown at once.
  ui.drive = nullptr;
  MessageDeferral::Show(ui, MSG_BOARD_NO_ANSWER_CHOOSE_PORT, MsgIcon::Stop);
  EXPECT_EQ(ui.messageIds(),
            (std::vector<int>{MSG_DEVICE_NO_ANSWER, MSG_BOARD_NO_ANSWER_CHOOSE_PORT}));
}

}  // namespace
}  // namespace viren
