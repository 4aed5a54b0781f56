// The program file commands as a user meets them in the window program: the
// File menu's actions, Qt's own file dialog typed into, the editor showing
// what was read, the title bar, and the question at exit.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <cstring>
#include <filesystem>

#include "UiSteps.h"
#include "app/CDriveApp.h"
#include "app/CDriveView.h"
#include "app/CMainFrame.h"
#include "core/CommandIds.h"
#include "engine/CDriveSystem.h"
#include "program/DrivingProgram.h"
#include "program/ProgramFile.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

using test::OnModal;
using test::UiSteps;

// Little-endian bytes of a program file, put together by hand.
class FileBytes {
 public:
  FileBytes& U8(int v) {
    bytes_.push_back(static_cast<char>(v));
    return *this;
  }
  FileBytes& I16(int v) { return U8(v & 0xFF).U8((v >> 8) & 0xFF); }
  FileBytes& I32(int v) { return I16(v & 0xFFFF).I16((v >> 16) & 0xFFFF); }
  FileBytes& Zeros(int n) {
    bytes_.append(static_cast<size_t>(n), '\0');
    return *this;
  }
  // kind, option, reserved, value1, value2, x, y, next, prev, link,
  // repeatLeft, oldIndex, reserved.
  FileBytes& Record(int kind, int option, int v1, int v2, int x, int y, int next, int prev,
                    int link, int oldIndex) {
    U8(kind).U8(option).Zeros(2).I16(v1).I16(v2).I16(x).I16(y).I16(next).I16(prev).I16(link);
    return I16(0).I16(oldIndex).Zeros(10);
  }
  const std::string& str() const { return bytes_; }

 private:
  std::string bytes_;
};

// Start -> 3.5 s timer -> car forward 100 -> end, as the editor saves it.
std::string ThreeCommandFile() {
  FileBytes f;
  f.U8('.').U8('n').U8('t').U8('c').I32(2).I32(4).Zeros(20);
  f.Record(1, 0, 0, 0, 16, 16, 1, -1, -1, 0);
  f.Record(2, 0, 3, 5, 72, 16, 2, 0, -1, 1);
  f.Record(3, 1, 100, 0, 128, 16, 3, 1, -1, 2);
  f.Record(8, 0, 0, 0, 184, 16, -1, 2, -1, 3);
  return f.str();
}

QLineEdit* NameBox(QFileDialog* dialog) {
  return dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

// Types `path` into the file dialog's name box and presses Enter.
UiSteps::Step TypeIntoFileDialog(QString path, QFileDialog::AcceptMode mode,
                                 std::function<void(QFileDialog*)> look = {}) {
  return OnModal([path, mode, look](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (!dialog || dialog->acceptMode() != mode) return false;
    QLineEdit* box = NameBox(dialog);
    EXPECT_NE(box, nullptr);
    // Keys go where the keyboard is: the name box has it once the dialog is up.
    if (!box || QApplication::focusWidget() != box) return false;
    if (look) look(dialog);
    box->selectAll();
    QTest::keyClicks(box, path);
    QTest::keyClick(box, Qt::Key_Return);
    return true;
  });
}

UiSteps::Step CancelFileDialog() {
  return OnModal([](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (!dialog) return false;
    QTest::keyClick(dialog, Qt::Key_Escape);
    return true;
  });
}

// Answers Qt's "replace the existing file?" question.
UiSteps::Step AnswerReplace(QMessageBox::StandardButton answer) {
  return OnModal([answer](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box || !box->button(answer)) return false;
    box->button(answer)->click();
    return true;
  });
}

class ProgramFileCommandsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "program_file_window_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
    static const bool translated = InstallQtTranslations(*qApp);
    ASSERT_TRUE(translated) << "Qt's Japanese texts are not installed";
  }
  ProgramFileCommandsTest() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n");
    std::filesystem::create_directories(dir.File("sample/program"));
  }
  // A started frame in the program view.
  std::unique_ptr<CMainFrame> StartedFrame() {
    auto frame = std::make_unique<CMainFrame>(dir.path(), "", &ui);
    frame->show();
    frame->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame->view()->engine().engineReady(); }, 5000));
    frame->ActionFor(ID_VIEW_PROGRAM)->trigger();
    return frame;
  }
  // Runs the menu action of `id` while `steps` answer its dialogs.
  static void Choose(CMainFrame& frame, int id, std::vector<UiSteps::Step> steps) {
    UiSteps script(std::move(steps));
    frame.UpdateCommands();
    QAction* action = frame.ActionFor(id);
    ASSERT_TRUE(action && action->isEnabled()) << id;
    action->trigger();
    EXPECT_TRUE(script.finished()) << "command " << id << " stopped after step " << script.done();
  }
  static QString Q(const std::string& s) { return QString::fromStdString(s); }

  test::TestDir dir;
  test::FakeUiHost ui;
};

// The box of a command shows the box colour between its frame and picture.
bool BoxShownAt(CMainFrame& frame, int x, int y) {
  const QImage shown = frame.view()->grab().toImage();
  return shown.pixelColor(x + 2, y + 2) == QColor(0xFF, 0xF9, 0xBD);
}

TEST_F(ProgramFileCommandsTest, openShowsTheCommandsAndSaveElsewhereWritesTheSameRecords) {
  dir.Write("three.ntc", ThreeCommandFile());
  auto frame = StartedFrame();
  CDriveSystem& engine = frame->view()->engine();
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("無題[*] - 赤外線カー自動制御システム"));
  EXPECT_FALSE(BoxShownAt(*frame, 128, 16));

  QString openButton;
  Choose(
      *frame, ID_FILE_OPEN,
      {TypeIntoFileDialog(Q(dir.File("three.ntc")), QFileDialog::AcceptOpen, [&](QFileDialog* d) {
        EXPECT_TRUE(d->testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_EQ(d->nameFilters(), QStringList{QStringLiteral("VIRENﾌｧｲﾙ (*.ntc)")});
        EXPECT_EQ(d->defaultSuffix(), QStringLiteral("ntc"));
        auto* buttons = d->findChild<QDialogButtonBox*>();
        if (buttons && buttons->button(QDialogButtonBox::Open))
          openButton = buttons->button(QDialogButtonBox::Open)->text();
      })});
  // Qt's own dialog speaks Japanese like the rest of the window.
  EXPECT_TRUE(openButton.contains(QStringLiteral("開く"))) << openButton.toStdString();

  ASSERT_EQ(engine.program().count(), 4);
  EXPECT_EQ(engine.program().Record(1).value1, 3);
  EXPECT_EQ(engine.program().Record(2).value1, 100);
  EXPECT_EQ(engine.program().fileName, dir.File("three.ntc"));
  EXPECT_NE(dir.Read("option.ini").find("FILE_NAME=" + dir.File("three.ntc")), std::string::npos);
  EXPECT_TRUE(BoxShownAt(*frame, 128, 16)) << "the car command is not drawn";
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("three.ntc[*] - 赤外線カー自動制御システム"));
  EXPECT_FALSE(frame->isWindowModified());

  // An edit marks the title; saving under a new name (no extension typed)
  // writes copy.ntc and clears the mark.
  engine.program().selection = 2;
  frame->OnCommand(ID_MOVE_NEXT);  // refused: an end command follows
  engine.program().selection = 1;
  frame->OnCommand(ID_MOVE_NEXT);
  frame->OnCommand(ID_MOVE_NEXT);  // and back: the same program, but edited
  frame->UpdateCommands();
  EXPECT_TRUE(frame->isWindowModified());

  Choose(*frame, ID_FILE_SAVE,
         {TypeIntoFileDialog(Q(dir.File("copy")), QFileDialog::AcceptSave, [&](QFileDialog* d) {
           EXPECT_EQ(NameBox(d)->text(), QStringLiteral("three.ntc"));
           EXPECT_EQ(d->directory().absolutePath(), Q(dir.path()));
         })});
  ASSERT_TRUE(dir.Exists("copy.ntc"));
  const std::string original = dir.Read("three.ntc");
  const std::string copy = dir.Read("copy.ntc");
  ASSERT_EQ(copy.size(), original.size());
  EXPECT_EQ(copy.substr(0, 12), original.substr(0, 12)) << "magic, version or count";
  for (size_t at = 32; at < copy.size(); at += 32)
    EXPECT_EQ(copy.substr(at, 32), original.substr(at, 32)) << "record " << (at - 32) / 32;
  EXPECT_FALSE(frame->isWindowModified());
  frame->UpdateCommands();
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("copy.ntc[*] - 赤外線カー自動制御システム"));
  EXPECT_TRUE(ui.messages().empty());

  // Saving over it asks first: No returns to the dialog, which is cancelled.
  engine.program().modified = true;
  Choose(*frame, ID_FILE_SAVE,
         {TypeIntoFileDialog(Q(dir.File("copy.ntc")), QFileDialog::AcceptSave),
          AnswerReplace(QMessageBox::No), CancelFileDialog()});
  EXPECT_TRUE(engine.program().modified);
  Choose(*frame, ID_FILE_SAVE,
         {TypeIntoFileDialog(Q(dir.File("copy.ntc")), QFileDialog::AcceptSave),
          AnswerReplace(QMessageBox::Yes)});
  EXPECT_FALSE(engine.program().modified);
  EXPECT_EQ(dir.Read("copy.ntc"), copy);
  frame->OnCommand(ID_APP_EXIT);
}

