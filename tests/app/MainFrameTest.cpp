#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>
#include "support/QtWaitInGtest.h"

#include <QToolBar>
#include "app/CAgreementDlg.h"
#include "app/CControlDlg.h"
#include "app/CDriveView.h"
#include "app/CMainFrame.h"
#include "app/QtUiHost.h"
#include "app/dialogs/CParamDlg.h"
#include "capture/CameraProvider.h"
#include "capture/CaptureSystem.h"
#include "commands/CommandTable.h"
#include "core/CommandIds.h"
#include "core/DriveTypes.h"
#include "core/Messages.h"
#include "device/CCarDevices.h"
#include "device/CDriveControl.h"
#include "engine/CDriveSystem.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

CameraInfo TestCamera(std::string name, std::vector<FrameSize> sizes) {
  CameraInfo camera;
  camera.name = std::move(name);
  camera.sourceDescription = "videotestsrc is-live=true pattern=ball";
  camera.sizes = std::move(sizes);
  return camera;
}

class MainFrameTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
  }
  MainFrameTest() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n");
  }
  test::TestDir dir;
  test::FakeUiHost ui;
};

TEST_F(MainFrameTest, firstPaintStartsTheEngineWithTitleAndReadyStatus) {
  CMainFrame frame(dir.path(), "", &ui);
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("無題[*] - 赤外線カー自動制御システム"));
  EXPECT_EQ(frame.statusBar()->currentMessage(), QStringLiteral("レディ"));
  EXPECT_FALSE(frame.view()->engine().startAttempted());
  frame.show();
  QTRY_VERIFY_WITH_TIMEOUT(frame.view()->engine().engineReady(), 5000);
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(MainFrameTest, closeBoxDoesNothingExitCommandCloses) {
  CMainFrame frame(dir.path(), "", &ui);
  frame.show();
  QTRY_VERIFY_WITH_TIMEOUT(frame.view()->engine().engineReady(), 5000);
  EXPECT_FALSE(frame.close());
  EXPECT_TRUE(frame.isVisible());
  frame.OnCommand(ID_APP_EXIT);
  EXPECT_FALSE(frame.isVisible());
}

TEST_F(MainFrameTest, menusHoldExitAndAbout) {
  CMainFrame frame(dir.path(), "", &ui);
  QStringList items;
  for (QAction* menu : frame.menuBar()->actions()) {
    items << menu->text();
    for (QAction* a : menu->menu()->actions()) items << a->text();
  }
  EXPECT_TRUE(items.contains(QStringLiteral("ファイル(&F)")));
  EXPECT_TRUE(items.contains(QStringLiteral("アプリケーションの終了(&X)")));
  EXPECT_TRUE(items.contains(QStringLiteral("ヘルプ(&H)")));
}

TEST_F(MainFrameTest, toolbarInOrderAndCommandsFollowTheEngine) {
  CMainFrame frame(dir.path(), "", &ui);
  QList<int> ids;
  for (QAction* a : frame.mainToolbar()->actions())
    ids << (a->isSeparator() ? 0 : a->data().toInt());
  EXPECT_EQ(ids, QList<int>({57600, 0, 57601, 57603, 0, 32772, 32780, 32836, 0, 32787, 32936, 32939,
                             0, 32929, 32966, 0, 57643, 33220}));
  QAction* carFigure = frame.ActionFor(ID_OVERLAY_CAR_FIGURE);
  ASSERT_NE(carFigure, nullptr);
  EXPECT_EQ(carFigure->toolTip(), QStringLiteral("車図形"));
  EXPECT_EQ(carFigure->statusTip(), QStringLiteral("車の図形をレイアウトに表示"));
  frame.UpdateCommands();
  EXPECT_FALSE(carFigure->isEnabled());
  // Choosing the layout view from the menu enables the car figure.
  frame.ActionFor(ID_VIEW_LAYOUT)->trigger();
  EXPECT_EQ(frame.view()->engine().state().viewMode, VIEW_LAYOUT);
  EXPECT_TRUE(carFigure->isEnabled());
  carFigure->trigger();
  EXPECT_EQ(frame.view()->engine().state().overlayMode, OVERLAY_CAR_FIGURE);
  EXPECT_TRUE(carFigure->isChecked());
}

