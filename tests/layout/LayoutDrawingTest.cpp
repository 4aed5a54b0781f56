#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include <QImage>

#include "layout/CarPhoto.h"
#include "layout/CarShape.h"
#include "layout/CourseRange.h"
#include "layout/ImageConvert.h"
#include "support/TestDir.h"

namespace viren {
namespace {

QImage Noise(int w, int h, unsigned seed) {
  QImage img(w, h, QImage::Format_RGB32);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < w; ++x) row[x] = 0xFF000000u | (rng() & 0xFFFFFF);
  }
  return img;
}

QImage Filled(int w, int h, QRgb colour) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(colour);
  return img;
}

// The box around every pixel that differs from `background`.
QRect ChangedBox(const QImage& img, QRgb background) {
  QRect box;
  for (int y = 0; y < img.height(); ++y) {
    for (int x = 0; x < img.width(); ++x) {
      if ((img.pixel(x, y) & 0xFFFFFF) != (background & 0xFFFFFF)) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

// ---- course range ----

TEST(CourseRange, DefaultRangeIsCentredWithIntegerDivision) {
  EXPECT_EQ(CourseRangeRect(320, 240), (Rect{160, 120, 480, 360}));
  EXPECT_EQ(CourseRangeRect(641 - 640 + 1, 3), (Rect{319, 238, 321, 241}));
  EXPECT_EQ(CourseRangeRect(640, 480), (Rect{0, 0, 640, 480}));
}

TEST(CourseRange, OutlineInvertsTheRoundedRectangleOnly) {
  QImage img = Filled(640, 480, qRgb(255, 255, 255));
  InvertCourseRangeOutline(img, 320, 240, 1);
  const QRgb black = qRgb(0, 0, 0);
  // The four sides, from the top-left to one short of the right and bottom.
  EXPECT_EQ(img.pixel(320, 120), black);
  EXPECT_EQ(img.pixel(320, 359), black);
  EXPECT_EQ(img.pixel(160, 240), black);
  EXPECT_EQ(img.pixel(479, 240), black);
  EXPECT_EQ(ChangedBox(img, qRgb(255, 255, 255)), QRect(QPoint(160, 120), QPoint(479, 359)));
  // Rounded corners: the very corner pixel stays, the inside stays.
  EXPECT_NE(img.pixel(160, 120), black);
  EXPECT_NE(img.pixel(479, 359), black);
  EXPECT_NE(img.pixel(320, 240), black);
  EXPECT_NE(img.pixel(161, 240), black);
}

TEST(CourseRange, DrawingTwiceRestoresThePicture) {
  for (int pen : {1, 2, 3, 5}) {
    const QImage original = Noise(640, 480, 7u + pen);
    QImage img = original.copy();
    InvertCourseRangeOutline(img, 301, 177, pen);
    EXPECT_NE(img, original);
    InvertCourseRangeOutline(img, 301, 177, pen);
    EXPECT_EQ(img, original) << "pen " << pen;
  }
  // The whole layout as range: the outline runs along the picture's edge.
  const QImage original = Noise(640, 480, 3);
  QImage img = original.copy();
  InvertCourseRangeOutline(img, 640, 480, 3);
  InvertCourseRangeOutline(img, 640, 480, 3);
  EXPECT_EQ(img, original);
}

TEST(CourseRange, EveryOutlinePixelIsInvertedExactlyOnce) {
  QImage img = Filled(640, 480, qRgb(10, 20, 30));
  InvertCourseRangeOutline(img, 200, 100, 4);
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      const QRgb p = img.pixel(x, y) & 0xFFFFFF;
      ASSERT_TRUE(p == qRgb(10, 20, 30) % 0x1000000 || p == qRgb(245, 235, 225) % 0x1000000)
          << x << "," << y;
    }
  }
}

// ---- figure placement and the graphic car ----

TEST(CarFigure, PlacementAddsOneHalfThenTruncatesTowardZero) {
  // Offset -8 at heading 0: -8 + 0.5 = -7.5 becomes -7.
  EXPECT_EQ(PlaceFigurePoint({100, 100}, 1.0, 0.0, -8, 8), (Point{93, 108}));
  EXPECT_EQ(PlaceFigurePoint({100, 100}, 1.0, 0.0, 16, 0), (Point{116, 100}));
  EXPECT_EQ(PlaceFigurePoint({100, 100}, 1.0, 0.0, -8, -8), (Point{93, 93}));
  // Heading pi/2: (dx, dy) turns to (-dy, dx).
  const double c = std::cos(kHalfPi), s = std::sin(kHalfPi);
  EXPECT_EQ(PlaceFigurePoint({50, 50}, c, s, 10, 0), (Point{50, 60}));
  // sin(1.570795) is a hair below 1: -9.99999 + 0.5 truncates to -9.
  EXPECT_EQ(PlaceFigurePoint({50, 50}, c, s, 0, 10), (Point{41, 50}));
  const auto corners = FigureCorners({200, 100}, 0.0, 40, 16);
  EXPECT_EQ(corners[0], (Point{181, 93}));
  EXPECT_EQ(corners[1], (Point{220, 93}));
  EXPECT_EQ(corners[2], (Point{220, 108}));
  EXPECT_EQ(corners[3], (Point{181, 108}));
}

TEST(CarFigure, CarSizeRectangleWithoutShapeFileTurnsWithTheHeading) {
  const CarShape shape = LoadCarShape(nullptr, "/nowhere/car.wmf", SettingPair{40, 16});
  EXPECT_EQ(shape.width, 40);
  EXPECT_EQ(shape.height, 16);
  const QRgb white = qRgb(255, 255, 255);
  const QRgb fill = qRgb(128, 128, 128);

  QImage img = Filled(640, 480, white);
  DrawGraphicCar(img, shape, {320, 240}, 0.0, fill);
  EXPECT_EQ(ChangedBox(img, white).size(), QSize(40, 16));
  EXPECT_EQ(ChangedBox(img, white).center(), QPoint(320, 240));
  EXPECT_EQ(img.pixel(320, 240), fill);
  EXPECT_EQ(img.pixel(301, 240), qRgb(0, 0, 0));  // the edge

  QImage turned = Filled(640, 480, white);
  DrawGraphicCar(turned, shape, {320, 240}, kHalfPi, fill);
  EXPECT_EQ(ChangedBox(turned, white).size(), QSize(16, 40));

  // A reader that fails gives the same rectangle.
  const CarShape failed =
      LoadCarShape([](const std::string&, PolygonList&) { return false; }, "x", {40, 16});
  EXPECT_EQ(failed.polylines.points, shape.polylines.points);
}

TEST(CarFigure, ShapeFromReaderKeepsOutlineAndDetailLines) {
  std::string asked;
  const ShapeFileReader reader = [&](const std::string& path, PolygonList& out) {
    asked = path;
    // A pointed outline of 5 points, 0..40 x 0..20, and one detail line.
    out.points = {{0, 0}, {30, 0}, {40, 10}, {30, 20}, {0, 20}, {5, 10}, {25, 10}};
    out.counts = {5, 2};
    return true;
  };
  const CarShape shape = LoadCarShape(reader, "/data/car.wmf", {30, 20});
  EXPECT_EQ(asked, "/data/car.wmf");
  EXPECT_EQ(shape.width, 41);
  EXPECT_EQ(shape.height, 21);
  const QRgb white = qRgb(255, 255, 255);
  QImage img = Filled(200, 200, white);
  DrawGraphicCar(img, shape, {100, 100}, 0.0, qRgb(0, 200, 0));
  // Offsets are (vx - 20, vy - 10), each + 0.5 and truncated.
  EXPECT_EQ(ChangedBox(img, white), QRect(QPoint(81, 91), QPoint(120, 110)));
  EXPECT_EQ(img.pixel(110, 95), qRgb(0, 200, 0));
  EXPECT_EQ(img.pixel(95, 100), qRgb(0, 0, 0));  // on the detail line

  // Pointing down, the point of the outline is below the centre.
  QImage down = Filled(200, 200, white);
  DrawGraphicCar(down, shape, {100, 100}, kHalfPi, qRgb(0, 200, 0));
  EXPECT_EQ(down.pixel(100, 120), qRgb(0, 0, 0));
  EXPECT_EQ(down.pixel(100, 117), qRgb(0, 200, 0));
  EXPECT_EQ(ChangedBox(down, white).bottom(), 120);
  EXPECT_EQ(ChangedBox(down, white).top(), 81);
}

TEST(CarFigure, ReaderResultWithoutOutlineFallsBackToCarSize) {
  const ShapeFileReader empty = [](const std::string&, PolygonList& out) {
    out = {};
    return true;  // opened, but it was not a drawing
  };
  EXPECT_EQ(LoadCarShape(empty, "x", {30, 20}).width, 30);
  const ShapeFileReader lying = [](const std::string&, PolygonList& out) {
    out.points = {{0, 0}, {1, 1}, {2, 0}};
    out.counts = {200};
    return true;
  };
  EXPECT_EQ(LoadCarShape(lying, "x", {30, 20}).polylines.counts, std::vector<int>{4});
}

// ---- the car photograph ----

TEST(CarPhoto, SquareSideExceedsTheDiagonal) {
  EXPECT_EQ(CarSquareSide(60, 40), 80);
  EXPECT_EQ(CarSquareSide(3, 4), 12);
  EXPECT_EQ(CarSquareSide(1, 1), 8);
  for (int w = 1; w < 200; w += 7) {
    for (int h = 1; h < 200; h += 11) {
      const int s = CarSquareSide(w, h);
      ASSERT_EQ(s % 4, 0);
      ASSERT_GT(s, std::sqrt(w * w + h * h));
    }
  }
}

// A smooth colour picture so that rotation errors below one pixel stay within
// a grey level or two.
Bitmap24 SmoothPhoto(int w, int h) {
  Bitmap24 b;
  b.Create(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = b.PixelAt(x, y);
      p[0] = static_cast<std::uint8_t>(40 + 2 * x);
      p[1] = static_cast<std::uint8_t>(30 + 3 * y);
      p[2] = static_cast<std::uint8_t>(100 + x - y);
    }
  }
  return b;
}

