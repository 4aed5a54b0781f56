// What a first-time user meets in the assembled window, offscreen: where the
// controller sits as the view changes size, getting a simulated car back that
// drove off the picture, and the status bar while a program runs.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QToolBar>
#include <cstdlib>
#include <filesystem>
#include "support/QtWaitInGtest.h"

#include "UiSteps.h"
#include "app/CControlDlg.h"
#include "app/CDriveView.h"
#include "app/CMainFrame.h"
#include "app/dialogs/CSetComDlg.h"
#include "app/dialogs/IntSpinEdit.h"
#include "commands/CommandTable.h"
#include "core/CommandIds.h"
#include "core/DriveTypes.h"
#include "device/CCarDevices.h"
#include "engine/CDriveSystem.h"
#include "program/EventRecord.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "simulation/Simulator.h"
#include "support/FakeUiHost.h"
#include "support/ProgramBytes.h"
#include "support/TestDir.h"
#include "views/PictureExchange.h"

namespace viren {
namespace {

constexpr int kForwardButton = 2;
constexpr int kAutoButton = 7;

class FirstHourWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "first_hour_window_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
  }
  FirstHourWindow() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    std::filesystem::copy(test::ProgramFolder() + "/sample", dir.File("sample"),
                          std::filesystem::copy_options::recursive);
    std::filesystem::copy(test::ProgramFolder() + "/control1", dir.File("control1"),
                          std::filesystem::copy_options::recursive);
    dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n[EVENT]\r\nFILE_NAME=lap.ntc\r\n");
  }
  // The window started, its controller created while the view still has its
  // first size, then the simulation on and the view grown to the layout.
  std::unique_ptr<CMainFrame> OpenSimulating() {
    auto frame = std::make_unique<CMainFrame>(dir.path(), "", &ui);
    frame->show();
    [&] { QTRY_VERIFY_WITH_TIMEOUT(frame->view()->engine().engineReady(), 5000); }();
    frame->CreateController();
    frame->OnCommand(ID_SIMULATION);
    frame->FitFrameToClient(640, 480);
    return frame;
  }
  static void Click(CMainFrame& frame, int button) {
    const Rect b = frame.controller()->panel().buttonRect(button);
    const QPoint at((b.left + b.right) / 2, (b.top + b.bottom) / 2);
    // Two clicks in quick succession would make a double click.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseMove(frame.controller(), at);
    QTest::mouseClick(frame.controller(), Qt::LeftButton, {}, at);
  }
  // Where the controller belongs: its top-left at the view's bottom-right
  // corner, pushed back inside the screen where it would stick out.
  static QRect ExpectedControllerFrame(CMainFrame& frame) {
    const QPoint corner =
        frame.view()->mapToGlobal(QPoint(frame.view()->width(), frame.view()->height()));
    QRect r(corner, frame.controller()->size());
    const QRect area = QGuiApplication::screenAt(corner)->availableGeometry();
    if (r.right() > area.right()) r.moveRight(area.right());
    if (r.bottom() > area.bottom()) r.moveBottom(area.bottom());
    return r;
  }
  test::TestDir dir;
  test::FakeUiHost ui;
};

TEST_F(FirstHourWindow, controllerFollowsTheViewsCornerWhenTheViewChangesSize) {
  auto frame = OpenSimulating();
  CMainFrame& f = *frame;
  ASSERT_NE(f.controller(), nullptr);
  ASSERT_EQ(f.view()->size(), QSize(640, 480));
  QTRY_COMPARE_WITH_TIMEOUT(f.controller()->frameGeometry(), ExpectedControllerFrame(f), 3000);
  // It no longer sits on the middle of the course, where the car starts.
  const QPoint middle = f.view()->mapToGlobal(QPoint(320, 240));
  EXPECT_FALSE(f.controller()->frameGeometry().contains(middle));

  // Back to a small view and out again: the controller goes with the corner.
  f.FitFrameToClient(320, 240);
  QTRY_COMPARE_WITH_TIMEOUT(f.controller()->frameGeometry(), ExpectedControllerFrame(f), 3000);
  f.FitFrameToClient(640, 480);
  QTRY_COMPARE_WITH_TIMEOUT(f.controller()->frameGeometry(), ExpectedControllerFrame(f), 3000);
  f.OnCommand(ID_SIMULATION);
  f.OnCommand(ID_APP_EXIT);
}

