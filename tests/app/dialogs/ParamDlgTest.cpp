#include "app/dialogs/CParamDlg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "DialogRig.h"
#include "app/dialogs/IntSpinEdit.h"
#include "settings/IniFile.h"
#include "vision/Bitmap24.h"

namespace viren {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class ParamDlgTest : public ::testing::Test {
 protected:
  void Open(const std::string& optionText) {
    rig.dir.Write("option.ini", optionText);
    rig.Load();
    dlg = std::make_unique<CParamDlg>(rig.settings, rig.state, rig.analyser, rig.devices,
                                      rig.layout, rig.ui, [this] { ++rebuilds; });
    dlg->show();
  }
  // A pseudo-terminal stands in for the PC-OP-RS1 on COM1.
  void TransmitterOnCom1() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    rig.settings.WriteSettingString("USB", "COM_DEVICE1", ptsname(master),
                                    rig.settings.settingsFile());
  }
  ~ParamDlgTest() override {
    dlg.reset();
    rig.devices.RoboQClose();
    if (master >= 0) close(master);
  }

  test::DialogRig rig;
  std::unique_ptr<CParamDlg> dlg;
  int rebuilds = 0;
  int master = -1;
};

constexpr const char* kTypical =
    "[VIEW]\r\nDIFF_LEVEL=70\r\nCOMPARE_FRAME=3\r\nMARKER_CHECK=2\r\nMARKER_LEVEL=40\r\n"
    "[USB]\r\nROBOQ_BAND=2\r\n[LAYOUT]\r\nCAR_TYPE=1\r\nLAYOUT_TYPE=1\r\n";

TEST_F(ParamDlgTest, OpensWithTheEngineValuesAndTheBandFromOptionIni) {
  Open(kTypical);
  EXPECT_EQ(dlg->windowTitle(), QStringLiteral("パラメータ設定"));
  EXPECT_EQ(dlg->sensitivityEdit()->text(), "70");
  EXPECT_EQ(dlg->intervalEdit()->text(), "3");
  EXPECT_EQ(dlg->markerLevelEdit()->text(), "40");
  EXPECT_EQ(dlg->sensitivityEdit()->spinMaximum(), 99);
  EXPECT_EQ(dlg->intervalEdit()->spinMaximum(), 30);
  EXPECT_EQ(dlg->markerLevelEdit()->spinMaximum(), 255);
  EXPECT_FALSE(dlg->colourCheck(1)->isChecked());
  EXPECT_TRUE(dlg->colourCheck(2)->isChecked());
  EXPECT_FALSE(dlg->colourCheck(3)->isChecked());
  EXPECT_FALSE(dlg->roboQCheck()->isChecked());
  EXPECT_FALSE(dlg->bandList()->isEnabled());
  EXPECT_EQ(dlg->bandList()->currentText(), "C");
  EXPECT_EQ(dlg->roboQBand(), 2);
}

TEST_F(ParamDlgTest, WithoutAColourTheMarkerSensitivityStillStartsEnabled) {
  Open("[CONTROL]\r\nCONTROL_ROBOQ=1\r\n[USB]\r\nROBOQ_BAND=1\r\n");
  EXPECT_TRUE(dlg->markerLevelEdit()->isEnabled());
  EXPECT_TRUE(dlg->roboQCheck()->isChecked());
  EXPECT_TRUE(dlg->bandList()->isEnabled());
  EXPECT_EQ(dlg->bandList()->currentText(), "B");
}

