// Ball commands of a driving program run by viren-run on the simulated car and
// the virtual clock. No ball has been learned: the simulation puts the ball at
// (160, 120) with the car at (320, 240), and the ball is the 64-pixel square of
// an unlearned pattern in the camera picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/RunViren.h"
#include "support/TestDir.h"

namespace viren {
namespace {

constexpr int kEventBall = 9;
constexpr int kBallFollow = 1;
constexpr int kBallAvoid = 2;
constexpr int kBallX = 160, kBallY = 120;
constexpr std::uint32_t kMoving = 0x02 | 0x04;  // FORWARD, REVERSE

struct Row {
  std::int64_t tMs;
  int x, y;
  std::uint32_t driveState;
  int command;
};

// Slot of the first ball command with `option` in a program file, -1: none.
int BallCommand(const std::string& path, int option) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  for (size_t at = 32, index = 0; at + 32 <= bytes.size(); at += 32, ++index)
    if (bytes[at] == kEventBall && bytes[at + 1] == option) return static_cast<int>(index);
  return -1;
}

std::int64_t Distance2(const Row& row) {
  const std::int64_t dx = row.x - kBallX, dy = row.y - kBallY;
  return dx * dx + dy * dy;
}

class BallRun : public ::testing::Test {
 protected:
  BallRun() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    std::filesystem::create_directories(dir.File("sample/sound"));
    std::filesystem::copy_file(test::ProgramFolder() + "/sample/sound/horn.wav",
                               dir.File("sample/sound/horn.wav"));
  }

  // Runs the sample `program`, given by its full path, with the camera size
  // `resolution` ("320,240" is the default).
  std::vector<Row> Run(const std::string& program, const std::string& resolution, int seconds) {
    dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n[CAPTURE]\r\nRESOLUTION=" + resolution +
                                "\r\n[SOUND]\r\nSOUND_FILE1=horn.wav\r\n");
    std::ostringstream args;
    args << "--dir " << dir.path() << " --program " << Sample(program)
         << " --auto --virtual-clock --seconds " << seconds << " --track " << dir.File("t.csv");
    const auto r = test::RunViren(args.str());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find('['), std::string::npos) << "no message: " << r.err;
    std::vector<Row> rows;
    std::istringstream in(dir.Read("t.csv"));
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
      Row row{};
      long long tMs = 0;
      double direction = 0;
      int turns = 0;
      if (std::sscanf(line.c_str(), "%lld,%d,%d,%lf,%d,%u,%d", &tMs, &row.x, &row.y, &direction,
                      &turns, &row.driveState, &row.command) == 7) {
        row.tMs = tMs;
        rows.push_back(row);
      }
    }
    return rows;
  }
  static std::string Sample(const std::string& name) {
    return test::ProgramFolder() + "/sample/program/" + name;
  }

  test::TestDir dir;
};

// The follow command holds the program until the car stands at the ball; the
// program then goes on, stops the car and ends. At a camera 640 wide the
// ball's square is 64 layout pixels and the car pushes the ball from 45 px
// on; at the default 320 it is 128 layout pixels, which the car enters first.
TEST_F(BallRun, followReachesTheBallAndTheProgramGoesOn) {
  const int follow = BallCommand(Sample("ball_follow.ntc"), kBallFollow);
  ASSERT_GT(follow, 0);
  struct Camera {
    const char* resolution;
    int reachPx;  // the car centre this close to the ball's start is at the ball
  };
  // At 320 the car may enter the 128 px square at a corner: 64 * sqrt(2) from its centre.
  for (const Camera camera : {Camera{"640,480", 46}, Camera{"320,240", 91}}) {
    SCOPED_TRACE(camera.resolution);
    const auto rows = Run("ball_follow.ntc", camera.resolution, 6);
    ASSERT_FALSE(rows.empty());
    auto first =
        std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r.command == follow; });
    ASSERT_NE(first, rows.end()) << "the follow command never ran";
    auto after = std::find_if(first, rows.end(), [&](const Row& r) { return r.command != follow; });
    ASSERT_NE(after, rows.end()) << "the car never reached the ball";
    EXPECT_GT(after->command, follow) << "the program went on past the follow command";
    EXPECT_LT(after->tMs, 4000);  // the shipped car drives 150 px a second
    std::int64_t nearest = Distance2(*first);
    for (auto row = first; row != after; ++row) nearest = std::min(nearest, Distance2(*row));
    EXPECT_LT(nearest, std::int64_t{camera.reachPx} * camera.reachPx);
    // Once at the ball the car stops and stays there.
    const Row& last = rows.back();
    EXPECT_EQ(last.command, -1);
    EXPECT_EQ(last.driveState & kMoving, 0u);
    const auto stand = std::prev(after);
    EXPECT_LE(std::abs(last.x - stand->x) + std::abs(last.y - stand->y), 16);
    for (const Row& row : rows) {
      EXPECT_TRUE(row.x >= 0 && row.x < 640 && row.y >= 0 && row.y < 480)
          << "off the layout at " << row.tMs << " ms: " << row.x << "," << row.y;
      if (HasFailure()) break;
    }
  }
}

// The avoid command drives the car away until it is farther than twice the
// avoid distance (150 px) from the ball; the program then ends.
TEST_F(BallRun, avoidEscapesTheBallAndTheProgramEnds) {
  const int avoid = BallCommand(Sample("ball_avoid.ntc"), kBallAvoid);
  ASSERT_GT(avoid, 0);
  const auto rows = Run("ball_avoid.ntc", "320,240", 6);
  ASSERT_FALSE(rows.empty());
  EXPECT_LT(Distance2(rows.front()), 300 * 300) << "the car starts within reach of the ball";
  EXPECT_TRUE(
      std::any_of(rows.begin(), rows.end(), [&](const Row& r) { return r.command == avoid; }));
  const Row& last = rows.back();
  EXPECT_EQ(last.command, -1);
  EXPECT_EQ(last.driveState & kMoving, 0u);
  EXPECT_GT(Distance2(last), 300 * 300);
}

}  // namespace
}  // namespace viren
