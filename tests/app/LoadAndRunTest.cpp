// Another program's load-and-run (COMMAND_PROGRAM_FILE) in the assembled window: the
// path comes from the real clipboard, the command through shared memory, and
// the editor, its undo command and the status bar are the window's own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QStatusBar>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include "support/QtWaitInGtest.h"

#include "api/client/InterfaceClient.h"
#include "app/CDriveView.h"
#include "app/CMainFrame.h"
#include "app/ExternalWindow.h"
#include "core/CommandIds.h"
#include "core/Messages.h"
#include "engine/CDriveSystem.h"
#include "program/DrivingProgram.h"
#include "program/ProgramFile.h"
#include "support/Programs.h"
#include "support/ShmObjects.h"
#include "support/TestDir.h"

namespace viren {
namespace {

class LoadAndRunTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "load_and_run_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
  }
  LoadAndRunTest() {
    prefix = "loadrun" + std::to_string(::getpid()) + "_";
    setenv("VIREN_SHM_PREFIX", prefix.c_str(), 1);
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    dir.Write("run.ntc", test::DriveForwardProgram());
    dir.Write("other.ntc", test::DriveForwardProgram(CAR_REVERSE));
    // No camera: the program simulates the car.
    dir.Write("option.ini",
              "[AGREEMENT]\r\nAGREEMENT=1\r\n[EVENT]\r\nFILE_NAME=" + dir.File("run.ntc") + "\r\n");
  }
  ~LoadAndRunTest() override {
    unsetenv("VIREN_SHM_PREFIX");
    test::RemoveShmObjects(prefix);
  }

  // Posts COMMAND_PROGRAM_FILE with `path` on the clipboard, as another program would.
  void PostLoad(const std::string& path) {
    QGuiApplication::clipboard()->setText(QString::fromStdString(path));
    client::InterfaceClient other(prefix);
    ASSERT_EQ(other.Open(), 0);
    ASSERT_EQ(other.PostCommand(api::COMMAND_PROGRAM_FILE, 0), 0);
  }

  std::string prefix;
  test::TestDir dir;
};

TEST_F(LoadAndRunTest, cleanProgramIsReplacedAndRunsWithNothingToUndo) {
  CMainFrame frame(dir.path(), "-s");
  frame.show();
  CDriveSystem& engine = frame.view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.engineReady(), 10000);
  DrivingProgram& program = engine.program();
  ASSERT_EQ(program.Record(1).option, CAR_FORWARD);
  {  // an edit since saved: undo is offered
    program.RecordUndoStep();
    EventRecord r = program.Record(1);
    r.value2 += 1;
    program.SetRecord(1, r);
  }
  frame.OnCommand(ID_VIEW_PROGRAM);
  frame.UpdateCommands();
  ASSERT_TRUE(frame.ActionFor(ID_UNDO)->isEnabled());

  PostLoad(dir.File("other.ntc"));
  QTRY_COMPARE_WITH_TIMEOUT(static_cast<int>(program.Record(1).option), int{CAR_REVERSE}, 5000);
  QTRY_VERIFY_WITH_TIMEOUT(engine.state().autoDriving, 5000);
  EXPECT_FALSE(program.modified);
  EXPECT_EQ(program.fileName, dir.File("other.ntc"));
  frame.UpdateCommands();
  EXPECT_FALSE(frame.ActionFor(ID_UNDO)->isEnabled());
  EXPECT_TRUE(frame.statusBar()->currentMessage().isEmpty() ||
              !frame.statusBar()->currentMessage().contains(QStringLiteral(".recovered")));
  frame.OnCommand(ID_APP_EXIT);
}

TEST_F(LoadAndRunTest, unsavedEditsGoToARecoveryFileNamedOnTheStatusBar) {
  CMainFrame frame(dir.path(), "-s");
  frame.show();
  CDriveSystem& engine = frame.view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.engineReady(), 10000);
  DrivingProgram& program = engine.program();
  EventRecord timer = program.Record(2);
  timer.value1 = 7;
  program.SetRecord(2, timer);
  program.modified = true;

  PostLoad(dir.File("other.ntc"));
  QTRY_COMPARE_WITH_TIMEOUT(static_cast<int>(program.Record(1).option), int{CAR_REVERSE}, 5000);
  const std::string recovery = dir.File("run.recovered.ntc");
  EXPECT_EQ(frame.statusBar()->currentMessage().toStdString(),
            FormatMessage(MSG_EDITS_RECOVERED, {recovery}));
  ProgramRecords saved;
  int count = 0;
  ASSERT_EQ(ReadProgramBytes(recovery, saved, count), ProgramReadStatus::Ok);
  EXPECT_EQ(saved[2].value1, 7);
  EXPECT_FALSE(program.modified);
  // Nothing is left to save: the exit asks no question.
  frame.OnCommand(ID_APP_EXIT);
  EXPECT_FALSE(frame.isVisible());
}

// Without X11 (here the offscreen platform, elsewhere Wayland) no window of
// another program can be drawn into.
TEST_F(LoadAndRunTest, externalWindowNeedsX11) {
  ExternalWindowResult result = ExternalWindowResult::Attached;
  EXPECT_EQ(ExternalWindow::Open(0x1234, result), nullptr);
  EXPECT_EQ(result, ExternalWindowResult::NotSupported);
}

}  // namespace
}  // namespace viren
