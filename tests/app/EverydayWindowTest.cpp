// Things a user meets in the first minutes, through the assembled window:
// start switches, prompts and the status bar, the dialogs' immediate effects.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include "support/QtWaitInGtest.h"

#include "FakePcOpRs1.h"
#include "UiSteps.h"
#include "app/CControlDlg.h"
#include "app/CDriveView.h"
#include "app/CMainFrame.h"
#include "app/dialogs/CCalibrationDlg.h"
#include "app/dialogs/CParamDlg.h"
#include "ball/ui/CBallDlg.h"
#include "commands/CommandTable.h"
#include "core/CommandIds.h"
#include "core/DriveTypes.h"
#include "core/Messages.h"
#include "device/CCarDevices.h"
#include "device/CDriveControl.h"
#include "device/CRoboQ.h"
#include "engine/CDriveSystem.h"
#include "program/DrivingProgram.h"
#include "program/EventRecord.h"
#include "settings/IniFile.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"
#include "views/PictureExchange.h"

namespace viren {
namespace {

class EverydayWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "everyday_window_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
  }
  EverydayWindowTest() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n");
  }
  // The fake host only records what the engine posts; the window runs it in
  // the same order, as the message loop would.
  static void RunPosted(CMainFrame& frame, const std::vector<int>& commands) {
    for (int id : commands) frame.OnCommand(id);
  }
  // A short generated video stands in for the camera.
  std::string MakeVideo(int width, int height) {
    const std::string path = dir.File("camera.avi");
    const std::string make =
        "gst-launch-1.0 -q videotestsrc num-buffers=300 pattern=ball ! video/x-raw,width=" +
        std::to_string(width) + ",height=" + std::to_string(height) +
        ",framerate=30/1 ! videoconvert ! avimux ! filesink location=" + path + " >/dev/null 2>&1";
    return std::system(make.c_str()) == 0 ? path : std::string();
  }
  test::TestDir dir;
  test::FakeUiHost ui;
};

TEST_F(EverydayWindowTest, editorSwitchShowsTheProgramAlsoWhenTheSimulationStarts) {
  CMainFrame frame(dir.path(), "-e", &ui);
  frame.show();
  QTRY_VERIFY_WITH_TIMEOUT(frame.view()->engine().engineReady(), 5000);
  // No camera here: the simulation starts, and the editor is still what shows.
  RunPosted(frame, ui.postedCommands());
  CDriveSystem& engine = frame.view()->engine();
  EXPECT_TRUE(engine.state().simulating);
  EXPECT_EQ(engine.state().viewMode, VIEW_PROGRAM);
  frame.OnCommand(ID_SIMULATION);
  frame.OnCommand(ID_APP_EXIT);
}

TEST_F(EverydayWindowTest, insertingIntoATableWornByDeletionsCompactsItFirst) {
  CMainFrame frame(dir.path(), "", &ui);
  frame.show();
  QTRY_VERIFY_WITH_TIMEOUT(frame.view()->engine().engineReady(), 5000);
  RunPosted(frame, ui.postedCommands());
  frame.OnCommand(ID_SIMULATION);  // stop: the editor is for a car at rest
  frame.OnCommand(ID_VIEW_PROGRAM);
  // start -> car, with every slot between them deleted: the table is full.
  CDriveSystem& engine = frame.view()->engine();
  ProgramRecords worn{};
  worn[0] = MakeStartRecord();
  worn[0].next = kMaxCommands - 1;
  EventRecord& car = worn[kMaxCommands - 1];
  car.kind = EVENT_CAR;
  car.prev = 0;
  car.next = -1;
  car.link = -1;
  ASSERT_TRUE(engine.program().Replace(worn.data(), kMaxCommands));
  engine.program().selection = kMaxCommands - 1;
  frame.UpdateCommands();
  frame.OnCommand(ID_INSERT_END);  // the command toolbar's end button

  EXPECT_TRUE(ui.messageIds().empty())
      << "no MSG_TOO_MANY_COMMANDS with two commands on the canvas";
  int count = 0;
  const ProgramRecords now = engine.program().Snapshot(&count);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(now[0].next, 1);
  EXPECT_EQ(now[1].kind, EVENT_CAR) << "the command that was selected";
  EXPECT_EQ(now[1].next, 2);
  EXPECT_EQ(now[2].kind, EVENT_END);
  EXPECT_EQ(engine.program().selection, 2);
  // Undo takes back the insertion only: the same two commands remain.
  frame.UpdateCommands();
  ASSERT_TRUE(frame.ActionFor(ID_UNDO)->isEnabled());
  frame.ActionFor(ID_UNDO)->trigger();
  const ProgramRecords undone = engine.program().Snapshot(&count);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(undone[1].kind, EVENT_CAR);
  EXPECT_EQ(undone[1].next, -1);
  frame.OnCommand(ID_APP_EXIT);
}

