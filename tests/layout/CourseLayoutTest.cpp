#include "layout/CourseLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "core/EngineState.h"
#include "layout/CourseRange.h"
#include "layout/ImageConvert.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

Bitmap24 Solid(int w, int h, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
  Bitmap24 bmp;
  bmp.Create(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = bmp.PixelAt(x, y);
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  }
  return bmp;
}

class CourseLayoutTest : public ::testing::Test {
 protected:
  CourseLayoutTest() : settings(&ui), layout(settings, ui, state) {
    settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
    std::filesystem::create_directories(dir.File("sample/layout"));
    std::filesystem::create_directories(dir.File("sample/car"));
    dir.Write("VIREN.ini", "[LAYOUT]\nCAR_SIZE=30,20\nPEN_WIDTH=1\n");
  }
  void Options(const std::string& text) { dir.Write("option.ini", "[LAYOUT]\n" + text); }
  std::string Option(const char* key) {
    return settings.ReadSettingString("LAYOUT", key, "?", dir.File("option.ini"));
  }

  test::TestDir dir;
  test::FakeUiHost ui;
  Settings settings;
  EngineState state;
  CourseLayout layout;
};

TEST_F(CourseLayoutTest, LayoutPhotographOf640x480IsShownWithTheOutline) {
  ASSERT_TRUE(WriteBitmap24(dir.File("sample/layout/course.bmp"), Solid(640, 480, 0, 128, 0)));
  Options("LAYOUT_TYPE=0\nLAYOUT_FILE=course.bmp\n");
  ASSERT_TRUE(layout.Initialise());
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(layout.layoutType(), LAYOUT_PHOTO);
  const QImage pic = layout.LayoutPicture();
  EXPECT_EQ(pic.pixel(10, 10), qRgb(0, 128, 0));
  EXPECT_EQ(pic.pixel(320, 120), qRgb(255, 127, 255));  // outline, inverted
  EXPECT_EQ(pic.pixel(479, 240), qRgb(255, 127, 255));
  EXPECT_EQ(layout.courseRange(), (Rect{160, 120, 480, 360}));
}

TEST_F(CourseLayoutTest, WrongSizedPhotographIsRefusedWith208AndTheGraphicLayoutShown) {
  ASSERT_TRUE(WriteBitmap24(dir.File("sample/layout/big.bmp"), Solid(800, 600, 0, 0, 0)));
  Options("LAYOUT_TYPE=0\nLAYOUT_FILE=big.bmp\nLAYOUT_COLOR=#102030\n");
  ASSERT_TRUE(layout.Initialise());
  ASSERT_EQ(ui.messageIds(), std::vector<int>{MSG_LAYOUT_WRONG_SIZE});
  EXPECT_EQ(ui.messages()[0].icon, MsgIcon::Stop);
  EXPECT_EQ(layout.layoutType(), LAYOUT_GRAPHIC);
  EXPECT_EQ(layout.LayoutPicture().pixel(5, 5), qRgb(0x10, 0x20, 0x30));
  // Only the memory changes; the user's choice stays in option.ini.
  EXPECT_EQ(Option("LAYOUT_TYPE"), "0");
}

// A 32-bit bitmap as image editors save it: blue, green, red, alpha.
std::vector<std::uint8_t> Bitmap32(int w, int h, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
  const std::uint32_t image = static_cast<std::uint32_t>(w) * h * 4;
  std::vector<std::uint8_t> f(54 + image, 0);
  auto put16 = [&](size_t at, std::uint32_t v) {
    f[at] = v & 0xFF;
    f[at + 1] = (v >> 8) & 0xFF;
  };
  auto put32 = [&](size_t at, std::uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  f[0] = 'B', f[1] = 'M';
  put32(2, 54 + image);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(w));
  put32(22, static_cast<std::uint32_t>(h));
  put16(26, 1);
  put16(28, 32);
  put32(34, image);
  for (std::uint32_t i = 0; i < image; i += 4) {
    f[54 + i] = b, f[55 + i] = g, f[56 + i] = r, f[57 + i] = 255;
  }
  return f;
}