// The debug setting's right-click menu on the view: each item carries its
// own text and rules, and choosing it carries out its own command.
TEST_F(MainFrameTest, viewMenuItemsCarryTheirTextsAndChooseTheirOwnCommand) {
  dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n[DEBUG]\r\nMENU=1\r\n");
  CMainFrame frame(dir.path(), "", &ui);
  frame.show();
  CDriveSystem& engine = frame.view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.engineReady(), 5000);
  frame.OnCommand(ID_SIMULATION);
  QStringList texts, enabled, checked;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* a : menu->actions()) {
      texts << a->text();
      if (a->isEnabled()) enabled << a->text();
      if (a->isChecked()) checked << a->text();
      if (a->text() == QStringLiteral("方向")) menu->setActiveAction(a);
    }
    QTest::keyClick(menu, Qt::Key_Return);
  });
  QTest::mouseClick(frame.view(), Qt::RightButton, {}, QPoint(20, 20));
  EXPECT_EQ(texts, QStringList({"ライブ画像", "差分画像", "レイアウト", "重心点", "方向",
                                "ベクトル画像", "ポリゴン画像", "車図形"}));
  // The simulation shows the layout: no camera pictures, no image overlays.
  EXPECT_EQ(enabled, QStringList({"レイアウト", "重心点", "方向", "車図形"}));
  EXPECT_EQ(checked, QStringList({"レイアウト", "車図形"}));
  EXPECT_EQ(engine.state().overlayMode, OVERLAY_DIRECTION);
  frame.OnCommand(ID_SIMULATION);
}

// Six cameras on the machine: the first four can be chosen, the other two
// are listed greyed out. The cameras are GStreamer test sources, so choosing
// one really starts a capture.
class SixCameras : public CameraProvider {
 public:
  std::vector<CameraInfo> ListCameras() override {
    std::vector<CameraInfo> cameras;
    for (int i = 1; i <= 6; ++i)
      cameras.push_back(TestCamera("Test camera " + std::to_string(i), {{320, 240}}));
    return cameras;
  }
};

TEST_F(MainFrameTest, sixCamerasGiveFourItemsToChooseAndTwoGreyed) {
  dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n[CAPTURE]\r\nDEVICE=0\r\n");
  EngineOptions options;
  options.cameras = std::make_unique<SixCameras>();
  CMainFrame frame(dir.path(), "", &ui, std::move(options));
  frame.show();
  CDriveSystem& engine = frame.view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.engineReady(), 5000);
  EXPECT_EQ(engine.state().cameraIndex, 0);  // "なし"

  QMenu* cameras = nullptr;
  for (QMenu* menu : frame.findChildren<QMenu*>())
    if (menu->title() == QStringLiteral("カメラの選択")) cameras = menu;
  ASSERT_NE(cameras, nullptr);
  emit cameras->aboutToShow();
  QStringList names;
  QList<bool> enabled;
  QAction* first = nullptr;
  for (QAction* a : cameras->actions()) {
    if (!a->property("camera").toBool()) continue;
    if (!first) first = a;
    names << a->text();
    enabled << a->isEnabled();
  }
  ASSERT_EQ(names.size(), 6);
  EXPECT_EQ(names.front(), QStringLiteral("Test camera 1"));
  EXPECT_EQ(enabled, QList<bool>({true, true, true, true, false, false}));
  // Shown twice, the menu still lists each camera once.
  emit cameras->aboutToShow();
  int listed = 0;
  for (QAction* a : cameras->actions()) listed += a->property("camera").toBool() ? 1 : 0;
  EXPECT_EQ(listed, 6);

  first = nullptr;
  for (QAction* a : cameras->actions())
    if (a->property("camera").toBool() && !first) first = a;
  ASSERT_NE(first, nullptr);
  frame.OnCommand(ID_SIMULATION);
  ASSERT_TRUE(engine.state().simulating);
  first->trigger();
  QTRY_VERIFY_WITH_TIMEOUT(engine.state().captureRunning, 5000);
  EXPECT_EQ(engine.state().cameraIndex, 1);
  EXPECT_FALSE(engine.state().simulating) << "a chosen camera ends the simulation";
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_CAMERA_SET});
  emit cameras->aboutToShow();
  for (QAction* a : cameras->actions()) {
    if (a->property("camera").toBool() && a->text() == QStringLiteral("Test camera 1")) {
      EXPECT_TRUE(a->isChecked());
    }
  }
  frame.OnCommand(ID_APP_EXIT);
}

