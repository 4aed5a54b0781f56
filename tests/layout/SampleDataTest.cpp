#include <gtest/gtest.h>

#include "core/EngineState.h"
#include "layout/CarPhoto.h"
#include "layout/CarShape.h"
#include "layout/CourseLayout.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

// The sample pictures and shapes of the program folder, as the build lays
// them out, read by the program's own readers.
std::string Sample(const std::string& name) {
  return test::ProgramFolder() + "/sample/" + name;
}

TEST(SampleData, CarShapesHaveAnOutlineAndDetailLines) {
  PolygonList car;
  ASSERT_TRUE(ReadCarShapeFile(Sample("car/car.wmf"), car));
  ASSERT_EQ(car.counts.size(), 6u);
  EXPECT_EQ(car.counts[0], 10);
  const CarShape shape = LoadCarShape(ReadCarShapeFile, Sample("car/car.wmf"), {30, 20});
  EXPECT_EQ(shape.width, 40);
  EXPECT_EQ(shape.height, 20);
  EXPECT_EQ(car.points[2], (Point{31, 0}));  // one unit is one pixel

  PolygonList roboq;
  ASSERT_TRUE(ReadCarShapeFile(Sample("car/roboq.wmf"), roboq));
  ASSERT_EQ(roboq.counts.size(), 5u);
  EXPECT_EQ(roboq.counts[0], 9);
  EXPECT_EQ(LoadCarShape(ReadCarShapeFile, Sample("car/roboq.wmf"), {30, 20}).width, 24);
  EXPECT_FALSE(ReadCarShapeFile(Sample("car/none.wmf"), roboq));
}

TEST(SampleData, CarPhotographsLoadAndFaceRight) {
  CarPhoto car;
  ASSERT_TRUE(car.Load(Sample("car/car.bmp")));
  EXPECT_EQ(car.width(), 64);
  EXPECT_EQ(car.height(), 36);
  CarPhoto roboq;
  ASSERT_TRUE(roboq.Load(Sample("car/roboq.bmp")));
  EXPECT_EQ(roboq.width(), 36);
}

TEST(SampleData, CourseLayoutIsA640x480Photograph) {
  test::TestDir dir;
  test::FakeUiHost ui;
  Settings settings(&ui);
  settings.SetPaths(test::ProgramFolder(), dir.File("VIREN.ini"), dir.File("option.ini"));
  dir.Write("option.ini", "[LAYOUT]\nLAYOUT_TYPE=0\nLAYOUT_FILE=course.bmp\nCAR_FILE=car.bmp\n");
  EngineState state;
  CourseLayout layout(settings, ui, state);
  ASSERT_TRUE(layout.Initialise());
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(layout.layoutType(), LAYOUT_PHOTO);
  EXPECT_TRUE(layout.carPhotoLoaded());
  const QImage pic = layout.LayoutPicture();
  EXPECT_EQ(pic.size(), QSize(640, 480));
  // Not a plain colour: the photograph's wood, track and grass differ.
  EXPECT_NE(pic.pixel(10, 200), pic.pixel(320, 200));
}

}  // namespace
}  // namespace viren