struct Rgb {
  int b, g, r;
};
Rgb SquarePixel(const std::vector<std::uint8_t>& sq, int side, int x, int y) {
  const std::uint8_t* p = sq.data() + (static_cast<std::size_t>(side - 1 - y) * side + x) * 3;
  return {p[0], p[1], p[2]};
}
Rgb PhotoPixel(const Bitmap24& b, int x, int y) {
  const std::uint8_t* p = b.PixelAt(x, y);
  return {p[0], p[1], p[2]};
}
int Diff(Rgb a, Rgb b) {
  return std::max({std::abs(a.b - b.b), std::abs(a.g - b.g), std::abs(a.r - b.r)});
}

TEST(CarPhoto, RotationAtZeroCopiesThePhotographIntoTheSquareCentre) {
  const Bitmap24 photo = SmoothPhoto(60, 40);
  const int side = CarSquareSide(60, 40);
  std::vector<std::uint8_t> sq(static_cast<std::size_t>(side) * side * 3, 0);
  RotateIntoSquare(photo, 0.0, side, sq.data(), 0, 0, side - 1, side - 1);
  // Square column j shows photograph column j - 40 + 30; picture rows match
  // the same way from the bottom.
  int compared = 0;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const int px = x - side / 2 + 30;
      const int pyFromBottom = (side - 1 - y) - side / 2 + 20;
      if (px < 0 || px > 58 || pyFromBottom < 0 || pyFromBottom > 38) continue;
      ASSERT_EQ(Diff(SquarePixel(sq, side, x, y), PhotoPixel(photo, px, 39 - pyFromBottom)), 0)
          << x << "," << y;
      ++compared;
    }
  }
  EXPECT_GT(compared, 59 * 39 - 1);
  // Outside the photograph the buffer keeps what it held.
  EXPECT_EQ(Diff(SquarePixel(sq, side, 0, 0), {0, 0, 0}), 0);
}

