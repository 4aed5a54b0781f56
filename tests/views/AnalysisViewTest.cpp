#include "views/CAnalysisView.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <thread>
#include <vector>

#include <QPainter>

#include "core/DriveInterfaces.h"
#include "core/DriveTypes.h"
#include "layout/CourseLayout.h"
#include "layout/ImageConvert.h"
#include "support/CountAllocations.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"
#include "vision/Bitmap24.h"
#include "vision/CFrameAnalyser.h"

namespace viren {
namespace {

constexpr QRgb kRed = qRgb(255, 0, 0);

// A camera frame as the capture delivers it: bottom-up, blue-green-red, no
// padding; a horizontal and vertical gradient so that any row or colour mix-up
// shows, with a dark square of `side` at (sx, sy) (picture coordinates).
std::vector<std::uint8_t> Frame(int w, int h, int sx = -100, int sy = -100, int side = 0) {
  std::vector<std::uint8_t> f(static_cast<std::size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = f.data() + (static_cast<std::size_t>(h - 1 - y) * w + x) * 3;
      const bool dark = x >= sx && x < sx + side && y >= sy && y < sy + side;
      p[0] = dark ? 0 : 200;
      p[1] = dark ? 0 : static_cast<std::uint8_t>(y);
      p[2] = dark ? 0 : static_cast<std::uint8_t>(x);
    }
  }
  return f;
}

class FixedDrive : public DriveCommander {
 public:
  void SendDriveCommand(int, SendTo) override {}
  std::uint32_t DriveState() const override { return state; }
  int SpeedLevel() const override { return 2; }
  void SetSpeedLevel(int) override {}
  std::uint32_t state = 0;
};

class AnalysisViewTest : public ::testing::Test {
 protected:
  AnalysisViewTest()
      : settings(&ui),
        layout(settings, ui, engine),
        analyser(car, engine),
        view(engine, car, layout, analyser, settings, exchange) {
    settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
    std::filesystem::create_directories(dir.File("sample/car"));
    dir.Write("VIREN.ini",
              "[VECTOR]\nPEN_COLOR=#FF0000\nPEN_WIDTH=1\n[LAYOUT]\nCAR_SIZE=40,16\nPEN_WIDTH=1\n");
  }
  void Start(const std::string& options = "[LAYOUT]\nLAYOUT_TYPE=1\nCAR_TYPE=1\n") {
    dir.Write("option.ini", options);
    layout.SetShapeReader(nullptr);
    ASSERT_TRUE(layout.Initialise());
    analyser.LoadAnalysisSettings(settings);
    view.LoadViewSettings();
    view.SetDriveCommander(&drive);
    view.SetHooks({[this](int w, int h) { fits.emplace_back(w, h); }, nullptr, nullptr});
  }
  // One frame through the view calls as the analysis makes them.
  void ShowFrame(const std::vector<std::uint8_t>& frame, int w, int h) {
    view.BeginFrame();
    view.DrawView(frame.data(), w, h);
    view.EndFrame();
  }