TEST_F(EverydayWindowTest, learningASquareLargerThanThePictureSaysWhy) {
  const std::string video = MakeVideo(160, 120);
  ASSERT_FALSE(video.empty()) << "gst-launch-1.0 could not write the test video";
  CMainFrame frame(dir.path(), "-i " + video, &ui);
  frame.show();
  CDriveSystem& engine = frame.view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.engineReady(), 5000);
  QTRY_VERIFY_WITH_TIMEOUT(engine.pictures().publishedCount() > 2, 5000);
  frame.OnCommand(ID_BALL_LEARNING);
  auto* dialog = frame.findChild<CBallDlg*>();
  ASSERT_NE(dialog, nullptr);
  dialog->radio(CBallDlg::kSize128)->click();
  QTest::mouseClick(frame.view(), Qt::LeftButton, {}, QPoint(80, 60));
  ASSERT_TRUE(dialog->button(CBallDlg::kLearn)->isEnabled());
  dialog->button(CBallDlg::kLearn)->click();
  ASSERT_EQ(ui.messageIds(), std::vector<int>{MSG_LEARN_SQUARE_TOO_LARGE});
  EXPECT_EQ(ui.messages().front().args, (std::vector<std::string>{"128", "160", "120"}));
  EXPECT_FALSE(dialog->button(CBallDlg::kOk)->isEnabled()) << "nothing was learned";
  // A square that fits is learned without a word.
  dialog->radio(CBallDlg::kSize64)->click();
  dialog->button(CBallDlg::kLearn)->click();
  EXPECT_EQ(ui.messageIds().size(), 1u);
  EXPECT_TRUE(dialog->button(CBallDlg::kOk)->isEnabled());
  dialog->button(CBallDlg::kCancel)->click();
  frame.OnCommand(ID_APP_EXIT);
}

// The View menu's switch records the frames shown into a fresh folder under
// the user's data folder, says where, and stops by itself at VIREN.ini's size
// limit with a note of what it holds; switched off by hand it says the same.
TEST_F(EverydayWindowTest, frameRecordingFromTheViewMenuStopsAtItsSizeLimit) {
  const std::string video = MakeVideo(160, 120);
  ASSERT_FALSE(video.empty()) << "gst-launch-1.0 could not write the test video";
  dir.Write("VIREN.ini", ini::Update(dir.Read("VIREN.ini"), "DEBUG", "DUMP_LIMIT", "1"));
  setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
  CMainFrame frame(dir.path(), "-i " + video, &ui);
  frame.show();
  CDriveSystem& engine = frame.view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.engineReady(), 5000);
  QTRY_VERIFY_WITH_TIMEOUT(engine.pictures().publishedCount() > 2, 5000);
  ASSERT_TRUE(EvaluateCommand(ID_RECORD_FRAMES, engine.CommandContextNow()).enabled);

  frame.OnCommand(ID_RECORD_FRAMES);
  const std::string started = "フレームを記録しています: ";
  ASSERT_FALSE(ui.statusTexts().empty());
  ASSERT_EQ(ui.statusTexts().back().rfind(started + dir.File("data") + "/viren/frames/", 0), 0u)
      << ui.statusTexts().back();
  const std::string folder = ui.statusTexts().back().substr(started.size());
  EXPECT_TRUE(EvaluateCommand(ID_RECORD_FRAMES, engine.CommandContextNow()).checked);
  // A 160 x 120 frame is a file of 57,654 bytes: 17 fit in 1 MB.
  const std::string full = "フレームの記録が上限に達しました: 17 枚 (1 MB) " + folder;
  QTRY_VERIFY_WITH_TIMEOUT(ui.statusTexts().back() == full, 10000);
  EXPECT_FALSE(EvaluateCommand(ID_RECORD_FRAMES, engine.CommandContextNow()).checked);
  int files = 0;
  for (const auto& f : std::filesystem::directory_iterator(folder)) {
    EXPECT_EQ(std::filesystem::file_size(f.path()), 57654u) << f.path();
    ++files;
  }
  EXPECT_EQ(files, 17);
  EXPECT_TRUE(std::filesystem::exists(folder + "/000017.bmp"));

  frame.OnCommand(ID_RECORD_FRAMES);
  QTRY_VERIFY_WITH_TIMEOUT(
      std::filesystem::exists(ui.statusTexts().back().substr(started.size()) + "/000002.bmp"),
      5000);
  frame.OnCommand(ID_RECORD_FRAMES);
  EXPECT_EQ(ui.statusTexts().back().rfind("フレームを記録しました: ", 0), 0u)
      << ui.statusTexts().back();
  unsetenv("XDG_DATA_HOME");
  frame.OnCommand(ID_APP_EXIT);
}