// Photographs come as PNG, JPEG and bitmaps of any depth; each becomes the
// same 24-bit picture, and the 640 x 480 rule holds for all of them.
TEST_F(CourseLayoutTest, PngJpegAndDeeperOrShallowerBitmapsLoadAsLayoutAndCar) {
  QImage course(640, 480, QImage::Format_ARGB32);
  course.fill(qRgb(0, 128, 0));
  for (int x = 0; x < 40; ++x) course.setPixel(x, 0, qRgba(0, 0, 0, 0));  // transparent: white
  ASSERT_TRUE(course.save(QString::fromStdString(dir.File("sample/layout/course.png"))));
  ASSERT_TRUE(course.convertToFormat(QImage::Format_RGB32)
                  .save(QString::fromStdString(dir.File("sample/layout/course.jpg")), "JPEG", 95));
  QImage indexed =
      course.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_Indexed8);
  ASSERT_TRUE(indexed.save(QString::fromStdString(dir.File("sample/layout/course8.bmp")), "BMP"));
  const auto deep = Bitmap32(640, 480, 0, 128, 0);
  dir.Write("sample/layout/course32.bmp", std::string(deep.begin(), deep.end()));
  QImage car(60, 40, QImage::Format_RGB32);
  car.fill(qRgb(200, 0, 0));
  ASSERT_TRUE(car.save(QString::fromStdString(dir.File("sample/car/car.png"))));

  for (const char* name : {"course.png", "course.jpg", "course8.bmp", "course32.bmp"}) {
    test::FakeUiHost host;
    Options(std::string("LAYOUT_TYPE=0\nLAYOUT_FILE=") + name + "\nCAR_TYPE=0\nCAR_FILE=car.png\n");
    CourseLayout l(settings, host, state);
    ASSERT_TRUE(l.Initialise());
    EXPECT_TRUE(host.messages().empty()) << name;
    EXPECT_EQ(l.layoutType(), LAYOUT_PHOTO) << name;
    const QRgb p = l.LayoutPicture().pixel(100, 300);
    EXPECT_LE(std::abs(qRed(p) - 0) + std::abs(qGreen(p) - 128) + std::abs(qBlue(p) - 0), 6)
        << name;
    if (std::string(name) == "course.png") {
      EXPECT_EQ(l.LayoutPicture().pixel(5, 0), qRgb(255, 255, 255));
    }
    EXPECT_TRUE(l.carPhotoLoaded()) << name;
    QImage work;
    ASSERT_TRUE(l.CopyLayoutInto(work));
    l.DrawCarFigure(work, {100, 100}, 0.0);
    EXPECT_EQ(work.pixel(100, 100), qRgb(200, 0, 0)) << name;
  }

  // The size rule and its message hold whatever the format.
  QImage(800, 600, QImage::Format_RGB32)
      .save(QString::fromStdString(dir.File("sample/layout/big.png")));
  Options("LAYOUT_TYPE=0\nLAYOUT_FILE=big.png\n");
  test::FakeUiHost host;
  CourseLayout l(settings, host, state);
  ASSERT_TRUE(l.Initialise());
  EXPECT_EQ(host.messageIds(), std::vector<int>{MSG_LAYOUT_WRONG_SIZE});
}

TEST_F(CourseLayoutTest, UnreadableOrMissingPhotographGives138) {
  dir.Write("sample/layout/broken.bmp", "BM not really");
  for (const char* name : {"missing.bmp", "broken.bmp"}) {
    Options(std::string("LAYOUT_FILE=") + name + "\n");
    test::FakeUiHost host;
    CourseLayout l(settings, host, state);
    ASSERT_TRUE(l.Initialise());
    EXPECT_EQ(host.messageIds(), std::vector<int>{MSG_LAYOUT_OPEN_FAILED}) << name;
    EXPECT_EQ(l.layoutType(), LAYOUT_GRAPHIC);
    EXPECT_EQ(l.LayoutPicture().pixel(5, 5), qRgb(255, 255, 255));
  }
}

