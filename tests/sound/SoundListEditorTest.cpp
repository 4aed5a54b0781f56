// The sound dialog's list operations and what they write to option.ini.
#include "sound/SoundListEditor.h"

#include <gtest/gtest.h>

#include "FakeSoundBackend.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "sound/SoundSystem.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

class SoundListEditorTest : public ::testing::Test {
 protected:
  SoundListEditorTest()
      : script(std::make_shared<test::FakeSoundBackend::Script>()),
        settings(&ui),
        sound(settings, ui, std::make_unique<test::FakeSoundBackend>(script)),
        editor(sound, settings) {
    settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
  }
  void StartWith(const std::string& list) {
    dir.Write("option.ini", "[SOUND]\n" + list);
    ASSERT_TRUE(sound.InitSound(false));
    editor.Open();
    base = ui.messages().size();  // the listed files need not exist
  }
  std::vector<int> ShownIds() {
    std::vector<int> ids;
    for (const auto& m : ui.messages()) ids.push_back(m.id);
    return {ids.begin() + static_cast<long>(base), ids.end()};
  }
  size_t base = 0;
  std::optional<std::string> Lookup(int n) {
    return ini::Lookup(dir.Read("option.ini"), "SOUND", "SOUND_FILE" + std::to_string(n));
  }
  std::string Key(int n) { return Lookup(n).value_or("<absent>"); }
  bool HasKey(int n) { return Lookup(n).has_value(); }

  test::TestDir dir;
  test::FakeUiHost ui;
  std::shared_ptr<test::FakeSoundBackend::Script> script;
  Settings settings;
  SoundSystem sound;
  SoundListEditor editor;
};

TEST_F(SoundListEditorTest, opensWithTheListedFilesAsLinesOfNumberAndName) {
  StartWith(
      "SOUND_FILE1=C:\\sounds\\horn.wav\nSOUND_FILE2=/home/u/tune.mid\nSOUND_FILE3=bare.wav\n");
  EXPECT_EQ(editor.Lines(), (std::vector<std::string>{"1:horn.wav", "2:tune.mid", "3:bare.wav"}));
  EXPECT_EQ(editor.entry(0), "C:\\sounds\\horn.wav") << "the raw value is kept";
}

TEST_F(SoundListEditorTest, buttonsFollowTheSelection) {
  StartWith("SOUND_FILE1=/a.wav\nSOUND_FILE2=/b.wav\nSOUND_FILE3=/c.wav\n");
  auto b = editor.ButtonsFor(-1);
  EXPECT_TRUE(b.add);
  EXPECT_FALSE(b.remove || b.moveUp || b.moveDown || b.play || b.stop);
  b = editor.ButtonsFor(0);
  EXPECT_TRUE(b.remove && b.play && b.stop && b.moveDown);
  EXPECT_FALSE(b.moveUp) << "the first line cannot move up";
  b = editor.ButtonsFor(2);
  EXPECT_TRUE(b.moveUp);
  EXPECT_FALSE(b.moveDown) << "the last line cannot move down";
  EXPECT_EQ(editor.Move(0, -1), 0);
  EXPECT_EQ(editor.Move(2, +1), 2);
  EXPECT_EQ(editor.entry(0), "/a.wav");
  EXPECT_EQ(editor.entry(2), "/c.wav");
}

TEST_F(SoundListEditorTest, hundredEntriesDisableAddAndTheLastLineCannotMoveDown) {
  std::string list;
  for (int n = 1; n <= 99; ++n)
    list += "SOUND_FILE" + std::to_string(n) + "=/s" + std::to_string(n) + ".wav\n";
  StartWith(list);
  EXPECT_TRUE(editor.ButtonsFor(-1).add);
  EXPECT_TRUE(editor.Add("/s100.wav"));
  EXPECT_FALSE(editor.ButtonsFor(-1).add);
  EXPECT_FALSE(editor.Add("/s101.wav"));
  EXPECT_EQ(editor.Lines().back(), "100:s100.wav");
  EXPECT_FALSE(editor.ButtonsFor(99).moveDown);
  EXPECT_TRUE(editor.ButtonsFor(98).moveDown);
}

TEST_F(SoundListEditorTest, movingLineTwoUpSwapsNumbersOneAndTwoAndUnloadsBoth) {
  StartWith("SOUND_FILE1=/a.wav\nSOUND_FILE2=/b.wav\nSOUND_FILE3=/c.wav\n");
  for (int n : {1, 2, 3}) ASSERT_EQ(sound.PrepareSound(n), 0);
  ASSERT_EQ(sound.PlaySound(2, SoundRepeat::Endless), 0);
  EXPECT_EQ(editor.Move(1, -1), 0);
  EXPECT_EQ(editor.Lines(), (std::vector<std::string>{"1:b.wav", "2:a.wav", "3:c.wav"}));
  EXPECT_FALSE(sound.IsLoaded(1));
  EXPECT_FALSE(sound.IsLoaded(2));
  EXPECT_FALSE(sound.IsSoundPlaying(2));
  EXPECT_TRUE(sound.IsLoaded(3));
  // Down again from the top.
  EXPECT_EQ(editor.Move(0, +1), 1);
  EXPECT_EQ(editor.entry(0), "/a.wav");
  EXPECT_EQ(Key(1), "/a.wav") << "nothing is written before OK";
}

