// viren-run's look at program files before a run and its picture and report
// of a run afterwards, as a teacher uses them from a terminal.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include "support/ProgramBytes.h"
#include "support/RunViren.h"
#include "support/TestDir.h"
#include "views/TrackDrawing.h"

namespace viren {
namespace {

using test::CommandBytes;
using test::StartChain;

class CheckAndTrack : public ::testing::Test {
 protected:
  CheckAndTrack() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    std::filesystem::copy(test::ProgramFolder() + "/sample", dir.File("sample"),
                          std::filesystem::copy_options::recursive);
    dir.Write("bell.wav", "RIFF");
    dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n[SOUND]\r\nSOUND_FILE1=" +
                                dir.File("bell.wav") + "\r\n");
  }
  std::string Program(const std::string& name, const std::vector<CommandBytes>& commands) {
    dir.Write(name, test::ProgramFileBytes(commands));
    return dir.File(name);
  }
  test::TestDir dir;
};

TEST_F(CheckAndTrack, checkPrintsOneLineAFindingAndFailsOnlyOnErrors) {
  const CommandBytes timer{2, 0, 1, 0};
  const std::string clean = Program("clean.ntc", StartChain({timer, {7, 1, 1, 0}, {8}}));
  const std::string warning = Program("warning.ntc", StartChain({timer}));
  const std::string error = Program("error.ntc", StartChain({{7, 1, 2, 0}, {8}}));
  dir.Write("notes.ntc", "these are not a program");
  const std::string folder = " --dir " + dir.path();

  auto r = test::RunVirenForOutput(folder + " --check " + clean);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");

  r = test::RunVirenForOutput(folder + " --check " + warning);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "command 1: 終了コマンドがありません。自動運転を止めるまで、車は最後のコマンドの"
            "動作を続けます\n");

  r = test::RunVirenForOutput(folder + " --check " + error);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out, "command 1: サウンド番号2はサウンドリストにありません(1～1)\n");

  // A class's files in one go: each line names its file.
  r = test::RunVirenForOutput(folder + " --check " + clean + " --check " + warning + " --check " +
                              error + " --check " + dir.File("notes.ntc"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, warning +
                       ": command 1: 終了コマンドがありません。自動運転を止めるまで、車は"
                       "最後のコマンドの動作を続けます\n" +
                       error + ": command 1: サウンド番号2はサウンドリストにありません(1～1)\n");
  EXPECT_NE(r.err.find(dir.File("notes.ntc") + ": " + test::MessageTag(MSG_NOT_PROGRAM_FILE)),
            std::string::npos)
      << r.err;
  // Nothing was started: no disclaimer, no engine.
  EXPECT_EQ(r.err.find("[disclaimer]"), std::string::npos);
}

struct Row {
  long long t;
  int x, y, command;
};

std::vector<Row> ReadTrack(const std::string& text) {
  std::vector<Row> rows;
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    Row r{};
    double direction;
    int turns;
    unsigned state;
    if (std::sscanf(line.c_str(), "%lld,%d,%d,%lf,%d,%u,%d", &r.t, &r.x, &r.y, &direction, &turns,
                    &state, &r.command) == 7)
      rows.push_back(r);
  }
  return rows;
}

double DistanceToSegment(double px, double py, const Row& a, const Row& b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((px - a.x) * dx + (py - a.y) * dy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(px - (a.x + t * dx), py - (a.y + t * dy));
}

TEST_F(CheckAndTrack, trackPictureLiesOnTheCsvPositionsAndTheReportAddsUp) {
  // Out of the course range to a point near the bottom right corner of the
  // layout, and back to the centre.
  const std::string program =
      Program("out.ntc", StartChain({{5, 3, 560, 420}, {5, 2}, {3, 0}, {2, 0, 5, 0}}));
  const auto r = test::RunViren("--dir " + dir.path() + " --program " + program +
                                " --auto --virtual-clock --seconds 8 --track " + dir.File("t.csv") +
                                " --track-picture " + dir.File("t.png"));
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<Row> run;
  for (const Row& row : ReadTrack(dir.Read("t.csv")))
    if (row.command != -1) run.push_back(row);
  ASSERT_GT(run.size(), 100u);

  QImage picture;
  ASSERT_TRUE(picture.load(QString::fromStdString(dir.File("t.png"))));
  ASSERT_EQ(picture.size(), QSize(640, 480));
  picture = picture.convertToFormat(QImage::Format_RGB32);

  // Every position of the run is on the track (or under one of its marks)...
  const std::set<QRgb> drawn = {kTrackColor, kTrackStartColor, kTrackEndColor, kTrackChangeColor};
  int offTrack = 0;
  for (const Row& row : run)
    if (!drawn.count(picture.pixel(row.x, row.y) | 0xFF000000)) ++offTrack;
  EXPECT_EQ(offTrack, 0);
  // ...and every track pixel lies on the line through the positions.
  int trackPixels = 0;
  double worst = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      if ((picture.pixel(x, y) | 0xFF000000) != kTrackColor) continue;
      ++trackPixels;
      double nearest = 1e9;
      for (size_t i = 1; i < run.size() && nearest > 1.0; ++i)
        nearest = std::min(nearest, DistanceToSegment(x, y, run[i - 1], run[i]));
      worst = std::max(worst, nearest);
    }
  EXPECT_GT(trackPixels, 300);
  EXPECT_LE(worst, 1.0);
  // The start ring and the end square stand around the first and last positions.
  EXPECT_EQ(picture.pixel(run.front().x + 7, run.front().y) | 0xFF000000, kTrackStartColor);
  EXPECT_EQ(picture.pixel(run.back().x - 7, run.back().y) | 0xFF000000, kTrackEndColor);

  std::map<std::string, double> report;
  std::istringstream in(dir.Read("t.report.csv"));
  std::string line;
  while (std::getline(in, line)) {
    const auto comma = line.find(',');
    if (comma != std::string::npos && line != "key,value")
      report[line.substr(0, comma)] = std::stod(line.substr(comma + 1));
  }
  double distance = 0;
  int exits = 0;
  bool inside = true;  // the run starts at the centre of the course range
  for (size_t i = 1; i < run.size(); ++i) {
    distance += std::hypot(run[i].x - run[i - 1].x, run[i].y - run[i - 1].y);
    const bool now = run[i].x >= 160 && run[i].x <= 480 && run[i].y >= 120 && run[i].y <= 360;
    exits += inside && !now;
    inside = now;
  }
  EXPECT_EQ(report["duration_ms"], static_cast<double>(run.back().t - run.front().t));
  EXPECT_NEAR(report["distance_px"], distance, 0.1);
  EXPECT_EQ(report["course_range_exits"], exits);
  EXPECT_GT(exits, 0);
  EXPECT_EQ(report["last_command"], run.back().command);
  EXPECT_EQ(report["commands_executed"], 4);
}

}  // namespace
}  // namespace viren
