// The flowchart picture, pixel by pixel: connection-line routes, boxes,
// glyphs, position marks, the selection frame and the pens from [EVENT].
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <vector>

#include "editor/ProgramCanvas.h"
#include "editor/ProgramLayout.h"
#include "settings/Settings.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

EventRecord Box(EventKind kind, int x, int y, int option = 0) {
  EventRecord r;
  r.kind = kind;
  r.option = static_cast<std::uint8_t>(option);
  r.x = static_cast<std::int16_t>(x);
  r.y = static_cast<std::int16_t>(y);
  return r;
}

QColor At(const QImage& image, int x, int y) {
  return QColor(image.pixel(x, y));
}

const QColor kLink(0, 0, 255);

struct RouteCase {
  const char* name;
  EventKind sourceKind;
  Point source;
  Point target;
  bool chain;  // a chain line (source.next = target) instead of a link
  std::vector<Point> onLine;
};

class RouteTest : public ::testing::TestWithParam<RouteCase> {};

TEST_P(RouteTest, theLineRunsWhereTheRouteSays) {
  const RouteCase& c = GetParam();
  EventRecord records[2] = {Box(c.sourceKind, c.source.x, c.source.y),
                            Box(EVENT_TIMER, c.target.x, c.target.y)};
  if (c.chain) {
    records[0].next = 1;
    records[1].prev = 0;
  } else {
    records[0].link = 1;
    records[1].prev = 5;  // not a chain head
  }
  ProgramCanvas canvas;
  canvas.Redraw(records, 2);
  for (const Point& p : c.onLine)
    EXPECT_EQ(At(canvas.image(), p.x, p.y), kLink) << c.name << " at " << p.x << "," << p.y;
  EXPECT_EQ(At(canvas.image(), 600, 460), QColor(Qt::white)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Routes, RouteTest,
    ::testing::Values(
        RouteCase{"chain in the row", EVENT_TIMER, {16, 16}, {72, 16}, true, {{63, 36}}},
        RouteCase{"chain down a row",
                  EVENT_TIMER,
                  {520, 16},
                  {16, 72},
                  true,
                  {{564, 36}, {568, 50}, {300, 64}, {8, 80}, {12, 92}}},
        RouteCase{"repeat to another row",
                  EVENT_REPEAT,
                  {240, 72},
                  {72, 16},
                  false,
                  {{260, 65}, {150, 61}, {64, 50}, {68, 39}}},
        RouteCase{"repeat in its row",
                  EVENT_REPEAT,
                  {240, 16},
                  {128, 16},
                  false,
                  {{260, 57}, {200, 58}, {122, 50}}},
        RouteCase{"jump in its row",
                  EVENT_TIMER,
                  {240, 16},
                  {128, 16},
                  false,
                  {{285, 36}, {290, 50}, {200, 67}, {118, 50}, {124, 39}}},
        RouteCase{"jump up and to the right",
                  EVENT_TIMER,
                  {16, 72},
                  {128, 16},
                  false,
                  {{90, 92}, {120, 70}, {124, 39}}},
        RouteCase{"jump up and to the left",
                  EVENT_TIMER,
                  {240, 72},
                  {128, 16},
                  false,
                  {{284, 92}, {288, 80}, {200, 67}, {120, 50}}}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& ch : name)
        if (ch == ' ') ch = '_';
      return name;
    });

TEST(ProgramCanvas, routeCornersAreExactForAJumpToTheLeft) {
  EventRecord records[2] = {Box(EVENT_CAR, 240, 72), Box(EVENT_TIMER, 128, 16)};
  records[0].link = 1;
  const auto lines = ConnectionRoutes(records, 2);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].isLink);
  EXPECT_EQ(lines[0].points,
            (std::vector<Point>{{260, 92}, {288, 92}, {288, 67}, {120, 67}, {120, 39}, {129, 39}}));
}

