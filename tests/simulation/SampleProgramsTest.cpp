// The sample programs of sample/program: the committed files are the ones
// built here (VIREN_WRITE_SAMPLES=1 rewrites them), and each runs well on
// the simulated car.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "SimRig.h"
#include "core/DriveTypes.h"
#include "program/ProgramFile.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

using test::ProgramBuilder;

// A figure eight: a lobe turning left above the crossing point, a lobe
// turning right below it, and a short stop at the crossing after each, for
// ever. The car circles at 400 px radius, wider than the layout, so each lobe
// is seven shunts: forward on left lock for 29 degrees, then back on right
// lock for 22. Both halves turn the car the same way, about 52 degrees a shunt
// on the 0.02 rad steps, while it gains only a little ground, so seven shunts
// close the lobe and the whole eight fits in about 230 x 320 px. The car first
// backs 100 px so that the eight sits in the middle of the layout. The horn
// sounds over and over.
constexpr int kShuntsPerLobe = 7;
constexpr int kShuntForwardDeg = 29;
constexpr int kShuntBackDeg = 22;

ProgramBuilder FigureEight() {
  ProgramBuilder p;
  p.Add(EVENT_SOUND, SOUND_REPEAT, 1);
  p.Add(EVENT_CAR, CAR_REVERSE, 100, 0);
  int first = -1;
  int pause = -1;
  for (const int lock : {HANDLE_LEFT, HANDLE_RIGHT}) {
    const int counterLock = lock == HANDLE_LEFT ? HANDLE_RIGHT : HANDLE_LEFT;
    for (int shunt = 0; shunt < kShuntsPerLobe; ++shunt) {
      const int forward = p.Add(EVENT_CAR, CAR_FORWARD, 0, 0);
      if (first < 0) first = forward;
      p.Add(EVENT_HANDLE, lock, kShuntForwardDeg, 0);  // straightens when turned
      p.Add(EVENT_CAR, CAR_REVERSE, 0, 0);
      p.Add(EVENT_HANDLE, counterLock, kShuntBackDeg, 0);
    }
    p.Add(EVENT_CAR, CAR_STOP);
    // The loop's timed command: a loop without one is held a second a pass.
    pause = p.Add(EVENT_TIMER, 0, 0, 2);
  }
  p.Link(pause, first);
  return p;
}

// Shuttles across the course range, forward with left lock and back with
// right lock, so that the car turns a little further on every leg and sweeps
// the whole range.
ProgramBuilder CourseLap() {
  ProgramBuilder p;
  const int first = p.Add(EVENT_HANDLE, HANDLE_LEFT, 0);
  p.Add(EVENT_CAR, CAR_FORWARD, 0);
  p.Add(EVENT_POSITION, POSITION_LEAVE_COURSE);
  p.Add(EVENT_HANDLE, HANDLE_RIGHT, 0);
  p.Add(EVENT_CAR, CAR_REVERSE, 24);
  const int back = p.Add(EVENT_POSITION, POSITION_LEAVE_COURSE);
  p.Link(back, first);
  return p;
}

// Backs away from the centre, drives back to it, and stops.
ProgramBuilder GoToCentre() {
  ProgramBuilder p;
  p.Add(EVENT_CAR, CAR_REVERSE, 150);
  p.Add(EVENT_POSITION, POSITION_CAMERA_CENTRE);
  p.Add(EVENT_CAR, CAR_STOP);
  p.Add(EVENT_TIMER, 0, 1, 0);
  p.Add(EVENT_END);
  return p;
}

// Turns the car round on the spot in four timed passes of a three-point turn:
// 0.4 s forward on left lock, 0.4 s back on right lock; each pass turns it by
// about a quarter turn. Then it straightens, stops and sounds the horn once.
ProgramBuilder RepeatTimer() {
  ProgramBuilder p;
  const int forward = p.Add(EVENT_CAR, CAR_FORWARD, 0, 0);
  p.Add(EVENT_HANDLE, HANDLE_LEFT, 0);
  p.Add(EVENT_TIMER, 0, 0, 4);
  p.Add(EVENT_CAR, CAR_REVERSE, 0, 0);
  p.Add(EVENT_HANDLE, HANDLE_RIGHT, 0);
  p.Add(EVENT_TIMER, 0, 0, 4);
  const int repeat = p.Add(EVENT_REPEAT, 0, 4);
  p.Link(repeat, forward);
  p.Add(EVENT_HANDLE, HANDLE_STRAIGHT, 0);
  p.Add(EVENT_CAR, CAR_STOP);
  p.Add(EVENT_SOUND, SOUND_ONCE, 1);
  p.Add(EVENT_END);
  return p;
}