  test::TestDir dir;
  test::FakeUiHost ui;
  Settings settings;
  EngineState engine;
  CarState car;
  FixedDrive drive;
  CourseLayout layout;
  CFrameAnalyser analyser;
  PictureExchange exchange;
  CAnalysisView view;
  std::vector<std::pair<int, int>> fits;
};

TEST_F(AnalysisViewTest, LiveViewShowsTheFrameWithTheArrowAtTheCentroid) {
  Start();
  engine.viewMode = VIEW_LIVE;
  engine.overlayMode = OVERLAY_DIRECTION;
  car.centroid = Point{100, 100};
  car.carDirection = 0.0;
  view.PrepareFrameSize(320, 240);
  ShowFrame(Frame(320, 240), 320, 240);
  const QImage& shown = exchange.Front();
  ASSERT_EQ(shown.size(), QSize(320, 240));
  EXPECT_TRUE(fits.empty());  // 320 x 240 is the size after start-up
  EXPECT_EQ(shown.pixel(10, 20), qRgb(10, 20, 200));
  EXPECT_EQ(shown.pixel(300, 230), qRgb(300 - 256, 230, 200));
  for (auto [x, y] : {std::pair{93, 108}, {116, 100}, {93, 93}})
    EXPECT_EQ(shown.pixel(x, y), kRed) << x << "," << y;

  // Not found: the picture without overlay.
  car.centroid = Point{-1, -1};
  ShowFrame(Frame(320, 240), 320, 240);
  EXPECT_EQ(exchange.Front().pixel(116, 100), qRgb(116, 100, 200));
}

TEST_F(AnalysisViewTest, TurningRadiusAndMarkerCrossFollowTheirSettings) {
  dir.Write("option.ini", "");
  Start("[LAYOUT]\nLAYOUT_TYPE=1\n[DEBUG]\nCENTER=1\nMARKER_DISPLAY=1\n[VIEW]\nMARKER_CHECK=1\n");
  engine.overlayMode = OVERLAY_DIRECTION;
  car.centroid = Point{100, 100};
  car.turnCentre = Point{200, 150};
  car.turnRadius = 30;
  car.markerPosition = Point{40, 40};
  drive.state = DRIVE_STATE_FORWARD | DRIVE_STATE_LEFT;
  view.PrepareFrameSize(320, 240);
  ShowFrame(Frame(320, 240), 320, 240);
  EXPECT_EQ(exchange.Front().pixel(200, 170), kRed);  // radius line, downwards when left
  EXPECT_EQ(exchange.Front().pixel(48, 40), kRed);    // marker cross
  drive.state = DRIVE_STATE_LEFT;                     // steering only: no line
  ShowFrame(Frame(320, 240), 320, 240);
  EXPECT_NE(exchange.Front().pixel(200, 170), kRed);
}

TEST_F(AnalysisViewTest, DifferenceViewShowsTheBinaryImageDarkAndLight) {
  Start();
  engine.viewMode = VIEW_DIFFERENCE;
  engine.overlayMode = OVERLAY_CAR_FIGURE;  // nothing over a camera picture
  car.centroid = Point{5, 5};
  std::vector<std::uint8_t> binary(40 * 30, 0);
  binary[0] = 1;             // bottom-left
  binary[29 * 40 + 39] = 3;  // top-right, a traced boundary pixel
  view.PrepareFrameSize(40, 30);
  view.BeginFrame();
  view.PaintBinaryImage(binary.data(), 40, 30);
  view.DrawView(Frame(40, 30).data(), 40, 30);
  view.EndFrame();
  const QImage& shown = exchange.Front();
  ASSERT_EQ(shown.size(), QSize(40, 30));
  EXPECT_EQ(fits, (std::vector<std::pair<int, int>>{{40, 30}}));
  EXPECT_EQ(shown.pixel(0, 29), qRgb(255, 255, 255));
  EXPECT_EQ(shown.pixel(10, 10), qRgb(0, 0, 0));
  EXPECT_NE(shown.pixel(39, 0), qRgb(0, 0, 0));
}

TEST_F(AnalysisViewTest, LayoutViewIs640x480WithTheCarFigureEvenWhenTheCarIsLost) {
  Start();
  engine.viewMode = VIEW_LAYOUT;
  engine.overlayMode = OVERLAY_CAR_FIGURE;
  car.centroid = Point{-1, -1};
  car.carLayoutPosition = Point{320, 240};
  car.carDirection = 0.0;
  view.PrepareFrameSize(320, 240);
  ShowFrame(Frame(320, 240), 320, 240);
  EXPECT_EQ(fits, (std::vector<std::pair<int, int>>{{640, 480}}));
  EXPECT_EQ(engine.clientWidth, 640);
  const QImage& shown = exchange.Front();
  ASSERT_EQ(shown.size(), QSize(640, 480));
  EXPECT_EQ(shown.pixel(320, 240), qRgb(128, 128, 128));  // the CAR_SIZE rectangle
  EXPECT_EQ(shown.pixel(301, 240), qRgb(0, 0, 0));
  EXPECT_EQ(shown.pixel(299, 240), qRgb(255, 255, 255));
  EXPECT_EQ(shown.pixel(320, 120), qRgb(0, 0, 0));  // the layout's course range

  // The arrow is drawn only for a car found in this frame.
  engine.overlayMode = OVERLAY_DIRECTION;
  ShowFrame(Frame(320, 240), 320, 240);
  EXPECT_EQ(exchange.Front().pixel(336, 240), qRgb(255, 255, 255));
  car.centroid = Point{160, 120};
  ShowFrame(Frame(320, 240), 320, 240);
  EXPECT_EQ(exchange.Front().pixel(336, 240), kRed);
}

TEST_F(AnalysisViewTest, TargetMarkerAndCourseRangeOnTheCameraPicture) {
  Start();
  engine.viewMode = VIEW_LIVE;
  car.centroid = Point{-1, -1};
  car.cheesePosition = Point{320, 240};  // layout coordinates while driving
  engine.autoDriving = true;
  engine.frameWidth = 320;
  engine.frameHeight = 240;
  view.PrepareFrameSize(320, 240);
  view.BeginFrame();
  view.DrawView(Frame(320, 240).data(), 320, 240);
  view.DrawTargetMarker();
  view.DrawCourseRange();
  view.EndFrame();
  const QImage& shown = exchange.Front();
  const QImage marker = view.targetMarker();
  EXPECT_EQ(shown.pixel(152 + 5, 114 + 5), marker.pixel(5, 5));  // at (160, 120) - (8, 6)
  EXPECT_EQ(shown.pixel(80, 60), kRed);
  EXPECT_EQ(shown.pixel(240, 180), kRed);
}

TEST_F(AnalysisViewTest, DumpedFrameIsWhatTheViewShowsOverlaysIncluded) {
  std::filesystem::create_directories(dir.File("capture"));
  Start("[LAYOUT]\nLAYOUT_TYPE=1\n[DEBUG]\nCAPTURE=" + dir.File("capture") + "\n");
  engine.viewMode = VIEW_LIVE;
  engine.overlayMode = OVERLAY_CENTROID;
  car.centroid = Point{50, 60};
  auto frame = Frame(320, 240);
  const auto original = frame;
  view.PrepareFrameSize(320, 240);
  view.BeginFrame();
  view.DrawView(frame.data(), 320, 240);
  view.DumpFrame(320, 240, 7);
  view.EndFrame();
  EXPECT_EQ(frame, original);  // the caller's frame is left alone
  const std::string path = dir.File("capture/000007.bmp");
  ASSERT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(path), 54u + 230400u);
  Bitmap24 back;
  ASSERT_EQ(LoadBitmap24(path, back), BitmapStatus::Ok);
  const QImage dumped = BitmapToImage(back);
  EXPECT_EQ(dumped, exchange.Front());
  EXPECT_EQ(dumped.pixel(58, 60), kRed);