// Records what the desktop was asked to open instead of opening it.
class UrlRecorder : public QObject {
  Q_OBJECT
 public:
  explicit UrlRecorder(QStringList schemes) : schemes_(std::move(schemes)) {
    for (const QString& scheme : schemes_) QDesktopServices::setUrlHandler(scheme, this, "Open");
  }
  ~UrlRecorder() override {
    for (const QString& scheme : schemes_) QDesktopServices::unsetUrlHandler(scheme);
  }
  QList<QUrl> opened;
 public slots:
  void Open(const QUrl& url) { opened << url; }

 private:
  QStringList schemes_;
};

TEST_F(MainFrameTest, documentationOpensTheInstalledGuideOrAsksForTheOnlineOne) {
  UrlRecorder desktop({"file", "https"});
  std::string viren = dir.Read("VIREN.ini");
  const auto at = viren.find("DOC_URL=");
  ASSERT_NE(at, std::string::npos);
  viren.insert(at + 8, "https://example.org/viren/guide.html");
  dir.Write("VIREN.ini", viren);
  CMainFrame frame(dir.path(), "", &ui);
  frame.show();
  QTRY_VERIFY_WITH_TIMEOUT(frame.view()->engine().engineReady(), 5000);

  // Installed: the guide opens without a question.
  std::filesystem::create_directory(dir.File("doc"));
  dir.Write("doc/index.html", "<html></html>");
  frame.OnCommand(ID_DOCUMENTATION);
  ASSERT_EQ(desktop.opened.size(), 1);
  EXPECT_EQ(desktop.opened[0].toLocalFile().toStdString(), dir.File("doc/index.html"));
  EXPECT_TRUE(ui.messageIds().empty());

  // Not installed: No opens nothing, Yes the configured address.
  std::filesystem::remove(dir.File("doc/index.html"));
  ui.ScriptAnswer(MsgAnswer::No);
  frame.OnCommand(ID_DOCUMENTATION);
  EXPECT_EQ(desktop.opened.size(), 1);
  ui.ScriptAnswer(MsgAnswer::Yes);
  frame.OnCommand(ID_DOCUMENTATION);
  ASSERT_EQ(desktop.opened.size(), 2);
  EXPECT_EQ(desktop.opened[1], QUrl("https://example.org/viren/guide.html"));
  EXPECT_EQ(ui.messageIds(),
            (std::vector<int>{MSG_DOCUMENTATION_MISSING, MSG_DOCUMENTATION_MISSING}));
  frame.OnCommand(ID_APP_EXIT);
}

TEST_F(MainFrameTest, documentationWithoutAnOnlineAddressReportsTheFailure) {
  UrlRecorder desktop({"file", "https"});
  CMainFrame frame(dir.path(), "", &ui);
  frame.show();
  QTRY_VERIFY_WITH_TIMEOUT(frame.view()->engine().engineReady(), 5000);
  ui.ScriptAnswer(MsgAnswer::Yes);
  frame.OnCommand(ID_DOCUMENTATION);
  EXPECT_TRUE(desktop.opened.isEmpty());
  EXPECT_EQ(ui.messageIds(), (std::vector<int>{MSG_DOCUMENTATION_MISSING, MSG_HELP_FAILED}));
  frame.OnCommand(ID_APP_EXIT);
}

