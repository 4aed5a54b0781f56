#include "app/dialogs/CSetComDlg.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "DialogRig.h"
#include "app/dialogs/IntSpinEdit.h"

namespace viren {
namespace {

class SetComDlgTest : public ::testing::Test {
 protected:
  SetComDlgTest() { test::EnsureApplication(); }
  test::FakeUiHost ui;
};

TEST_F(SetComDlgTest, ShowsTheCurrentNumberWithArrowsFrom10To99) {
  CSetComDlg dlg(12, ui);
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("COMポート設定"));
  EXPECT_EQ(dlg.edit()->text(), "12");
  dlg.edit()->SetText("5");
  dlg.edit()->stepBy(1);
  EXPECT_EQ(dlg.edit()->text(), "10");
  dlg.edit()->SetText("99");
  dlg.edit()->stepBy(1);
  EXPECT_EQ(dlg.edit()->text(), "99");
}

TEST_F(SetComDlgTest, NumbersFrom1To99AreTakenAlthoughTheArrowsStartAt10) {
  for (const int n : {5, 1, 99}) {
    CSetComDlg dlg(12, ui);
    dlg.show();
    dlg.edit()->SetValue(n);
    dlg.okButton()->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.comNumber(), n);
  }
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(SetComDlgTest, OutOfRangeOrNoNumberIsRefusedWithTheEditFocusedAgain) {
  CSetComDlg dlg(12, ui);
  dlg.show();
  dlg.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
  struct Case {
    const char* text;
    int message;
    std::vector<std::string> args;
  };
  const Case cases[] = {{"0", MSG_ENTER_INTEGER_BETWEEN, {"1", "99"}},
                        {"100", MSG_ENTER_INTEGER_BETWEEN, {"1", "99"}},
                        {"-3", MSG_ENTER_INTEGER_BETWEEN, {"1", "99"}},
                        {"", MSG_ENTER_INTEGER, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    dlg.okButton()->setFocus();
    dlg.edit()->SetText(c.text);
    const auto shown = ui.messages().size();
    dlg.okButton()->click();
    ASSERT_EQ(ui.messages().size(), shown + 1);
    const auto m = ui.messages().back();
    EXPECT_EQ(m.id, c.message);
    EXPECT_EQ(m.args, c.args);
    EXPECT_EQ(m.icon, MsgIcon::Exclamation);
    EXPECT_EQ(m.buttons, MsgButtons::Ok);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.comNumber(), 12);
    EXPECT_TRUE(dlg.edit()->hasFocus());
    EXPECT_EQ(dlg.edit()->editor()->selectedText(), c.text);
  }
  dlg.edit()->SetText("42");
  dlg.okButton()->click();
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.comNumber(), 42);
}

TEST_F(SetComDlgTest, AskGivesTheNewNumberOnOkAndTheOldOneOnCancel) {
  QTimer::singleShot(0, [] {
    auto* dlg = qobject_cast<CSetComDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(dlg, nullptr);
    dlg->edit()->SetText("23");
    dlg->okButton()->click();
  });
  EXPECT_EQ(CSetComDlg::Ask(11, ui, nullptr), 23);

  QTimer::singleShot(0, [] {
    auto* dlg = qobject_cast<CSetComDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(dlg, nullptr);
    dlg->edit()->SetText("0");
    dlg->cancelButton()->click();
  });
  EXPECT_EQ(CSetComDlg::Ask(11, ui, nullptr), 11);
  EXPECT_TRUE(ui.messages().empty());
}

}  // namespace
}  // namespace viren
