// The client side: the C++ client library, viren-ctl and the Python example,
// each against a running interface in this process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "ApiFakes.h"
#include "ApiTestSupport.h"
#include "api/ProgramInterface.h"
#include "api/client/InterfaceClient.h"
#include "core/CarState.h"
#include "core/EngineState.h"
#include "support/FakeUiHost.h"

namespace viren::api {
namespace {

using client::InterfaceClient;
using test::RunProgram;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class ClientToolsTest : public ::testing::Test {
 protected:
  test::ShmCleanup cleanup{test::UniqueShmPrefix()};
  test::FakeUiHost ui;
  EngineState state;
  CarState car;
  test::FakeDrive drive;
  test::FakeTarget target;
  ProgramInterface api{ui, state, car, drive, target, ShmTableOptions{cleanup.prefix()}};

  void SetUp() override { ASSERT_TRUE(api.Start(true, 5)); }
  test::RunResult Ctl(std::vector<std::string> args) {
    args.insert(args.begin(), {VIREN_CTL, "--prefix", cleanup.prefix()});
    return RunProgram(args);
  }
  test::RunResult Python(std::vector<std::string> args) {
    args.insert(args.begin(), {"/usr/bin/python3", PYTHON_CLIENT, "--prefix", cleanup.prefix()});
    return RunProgram(args);
  }
};

TEST_F(ClientToolsTest, clientLibrary_readsRecordsAndPostsCommands) {
  InterfaceClient car1(cleanup.prefix());
  ASSERT_EQ(car1.Open(), SHM_OK);
  EXPECT_TRUE(car1.ServerPresent());
  EXPECT_EQ(car1.ReadPosition()->state, RECORD_EMPTY);  // nothing published yet
  car.carPosition = Point{320, 200};
  api.PublishPosition();
  EXPECT_EQ(car1.ReadPosition(), (QuadRecord{RECORD_NEW, {320, 200, 0, 180}}));
  ASSERT_EQ(car1.PostCommand(COMMAND_DRIVE, DRIVE_FORWARD), SHM_OK);
  ASSERT_EQ(car1.PostCommand(COMMAND_DRIVE, DRIVE_LEFT),
            SHM_OK);  // waits for the first to be taken
  ASSERT_TRUE(car1.WaitCommandTaken(3000));
  EXPECT_THAT(drive.commands(), ElementsAre(DRIVE_FORWARD, DRIVE_LEFT));
  EXPECT_EQ(car1.ReadStatus(), (StatusRecord{RECORD_NEW, 0x0A}));
}

TEST_F(ClientToolsTest, postCommand_neverOverwritesACommandNotYetTaken) {
  api.Stop();
  // A server that does not poll: four blocks registered by hand.
  ShmTable server(ShmTableOptions{cleanup.prefix()});
  ASSERT_TRUE(server.ShmAttachTable());
  for (const auto& b : kInterfaceBlocks)
    ASSERT_GE(server.ShmCreateBlock(b.name, b.mutexName, 12, 1), 0);
  InterfaceClient c(cleanup.prefix());
  ASSERT_EQ(c.Open(), SHM_OK);
  ASSERT_EQ(c.PostCommand(COMMAND_SOUND_REPEAT, 7), SHM_OK);
  EXPECT_EQ(c.PostCommand(COMMAND_SOUND_PREPARE, 8, 50), SHM_TIMEOUT);
  EXPECT_EQ(c.ReadCommand(), (CommandRecord{RECORD_NEW, COMMAND_SOUND_REPEAT, 7}));
  EXPECT_FALSE(c.WaitCommandTaken(20));
  ASSERT_EQ(
      server.ShmWriteRecord(0, EncodeCommand({RECORD_TAKEN, COMMAND_SOUND_REPEAT, 7}), 1, 0, 0),
      SHM_OK);
  EXPECT_EQ(c.PostCommand(COMMAND_SOUND_PREPARE, 8, 50), SHM_OK);
  EXPECT_EQ(c.ReadCommand(), (CommandRecord{RECORD_NEW, COMMAND_SOUND_PREPARE, 8}));
  // Once the server has gone, the client sees it.
  server.ShmReleaseAll();
  EXPECT_FALSE(c.ServerPresent());
}

TEST_F(ClientToolsTest, clientWithoutViren_isToldItIsNotRunning) {
  InterfaceClient c(cleanup.prefix() + "none_");
  EXPECT_EQ(c.Open(), SHM_INVALID);
  EXPECT_FALSE(c.ReadPosition());
  EXPECT_EQ(c.PostCommand(COMMAND_DRIVE, DRIVE_FORWARD), SHM_FAILED);
  test::ShmCleanup more(cleanup.prefix() + "none_");
}

TEST_F(ClientToolsTest, virenCtl_printsTheRecordsOnce) {
  car.carPosition = Point{123, 45};
  car.turnCount = 3;
  car.carDirection = 1.570795;
  api.PublishPosition();
  api.Dispatch(COMMAND_DRIVE, DRIVE_FORWARD);
  api.Dispatch(COMMAND_DRIVE, DRIVE_RIGHT);
  api.PublishBall(Rect{1, 2, 30, 40});
  auto r = Ctl({"position"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "position state=1 x=123 y=45 turns=3 heading=270\n");
  r = Ctl({"status"});
  EXPECT_EQ(r.out, "status state=1 drive=0x0012 FORWARD RIGHT\n");
  r = Ctl({"ball"});
  EXPECT_EQ(r.out, "ball state=1 left=1 top=2 right=30 bottom=40\n");
}

TEST_F(ClientToolsTest, virenCtlSend_drivesTheCarAndWaitsUntilTaken) {
  const std::string code = std::to_string(COMMAND_DRIVE);
  auto r = Ctl({"send", code, "5"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "command " + code + " 5 taken\n");
  r = Ctl({"send", std::to_string(COMMAND_TARGET), std::to_string(240 * 65536 + 320)});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_THAT(drive.commands(), ElementsAre(DRIVE_RIGHT));
  EXPECT_EQ(car.cheesePosition.load(), (Point{320, 240}));
}

TEST_F(ClientToolsTest, virenCtl_refusesBadArgumentsAndAMissingViren) {
  const std::string code = std::to_string(COMMAND_DRIVE);
  for (auto args : std::vector<std::vector<std::string>>{{},
                                                         {"drive"},
                                                         {"send", code},
                                                         {"send", "x", "1"},
                                                         {"send", code, "99999999999"},
                                                         {"watch", "--count", "0"},
                                                         {"position", "extra"}}) {
    auto r = Ctl(args);
    EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(args);
    EXPECT_THAT(r.err, HasSubstr("usage"));
  }
  const std::string otherPrefix = cleanup.prefix() + "none_";
  test::ShmCleanup more(otherPrefix);
  auto r = RunProgram({VIREN_CTL, "--prefix", otherPrefix, "position"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_THAT(r.err, HasSubstr("not running"));
}

TEST_F(ClientToolsTest, virenCtlWatch_printsEveryChangeAndEndsOnInterrupt) {
  test::RunningProgram watch({VIREN_CTL, "--prefix", cleanup.prefix(), "watch", "--interval", "5"});
  // The three records as they first stand.
  std::vector<std::string> first;
  for (int i = 0; i < 3; ++i) first.push_back(watch.ReadLine(5000));
  EXPECT_THAT(first, ElementsAre(HasSubstr("position state=0"), HasSubstr("status state=0"),
                                 HasSubstr("ball state=0")));
  car.carPosition = Point{5, 6};
  api.PublishPosition();
  EXPECT_EQ(watch.ReadLine(5000), "position state=1 x=5 y=6 turns=0 heading=180");
  api.Dispatch(COMMAND_DRIVE, DRIVE_REVERSE);
  EXPECT_EQ(watch.ReadLine(5000), "status state=1 drive=0x0004 REVERSE");
  watch.Signal(SIGINT);
  EXPECT_EQ(watch.Wait(5000), 0);
}

TEST_F(ClientToolsTest, virenCtlWatchCount_endsAfterThatManyLines) {
  auto r = Ctl({"watch", "--count", "2"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
}

TEST_F(ClientToolsTest, virenCtlWatch_endsWhenVirenEnds) {
  test::RunningProgram watch({VIREN_CTL, "--prefix", cleanup.prefix(), "watch"});
  ASSERT_FALSE(watch.ReadLine(5000).empty());
  api.Stop();
  EXPECT_EQ(watch.Wait(5000), 1);
  // With the watcher gone the blocks are gone too: a new start finds the names free.
  EXPECT_FALSE(test::ShmExists(cleanup.prefix() + "Command"));
  EXPECT_TRUE(api.Start(true, 5));
}

TEST_F(ClientToolsTest, pythonExample_readsWhatVirenCtlReadsAndLeavesTheBlocks) {
  car.carPosition = Point{211, 99};
  car.turnCount = -1;
  car.carDirection = -1.5708;
  api.PublishPosition();
  auto py = Python({"position"});
  ASSERT_EQ(py.exitCode, 0) << py.err;
  EXPECT_EQ(py.out, "position state=1 x=211 y=99 turns=-1 heading=89\n");
  EXPECT_EQ(py.out, Ctl({"position"}).out);
  // The resource tracker did not remove VIREN's block when Python ended.
  EXPECT_THAT(py.err, ::testing::Not(HasSubstr("leaked")));
  EXPECT_TRUE(test::ShmExists(cleanup.prefix() + "Position"));
  api.PublishPosition();
  EXPECT_EQ(Ctl({"position"}).exitCode, 0);

  py = Python({"send", std::to_string(COMMAND_DRIVE), "4"});
  EXPECT_EQ(py.exitCode, 0) << py.err;
  EXPECT_THAT(drive.commands(), ElementsAre(DRIVE_LEFT));
  EXPECT_EQ(Python({"status"}).out, "status state=1 drive=0x0008\n");
  EXPECT_TRUE(test::ShmExists(cleanup.prefix() + "Command"));
}

TEST_F(ClientToolsTest, prefixFromTheEnvironment_reachesBothTools) {
  car.carPosition = Point{9, 10};
  api.PublishPosition();
  setenv("VIREN_SHM_PREFIX", cleanup.prefix().c_str(), 1);
  EXPECT_EQ(ShmPrefixFromEnvironment(), cleanup.prefix());
  auto ctl = RunProgram({VIREN_CTL, "position"});
  auto py = RunProgram({"/usr/bin/python3", PYTHON_CLIENT, "position"});
  setenv("VIREN_SHM_PREFIX", "../escape", 1);
  EXPECT_EQ(ShmPrefixFromEnvironment(), "");
  unsetenv("VIREN_SHM_PREFIX");
  EXPECT_EQ(ShmPrefixFromEnvironment(), "");
  EXPECT_EQ(ctl.out, "position state=1 x=9 y=10 turns=0 heading=180\n") << ctl.err;
  EXPECT_EQ(py.out, ctl.out) << py.err;
}

TEST_F(ClientToolsTest, pythonExampleWithoutViren_saysSo) {
  auto py = RunProgram(
      {"/usr/bin/python3", PYTHON_CLIENT, "--prefix", cleanup.prefix() + "none_", "position"});
  EXPECT_EQ(py.exitCode, 1);
  EXPECT_THAT(py.err, HasSubstr("not running"));
}

}  // namespace
}  // namespace viren::api
