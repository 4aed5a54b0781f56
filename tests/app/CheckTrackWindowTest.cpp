// The program check and the run's track in the assembled window, offscreen:
// the controller's automatic-driving button, the check's question, its
// findings list and marks, the track switch and the run report.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QStatusBar>
#include <QTest>
#include <cmath>
#include <filesystem>
#include "support/QtWaitInGtest.h"

#include "app/CCheckDock.h"
#include "app/CControlDlg.h"
#include "app/CDriveView.h"
#include "app/CMainFrame.h"
#include "core/CommandIds.h"
#include "core/DriveTypes.h"
#include "device/CCarDevices.h"
#include "engine/CDriveSystem.h"
#include "program/DrivingProgram.h"
#include "simulation/RunTrack.h"
#include "support/FakeUiHost.h"
#include "support/ProgramBytes.h"
#include "support/TestDir.h"
#include "views/PictureExchange.h"

namespace viren {
namespace {

constexpr int kAutoButton = 7;

class CheckTrackWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "check_track_window_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
  }
  CheckTrackWindow() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    std::filesystem::copy(test::ProgramFolder() + "/sample", dir.File("sample"),
                          std::filesystem::copy_options::recursive);
    std::filesystem::copy(test::ProgramFolder() + "/control1", dir.File("control1"),
                          std::filesystem::copy_options::recursive);
  }
  // The window with `program` loaded at start-up, simulating, its controller shown.
  std::unique_ptr<CMainFrame> Open(const std::string& program) {
    dir.Write("option.ini",
              "[AGREEMENT]\r\nAGREEMENT=1\r\n[EVENT]\r\nFILE_NAME=" + program +
                  // The plain white layout, so the trail's tint is all that is tinted.
                  "\r\n[LAYOUT]\r\nLAYOUT_FILE=\r\n");
    auto frame = std::make_unique<CMainFrame>(dir.path(), "", &ui);
    frame->show();
    [&] { QTRY_VERIFY_WITH_TIMEOUT(frame->view()->engine().engineReady(), 5000); }();
    frame->OnCommand(ID_SIMULATION);
    frame->FitFrameToClient(640, 480);
    frame->CreateController();
    return frame;
  }
  void ClickAuto(CMainFrame& frame) {
    const Rect b = frame.controller()->panel().buttonRect(kAutoButton);
    const QPoint at((b.left + b.right) / 2, (b.top + b.bottom) / 2);
    // Two clicks in quick succession would make a double click.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseMove(frame.controller(), at);
    QTest::mouseClick(frame.controller(), Qt::LeftButton, {}, at);
  }
  int Questions() const {
    int n = 0;
    for (int id : ui.messageIds()) n += id == MSG_CHECK_BEFORE_RUN;
    return n;
  }
  test::TestDir dir;
  test::FakeUiHost ui;
};

bool TrailTinted(QRgb c) {
  return qGreen(c) + 20 < qRed(c) && qGreen(c) + 20 < qBlue(c);
}

