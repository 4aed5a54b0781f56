// Camera-like errors on the simulated car, as a user switches them on in
// option.ini and reads the track of viren-run: position noise, frames that do
// not find the car, a delay, and a seed that repeats them exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/ProgramBytes.h"
#include "support/RunViren.h"
#include "support/TestDir.h"

namespace viren {
namespace {

struct Row {
  long long t;
  int x, y;
  unsigned state;
};

constexpr unsigned kForward = 0x02;

class CameraErrors : public ::testing::Test {
 protected:
  CameraErrors() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    // Forward for two seconds along y = 240, then stop.
    dir.Write(
        "straight.ntc",
        test::ProgramFileBytes(test::StartChain({{3, 1, 0, 0}, {2, 0, 2, 0}, {3, 0, 0, 0}, {8}})));
  }
  // The track text of a run with `simulation` as option.ini's [SIMULATION].
  std::string Run(const std::string& simulation) {
    dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n[SIMULATION]\r\n" + simulation);
    const auto r =
        test::RunViren("--dir " + dir.path() + " --program " + dir.File("straight.ntc") +
                       " --auto --virtual-clock --seconds 3 --track " + dir.File("t.csv"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return dir.Read("t.csv");
  }
  static std::vector<Row> Rows(const std::string& csv) {
    std::vector<Row> rows;
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
      Row row{};
      double direction;
      int turns, command;
      if (std::sscanf(line.c_str(), "%lld,%d,%d,%lf,%d,%u,%d", &row.t, &row.x, &row.y, &direction,
                      &turns, &row.state, &command) == 7)
        rows.push_back(row);
    }
    return rows;
  }
  test::TestDir dir;
};

// 2 px noise, a fifth of the frames lost, 200 ms late, 25 frames a second.
constexpr const char* kErrors =
    "CAMERA_NOISE=2.0\r\nCAMERA_DROP=20\r\nCAMERA_DELAY=200\r\nCAMERA_RATE=25\r\n";

TEST_F(CameraErrors, sameSeedRepeatsTheTrackAnotherSeedDoesNot) {
  const std::string on = std::string(kErrors) + "CAMERA_ERRORS=1\r\n";
  const std::string first = Run(on + "CAMERA_SEED=7\r\n");
  EXPECT_EQ(Run(on + "CAMERA_SEED=7\r\n"), first);
  const std::string other = Run(on + "CAMERA_SEED=8\r\n");
  EXPECT_NE(other, first);
  EXPECT_EQ(Rows(other).size(), Rows(first).size()) << "only the errors differ, not the run";
}

TEST_F(CameraErrors, offByDefaultTheTrackIsExact) {
  for (const std::string& simulation : {std::string(kErrors), std::string()}) {
    const auto rows = Rows(Run(simulation));
    ASSERT_GT(rows.size(), 150u);
    int previousX = rows.front().x;
    for (const Row& row : rows) {
      EXPECT_EQ(row.y, 240) << row.t;
      if (row.state & kForward) {
        EXPECT_LE(row.x - previousX, 2) << row.t;
      }
      previousX = row.x;
      if (HasFailure()) return;
    }
  }
}

TEST_F(CameraErrors, positionsAreNoisyLateAndOnlyInTheFramesThatFindTheCar) {
  const auto rows = Rows(Run(std::string(kErrors) + "CAMERA_ERRORS=1\r\nCAMERA_SEED=3\r\n"));
  ASSERT_GT(rows.size(), 150u);
  const auto start = std::find_if(rows.begin(), rows.end(),
                                  [](const Row& r) { return (r.state & kForward) != 0; });
  ASSERT_NE(start, rows.end());
  // The car itself is 10 px on 70 ms after it starts; the camera shows it
  // 200 ms later (the noise may show it a little early).
  const auto seen = std::find_if(start, rows.end(), [](const Row& r) { return r.x >= 330; });
  ASSERT_NE(seen, rows.end());
  EXPECT_GE(seen->t - start->t, 200);
  EXPECT_LE(seen->t - start->t, 400);
  // Reported positions change only in frames that find the car: 25 a second,
  // a fifth of them lost, for the two seconds of driving.
  int frames = 0;
  double sum2 = 0;
  for (auto row = std::next(start); row != rows.end() && (row->state & kForward); ++row) {
    if (row->x == std::prev(row)->x && row->y == std::prev(row)->y) continue;
    ++frames;
    sum2 += (row->y - 240.0) * (row->y - 240.0);
  }
  EXPECT_GE(frames, 30);
  EXPECT_LE(frames, 46);
  const double spread = std::sqrt(sum2 / std::max(frames, 1));
  EXPECT_GT(spread, 1.4);
  EXPECT_LT(spread, 2.7);
}

}  // namespace
}  // namespace viren