// Runs away from the ball, then ends ball recognition and stops.
ProgramBuilder BallAvoid() {
  ProgramBuilder p;
  p.Add(EVENT_CAR, CAR_FORWARD, 0);
  p.Add(EVENT_BALL, BALL_AVOID, 150, 1);
  p.Add(EVENT_BALL, BALL_END);
  p.Add(EVENT_TIMER, 0, 2, 0);
  p.Add(EVENT_END);
  return p;
}

// The simulated ball lies up and to the left of the car, behind it. The car
// backs so that, once three shunts (as in figure8) have turned it toward the
// ball, it comes at the ball from below on the right, along the diagonal: the
// way in which its centre gets inside the ball's square in the simulation even
// where the ball is pushed ahead. It follows the ball until it stands at it,
// ends ball recognition, stops and sounds the horn once.
constexpr int kBallFollowBackPx = 210;
constexpr int kBallFollowShunts = 3;
ProgramBuilder BallFollow() {
  ProgramBuilder p;
  p.Add(EVENT_CAR, CAR_REVERSE, kBallFollowBackPx, 0);
  for (int shunt = 0; shunt < kBallFollowShunts; ++shunt) {
    p.Add(EVENT_CAR, CAR_FORWARD, 0, 0);
    p.Add(EVENT_HANDLE, HANDLE_LEFT, kShuntForwardDeg, 0);  // straightens when turned
    if (shunt + 1 == kBallFollowShunts) break;              // the last shunt ends going forward
    p.Add(EVENT_CAR, CAR_REVERSE, 0, 0);
    p.Add(EVENT_HANDLE, HANDLE_RIGHT, kShuntBackDeg, 0);
  }
  p.Add(EVENT_BALL, BALL_FOLLOW, 0, 1);
  p.Add(EVENT_BALL, BALL_END);
  p.Add(EVENT_CAR, CAR_STOP);
  p.Add(EVENT_SOUND, SOUND_ONCE, 1);
  p.Add(EVENT_TIMER, 0, 1, 0);
  p.Add(EVENT_END);
  return p;
}

// Drives off with the engine sound running and sounds the horn as it stops;
// the tune starts as it backs to where it started, the engine falls silent
// when it stands again, and the end of the program stops the tune.
constexpr int kSoundsDistancePx = 120;
ProgramBuilder Sounds() {
  ProgramBuilder p;
  p.Add(EVENT_SOUND, SOUND_REPEAT, 2);
  p.Add(EVENT_CAR, CAR_FORWARD, kSoundsDistancePx, 0);
  p.Add(EVENT_CAR, CAR_STOP);
  p.Add(EVENT_SOUND, SOUND_ONCE, 1);
  p.Add(EVENT_TIMER, 0, 0, 5);
  p.Add(EVENT_SOUND, SOUND_REPEAT, 3);
  p.Add(EVENT_CAR, CAR_REVERSE, kSoundsDistancePx, 0);
  p.Add(EVENT_CAR, CAR_STOP);
  p.Add(EVENT_SOUND, SOUND_STOP, 2);
  p.Add(EVENT_TIMER, 0, 1, 0);
  p.Add(EVENT_END);
  return p;
}

const std::map<std::string, std::function<ProgramBuilder()>>& Samples() {
  static const std::map<std::string, std::function<ProgramBuilder()>> samples = {
      {"figure8.ntc", FigureEight},  {"lap.ntc", CourseLap},
      {"centre.ntc", GoToCentre},    {"repeat_timer.ntc", RepeatTimer},
      {"ball_avoid.ntc", BallAvoid}, {"ball_follow.ntc", BallFollow},
      {"sounds.ntc", Sounds},
  };
  return samples;
}

std::string SampleFolder() {
  return test::SourceDir() + "/data/sample/program";
}