TEST_F(FirstHourWindow, firstStartShowsTheSampleCoursePhotograph) {
  // option.ini holds nothing about the layout, as on a first start.
  dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n");
  auto frame = OpenSimulating();
  CDriveSystem& engine = frame->view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.pictures().publishedCount() > 2, 5000);
  const QImage picture = engine.pictures().Front().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(picture.size(), QSize(640, 480));
  int coloured = 0;
  for (int y = 0; y < 480; y += 4)
    for (int x = 0; x < 640; x += 4) coloured += picture.pixel(x, y) != qRgb(255, 255, 255);
  EXPECT_GT(coloured, 640 * 480 / 16 / 4) << "a blank white layout, not the sample course";
  EXPECT_TRUE(ui.messages().empty());
  frame->OnCommand(ID_SIMULATION);
  frame->OnCommand(ID_APP_EXIT);
}

TEST_F(FirstHourWindow, neitherTheProgramViewNorANarrowPictureLeavesAStripBesideIt) {
  auto frame = OpenSimulating();
  CMainFrame& f = *frame;
  QTRY_COMPARE_WITH_TIMEOUT(f.view()->size(), QSize(640, 480), 3000);
  QTest::qWait(50);
  const QSize before = f.size();
  // The test's host does not pass the toolbar on; the window's own host does.
  f.OnCommand(ID_VIEW_PROGRAM);
  f.ShowCommandToolbar(true);
  QTRY_VERIFY_WITH_TIMEOUT(f.commandToolbar() && f.commandToolbar()->isVisible(), 3000);
  QTRY_VERIFY_WITH_TIMEOUT(f.size().width() > before.width(), 3000);
  f.OnCommand(ID_VIEW_LAYOUT);
  f.ShowCommandToolbar(false);
  QTRY_COMPARE_WITH_TIMEOUT(f.size(), before, 3000);
  // A picture narrower than the toolbar: the frame keeps to the picture.
  f.FitFrameToClient(320, 240);
  QTRY_COMPARE_WITH_TIMEOUT(f.width(), 320, 3000);
  f.OnCommand(ID_SIMULATION);
  f.OnCommand(ID_APP_EXIT);
}

TEST_F(FirstHourWindow, emptyLiveViewSaysSoAndAVideoOpenedWhileSimulatingIsShown) {
  CMainFrame f(dir.path(), "", &ui);
  f.show();
  CDriveSystem& engine = f.view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.engineReady(), 5000);
  ASSERT_EQ(engine.state().viewMode, VIEW_LIVE);
  ASSERT_FALSE(engine.state().captureRunning);
  // No camera, no video: a dark picture with a line of white text in it.
  const QImage empty = f.view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  int dark = 0, light = 0;
  for (int y = 0; y < empty.height(); ++y)
    for (int x = 0; x < empty.width(); ++x) {
      const int g = qGray(empty.pixel(x, y));
      dark += g < 40;
      light += g > 200;
    }
  EXPECT_GT(dark, empty.width() * empty.height() / 2);
  EXPECT_GT(light, 30) << "the picture says that there is nothing to show";

  f.OnCommand(ID_SIMULATION);
  ASSERT_TRUE(engine.state().simulating);
  const std::string video = dir.File("clip.avi");
  const std::string make =
      "gst-launch-1.0 -q videotestsrc num-buffers=90 ! "
      "video/x-raw,width=320,height=240,framerate=30/1 ! videoconvert ! "
      "avimux ! filesink location=" +
      video + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0);
  test::UiSteps steps({test::OnModal([&video](QWidget* modal) {
    auto* chooser = qobject_cast<QFileDialog*>(modal);
    if (!chooser) return false;
    chooser->selectFile(QString::fromStdString(video));
    static_cast<QDialog*>(chooser)->accept();
    return true;
  })});
  f.OnCommand(ID_OPEN_VIDEO);
  EXPECT_TRUE(steps.finished());
  // The simulation made way for the video, which is what the view shows now.
  EXPECT_FALSE(engine.state().simulating);
  EXPECT_TRUE(engine.state().captureRunning);
  EXPECT_EQ(engine.state().viewMode, VIEW_LIVE);
  const auto before = engine.pictures().publishedCount();
  QTRY_VERIFY_WITH_TIMEOUT(engine.pictures().publishedCount() > before + 3, 5000);
  f.OnCommand(ID_APP_EXIT);
}

