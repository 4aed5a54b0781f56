// viren-run as a user runs it: a real process on a real program folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>

#include "settings/IniFile.h"
#include "support/TestDir.h"

namespace viren {
namespace {

struct RunResult {
  int status = -1;
  std::string err;
};

RunResult RunViren(const std::string& args) {
  const std::string command = "VIREN_AUDIO_SINK='fakesink sync=true' " + test::ProgramFolder() +
                              "/viren-run " + args + " 2>&1 >/dev/null";
  RunResult r;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return r;
  std::array<char, 512> buf;
  while (std::fgets(buf.data(), buf.size(), pipe)) r.err += buf.data();
  const int status = ::pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

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
  EXPECT_NE(r.err.find("[129] ファイル[" + dir.File("VIREN.ini") + "]が見つかりません"),
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

TEST_F(VirenRunProgram, unreadableProgramShows149AndFails) {
  const auto r = RunViren("--dir " + dir.path() + " --program no-such.ntc --virtual-clock");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("[149]"), std::string::npos) << r.err;
}

TEST_F(VirenRunProgram, autoWithOnlyTheStartCommandShows178) {
  const auto r = RunViren("--dir " + dir.path() + " --auto --virtual-clock --seconds 1");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("[178]"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace viren
