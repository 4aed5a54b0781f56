// Every sample program, run by viren-run on the shipped program folder with
// the virtual clock, does what its name promises: read back from the track
// CSV as a user would plot it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/RunViren.h"
#include "support/TestDir.h"

namespace viren {
namespace {

struct Row {
  long long t;
  int x, y;
  double heading;  // unwrapped: direction + 2 pi turn_count
  unsigned state;
  int command;
};

constexpr unsigned kMoving = 0x02 | 0x04;  // FORWARD, REVERSE
constexpr double kDegree = M_PI / 180;

double Distance(const Row& row, double x, double y) {
  return std::hypot(row.x - x, row.y - y);
}

// Whether segments ab and cd cross, and at what angle (radians, 0..pi/2).
bool Cross(const Row& a, const Row& b, const Row& c, const Row& d, double& angle) {
  const auto side = [](const Row& p, const Row& q, const Row& r) {
    return static_cast<long long>(q.x - p.x) * (r.y - p.y) -
           static_cast<long long>(q.y - p.y) * (r.x - p.x);
  };
  const long long d1 = side(a, b, c), d2 = side(a, b, d), d3 = side(c, d, a), d4 = side(c, d, b);
  if (!(((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0))))
    return false;
  const double u = std::atan2(b.y - a.y, b.x - a.x), v = std::atan2(d.y - c.y, d.x - c.x);
  angle = std::fabs(std::remainder(u - v, M_PI));
  return true;
}

// The widest angle at which the track crosses itself (0 when it never does).
// The track is thinned to one point per 6 px so that a step's rounding does
// not count as a crossing.
double WidestSelfCrossing(const std::vector<Row>& rows) {
  std::vector<Row> path;
  for (const Row& row : rows)
    if (path.empty() || Distance(row, path.back().x, path.back().y) >= 6) path.push_back(row);
  double widest = 0;
  for (size_t i = 1; i < path.size(); ++i)
    for (size_t j = i + 2; j < path.size(); ++j) {
      double angle = 0;
      if (Cross(path[i - 1], path[i], path[j - 1], path[j], angle))
        widest = std::max(widest, angle);
    }
  return widest;
}

class SampleTasks : public ::testing::Test {
 protected:
  SampleTasks() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    std::filesystem::copy(test::ProgramFolder() + "/sample", dir.File("sample"),
                          std::filesystem::copy_options::recursive);
    dir.Write("option.ini",
              "[AGREEMENT]\r\nAGREEMENT=1\r\n[SOUND]\r\nSOUND_FILE1=horn.wav\r\n"
              "SOUND_FILE2=engine.wav\r\nSOUND_FILE3=tune.mid\r\n");
  }
  std::vector<Row> Run(const std::string& program, int seconds) {
    const auto r = test::RunViren("--dir " + dir.path() + " --program " + program +
                                  " --auto --virtual-clock --seconds " + std::to_string(seconds) +
                                  " --track " + dir.File("t.csv"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "") << "no message";
    std::vector<Row> rows;
    std::istringstream in(dir.Read("t.csv"));
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
      Row row{};
      double direction = 0;
      int turns = 0;
      if (std::sscanf(line.c_str(), "%lld,%d,%d,%lf,%d,%u,%d", &row.t, &row.x, &row.y, &direction,
                      &turns, &row.state, &row.command) != 7)
        continue;
      row.heading = direction + 2 * M_PI * turns;
      rows.push_back(row);
    }
    return rows;
  }
  test::TestDir dir;
};

TEST_F(SampleTasks, everySampleDoesItsTaskAndStops) {
  struct Sample {
    const char* name;
    std::function<void(const std::vector<Row>&)> task;
  };
  const Sample samples[] = {
      {"lap.ntc",
       [](const std::vector<Row>& rows) {
         // Three times round and back past the start, turning one full turn
         // anticlockwise each lap, on a lap several car lengths across.
         int laps = 0;
         bool away = false;
         int minX = 640, maxX = 0, minY = 480, maxY = 0;
         for (const Row& row : rows) {
           const double d = Distance(row, 320, 240);
           if (d > 100) away = true;
           if (away && d < 20) ++laps, away = false;
           minX = std::min(minX, row.x), maxX = std::max(maxX, row.x);
           minY = std::min(minY, row.y), maxY = std::max(maxY, row.y);
         }
         EXPECT_EQ(laps, 3);
         EXPECT_NEAR(rows.back().heading, -6 * M_PI, 20 * kDegree);
         EXPECT_GE(maxX - minX, 200);
         EXPECT_GE(maxY - minY, 80);
       }},
      {"figure8.ntc",
       [](const std::vector<Row>& rows) {
         // The track crosses itself at a wide angle, and the car turns three
         // quarters of a turn each way in every eight.
         EXPECT_GT(WidestSelfCrossing(rows), 60 * kDegree);
         int rightLoops = 0, leftLoops = 0;
         double low = rows.front().heading, high = low;
         for (const Row& row : rows) {
           low = std::min(low, row.heading), high = std::max(high, row.heading);
           if (high - row.heading > 260 * kDegree) ++leftLoops, high = low = row.heading;
           if (row.heading - low > 260 * kDegree) ++rightLoops, high = low = row.heading;
         }
         EXPECT_EQ(rightLoops, 3);
         EXPECT_EQ(leftLoops, 3);
       }},
      {"repeat_timer.ntc",
       [](const std::vector<Row>& rows) {
         // Four timed quarter turns: about one full turn anticlockwise, back
         // near its start, in about two seconds.
         EXPECT_NEAR(rows.back().heading, -2 * M_PI, 30 * kDegree);
         EXPECT_LT(Distance(rows.back(), 320, 240), 30);
         const auto end = std::find_if(rows.begin(), rows.end(),
                                       [](const Row& r) { return r.command == -1 && r.t > 0; });
         EXPECT_NEAR(end->t, 2200, 150);
       }},
      {"points.ntc",
       [](const std::vector<Row>& rows) {
         // Each corner of the tour in turn, then the centre.
         const double tour[][2] = {{420, 160}, {420, 320}, {220, 320}, {220, 160}, {320, 240}};
         auto at = rows.begin();
         for (const auto& point : tour) {
           at = std::find_if(at, rows.end(),
                             [&](const Row& r) { return Distance(r, point[0], point[1]) < 36; });
           ASSERT_NE(at, rows.end()) << point[0] << ", " << point[1] << " never reached";
         }
         EXPECT_LT(Distance(rows.back(), 320, 240), 36);
         EXPECT_LT(at->t, 8000) << "no long detours";
       }},
      {"centre.ntc",
       [](const std::vector<Row>& rows) {
         const auto farLeft = std::min_element(
             rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.x < b.x; });
         EXPECT_LE(farLeft->x, 175);
         EXPECT_LT(Distance(rows.back(), 320, 240), 36);
       }},
      {"ball_follow.ntc",
       [](const std::vector<Row>& rows) {
         // The simulated ball starts at (160, 120), behind the car; the car
         // stands inside its square, 128 px across at the default camera.
         EXPECT_LT(Distance(rows.back(), 160, 120), 91);
       }},
      {"ball_avoid.ntc",
       [](const std::vector<Row>& rows) {
         EXPECT_GT(Distance(rows.back(), 160, 120), 300);  // twice the avoid distance
       }},
      {"sounds.ntc",
       [](const std::vector<Row>& rows) {
         const auto farthest = std::max_element(
             rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.x < b.x; });
         EXPECT_GE(farthest->x, 440);
         EXPECT_LT(Distance(rows.back(), 320, 240), 16);
       }},
  };
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("sample/program")),
                          std::filesystem::directory_iterator{}) -
                1,  // .keep
            std::size(samples))
      << "every shipped sample has its task here";
  for (const Sample& sample : samples) {
    SCOPED_TRACE(sample.name);
    const auto rows = Run(sample.name, 20);
    ASSERT_GT(rows.size(), 10u);
    // Every sample ends on its own, with the car standing, and never leaves
    // the layout.
    EXPECT_EQ(rows.back().command, -1) << "still running after 20 s";
    EXPECT_EQ(rows.back().state & kMoving, 0u);
    for (const Row& row : rows) {
      EXPECT_TRUE(row.x >= 0 && row.x < 640 && row.y >= 0 && row.y < 480)
          << "off the layout at " << row.t << " ms: " << row.x << ", " << row.y;
      if (HasFailure()) break;
    }
    sample.task(rows);
  }
}

}  // namespace
}  // namespace viren
