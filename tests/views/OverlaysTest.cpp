#include "views/Overlays.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <QImage>
#include <QPainter>

#include "layout/ImageConvert.h"
#include "support/TestDir.h"
#include "views/FrameDump.h"
#include "views/TargetMarker.h"
#include "vision/Bitmap24.h"

namespace viren {
namespace {

constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kRed = qRgb(255, 0, 0);

QImage White(int w, int h) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(kWhite);
  return img;
}

// Draws with a painter of its own, ended before the test reads the pixels.
template <class Draw>
void Paint(QImage& img, Draw draw) {
  QPainter p(&img);
  draw(p);
}

int CountColour(const QImage& img, QRgb colour) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += img.pixel(x, y) == colour;
  return n;
}

TEST(Overlays, ArrowAtHeadingZeroTruncatesHalvesTowardZero) {
  const auto p = ArrowPoints({100, 100}, 0.0);
  EXPECT_EQ(p[0], (Point{93, 108}));
  EXPECT_EQ(p[1], (Point{116, 100}));
  EXPECT_EQ(p[2], (Point{93, 93}));
  EXPECT_EQ(p[3], (Point{93, 108}));
  // Pointing down: the tip is 16 below the point.
  EXPECT_EQ(ArrowPoints({100, 100}, kHalfPi)[1], (Point{100, 116}));
  // Upwards the same rule gives -15.5 -> -15: one pixel shorter.
  EXPECT_EQ(ArrowPoints({100, 100}, -kHalfPi)[1], (Point{100, 85}));

  QImage img = White(200, 200);
  Paint(img, [&](QPainter& p) { DrawDirectionArrow(p, {100, 100}, 0.0, {kRed, 1}); });
  for (const Point& q : p) EXPECT_EQ(img.pixel(q.x, q.y), kRed) << q.x << "," << q.y;
  EXPECT_EQ(img.pixel(100, 100), kWhite);  // an outline, not filled
  EXPECT_EQ(img.pixel(117, 100), kWhite);
}

TEST(Overlays, CrossIsSixteenPixelsAcrossInThePenColour) {
  QImage img = White(50, 50);
  Paint(img, [&](QPainter& p) { DrawCross(p, {20, 20}, {kRed, 1}); });
  EXPECT_EQ(img.pixel(12, 20), kRed);
  EXPECT_EQ(img.pixel(28, 20), kRed);
  EXPECT_EQ(img.pixel(20, 12), kRed);
  EXPECT_EQ(img.pixel(20, 28), kRed);
  EXPECT_EQ(img.pixel(11, 20), kWhite);
  EXPECT_EQ(img.pixel(21, 21), kWhite);
  QImage wide = White(50, 50);
  Paint(wide, [&](QPainter& p) { DrawCross(p, {20, 20}, {kRed, 3}); });
  EXPECT_GT(CountColour(wide, kRed), 2 * CountColour(img, kRed));
}

TEST(Overlays, TurningRadiusLinePointsToTheInsideOfTheTurn) {
  // Turning right at heading 0 the turning centre lies below the car, so the
  // line from it runs up (heading - pi/2) toward the car; left, the opposite.
  EXPECT_EQ(TurningRadiusEnd({50, 50}, 20, 0.0, true), (Point{50, 31}));  // -19.5 -> -19
  EXPECT_EQ(TurningRadiusEnd({50, 50}, 20, 0.0, false), (Point{50, 70}));
  QImage img = White(100, 100);
  Paint(img, [&](QPainter& p) { DrawTurningRadius(p, {50, 50}, 20, 0.0, false, {kRed, 1}); });
  EXPECT_EQ(img.pixel(50, 60), kRed);
  EXPECT_EQ(img.pixel(50, 40), kWhite);
}