  // The folder is read again each time: gone, the frame is skipped quietly.
  dir.Write("option.ini", "[LAYOUT]\nLAYOUT_TYPE=1\n[DEBUG]\nCAPTURE=" + dir.File("gone") + "\n");
  view.BeginFrame();
  view.DrawView(frame.data(), 320, 240);
  view.DumpFrame(320, 240, 8);
  view.EndFrame();
  EXPECT_FALSE(std::filesystem::exists(dir.File("gone/000008.bmp")));
  EXPECT_TRUE(ui.messages().empty());

  // Playing the dump folder back does not write over the recording, however
  // the folder is spelled.
  dir.Write("option.ini",
            "[LAYOUT]\nLAYOUT_TYPE=1\n[DEBUG]\nCAPTURE=" + dir.File("capture") + "\n");
  std::string played = dir.File("capture/../capture/");
  view.SetHooks({.playedSource = [&played] { return played; }});
  const auto recorded = std::filesystem::last_write_time(path);
  view.BeginFrame();
  view.DrawView(frame.data(), 320, 240);
  view.DumpFrame(320, 240, 7);
  view.DumpFrame(320, 240, 9);
  view.EndFrame();
  EXPECT_EQ(std::filesystem::last_write_time(path), recorded);
  EXPECT_FALSE(std::filesystem::exists(dir.File("capture/000009.bmp")));
  played = dir.File("moving.avi");  // another source: the dump goes on
  view.BeginFrame();
  view.DrawView(frame.data(), 320, 240);
  view.DumpFrame(320, 240, 9);
  view.EndFrame();
  EXPECT_TRUE(std::filesystem::exists(dir.File("capture/000009.bmp")));
}