TEST_F(CheckTrackWindow, theLastRunsTrailOnTheLayoutFollowsItsTrack) {
  auto frame = Open("lap.ntc");  // a program the check finds nothing in
  CDriveSystem& engine = frame->view()->engine();
  ClickAuto(*frame);
  ASSERT_TRUE(engine.state().autoDriving.load());
  EXPECT_EQ(Questions(), 0);
  QTRY_VERIFY_WITH_TIMEOUT(engine.runTrack().Rows().size() > 250, 10000);
  ClickAuto(*frame);  // the run ends; its track stays
  QTRY_VERIFY_WITH_TIMEOUT(engine.runTrack().reportNumber() == 1, 5000);
  frame->UpdateCommands();
  const auto* report = frame->statusBar()->findChild<QLabel*>(QStringLiteral("runReport"));
  ASSERT_NE(report, nullptr);
  EXPECT_TRUE(report->isVisible());
  EXPECT_TRUE(report->text().startsWith(QStringLiteral("走行結果: 時間")))
      << report->text().toStdString();
  EXPECT_TRUE(report->text().contains(QStringLiteral("終了時のコマンド")));
  // A prompt covers it only while it is shown.
  frame->statusBar()->showMessage(QStringLiteral("prompt"));
  EXPECT_FALSE(report->isVisible());
  frame->statusBar()->clearMessage();
  EXPECT_TRUE(report->isVisible());

  // Off by default: no trail on the layout.
  QAction* track = frame->ActionFor(ID_VIEW_TRACK);
  ASSERT_NE(track, nullptr);
  EXPECT_FALSE(track->isChecked());
  auto grabAfterNewPicture = [&] {
    const auto seen = engine.pictures().publishedCount();
    [&] { QTRY_VERIFY_WITH_TIMEOUT(engine.pictures().publishedCount() > seen + 2, 5000); }();
    return frame->view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  };
  QImage plain = grabAfterNewPicture();
  int tinted = 0;
  for (int y = 0; y < plain.height(); ++y)
    for (int x = 0; x < plain.width(); ++x) tinted += TrailTinted(plain.pixel(x, y));
  EXPECT_EQ(tinted, 0);

  track->trigger();
  frame->UpdateCommands();
  EXPECT_TRUE(track->isChecked());
  const QImage shot = grabAfterNewPicture();
  ASSERT_EQ(shot.size(), QSize(640, 480));
  const std::vector<Point> points = engine.runTrack().Points();
  const Point car = engine.carState().carLayoutPosition;
  int onTrail = 0, away = 0;
  for (const Point& p : points) {
    if (std::hypot(p.x - car.x, p.y - car.y) < 30) continue;  // under the car figure
    ++away;
    onTrail += TrailTinted(shot.pixel(p.x, p.y));
  }
  ASSERT_GT(away, 100);
  EXPECT_EQ(onTrail, away);
  // Nothing tinted lies off the track.
  int stray = 0;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) {
      if (!TrailTinted(shot.pixel(x, y))) continue;
      double nearest = 1e9;
      for (size_t i = 1; i < points.size() && nearest > 2.5; ++i) {
        const double dx = points[i].x - points[i - 1].x, dy = points[i].y - points[i - 1].y;
        const double len2 = dx * dx + dy * dy;
        double t = len2 > 0 ? ((x - points[i - 1].x) * dx + (y - points[i - 1].y) * dy) / len2 : 0;
        t = std::clamp(t, 0.0, 1.0);
        nearest = std::min(nearest,
                           std::hypot(x - points[i - 1].x - t * dx, y - points[i - 1].y - t * dy));
      }
      stray += nearest > 2.5;
    }
  EXPECT_EQ(stray, 0);

  // A new run drops the old track.
  const size_t before = points.size();
  ClickAuto(*frame);
  EXPECT_TRUE(engine.state().autoDriving.load());
  QTRY_VERIFY_WITH_TIMEOUT(engine.runTrack().Rows().size() < before, 5000);
  ClickAuto(*frame);
  frame->OnCommand(ID_SIMULATION);
  frame->OnCommand(ID_APP_EXIT);
}

TEST_F(CheckTrackWindow, aFindingAsksBeforeTheRunAndTheListLeadsToTheBox) {
  // Start, a one-second timer, no end command: a warning at command 1.
  dir.Write("sample/program/open_end.ntc",
            test::ProgramFileBytes(test::StartChain({{EVENT_TIMER, 0, 1, 0}})));
  auto frame = Open("open_end.ntc");
  CDriveSystem& engine = frame->view()->engine();

  ui.ScriptAnswer(MsgAnswer::Cancel);
  ClickAuto(*frame);
  EXPECT_EQ(Questions(), 1);
  EXPECT_FALSE(engine.state().autoDriving.load());
  EXPECT_EQ(engine.devices().drive().DriveState() & DRIVE_STATE_AUTO, 0u);
  frame->UpdateCommands();
  ASSERT_TRUE(frame->checkDock()->isVisible());
  QListWidget* list = frame->checkDock()->list();
  ASSERT_EQ(list->count(), 1);
  EXPECT_TRUE(list->item(0)->text().startsWith(QStringLiteral("コマンド1: [警告]")));

  // A double click on the line shows the program with the box selected and marked.
  emit list->itemDoubleClicked(list->item(0));
  EXPECT_EQ(engine.state().viewMode, VIEW_PROGRAM);
  EXPECT_EQ(engine.program().selection.load(), 1);
  const EventRecord box = engine.program().Record(1);
  const QImage program = engine.editor().Paint().convertToFormat(QImage::Format_RGB32);
  const QRgb mark = program.pixel(box.x - 4, box.y + 20);
  EXPECT_EQ(mark, qRgb(255, 150, 0));

  // While the list is open it follows the program: an end command added
  // behind the timer takes the warning away.
  engine.program().Edit([](ProgramRecords& r, int& count) {
    r[1].next = 2;
    r[2] = EventRecord{};
    r[2].kind = EVENT_END;
    r[2].prev = 1;
    count = 3;
  });
  frame->UpdateCommands();
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text(), QStringLiteral("問題は見つかりませんでした"));
  engine.program().Edit([](ProgramRecords& r, int& count) {
    r[1].next = -1;
    count = 2;
  });

  // The toolbar button checks again; start anyway runs the program.
  const int checks = engine.checkNumber();
  frame->ActionFor(ID_CHECK_PROGRAM)->trigger();
  EXPECT_EQ(engine.checkNumber(), checks + 1);
  ui.ScriptAnswer(MsgAnswer::Ok);
  ClickAuto(*frame);
  EXPECT_EQ(Questions(), 2);
  EXPECT_TRUE(engine.state().autoDriving.load());
  ClickAuto(*frame);
  frame->OnCommand(ID_SIMULATION);
  frame->OnCommand(ID_APP_EXIT);
}

}  // namespace
}  // namespace viren