TEST(Overlays, CourseRangeOnTheCameraPictureIsTheLayoutRangeScaled) {
  EXPECT_EQ(CourseRangeOnFrame(320, 240, 320, 240), (Rect{80, 60, 240, 180}));
  EXPECT_EQ(CourseRangeOnFrame(640, 480, 320, 240), (Rect{160, 120, 480, 360}));
  EXPECT_EQ(CourseRangeOnFrame(320, 240, 640, 480), (Rect{0, 0, 320, 240}));
  QImage img = White(320, 240);
  Paint(img, [&](QPainter& p) { DrawCourseRangeOnFrame(p, 320, 240, 320, 240, {kRed, 1}); });
  for (auto [x, y] : {std::pair{80, 60}, {240, 60}, {240, 180}, {80, 180}, {160, 60}, {80, 120}})
    EXPECT_EQ(img.pixel(x, y), kRed) << x << "," << y;
  EXPECT_EQ(img.pixel(160, 120), kWhite);
  EXPECT_EQ(img.pixel(79, 120), kWhite);
  EXPECT_EQ(img.pixel(241, 120), kWhite);
}

TEST(Overlays, ContoursAreOpenPolylinesOnePerContour) {
  const Point vertices[] = {{10, 10}, {30, 10}, {30, 30}, {60, 60}, {80, 60}};
  const int counts[] = {3, 2};
  QImage img = White(100, 100);
  std::vector<QPoint> scratch;
  Paint(img, [&](QPainter& p) { DrawContours(p, vertices, counts, 2, {kRed, 1}, scratch); });
  EXPECT_EQ(img.pixel(20, 10), kRed);
  EXPECT_EQ(img.pixel(30, 20), kRed);
  EXPECT_EQ(img.pixel(70, 60), kRed);
  EXPECT_EQ(img.pixel(20, 20), kWhite);  // not closed back to (10, 10)
  EXPECT_EQ(img.pixel(45, 45), kWhite);  // contours are not joined
}

TEST(Overlays, BallMarkerScalesToTheLayoutAndDrawsTheBall) {
  QImage camera = White(320, 240);
  Paint(camera, [&](QPainter& p) {
    DrawBallMarker(p, Rect{100, 50, 132, 82}, false, 320, 240, 32, {kRed, 1});
  });
  EXPECT_EQ(camera.pixel(100, 50), kRed);
  EXPECT_EQ(camera.pixel(132, 82), kRed);
  EXPECT_EQ(camera.pixel(116, 66), kWhite);

  QImage layout(640, 480, QImage::Format_RGB32);
  layout.fill(qRgb(0, 0, 80));
  Paint(layout, [&](QPainter& p) {
    DrawBallMarker(p, Rect{100, 50, 132, 82}, true, 320, 240, 32, {kRed, 1});
  });
  EXPECT_EQ(layout.pixel(200, 100), kRed);  // corners times 640 / 320
  EXPECT_EQ(layout.pixel(264, 164), kRed);
  EXPECT_EQ(layout.pixel(232, 132), kWhite);  // the ball's disc
  EXPECT_EQ(layout.pixel(210, 110), qRgb(0, 0, 80));
  // No camera frame yet (the simulation alone): no division by zero.
  Paint(layout, [&](QPainter& p) {
    DrawBallMarker(p, Rect{10, 10, 20, 20}, true, 0, 0, 16, {kRed, 1});
  });
  EXPECT_EQ(layout.pixel(10, 15), kRed);
}

TEST(Overlays, BallMarkerOfAWideCameraKeepsItsHeightOnTheLayout) {
  // 640 x 360: x scales by 1, y by 480 / 360; the ball in the picture's middle
  // stays in the layout's middle.
  QImage layout = White(640, 480);
  Paint(layout, [&](QPainter& p) {
    DrawBallMarker(p, Rect{304, 164, 336, 196}, true, 640, 360, 32, {kRed, 1});
  });
  EXPECT_EQ(layout.pixel(304, 164 * 480 / 360), kRed);
  EXPECT_EQ(layout.pixel(336, 196 * 480 / 360), kRed);
  EXPECT_EQ(layout.pixel(304, 164), kWhite) << "y scaled by the width would put it here";
}