// The whole capture path: a dark square moves between two frames; the
// analysis finds it and the vector view draws its contours over the picture.
TEST_F(AnalysisViewTest, AnalysedFrameDrawsItsContoursInTheVectorView) {
  Start();
  AnalysisPeers peers;
  peers.view = &view;
  analyser.SetPeers(peers);
  engine.captureRunning = true;
  engine.viewMode = VIEW_LIVE;
  engine.overlayMode = OVERLAY_VECTOR;
  auto first = Frame(320, 240, 100, 100, 20);
  auto second = Frame(320, 240, 140, 100, 20);
  analyser.AnalyseFrame(first.data(), first.size(), 320, 240);
  analyser.AnalyseFrame(second.data(), second.size(), 320, 240);
  ASSERT_GT(analyser.contourCount(), 0);
  ASSERT_NE(car.centroid.load().x, -1);
  const QImage& shown = exchange.Front();
  int red = 0;
  for (int y = 90; y < 130; ++y)
    for (int x = 90; x < 170; ++x) red += shown.pixel(x, y) == kRed;
  EXPECT_GT(red, 40);
  EXPECT_EQ(shown.pixel(5, 5), qRgb(5, 5, 200));
  EXPECT_EQ(exchange.publishedCount(), 2u);
}

// Frame after frame through the analysis into the camera views, with every
// overlay drawn over the picture, the target marker and the course range,
// while the window takes the pictures: once each picture has been drawn on,
// nothing is allocated.
TEST_F(AnalysisViewTest, SteadyStateOfTheCameraViewsAllocatesNothing) {
  Start("[LAYOUT]\nLAYOUT_TYPE=1\n[DEBUG]\nCENTER=1\nMARKER_DISPLAY=1\n");
  AnalysisPeers peers;
  peers.view = &view;
  analyser.SetPeers(peers);
  engine.captureRunning = true;
  engine.showCourseRange = true;
  engine.targetFollowing = true;
  car.cheesePosition = Point{200, 50};
  drive.state = DRIVE_STATE_MOVING | DRIVE_STATE_STEERING | DRIVE_STATE_RIGHT;
  std::vector<std::vector<std::uint8_t>> frames;
  for (int k = 0; k < 12; ++k) frames.push_back(Frame(320, 240, 60 + 8 * k, 80 + (k % 2) * 6, 20));
  struct Case {
    int viewMode;
    int overlayMode;
  };
  for (const Case c : {Case{VIEW_LIVE, OVERLAY_DIRECTION}, Case{VIEW_LIVE, OVERLAY_CENTROID},
                       Case{VIEW_LIVE, OVERLAY_VECTOR}, Case{VIEW_LIVE, OVERLAY_POLYGON},
                       Case{VIEW_DIFFERENCE, OVERLAY_DIRECTION}}) {
    engine.viewMode = c.viewMode;
    engine.overlayMode = c.overlayMode;
    const auto feed = [&](int from, int to) {
      for (int k = from; k < to; ++k) {
        analyser.AnalyseFrame(frames[k].data(), frames[k].size(), 320, 240);
        exchange.Front();
      }
    };
    feed(0, 4);
    gAllocations = 0;
    gCountAllocations = true;
    feed(4, 12);
    gCountAllocations = false;
    EXPECT_EQ(gAllocations, 0) << "view " << c.viewMode << ", overlay " << c.overlayMode;
    EXPECT_NE(car.centroid.load().x, -1);  // the overlays were drawn
  }
}

TEST_F(AnalysisViewTest, SimulationStepDrawsTheCarAndTheTarget) {
  Start();
  engine.viewMode = VIEW_LAYOUT;
  engine.overlayMode = OVERLAY_CAR_FIGURE;
  car.carPosition = Point{320, 240};
  car.carDirection = kHalfPi;
  view.DrawSimulationStep();
  const QImage& shown = exchange.Front();
  ASSERT_EQ(shown.size(), QSize(640, 480));
  EXPECT_EQ(shown.pixel(320, 258), qRgb(128, 128, 128));  // 40 long, now downwards
  EXPECT_EQ(shown.pixel(330, 240), qRgb(255, 255, 255));

  engine.overlayMode = OVERLAY_CENTROID;
  engine.targetFollowing = true;
  car.cheesePosition = Point{100, 100};
  view.DrawSimulationStep();
  const QImage& next = exchange.Front();
  EXPECT_EQ(next.pixel(328, 240), kRed);
  EXPECT_EQ(next.pixel(320, 258), qRgb(255, 255, 255));
  EXPECT_EQ(next.pixel(92 + 5, 94 + 5), view.targetMarker().pixel(5, 5));

  engine.viewMode = VIEW_PROGRAM;  // nothing drawn in the program editor
  view.DrawSimulationStep();
  EXPECT_EQ(exchange.publishedCount(), 2u);
}

