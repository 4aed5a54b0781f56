// The editor with its real widgets: the command toolbar's buttons, the real
// command dialogs answered as a user would, the position window, and a
// screenshot of a sample program for review.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <functional>

#include "EditorRig.h"
#include "QtTestApp.h"
#include "editor/ui/CEventDlg.h"
#include "editor/ui/CTimeDlg.h"
#include "editor/ui/CommandToolbar.h"
#include "editor/ui/QtCommandDialogs.h"

namespace viren {
namespace {

// The editor rig with the real dialogs and the command toolbar in a window.
class EditorWidgets : public ::testing::Test, private test::WithQtApp {
 protected:
  EditorWidgets() {
    window.resize(700, 560);
    toolbar = CreateCommandToolbar(&window, [this](int id) { rig.editor.OnCommand(id); });
    rig.editor.SetLinks(EditorLinks{&rig.peers, &dialogs, &positionWindow, &EvaluateCommand});
    window.show();
  }

  QAction* Button(int id) const {
    for (QAction* a : toolbar->actions())
      if (a->data().toInt() == id) return a;
    return nullptr;
  }
  // Queues what the user does in the next modal dialog.
  void Answer(std::function<void(QDialog*)> act) { answers.push_back(std::move(act)); }
  // Presses a toolbar button; the queued answers handle the dialogs it opens.
  void Press(int id) {
    ArmAnswers();
    UpdateCommandToolbar(toolbar, rig.editor);
    QAction* a = Button(id);
    ASSERT_NE(a, nullptr);
    if (a->isEnabled()) a->trigger();
    EXPECT_TRUE(answers.empty()) << "a dialog was expected but did not open";
  }
  void ArmAnswers() {
    QTimer::singleShot(0, [this] { AnswerModal(); });
  }
  void AnswerModal() {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || answers.empty()) {
      if (!answers.empty()) QTimer::singleShot(5, [this] { AnswerModal(); });
      return;
    }
    auto act = std::move(answers.front());
    answers.pop_front();
    act(dialog);
    if (dialog->isVisible()) QTimer::singleShot(0, [this] { AnswerModal(); });
  }
  static void Ok(QDialog* d) {
    QTest::mouseClick(d->findChild<QPushButton*>(), Qt::LeftButton);  // first button
  }
  static void Type(QDialog* d, int control, const QString& text) {
    auto* edit = d->findChild<QLineEdit*>(QStringLiteral("control%1").arg(control));
    ASSERT_NE(edit, nullptr) << control;
    edit->setText(text);
  }
  static void PressOk(QDialog* d) {
    for (auto* b : d->findChildren<QPushButton*>())
      if (b->text() == QStringLiteral("OK")) QTest::mouseClick(b, Qt::LeftButton);
  }

