// The sample programs of sample/program: the committed files are the ones
// built here (VIREN_WRITE_SAMPLES=1 rewrites them). What each does on the
// simulated car is checked from viren-run's track (tests/e2e).
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

// The samples are written for the shipped tuning (data/VIREN.ini): the car
// drives 150 px a second and turns on full lock on a circle of 30 px radius.
constexpr int kTurnRadiusPx = 30;

// A figure eight lying on its side, three times, sounding the horn: the
// car turns 45 degrees to the left onto the diagonal through the crossing,
// then on each eight drives 30 px up to the right-hand loop, turns 270
// degrees to the right, crosses over on the other diagonal (60 px), turns 270
// degrees to the left and comes back to the crossing. With the loops' circles
// 30 px in radius and the diagonals at 45 degrees, the straights are one
// radius long on each side of the crossing.
constexpr int kEightCount = 3;
ProgramBuilder FigureEight() {
  ProgramBuilder p;
  p.Add(EVENT_SOUND, SOUND_REPEAT, 1);
  p.Add(EVENT_CAR, CAR_FORWARD, 0, 0);
  p.Add(EVENT_HANDLE, HANDLE_LEFT, 45, 0);  // straightens when turned
  const int first = p.Add(EVENT_CAR, CAR_FORWARD, kTurnRadiusPx, 0);
  p.Add(EVENT_HANDLE, HANDLE_RIGHT, 270, 0);
  p.Add(EVENT_CAR, CAR_FORWARD, 2 * kTurnRadiusPx, 0);
  p.Add(EVENT_HANDLE, HANDLE_LEFT, 270, 0);
  p.Add(EVENT_CAR, CAR_FORWARD, kTurnRadiusPx, 0);
  const int repeat = p.Add(EVENT_REPEAT, 0, kEightCount);
  p.Link(repeat, first);
  p.Add(EVENT_CAR, CAR_STOP);
  p.Add(EVENT_SOUND, SOUND_STOP, 1);
  p.Add(EVENT_END);
  return p;
}

// Three laps round a rounded rectangle in the upper half of the course range,
// anticlockwise: the car starts in the middle of the bottom straight, and
// each lap is four straights with a quarter turn to the left after each. It
// stops where it started and sounds the horn.
constexpr int kLapCount = 3;
constexpr int kLapLongPx = 180;
constexpr int kLapShortPx = 40;
ProgramBuilder CourseLap() {
  ProgramBuilder p;
  p.Add(EVENT_CAR, CAR_FORWARD, 0, 0);
  const int first = p.Add(EVENT_CAR, CAR_FORWARD, kLapLongPx / 2, 0);
  for (const int straight : {kLapShortPx, kLapLongPx, kLapShortPx}) {
    p.Add(EVENT_HANDLE, HANDLE_LEFT, 90, 0);
    p.Add(EVENT_CAR, CAR_FORWARD, straight, 0);
  }
  p.Add(EVENT_HANDLE, HANDLE_LEFT, 90, 0);
  p.Add(EVENT_CAR, CAR_FORWARD, kLapLongPx / 2, 0);
  const int repeat = p.Add(EVENT_REPEAT, 0, kLapCount);
  p.Link(repeat, first);
  p.Add(EVENT_CAR, CAR_STOP);
  p.Add(EVENT_SOUND, SOUND_ONCE, 1);
  p.Add(EVENT_TIMER, 0, 1, 0);
  p.Add(EVENT_END);
  return p;
}

// Visits four points of the course range one after the other, as a car sent
// round the corners of a square would, and comes back to the centre.
constexpr std::array<Point, 4> kTourPoints = {{{420, 160}, {420, 320}, {220, 320}, {220, 160}}};
ProgramBuilder PointTour() {
  ProgramBuilder p;
  for (const Point& point : kTourPoints) p.Add(EVENT_POSITION, POSITION_POINT, point.x, point.y);
  p.Add(EVENT_POSITION, POSITION_CAMERA_CENTRE);
  p.Add(EVENT_CAR, CAR_STOP);
  p.Add(EVENT_SOUND, SOUND_ONCE, 1);
  p.Add(EVENT_TIMER, 0, 1, 0);
  p.Add(EVENT_END);
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

// Turns the car round by the clock: once it is rolling, four passes of 0.3 s
// on left lock and 0.2 s straight ahead, each pass nearly a quarter turn
// (5 rad a second on full lock), so the car drives a small rounded square.
// Then it stops and sounds the horn once.
constexpr int kTimedPasses = 4;
ProgramBuilder RepeatTimer() {
  ProgramBuilder p;
  p.Add(EVENT_CAR, CAR_FORWARD, 15, 0);
  const int first = p.Add(EVENT_HANDLE, HANDLE_LEFT, 0);
  p.Add(EVENT_TIMER, 0, 0, 3);
  p.Add(EVENT_HANDLE, HANDLE_STRAIGHT, 0);
  p.Add(EVENT_TIMER, 0, 0, 2);
  const int repeat = p.Add(EVENT_REPEAT, 0, kTimedPasses);
  p.Link(repeat, first);
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

// The simulated ball lies behind the car, up to the left. The car backs past
// it, turns up the course with a 120 degree left turn and follows the ball
// until it stands at it; then it ends ball recognition, stops and sounds the
// horn once. (Coming at the ball from below like this, along the diagonal of
// its square, the car gets to it even with a camera 640 wide, where the
// simulated car pushes the ball ahead of it.)
constexpr int kBallFollowBackPx = 210;
constexpr int kBallFollowTurnDeg = 120;
ProgramBuilder BallFollow() {
  ProgramBuilder p;
  p.Add(EVENT_CAR, CAR_REVERSE, kBallFollowBackPx, 0);
  p.Add(EVENT_CAR, CAR_FORWARD, 0, 0);
  p.Add(EVENT_HANDLE, HANDLE_LEFT, kBallFollowTurnDeg, 0);  // straightens when turned
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
      {"sounds.ntc", Sounds},        {"points.ntc", PointTour},
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
    const std::string data = test::SourceDir() + "/data";
    settings.SetPaths(data, data + "/VIREN.ini", dir.File("option.ini"));
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
  test::TestDir dir;
  test::FakeUiHost ui;
  Settings settings;
};

TEST_F(SampleRun, twoRunsOnTheVirtualClockGiveTheSameTrack) {
  const auto first = Run("figure8.ntc", 30000);
  const auto second = Run("figure8.ntc", 30000);
  ASSERT_EQ(first.size(), second.size());
  std::string a, b;
  for (const TrackRow& row : first) a += FormatTrackRow(row) + "\n";
  for (const TrackRow& row : second) b += FormatTrackRow(row) + "\n";
  EXPECT_EQ(a, b);
  EXPECT_GE(first.back().tMs, 29900);  // at rest a step takes 100 ms
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
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_PROGRAM_READ_FAILED});
  EXPECT_TRUE(track.empty());
}

}  // namespace
}  // namespace viren