// シミュレーションの較正 drives the manoeuvre on the car the view shows (here
// the simulated one with the shipped tuning, 150 px/s on a 30 px circle),
// shows what it measured, and OK stores the steps for the simulation; Esc
// in the middle of it stops the car and keeps nothing.
TEST_F(EverydayWindowTest, calibrationMeasuresTheCarAndOkKeepsItsSteps) {
  CMainFrame frame(dir.path(), "", &ui);
  frame.show();
  CDriveSystem& engine = frame.view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.engineReady(), 5000);
  RunPosted(frame, ui.postedCommands());  // no camera: the simulation starts
  ASSERT_TRUE(engine.state().simulating);
  ASSERT_TRUE(EvaluateCommand(ID_CALIBRATE, engine.CommandContextNow()).enabled);

  QString shown;
  {
    test::UiSteps steps({test::OnModal([&shown](QWidget* modal) {
      auto* dlg = qobject_cast<CCalibrationDlg*>(modal);
      if (!dlg || !dlg->okButton()->isEnabled()) return false;
      shown = dlg->resultText();
      dlg->okButton()->click();
      return true;
    })});
    frame.OnCommand(ID_CALIBRATE);
    EXPECT_TRUE(steps.finished());
  }
  EXPECT_TRUE(shown.startsWith(QStringLiteral("速度 1"))) << shown.toStdString();
  const std::string option = dir.Read("option.ini");
  const double position = std::stod(ini::Lookup(option, "SIMULATION", "POSITION_STEP").value());
  const double direction = std::stod(ini::Lookup(option, "SIMULATION", "DIRECTION_STEP").value());
  // What was shown is what was kept. The speed is measured against the wall
  // clock, which the simulation keeps to only roughly on a busy machine (or
  // under a sanitizer); its precision is tested on the virtual clock
  // (CalibrationTest). The radius does not depend on the clock.
  const QString shownStep = shown.section(QStringLiteral("POSITION_STEP "), 1).section(u'、', 0, 0);
  EXPECT_NEAR(position, shownStep.toDouble(), 0.0005) << shown.toStdString();
  EXPECT_GT(position, 0.5);
  EXPECT_LT(position, 1.8);
  EXPECT_NEAR(position / direction, 30.0, 1.5);
  EXPECT_EQ(engine.devices().drive().DriveState() & (DRIVE_STATE_MOVING | DRIVE_STATE_STEERING),
            0u);
  EXPECT_TRUE(engine.state().simulating);

  // Esc while the car turns: it stops, nothing new is stored.
  dir.Write("option.ini", ini::Update(dir.Read("option.ini"), "SIMULATION", "POSITION_STEP", "9"));
  {
    test::UiSteps steps({test::OnModal([](QWidget* modal) {
      auto* dlg = qobject_cast<CCalibrationDlg*>(modal);
      if (!dlg || dlg->phaseText() != QStringLiteral("左いっぱいに曲がっています…")) return false;
      QTest::keyClick(dlg, Qt::Key_Escape);
      return true;
    })});
    frame.OnCommand(ID_CALIBRATE);
    EXPECT_TRUE(steps.finished());
  }
  EXPECT_EQ(engine.devices().drive().DriveState() & (DRIVE_STATE_MOVING | DRIVE_STATE_STEERING),
            0u);
  EXPECT_EQ(ini::Lookup(dir.Read("option.ini"), "SIMULATION", "POSITION_STEP"), "9");
  frame.OnCommand(ID_SIMULATION);
  frame.OnCommand(ID_APP_EXIT);
}