TEST(ProgramCanvas, boxesHaveABlackFrameTheBrushAndTheSelectionFrame) {
  EventRecord records[1] = {Box(EVENT_START, 16, 16)};
  ProgramCanvas canvas;
  canvas.Redraw(records, 1);
  EXPECT_EQ(At(canvas.image(), 16, 36), QColor(Qt::black));
  EXPECT_EQ(At(canvas.image(), 55, 36), QColor(Qt::black));
  EXPECT_EQ(At(canvas.image(), 18, 36), QColor(0xFF, 0xF9, 0xBD));
  EXPECT_EQ(At(canvas.image(), 57, 36), QColor(Qt::white));
  const QImage plain = canvas.Compose(nullptr);
  EXPECT_EQ(plain, canvas.image());
  const QImage selected = canvas.Compose(&records[0]);
  EXPECT_EQ(At(selected, 16, 36), QColor(0, 255, 0));
  EXPECT_EQ(At(selected, 36, 16), QColor(0, 255, 0));
  EXPECT_EQ(At(selected, 36, 56), QColor(0, 255, 0));
  EXPECT_EQ(At(selected, 30, 30), At(plain, 30, 30)) << "the frame is not filled";
}

int CountColour(const QImage& image, QRect area, QColor colour) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (QColor(image.pixel(x, y)) == colour) ++n;
  return n;
}

// Blue glyph pixels on the lower edge of a car box.
int CarArrows(const EventRecord& car, bool roboQ) {
  CanvasStyle style;
  style.roboQ = roboQ;
  ProgramCanvas canvas;
  canvas.SetStyle(style);
  canvas.Redraw(&car, 1);
  return CountColour(canvas.image(), QRect(car.x + 4, car.y + 28, 32, 8), QColor(0, 0, 255));
}

TEST(ProgramCanvas, carGlyphsShowSpeedTurboAndDirection) {
  EventRecord car = Box(EVENT_CAR, 72, 16, CAR_FORWARD);
  const int single = CarArrows(car, false);
  EXPECT_GT(single, 10);
  car.value2 = 1;  // turbo
  EXPECT_EQ(CarArrows(car, false), 2 * single);
  car.value2 = 0;
  car.option = CAR_STOP;
  EXPECT_EQ(CarArrows(car, false), 36) << "the 6 x 6 stop square";
  for (int speed = 1; speed <= 3; ++speed) {
    car.option = static_cast<std::uint8_t>(speed);
    EXPECT_EQ(CarArrows(car, true), speed * single) << speed;
  }
}

TEST(ProgramCanvas, handleSoundAndBallGlyphsStandWhereTheirKindPutsThem) {
  EventRecord records[3] = {Box(EVENT_HANDLE, 16, 16, HANDLE_RIGHT), Box(EVENT_SOUND, 72, 16, 0),
                            Box(EVENT_BALL, 128, 16, BALL_AVOID)};
  ProgramCanvas canvas;
  canvas.Redraw(records, 3);
  const QImage& img = canvas.image();
  EXPECT_GT(CountColour(img, QRect(32, 20, 8, 8), QColor(255, 0, 0)), 10);
  EXPECT_EQ(CountColour(img, QRect(88, 44, 8, 8), QColor(Qt::black)), 36) << "6 x 6 square";
  EXPECT_GT(CountColour(img, QRect(144, 44, 8, 8), QColor(0, 0, 255)), 10);
}