TEST_F(FirstHourWindow, carOffThePictureIsMarkedAtTheEdgeAndCanBeBroughtBack) {
  auto frame = OpenSimulating();
  CMainFrame& f = *frame;
  CDriveSystem& engine = f.view()->engine();
  QAction* back = f.ActionFor(ID_CAR_TO_CENTRE);
  ASSERT_NE(back, nullptr);
  f.UpdateCommands();
  EXPECT_TRUE(back->isEnabled());

  // Put just left of the picture, facing away from it, and driven forward.
  engine.simulator().PlaceCar(-20, 200, 3.14159);
  Click(f, kForwardButton);
  QTRY_VERIFY_WITH_TIMEOUT(engine.devices().drive().DriveState() & DRIVE_STATE_FORWARD, 3000);
  // The marker sits just inside the left edge at the car's height, in the
  // overlay pen's red; the car figure itself is nowhere in the picture.
  auto markerShown = [&] {
    const QImage picture = engine.pictures().Front().convertToFormat(QImage::Format_RGB32);
    const Point car = engine.carState().carLayoutPosition;
    if (car.x >= 0 || picture.isNull()) return false;
    const int y = std::clamp(car.y, 14, 465);
    for (int x = 4; x < 30; ++x)
      if (picture.pixel(x, y) == qRgb(255, 0, 0)) return true;
    return false;
  };
  QTRY_VERIFY_WITH_TIMEOUT(markerShown(), 3000);

  back->trigger();
  EXPECT_EQ(engine.devices().drive().DriveState() & DRIVE_STATE_MOVING, 0u)
      << "brought back stopped, as the controller's stop leaves it";
  const Point centre = engine.carState().carLayoutPosition;
  EXPECT_EQ(centre.x, 320);
  EXPECT_EQ(centre.y, 240);
  QTest::qWait(300);  // it stays there: nothing drives it
  EXPECT_EQ(engine.carState().carLayoutPosition.load().x, 320);
  QTRY_VERIFY_WITH_TIMEOUT(!markerShown(), 3000);

  // Without the simulation there is no simulated car to bring back.
  f.OnCommand(ID_SIMULATION);
  f.UpdateCommands();
  EXPECT_FALSE(back->isEnabled());
  f.OnCommand(ID_APP_EXIT);
}

TEST_F(FirstHourWindow, statusBarShowsTheRunningCommandAndTheRunsTime) {
  auto frame = OpenSimulating();
  CMainFrame& f = *frame;
  CDriveSystem& engine = f.view()->engine();
  QLabel* status = f.runStatus();
  ASSERT_NE(status, nullptr);
  f.UpdateCommands();
  EXPECT_FALSE(status->isVisible());

  Click(f, kAutoButton);
  QTRY_VERIFY_WITH_TIMEOUT(engine.state().autoDriving, 3000);
  const QRegularExpression line(
      QStringLiteral("^自動運転中: コマンド (\\d+)\\((.+)\\)  ([0-9.]+)秒$"));
  QRegularExpressionMatch m;
  QTRY_VERIFY_WITH_TIMEOUT(status->isVisible() && (m = line.match(status->text())).hasMatch() &&
                               m.captured(3).toDouble() >= 1.0,
                           5000);
  // The number is a command of the program, named by its kind.
  EXPECT_GE(m.captured(1).toInt(), 1);
  EXPECT_LT(m.captured(1).toInt(), engine.program().count());
  EXPECT_NE(m.captured(2), QStringLiteral("-"));
  // For a person to look at, beside the screenshot test's pictures.
  const QString folder = QString::fromStdString(test::ProgramFolder()) + "/../test-screenshots";
  QDir().mkpath(folder);
  f.grab().save(folder + "/main_run.png");

  Click(f, kAutoButton);
  QTRY_VERIFY_WITH_TIMEOUT(!engine.state().autoDriving, 3000);
  QTRY_VERIFY_WITH_TIMEOUT(!status->isVisible(), 3000);
  f.OnCommand(ID_SIMULATION);
  f.OnCommand(ID_APP_EXIT);
}

