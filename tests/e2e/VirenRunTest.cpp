// viren-run as a user runs it: a real process on a real program folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <unistd.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

#include "api/InterfaceRecords.h"
#include "settings/IniFile.h"
#include "support/ProgramBytes.h"
#include "support/RunViren.h"
#include "support/ShmObjects.h"
#include "support/TestDir.h"

namespace viren {
namespace {

using test::RunResult;
using test::RunViren;

class VirenRun : public ::testing::Test {
 protected:
  void CopyVirenIni() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
  }
  test::TestDir dir;
};

TEST_F(VirenRun, missingVirenIniPrints129WithTheFullPathAndFails) {
  const auto r = RunViren("--dir " + dir.path());
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find(test::MessageTag(MSG_FILE_NOT_FOUND) + " ファイル[" + dir.File("VIREN.ini") +
                       "]が見つかりません"),
            std::string::npos)
      << r.err;
}

TEST_F(VirenRun, disclaimerRefusedLeavesNoOptionIniAcceptedIsRemembered) {
  CopyVirenIni();
  auto r = RunViren("--dir " + dir.path() + " --answer no");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("[disclaimer] answered no"), std::string::npos) << r.err;
  EXPECT_FALSE(dir.Exists("option.ini"));

  r = RunViren("--dir " + dir.path() + " --answer yes");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ini::Lookup(dir.Read("option.ini"), "AGREEMENT", "AGREEMENT"), "1");

  r = RunViren("--dir " + dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("[disclaimer]"), std::string::npos) << "asked again: " << r.err;
}

TEST_F(VirenRun, runsForTheGivenTimeAndShutsDownInOrder) {
  CopyVirenIni();
  dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n");
  const auto start = std::chrono::steady_clock::now();
  const auto r = RunViren("--dir " + dir.path() + " --seconds 0.3");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
}

// A program folder with the shipped samples, the disclaimer accepted.
class VirenRunFolder : public ::testing::Test {
 protected:
  VirenRunFolder() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    std::filesystem::copy(test::ProgramFolder() + "/sample", dir.File("sample"),
                          std::filesystem::copy_options::recursive);
    dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n");
  }
  test::TestDir dir;
};

TEST_F(VirenRun, badOptionsAreRefusedWithUsage) {
  const auto r = RunViren("--answer maybe");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("usage: viren-run"), std::string::npos);
}

}  // namespace
}  // namespace viren