TEST(SamplePrograms, committedFilesAreTheBuiltOnes) {
  const bool write = std::getenv("VIREN_WRITE_SAMPLES") != nullptr;
  std::set<int> kinds;
  for (const auto& [name, build] : Samples()) {
    const std::string bytes = build().FileBytes();
    const std::string path = SampleFolder() + "/" + name;
    if (write) std::ofstream(path, std::ios::binary) << bytes;
    std::ifstream in(path, std::ios::binary);
    const std::string stored{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(stored, bytes) << name << " differs; VIREN_WRITE_SAMPLES=1 rewrites it";
    ProgramRecords records;
    int count = 0;
    ASSERT_EQ(DecodeProgramFile(stored, records, count), ProgramReadStatus::Ok) << name;
    for (int i = 0; i < count; ++i) kinds.insert(records[i].kind);
    // Saved files are compact: compaction leaves them as they are.
    ProgramRecords compacted = records;
    ASSERT_EQ(CompactProgram(compacted.data(), count), count) << name;
    EXPECT_EQ(0, std::memcmp(compacted.data(), records.data(), count * sizeof(EventRecord)))
        << name;
  }
  EXPECT_EQ(kinds.size(), 9u) << "every command kind appears in some sample";
}

// The sound list the samples' sound commands are written for, in option.ini
// as SOUND_FILE1.. of [SOUND].
constexpr std::array<const char*, 3> kSampleSounds = {"horn.wav", "engine.wav", "tune.mid"};

std::string SampleSoundList() {
  std::string ini = "[SOUND]\n";
  for (size_t i = 0; i < kSampleSounds.size(); ++i)
    ini += SoundFileKeyName(static_cast<int>(i) + 1) + "=" + kSampleSounds[i] + "\n";
  return ini;
}

// A sample that names a sound beyond the sound list would not start.
TEST(SamplePrograms, playOnlySoundsOfTheSampleSoundList) {
  for (const auto& [name, build] : Samples()) {
    const ProgramBuilder program = build();
    for (const EventRecord& r : program.records()) {
      if (r.kind != EVENT_SOUND) continue;
      EXPECT_GE(r.value1, 1) << name;
      EXPECT_LE(r.value1, static_cast<int>(kSampleSounds.size())) << name;
    }
  }
  for (const char* file : kSampleSounds)
    EXPECT_TRUE(std::ifstream(test::SourceDir() + "/data/sample/sound/" + file).good()) << file;
}

class SampleRun : public ::testing::Test {
 protected:
  SampleRun() : settings(&ui) {
    setenv("VIREN_AUDIO_SINK", "fakesink sync=true", 0);
    dir.Write("option.ini", SampleSoundList());
    settings.SetPaths(test::SourceDir() + "/data", dir.File("VIREN.ini"), dir.File("option.ini"));
  }
  std::vector<TrackRow> Run(const std::string& name, std::int64_t ms) {
    SimulatedRunOptions options;
    options.programFile = name;
    options.durationMs = ms;
    std::vector<TrackRow> track;
    EXPECT_EQ(RunProgramOnSimulatedCar(settings, ui, options, track), RUN_OK);
    EXPECT_TRUE(ui.messages().empty());
    return track;
  }
  test::TestDir dir;  // no VIREN.ini: every tuning value at its default
  test::FakeUiHost ui;
  Settings settings;
};

TEST_F(SampleRun, everySampleKeepsTheCarOnTheLayoutForAMinute) {
  for (const auto& [name, build] : Samples()) {
    const auto track = Run(name, 60000);
    ASSERT_FALSE(track.empty()) << name;
    EXPECT_GE(track.back().tMs, 59900) << name;
    int minX = 1 << 30, maxX = -minX, minY = minX, maxY = -minX;
    for (const TrackRow& row : track) {
      minX = std::min(minX, row.position.x);
      maxX = std::max(maxX, row.position.x);
      minY = std::min(minY, row.position.y);
      maxY = std::max(maxY, row.position.y);
    }
    EXPECT_TRUE(minX >= 0 && maxX <= 639 && minY >= 0 && maxY <= 479)
        << name << " drives over x " << minX << ".." << maxX << ", y " << minY << ".." << maxY;
  }
}

TEST_F(SampleRun, figureEightTurnsAFullCircleEachWayAndComesBackToItsCrossing) {
  const auto track = Run("figure8.ntc", 60000);
  const ProgramBuilder program = FigureEight();
  // The car as it stands at each stop at the crossing point.
  std::vector<TrackRow> stops;
  int previous = -1;
  for (const TrackRow& row : track) {
    if (row.command != previous && row.command > 0 &&
        program.records()[row.command].kind == EVENT_TIMER)
      stops.push_back(row);
    previous = row.command;
  }
  ASSERT_GE(stops.size(), 10u) << "five eights a minute";
  for (size_t i = 0; i < stops.size(); ++i) {
    // A full turn to the left for the upper lobe, back by one to the right for the lower.
    EXPECT_NEAR(test::Unwrapped(stops[i]), i % 2 == 0 ? -kTwoPi : 0.0, 0.4) << "stop " << i;
    const std::int64_t dx = stops[i].position.x - stops[0].position.x;
    const std::int64_t dy = stops[i].position.y - stops[0].position.y;
    EXPECT_LT(dx * dx + dy * dy, 40 * 40) << "stop " << i << " strays from the crossing";
  }
  // Every shunt half turns the car the way its lock and gear say, forward on
  // left lock and back on right lock to the left (the heading falls), the others
  // to the right; and the car drives forward on both locks.
  int forwardLefts = 0, forwardRights = 0;
  size_t begin = 0;
  for (size_t i = 1; i < track.size(); ++i) {
    if (track[i].command == track[begin].command) continue;
    const int c = track[begin].command;
    if (c > 0 && program.records()[c].kind == EVENT_HANDLE) {
      const bool left = program.records()[c].option == HANDLE_LEFT;
      const bool forward = (track[begin].driveState & DRIVE_STATE_FORWARD) != 0;
      const double turned = test::Unwrapped(track[i - 1]) - test::Unwrapped(track[begin]);
      if (left == forward)
        EXPECT_LT(turned, -0.2) << "at " << track[begin].tMs << " ms";
      else
        EXPECT_GT(turned, 0.2) << "at " << track[begin].tMs << " ms";
      if (forward) ++(left ? forwardLefts : forwardRights);
    }
    begin = i;
  }
  EXPECT_GE(forwardLefts, 30);
  EXPECT_GE(forwardRights, 30);
}

TEST_F(SampleRun, lapStaysInTheCourseRangeAndSweepsAllDirections) {
  const auto track = Run("lap.ntc", 60000);
  double low = 1e9, high = -1e9;
  for (const TrackRow& row : track) {
    EXPECT_GE(row.position.x, 160 - 12);
    EXPECT_LE(row.position.x, 480 + 12);
    EXPECT_GE(row.position.y, 120 - 12);
    EXPECT_LE(row.position.y, 360 + 12);
    low = std::min(low, test::Unwrapped(row));
    high = std::max(high, test::Unwrapped(row));
  }
  EXPECT_GT(high - low, kTwoPi);
}

TEST_F(SampleRun, goToCentreEndsNearTheCentreAndStops) {
  const auto track = Run("centre.ntc", 20000);
  const TrackRow& last = track.back();
  EXPECT_EQ(last.command, -1);  // the program has ended
  EXPECT_EQ(last.driveState & DRIVE_STATE_MOVING, 0u);
  const std::int64_t dx = last.position.x - 320, dy = last.position.y - 240;
  EXPECT_LT(dx * dx + dy * dy, 40 * 40);
  int minX = 1000;
  for (const TrackRow& row : track) minX = std::min(minX, row.position.x);
  EXPECT_LE(minX, 320 - 150);
}

TEST_F(SampleRun, repeatTimerTurnsTheCarRoundInFourTimedPassesThenStops) {
  const auto track = Run("repeat_timer.ntc", 10000);
  int lefts = 0;
  std::uint32_t previous = 0;
  std::int64_t endedAt = -1;
  for (const TrackRow& row : track) {
    if ((row.driveState & DRIVE_STATE_LEFT) && !(previous & DRIVE_STATE_LEFT)) ++lefts;
    if (endedAt < 0 && row.command == -1 && row.tMs > 0) endedAt = row.tMs;
    previous = row.driveState;
  }
  EXPECT_EQ(lefts, 4);
  EXPECT_NEAR(endedAt, 3200, 120);  // four passes of 0.4 s + 0.4 s
  EXPECT_EQ(track.back().driveState, 0u);
  EXPECT_NEAR(test::Unwrapped(track.back()), -kTwoPi, 0.5) << "one full turn to the left";
  const std::int64_t dx = track.back().position.x - 320, dy = track.back().position.y - 240;
  EXPECT_LT(dx * dx + dy * dy, 120 * 120) << "turned round near where it started";
}

TEST_F(SampleRun, ballAvoidRunsAwayFromTheBall) {
  const auto track = Run("ball_avoid.ntc", 10000);
  const TrackRow& last = track.back();
  const std::int64_t dx = last.position.x - 160, dy = last.position.y - 120;
  EXPECT_GT(dx * dx + dy * dy, 300 * 300);  // beyond twice the avoid distance
  EXPECT_EQ(last.command, -1);
}

// The simulated ball starts at (160, 120); the car pushes it from 45 px on
// (the 64-pixel square of an unlearned ball), and the follow ends when the
// car's centre is inside the ball's square.
TEST_F(SampleRun, ballFollowReachesTheBallThenStopsAndEnds) {
  const ProgramBuilder program = BallFollow();
  int follow = -1;
  for (size_t i = 0; i < program.records().size(); ++i)
    if (program.records()[i].kind == EVENT_BALL && program.records()[i].option == BALL_FOLLOW)
      follow = static_cast<int>(i);
  ASSERT_GT(follow, 0);
  const auto track = Run("ball_follow.ntc", 10000);
  const auto first = std::find_if(track.begin(), track.end(),
                                  [&](const TrackRow& r) { return r.command == follow; });
  ASSERT_NE(first, track.end());
  const auto after =
      std::find_if(first, track.end(), [&](const TrackRow& r) { return r.command != follow; });
  ASSERT_NE(after, track.end()) << "the car never reached the ball";
  EXPECT_GT(after->command, follow);
  EXPECT_LT(after->tMs, 3000);
  std::int64_t nearest = 1 << 30;
  for (auto row = first; row != after; ++row) {
    const std::int64_t dx = row->position.x - 160, dy = row->position.y - 120;
    nearest = std::min(nearest, dx * dx + dy * dy);
  }
  EXPECT_LT(nearest, 64 * 64 / 2) << "the car came within pushing reach of the ball";
  EXPECT_EQ(track.back().command, -1);
  EXPECT_EQ(track.back().driveState & DRIVE_STATE_MOVING, 0u);
}

TEST_F(SampleRun, soundsDrivesOutAndBackAndEndsWhereItStarted) {
  const auto track = Run("sounds.ntc", 10000);
  std::int64_t endedAt = -1;
  int farthest = 0;
  for (const TrackRow& row : track) {
    if (endedAt < 0 && row.command == -1 && row.tMs > 0) endedAt = row.tMs;
    farthest = std::max(farthest, row.position.x - 320);
  }
  EXPECT_GE(farthest, kSoundsDistancePx);
  EXPECT_GT(endedAt, 1500);  // half a second and a second of waiting, and the drives
  EXPECT_LT(endedAt, 2500);
  EXPECT_NEAR(track.back().position.x, 320, 16);
  EXPECT_EQ(track.back().position.y, 240);
}

TEST_F(SampleRun, twoRunsOnTheVirtualClockGiveTheSameTrack) {
  const auto first = Run("figure8.ntc", 30000);
  const auto second = Run("figure8.ntc", 30000);
  ASSERT_EQ(first.size(), second.size());
  std::string a, b;
  for (const TrackRow& row : first) a += FormatTrackRow(row) + "\n";
  for (const TrackRow& row : second) b += FormatTrackRow(row) + "\n";
  EXPECT_EQ(a, b);
  EXPECT_GE(first.back().tMs, 29990);
}

TEST(TrackRowTest, formatsTheColumnsOfTheTrackFile) {
  TrackRow row;
  row.tMs = 1230;
  row.position = Point{424, -3};
  row.direction = -1.5707963;
  row.turnCount = -2;
  row.driveState = 0x12;
  row.command = 4;
  EXPECT_EQ(FormatTrackRow(row), "1230,424,-3,-1.57080,-2,18,4");
  EXPECT_EQ(kTrackHeader, "t_ms,x,y,direction,turn_count,drive_state,command");
}

TEST_F(SampleRun, unreadableProgramIsReportedAndNothingRuns) {
  SimulatedRunOptions options;
  options.programFile = dir.File("missing.ntc");
  std::vector<TrackRow> track;
  EXPECT_EQ(RunProgramOnSimulatedCar(settings, ui, options, track), RUN_PROGRAM_UNREADABLE);
  EXPECT_EQ(ui.messageIds(), std::vector<int>{149});
  EXPECT_TRUE(track.empty());
}

}  // namespace
}  // namespace viren
