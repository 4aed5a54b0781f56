#include <gtest/gtest.h>

#include <QApplication>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <filesystem>
#include <thread>

#include <QToolBar>
#include "app/CAgreementDlg.h"
#include "app/CDriveView.h"
#include "app/CMainFrame.h"
#include "app/QtUiHost.h"
#include "core/CommandIds.h"
#include "engine/CDriveSystem.h"
#include "engine/CommandTable.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

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
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("赤外線カー自動制御システム"));
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
                             0, 32929, 32966, 0, 57643}));
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

TEST_F(MainFrameTest, failedStartupClosesTheFrame) {
  std::filesystem::remove(dir.File("VIREN.ini"));
  QtUiHost realUi;  // not used: the fake answers
  CMainFrame frame(dir.path(), "", &ui);
  frame.show();
  QTRY_VERIFY_WITH_TIMEOUT(!ui.messages().empty(), 5000);
  EXPECT_EQ(ui.messageIds(), std::vector<int>{129});
  EXPECT_EQ(ui.closeRequests, 1);
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
  std::thread worker([&] { answer = host.Message(134, {}, MsgIcon::Question, MsgButtons::YesNo); });
  // The GUI thread never gets to show the box: the program is closing.
  host.BeginShutdown();
  worker.join();
  EXPECT_EQ(answer, MsgAnswer::No);
  // Drain the queued request; it must not show anything now.
  QCoreApplication::processEvents();
}

}  // namespace
}  // namespace viren