TEST_F(FirstHourWindow, comPortWithoutADeviceSaysWhichDeviceWasLookedFor) {
  // VIREN.ini names devices for COM7 and COM23 that are not there.
  std::string ini = dir.Read("VIREN.ini");
  const size_t usb = ini.find("[USB]");
  ASSERT_NE(usb, std::string::npos);
  ini.insert(usb + 5,
             "\r\nCOM_DEVICE7=" + dir.File("no-tty7") + "\r\nCOM_DEVICE23=" + dir.File("no-tty23"));
  dir.Write("VIREN.ini", ini);
  CMainFrame f(dir.path(), "", &ui);
  f.show();
  QTRY_VERIFY_WITH_TIMEOUT(f.view()->engine().engineReady(), 5000);
  CDriveSystem& engine = f.view()->engine();
  const size_t before = ui.messages().size();

  f.OnCommand(ComPortCommand(7));
  ASSERT_EQ(ui.messages().size(), before + 1);
  const auto said = ui.messages().back();
  EXPECT_EQ(said.id, MSG_PORT_HAS_NO_DEVICE);
  EXPECT_EQ(said.args.at(0), "7");
  EXPECT_NE(said.args.at(1).find(dir.File("no-tty7")), std::string::npos) << said.args.at(1);
  // The number is kept for when the device is plugged in.
  EXPECT_EQ(engine.settings().ReadInt(keys::COM_NO), 7);

  // "COM10～" opens at 10 while the port in use is below it (it used to show
  // the 0 its own OK refuses), then at the port chosen in it; cancel keeps it.
  std::optional<int> opened;
  auto answer = [&](const char* text, bool ok) {
    return test::OnModal([&opened, text, ok](QWidget* modal) {
      auto* dlg = qobject_cast<CSetComDlg*>(modal);
      if (!dlg) return false;
      opened = dlg->edit()->Value();
      dlg->edit()->SetText(text);
      (ok ? dlg->okButton() : dlg->cancelButton())->click();
      return true;
    });
  };
  {
    test::UiSteps steps({answer("23", true)});
    f.OnCommand(ID_COM_MORE);
    EXPECT_TRUE(steps.finished());
  }
  EXPECT_EQ(opened, 10);
  EXPECT_EQ(engine.settings().ReadInt(keys::COM_NO), 23);
  ASSERT_EQ(ui.messages().size(), before + 2);
  EXPECT_EQ(ui.messages().back().args.at(0), "23");
  {
    test::UiSteps steps({answer("40", false)});
    f.OnCommand(ID_COM_MORE);
    EXPECT_TRUE(steps.finished());
  }
  EXPECT_EQ(opened, 23);
  EXPECT_EQ(engine.settings().ReadInt(keys::COM_NO), 23);
  EXPECT_EQ(ui.messages().size(), before + 2);
  f.OnCommand(ID_COM_NONE);
  EXPECT_EQ(ui.messages().size(), before + 2) << "no port, nothing to look for";
  f.OnCommand(ID_APP_EXIT);
}

TEST_F(FirstHourWindow, flowchartBoxesShowTheirValuesUnderThemWithTheBoxesUnchanged) {
  // Start, a 2.5 s timer, a 0.2 s timer, the end: boxes in a row 56 apart.
  dir.Write("sample/program/timers.ntc",
            test::ProgramFileBytes(
                test::StartChain({{EVENT_TIMER, 0, 2, 5}, {EVENT_TIMER, 0, 0, 2}, {EVENT_END}})));
  dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n[EVENT]\r\nFILE_NAME=timers.ntc\r\n");
  CMainFrame f(dir.path(), "", &ui);
  f.show();
  QTRY_VERIFY_WITH_TIMEOUT(f.view()->engine().engineReady(), 5000);
  ASSERT_EQ(f.view()->engine().program().count(), 4);
  f.OnCommand(ID_VIEW_PROGRAM);
  f.FitFrameToClient(640, 480);
  const QImage shown = f.view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_GE(shown.height(), 80);
  const QRect slow(72, 16, 40, 40);
  const QRect quick(128, 16, 40, 40);
  auto under = [&](const QRect& box) { return shown.copy(box.x(), box.bottom() + 1, 40, 12); };
  auto inked = [](const QImage& part) {
    int n = 0;
    for (int y = 0; y < part.height(); ++y)
      for (int x = 0; x < part.width(); ++x) n += qGray(part.pixel(x, y)) < 128;
    return n;
  };
  EXPECT_EQ(shown.copy(slow), shown.copy(quick)) << "the box pictures stay as they were";
  EXPECT_GT(inked(under(slow)), 10);
  EXPECT_GT(inked(under(quick)), 10);
  EXPECT_NE(under(slow), under(quick)) << "2.5 s and 0.2 s must not look the same";
  f.OnCommand(ID_APP_EXIT);
}

}  // namespace
}  // namespace viren
