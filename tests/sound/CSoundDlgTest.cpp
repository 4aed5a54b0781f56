// The sound list dialog's widgets, offscreen, with a scripted file chooser.
#include "sound/ui/CSoundDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <deque>

#include "FakeSoundBackend.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "sound/SoundSystem.h"
#include "sound/ui/SoundFileChooser.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

class ScriptedChooser : public SoundFileChooser {
 public:
  std::string ChooseSoundFile(QWidget*) override {
    ++asked;
    if (answers.empty()) return {};
    std::string a = answers.front();
    answers.pop_front();
    return a;
  }
  std::deque<std::string> answers;
  int asked = 0;
};

QApplication& App() {
  static int argc = 1;
  static char name[] = "sound_ui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

class CSoundDlgTest : public ::testing::Test {
 protected:
  CSoundDlgTest()
      : script(std::make_shared<test::FakeSoundBackend::Script>()),
        settings(&ui),
        sound(settings, ui, std::make_unique<test::FakeSoundBackend>(script)) {
    App();
    settings.SetPaths(test::ProgramFolder(), dir.File("VIREN.ini"), dir.File("option.ini"));
  }
  std::unique_ptr<CSoundDlg> Open(const std::string& list) {
    dir.Write("option.ini", "[SOUND]\n" + list);
    EXPECT_TRUE(sound.InitSound(false));
    return std::make_unique<CSoundDlg>(sound, settings, chooser);
  }
  std::string Key(int n) {
    return ini::Lookup(dir.Read("option.ini"), "SOUND", "SOUND_FILE" + std::to_string(n))
        .value_or("<absent>");
  }
  static std::vector<std::string> Lines(const CSoundDlg& dlg) {
    std::vector<std::string> lines;
    for (int i = 0; i < dlg.list()->count(); ++i)
      lines.push_back(dlg.list()->item(i)->text().toStdString());
    return lines;
  }
  static bool Enabled(const CSoundDlg& dlg, CSoundDlg::ControlId id) {
    return dlg.button(id)->isEnabled();
  }

  test::TestDir dir;
  test::FakeUiHost ui;
  std::shared_ptr<test::FakeSoundBackend::Script> script;
  Settings settings;
  SoundSystem sound;
  ScriptedChooser chooser;
};

TEST_F(CSoundDlgTest, opensWithTheListAndOnlyAddEnabled) {
  auto dlg = Open("SOUND_FILE1=/s/horn.wav\nSOUND_FILE2=/s/tune.mid\n");
  EXPECT_EQ(dlg->windowTitle().toStdString(), "サウンドファイルの設定");
  EXPECT_EQ(Lines(*dlg), (std::vector<std::string>{"1:horn.wav", "2:tune.mid"}));
  EXPECT_EQ(dlg->button(CSoundDlg::kAdd)->text().toStdString(), "追加");
  EXPECT_EQ(dlg->button(CSoundDlg::kTestPlay)->text().toStdString(), "テスト再生");
  EXPECT_EQ(dlg->cancelButton()->text().toStdString(), "キャンセル");
  EXPECT_TRUE(Enabled(*dlg, CSoundDlg::kAdd));
  for (auto id : {CSoundDlg::kDelete, CSoundDlg::kMoveUp, CSoundDlg::kMoveDown,
                  CSoundDlg::kTestPlay, CSoundDlg::kTestStop})
    EXPECT_FALSE(Enabled(*dlg, id)) << id;

  dlg->list()->setCurrentRow(0);
  EXPECT_TRUE(Enabled(*dlg, CSoundDlg::kDelete));
  EXPECT_TRUE(Enabled(*dlg, CSoundDlg::kTestPlay));
  EXPECT_TRUE(Enabled(*dlg, CSoundDlg::kTestStop));
  EXPECT_TRUE(Enabled(*dlg, CSoundDlg::kMoveDown));
  EXPECT_FALSE(Enabled(*dlg, CSoundDlg::kMoveUp));
  dlg->list()->setCurrentRow(1);
  EXPECT_TRUE(Enabled(*dlg, CSoundDlg::kMoveUp));
  EXPECT_FALSE(Enabled(*dlg, CSoundDlg::kMoveDown));
}

TEST_F(CSoundDlgTest, addTakesTheChosenPathAndOkStoresIt) {
  auto dlg = Open("SOUND_FILE1=/s/horn.wav\n");
  chooser.answers = {"/home/u/engine.wav"};
  dlg->button(CSoundDlg::kAdd)->click();
  dlg->button(CSoundDlg::kAdd)->click();  // cancelled in the chooser
  EXPECT_EQ(chooser.asked, 2);
  EXPECT_EQ(Lines(*dlg), (std::vector<std::string>{"1:horn.wav", "2:engine.wav"}));
  EXPECT_EQ(dlg->list()->currentRow(), -1);
  EXPECT_FALSE(Enabled(*dlg, CSoundDlg::kDelete));
  dlg->okButton()->click();
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  EXPECT_EQ(Key(2), "/home/u/engine.wav");
  EXPECT_EQ(sound.soundCount(), 2);
}

TEST_F(CSoundDlgTest, moveUpSelectsTheMovedLineAndCancelKeepsTheFile) {
  auto dlg = Open("SOUND_FILE1=/s/a.wav\nSOUND_FILE2=/s/b.wav\nSOUND_FILE3=/s/c.wav\n");
  ASSERT_EQ(sound.PrepareSound(3), 0);
  dlg->list()->setCurrentRow(2);
  dlg->button(CSoundDlg::kMoveUp)->click();
  EXPECT_EQ(Lines(*dlg), (std::vector<std::string>{"1:a.wav", "2:c.wav", "3:b.wav"}));
  EXPECT_EQ(dlg->list()->currentRow(), 1);
  EXPECT_TRUE(Enabled(*dlg, CSoundDlg::kMoveDown));
  EXPECT_FALSE(sound.IsLoaded(3));
  dlg->button(CSoundDlg::kDelete)->click();
  EXPECT_EQ(Lines(*dlg), (std::vector<std::string>{"1:a.wav", "2:b.wav"}));
  dlg->cancelButton()->click();
  EXPECT_EQ(dlg->result(), QDialog::Rejected);
  EXPECT_EQ(Key(2), "/s/b.wav");
  EXPECT_EQ(Key(3), "/s/c.wav");
  EXPECT_EQ(sound.soundCount(), 3);
}

TEST_F(CSoundDlgTest, fullListDisablesAdd) {
  std::string list;
  for (int n = 1; n <= 100; ++n)
    list += "SOUND_FILE" + std::to_string(n) + "=/s/" + std::to_string(n) + ".wav\n";
  auto dlg = Open(list);
  EXPECT_EQ(dlg->list()->count(), 100);
  EXPECT_FALSE(Enabled(*dlg, CSoundDlg::kAdd));
  dlg->list()->setCurrentRow(99);
  EXPECT_FALSE(Enabled(*dlg, CSoundDlg::kMoveDown));
  dlg->button(CSoundDlg::kDelete)->click();
  EXPECT_TRUE(Enabled(*dlg, CSoundDlg::kAdd));
}

TEST_F(CSoundDlgTest, testPlayAndStopUseTheSharedPlayerAndClosingStopsIt) {
  auto dlg = Open("SOUND_FILE1=horn.wav\n");
  dlg->list()->setCurrentRow(0);
  dlg->button(CSoundDlg::kTestPlay)->click();
  EXPECT_TRUE(sound.IsSoundPlaying(0));
  dlg->button(CSoundDlg::kTestStop)->click();
  EXPECT_FALSE(sound.IsSoundPlaying(0));
  dlg->button(CSoundDlg::kTestPlay)->click();
  dlg->reject();  // Escape or the close box
  EXPECT_FALSE(sound.IsSoundPlaying(0));
  EXPECT_TRUE(ui.messages().empty());
}

}  // namespace
}  // namespace viren