TEST_F(ProgramFileCommandsTest, sampleStartsInTheSampleFolderAndNewKeepsOnlyTheStart) {
  dir.Write("sample/program/lap.ntc", ThreeCommandFile());
  auto frame = StartedFrame();
  CDriveSystem& engine = frame->view()->engine();

  Choose(
      *frame, ID_OPEN_SAMPLE,
      {TypeIntoFileDialog(QStringLiteral("lap.ntc"), QFileDialog::AcceptOpen, [&](QFileDialog* d) {
        EXPECT_EQ(d->directory().absolutePath(), Q(dir.File("sample/program")));
        EXPECT_TRUE(NameBox(d)->text().isEmpty());
      })});
  ASSERT_EQ(engine.program().count(), 4);
  EXPECT_EQ(engine.program().fileName, dir.File("sample/program/lap.ntc"));

  // New is offered only in the program view.
  frame->ActionFor(ID_VIEW_LAYOUT)->trigger();
  frame->UpdateCommands();
  EXPECT_FALSE(frame->ActionFor(ID_FILE_NEW)->isEnabled());
  frame->ActionFor(ID_VIEW_PROGRAM)->trigger();
  ui.ScriptAnswer(MsgAnswer::No);
  Choose(*frame, ID_FILE_NEW, {});
  EXPECT_EQ(engine.program().count(), 4);
  // The main toolbar's button does the same as the menu item.
  QAction* newButton = nullptr;
  for (QAction* a : frame->mainToolbar()->actions())
    if (a->data().toInt() == ID_FILE_NEW) newButton = a;
  ASSERT_TRUE(newButton && newButton != frame->ActionFor(ID_FILE_NEW));
  ui.ScriptAnswer(MsgAnswer::Yes);
  newButton->trigger();
  EXPECT_EQ(ui.messageIds(), (std::vector<int>{MSG_DISCARD_PROGRAM, MSG_DISCARD_PROGRAM}));
  EXPECT_EQ(engine.program().count(), 1);
  EXPECT_FALSE(BoxShownAt(*frame, 72, 16));
  frame->UpdateCommands();
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("無題[*] - 赤外線カー自動制御システム"));

  // The next save proposes the old name.
  Choose(*frame, ID_FILE_SAVE, {OnModal([this](QWidget* modal) {
    auto* d = qobject_cast<QFileDialog*>(modal);
    if (!d) return false;
    EXPECT_EQ(NameBox(d)->text(), QStringLiteral("lap.ntc"));
    EXPECT_EQ(d->directory().absolutePath(), Q(dir.File("sample/program")));
    d->reject();
    return true;
  })});
  frame->OnCommand(ID_APP_EXIT);
}