TEST(TargetMarker, SixteenByTwelveCopiedWithItsTopLeftAtMinus8Minus6) {
  const QImage marker = MakeTargetMarkerPicture();
  ASSERT_EQ(marker.size(), QSize(16, 12));
  QImage img(100, 100, QImage::Format_RGB32);
  img.fill(qRgb(0, 0, 0));
  Paint(img, [&](QPainter& p) { DrawTargetMarkerPicture(p, marker, {50, 50}); });
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(img.pixel(42 + x, 44 + y), marker.pixel(x, y));
  EXPECT_EQ(img.pixel(41, 50), qRgb(0, 0, 0));
  EXPECT_EQ(img.pixel(58, 50), qRgb(0, 0, 0));
  EXPECT_EQ(CountColour(img, qRgb(0, 0, 0)), 100 * 100 - 16 * 12);
  Paint(img, [&](QPainter& p) {
    DrawTargetMarkerPicture(p, marker, {2, 98});
  });  // cut at the edges
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
std::uint32_t U32(const std::string& s, std::size_t at) {
  return static_cast<std::uint8_t>(s[at]) | (static_cast<std::uint8_t>(s[at + 1]) << 8) |
         (static_cast<std::uint8_t>(s[at + 2]) << 16) |
         (static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[at + 3])) << 24);
}

TEST(FrameDump, FileNamesAreSixDigitsInTheFolder) {
  EXPECT_EQ(DumpFilePath("/tmp/cap", 1), "/tmp/cap/000001.bmp");
  EXPECT_EQ(DumpFilePath("C:\\cap\\", 123456), "C:/cap/123456.bmp");
  EXPECT_EQ(DumpFilePath("d", 1234567), "d/1234567.bmp");
}

TEST(FrameDump, A320x240FrameIs54PlusPixelsAndReadsBackAsShown) {
  test::TestDir dir;
  QImage shown(320, 240, QImage::Format_RGB32);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) shown.setPixel(x, y, qRgb(x & 255, y, (x * y) & 255));
  const std::string path = DumpFilePath(dir.path(), 1);
  ASSERT_TRUE(WriteDumpFile(path, shown, 320, 240));
  const std::string bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 54u + 230400u);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(U32(bytes, 2), 54u + 230400u);
  EXPECT_EQ(U32(bytes, 6), 0u);
  EXPECT_EQ(U32(bytes, 10), 54u);
  EXPECT_EQ(U32(bytes, 14), 40u);
  EXPECT_EQ(U32(bytes, 18), 320u);
  EXPECT_EQ(U32(bytes, 22), 240u);
  EXPECT_EQ(U32(bytes, 26), 1u | (24u << 16));
  EXPECT_EQ(U32(bytes, 30), 0u);
  EXPECT_EQ(U32(bytes, 34), 230400u);
  for (std::size_t at = 38; at < 54; at += 4) EXPECT_EQ(U32(bytes, at), 0u) << at;
  // The first stored row is the picture's bottom row, blue first.
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[54 + 3 * 5 + 1]), 239);
  Bitmap24 back;
  ASSERT_EQ(LoadBitmap24(path, back), BitmapStatus::Ok);
  EXPECT_EQ(BitmapToImage(back), shown);

  // Overwrites an existing file; odd widths get padded rows.
  ASSERT_TRUE(WriteDumpFile(path, shown, 321 - 2, 10));
  EXPECT_EQ(ReadAll(path).size(), 54u + 10u * 960u);
  EXPECT_FALSE(WriteDumpFile(dir.File("no/such/folder/000001.bmp"), shown, 320, 240));
  EXPECT_FALSE(WriteDumpFile(path, shown, 400, 240));  // more than is shown
}

}  // namespace
}  // namespace viren
