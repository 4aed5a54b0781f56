// The timer and command dialogs through their widgets, offscreen: set-up per
// kind, enabling, the integer checks and each kind's limits with the focus
// on the field to correct.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "QtTestApp.h"
#include "editor/ui/CEventDlg.h"
#include "editor/ui/CTimeDlg.h"
#include "editor/ui/SpinButtons.h"
#include "support/FakeUiHost.h"

namespace viren {
namespace {

class DialogTest : public ::testing::Test {
 protected:
  DialogTest() { test::QtTestApp(); }
  // Types the texts, presses OK; true when the dialog accepted.
  template <class Dlg>
  bool Ok(Dlg& dlg) {
    dlg.show();
    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
    return dlg.result() == QDialog::Accepted;
  }
  std::vector<int> Ids() const { return ui.messageIds(); }
  test::FakeUiHost ui;
};

TEST_F(DialogTest, timerNeedsATimeOfAtLeastOneTenthAndUnderSixtySeconds) {
  {
    CTimeDlg dlg(0, 0, ui);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("タイマー設定"));
    EXPECT_FALSE(Ok(dlg));
    EXPECT_EQ(Ids(), std::vector<int>{MSG_TIMER_RANGE});
    EXPECT_EQ(dlg.focusWidget(), dlg.tenthsEdit());
    dlg.tenthsEdit()->setText("1");
    EXPECT_TRUE(Ok(dlg));
    EXPECT_EQ(dlg.seconds(), 0);
    EXPECT_EQ(dlg.tenths(), 1);
  }
  {
    CTimeDlg dlg(60, 0, ui);  // the arrows reach 60, the rule does not
    EXPECT_FALSE(Ok(dlg));
    EXPECT_EQ(dlg.focusWidget(), dlg.secondsEdit());
    dlg.secondsEdit()->setText("59");
    dlg.tenthsEdit()->setText("10");
    EXPECT_FALSE(Ok(dlg));
    EXPECT_EQ(dlg.focusWidget(), dlg.tenthsEdit());
    EXPECT_EQ(Ids(), (std::vector<int>{MSG_TIMER_RANGE, MSG_TIMER_RANGE, MSG_TIMER_RANGE}));
  }
}

TEST_F(DialogTest, timerFieldsGetTheIntegerChecksFirst) {
  CTimeDlg dlg(1, 0, ui);
  dlg.secondsEdit()->setText("61");
  EXPECT_FALSE(Ok(dlg));
  dlg.secondsEdit()->setText("2");
  dlg.tenthsEdit()->setText("x");
  EXPECT_FALSE(Ok(dlg));
  const auto shown = ui.messages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].id, MSG_ENTER_INTEGER_BETWEEN);
  EXPECT_EQ(shown[0].args, (std::vector<std::string>{"0", "60"}));
  EXPECT_EQ(shown[1].id, MSG_ENTER_INTEGER);
  EXPECT_EQ(dlg.focusWidget(), dlg.tenthsEdit());
  dlg.tenthsEdit()->setText(" 5 ");
  EXPECT_TRUE(Ok(dlg));
  EXPECT_EQ(dlg.tenths(), 5);
}

TEST_F(DialogTest, spinArrowsStepWithinTheirRangeWhateverWasTyped) {
  CTimeDlg dlg(58, 0, ui);
  dlg.secondsSpin()->StepBy(1);
  dlg.secondsSpin()->StepBy(1);
  dlg.secondsSpin()->StepBy(1);
  EXPECT_EQ(dlg.secondsEdit()->text(), "60");
  dlg.secondsEdit()->setText("500");
  dlg.secondsSpin()->StepBy(-1);
  EXPECT_EQ(dlg.secondsEdit()->text(), "60");
  dlg.tenthsEdit()->setText("abc");
  dlg.tenthsSpin()->StepBy(1);
  EXPECT_EQ(dlg.tenthsEdit()->text(), "0");
}

EventDialogValues Values(int option, int value1, int value2 = 0, int check = 0) {
  return EventDialogValues{option, value1, value2, check};
}

TEST_F(DialogTest, carDistanceStaysBelowTheCameraWidth) {
  CommandDialogContext context;
  context.cameraWidth = 320;
  CEventDlg dlg(EVENT_CAR, Values(CAR_FORWARD, 320), context, ui);
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("車操作定義"));
  EXPECT_EQ(dlg.value1Spin()->maximum(), 319);
  EXPECT_FALSE(Ok(dlg));
  EXPECT_EQ(Ids(), std::vector<int>{MSG_DISTANCE_TOO_LARGE});
  EXPECT_EQ(dlg.focusWidget(), dlg.value1Edit());
  dlg.value1Edit()->setText("319");
  EXPECT_TRUE(Ok(dlg));
  EXPECT_EQ(dlg.values().value1, 319);
  EXPECT_EQ(dlg.values().option, CAR_FORWARD);
}