TEST(CarPhoto, RotationByHalfPiMatchesAReferenceTurnWithinOneLevel) {
  const Bitmap24 photo = SmoothPhoto(60, 40);
  const int side = CarSquareSide(60, 40);
  const int h2 = side / 2;
  std::vector<std::uint8_t> sq(static_cast<std::size_t>(side) * side * 3, 0);
  RotateIntoSquare(photo, kHalfPi, side, sq.data(), 0, 0, side - 1, side - 1);
  // Turned clockwise on screen by 90 degrees about the centres: the square
  // pixel at offset (u, v) from its centre shows the photograph pixel at
  // offset (v, -u) from the photograph's centre (30, 20), y downwards.
  int compared = 0;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const int u = x - h2;
      const int v = (y + 1) - h2;  // picture row y is bottom-up row side-1-y
      const int px = 30 + v;
      const int py = 19 - u;                                 // photograph row from the top
      if (px < 2 || px > 57 || py < 2 || py > 37) continue;  // interior only
      ASSERT_LE(Diff(SquarePixel(sq, side, x, y), PhotoPixel(photo, px, py)), 1) << x << "," << y;
      ++compared;
    }
  }
  EXPECT_GT(compared, 50 * 30);
}

TEST(CarPhoto, RotationByPiTurnsThePhotographRound) {
  const Bitmap24 photo = SmoothPhoto(60, 40);
  const int side = CarSquareSide(60, 40);
  const int h2 = side / 2;
  std::vector<std::uint8_t> sq(static_cast<std::size_t>(side) * side * 3, 0);
  RotateIntoSquare(photo, kPi, side, sq.data(), 0, 0, side - 1, side - 1);
  // Half a turn: the offset from the centres is reversed in both directions.
  int compared = 0;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const int px = 30 - (x - h2);
      const int py = 19 - ((y + 1) - h2);
      if (px < 2 || px > 57 || py < 2 || py > 37) continue;
      ASSERT_LE(Diff(SquarePixel(sq, side, x, y), PhotoPixel(photo, px, py)), 1) << x << "," << y;
      ++compared;
    }
  }
  EXPECT_GT(compared, 50 * 30);
}