TEST(ProgramCanvas, positionMarksShowTheRangeOrThePoint) {
  EventRecord records[4] = {Box(EVENT_POSITION, 16, 16, POSITION_LEAVE_COURSE),
                            Box(EVENT_POSITION, 72, 16, POSITION_LEAVE_CAMERA),
                            Box(EVENT_POSITION, 128, 16, POSITION_CAMERA_CENTRE),
                            Box(EVENT_POSITION, 184, 16, POSITION_POINT)};
  records[3].value1 = 640;
  records[3].value2 = 0;
  ProgramCanvas canvas;  // course range 320 x 240: a = 8, b = 10
  canvas.Redraw(records, 4);
  const QImage& img = canvas.image();
  const QColor red(255, 0, 0);
  EXPECT_EQ(At(img, 16 + 12, 36), red);
  EXPECT_EQ(At(img, 36, 16 + 14), red);
  EXPECT_EQ(At(img, 16 + 28, 36), red);
  EXPECT_EQ(At(img, 36, 16 + 26), red);
  EXPECT_NE(At(img, 16 + 11, 36), red);
  EXPECT_EQ(At(img, 72 + 4, 36), red);
  EXPECT_EQ(At(img, 92, 16 + 36), red);
  EXPECT_EQ(CountColour(img, QRect(128 + 4, 20, 32, 32), red), 13) << "a 7 + 7 cross";
  EXPECT_EQ(At(img, 148, 33), red);
  EXPECT_EQ(At(img, 151, 36), red);
  // The point (640, 0) lies at the right edge of the picture.
  EXPECT_EQ(At(img, 184 + 36, 16 + 8), red);
  EXPECT_EQ(At(img, 184 + 36, 16 + 11), red);
}

TEST(ProgramCanvas, pensAndBrushComeFromTheSettings) {
  test::TestDir dir;
  test::FakeUiHost ui;
  Settings settings(&ui);
  dir.Write("VIREN.ini",
            "[EVENT]\nEVENT_COLOR=#FF0000\nLINK_COLOR=#00FF00\nLINK_WIDTH=3\n"
            "SELECT_COLOR=#0000FF\nSELECT_WIDTH=1\n");
  dir.Write("option.ini", "[LAYOUT]\nBORDER_WIDTH=640\nBORDER_HEIGHT=480\n");
  settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
  const CanvasStyle style = ReadCanvasStyle(settings, false);
  EXPECT_EQ(style.courseWidth, 640);
  EventRecord records[2] = {Box(EVENT_TIMER, 16, 16), Box(EVENT_TIMER, 72, 16)};
  records[0].next = 1;
  records[1].prev = 0;
  ProgramCanvas canvas;
  canvas.SetStyle(style);
  canvas.Redraw(records, 2);
  EXPECT_EQ(At(canvas.image(), 18, 18), QColor(255, 0, 0));
  EXPECT_EQ(CountColour(canvas.image(), QRect(63, 30, 1, 12), QColor(0, 255, 0)), 3);
  const QImage selected = canvas.Compose(&records[1]);
  EXPECT_EQ(At(selected, 72, 36), QColor(0, 0, 255));
  EXPECT_EQ(At(selected, 73, 36), At(canvas.image(), 73, 36)) << "one pixel wide";

  dir.Write("VIREN.ini", "[EVENT]\nEVENT_COLOR=yellow\n");
  EXPECT_EQ(ReadCanvasStyle(settings, false).boxColor, QColor(0xFF, 0xF9, 0xBD));
}

TEST(ProgramLayout, damagedChainsAreLaidOutAsFarAsTheyGo) {
  EventRecord records[4] = {Box(EVENT_START, 0, 0), Box(EVENT_TIMER, 0, 0), Box(EVENT_TIMER, 0, 0),
                            Box(EVENT_TIMER, 0, 0)};
  records[0].next = 1;
  records[1].prev = 0;
  records[1].next = 2;
  records[2].prev = 1;
  records[2].next = 1;   // loops back
  records[3].next = 77;  // out of range
  LayoutProgram(records, 4);
  EXPECT_EQ(records[2].x, 128);
  EXPECT_EQ(records[3].x, 16);
  EXPECT_EQ(records[3].y, 72);
  EXPECT_EQ(HitCommand(records, 4, Point{128, 16}), 2);
  EXPECT_EQ(HitCommand(records, 4, Point{167, 55}), 2);
  EXPECT_EQ(HitCommand(records, 4, Point{168, 16}), -1);
  EXPECT_EQ(ConnectionRoutes(records, 4).size(), 3u) << "no line to a slot beyond the program";
}

}  // namespace
}  // namespace viren