TEST_F(EverydayWindowTest, aBandChosenInTheParameterDialogReachesTheOpenTransmitter) {
  test::FakePcOpRs1 transmitter;
  dir.Write("VIREN.ini",
            ini::Update(dir.Read("VIREN.ini"), "USB", "COM_DEVICE1", transmitter.devicePath()));
  dir.Write("option.ini",
            "[AGREEMENT]\r\nAGREEMENT=1\r\n[CONTROL]\r\nCONTROL_ROBOQ=1\r\n"
            "[USB]\r\nCOM_NO=1\r\nROBOQ_BAND=0\r\n");
  CMainFrame frame(dir.path(), "", &ui);
  frame.show();
  CDriveSystem& engine = frame.view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.engineReady(), 5000);
  CRoboQ& roboQ = engine.devices().roboQ();
  ASSERT_TRUE(roboQ.isOpen());
  roboQ.RoboQOutput(1);  // the car moves: frames repeat
  ASSERT_TRUE(transmitter.WaitForFrames(1, std::chrono::seconds(5)));
  auto bandOf = [](const test::FakePcOpRs1::Frame& f) {
    return (test::DecodeRoboQPattern(f.pattern) >> 1) & 3;
  };
  EXPECT_EQ(bandOf(transmitter.frames().back()), 0);

  test::UiSteps steps({test::OnModal([](QWidget* modal) {
    auto* dialog = qobject_cast<CParamDlg*>(modal);
    if (!dialog) return false;
    dialog->bandList()->setCurrentIndex(3);
    emit dialog->bandList()->activated(3);
    dialog->okButton()->click();
    return true;
  })});
  frame.OnCommand(ID_PARAMETERS);
  ASSERT_TRUE(steps.finished());
  // The transmitter was not reopened, and the frames now carry band D.
  const std::size_t before = transmitter.frameCount();
  ASSERT_TRUE(transmitter.WaitForFrames(before + 2, std::chrono::seconds(5)));
  EXPECT_EQ(bandOf(transmitter.frames().back()), 3);
  EXPECT_NE(dir.Read("option.ini").find("ROBOQ_BAND=3"), std::string::npos);
  roboQ.RoboQOutput(0);
  frame.OnCommand(ID_APP_EXIT);
}

TEST_F(EverydayWindowTest, parameterDialogShowsTheDifferenceImageWhileItIsOpen) {
  const std::string video = MakeVideo(160, 120);
  ASSERT_FALSE(video.empty()) << "gst-launch-1.0 could not write the test video";
  CMainFrame frame(dir.path(), "-i " + video, &ui);
  frame.show();
  CDriveSystem& engine = frame.view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.engineReady(), 5000);
  QTRY_VERIFY_WITH_TIMEOUT(engine.pictures().publishedCount() > 2, 5000);
  bool previewSeen = false;
  bool previewPainted = false;
  test::UiSteps steps({test::OnModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<CParamDlg*>(modal);
    if (!dialog) return false;
    EXPECT_TRUE(dialog->differencePreview()->isEnabled());
    dialog->differencePreview()->click();
    previewSeen = engine.state().viewMode == VIEW_DIFFERENCE;
    const std::uint64_t shown = engine.pictures().publishedCount();
    for (int i = 0; i < 500 && engine.pictures().publishedCount() <= shown + 3; ++i)
      QTest::qWait(10);
    previewPainted = engine.pictures().publishedCount() > shown + 3;
    dialog->cancelButton()->click();
    return true;
  })});
  frame.OnCommand(ID_PARAMETERS);
  ASSERT_TRUE(steps.finished());
  EXPECT_TRUE(previewSeen);
  EXPECT_TRUE(previewPainted) << "the analysis goes on painting in the difference view";
  EXPECT_EQ(engine.state().viewMode, VIEW_LIVE) << "closing the dialog ends the preview";

  // Over the layout there is no camera picture to compare: the box is off.
  frame.OnCommand(ID_VIEW_LAYOUT);
  test::UiSteps again({test::OnModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<CParamDlg*>(modal);
    if (!dialog) return false;
    EXPECT_FALSE(dialog->differencePreview()->isEnabled());
    dialog->okButton()->click();
    return true;
  })});
  frame.OnCommand(ID_PARAMETERS);
  EXPECT_EQ(engine.state().viewMode, VIEW_LAYOUT);
  frame.OnCommand(ID_APP_EXIT);
}