TEST(CarPhoto, OnePixelPhotographsNeverReadOutsideThemselves) {
  for (auto [w, h] : {std::pair{1, 1}, {1, 9}, {9, 1}}) {
    Bitmap24 photo;
    photo.Create(w, h);
    std::fill(photo.pixels.begin(), photo.pixels.end(), 200);
    const int side = CarSquareSide(w, h);
    std::vector<std::uint8_t> sq(static_cast<std::size_t>(side) * side * 3, 0);
    for (double a : {0.0, 0.7, kHalfPi, kPi, -2.0}) {
      RotateIntoSquare(photo, a, side, sq.data(), -5, -5, side + 5, side + 5);
    }
    for (std::size_t i = 0; i < sq.size(); ++i) {
      if (i % 4 == 3) continue;
      ASSERT_TRUE(sq[i] == 0 || sq[i] == 200) << w << "x" << h;
    }
  }
}

class CarPhotoDraw : public ::testing::Test {
 protected:
  void SetUp() override {
    photo = SmoothPhoto(60, 40);
    // A folder of its own: the tests of this fixture run in parallel processes.
    path = dir.File("car_photo_draw.bmp");
    ASSERT_TRUE(WriteBitmap24(path, photo));
    ASSERT_TRUE(car.Load(path));
  }
  test::TestDir dir;
  Bitmap24 photo;
  std::string path;
  CarPhoto car;
};

TEST_F(CarPhotoDraw, HeadingZeroShowsThePhotographInsideItsMaskEdge) {
  EXPECT_EQ(car.side(), 80);
  const QRgb background = qRgb(0, 0, 255);
  QImage target = Filled(640, 480, background);
  car.Draw(target, {320, 240}, 0.0);
  // Corners (291, 221) .. (350, 260) after the half-and-truncate rule; the
  // 3-pixel white mask edge hides the outline and one pixel inside it at the
  // top and left, and the copied box ends two short of the right and bottom.
  const QRect changed = ChangedBox(target, background);
  EXPECT_EQ(changed, QRect(QPoint(293, 223), QPoint(348, 258)));
  // Inside, the pixel is the photograph's pixel for the same offset.
  const QImage expected = BitmapToImage(photo);
  for (int y = 223; y <= 258; ++y) {
    for (int x = 293; x <= 348; ++x) {
      ASSERT_EQ(target.pixel(x, y), expected.pixel(x - 320 + 30, y - 240 + 20)) << x << "," << y;
    }
  }
  // The edge row and column themselves stay.
  EXPECT_EQ(target.pixel(292, 240), background);
  EXPECT_EQ(target.pixel(320, 222), background);
  EXPECT_EQ(target.pixel(349, 240), background);
}

TEST_F(CarPhotoDraw, TurnedFigureStaysInsideItsTurnedRectangle) {
  const QRgb background = qRgb(0, 0, 255);
  QImage target = Filled(640, 480, background);
  car.Draw(target, {100, 100}, kHalfPi);
  const QRect changed = ChangedBox(target, background);
  EXPECT_LE(changed.width(), 40);
  EXPECT_LE(changed.height(), 60);
  EXPECT_GE(changed.width(), 34);
  EXPECT_GE(changed.height(), 54);
  EXPECT_TRUE(changed.contains(QPoint(100, 100)));
  // Near the edges of the picture nothing is written outside it.
  QImage corner = Filled(50, 50, background);
  car.Draw(corner, {2, 48}, 0.5);
  car.Draw(corner, {-100, -100}, 0.5);
  EXPECT_NE(ChangedBox(corner, background), QRect());
}

TEST(CarPhotoLoad, MissingOrBrokenFileLeavesNothingLoaded) {
  CarPhoto car;
  EXPECT_FALSE(car.Load("/nonexistent/car.bmp"));
  EXPECT_FALSE(car.Loaded());
  QImage target = Filled(20, 20, qRgb(1, 2, 3));
  car.Draw(target, {10, 10}, 0.0);
  EXPECT_EQ(ChangedBox(target, qRgb(1, 2, 3)), QRect());
}

}  // namespace
}  // namespace viren