TEST_F(ProgramFileCommandsTest, ctrlKeysReachTheFileCommands) {
  dir.Write("three.ntc", ThreeCommandFile());
  auto frame = StartedFrame();
  CDriveSystem& engine = frame->view()->engine();
  EXPECT_EQ(frame->ActionFor(ID_FILE_OPEN)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
  {
    UiSteps script({TypeIntoFileDialog(Q(dir.File("three.ntc")), QFileDialog::AcceptOpen)});
    QTest::keyClick(frame.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(script.finished());
  }
  EXPECT_EQ(engine.program().count(), 4);
  // The keys go to the frame once it is active again after the dialog.
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
  {
    UiSteps script({TypeIntoFileDialog(Q(dir.File("again.ntc")), QFileDialog::AcceptSave)});
    QTest::keyClick(frame.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(script.finished());
  }
  EXPECT_EQ(dir.Read("again.ntc"), dir.Read("three.ntc"));
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
  ui.ScriptAnswer(MsgAnswer::Yes);
  QTest::keyClick(frame.get(), Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(engine.program().count(), 1);
  frame->OnCommand(ID_APP_EXIT);
}

// Ctrl+Z and Ctrl+Y walk back and forth over an open and a new program, with
// the Edit menu's items following; a run greys both.
TEST_F(ProgramFileCommandsTest, ctrlZAndCtrlYStepBackAndForthOverOpenAndNew) {
  dir.Write("three.ntc", ThreeCommandFile());
  auto frame = StartedFrame();
  CDriveSystem& engine = frame->view()->engine();
  Choose(*frame, ID_FILE_OPEN,
         {TypeIntoFileDialog(Q(dir.File("three.ntc")), QFileDialog::AcceptOpen)});
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
  ui.ScriptAnswer(MsgAnswer::Yes);
  QTest::keyClick(frame.get(), Qt::Key_N, Qt::ControlModifier);
  ASSERT_EQ(engine.program().count(), 1);
  frame->UpdateCommands();
  EXPECT_TRUE(frame->ActionFor(ID_UNDO)->isEnabled());
  EXPECT_FALSE(frame->ActionFor(ID_REDO)->isEnabled());

  QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(engine.program().count(), 4);
  EXPECT_TRUE(BoxShownAt(*frame, 72, 16));
  QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(engine.program().count(), 1) << "back to the program before the open";
  EXPECT_FALSE(BoxShownAt(*frame, 72, 16));
  frame->UpdateCommands();
  EXPECT_FALSE(frame->ActionFor(ID_UNDO)->isEnabled());
  EXPECT_TRUE(frame->ActionFor(ID_REDO)->isEnabled());
  QTest::keyClick(frame.get(), Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(engine.program().count(), 4);
  EXPECT_TRUE(BoxShownAt(*frame, 72, 16));

  engine.state().autoDriving = true;
  frame->UpdateCommands();
  EXPECT_FALSE(frame->ActionFor(ID_UNDO)->isEnabled());
  EXPECT_FALSE(frame->ActionFor(ID_REDO)->isEnabled());
  QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
  QTest::keyClick(frame.get(), Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(engine.program().count(), 4) << "the program stays as it is under a run";
  engine.state().autoDriving = false;
  frame->OnCommand(ID_APP_EXIT);
}

// The keyboard in the program view: arrows move the selection along the
// chain, Delete asks as the menu does.
TEST_F(ProgramFileCommandsTest, arrowKeysSelectAndDeleteAsksBeforeDeleting) {
  dir.Write("three.ntc", ThreeCommandFile());
  auto frame = StartedFrame();
  CDriveSystem& engine = frame->view()->engine();
  Choose(*frame, ID_FILE_OPEN,
         {TypeIntoFileDialog(Q(dir.File("three.ntc")), QFileDialog::AcceptOpen)});
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
  frame->view()->setFocus();
  engine.program().selection = -1;
  QTest::keyClick(frame->view(), Qt::Key_Right);
  EXPECT_EQ(engine.program().selection, 0);
  QTest::keyClick(frame->view(), Qt::Key_Right);
  QTest::keyClick(frame->view(), Qt::Key_Right);
  EXPECT_EQ(engine.program().selection, 2);
  QTest::keyClick(frame->view(), Qt::Key_Left);
  EXPECT_EQ(engine.program().selection, 1);
  // The selection frame stands on the timer's box (x 72): green at its edge.
  EXPECT_EQ(frame->view()->grab().toImage().pixelColor(72, 30), QColor(0, 0xFF, 0));

  ui.ScriptAnswer(MsgAnswer::No);
  QTest::keyClick(frame.get(), Qt::Key_Delete);
  EXPECT_EQ(ui.messageIds().back(), MSG_DELETE_COMMAND);
  EXPECT_EQ(engine.program().Record(1).kind, EVENT_TIMER);
  ui.ScriptAnswer(MsgAnswer::Yes);
  QTest::keyClick(frame.get(), Qt::Key_Delete);
  EXPECT_EQ(engine.program().Record(1).kind, EVENT_FREE);
  EXPECT_EQ(engine.program().Record(0).next, 2);
  QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(engine.program().Record(1).kind, EVENT_TIMER);
  frame->OnCommand(ID_APP_EXIT);
}

// The question at exit with an edited program: No leaves without saving,
// Yes saves through the dialog and then leaves, Yes with the dialog
// cancelled stays with the edits.
TEST_F(ProgramFileCommandsTest, exitQuestionNeverLosesTheEdits) {
  struct Path {
    const char* name;
    MsgAnswer answer;
    bool saveInDialog;
    bool exits;
    bool written;
  };
  const Path paths[] = {
      {"No", MsgAnswer::No, false, true, false},
      {"Yes and save", MsgAnswer::Yes, true, true, true},
      {"Yes and cancel", MsgAnswer::Yes, false, false, false},
  };
  for (const Path& path : paths) {
    SCOPED_TRACE(path.name);
    dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n");  // no program from before
    test::FakeUiHost freshUi;
    auto frame = std::make_unique<CMainFrame>(dir.path(), "", &freshUi);
    frame->show();
    CDriveSystem& engine = frame->view()->engine();
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.engineReady(); }, 5000));
    frame->ActionFor(ID_VIEW_PROGRAM)->trigger();
    engine.program().selection = 0;
    frame->OnCommand(ID_INSERT_END);  // an edit that needs no dialog
    ASSERT_TRUE(engine.program().modified);
    const std::string target = dir.File(std::string("exit-") + path.name + ".ntc");

    freshUi.ScriptAnswer(path.answer);
    std::vector<UiSteps::Step> steps;
    if (path.answer == MsgAnswer::Yes)
      steps.push_back(path.saveInDialog ? TypeIntoFileDialog(Q(target), QFileDialog::AcceptSave)
                                        : CancelFileDialog());
    Choose(*frame, ID_APP_EXIT, std::move(steps));

    EXPECT_EQ(freshUi.messageIds(), std::vector<int>{MSG_SAVE_EDITED_PROGRAM});
    EXPECT_EQ(frame->isVisible(), !path.exits);
    EXPECT_EQ(std::filesystem::exists(target), path.written);
    if (path.written) {
      ProgramRecords records;
      int count = 0;
      ASSERT_EQ(ReadProgramBytes(target, records, count), ProgramReadStatus::Ok);
      EXPECT_EQ(count, 2);
      EXPECT_EQ(records[1].kind, EVENT_END);
    }
    if (!path.exits) {
      EXPECT_TRUE(engine.program().modified);
      freshUi.ScriptAnswer(MsgAnswer::No);
      frame->OnCommand(ID_APP_EXIT);
      EXPECT_FALSE(frame->isVisible());
    }
  }
}

}  // namespace
}  // namespace viren
