#include "api/ProgramInterface.h"

#include <dirent.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ApiFakes.h"
#include "ApiTestSupport.h"
#include "api/client/InterfaceClient.h"
#include "core/CarState.h"
#include "core/EngineState.h"
#include "support/FakeUiHost.h"

namespace viren::api {
namespace {

using test::FakeDrive;
using test::FakeTarget;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

template <typename Pred>
bool Eventually(Pred pred, int timeoutMs = 3000) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

int ThreadCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

class ProgramInterfaceTest : public ::testing::Test {
 protected:
  test::ShmCleanup cleanup{test::UniqueShmPrefix()};
  test::FakeUiHost ui;
  EngineState state;
  CarState car;
  FakeDrive drive;
  FakeTarget target;
  ProgramInterface api{ui, state, car, drive, target, ShmTableOptions{cleanup.prefix()}};
  client::InterfaceClient client{cleanup.prefix()};

  // A long interval leaves the polling to the test once the thread's first
  // pass (at its start) is over.
  void StartActive(int intervalMs = 60000) {
    ASSERT_TRUE(api.Start(true, intervalMs));
    ASSERT_EQ(client.Open(), SHM_OK);
    ASSERT_TRUE(Eventually([&] { return api.pollCount() > 0; }));
  }
  void WriteCommandRecord(const CommandRecord& record) {
    ASSERT_EQ(api.table().ShmWriteRecord(0, EncodeCommand(record), 1, 0, 0), SHM_OK);
  }
  std::uint16_t StatusWord() { return client.ReadStatus()->driveState; }
};

TEST_F(ProgramInterfaceTest, withoutTheSwitch_nothingIsRegisteredAndPublishingIsQuiet) {
  const int threads = ThreadCount();
  EXPECT_TRUE(api.Start(false, 100));
  EXPECT_FALSE(api.active());
  EXPECT_EQ(ThreadCount(), threads);
  api.PublishPosition();
  api.PublishStatus();
  EXPECT_EQ(client.Open(), SHM_INVALID);
  EXPECT_THAT(ui.messageIds(), IsEmpty());
}

TEST_F(ProgramInterfaceTest, start_registersTheFourBlocksInOrder) {
  StartActive();
  EXPECT_TRUE(state.interfaceActive);
  const auto table = api.table().ReadSharedTable();
  ASSERT_TRUE(table);
  const char* names[] = {"Command", "Position", "Status", "Ball"};
  const char* mutexes[] = {"CMD", "POS", "STS", "BAL"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_STREQ(table->entries[i].name, names[i]);
    EXPECT_STREQ(table->entries[i].mutexName, mutexes[i]);
    EXPECT_EQ(table->entries[i].recordSize, 12);
    EXPECT_EQ(table->entries[i].recordCount, 1);
  }
  EXPECT_EQ(table->entries[4].inUse, 0);
}

TEST_F(ProgramInterfaceTest, secondCopy_showsMessage188AndLeavesTheFirstRunning) {
  StartActive(10);
  test::FakeUiHost ui2;
  EngineState state2;
  ProgramInterface second(ui2, state2, car, drive, target, ShmTableOptions{cleanup.prefix()});
  EXPECT_FALSE(second.Start(true, 10));
  ASSERT_EQ(ui2.messages().size(), 1u);
  EXPECT_EQ(ui2.messages()[0].id, MSG_SHM_CREATE_FAILED);
  EXPECT_EQ(ui2.messages()[0].icon, MsgIcon::None);
  EXPECT_FALSE(state2.interfaceActive);
  EXPECT_EQ(api.table().ReadSharedTable()->entries[4].inUse, 0);
  ASSERT_EQ(client.PostCommand(COMMAND_DRIVE, DRIVE_FORWARD), SHM_OK);
  EXPECT_TRUE(client.WaitCommandTaken(3000));
}

TEST_F(ProgramInterfaceTest, startFailingHalfway_leavesNothingRegistered) {
  ShmTable foreign(ShmTableOptions{cleanup.prefix()});
  ASSERT_TRUE(foreign.ShmAttachTable());
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(foreign.ShmCreateBlock("F" + std::to_string(i), "", 4, 1), i);
  EXPECT_FALSE(api.Start(true, 10));  // "Ball" finds no free entry
  EXPECT_THAT(ui.messageIds(), ElementsAre(MSG_SHM_CREATE_FAILED));
  const auto table = foreign.ReadSharedTable();
  for (int i = 3; i < 6; ++i) EXPECT_EQ(table->entries[i].inUse, 0) << i;
  EXPECT_FALSE(test::ShmExists(cleanup.prefix() + "Command"));
}

TEST_F(ProgramInterfaceTest, postedCommand_isTakenOnceMarkedTwoAndStatusPublished) {
  StartActive(5);
  ASSERT_EQ(client.PostCommand(COMMAND_DRIVE, DRIVE_FORWARD), SHM_OK);
  ASSERT_TRUE(client.WaitCommandTaken(3000));
  EXPECT_EQ(client.ReadCommand(), (CommandRecord{RECORD_TAKEN, COMMAND_DRIVE, DRIVE_FORWARD}));
  ASSERT_TRUE(Eventually([&] { return client.ReadStatus()->state == RECORD_NEW; }));
  EXPECT_EQ(StatusWord(), DRIVE_STATE_FORWARD);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // several more polls
  EXPECT_THAT(drive.commands(), ElementsAre(DRIVE_FORWARD));
}

TEST_F(ProgramInterfaceTest, recordsWithStateZeroOrTwo_areIgnored) {
  StartActive();
  for (std::uint8_t s : {std::uint8_t{RECORD_EMPTY}, std::uint8_t{RECORD_TAKEN}, std::uint8_t{7}}) {
    WriteCommandRecord({s, COMMAND_DRIVE, DRIVE_LEFT});
    EXPECT_FALSE(api.PollCommand());
    EXPECT_EQ(client.ReadCommand(), (CommandRecord{s, COMMAND_DRIVE, DRIVE_LEFT}));
  }
  EXPECT_THAT(drive.commands(), IsEmpty());
  WriteCommandRecord({RECORD_NEW, 1, 4});
  EXPECT_TRUE(api.PollCommand());
  EXPECT_EQ(client.ReadCommand()->state, RECORD_TAKEN);
  EXPECT_FALSE(api.PollCommand());
  EXPECT_THAT(drive.commands(), ElementsAre(DRIVE_LEFT));
}

TEST_F(ProgramInterfaceTest, driveRight_leaves0x10InTheStatusRecord) {
  StartActive();
  api.Dispatch(COMMAND_DRIVE, DRIVE_FORWARD);
  api.Dispatch(COMMAND_DRIVE, DRIVE_RIGHT);
  EXPECT_EQ(client.ReadStatus(), (StatusRecord{RECORD_NEW, 0x12}));
  // Codes that are no drive command reach nobody, but the status is still published.
  api.Dispatch(COMMAND_DRIVE, 10);
  api.Dispatch(COMMAND_DRIVE, -2);
  EXPECT_THAT(drive.commands(), ElementsAre(DRIVE_FORWARD, DRIVE_RIGHT));
}

TEST_F(ProgramInterfaceTest, targetCommand_setsTheTargetOrEndsFollowing) {
  StartActive();
  api.Dispatch(COMMAND_TARGET, 240 * 65536 + 320);
  EXPECT_EQ(car.cheesePosition.load(), (Point{320, 240}));
  EXPECT_TRUE(state.targetFollowing);
  EXPECT_TRUE(car.targetActive);
  api.Dispatch(COMMAND_TARGET, -1);
  EXPECT_THAT(target.calls(), ElementsAre("ToggleFollowMode 0"));
  // Without following, -1 is no target at (65535, 65535).
  state.targetFollowing = false;
  target.Clear();
  api.Dispatch(COMMAND_TARGET, -1);
  EXPECT_THAT(target.calls(), IsEmpty());
  EXPECT_EQ(car.cheesePosition.load(), (Point{320, 240}));
  api.Dispatch(COMMAND_TARGET, static_cast<int>(0xFFFF0001u));  // both halves taken as unsigned
  EXPECT_EQ(car.cheesePosition.load(), (Point{1, 65535}));
}

TEST_F(ProgramInterfaceTest, ballCommand_needsAPatternOrTheSimulation) {
  StartActive();
  api.Dispatch(COMMAND_BALL, 50 * 65536 + 3);
  EXPECT_EQ(state.ballMode, BallMode::Off);
  EXPECT_FALSE(car.targetActive);
  state.simulating = true;
  api.Dispatch(COMMAND_BALL, 50 * 65536 + 3);
  EXPECT_EQ(state.ballMode, BallMode::Avoid);  // avoid
  EXPECT_TRUE(car.targetActive);
  EXPECT_THAT(target.calls(), ElementsAre("SetBallFollowing 50"));
  api.Dispatch(COMMAND_BALL, 9);  // no such mode
  EXPECT_EQ(state.ballMode, BallMode::Avoid);
  state.simulating = false;
  target.ballLearned = true;
  api.Dispatch(COMMAND_BALL, 2);
  EXPECT_EQ(state.ballMode, BallMode::Follow);
}

TEST_F(ProgramInterfaceTest, position_carriesPositionTurnsAndHeading) {
  StartActive();
  car.carPosition = Point{100, 50};
  car.turnCount = -2;
  car.carDirection = 0.0;
  api.PublishPosition();
  EXPECT_EQ(client.ReadPosition(), (QuadRecord{RECORD_NEW, {100, 50, -2, 180}}));
  car.carDirection = -3.14159;
  api.PublishPosition();
  EXPECT_EQ(client.ReadPosition()->values[3], 0);
  api.PublishBall(Rect{10, 20, 30, 40});
  EXPECT_EQ(client.ReadBall(), (QuadRecord{RECORD_NEW, {10, 20, 30, 40}}));
}

TEST_F(ProgramInterfaceTest, contourBoxMode_publishesTheBoxUntilTheNextStart) {
  StartActive();
  car.carPosition = Point{7, 8};
  api.Dispatch(COMMAND_EXTERNAL, EXTERNAL_CONTOUR_BOX);
  EXPECT_TRUE(api.contourBoxMode());
  const Point points[] = {{10, 20}, {30, 5}, {25, 40}};
  api.PublishPosition(points);
  EXPECT_EQ(client.ReadPosition(), (QuadRecord{RECORD_NEW, {10, 5, 30, 40}}));
  api.PublishPosition();  // no contour: the car's centre
  EXPECT_EQ(client.ReadPosition(), (QuadRecord{RECORD_NEW, {7, 8, 7, 8}}));
  client.Close();
  StartActive();
  EXPECT_FALSE(api.contourBoxMode());
}

TEST_F(ProgramInterfaceTest, externalControl_startsProgramsOnlyWithSomethingToDrive) {
  StartActive();
  target.programCount = 5;
  api.Dispatch(COMMAND_EXTERNAL,
               EXTERNAL_START_PROGRAM);  // neither simulating nor a connected relay board
  api.Dispatch(COMMAND_EXTERNAL, EXTERNAL_STOP_PROGRAM);
  EXPECT_THAT(target.calls(), IsEmpty());
  EXPECT_EQ(client.ReadStatus()->state, RECORD_NEW);  // published all the same
  state.simulating = true;
  target.programCount = 1;
  api.Dispatch(COMMAND_EXTERNAL, EXTERNAL_START_PROGRAM);
  EXPECT_THAT(target.calls(), IsEmpty());
  target.programCount = 2;
  api.Dispatch(COMMAND_EXTERNAL, EXTERNAL_START_PROGRAM);
  state.simulating = false;
  state.deviceConnected = true;
  api.Dispatch(COMMAND_EXTERNAL, EXTERNAL_STOP_PROGRAM);
  EXPECT_THAT(target.calls(), ElementsAre("StartAutoDriving", "StopAutoDriving"));
  EXPECT_THAT(drive.commands(), ElementsAre(DRIVE_AUTO_ON, DRIVE_AUTO_ON));
}

// Starting or stopping a program puts the speed back to the middle; the
// controller's speed lever follows when that changed it.
TEST_F(ProgramInterfaceTest, programStartOrStopThatChangesTheSpeedRepaintsTheLever) {
  StartActive();
  state.simulating = true;
  target.programCount = 2;
  target.onStartStop = [this] { drive.SetSpeedLevel(2); };
  drive.SetSpeedLevel(3);
  api.Dispatch(COMMAND_EXTERNAL, EXTERNAL_START_PROGRAM);
  api.Dispatch(COMMAND_EXTERNAL, EXTERNAL_STOP_PROGRAM);  // already at the middle speed
  drive.SetSpeedLevel(1);
  api.Dispatch(COMMAND_EXTERNAL, EXTERNAL_STOP_PROGRAM);
  EXPECT_THAT(target.calls(),
              ElementsAre("StartAutoDriving", "RepaintSpeedLever", "StopAutoDriving",
                          "StopAutoDriving", "RepaintSpeedLever"));
}

TEST_F(ProgramInterfaceTest, externalControlOnAndOff) {
  StartActive();
  api.Dispatch(COMMAND_EXTERNAL, EXTERNAL_ON);
  EXPECT_TRUE(state.autoDriving);
  EXPECT_THAT(drive.commands(), ElementsAre(DRIVE_STOP, DRIVE_STRAIGHT, DRIVE_AUTO_ON));
  EXPECT_EQ(StatusWord(), DRIVE_STATE_AUTO);
  drive.Clear();
  api.Dispatch(COMMAND_EXTERNAL, EXTERNAL_OFF);
  EXPECT_FALSE(state.autoDriving);
  EXPECT_THAT(target.calls(), ElementsAre("StopAllSounds"));
  EXPECT_THAT(drive.commands(), ElementsAre(DRIVE_STOP, DRIVE_AUTO_OFF));
  EXPECT_EQ(StatusWord(), 0);
}

TEST_F(ProgramInterfaceTest, roboQ_mapsForwardAndTurboToItsThreeSpeeds) {
  state.controlRoboQ = true;
  StartActive();
  api.Dispatch(COMMAND_DRIVE, DRIVE_REVERSE);  // no reverse: dropped, not even the status
  EXPECT_EQ(client.ReadStatus()->state, RECORD_EMPTY);
  EXPECT_THAT(drive.commands(), IsEmpty());
  api.Dispatch(COMMAND_DRIVE, DRIVE_FORWARD);  // middle speed, already set: no repaint
  EXPECT_EQ(drive.SpeedLevel(), 2);
  api.Dispatch(COMMAND_DRIVE, DRIVE_TURBO_ON);
  EXPECT_EQ(drive.SpeedLevel(), 3);
  api.Dispatch(COMMAND_DRIVE, DRIVE_TURBO_OFF);
  EXPECT_EQ(drive.SpeedLevel(), 1);
  api.Dispatch(COMMAND_DRIVE, DRIVE_LEFT);
  EXPECT_THAT(drive.commands(),
              ElementsAre(DRIVE_FORWARD, DRIVE_FORWARD, DRIVE_FORWARD, DRIVE_LEFT));
  EXPECT_THAT(target.calls(), ElementsAre("RepaintSpeedLever", "RepaintSpeedLever"));
  EXPECT_EQ(StatusWord(), DRIVE_STATE_FORWARD | DRIVE_STATE_LEFT);
}

TEST_F(ProgramInterfaceTest, soundCommands_onlyForSoundNumbers) {
  StartActive();
  api.Dispatch(COMMAND_SOUND_REPEAT, 4);
  api.Dispatch(COMMAND_SOUND_PREPARE, 5);
  api.Dispatch(COMMAND_SOUND, -3);
  api.Dispatch(COMMAND_SOUND, 6);
  api.Dispatch(COMMAND_SOUND, 0);
  for (int bad : {101, -1, INT32_MAX, INT32_MIN}) {
    api.Dispatch(COMMAND_SOUND_REPEAT, bad);
    api.Dispatch(COMMAND_SOUND_PREPARE, bad);
  }
  api.Dispatch(COMMAND_SOUND, -101);
  api.Dispatch(COMMAND_SOUND, INT32_MIN);
  api.Dispatch(COMMAND_SOUND, 101);
  EXPECT_THAT(target.calls(), ElementsAre("PlaySound 4 repeat", "PrepareSound 5", "StopSound 3",
                                          "PlaySound 6 once", "PlaySound 0 once"));
}

TEST_F(ProgramInterfaceTest, clipboardCommand_runsTheProgramFileNamedThere) {
  StartActive();
  target.clipboard = "  /data/course run.ntc\r\n";
  api.Dispatch(COMMAND_PROGRAM_FILE, 0);
  target.clipboard = std::nullopt;
  api.Dispatch(COMMAND_PROGRAM_FILE, 0);
  target.clipboard = " \n ";
  api.Dispatch(COMMAND_PROGRAM_FILE, 0);
  EXPECT_THAT(target.calls(),
              ElementsAre("RequestClipboardText", "RunProgramFile /data/course run.ntc",
                          "RequestClipboardText", "RequestClipboardText"));
}

TEST_F(ProgramInterfaceTest, clipboardNeverAnswered_doesNotHoldUpTheStop) {
  StartActive(5);
  target.answerClipboard = false;
  ASSERT_EQ(client.PostCommand(COMMAND_PROGRAM_FILE, 0), SHM_OK);
  ASSERT_TRUE(Eventually([&] { return !target.calls().empty(); }));
  const auto start = std::chrono::steady_clock::now();
  api.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  target.AnswerHeldRequest("/late.ntc");  // the answer after the stop goes nowhere
  EXPECT_THAT(target.calls(), ElementsAre("RequestClipboardText", "DetachExternalWindow"));
}

TEST_F(ProgramInterfaceTest, externalWindow_attachedByCommandAndDetachedAtStop) {
  StartActive();
  api.Dispatch(COMMAND_EXTERNAL_WINDOW, 0x1234);
  api.Dispatch(COMMAND_EXTERNAL_WINDOW, 0);
  api.Stop();
  api.Stop();
  EXPECT_THAT(target.calls(), ElementsAre("AttachExternalWindow 4660", "AttachExternalWindow 0",
                                          "DetachExternalWindow"));
}

TEST_F(ProgramInterfaceTest, stopAndStartAgain_neverLeaveTwoPollingThreads) {
  // A first start and stop lets a sanitizer start its own helper thread.
  ASSERT_TRUE(api.Start(true, 1));
  api.Stop();
  const int threads = ThreadCount();
  ASSERT_TRUE(api.Start(true, 1));
  EXPECT_EQ(ThreadCount(), threads + 1);
  ASSERT_TRUE(api.Start(true, 1));  // restarts
  EXPECT_EQ(ThreadCount(), threads + 1);
  api.Stop();
  ASSERT_TRUE(api.Start(true, 0));
  EXPECT_EQ(api.commIntervalMs(), 1);
  EXPECT_EQ(ThreadCount(), threads + 1);
  api.Stop();
  EXPECT_EQ(ThreadCount(), threads);
  EXPECT_FALSE(state.interfaceActive);
  EXPECT_FALSE(test::ShmExists(cleanup.prefix() + "Command"));
  EXPECT_FALSE(test::ShmExists(cleanup.prefix() + "CMD"));
}

TEST_F(ProgramInterfaceTest, stopWhileAnotherProgramHoldsTheBlocks_leavesThemToIt) {
  StartActive(5);
  api.Stop();
  EXPECT_FALSE(client.ServerPresent());
  EXPECT_EQ(client.ReadStatus()->state, RECORD_EMPTY);  // still readable here
  client.Close();
  EXPECT_FALSE(test::ShmExists(cleanup.prefix() + "Status"));
  const auto table = api.table().ReadSharedTable();
  ASSERT_TRUE(table);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(table->entries[i].inUse, 0);
}

// The threads of the engine that touch the interface, all at once: the
// simulation publishes the position, the driving thread sends drive commands
// (publishing the status), another program posts commands, and the interface
// stops in the middle of it. Meant for ThreadSanitizer.
TEST_F(ProgramInterfaceTest, publishersPollingAndStop_runTogetherCleanly) {
  StartActive(1);
  std::atomic<bool> running{true};
  std::thread simulation([&] {
    int step = 0;
    while (running) {
      car.carPosition = Point{step % 640, step % 480};
      car.carDirection = (step % 628) / 100.0 - 3.14;
      api.PublishPosition();
      ++step;
    }
  });
  std::thread driving([&] {
    int step = 0;
    while (running) {
      drive.SendDriveCommand(step++ % 2 ? DRIVE_LEFT : DRIVE_RIGHT);
      api.PublishStatus();
      api.PublishBall(Rect{step, step, step + 5, step + 5});
    }
  });
  client::InterfaceClient other(cleanup.prefix());
  ASSERT_EQ(other.Open(), SHM_OK);
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(other.PostCommand(COMMAND_DRIVE, i % 2 ? DRIVE_FORWARD : DRIVE_STOP, 3000), SHM_OK);
    ASSERT_TRUE(other.ReadPosition());
  }
  ASSERT_TRUE(other.WaitCommandTaken(3000));
  api.Stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // publishing after the stop
  running = false;
  simulation.join();
  driving.join();
  const auto commands = drive.commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), DRIVE_FORWARD), 10);
}

}  // namespace
}  // namespace viren::api
