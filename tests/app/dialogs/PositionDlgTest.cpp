#include "app/dialogs/CPositionDlg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <vector>

#include "DialogRig.h"

namespace viren {
namespace {

struct RecordingOwner : PositionDefinitionOwner {
  void EndPositionDefinition(bool accept) override { ends.push_back(accept); }
  std::vector<bool> ends;
};

class PositionDlgTest : public ::testing::Test {
 protected:
  PositionDlgTest() { test::EnsureApplication(); }
  RecordingOwner owner;
};

TEST_F(PositionDlgTest, BeginTitlesTheWindowAndShowsOnlyTheInstruction) {
  CPositionDlg dlg(owner);
  EXPECT_FALSE(dlg.instructionText()->isVisibleTo(&dlg));
  dlg.Begin();
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_FALSE(dlg.isModal());
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("ｲﾍﾞﾝﾄ位置定義"));
  EXPECT_TRUE(dlg.instructionText()->isVisible());
  EXPECT_EQ(dlg.instructionText()->text(),
            QStringLiteral("定義する車位置をに位置指標(チーズ)をマウス操作で移動してください。\n"
                           "(ダブルクリックすると位置が決定されます。)"));
  EXPECT_FALSE(dlg.rangeStopText()->isVisible());
  EXPECT_TRUE(owner.ends.empty());
}

TEST_F(PositionDlgTest, OkAcceptsCancelAndClosingDoNotAndDismissTellsNobody) {
  CPositionDlg dlg(owner);
  dlg.Begin();
  dlg.okButton()->click();
  EXPECT_FALSE(dlg.isVisible());
  dlg.Begin();
  dlg.cancelButton()->click();
  dlg.Begin();
  dlg.close();
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(owner.ends, (std::vector<bool>{true, false, false}));

  dlg.Begin();
  dlg.Dismiss();
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(owner.ends.size(), 3u);
}

}  // namespace
}  // namespace viren