TEST_F(AnalysisViewTest, PaintStepComposesTheLayoutOnlyWhenNothingElseDoes) {
  Start();
  engine.viewMode = VIEW_LIVE;
  view.PaintLayoutView();
  EXPECT_FALSE(exchange.HasPicture());
  engine.viewMode = VIEW_LAYOUT;
  engine.simulating = true;
  view.PaintLayoutView();
  EXPECT_FALSE(exchange.HasPicture());
  engine.simulating = false;
  layout.SetLayoutColor(MakeColorRef(0, 0, 255));
  view.PaintLayoutView();
  ASSERT_TRUE(exchange.HasPicture());
  EXPECT_EQ(exchange.Front().pixel(5, 5), qRgb(0, 0, 255));
}

// Screenshot for a person to look at: the sample course with the car's
// photograph and the graphic car at three headings, side by side.
TEST_F(AnalysisViewTest, ScreenshotOfTheLayoutViewWithTheCarAtThreeHeadings) {
  const std::string sample = test::ProgramFolder();
  settings.SetPaths(sample, dir.File("VIREN.ini"), dir.File("option.ini"));
  Start("[LAYOUT]\nLAYOUT_TYPE=0\nLAYOUT_FILE=course.bmp\nCAR_TYPE=0\nCAR_FILE=car.bmp\n");
  ASSERT_TRUE(ui.messages().empty());
  layout.SetShapeReader(ReadCarShapeFile);
  layout.ReloadCarShape();
  engine.viewMode = VIEW_LAYOUT;
  engine.overlayMode = OVERLAY_CAR_FIGURE;
  const double headings[3] = {0.0, kPi / 4, kHalfPi + kPi / 3};
  QImage sheet(3 * 640, 2 * 480, QImage::Format_RGB32);
  QPainter painter(&sheet);
  for (int type = 0; type < 2; ++type) {
    layout.SetCarType(type);
    for (int i = 0; i < 3; ++i) {
      car.carPosition = Point{320, 80 + 160 * i};  // on the track's straights and bend
      car.carDirection = headings[i];
      view.DrawSimulationStep();
      const QImage& shown = exchange.Front();
      // The car changes the picture where it stands and nowhere far off.
      const QImage plain = layout.LayoutPicture();
      int changed = 0, far = 0;
      for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
          if (shown.pixel(x, y) == plain.pixel(x, y)) continue;
          const bool near = std::abs(x - 320) < 45 && std::abs(y - (80 + 160 * i)) < 45;
          (near ? changed : far)++;
        }
      EXPECT_GT(changed, 300) << type << "/" << i;
      EXPECT_EQ(far, 0) << type << "/" << i;
      painter.drawImage(640 * i, 480 * type, shown);
    }
  }
  painter.end();
  const std::string folder = test::ProgramFolder() + "/../test-screenshots";
  std::filesystem::create_directories(folder);
  EXPECT_TRUE(sheet.save(QString::fromStdString(folder + "/layout_car_headings.png")));
}

// The capture thread composes layout pictures while the window thread paints
// and changes the layout; run under ThreadSanitizer this shows the sharing is
// sound.
TEST_F(AnalysisViewTest, CaptureAndWindowThreadsShareTheViewSafely) {
  Start();
  engine.viewMode = VIEW_LAYOUT;
  engine.overlayMode = OVERLAY_CAR_FIGURE;
  engine.captureRunning = true;
  view.PrepareFrameSize(64, 48);
  std::atomic<bool> stop{false};
  const auto frame = Frame(64, 48);
  std::thread capture([&] {
    for (int n = 0; n < 300; ++n) {
      car.carLayoutPosition = Point{100 + n, 200};
      car.carDirection = n * 0.05;
      ShowFrame(frame, 64, 48);
    }
    stop = true;
  });
  int painted = 0;
  for (int n = 0; !stop || n < 50; ++n) {
    const QImage& front = exchange.Front();
    if (!front.isNull()) painted += front.width() == 640;
    if (n % 20 == 0) layout.SetLayoutColor(MakeColorRef(n & 255, 200, 200));
    if (n % 7 == 0) layout.SetCarColor(MakeColorRef(0, n & 255, 0));
    view.PaintLayoutView();  // idle composing is skipped while capture runs
  }
  capture.join();
  painted += exchange.Front().width() == 640;
  EXPECT_GT(painted, 0);
  EXPECT_EQ(exchange.publishedCount(), 300u);
}

}  // namespace
}  // namespace viren