TEST_F(ParamDlgTest, EditsChangeTheAnalysisAtOnceAndFallBackOutsideTheirRange) {
  Open(kTypical);
  IntSpinEdit* sensitivity = dlg->sensitivityEdit();
  sensitivity->SetText("150");
  EXPECT_EQ(sensitivity->text(), "70");
  EXPECT_EQ(rig.analyser.diffLevel(), 70);
  sensitivity->SetText("45");
  EXPECT_EQ(rig.analyser.diffLevel(), 45);
  sensitivity->SetText("");
  EXPECT_EQ(rig.analyser.diffLevel(), 45);
  sensitivity->SetText("0");
  EXPECT_EQ(sensitivity->text(), "45");

  // Typed key by key, each prefix counts: "1", "15", then "150" falls back.
  sensitivity->editor()->selectAll();
  QTest::keyClicks(sensitivity->editor(), "150");
  EXPECT_EQ(sensitivity->text(), "15");
  EXPECT_EQ(rig.analyser.diffLevel(), 15);

  // The interval's arrows stop at 30, typing goes to 99.
  IntSpinEdit* interval = dlg->intervalEdit();
  interval->SetText("25");
  EXPECT_EQ(rig.analyser.compareFrame(), 25);
  interval->SetText("99");
  EXPECT_EQ(rig.analyser.compareFrame(), 99);
  interval->SetText("100");
  EXPECT_EQ(interval->text(), "99");
  interval->stepBy(1);
  EXPECT_EQ(interval->text(), "30");
  EXPECT_EQ(rig.analyser.compareFrame(), 30);
  interval->stepBy(1);
  EXPECT_EQ(interval->text(), "30");

  IntSpinEdit* level = dlg->markerLevelEdit();
  level->SetText("255");
  EXPECT_EQ(rig.analyser.markerLevel(), 255);
  level->SetText("256");
  EXPECT_EQ(level->text(), "255");
  EXPECT_TRUE(rig.ui.messages().empty());
}

TEST_F(ParamDlgTest, AtMostOneColourIsOnAndTheSensitivityFollowsIt) {
  Open(kTypical);
  dlg->colourCheck(1)->click();
  EXPECT_EQ(rig.analyser.markerCheck(), 1);
  EXPECT_FALSE(dlg->colourCheck(2)->isChecked());

  dlg->colourCheck(2)->click();  // green replaces red
  EXPECT_TRUE(dlg->colourCheck(2)->isChecked());
  EXPECT_FALSE(dlg->colourCheck(1)->isChecked());
  EXPECT_FALSE(dlg->colourCheck(3)->isChecked());
  EXPECT_EQ(rig.analyser.markerCheck(), 2);
  EXPECT_TRUE(dlg->markerLevelEdit()->isEnabled());

  dlg->colourCheck(2)->click();
  EXPECT_EQ(rig.analyser.markerCheck(), 0);
  EXPECT_FALSE(dlg->markerLevelEdit()->isEnabled());

  dlg->colourCheck(3)->click();
  EXPECT_EQ(rig.analyser.markerCheck(), 3);
  EXPECT_TRUE(dlg->markerLevelEdit()->isEnabled());
}

TEST_F(ParamDlgTest, CancelAndClosingRestoreTheLiveValuesAndLeaveOptionIniAlone) {
  for (const bool byClose : {false, true}) {
    SCOPED_TRACE(byClose ? "closed" : "cancelled");
    Open(kTypical);
    const std::string before = rig.OptionFileText();
    dlg->sensitivityEdit()->SetText("12");
    dlg->intervalEdit()->SetText("25");
    dlg->colourCheck(3)->click();
    dlg->markerLevelEdit()->SetText("200");
    dlg->roboQCheck()->click();
    EXPECT_TRUE(rig.state.controlRoboQ);
    EXPECT_TRUE(dlg->bandList()->isEnabled());
    dlg->bandList()->setCurrentIndex(0);
    emit dlg->bandList()->activated(0);

    if (byClose) {
      dlg->close();
    } else {
      dlg->cancelButton()->click();
    }
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_EQ(rig.analyser.diffLevel(), 70);
    EXPECT_EQ(rig.analyser.compareFrame(), 3);
    EXPECT_EQ(rig.analyser.markerCheck(), 2);
    EXPECT_EQ(rig.analyser.markerLevel(), 40);
    EXPECT_FALSE(rig.state.controlRoboQ);
    EXPECT_EQ(rig.OptionFileText(), before);
    EXPECT_EQ(rebuilds, 0);
    EXPECT_TRUE(rig.ui.messages().empty());
  }
}

TEST_F(ParamDlgTest, OkWritesTheDetectionAndMarkerValues) {
  Open(kTypical);
  dlg->sensitivityEdit()->SetText("45");
  dlg->intervalEdit()->SetText("25");
  dlg->colourCheck(1)->click();
  dlg->markerLevelEdit()->SetText("30");
  dlg->okButton()->click();

  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  EXPECT_EQ(rig.Option(keys::DIFF_LEVEL), "45");
  EXPECT_EQ(rig.Option(keys::COMPARE_FRAME), "25");
  EXPECT_EQ(rig.Option(keys::CONTROL_ROBOQ), "0");
  EXPECT_EQ(rig.Option(keys::MARKER_CHECK), "1");
  EXPECT_EQ(rig.Option(keys::MARKER_LEVEL), "30");
  EXPECT_EQ(rig.Option(keys::ROBOQ_BAND), "2");  // untouched without ROBO-Q
  EXPECT_TRUE(rig.ui.messages().empty());
  EXPECT_EQ(rebuilds, 0);
  EXPECT_TRUE(rig.shapeFiles.empty());
}