namespace viren {
namespace {

class VirenRunProgram : public VirenRunFolder {};

TEST_F(VirenRunProgram, sampleProgramOnTheVirtualClockGivesTheSameTrackEveryRun) {
  const std::string args =
      "--dir " + dir.path() + " --program lap.ntc --auto --virtual-clock --seconds 10 --track ";
  auto r = RunViren(args + dir.File("a.csv"));
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunViren(args + dir.File("b.csv"));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string a = dir.Read("a.csv");
  EXPECT_EQ(a, dir.Read("b.csv"));
  // Header, then one row per 10 ms simulation step (or longer pause).
  ASSERT_EQ(a.rfind("t_ms,x,y,direction,turn_count,drive_state,command\n", 0), 0u);
  const auto rows = std::count(a.begin(), a.end(), '\n') - 1;
  EXPECT_GT(rows, 500);
  EXPECT_LE(rows, 1001);
  // The run started: the automatic-driving bit is set while commands execute.
  EXPECT_NE(a.find(",64,0\n"), std::string::npos);
}

// With the shipped tuning a program drives as on the table: "go to point" to a
// point behind the car on the other side of the course range, then a quarter
// turn to the left; the track CSV shows both done in a few seconds.
TEST_F(VirenRunProgram, shippedTuningGoesToAPointBehindAndTurnsAQuarter) {
  using test::CommandBytes;
  // start, go to (180, 340), forward, left lock for 90 degrees, stop, end
  dir.Write("p.ntc", test::ProgramFileBytes(test::StartChain(
                         {{5, 3, 180, 340}, {3, 1, 0, 0}, {4, 1, 90, 0}, {3, 0}, {8}})));
  const auto r = RunViren("--dir " + dir.path() + " --program " + dir.File("p.ntc") +
                          " --auto --virtual-clock --seconds 10 --track " + dir.File("t.csv"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  std::istringstream csv(dir.Read("t.csv"));
  std::string line;
  std::getline(csv, line);
  struct Row {
    long t;
    int x, y;
    double direction;
    int turns, state, command;
  };
  std::vector<Row> rows;
  while (std::getline(csv, line)) {
    Row row{};
    ASSERT_EQ(std::sscanf(line.c_str(), "%ld,%d,%d,%lf,%d,%d,%d", &row.t, &row.x, &row.y,
                          &row.direction, &row.turns, &row.state, &row.command),
              7)
        << line;
    rows.push_back(row);
  }
  const auto firstOf = [&](int command) {
    return std::find_if(rows.begin(), rows.end(),
                        [&](const Row& row) { return row.command == command; });
  };
  const auto turn = firstOf(3);
  ASSERT_NE(turn, rows.end()) << "the point was not reached";
  EXPECT_LT(turn->t, 5000);
  EXPECT_LT(std::hypot(turn->x - 180, turn->y - 340), 36) << turn->x << ", " << turn->y;
  // The heading falls by a quarter turn (left is anticlockwise on the screen).
  const Row& last = rows.back();
  EXPECT_EQ(last.command, -1);
  double turned = last.direction - turn->direction + 2 * M_PI * (last.turns - turn->turns);
  EXPECT_NEAR(turned, -M_PI / 2, 5 * M_PI / 180);
  for (const Row& row : rows) ASSERT_TRUE(row.x >= 0 && row.x < 640 && row.y >= 0 && row.y < 480);
}

TEST_F(VirenRunProgram, unreadableProgramShows149AndFails) {
  const auto r = RunViren("--dir " + dir.path() + " --program no-such.ntc --virtual-clock");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find(test::MessageTag(MSG_PROGRAM_READ_FAILED)), std::string::npos) << r.err;
}

TEST_F(VirenRunProgram, autoWithOnlyTheStartCommandShows178) {
  const auto r = RunViren("--dir " + dir.path() + " --auto --virtual-clock --seconds 1");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find(test::MessageTag(MSG_CONTROL_INIT_FAILED)), std::string::npos) << r.err;
}

}  // namespace
}  // namespace viren

namespace viren {
namespace {

std::string Capture(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  std::array<char, 512> buf;
  while (std::fgets(buf.data(), buf.size(), pipe)) out += buf.data();
  ::pclose(pipe);
  return out;
}

class VirenRunInterface : public VirenRunFolder {};

TEST_F(VirenRunInterface, anotherProgramDrivesTheSimulatedCarThroughSharedMemory) {
  const std::string prefix = "e2e" + std::to_string(::getpid()) + "_";
  const std::string env = "VIREN_SHM_PREFIX=" + prefix + " VIREN_AUDIO_SINK='fakesink sync=true' ";
  const std::string ctl = env + test::ProgramFolder() + "/viren-ctl ";
  FILE* run = ::popen(
      (env + test::ProgramFolder() + "/viren-run --dir " + dir.path() + " --api --seconds 4 2>&1")
          .c_str(),
      "r");
  ASSERT_NE(run, nullptr);
  std::string status;
  for (int i = 0; i < 100 && status.find("status state=") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    status = Capture(ctl + "status 2>&1");
  }
  ASSERT_NE(status.find("drive=0x0000"), std::string::npos) << status;
  EXPECT_NE(Capture(ctl + "send " + std::to_string(api::COMMAND_DRIVE) + " 1 2>&1").find("taken"),
            std::string::npos);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_NE(Capture(ctl + "status 2>&1").find("FORWARD"), std::string::npos);
  // The simulated car has moved right from the centre of the layout.
  const std::string position = Capture(ctl + "position 2>&1");
  const auto x = position.find("x=");
  ASSERT_NE(x, std::string::npos) << position;
  EXPECT_GT(std::stoi(position.substr(x + 2)), 320) << position;
  std::string output;
  std::array<char, 512> buf;
  while (std::fgets(buf.data(), buf.size(), run)) output += buf.data();
  const int exitStatus = ::pclose(run);
  test::RemoveShmObjects(prefix);
  EXPECT_TRUE(WIFEXITED(exitStatus) && WEXITSTATUS(exitStatus) == 0) << output;
}

}  // namespace
}  // namespace viren