TEST_F(DialogTest, carChoicesFollowTheControlModeAndStopDisablesTheDistance) {
  CommandDialogContext roboQ;
  roboQ.roboQ = true;
  CEventDlg fourSpeeds(EVENT_CAR, Values(2, 0), roboQ, ui);
  EXPECT_EQ(fourSpeeds.radio(3)->text(), QStringLiteral("高速前進"));
  EXPECT_FALSE(fourSpeeds.radio(3)->isHidden());
  EXPECT_TRUE(fourSpeeds.checkBox()->isHidden()) << "no turbo for the ROBO-Q";
  EXPECT_TRUE(fourSpeeds.radio(2)->isChecked());

  CommandDialogContext plain;
  plain.enableTurbo = false;
  CEventDlg threeChoices(EVENT_CAR, Values(CAR_REVERSE, 100, 0, 1), plain, ui);
  EXPECT_EQ(threeChoices.radio(1)->text(), QStringLiteral("前進"));
  EXPECT_TRUE(threeChoices.radio(3)->isHidden());
  EXPECT_TRUE(threeChoices.checkBox()->isHidden());

  CommandDialogContext turbo;
  CEventDlg dlg(EVENT_CAR, Values(CAR_FORWARD, 100, 0, 1), turbo, ui);
  dlg.show();
  EXPECT_TRUE(dlg.checkBox()->isVisible());
  EXPECT_TRUE(dlg.value1Edit()->isEnabled());
  QTest::mouseClick(dlg.radio(0), Qt::LeftButton);
  EXPECT_FALSE(dlg.value1Edit()->isEnabled());
  EXPECT_FALSE(dlg.value1Spin()->isEnabled());
  EXPECT_FALSE(dlg.checkBox()->isEnabled());
  EXPECT_TRUE(Ok(dlg));
  EXPECT_EQ(dlg.values().option, CAR_STOP);
  EXPECT_EQ(dlg.values().value1, 100) << "a disabled distance is still stored";
  EXPECT_EQ(dlg.values().check, 1);
}

TEST_F(DialogTest, handleAngleOrTurnsFollowTheCheckBox) {
  CEventDlg dlg(EVENT_HANDLE, Values(HANDLE_LEFT, 361), {}, ui);
  dlg.show();
  EXPECT_EQ(dlg.label1()->text(), QStringLiteral("角度"));
  EXPECT_FALSE(Ok(dlg));
  EXPECT_EQ(Ids(), std::vector<int>{MSG_STEERING_ANGLE_WRONG});
  dlg.checkBox()->click();
  EXPECT_EQ(dlg.label1()->text(), QStringLiteral("回転数"));
  EXPECT_EQ(dlg.value1Spin()->maximum(), 99);
  dlg.value1Edit()->setText("100");
  EXPECT_FALSE(Ok(dlg));
  EXPECT_EQ(Ids(), (std::vector<int>{MSG_STEERING_ANGLE_WRONG, MSG_TURN_COUNT_RANGE}));
  dlg.value1Edit()->setText("99");
  EXPECT_TRUE(Ok(dlg));
  EXPECT_EQ(dlg.values().check, 1);
  // The straight choice needs no amount.
  CEventDlg straight(EVENT_HANDLE, Values(HANDLE_STRAIGHT, 0), {}, ui);
  EXPECT_FALSE(straight.value1Edit()->isEnabled());
  EXPECT_FALSE(straight.checkBox()->isEnabled());
}

TEST_F(DialogTest, positionPointMayLieOnTheEdgeOfThePlaneButNotBeyond) {
  CEventDlg dlg(EVENT_POSITION, Values(POSITION_POINT, 640, 480), {}, ui);
  EXPECT_EQ(dlg.value1Spin()->maximum(), 639);
  EXPECT_EQ(dlg.referenceButton()->text(), QStringLiteral("ﾚｲｱｳﾄ参照"));
  EXPECT_TRUE(Ok(dlg));
  CEventDlg beyond(EVENT_POSITION, Values(POSITION_POINT, 100, 481), {}, ui);
  EXPECT_FALSE(Ok(beyond));
  EXPECT_EQ(beyond.focusWidget(), beyond.value2Edit());
  beyond.value1Edit()->setText("641");
  EXPECT_FALSE(Ok(beyond));
  EXPECT_EQ(beyond.focusWidget(), beyond.value1Edit());
  const auto shown = ui.messages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].args, (std::vector<std::string>{"0", "480"}));
  EXPECT_EQ(shown[1].args, (std::vector<std::string>{"0", "640"}));
}