TEST_F(ParamDlgTest, OkWithoutAColourKeepsTheStoredMarkerSensitivity) {
  Open(kTypical);
  dlg->markerLevelEdit()->SetText("99");
  dlg->colourCheck(2)->click();  // off
  dlg->okButton()->click();
  EXPECT_EQ(rig.Option(keys::MARKER_CHECK), "0");
  EXPECT_EQ(rig.Option(keys::MARKER_LEVEL), "40");
}

TEST_F(ParamDlgTest, NoTo203WritesOnlyTheDetectionValuesAndTheBand) {
  Open("[LAYOUT]\r\nCAR_TYPE=1\r\nLAYOUT_TYPE=1\r\n");
  dlg->sensitivityEdit()->SetText("50");
  dlg->colourCheck(1)->click();
  dlg->roboQCheck()->click();
  dlg->bandList()->setCurrentIndex(3);
  emit dlg->bandList()->activated(3);
  rig.ui.ScriptAnswer(MsgAnswer::No);
  dlg->okButton()->click();

  ASSERT_EQ(rig.ui.messageIds(), std::vector<int>{MSG_CONTROL_ROBOQ});
  EXPECT_EQ(rig.ui.messages()[0].icon, MsgIcon::Question);
  EXPECT_EQ(rig.ui.messages()[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  EXPECT_FALSE(rig.state.controlRoboQ);
  EXPECT_FALSE(rig.devices.roboQ().isOpen());
  const std::string text = rig.OptionFileText();
  EXPECT_THAT(text, HasSubstr("DIFF_LEVEL=50"));
  EXPECT_THAT(text, HasSubstr("COMPARE_FRAME=1"));
  EXPECT_THAT(text, HasSubstr("ROBOQ_BAND=3"));
  EXPECT_THAT(text, Not(HasSubstr("CONTROL_ROBOQ")));
  EXPECT_THAT(text, Not(HasSubstr("MARKER_CHECK")));
  EXPECT_THAT(text, Not(HasSubstr("MARKER_LEVEL")));
  EXPECT_EQ(rebuilds, 0);
  EXPECT_TRUE(rig.shapeFiles.empty());
}

TEST_F(ParamDlgTest, YesTo203OpensTheTransmitterAndRebuildsForTheRoboQ) {
  TransmitterOnCom1();
  Open("[USB]\r\nCOM_NO=1\r\n[LAYOUT]\r\nCAR_TYPE=1\r\nLAYOUT_TYPE=1\r\n");
  dlg->roboQCheck()->click();
  rig.ui.ScriptAnswer(MsgAnswer::Yes);
  dlg->okButton()->click();

  EXPECT_EQ(rig.ui.messageIds(), std::vector<int>{MSG_CONTROL_ROBOQ});
  EXPECT_TRUE(rig.state.controlRoboQ);
  EXPECT_TRUE(rig.devices.roboQ().isOpen());
  EXPECT_EQ(rig.Option(keys::CONTROL_ROBOQ), "1");
  EXPECT_EQ(rig.Option(keys::ROBOQ_BAND), "0");
  EXPECT_EQ(rig.Option(keys::MARKER_CHECK), "0");
  EXPECT_EQ(rebuilds, 1);
  EXPECT_THAT(rig.shapeFiles, ElementsAre("roboq.wmf"));

  // With the transmitter open, a second OK neither asks nor rebuilds.
  rebuilds = 0;
  rig.shapeFiles.clear();
  dlg = std::make_unique<CParamDlg>(rig.settings, rig.state, rig.analyser, rig.devices, rig.layout,
                                    rig.ui, [this] { ++rebuilds; });
  EXPECT_TRUE(dlg->roboQCheck()->isChecked());
  dlg->okButton()->click();
  EXPECT_EQ(rig.ui.messageIds(), std::vector<int>{MSG_CONTROL_ROBOQ});
  EXPECT_EQ(rebuilds, 0);
  EXPECT_TRUE(rig.shapeFiles.empty());
}

TEST_F(ParamDlgTest, SwitchingRoboQOffRebuildsWithoutAQuestionAndHandsThePortToTheRelayBoard) {
  TransmitterOnCom1();
  Open(
      "[CONTROL]\r\nCONTROL_ROBOQ=1\r\n[USB]\r\nCOM_NO=1\r\n[LAYOUT]\r\nCAR_TYPE=1\r\n"
      "LAYOUT_TYPE=1\r\n");
  ASSERT_TRUE(rig.devices.RoboQOpen());
  dlg->roboQCheck()->click();
  EXPECT_FALSE(dlg->bandList()->isEnabled());
  dlg->okButton()->click();

  // The transmitter is let go of and the relay board looked for on its port;
  // a transmitter does not answer the handshake (MSG_BOARD_NO_ANSWER_CHOOSE_PORT), but nobody is
  // asked.
  EXPECT_EQ(rig.ui.messageIds(), std::vector<int>{MSG_BOARD_NO_ANSWER_CHOOSE_PORT});
  EXPECT_EQ(rig.Option(keys::CONTROL_ROBOQ), "0");
  EXPECT_EQ(rig.Option(keys::ROBOQ_BAND), "<none>");
  EXPECT_EQ(rebuilds, 1);
  EXPECT_THAT(rig.shapeFiles, ElementsAre("car.wmf"));
  EXPECT_FALSE(rig.devices.roboQ().isOpen());
}

TEST_F(ParamDlgTest, NoTo203WithRoboQOnFromTheStartSwitchesItOffForGood) {
  // ROBO-Q mode from option.ini, but no transmitter port (COM_NO 0); the car
  // is shown as a photograph, so no shape is reloaded.
  Bitmap24 photo;
  ASSERT_TRUE(photo.Create(24, 16));
  std::filesystem::create_directories(rig.dir.File("sample/car"));
  ASSERT_TRUE(WriteBitmap24(rig.dir.File("sample/car/car.bmp"), photo));
  Open(
      "[CONTROL]\r\nCONTROL_ROBOQ=1\r\n[LAYOUT]\r\nCAR_TYPE=0\r\nCAR_FILE=car.bmp\r\n"
      "LAYOUT_TYPE=1\r\n");
  ASSERT_EQ(rig.layout.carType(), CAR_PHOTO);
  dlg->colourCheck(3)->click();
  rig.ui.ScriptAnswer(MsgAnswer::No);
  dlg->okButton()->click();

  EXPECT_EQ(rig.ui.messageIds(), std::vector<int>{MSG_CONTROL_ROBOQ});
  EXPECT_FALSE(rig.state.controlRoboQ);
  EXPECT_EQ(rig.Option(keys::CONTROL_ROBOQ), "0");
  EXPECT_EQ(rig.Option(keys::MARKER_CHECK), "<none>");
  EXPECT_EQ(rebuilds, 1);
  EXPECT_TRUE(rig.shapeFiles.empty());
}

}  // namespace
}  // namespace viren