TEST_F(MainFrameTest, documentationOpensTheGuideInTheDesktopsLanguageElseTheOther) {
  UrlRecorder desktop({"file"});
  const char* names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::pair<QByteArray, bool>> saved;
  for (const char* name : names) saved.emplace_back(qgetenv(name), qEnvironmentVariableIsSet(name));
  CMainFrame frame(dir.path(), "", &ui);
  frame.show();
  QTRY_VERIFY_WITH_TIMEOUT(frame.view()->engine().engineReady(), 5000);
  std::filesystem::create_directory(dir.File("doc"));

  struct Case {
    const char* language;
    const char* lcAll;
    const char* lang;
    bool japaneseInstalled, englishInstalled;
    const char* opened;
  };
  const Case cases[] = {
      {"", "", "ja_JP.UTF-8", true, true, "index.ja.html"},
      {"ja:en", "", "en_US.UTF-8", true, true, "index.ja.html"},  // LANGUAGE first
      {"", "", "en_GB.UTF-8", true, true, "index.html"},
      {"", "en_US.UTF-8", "ja_JP.UTF-8", true, true, "index.html"},  // LC_ALL over LANG
      {"ja", "C", "", true, true, "index.html"},  // the C locale ignores LANGUAGE
      {"", "", "ja_JP.UTF-8", false, true, "index.html"},
      {"", "", "en_US.UTF-8", true, false, "index.ja.html"},
  };
  for (const Case& c : cases) {
    qputenv("LANGUAGE", c.language);
    qputenv("LC_ALL", c.lcAll);
    qunsetenv("LC_MESSAGES");
    qputenv("LANG", c.lang);
    std::filesystem::remove(dir.File("doc/index.ja.html"));
    std::filesystem::remove(dir.File("doc/index.html"));
    if (c.japaneseInstalled) dir.Write("doc/index.ja.html", "<html lang=ja></html>");
    if (c.englishInstalled) dir.Write("doc/index.html", "<html></html>");
    desktop.opened.clear();
    frame.OnCommand(ID_DOCUMENTATION);
    ASSERT_EQ(desktop.opened.size(), 1) << c.language << "/" << c.lcAll << "/" << c.lang;
    EXPECT_EQ(desktop.opened[0].toLocalFile().toStdString(),
              dir.File(std::string("doc/") + c.opened))
        << c.language << "/" << c.lcAll << "/" << c.lang;
  }
  EXPECT_TRUE(ui.messageIds().empty());
  for (std::size_t i = 0; i < saved.size(); ++i)
    if (saved[i].second)
      qputenv(names[i], saved[i].first);
    else
      qunsetenv(names[i]);
  frame.OnCommand(ID_APP_EXIT);
}

// The guides shipped in the program folder link to each other and show only
// pictures that ship with them.
TEST(ShippedGuides, linkEachOtherAndTheirPicturesExist) {
  const std::string doc = test::ProgramFolder() + "/doc/";
  const std::pair<const char*, const char*> guides[] = {{"index.html", "index.ja.html"},
                                                        {"index.ja.html", "index.html"}};
  for (const auto& [guide, other] : guides) {
    QFile file(QString::fromStdString(doc + guide));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << guide;
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("href=\"%1\"").arg(other))) << guide;
    const QRegularExpression image(QStringLiteral("<img src=\"([^\"]+)\""));
    int pictures = 0;
    for (const QRegularExpressionMatch& m : image.globalMatch(text)) {
      ++pictures;
      EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(doc) + m.captured(1)))
          << guide << ": " << m.captured(1).toStdString();
    }
    EXPECT_GE(pictures, 3) << guide;
  }
}

// The parameter dialog, run from the menu as a person would: the ROBO-Q
// check box is clicked and OK pressed while the dialog is modal.
void RunParameterDialog(CMainFrame& frame, test::FakeUiHost& ui, MsgAnswer answerTo203) {
  bool handled = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<CParamDlg*>(QApplication::activeModalWidget());
    if (!dialog) return;
    ui.ScriptAnswer(answerTo203);
    dialog->roboQCheck()->click();
    dialog->okButton()->click();
    handled = true;
  });
  frame.OnCommand(ID_PARAMETERS);
  EXPECT_TRUE(handled) << "the parameter dialog did not come up";
}

// Scripted messages, but the frame's own controller window.
class ControllerUiHost : public test::FakeUiHost {
 public:
  bool CreateController() override { return frame ? frame->CreateController() : false; }
  CMainFrame* frame = nullptr;
};