TEST_F(CourseLayoutTest, EmptyLayoutFileLoadsNothingAndSaysNothing) {
  Options("LAYOUT_TYPE=0\n");
  ASSERT_TRUE(layout.Initialise());
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(layout.layoutType(), LAYOUT_PHOTO);
  // Switching to type 0 again keeps the outline (no second inversion).
  const QImage before = layout.LayoutPicture();
  layout.SetLayoutType(LAYOUT_PHOTO);
  EXPECT_EQ(layout.LayoutPicture(), before);
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(CourseLayoutTest, LayoutMenuOperationsWriteTheirKeysAndRedrawTheOutline) {
  Options("LAYOUT_TYPE=1\nLAYOUT_COLOR=#FFFFFF\n");
  ASSERT_TRUE(layout.Initialise());
  layout.SetLayoutColor(MakeColorRef(0, 0, 255));
  EXPECT_EQ(Option("LAYOUT_COLOR"), "#0000FF");
  QImage pic = layout.LayoutPicture();
  EXPECT_EQ(pic.pixel(5, 5), qRgb(0, 0, 255));
  EXPECT_EQ(pic.pixel(320, 120), qRgb(255, 255, 0));  // exactly one outline

  ASSERT_TRUE(WriteBitmap24(dir.File("sample/layout/course.bmp"), Solid(640, 480, 9, 9, 9)));
  const std::string chosen = dir.File("sample/layout/course.bmp");
  layout.ChooseLayoutFile(chosen);
  EXPECT_EQ(Option("LAYOUT_FILE"), chosen);
  EXPECT_EQ(Option("LAYOUT_TYPE"), "1");  // the type changes in memory only
  EXPECT_EQ(layout.layoutType(), LAYOUT_PHOTO);
  pic = layout.LayoutPicture();
  EXPECT_EQ(pic.pixel(5, 5), qRgb(9, 9, 9));
  EXPECT_EQ(pic.pixel(320, 120), qRgb(246, 246, 246));

  layout.SetLayoutType(LAYOUT_GRAPHIC);
  EXPECT_EQ(Option("LAYOUT_TYPE"), "1");
  EXPECT_EQ(layout.LayoutPicture().pixel(320, 120), qRgb(255, 255, 0));
  layout.SetLayoutType(LAYOUT_PHOTO);
  EXPECT_EQ(Option("LAYOUT_TYPE"), "0");
  EXPECT_EQ(layout.LayoutPicture().pixel(5, 5), qRgb(9, 9, 9));
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(layout.LayoutFileDialogPath(), chosen);
}

TEST_F(CourseLayoutTest, CourseRangeEditMovesTheOutlineAndCancelRestoresIt) {
  Options("LAYOUT_TYPE=1\n");
  ASSERT_TRUE(layout.Initialise());
  const QImage original = layout.LayoutPicture();
  layout.BeginCourseRangeEdit();
  layout.PreviewCourseRange(400, 300);
  layout.PreviewCourseRange(700, 300);  // out of range: ignored
  EXPECT_EQ(layout.borderWidth(), 400);
  QImage moved = layout.LayoutPicture();
  EXPECT_EQ(moved.pixel(320, 120), qRgb(255, 255, 255));  // old outline gone
  EXPECT_EQ(moved.pixel(320, 90), qRgb(0, 0, 0));         // new one at y = 90
  layout.EndCourseRangeEdit(false);
  EXPECT_EQ(layout.LayoutPicture(), original);
  EXPECT_EQ(layout.borderWidth(), 320);
  EXPECT_EQ(Option("BORDER_WIDTH"), "?");

  layout.BeginCourseRangeEdit();
  layout.PreviewCourseRange(100, 50);
  layout.EndCourseRangeEdit(true);
  EXPECT_EQ(Option("BORDER_WIDTH"), "100");
  EXPECT_EQ(Option("BORDER_HEIGHT"), "50");
  EXPECT_EQ(layout.courseRange(), (Rect{270, 215, 370, 265}));
  EXPECT_EQ(layout.LayoutPicture().pixel(320, 215), qRgb(0, 0, 0));
}

TEST_F(CourseLayoutTest, MissingCarPhotographGives205AndTheGraphicCar) {
  Options("LAYOUT_TYPE=1\nCAR_TYPE=0\nCAR_FILE=nocar.bmp\n");
  ASSERT_TRUE(layout.Initialise());
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_CAR_PICTURE_MISSING});
  EXPECT_EQ(layout.carType(), CAR_GRAPHIC);
  EXPECT_FALSE(layout.carPhotoLoaded());
  EXPECT_EQ(Option("CAR_TYPE"), "0");
  // The CAR_SIZE rectangle in CAR_COLOR's default grey.
  QImage work;
  ASSERT_TRUE(layout.CopyLayoutInto(work));
  layout.DrawCarFigure(work, {100, 100}, 0.0);
  EXPECT_EQ(work.pixel(100, 100), qRgb(128, 128, 128));
  EXPECT_EQ(work.pixel(86, 100), qRgb(0, 0, 0));
  EXPECT_EQ(work.pixel(84, 100), qRgb(255, 255, 255));
}