namespace viren {
namespace {

// The simulation's camera errors: the box switches them at once; OK stores a
// change in option.ini's [SIMULATION] (which stands over VIREN.ini), Cancel
// puts the engine's value back; an unchanged box writes nothing.
TEST_F(ParamDlgTest, CameraErrorsSwitchAtOnceAndOkStoresOnlyAChange) {
  struct Case {
    bool opening;
    bool click;
    bool ok;
    bool engineAfter;
    const char* stored;  // CAMERA_ERRORS in option.ini, "" for none
  };
  const Case cases[] = {{false, true, true, true, "1"},
                        {true, true, true, false, "0"},
                        {false, true, false, false, ""},
                        {true, false, true, true, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.opening << c.click << c.ok);
    rig.state.cameraErrors = c.opening;
    Open(kTypical);
    EXPECT_EQ(dlg->cameraErrorsCheck()->isChecked(), c.opening);
    if (c.click) {
      dlg->cameraErrorsCheck()->click();
      EXPECT_EQ(rig.state.cameraErrors, !c.opening) << "live";
    }
    (c.ok ? dlg->okButton() : dlg->cancelButton())->click();
    EXPECT_EQ(rig.state.cameraErrors, c.engineAfter);
    EXPECT_EQ(ini::Lookup(rig.OptionFileText(), "SIMULATION", "CAMERA_ERRORS").value_or(""),
              c.stored);
  }
}

}  // namespace
}  // namespace viren
