#include "app/dialogs/CBorderDlg.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QSignalSpy>

#include "DialogRig.h"
#include "app/dialogs/IntSpinEdit.h"

namespace viren {
namespace {

class BorderDlgTest : public ::testing::Test {
 protected:
  BorderDlgTest() {
    rig.dir.Write("option.ini",
                  "[LAYOUT]\r\nLAYOUT_TYPE=1\r\nLAYOUT_COLOR=#FFF9BD\r\nBORDER_WIDTH=200\r\n"
                  "BORDER_HEIGHT=100\r\n");
    rig.Load();
    original = rig.layout.LayoutPicture();
  }
  QImage Picture() const { return rig.layout.LayoutPicture(); }

  test::DialogRig rig;
  QImage original;
};

TEST_F(BorderDlgTest, OpeningShowsTheRangeAlsoOnTheCameraViews) {
  CBorderDlg dlg(rig.layout, rig.state);
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("コース範囲設定"));
  EXPECT_EQ(dlg.widthEdit()->text(), "200");
  EXPECT_EQ(dlg.heightEdit()->text(), "100");
  EXPECT_EQ(dlg.widthEdit()->spinMaximum(), 640);
  EXPECT_EQ(dlg.heightEdit()->spinMaximum(), 480);
  EXPECT_TRUE(rig.state.showCourseRange);
  EXPECT_EQ(Picture(), original);
}

TEST_F(BorderDlgTest, EditsMoveTheOutlineAndOutOfRangeTextFallsBack) {
  CBorderDlg dlg(rig.layout, rig.state);
  QSignalSpy changes(&dlg, &CBorderDlg::courseRangeChanged);
  const QRgb background = original.pixel(0, 240);
  dlg.widthEdit()->SetText("640");
  dlg.heightEdit()->SetText("480");
  EXPECT_EQ(changes.count(), 2);
  EXPECT_EQ(rig.layout.courseRange(), (Rect{0, 0, 640, 480}));
  // The outline now runs along the layout's edges, and the old one is gone.
  const QImage edged = Picture();
  EXPECT_NE(edged.pixel(0, 240), background);
  EXPECT_NE(edged.pixel(320, 0), background);
  EXPECT_EQ(edged.pixel(220, 190), original.pixel(220, 190));  // was on the old top edge
  EXPECT_NE(original.pixel(320, 190), background);
  EXPECT_EQ(edged.pixel(320, 190), background);

  dlg.widthEdit()->SetText("641");
  EXPECT_EQ(dlg.widthEdit()->text(), "640");
  dlg.heightEdit()->SetText("0");
  EXPECT_EQ(dlg.heightEdit()->text(), "480");
  dlg.heightEdit()->SetText("");
  EXPECT_EQ(rig.layout.borderHeight(), 480);
  EXPECT_EQ(Picture(), edged);
  EXPECT_EQ(changes.count(), 2);
}

TEST_F(BorderDlgTest, CancelPutsTheOldOutlineBackAndWritesNothing) {
  const std::string before = rig.OptionFileText();
  {
    CBorderDlg dlg(rig.layout, rig.state);
    dlg.widthEdit()->SetText("640");
    dlg.heightEdit()->SetText("480");
    QSignalSpy changes(&dlg, &CBorderDlg::courseRangeChanged);
    dlg.cancelButton()->click();
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
  }
  EXPECT_EQ(Picture(), original);
  EXPECT_EQ(rig.layout.borderWidth(), 200);
  EXPECT_EQ(rig.layout.borderHeight(), 100);
  EXPECT_FALSE(rig.state.showCourseRange);
  EXPECT_EQ(rig.OptionFileText(), before);
}

TEST_F(BorderDlgTest, OkWritesTheRangeAndKeepsTheNewOutline) {
  {
    CBorderDlg dlg(rig.layout, rig.state);
    dlg.widthEdit()->SetText("640");
    dlg.heightEdit()->SetText("480");
    dlg.okButton()->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
  }
  EXPECT_EQ(rig.Option(keys::BORDER_WIDTH), "640");
  EXPECT_EQ(rig.Option(keys::BORDER_HEIGHT), "480");
  EXPECT_EQ(rig.layout.courseRange(), (Rect{0, 0, 640, 480}));
  EXPECT_NE(Picture(), original);
  EXPECT_FALSE(rig.state.showCourseRange);
}

TEST_F(BorderDlgTest, ADialogDestroyedWhileOpenEndsAsCancel) {
  {
    CBorderDlg dlg(rig.layout, rig.state);
    dlg.widthEdit()->SetText("300");
  }
  EXPECT_EQ(Picture(), original);
  EXPECT_FALSE(rig.state.showCourseRange);
  EXPECT_EQ(rig.Option(keys::BORDER_WIDTH), "200");
}

}  // namespace
}  // namespace viren
