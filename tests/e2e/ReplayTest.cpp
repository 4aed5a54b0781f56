// A run on a video with the frame dump on, then the dumped bitmaps played back
// as a video: the analysis must find the car where it found it the first
// time, frame for frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../capture/CaptureTestSupport.h"
#include "capture/BitmapFolderSource.h"
#include "support/RunViren.h"
#include "support/TestDir.h"

namespace viren {
namespace {

using test::RunViren;

struct Centre {
  int x = 0;
  int y = 0;
};

// The car's layout position after each analysed frame, from a track.
std::vector<Centre> ReadCentres(const std::string& csv) {
  std::vector<Centre> centres;
  std::istringstream lines(csv);
  std::string line;
  std::getline(lines, line);  // header
  while (std::getline(lines, line)) {
    Centre c;
    if (std::sscanf(line.c_str(), "%*[^,],%d,%d", &c.x, &c.y) == 2) centres.push_back(c);
  }
  return centres;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class Replay : public ::testing::Test {
 protected:
  Replay() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    std::filesystem::copy(test::ProgramFolder() + "/sample", dir.File("sample"),
                          std::filesystem::copy_options::recursive);
  }
  // option.ini with the disclaimer accepted, the folder rate and the dump.
  void WriteOptions(int folderRate, const std::string& dumpFolder) {
    std::filesystem::create_directories(dumpFolder);
    dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n[CAPTURE]\r\nFOLDER_RATE=" +
                                std::to_string(folderRate) +
                                "\r\n[DEBUG]\r\nCAPTURE=" + dumpFolder + "\r\n");
  }
  test::TestDir dir;
};

// The 50-frame video loops twice in the five seconds, so the replay also
// covers the jump back to the first picture.
TEST_F(Replay, theDumpOfARunPlayedBackGivesTheSameCentresAndPictures) {
  const std::string video = dir.File("moving.avi");
  ASSERT_TRUE(test::WriteTestVideo(video, 320, 240, 50, test::VideoCodec::Raw));

  // The folder plays at the video's own 25 frames a second.
  const std::string recorded = dir.File("recorded");
  WriteOptions(25, recorded);
  auto r = RunViren("--dir " + dir.path() + " --video " + video + " --seconds 5 --track " +
                    dir.File("a.csv"));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<Centre> first = ReadCentres(dir.Read("a.csv"));
  const std::vector<std::string> recordedFrames = BitmapFolderSource::ListFrames(recorded);
  // One picture for every analysed frame.
  EXPECT_EQ(recordedFrames.size(), first.size());
  // 125 frames at the video's rate; a slow machine (a sanitizer build) falls
  // behind it, but every run must still play past the loop at frame 50.
  constexpr std::size_t kEnough = 60;
  ASSERT_GE(first.size(), kEnough) << "the video was hardly analysed";

  const std::string replayed = dir.File("replayed");
  WriteOptions(25, replayed);
  r = RunViren("--dir " + dir.path() + " --video " + recorded + " --seconds 5 --track " +
               dir.File("b.csv"));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<Centre> replay = ReadCentres(dir.Read("b.csv"));
  // The folder plays every picture in order, later when the analysis is slow.
  ASSERT_GE(replay.size(), kEnough);

  // Beyond the recorded frames the replay starts the folder again.
  const std::size_t n = std::min({first.size(), replay.size(), recordedFrames.size()});
  int worst = 0;
  int differing = 0;
  std::string shown;
  for (std::size_t i = 0; i < n; ++i) {
    const int d = std::max(std::abs(first[i].x - replay[i].x), std::abs(first[i].y - replay[i].y));
    worst = std::max(worst, d);
    if (d != 0 && ++differing <= 5) {
      shown += " frame " + std::to_string(i) + ": (" + std::to_string(first[i].x) + "," +
               std::to_string(first[i].y) + ") then (" + std::to_string(replay[i].x) + "," +
               std::to_string(replay[i].y) + ")";
    }
  }
  EXPECT_EQ(differing, 0) << differing << " of " << n << " frames differ, by up to " << worst
                          << " layout pixels;" << shown;

  // The replay's own dump holds the same pictures, byte for byte.
  const std::vector<std::string> replayedFrames = BitmapFolderSource::ListFrames(replayed);
  const std::size_t pictures = std::min(replayedFrames.size(), recordedFrames.size());
  EXPECT_GE(pictures, kEnough);
  int differentPictures = 0;
  for (std::size_t i = 0; i < pictures; ++i)
    if (ReadFile(recordedFrames[i]) != ReadFile(replayedFrames[i])) ++differentPictures;
  EXPECT_EQ(differentPictures, 0) << "of " << pictures;
}

}  // namespace
}  // namespace viren