TEST_F(MainFrameTest, switchingRoboQControlRebuildsTheControllerWithTheOtherSkin) {
  for (const char* skin : {"control1", "control2"})
    std::filesystem::copy(test::ProgramFolder() + "/" + skin, dir.File(skin));
  ControllerUiHost ui;
  CMainFrame frame(dir.path(), "", &ui);
  ui.frame = &frame;
  frame.show();
  CDriveSystem& engine = frame.view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.engineReady(), 5000);
  ASSERT_NE(frame.controller(), nullptr);
  EXPECT_EQ(frame.controller()->skinType(), SkinType::Normal);
  const QImage remote = frame.controller()->Composed();
  ASSERT_FALSE(remote.isNull());
  EXPECT_TRUE(ui.messageIds().empty());

  // Yes to MSG_CONTROL_ROBOQ: the transmitter cannot open on this machine, ROBO-Q control
  // stays on and the controller becomes the ROBO-Q cab.
  RunParameterDialog(frame, ui, MsgAnswer::Yes);
  EXPECT_TRUE(engine.state().controlRoboQ);
  ASSERT_NE(frame.controller(), nullptr);
  EXPECT_EQ(frame.controller()->skinType(), SkinType::RoboQ);
  EXPECT_TRUE(frame.controller()->isVisible());
  EXPECT_NE(frame.controller()->Composed(), remote);
  EXPECT_EQ(dir.Read("option.ini").find("CONTROL_ROBOQ=1") != std::string::npos, true);
  ASSERT_FALSE(ui.messageIds().empty());
  EXPECT_EQ(ui.messageIds().front(), MSG_CONTROL_ROBOQ);

  // Clicked off again: no question, the remote controller comes back.
  const size_t asked = ui.messageIds().size();
  RunParameterDialog(frame, ui, MsgAnswer::No);
  EXPECT_FALSE(engine.state().controlRoboQ);
  EXPECT_EQ(frame.controller()->skinType(), SkinType::Normal);
  EXPECT_EQ(frame.controller()->Composed(), remote);
  EXPECT_EQ(ui.messageIds().size(), asked);
  frame.OnCommand(ID_APP_EXIT);
}

// Acts on the modal dialog of type T once it is up; false if it never came.
template <typename T>
bool WhenModal(std::function<void(T*)> act, std::function<void()> open) {
  bool seen = false;
  std::function<void(int)> poll = [&](int triesLeft) {
    QTimer::singleShot(5, [&, triesLeft] {
      auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
      if (!dialog || !dialog->isVisible()) {
        if (triesLeft > 0) poll(triesLeft - 1);
        return;
      }
      seen = true;
      act(dialog);
    });
  };
  poll(400);
  open();
  return seen;
}

// File > open plays the chosen video, and the camera settings command offers
// the camera's sizes: the window program's own dialogs reach the capture.
TEST_F(MainFrameTest, openVideoAndCameraFormatDialogsReachTheCapture) {
  const std::string video = dir.File("moving.avi");
  const std::string make =
      "gst-launch-1.0 -q videotestsrc num-buffers=60 pattern=ball ! "
      "video/x-raw,width=320,height=240,framerate=30/1 ! videoconvert ! avimux ! "
      "filesink location=" +
      video + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0);
  class TwoSizes : public CameraProvider {
   public:
    std::vector<CameraInfo> ListCameras() override {
      return {TestCamera("Test camera", {{320, 240}, {640, 480}})};
    }
  };
  EngineOptions options;
  options.cameras = std::make_unique<TwoSizes>();
  CMainFrame frame(dir.path(), "", &ui, std::move(options));
  frame.show();
  CDriveSystem& engine = frame.view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.engineReady(), 5000);

  EXPECT_TRUE(WhenModal<QFileDialog>(
      [&](QFileDialog* d) {
        d->selectFile(QString::fromStdString(video));
        static_cast<QDialog*>(d)->accept();
      },
      [&] { frame.OnCommand(ID_OPEN_VIDEO); }));
  EXPECT_TRUE(engine.state().captureRunning);
  EXPECT_EQ(engine.capture().videoFileName(), video);

  frame.OnCommand(ID_CAMERA_FIRST);
  ASSERT_TRUE(engine.state().captureRunning);
  ASSERT_EQ(engine.state().cameraIndex, 1);
  ui.ScriptAnswer(MsgAnswer::Yes);  // MSG_CAMERA_SIZE_LARGE: larger than 320 x 240
  EXPECT_TRUE(WhenModal<QDialog>(
      [&](QDialog* d) {
        auto* list = d->findChild<QListWidget*>();
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->count(), 2);
        list->setCurrentRow(1);
        d->accept();
      },
      [&] { frame.OnCommand(ID_CAMERA_SETTINGS); }));
  EXPECT_EQ(ui.messageIds().back(), MSG_CAMERA_SIZE_LARGE);
  EXPECT_NE(dir.Read("option.ini").find("RESOLUTION=640,480"), std::string::npos);
  frame.OnCommand(ID_APP_EXIT);
}

