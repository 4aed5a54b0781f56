// viren-run with a relay board on a pseudo-terminal: the board is opened at
// start-up and put at rest at shut-down, as a user's board would be.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "FakeRelayBoard.h"
#include "api/client/InterfaceClient.h"
#include "settings/IniFile.h"
#include "support/Programs.h"
#include "support/RunViren.h"
#include "support/ShmObjects.h"
#include "support/TestDir.h"

namespace viren {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

using test::RunResult;
using test::RunViren;

class VirenRunBoard : public ::testing::Test {
 protected:
  void Prepare(int comNo) {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    dir.Write("VIREN.ini",
              ini::Update(dir.Read("VIREN.ini"), "USB", "COM_DEVICE1", board.devicePath()));
    dir.Write("option.ini",
              "[AGREEMENT]\r\nAGREEMENT=1\r\n[USB]\r\nCOM_NO=" + std::to_string(comNo) + "\r\n");
  }

  test::FakeRelayBoard board;
  test::TestDir dir;
};

TEST_F(VirenRunBoard, boardIsHandshakenAndRestedAtStartupAndReleasedAtShutdown) {
  Prepare(1);
  const auto r = RunViren("--dir " + dir.path() + " --seconds 0.2");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find(test::MessageTag(MSG_DEVICE_INIT_FAILED)), std::string::npos) << r.err;
  // The board may still be reading the last bytes when viren-run has ended.
  board.WaitForCommands(7, std::chrono::seconds(5));
  EXPECT_EQ(board.commands(), (Strings{"AT\r", "PCR00R10\r", "PCR20R30\r", "PCR40\r", "PCR00R10\r",
                                       "PCR20R30\r", "PCR40\r"}));
}

TEST_F(VirenRunBoard, portNumberZeroOpensNothingAndShowsNothing) {
  Prepare(0);
  const auto r = RunViren("--dir " + dir.path() + " --seconds 0.1");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("[14"), std::string::npos) << r.err;
  EXPECT_EQ(board.received(), "");
}

TEST_F(VirenRunBoard, silentBoardIsReportedWith141And142AndTheRunGoesOn) {
  Prepare(1);
  board.SetDefault(test::FakeRelayBoard::Silent());
  const auto r = RunViren("--dir " + dir.path() + " --seconds 0.1");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(test::MessageTag(MSG_BOARD_NO_ANSWER_CHOOSE_PORT)), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(test::MessageTag(MSG_DEVICE_INIT_FAILED)), std::string::npos) << r.err;
  EXPECT_EQ(board.commands(), (Strings{"AT\r"}));
}

// Another program drives the real car through shared memory while a video
// plays (nothing is simulated): EXTERNAL_START_PROGRAM starts the loaded
// program, whose first command drives forward; EXTERNAL_STOP_PROGRAM stops it;
// the same after EXTERNAL_ON.
TEST_F(VirenRunBoard, interfaceStartsAndStopsTheLoadedProgramOnTheBoard) {
  Prepare(1);
  const std::string video = dir.File("still.avi");
  const std::string make =
      "gst-launch-1.0 -q videotestsrc num-buffers=30 pattern=black ! "
      "video/x-raw,width=320,height=240,framerate=30/1 ! videoconvert ! avimux ! filesink "
      "location=" +
      video + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0) << "gst-launch-1.0 could not write the test video";
  dir.Write("run.ntc", test::DriveForwardProgram());
  dir.Write("back.ntc", test::DriveForwardProgram(CAR_REVERSE));

  const std::string prefix = "devrun" + std::to_string(::getpid()) + "_";
  FILE* run = ::popen(("VIREN_SHM_PREFIX=" + prefix + " VIREN_AUDIO_SINK='fakesink sync=true' " +
                       test::ProgramFolder() + "/viren-run --dir " + dir.path() +
                       " --api --video " + video + " --program " + dir.File("run.ntc") +
                       " --clipboard " + dir.File("back.ntc") + " --seconds 6 2>&1")
                          .c_str(),
                      "r");
  ASSERT_NE(run, nullptr);
  client::InterfaceClient car(prefix);
  for (int i = 0; i < 200 && car.Open() != 0; ++i) std::this_thread::sleep_for(20ms);
  ASSERT_TRUE(car.isOpen());
  // Start-up: handshake and relays at rest.
  ASSERT_TRUE(board.WaitForCommands(4, 5s));

  auto post = [&](int code, int parameter) {
    ASSERT_EQ(car.PostCommand(code, parameter), 0);
    ASSERT_TRUE(car.WaitCommandTaken(2000));
  };
  auto boardSees = [&](std::size_t from, const std::string& text) {
    for (auto end = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(10ms)) {
      const Strings all = board.commands();
      for (std::size_t i = from; i < all.size(); ++i)
        if (all[i] == text) return true;
    }
    return false;
  };
  for (const bool external : {false, true}) {
    SCOPED_TRACE(external ? "after EXTERNAL_ON" : "without EXTERNAL_ON");
    if (external) post(api::COMMAND_EXTERNAL, api::EXTERNAL_ON);
    std::size_t from = board.commands().size();
    post(api::COMMAND_EXTERNAL, api::EXTERNAL_START_PROGRAM);
    EXPECT_TRUE(boardSees(from, "PCR01R10\r")) << "forward";
    from = board.commands().size();
    post(api::COMMAND_EXTERNAL, api::EXTERNAL_STOP_PROGRAM);
    EXPECT_TRUE(boardSees(from, "PCR00R10\r")) << "released";
    if (external) post(api::COMMAND_EXTERNAL, api::EXTERNAL_OFF);
  }
  // Load-and-run of the program named on the clipboard: it drives backwards.
  std::size_t from = board.commands().size();
  post(api::COMMAND_PROGRAM_FILE, 0);
  EXPECT_TRUE(boardSees(from, "PCR00R11\r")) << "reverse";
  from = board.commands().size();
  post(api::COMMAND_EXTERNAL, api::EXTERNAL_STOP_PROGRAM);
  EXPECT_TRUE(boardSees(from, "PCR00R10\r")) << "released";
  car.Close();

  std::string output;
  std::array<char, 512> buf;
  while (std::fgets(buf.data(), buf.size(), run)) output += buf.data();
  const int status = ::pclose(run);
  test::RemoveShmObjects(prefix);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  EXPECT_EQ(output.find("[14"), std::string::npos) << output;
  // Shut-down leaves the car at rest.
  board.WaitForCommands(board.commands().size() + 1, 2s);
  EXPECT_EQ(board.commands().back(), "PCR40\r");
}

}  // namespace
}  // namespace viren