// The frame's own controller window, messages still scripted.
class ControllerUiHost : public test::FakeUiHost {
 public:
  bool CreateController() override { return frame ? frame->CreateController() : false; }
  CMainFrame* frame = nullptr;
};

TEST_F(EverydayWindowTest, closeButtonLooksPressedAndPromptsGiveWayToReady) {
  std::filesystem::copy(test::ProgramFolder() + "/control1", dir.File("control1"));
  ControllerUiHost host;
  CMainFrame frame(dir.path(), "", &host);
  host.frame = &frame;
  frame.show();
  QTRY_VERIFY_WITH_TIMEOUT(frame.view()->engine().engineReady(), 5000);
  CControlDlg* controller = frame.controller();
  ASSERT_NE(controller, nullptr);
  const QImage released = controller->Composed();
  const Rect close = controller->panel().buttonRect(1);
  const QPoint centre((close.left + close.right) / 2, (close.top + close.bottom) / 2);
  QTest::mouseMove(controller, centre);
  QTest::mousePress(controller, Qt::LeftButton, {}, centre);
  const QImage held = controller->Composed();
  EXPECT_NE(held.pixel(centre), released.pixel(centre)) << "the close button looks pressed";
  QTest::mouseRelease(controller, Qt::LeftButton, {}, centre);
  EXPECT_EQ(controller->Composed(), released);
  EXPECT_EQ(host.postedCommands().back(), ID_APP_EXIT);

  // A menu item's prompt, then the pointer leaves it.
  QAction* open = frame.ActionFor(ID_FILE_OPEN);
  ASSERT_NE(open, nullptr);
  open->showStatusText(&frame);
  EXPECT_EQ(frame.statusBar()->currentMessage(), open->statusTip());
  QStatusTipEvent left{QString()};
  QApplication::sendEvent(&frame, &left);
  EXPECT_EQ(frame.statusBar()->currentMessage(), QStringLiteral("レディ"));
  frame.OnCommand(ID_APP_EXIT);
}

// In ROBO-Q mode the four-wheel setting counts for nothing: the controller,
// the drive state and the simulated car all follow the ROBO-Q's own steering.
TEST_F(EverydayWindowTest, roboQIgnoresTheFourWheelSettingEverywhere) {
  std::filesystem::copy(test::ProgramFolder() + "/control2", dir.File("control2"));
  dir.Write("option.ini",
            "[AGREEMENT]\r\nAGREEMENT=1\r\n[CONTROL]\r\nCONTROL_ROBOQ=1\r\nCONTROL_4WD=1\r\n");
  ControllerUiHost host;
  CMainFrame frame(dir.path(), "", &host);
  host.frame = &frame;
  frame.show();
  CDriveSystem& engine = frame.view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.engineReady(), 5000);
  RunPosted(frame, host.postedCommands());
  ASSERT_TRUE(engine.state().simulating);
  CControlDlg* controller = frame.controller();
  ASSERT_NE(controller, nullptr);
  auto click = [&](int button) {
    const Rect r =
        button == 2 ? controller->panel().LeverRect() : controller->panel().buttonRect(button);
    const QPoint at((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    QTest::mouseMove(controller, at);
    QTest::mouseClick(controller, Qt::LeftButton, {}, at);
  };
  CDriveControl& drive = engine.devices().drive();
  click(2);  // forward
  click(4);  // left: the ROBO-Q keeps driving while it steers
  EXPECT_EQ(drive.DriveState() & (DRIVE_STATE_FORWARD | DRIVE_STATE_LEFT),
            static_cast<std::uint32_t>(DRIVE_STATE_FORWARD | DRIVE_STATE_LEFT));
  const double heading = engine.carState().carDirection;
  QTRY_VERIFY_WITH_TIMEOUT(engine.carState().carDirection != heading, 5000);
  click(4);  // left released: straight on, not a stop
  EXPECT_EQ(drive.DriveState() & (DRIVE_STATE_MOVING | DRIVE_STATE_STEERING),
            static_cast<std::uint32_t>(DRIVE_STATE_FORWARD));
  const Point before = engine.carState().carLayoutPosition;
  QTRY_VERIFY_WITH_TIMEOUT(engine.carState().carLayoutPosition.load() != before, 5000);
  click(2);  // stop
  EXPECT_EQ(drive.DriveState() & DRIVE_STATE_MOVING, 0u);
  frame.OnCommand(ID_SIMULATION);
  frame.OnCommand(ID_APP_EXIT);
}

}  // namespace
}  // namespace viren