TEST_F(SoundListEditorTest, deleteMovesLaterEntriesUpAndUnloadsFromThatNumberOn) {
  StartWith("SOUND_FILE1=/a.wav\nSOUND_FILE2=/b.wav\nSOUND_FILE3=/c.wav\n");
  for (int n : {1, 2, 3}) ASSERT_EQ(sound.PrepareSound(n), 0);
  editor.Delete(1);
  EXPECT_EQ(editor.Lines(), (std::vector<std::string>{"1:a.wav", "2:c.wav"}));
  EXPECT_TRUE(sound.IsLoaded(1));
  EXPECT_FALSE(sound.IsLoaded(2));
  EXPECT_FALSE(sound.IsLoaded(3));
  EXPECT_TRUE(editor.entry(2).empty());

  script->failUnload = -1;  // an unload failure is shown and the rest goes on
  ASSERT_EQ(sound.PrepareSound(2), 0);
  editor.Delete(0);
  EXPECT_EQ(editor.Lines(), (std::vector<std::string>{"1:c.wav"}));
  EXPECT_EQ(ShownIds(), (std::vector<int>{MSG_AUDIO_ERROR, MSG_AUDIO_ERROR}));
  EXPECT_TRUE(sound.IsLoaded(2));
}

TEST_F(SoundListEditorTest, okWritesTheListAndClearsKeysNoLongerUsed) {
  StartWith("SOUND_FILE1=/a.wav\nSOUND_FILE2=/b.wav\nSOUND_FILE3=/c.wav\n");
  editor.Delete(0);
  ASSERT_TRUE(editor.Add("/d.mid"));
  editor.Close(true);
  EXPECT_EQ(Key(1), "/b.wav");
  EXPECT_EQ(Key(2), "/c.wav");
  EXPECT_EQ(Key(3), "/d.mid");
  EXPECT_EQ(sound.soundCount(), 3);

  editor.Open();
  editor.Delete(2);
  editor.Close(true);
  EXPECT_TRUE(HasKey(3));
  EXPECT_EQ(Key(3), "") << "a key no longer used is written empty";
  EXPECT_FALSE(HasKey(4)) << "keys that were empty stay unwritten";
  EXPECT_EQ(sound.soundCount(), 2);
}

TEST_F(SoundListEditorTest, emptyFirstKeyStartsEmptyAndOkClearsTheLaterKeys) {
  StartWith("SOUND_FILE1=\nSOUND_FILE2=/b.wav\nSOUND_FILE7=/g.wav\n");
  EXPECT_EQ(sound.soundCount(), 0);
  EXPECT_TRUE(editor.Lines().empty());
  editor.Close(true);
  EXPECT_EQ(Key(2), "");
  EXPECT_EQ(Key(7), "");
  EXPECT_EQ(sound.soundCount(), 0);
}

TEST_F(SoundListEditorTest, cancelWritesNothingAndKeepsTheCount) {
  StartWith("SOUND_FILE1=/a.wav\nSOUND_FILE2=/b.wav\n");
  const std::string before = dir.Read("option.ini");
  editor.Delete(0);
  editor.Add("/x.wav");
  editor.Close(false);
  EXPECT_EQ(dir.Read("option.ini"), before);
  EXPECT_EQ(sound.soundCount(), 2);
}

TEST_F(SoundListEditorTest, testPlaybackUsesTheSharedPlayerAndCloseStopsIt) {
  StartWith("SOUND_FILE1=horn.wav\n");
  editor.TestPlay(0);
  EXPECT_TRUE(sound.IsSoundPlaying(0));
  EXPECT_FALSE(sound.HasPlayer(1));
  {
    std::lock_guard lock(script->mutex);
    EXPECT_EQ(script->loads, std::vector<std::string>{dir.path() + "/sample/sound/horn.wav"});
  }
  editor.TestStop();
  EXPECT_FALSE(sound.IsSoundPlaying(0));
  editor.TestPlay(0);
  editor.Close(false);
  EXPECT_FALSE(sound.IsSoundPlaying(0));

  // A shared player that cannot be made is shown once, not three times.
  sound.InitSound(false);
  base = ui.messages().size();
  script->failCreatePlayer = -7;
  editor.TestPlay(0);
  EXPECT_EQ(ShownIds(), std::vector<int>{MSG_AUDIO_ERROR});
}

}  // namespace
}  // namespace viren