  test::EditorRig rig;
  QWidget window;
  QToolBar* toolbar = nullptr;
  QtCommandDialogs dialogs{rig.ui, &window};
  QtPositionWindow positionWindow{[](QWidget* parent) {
                                    auto* d = new QDialog(parent);
                                    d->setWindowTitle(QStringLiteral("ｲﾍﾞﾝﾄ位置定義"));
                                    return d;
                                  },
                                  [this](bool accept) { rig.editor.EndPositionDefinition(accept); },
                                  &window};
  std::deque<std::function<void(QDialog*)>> answers;
};

TEST_F(EditorWidgets, toolbarHasTheNineButtonsAndOnlyTheTimerWithoutASelection) {
  EXPECT_EQ(toolbar->windowTitle(), QStringLiteral("ｲﾍﾞﾝﾄ"));
  EXPECT_EQ(toolbar->orientation(), Qt::Vertical);
  ASSERT_EQ(toolbar->actions().size(), 9);
  EXPECT_EQ(Button(ID_INSERT_TIMER)->toolTip(), QStringLiteral("タイマー"));
  EXPECT_EQ(Button(ID_INSERT_TIMER)->statusTip(), QStringLiteral("タイマーを定義"));
  EXPECT_EQ(Button(ID_INSERT_TIMER)->icon().availableSizes().front(), QSize(32, 32));
  for (QAction* a : toolbar->actions()) {
    EXPECT_FALSE(a->toolTip().isEmpty()) << a->data().toInt();
    EXPECT_FALSE(a->statusTip().isEmpty()) << a->data().toInt();
  }
  rig.Select(-1);
  UpdateCommandToolbar(toolbar, rig.editor);
  for (QAction* a : toolbar->actions())
    EXPECT_EQ(a->isEnabled(), a->data().toInt() == ID_INSERT_TIMER) << a->data().toInt();
  rig.Select(0);
  UpdateCommandToolbar(toolbar, rig.editor);
  EXPECT_FALSE(Button(ID_INSERT_START)->isEnabled());
  EXPECT_TRUE(Button(ID_INSERT_END)->isEnabled());
}

TEST_F(EditorWidgets, nineTimersFromTheToolbarFillTheRowAndTheTenthWraps) {
  rig.Select(0);
  for (int i = 1; i <= 10; ++i) {
    Answer(PressOk);
    Press(ID_INSERT_TIMER);
  }
  ASSERT_EQ(rig.program.count(), 11);
  for (int i = 1; i <= 9; ++i) EXPECT_EQ(rig.At(i).x, 16 + 56 * i);
  EXPECT_EQ(rig.At(10).x, 16);
  EXPECT_EQ(rig.At(10).y, 72);
  EXPECT_EQ(rig.At(10).value1, 1);
}

TEST_F(EditorWidgets, aZeroTimerIsRefusedWithTheFocusOnTheTenths) {
  rig.Select(0);
  QString focused;  // the dialog is gone once the insertion returns
  Answer([&](QDialog* d) {
    Type(d, IDC_TIME_SECONDS, "0");
    Type(d, IDC_TIME_TENTHS, "0");
    PressOk(d);
    focused = d->focusWidget() ? d->focusWidget()->objectName() : QString();
    EXPECT_TRUE(d->isVisible());
    Type(d, IDC_TIME_TENTHS, "3");
    PressOk(d);
  });
  Press(ID_INSERT_TIMER);
  EXPECT_EQ(rig.ui.messageIds(), std::vector<int>{MSG_TIMER_RANGE});
  EXPECT_EQ(focused, QStringLiteral("control1006"));
  EXPECT_EQ(rig.At(1).value1, 0);
  EXPECT_EQ(rig.At(1).value2, 3);
}

TEST_F(EditorWidgets, aBallOfDistanceNineIsRefusedEvenWhenRecognitionEnds) {
  rig.Select(0);
  Answer([&](QDialog* d) {
    d->findChild<QRadioButton*>(QStringLiteral("control1003"))->click();
    Type(d, IDC_EVENT_VALUE1, "9");
    PressOk(d);
    EXPECT_TRUE(d->isVisible());
    d->reject();
  });
  Press(ID_INSERT_BALL);
  EXPECT_EQ(rig.ui.messageIds(), std::vector<int>{MSG_AVOID_DISTANCE_RANGE});
  EXPECT_EQ(rig.program.count(), 1) << "cancelled: nothing inserted";
}

// "サウンド設定" shows the sound list; the number accepted afterwards follows
// the list as the user left it.
TEST_F(EditorWidgets, theSoundSettingsButtonEditsTheListAndTheNumberRangeFollows) {
  rig.peers.soundCount = 1;
  int listShown = 0;
  dialogs.SetSoundListEditor([&] {
    ++listShown;
    return 4;  // the user added three sounds
  });
  rig.Select(0);
  Answer([&](QDialog* d) {
    d->findChild<QRadioButton*>(QStringLiteral("control1004"))->click();  // 再生
    Type(d, IDC_EVENT_VALUE1, "4");
    PressOk(d);
    EXPECT_TRUE(d->isVisible()) << "only sound 1 is listed yet";
    auto* button = d->findChild<QPushButton*>(QStringLiteral("control1011"));
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    Type(d, IDC_EVENT_VALUE1, "4");
    PressOk(d);
  });
  Press(ID_INSERT_SOUND);
  EXPECT_EQ(listShown, 1);
  EXPECT_EQ(rig.ui.messageIds(), std::vector<int>{MSG_SOUND_NUMBER_RANGE});
  ASSERT_EQ(rig.program.count(), 2);
  EXPECT_EQ(rig.At(1).kind, EVENT_SOUND);
  EXPECT_EQ(rig.At(1).value1, 4);
}

TEST_F(EditorWidgets, theCarDistanceMustStayInsideTheCameraImage) {
  rig.engine.frameWidth = 320;
  rig.Select(0);
  Answer([&](QDialog* d) {
    Type(d, IDC_EVENT_VALUE1, "320");
    PressOk(d);
    EXPECT_EQ(d->focusWidget()->objectName(), QStringLiteral("control1007"));
    Type(d, IDC_EVENT_VALUE1, "319");
    PressOk(d);
  });
  Press(ID_INSERT_CAR);
  EXPECT_EQ(rig.ui.messageIds(), std::vector<int>{MSG_DISTANCE_TOO_LARGE});
  EXPECT_EQ(rig.At(1).value1, 319);
}

TEST_F(EditorWidgets, aNewRepeatEntersLinkModeAndRefusesTheStartAndItself) {
  rig.Select(0);
  Answer(PressOk);
  Press(ID_INSERT_TIMER);
  Answer(PressOk);
  Press(ID_INSERT_REPEAT);
  ASSERT_EQ(rig.ui.postedCommands(), std::vector<int>{ID_LINK});
  rig.editor.OnCommand(ID_LINK);
  rig.ui.ScriptAnswer(MsgAnswer::Ok);
  rig.Click(0);
  rig.ui.ScriptAnswer(MsgAnswer::Ok);
  rig.Click(2);
  EXPECT_EQ(rig.ui.messageIds(), (std::vector<int>{MSG_LINK_TO_START, MSG_REPEAT_NEEDS_WAIT}));
  rig.Click(1);
  EXPECT_EQ(rig.At(2).link, 1);
}

TEST_F(EditorWidgets, theReferenceButtonPlacesThePointThroughThePositionWindow) {
  rig.Select(0);
  Answer([&](QDialog* d) {
    d->findChild<QRadioButton*>(QStringLiteral("control1006"))->click();
    Type(d, IDC_EVENT_VALUE1, "100");
    Type(d, IDC_EVENT_VALUE2, "80");
    QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("control1011")), Qt::LeftButton);
  });
  Press(ID_INSERT_POSITION);
  ASSERT_EQ(rig.program.positionEditIndex, 1);
  ASSERT_NE(positionWindow.dialog(), nullptr);
  EXPECT_TRUE(positionWindow.dialog()->isVisible());
  EXPECT_EQ(rig.car.cheesePosition.load(), (Point{100, 80}));
  rig.car.cheesePosition = Point{500, 400};
  positionWindow.dialog()->accept();
  EXPECT_EQ(rig.program.positionEditIndex, -1);
  EXPECT_EQ(positionWindow.dialog(), nullptr);
  EXPECT_EQ(rig.At(1).option, POSITION_POINT);
  EXPECT_EQ(rig.At(1).value1, 500);
  EXPECT_EQ(rig.At(1).value2, 400);
  EXPECT_EQ(rig.engine.viewMode, VIEW_PROGRAM);
}