// A camera pulled out while the car drives: the window hears of it, the car
// stops and one message names the camera. A camera too large for the ball
// search says so through the same window.
TEST_F(MainFrameTest, cameraPulledOutDuringADriveStopsTheCarWithOneMessage) {
  class PluggableCameras : public CameraProvider {
   public:
    std::vector<CameraInfo> ListCameras() override { return cameras; }
    void WatchCameras(std::function<void()> changed) override { changed_ = std::move(changed); }
    void StopWatching() override { changed_ = nullptr; }
    void Pull() {
      cameras.clear();
      if (changed_) changed_();
    }
    std::vector<CameraInfo> cameras{TestCamera("Test camera", {{320, 240}})};
    std::function<void()> changed_;
  };
  dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n[CAPTURE]\r\nDEVICE=1\r\n");
  auto provider = std::make_unique<PluggableCameras>();
  PluggableCameras* cameras = provider.get();
  EngineOptions options;
  options.cameras = std::move(provider);
  CMainFrame frame(dir.path(), "", &ui, std::move(options));
  frame.show();
  CDriveSystem& engine = frame.view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.engineReady(), 5000);
  ASSERT_TRUE(engine.state().captureRunning);
  engine.devices().drive().SendDriveCommand(DRIVE_FORWARD);
  ASSERT_NE(engine.devices().drive().DriveState() & DRIVE_STATE_FORWARD, 0u);

  cameras->Pull();
  const std::vector<int> posted = ui.postedCommands();
  ASSERT_NE(std::find(posted.begin(), posted.end(), WM_CAMERAS_CHANGED), posted.end());
  frame.OnCommand(WM_CAMERAS_CHANGED);
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_CAMERA_LOST});
  EXPECT_EQ(engine.devices().drive().DriveState() & (DRIVE_STATE_FORWARD | DRIVE_STATE_REVERSE),
            0u);
  EXPECT_FALSE(engine.state().captureRunning);
  EXPECT_FALSE(engine.capture().hasGraph());

  engine.state().frameWidth = 2592;
  engine.state().frameHeight = 1944;
  frame.OnCommand(WM_BALL_FRAME_TOO_LARGE);
  EXPECT_EQ(ui.messageIds().back(), MSG_BALL_FRAME_TOO_LARGE);
  EXPECT_EQ(ui.messages().back().args, (std::vector<std::string>{"2592", "1944", "2048x2048"}));
  frame.OnCommand(ID_APP_EXIT);
}

TEST_F(MainFrameTest, failedStartupClosesTheFrame) {
  std::filesystem::remove(dir.File("VIREN.ini"));
  QtUiHost realUi;  // not used: the fake answers
  CMainFrame frame(dir.path(), "", &ui);
  frame.show();
  QTRY_VERIFY_WITH_TIMEOUT(!ui.messages().empty(), 5000);
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_FILE_NOT_FOUND});
  EXPECT_EQ(ui.closeRequests, 1);
}