TEST_F(DialogTest, positionReferenceButtonClosesWithThePointToStartFrom) {
  CommandDialogContext capture;
  capture.captureRunning = true;
  CEventDlg dlg(EVENT_POSITION, Values(POSITION_CAMERA_CENTRE, 320, 240), capture, ui);
  dlg.show();
  EXPECT_EQ(dlg.referenceButton()->text(), QStringLiteral("ｶﾒﾗ参照"));
  EXPECT_FALSE(dlg.referenceButton()->isEnabled());
  EXPECT_FALSE(dlg.value2Edit()->isEnabled());
  QTest::mouseClick(dlg.radio(3), Qt::LeftButton);
  EXPECT_TRUE(dlg.referenceButton()->isEnabled());
  dlg.value1Edit()->setText("700");  // the point is not checked against the plane here
  dlg.value2Edit()->setText("20");
  QTest::mouseClick(dlg.referenceButton(), Qt::LeftButton);
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.values().option, kReferenceOption);
  EXPECT_EQ(dlg.values().value1, 700);
  EXPECT_EQ(dlg.values().value2, 20);
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(DialogTest, repeatSoundAndBallLimits) {
  CEventDlg repeat(EVENT_REPEAT, Values(0, 0), {}, ui);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(repeat.radio(i)->isHidden());
  EXPECT_FALSE(Ok(repeat));

  CommandDialogContext threeSounds;
  threeSounds.soundCount = 3;
  CEventDlg sound(EVENT_SOUND, Values(SOUND_ONCE, 4), threeSounds, ui);
  EXPECT_FALSE(Ok(sound));

  CEventDlg ball(EVENT_BALL, Values(BALL_END, 9, 0, 1), {}, ui);
  EXPECT_FALSE(ball.value1Edit()->isEnabled());
  EXPECT_FALSE(Ok(ball)) << "a disabled distance is still checked";
  ball.value1Edit()->setText("200");  // more than the spin or the message says
  EXPECT_TRUE(Ok(ball));

  const auto shown = ui.messages();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].id, MSG_REPEAT_COUNT_RANGE);
  EXPECT_EQ(shown[1].id, MSG_SOUND_NUMBER_RANGE);
  EXPECT_EQ(shown[1].args, std::vector<std::string>{"3"});
  EXPECT_EQ(shown[2].id, MSG_AVOID_DISTANCE_RANGE);
}

TEST_F(DialogTest, editsBeyondTheExchangeRangeAreRefusedBeforeTheKindsRules) {
  CEventDlg dlg(EVENT_REPEAT, Values(0, 5), {}, ui);
  dlg.value1Edit()->setText("1000");
  EXPECT_FALSE(Ok(dlg));
  dlg.value1Edit()->setText("-1");
  EXPECT_FALSE(Ok(dlg));
  const auto shown = ui.messages();
  ASSERT_EQ(shown.size(), 2u);
  for (const auto& m : shown) {
    EXPECT_EQ(m.id, MSG_ENTER_INTEGER_BETWEEN);
    EXPECT_EQ(m.args, (std::vector<std::string>{"0", "999"}));
  }
}

TEST_F(DialogTest, soundButtonIsEnabledForPlayingChoicesOnly) {
  CommandDialogContext context;
  context.soundCount = 2;
  CEventDlg dlg(EVENT_SOUND, Values(SOUND_STOP, 1), context, ui);
  dlg.show();
  EXPECT_FALSE(dlg.referenceButton()->isEnabled());
  EXPECT_TRUE(dlg.value1Edit()->isEnabled());
  QTest::mouseClick(dlg.radio(2), Qt::LeftButton);
  EXPECT_TRUE(dlg.referenceButton()->isEnabled());
  QTest::mouseClick(dlg.referenceButton(), Qt::LeftButton);
  EXPECT_TRUE(dlg.isVisible()) << "the sound dialog's button does not close it";
  EXPECT_TRUE(Ok(dlg));
  EXPECT_EQ(dlg.values().option, SOUND_REPEAT);
}

}  // namespace
}  // namespace viren
