// The program file commands by keyboard alone on a real X server (run under
// xvfb-run, no window manager): Alt+F and the item's letter open the dialog,
// a full path typed where the keyboard is and Enter opens or saves the
// file. Every key goes to the window that has the keyboard focus, as the X
// server would deliver it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QWindow>
#include <filesystem>
#include <functional>

#include "UiSteps.h"
#include "app/CDriveApp.h"
#include "app/CDriveView.h"
#include "app/CMainFrame.h"
#include "core/CommandIds.h"
#include "engine/CDriveSystem.h"
#include "program/ProgramFile.h"
#include "support/TestDir.h"

namespace viren {
namespace {

using test::UiSteps;

QWindow* KeyboardWindow() {
  return QGuiApplication::focusWindow();
}

void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QTest::keyClick(KeyboardWindow(), key, modifiers);
}

void Type(const std::string& text) {
  for (char c : text) QTest::keyClick(KeyboardWindow(), c);
}

// Keys pressed once the frame has the keyboard: Alt+F by default.
UiSteps::Step InFrame(CMainFrame& frame, Qt::Key key = Qt::Key_F,
                      Qt::KeyboardModifiers modifiers = Qt::AltModifier) {
  return [&frame, key, modifiers] {
    if (KeyboardWindow() != frame.windowHandle() || QApplication::activePopupWidget()) return false;
    Press(key, modifiers);
    return true;
  };
}

// Enter on the question box, once it has the keyboard: its default button.
UiSteps::Step EnterOnQuestion() {
  return [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || KeyboardWindow() != box->windowHandle()) return false;
    Press(Qt::Key_Return);
    return true;
  };
}

// The item's letter, once the menu `title` is open.
UiSteps::Step ChooseItem(char letter, QString title = QStringLiteral("ファイル(&F)")) {
  return [letter, title] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu || !menu->isVisible() || menu->title() != title) return false;
    QTest::keyClick(KeyboardWindow(), letter);
    return true;
  };
}

// Replaces the name box's text with `path` and presses Enter, once the file
// dialog is up with the keyboard in its name box.
UiSteps::Step TypePath(std::string path) {
  return [path] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return false;
    auto* box = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!box || QApplication::focusWidget() != box || KeyboardWindow() != dialog->windowHandle())
      return false;
    Press(Qt::Key_A, Qt::ControlModifier);
    Type(path);
    Press(Qt::Key_Return);
    return true;
  };
}

class KeyboardFileTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "keyboard_file_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
    InstallQtTranslations(*qApp);
  }
  KeyboardFileTest() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n");
  }
  test::TestDir dir;
};

// Start -> 2.5 s timer -> end.
std::string TimerProgram() {
  std::vector<EventRecord> r(3);
  r[0] = MakeStartRecord();
  r[0].next = 1;
  r[1].kind = EVENT_TIMER;
  r[1].value1 = 2;
  r[1].value2 = 5;
  r[1].x = 72;
  r[1].y = 16;
  r[1].prev = 0;
  r[1].next = 2;
  r[1].oldIndex = 1;
  r[2].kind = EVENT_END;
  r[2].x = 128;
  r[2].y = 16;
  r[2].prev = 1;
  r[2].oldIndex = 2;
  return EncodeProgramFile(r.data(), 3);
}

TEST_F(KeyboardFileTest, altFOpensAndAltFSSavesWithTypedPaths) {
  ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb")) << "run under xvfb-run";
  dir.Write("timer.ntc", TimerProgram());
  // The window program with its own message boxes and dialogs.
  CMainFrame frame(dir.path(), "");
  frame.show();
  CDriveSystem& engine = frame.view()->engine();
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine.engineReady(); }, 10000));
  frame.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&frame, 10000));

  {
    UiSteps keys({InFrame(frame), ChooseItem('o'), TypePath(dir.File("timer.ntc"))});
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return keys.finished() && engine.program().count() == 3; }, 20000))
        << "stopped after step " << keys.done();
  }
  EXPECT_EQ(engine.program().Record(1).value2, 5);
  EXPECT_EQ(engine.program().fileName, dir.File("timer.ntc"));

  {
    UiSteps keys({InFrame(frame), ChooseItem('s'), TypePath(dir.File("typed.ntc"))});
    EXPECT_TRUE(QTest::qWaitFor([&] { return keys.finished() && dir.Exists("typed.ntc"); }, 20000))
        << "stopped after step " << keys.done();
  }
  EXPECT_EQ(dir.Read("typed.ntc"), dir.Read("timer.ntc"));
  EXPECT_EQ(engine.program().fileName, dir.File("typed.ntc"));

  // Alt+V, P shows the program; Ctrl+N asks whether to discard it, Enter says
  // yes, and the keyboard is back in the frame for the next command.
  {
    UiSteps keys({InFrame(frame, Qt::Key_V), ChooseItem('p', QStringLiteral("表示(&V)")),
                  InFrame(frame, Qt::Key_N, Qt::ControlModifier), EnterOnQuestion()});
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return keys.finished() && engine.program().count() == 1; }, 20000))
        << "stopped after step " << keys.done();
  }
  EXPECT_EQ(engine.state().viewMode, VIEW_PROGRAM);

  // Alt+F, X leaves: nothing was edited, so nothing is asked.
  {
    UiSteps keys({InFrame(frame), ChooseItem('x')});
    EXPECT_TRUE(QTest::qWaitFor([&] { return keys.finished() && !frame.isVisible(); }, 20000))
        << "stopped after step " << keys.done();
  }
}

}  // namespace
}  // namespace viren