// Every kind, a second chain, links and the selection frame: saved under
// build/test-screenshots for a person to look at.
TEST_F(EditorWidgets, screenshotOfASampleProgram) {
  auto event = [&](int option, int value1, int check) {
    rig.dialogs.events.push_back([=](EventKind, EventDialogValues& v) {
      v.option = option;
      v.value1 = value1;
      v.check = check;
      return true;
    });
  };
  rig.editor.SetLinks(EditorLinks{&rig.peers, &rig.dialogs, &rig.positionWindow, &EvaluateCommand});
  rig.Select(0);
  event(SOUND_REPEAT, 1, 0);
  rig.Insert(EVENT_SOUND);
  event(CAR_FORWARD, 0, 1);
  rig.Insert(EVENT_CAR);
  event(HANDLE_LEFT, 90, 0);
  const int left = rig.Insert(EVENT_HANDLE);
  rig.Insert(EVENT_TIMER);
  event(HANDLE_RIGHT, 1, 1);
  rig.Insert(EVENT_HANDLE);
  event(POSITION_POINT, 480, 120);
  rig.Insert(EVENT_POSITION);
  event(0, 3, 0);
  const int repeat = rig.Insert(EVENT_REPEAT);
  rig.editor.OnCommand(ID_LINK);
  rig.Click(left);
  rig.Select(repeat);
  event(BALL_AVOID, 100, 1);
  rig.Insert(EVENT_BALL);
  event(POSITION_LEAVE_COURSE, 0, 0);
  rig.Insert(EVENT_POSITION);
  event(CAR_STOP, 0, 0);
  rig.Insert(EVENT_CAR);
  const int wait = rig.Insert(EVENT_TIMER);
  rig.Insert(EVENT_END);
  rig.Select(-1);
  const int head = rig.Insert(EVENT_TIMER);
  event(CAR_REVERSE, 50, 0);
  rig.Insert(EVENT_CAR);
  event(POSITION_CAMERA_CENTRE, 0, 0);
  const int jumpFrom = rig.Insert(EVENT_POSITION);
  rig.editor.OnCommand(ID_LINK);
  rig.Click(jumpFrom);
  rig.Select(wait);
  EXPECT_TRUE(rig.ui.messages().empty());
  (void)head;

  const QImage picture = rig.editor.Paint();
  ASSERT_EQ(picture.size(), QSize(640, 480));
  EXPECT_EQ(QColor(picture.pixel(16, 200)), QColor(Qt::white));
  // The picture beside the toolbar, as the program view shows it.
  QImage sheet(640 + 48, 480, QImage::Format_RGB32);
  sheet.fill(QColor(240, 240, 240));
  QPainter p(&sheet);
  toolbar->show();
  p.drawImage(4, 0, toolbar->grab().toImage());
  p.drawImage(48, 0, picture);
  p.end();
  const QString folder = QString::fromStdString(test::ProgramFolder() + "/../test-screenshots");
  QDir().mkpath(folder);
  EXPECT_TRUE(sheet.save(folder + "/program_editor.png"));
}

}  // namespace
}  // namespace viren
