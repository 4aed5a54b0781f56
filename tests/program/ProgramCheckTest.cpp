// The look at a program before its run, on program files written byte by byte.
#include "program/ProgramCheck.h"

#include <gtest/gtest.h>

#include <tuple>

#include "program/ProgramFile.h"
#include "support/ProgramBytes.h"
#include "support/TestDir.h"

namespace viren {
namespace {

using test::CommandBytes;
using test::StartChain;

constexpr CommandBytes kTimer{EVENT_TIMER, 0, 1, 0};
constexpr CommandBytes kEnd{EVENT_END};
constexpr CommandBytes kLeft{EVENT_HANDLE, HANDLE_LEFT, 0, 0};

struct Expected {
  int command;
  CheckKind kind;
  CheckSeverity severity;
};

struct Case {
  const char* name;
  std::vector<CommandBytes> commands;
  std::vector<Expected> expected;
  bool simulating = false;
};

CommandBytes Repeat(int passes, int link) {
  return {EVENT_REPEAT, 0, passes, 0, -1, -1, link};
}
CommandBytes Sound(int number) {
  return {EVENT_SOUND, SOUND_ONCE, number, 0};
}
CommandBytes Point(int x, int y) {
  return {EVENT_POSITION, POSITION_POINT, x, y};
}

std::vector<CommandBytes> WithSideChain() {
  auto p = StartChain({kTimer, kEnd});
  p.push_back({EVENT_TIMER, 0, 2, 0});  // a chain of its own: prev -1, next 4
  p.push_back({EVENT_CAR, CAR_FORWARD, 50, 0, -1, 3});
  p[3].next = 4;
  return p;
}

std::vector<Case> Cases() {
  const auto E = CheckSeverity::Error;
  const auto W = CheckSeverity::Warning;
  return {
      {"clean",
       StartChain({{EVENT_CAR, CAR_FORWARD, 100, 0},
                   kTimer,
                   Sound(1),
                   Point(160, 120),
                   Repeat(3, 2),
                   kEnd}),
       {}},
      {"onlyTheStartCommand", StartChain({}), {{0, CheckKind::NothingToRun, E}}},
      {"noEndCommand", StartChain({kTimer, kLeft}), {{2, CheckKind::NoEnd, W}}},
      {"aJumpAtTheEndIsNotMissingAnEnd",
       StartChain({kTimer, {EVENT_TIMER, 0, 0, 5, -1, -1, 1}}),
       {}},
      {"chainNeverReached", WithSideChain(), {{3, CheckKind::Unreachable, W}}},
      {"loopWithoutTimedCommand",
       StartChain({kTimer, kLeft, Repeat(3, 2), kEnd}),
       {{3, CheckKind::LoopWithoutWait, W}}},
      {"repeatLinksForward",
       StartChain({kTimer, Repeat(2, 3), kEnd}),
       {{2, CheckKind::LinkOutsideChain, E}}},
      {"repeatLinksIntoAnotherChain",
       [] {
         auto p = WithSideChain();
         p[1] = {EVENT_REPEAT, 0, 2, 0, 2, 0, 4};
         p[0].next = 1;
         return p;
       }(),
       {{1, CheckKind::LinkOutsideChain, E}, {3, CheckKind::Unreachable, W}}},
      // Reading drops a jump beyond the records; what is left has no end.
      {"jumpBeyondTheRecords",
       StartChain({kTimer, {EVENT_CAR, CAR_FORWARD, 0, 0, -1, -1, 42}}),
       {{2, CheckKind::NoEnd, W}}},
      {"soundBeyondTheList", StartChain({Sound(3), kEnd}), {{1, CheckKind::SoundBeyondList, E}}},
      {"soundZero", StartChain({Sound(0), kEnd}), {{1, CheckKind::SoundBeyondList, E}}},
      {"soundFileMissing", StartChain({Sound(2), kEnd}), {{1, CheckKind::SoundFileMissing, E}}},
      {"ballWithoutPattern",
       StartChain({{EVENT_BALL, BALL_FOLLOW, 100, 1}, kEnd}),
       {{1, CheckKind::BallNotLearned, W}}},
      {"ballInTheSimulation", StartChain({{EVENT_BALL, BALL_FOLLOW, 100, 1}, kEnd}), {}, true},
      {"pointOnTheCourseBound", StartChain({Point(480, 360), kEnd}), {}},
      {"pointBesideTheCourse",
       StartChain({Point(481, 240), kEnd}),
       {{1, CheckKind::PositionOutside, W}}},
      {"pointOffTheCamera",
       StartChain({Point(700, 10), kEnd}),
       {{1, CheckKind::PositionOutside, E}}},
      {"successorOutOfRange",
       [] {
         auto p = StartChain({kTimer, kEnd});
         p[1].next = 77;
         return p;
       }(),
       {{1, CheckKind::NoEnd, W}, {2, CheckKind::Unreachable, W}}},
  };
}

TEST(ProgramCheck, eachProgramFileGivesItsOneKindOfFinding) {
  test::TestDir dir;
  dir.Write("one.wav", "RIFF");
  ProgramCheckContext context;
  context.soundFiles = {dir.File("one.wav"), dir.File("gone.wav")};
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const std::string file = std::string(c.name) + ".ntc";
    dir.Write(file, test::ProgramFileBytes(c.commands));
    ProgramRecords records{};
    int count = 0;
    ASSERT_EQ(ReadProgramBytes(dir.File(file), records, count), ProgramReadStatus::Ok);
    context.simulating = c.simulating;

    const auto findings = CheckProgram(records.data(), count, context);
    std::vector<std::tuple<int, CheckKind, CheckSeverity>> got, want;
    for (const auto& f : findings) {
      got.emplace_back(f.command, f.kind, f.severity);
      EXPECT_FALSE(f.text.empty());
    }
    for (const auto& e : c.expected) want.emplace_back(e.command, e.kind, e.severity);
    EXPECT_EQ(got, want);
    bool errors = false;
    for (const auto& e : c.expected) errors |= e.severity == CheckSeverity::Error;
    EXPECT_EQ(HasErrors(findings), errors);
  }
}

TEST(ProgramCheck, textsNameWhatTheUserMustMend) {
  ProgramCheckContext context;
  context.soundFiles = {"/nowhere/bell.wav"};
  auto p = StartChain({Sound(1), Sound(4), Point(600, 50), kEnd});
  const std::string bytes = test::ProgramFileBytes(p);
  ProgramRecords records{};
  int count = 0;
  ASSERT_EQ(DecodeProgramFile(bytes, records, count), ProgramReadStatus::Ok);
  const auto f = CheckProgram(records.data(), count, context);
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(FormatFindingLine(f[0]),
            "command 1: 1番のサウンドファイル[/nowhere/bell.wav]が存在しません");
  EXPECT_EQ(FormatFindingLine(f[1]), "command 2: サウンド番号4はサウンドリストにありません(1～1)");
  EXPECT_EQ(FormatFindingLine(f[2]),
            "command 3: 目標位置(600,50)がコース範囲(160,120)-(480,360)の外です");
}

}  // namespace
}  // namespace viren
