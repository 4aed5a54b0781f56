// viren-run driving a ROBO-Q through a PC-OP-RS1 stand-in on a
// pseudo-terminal, with the transmitter's real answer times: a slow
// transmitter still gets every frame whole and the stop frame at the end; a
// silent one is reported once and does not hold up the end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "FakePcOpRs1.h"
#include "device/RoboQFrame.h"
#include "settings/IniFile.h"
#include "support/Programs.h"
#include "support/RunViren.h"
#include "support/TestDir.h"
#include "vision/Bitmap24.h"

namespace viren {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

class VirenRunRoboQ : public ::testing::Test {
 protected:
  VirenRunRoboQ() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    dir.Write("VIREN.ini",
              ini::Update(dir.Read("VIREN.ini"), "USB", "COM_DEVICE1", transmitter.devicePath()));
    dir.Write(
        "option.ini",
        "[AGREEMENT]\r\nAGREEMENT=1\r\n[USB]\r\nCOM_NO=1\r\n[CONTROL]\r\nCONTROL_ROBOQ=1\r\n");
    dir.Write("forward.ntc", test::DriveForwardProgram());
    // The camera: a folder of plain pictures.
    std::filesystem::create_directories(dir.File("video"));
    for (int i = 1; i <= 5; ++i) {
      Bitmap24 picture;
      picture.Create(320, 240);
      char name[32];
      std::snprintf(name, sizeof name, "/%06d.bmp", i);
      WriteBitmap24(dir.File("video") + name, picture);
    }
  }

  // The program drives forward from the start of the run to its end.
  test::RunResult Drive(const std::string& seconds) {
    return test::RunViren("--dir " + dir.path() + " --video " + dir.File("video") + " --program " +
                          dir.File("forward.ntc") + " --auto --seconds " + seconds);
  }

  static int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }

  test::FakePcOpRs1 transmitter;
  test::TestDir dir;
};

TEST_F(VirenRunRoboQ, answersOnePointTwoSecondsLateStillGiveExactFramesAndOneStopFrame) {
  transmitter.SetAnswerDelay(1200ms);
  const auto r = Drive("4");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find(test::MessageTag(MSG_DEVICE_NO_ANSWER)), std::string::npos) << r.err;
  transmitter.WaitForFrames(3, 5s);
  const auto frames = transmitter.frames();
  ASSERT_GE(frames.size(), 2u);
  // The program's car command drives at speed step 1 on the ROBO-Q.
  for (std::size_t i = 0; i + 1 < frames.size(); ++i)
    EXPECT_EQ(test::DecodeRoboQPattern(frames[i].pattern), RoboQCode(1, 0, 0)) << i;
  EXPECT_EQ(test::DecodeRoboQPattern(frames.back().pattern), RoboQStopCode(0));
  // In step: every "t" began an exchange, nothing fell between them.
  EXPECT_EQ(transmitter.exchanges(), frames.size());
  EXPECT_EQ(transmitter.strayBytes(), 0u);
  for (const auto& f : frames) EXPECT_EQ(f.channel, '1');
}

TEST_F(VirenRunRoboQ, aSilentTransmitterIsReportedOnceAndTheRunEndsWithinSeconds) {
  transmitter.SetSilent(true);
  const auto start = SteadyClock::now();
  const auto r = Drive("5");
  EXPECT_EQ(r.status, 0) << r.err;
  // 5 s of run, then at most the answer being awaited (2.5 s) and the exit.
  EXPECT_LT(SteadyClock::now() - start, 12s);
  EXPECT_EQ(Count(r.err, test::MessageTag(MSG_DEVICE_NO_ANSWER)), 1) << r.err;
  const std::string sent = transmitter.received();
  EXPECT_FALSE(sent.empty());
  EXPECT_EQ(sent, std::string(sent.size(), 't'));
}

}  // namespace
}  // namespace viren