TEST_F(CourseLayoutTest, CarPhotographAndCarMenuOperations) {
  ASSERT_TRUE(WriteBitmap24(dir.File("sample/car/car.bmp"), Solid(60, 40, 0, 0, 200)));
  Options("LAYOUT_TYPE=1\nCAR_TYPE=0\nCAR_FILE=car.bmp\n");
  ASSERT_TRUE(layout.Initialise());
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_TRUE(layout.carPhotoLoaded());
  EXPECT_EQ(layout.carType(), CAR_PHOTO);
  QImage work;
  ASSERT_TRUE(layout.CopyLayoutInto(work));
  layout.DrawCarFigure(work, {100, 100}, 0.0);
  EXPECT_EQ(work.pixel(100, 100), qRgb(200, 0, 0));

  layout.SetCarType(CAR_GRAPHIC);
  EXPECT_EQ(Option("CAR_TYPE"), "1");
  layout.SetCarColor(MakeColorRef(0, 255, 0));
  EXPECT_EQ(Option("CAR_COLOR"), "#00FF00");
  ASSERT_TRUE(layout.CopyLayoutInto(work));
  layout.DrawCarFigure(work, {100, 100}, 0.0);
  EXPECT_EQ(work.pixel(100, 100), qRgb(0, 255, 0));

  // A new photograph that cannot be read: MSG_CAR_PICTURE_MISSING, nothing to draw at type 0.
  layout.SetCarType(CAR_PHOTO);
  layout.ChooseCarFile(dir.File("sample/car/gone.bmp"));
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_CAR_PICTURE_MISSING});
  EXPECT_FALSE(layout.carPhotoLoaded());
  EXPECT_EQ(layout.carType(), CAR_PHOTO);
  ASSERT_TRUE(layout.CopyLayoutInto(work));
  layout.DrawCarFigure(work, {100, 100}, 0.0);
  EXPECT_EQ(work.pixel(100, 100), qRgb(255, 255, 255));
}

TEST_F(CourseLayoutTest, OversizedCarPhotographsAreScaledDownOnceAtLoad) {
  // A valid 65 KB photograph of 1 x 16384 pixels once asked for 2.9 GB of
  // work buffers and seconds a frame. A photograph wider or higher than the
  // layout is wide is scaled down, keeping its proportions, and drawn within
  // a frame of 30 per second. The work is bounded by the fitted sizes checked
  // here; how long it takes is measured by the benchmarks, not by a test.
  const struct {
    int width, height;
    int fittedWidth, fittedHeight;
  } cases[] = {
      {1, 16384, 1, 640},   {16384, 2, 640, 1},   {2000, 1000, 640, 320},
      {800, 600, 640, 480}, {640, 100, 640, 100},
  };
  for (const auto& c : cases) {
    const std::size_t shown = ui.messages().size();
    ASSERT_TRUE(WriteBitmap24(dir.File("sample/car/big.bmp"), Solid(c.width, c.height, 0, 0, 200)));
    Options("LAYOUT_TYPE=1\nCAR_TYPE=0\nCAR_FILE=big.bmp\n");
    ASSERT_TRUE(layout.Initialise());
    EXPECT_EQ(ui.messages().size(), shown) << c.width << "x" << c.height;
    ASSERT_TRUE(layout.carPhotoLoaded());

    QImage work;
    ASSERT_TRUE(layout.CopyLayoutInto(work));
    layout.DrawCarFigure(work, {320, 240}, 0.3);
    // A photograph a pixel or two thin hides under the mask's edge.
    if (c.fittedHeight > 10 && c.fittedWidth > 10) {
      EXPECT_EQ(work.pixel(320, 240), qRgb(200, 0, 0)) << "the photograph is drawn";
    }

    CarPhoto photo;
    ASSERT_TRUE(photo.Load(dir.File("sample/car/big.bmp")));
    EXPECT_EQ(photo.width(), c.fittedWidth);
    EXPECT_EQ(photo.height(), c.fittedHeight);
    EXPECT_LE(photo.side(), CarSquareSide(kMaxCarPhotoSide, kMaxCarPhotoSide));
    layout.Release();
  }
}

TEST_F(CourseLayoutTest, ShapeFileFollowsTheRoboQMode) {
  std::vector<std::string> asked;
  layout.SetShapeReader([&](const std::string& path, PolygonList& out) {
    asked.push_back(path);
    out.points = {{0, 0}, {10, 0}, {10, 10}, {5, 15}, {0, 10}};
    out.counts = {5};
    return true;
  });
  Options("LAYOUT_TYPE=1\nCAR_TYPE=1\n");
  ASSERT_TRUE(layout.Initialise());
  state.controlRoboQ = true;
  layout.ReloadCarShape();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0], dir.path() + "/sample/car/car.wmf");
  EXPECT_EQ(asked[1], dir.path() + "/sample/car/roboq.wmf");
}

TEST_F(CourseLayoutTest, ReleaseDropsThePictures) {
  Options("LAYOUT_TYPE=1\n");
  ASSERT_TRUE(layout.Initialise());
  EXPECT_TRUE(layout.initialised());
  layout.Release();
  EXPECT_FALSE(layout.initialised());
  QImage work;
  EXPECT_FALSE(layout.CopyLayoutInto(work));
  layout.DrawCarFigure(work, {1, 1}, 0.0);  // harmless
}

}  // namespace
}  // namespace viren