namespace viren {
namespace {

class VirenRunVideo : public VirenRunFolder {};

// A video of a white square crossing a dark picture, analysed frame by frame.
TEST_F(VirenRunVideo, videoFileIsAnalysedWithOneTrackRowPerFrame) {
  const std::string video = dir.File("square.avi");
  const std::string make =
      "gst-launch-1.0 -q videotestsrc num-buffers=60 pattern=ball motion=sweep "
      "background-color=0xff000000 foreground-color=0xffffffff ! "
      "video/x-raw,width=320,height=240,framerate=30/1 ! videoconvert ! avimux ! filesink "
      "location=" +
      video + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0) << "gst-launch-1.0 could not write the test video";
  const auto r = RunViren("--dir " + dir.path() + " --video " + video + " --seconds 2.5 --track " +
                          dir.File("video.csv"));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string track = dir.Read("video.csv");
  const auto rows = std::count(track.begin(), track.end(), '\n') - 1;
  EXPECT_GE(rows, 30) << track.substr(0, 400);
  // The analysis followed the moving ball: its layout position changes from frame to frame.
  std::set<std::string> positions;
  std::istringstream lines(track);
  std::string line;
  std::getline(lines, line);  // header
  while (std::getline(lines, line)) {
    const auto first = line.find(',');
    const auto third = line.find(',', line.find(',', first + 1) + 1);
    positions.insert(line.substr(first + 1, third - first - 1));
  }
  EXPECT_GT(positions.size(), 10u);
}

}  // namespace
}  // namespace viren

namespace viren {
namespace {

class VirenRunCamera : public VirenRunFolder {};

// This machine has no camera: with none selected the simulation starts without
// a question; with camera 2 selected the program asks MSG_NO_CAMERA_SIMULATE and Yes
// simulates.
TEST_F(VirenRunCamera, noCameraSelectedSimulatesWithoutAskingAMissingCameraAsks134) {
  const std::string track = " --virtual-clock --seconds 1 --track " + dir.File("t.csv");
  auto r = RunViren("--dir " + dir.path() + track);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find(test::MessageTag(MSG_NO_CAMERA_SIMULATE)), std::string::npos) << r.err;
  const std::string none = dir.Read("t.csv");
  EXPECT_GT(std::count(none.begin(), none.end(), '\n'), 10) << "the simulation ran";

  dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n[CAPTURE]\r\nDEVICE=2\r\n");
  r = RunViren("--dir " + dir.path() + " --answer yes" + track);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(test::MessageTag(MSG_NO_CAMERA_SIMULATE)), std::string::npos) << r.err;
  const std::string yes = dir.Read("t.csv");
  EXPECT_GT(std::count(yes.begin(), yes.end(), '\n'), 10) << "Yes starts the simulation";

  r = RunViren("--dir " + dir.path() + " --answer no" + track);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(test::MessageTag(MSG_NO_CAMERA_SIMULATE)), std::string::npos) << r.err;
  const std::string no = dir.Read("t.csv");
  EXPECT_EQ(std::count(no.begin(), no.end(), '\n'), 1) << "No: no picture, no simulation";
}

}  // namespace
}  // namespace viren
