#include <chrono>
#include <cstdio>
#include <filesystem>

#include "CaptureFixture.h"
#include "capture/BitmapFolderSource.h"
#include "vision/Bitmap24.h"

namespace viren::test {
namespace {

// Writes frames 0..n-1 of the test pictures as the frame dump names them.
void DumpPictures(const TestDir& dir, const std::string& sub, int width, int height, int n) {
  std::filesystem::create_directories(dir.File(sub));
  for (int i = 0; i < n; ++i) {
    Bitmap24 picture;
    ASSERT_TRUE(picture.Create(width, height));
    const std::vector<std::uint8_t> rows = MakePicture(width, height, i, picture.Stride());
    for (int y = 0; y < height; ++y)
      std::copy_n(rows.data() + picture.Stride() * y, width * 3, picture.PixelAt(0, y));
    char name[32];
    std::snprintf(name, sizeof name, "/%06d.bmp", i + 1);
    ASSERT_TRUE(WriteBitmap24(dir.File(sub) + name, picture));
  }
}

TEST(BitmapFolderListTest, onlyNumberedBitmapsCountInNumberOrder) {
  TestDir dir;
  for (const char* name : {"000010.bmp", "000002.BMP", "000001.bmp", "7.bmp", "notes.txt",
                           "000003.bmp.bak", "abc.bmp", ".bmp", "000004.png"})
    dir.Write(name, "x");
  std::filesystem::create_directory(dir.File("000005.bmp"));  // a folder, not a frame
  const auto frames = BitmapFolderSource::ListFrames(dir.path());
  std::vector<std::string> names;
  for (const auto& f : frames) names.push_back(std::filesystem::path(f).filename().string());
  EXPECT_EQ(names, (std::vector<std::string>{"000001.bmp", "000002.BMP", "7.bmp", "000010.bmp"}));
  EXPECT_TRUE(BitmapFolderSource::ListFrames(dir.File("missing")).empty());
}

TEST_F(CaptureTest, aFolderOfDumpedFramesPlaysLikeTheVideoItCameFrom) {
  // Play the odd-width video once and dump every frame as the analysis got it.
  Make("", "LOOP=0\n");
  sink.keepRaw = true;
  ASSERT_EQ(capture->BuildCaptureGraph(TestVideos::Path(VideoCodec::Raw, 321)), 0);
  ASSERT_EQ(capture->RunCapture(), 0);
  ASSERT_TRUE(sink.WaitForFrames(TestVideos::kFrames, 20s));
  capture->StopCapture(false);
  const auto fromVideo = sink.Seen();
  const auto rawFrames = sink.RawFrames();
  std::filesystem::create_directories(dir.File("dump"));
  for (size_t i = 0; i < rawFrames.size(); ++i) {
    Bitmap24 picture;
    ASSERT_TRUE(picture.Create(321, TestVideos::kHeight));
    for (int row = 0; row < TestVideos::kHeight; ++row)  // both bottom-up
      std::copy_n(rawFrames[i].data() + row * 321 * 3, 321 * 3,
                  picture.pixels.data() + row * picture.Stride());
    char name[32];
    std::snprintf(name, sizeof name, "/%06zu.bmp", i + 1);
    ASSERT_TRUE(WriteBitmap24(dir.File("dump") + name, picture));
  }

  sink.Clear();
  sink.keepRaw = false;
  ASSERT_EQ(capture->BuildCaptureGraph(dir.File("dump")), 0);
  EXPECT_EQ(state.cameraIndex, -1);
  ASSERT_EQ(capture->RunCapture(), 0);
  ASSERT_TRUE(sink.WaitForFrames(TestVideos::kFrames, 20s));
  PumpUntil([] { return false; }, 200ms);  // LOOP 0: once
  const auto fromFolder = sink.Seen();
  ASSERT_EQ(fromFolder.size(), fromVideo.size());
  for (size_t i = 0; i < fromFolder.size(); ++i) {
    EXPECT_EQ(fromFolder[i].checksum, fromVideo[i].checksum) << "frame " << i;
    EXPECT_EQ(fromFolder[i].width, 321);
    EXPECT_DOUBLE_EQ(fromFolder[i].cx, fromVideo[i].cx);
    EXPECT_DOUBLE_EQ(fromFolder[i].cy, fromVideo[i].cy);
  }
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(CaptureTest, aFolderLoopsAtItsRateAndAnnouncesEachRewind) {
  DumpPictures(dir, "frames", 160, 120, 6);
  Make("FOLDER_RATE=100\n", "LOOP=1\n");
  capture->SetSyncToClock(true);
  ASSERT_EQ(capture->BuildCaptureGraph(dir.File("frames")), 0);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(capture->RunCapture(), 0);
  ASSERT_TRUE(PumpUntil([&] { return sink.FrameCount() >= 14; }, 10s));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  capture->StopCapture(true);
  // 14 frames at 100 a second take at least 130 ms.
  EXPECT_GE(elapsed, 120ms);

  const auto seen = sink.Seen();
  int expected = 0;
  int rewinds = 0;
  for (const SeenFrame& f : seen) {
    if (f.rewind) {
      EXPECT_EQ(expected, 6);
      expected = 0;
      ++rewinds;
      continue;
    }
    EXPECT_NEAR(f.cx, TrueCentre(expected).x, 0.01);
    EXPECT_TRUE(f.topIsRed);
    EXPECT_TRUE(f.bottomIsBlue);
    ++expected;
  }
  EXPECT_GE(rewinds, 2);
}

TEST_F(CaptureTest, aFolderPlaysAtTheRateOptionIniAsksFor) {
  DumpPictures(dir, "frames", 160, 120, 80);
  for (int rate : {20, 50}) {
    Make("FOLDER_RATE=" + std::to_string(rate) + "\n", "LOOP=0\n");
    capture->SetSyncToClock(true);
    sink.Clear();
    ASSERT_EQ(capture->BuildCaptureGraph(dir.File("frames")), 0);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(capture->RunCapture(), 0);
    PumpUntil([] { return false; }, 1s);
    capture->StopCapture(true);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int frames = sink.FrameCount();
    // The first picture comes at once, then one every 1 / rate seconds; a
    // busy machine may fall behind but never plays ahead.
    EXPECT_LE(frames, seconds * rate + 2) << "rate " << rate;
    EXPECT_GE(frames, 0.7 * seconds * rate) << "rate " << rate;
  }
}

TEST_F(CaptureTest, anEmptyFolderOrABrokenFirstBitmapIsReported) {
  Make("", "");
  std::filesystem::create_directories(dir.File("empty"));
  EXPECT_EQ(capture->BuildCaptureGraph(dir.File("empty")), CAPTURE_NOT_FOUND);
  std::filesystem::create_directories(dir.File("broken"));
  dir.Write("broken/000001.bmp", "BM not really");
  EXPECT_EQ(capture->BuildCaptureGraph(dir.File("broken")), CAPTURE_NOT_PLAYABLE);
  const auto shown = MessagesWithId(MSG_VIDEO_ERROR);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].args.at(0), "Add Source File");
  EXPECT_EQ(shown[1].args.at(0), "Connect Capture Video Out to Grabber Video In");
  EXPECT_FALSE(capture->hasGraph());
}

TEST_F(CaptureTest, aBrokenBitmapLaterInTheFolderStopsPlayWithOneMessage) {
  DumpPictures(dir, "frames", 160, 120, 4);
  dir.Write("frames/000003.bmp", "BM broken");
  Make("", "LOOP=1\n");
  ASSERT_EQ(capture->BuildCaptureGraph(dir.File("frames")), 0);
  ASSERT_EQ(capture->RunCapture(), 0);
  ASSERT_TRUE(PumpUntil([&] { return !MessagesWithId(MSG_VIDEO_ERROR).empty(); }, 10s));
  PumpUntil([] { return false; }, 100ms);
  EXPECT_EQ(sink.FrameCount(), 2);
  const auto shown = MessagesWithId(MSG_VIDEO_ERROR);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].args.at(0), "GetEvent");
}

}  // namespace
}  // namespace viren::test