TEST_F(MainFrameTest, frameAndControllerComeBackWhereTheyWereLeft) {
  std::filesystem::copy(test::ProgramFolder() + "/control1", dir.File("control1"));
  {
    CMainFrame frame(dir.path(), "");  // the window makes its controller
    frame.show();
    QTRY_VERIFY_WITH_TIMEOUT(frame.view()->engine().engineReady(), 5000);
    ASSERT_NE(frame.controller(), nullptr);
    frame.move(123, 45);
    frame.controller()->move(400, 300);
    frame.OnCommand(ID_APP_EXIT);
  }
  const std::string option = dir.Read("option.ini");
  EXPECT_EQ(ini::Lookup(option, "WINDOW", "FRAME_POSITION"), "123,45");
  EXPECT_EQ(ini::Lookup(option, "WINDOW", "CONTROL_POSITION"), "400,300");

  CMainFrame frame(dir.path(), "");  // the window makes its controller
  frame.show();
  QTRY_VERIFY_WITH_TIMEOUT(frame.view()->engine().engineReady(), 5000);
  EXPECT_EQ(frame.pos(), QPoint(123, 45));
  ASSERT_NE(frame.controller(), nullptr);
  EXPECT_EQ(frame.controller()->pos(), QPoint(400, 300));
  // The view changing size later (the first picture, the simulation's layout)
  // leaves a controller the user placed where it is.
  frame.FitFrameToClient(frame.view()->width() == 640 ? 320 : 640,
                         frame.view()->height() == 480 ? 240 : 480);
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(frame.controller()->pos(), QPoint(400, 300));
  frame.OnCommand(ID_APP_EXIT);
}

TEST_F(MainFrameTest, aChoiceThatCannotBeSavedWarnsOnTheStatusBarAndStaysInEffect) {
  CMainFrame frame(dir.path(), "");  // the window's own user interface
  frame.show();
  QTRY_VERIFY_WITH_TIMEOUT(frame.view()->engine().engineReady(), 5000);
  // option.ini's place is taken by a folder: the file cannot be replaced.
  std::filesystem::remove(dir.File("option.ini"));
  std::filesystem::create_directories(dir.File("option.ini/x"));
  frame.OnCommand(ID_COM_NONE);
  const QString warning = frame.statusBar()->currentMessage();
  EXPECT_TRUE(warning.startsWith(QStringLiteral("設定を保存できません: ")))
      << warning.toStdString();
  EXPECT_TRUE(warning.contains(QString::fromStdString(dir.File("option.ini"))))
      << warning.toStdString();
  frame.statusBar()->clearMessage();
  frame.OnCommand(ID_CAR_GRAPHIC);
  EXPECT_FALSE(
      frame.statusBar()->currentMessage().startsWith(QStringLiteral("設定を保存できません")))
      << "warned once";
  EXPECT_EQ(frame.view()->engine().settings().ReadInt(keys::CAR_TYPE), 1) << "in effect";
  std::filesystem::remove_all(dir.File("option.ini"));
  frame.OnCommand(ID_APP_EXIT);
}

TEST_F(MainFrameTest, agreementOkOnlyAfterAChoice) {
  CAgreementDlg dialog;
  EXPECT_EQ(dialog.choice(), -1);
  EXPECT_FALSE(dialog.okButton()->isEnabled());
  dialog.disagreeButton()->click();
  EXPECT_TRUE(dialog.okButton()->isEnabled());
  dialog.agreeButton()->click();
  dialog.okButton()->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.choice(), 0);
}

TEST_F(MainFrameTest, workerQuestionIsLetGoAtShutdownWithoutDeadlock) {
  QtUiHost host;
  MsgAnswer answer = MsgAnswer::Yes;
  std::thread worker([&] {
    answer = host.Message(MSG_NO_CAMERA_SIMULATE, {}, MsgIcon::Question, MsgButtons::YesNo);
  });
  // The GUI thread never gets to show the box: the program is closing.
  host.BeginShutdown();
  worker.join();
  EXPECT_EQ(answer, MsgAnswer::No);
  // Drain the queued request; it must not show anything now.
  QCoreApplication::processEvents();
}

}  // namespace
}  // namespace viren

#include "MainFrameTest.moc"
