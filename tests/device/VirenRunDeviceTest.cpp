// viren-run with a relay board on a pseudo-terminal: the board is opened at
// start-up and put at rest at shut-down, as a user's board would be.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "FakeRelayBoard.h"
#include "settings/IniFile.h"
#include "support/RunViren.h"
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
  EXPECT_EQ(r.err.find("[142]"), std::string::npos) << r.err;
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
  EXPECT_NE(r.err.find("[141]"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("[142]"), std::string::npos) << r.err;
  EXPECT_EQ(board.commands(), (Strings{"AT\r"}));
}

}  // namespace
}  // namespace viren
