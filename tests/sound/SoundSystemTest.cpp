// Slot rules, the sound list count and failure reporting, on a back end
// without audio (the real GStreamer back end is exercised in GstSoundTest).
#include "sound/SoundSystem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "FakeSoundBackend.h"
#include "settings/Settings.h"
#include "sound/SoundErrors.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

class SoundSystemTest : public ::testing::Test {
 protected:
  SoundSystemTest() : script(std::make_shared<test::FakeSoundBackend::Script>()), settings(&ui) {
    settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
    sound = std::make_unique<SoundSystem>(settings, ui,
                                          std::make_unique<test::FakeSoundBackend>(script));
  }
  void WriteList(const std::string& lines) { dir.Write("option.ini", "[SOUND]\n" + lines); }
  // Starts with a list of files that need not exist; Shown() leaves out the
  // start's messages about them.
  void Start(const std::string& lines) {
    WriteList(lines);
    ASSERT_TRUE(sound->InitSound(false));
    base = ui.messages().size();
  }
  std::vector<test::FakeUiHost::Shown> Shown() {
    auto all = ui.messages();
    return {all.begin() + static_cast<long>(base), all.end()};
  }
  std::vector<int> ShownIds() {
    std::vector<int> ids;
    for (const auto& m : Shown()) ids.push_back(m.id);
    return ids;
  }
  size_t base = 0;
  std::vector<std::string> Loads() {
    std::lock_guard lock(script->mutex);
    return script->loads;
  }
  std::string SampleSound(const std::string& name) { return dir.path() + "/sample/sound/" + name; }

  test::TestDir dir;
  test::FakeUiHost ui;
  std::shared_ptr<test::FakeSoundBackend::Script> script;
  Settings settings;
  std::unique_ptr<SoundSystem> sound;
};

TEST_F(SoundSystemTest, soundCountIsTheRunOfFilledKeysFromOne) {
  WriteList("SOUND_FILE1=/a.wav\nSOUND_FILE2=/b.wav\nSOUND_FILE4=/d.wav\n");
  ASSERT_TRUE(sound->InitSound(false));
  EXPECT_EQ(sound->soundCount(), 2);

  WriteList("SOUND_FILE1=\nSOUND_FILE2=/b.wav\nSOUND_FILE3=/c.wav\n");
  ASSERT_TRUE(sound->InitSound(false));
  EXPECT_EQ(sound->soundCount(), 0);
}

TEST_F(SoundSystemTest, missingFilesAreShownOnceEachAndStillCounted) {
  dir.Write("there.wav", "x");
  WriteList("SOUND_FILE1=" + dir.File("there.wav") +
            "\nSOUND_FILE2=gone.wav\nSOUND_FILE3=" + dir.File("gone2.wav") + "\n");
  ASSERT_TRUE(sound->InitSound(false));
  EXPECT_EQ(sound->soundCount(), 3);
  const auto shown = ui.messages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].id, MSG_SOUND_FILE_MISSING);
  EXPECT_EQ(shown[0].icon, MsgIcon::Stop);
  // A bare name is looked for in the program folder's sample/sound.
  EXPECT_EQ(shown[0].args, (std::vector<std::string>{"2", SampleSound("gone.wav")}));
  EXPECT_EQ(shown[1].args, (std::vector<std::string>{"3", dir.File("gone2.wav")}));
  EXPECT_FALSE(sound->HasPlayer(0)) << "the shared player waits for the first playback";
}

TEST_F(SoundSystemTest, loaderFailureIsReportedAndFailsStartUp) {
  script->failLoader = kSoundErrorNotReady;
  EXPECT_FALSE(sound->InitSound(true));
  const auto shown = ui.messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].id, MSG_AUDIO_ERROR);
  EXPECT_EQ(shown[0].args[0], "CLSID_DirectMusicLoader");
  EXPECT_EQ(shown[0].args[1], "SOUND_E_NOTREADY:The audio library has not been initialised.");
}

TEST_F(SoundSystemTest, interfaceSwitchPreparesTheSharedPlayerAtStart) {
  ASSERT_TRUE(sound->InitSound(true));
  EXPECT_TRUE(sound->HasPlayer(0));
  EXPECT_TRUE(Loads().empty()) << "the shared player has no file of its own";

  script->failInitAudio = kSoundErrorAudioOutput;
  ASSERT_TRUE(sound->InitSound(false));  // releases the players
  EXPECT_FALSE(sound->InitSound(true));
  EXPECT_EQ(ui.messages().back().args[0], "InitAudio");
  EXPECT_FALSE(sound->HasPlayer(0)) << "a player without output is not kept";
}

TEST_F(SoundSystemTest, preparedNumberLoadsOnceAndPlaysOnItsOwnPlayer) {
  Start("SOUND_FILE1=/s/one.wav\nSOUND_FILE2=/s/two.wav\n");
  ASSERT_EQ(sound->PrepareSound(1), 0);
  ASSERT_EQ(sound->PrepareSound(1), 0);  // nothing again
  EXPECT_EQ(Loads(), std::vector<std::string>{"/s/one.wav"});

  EXPECT_EQ(sound->PlaySound(1, SoundRepeat::Once), 0);
  EXPECT_EQ(sound->PlaySound(1, SoundRepeat::Endless), 0);
  EXPECT_EQ(Loads().size(), 1u) << "a prepared number plays without reloading";
  EXPECT_TRUE(sound->IsSoundPlaying(1));
  EXPECT_FALSE(sound->HasPlayer(0));
  EXPECT_TRUE(Shown().empty());
}

TEST_F(SoundSystemTest, unpreparedNumberPlaysOnSharedPlayerLoadingEachTime) {
  Start("SOUND_FILE1=/s/one.wav\nSOUND_FILE2=/s/two.wav\n");
  EXPECT_EQ(sound->PlaySound(2, SoundRepeat::Once), 0);
  EXPECT_TRUE(sound->HasPlayer(0));
  EXPECT_FALSE(sound->HasPlayer(2));
  EXPECT_TRUE(sound->IsSoundPlaying(2));
  EXPECT_TRUE(sound->IsSoundPlaying(0)) << "number 2 sounds on the shared player";

  EXPECT_EQ(sound->PlaySound(2, SoundRepeat::Once), 0);
  EXPECT_EQ(sound->PlaySound(1, SoundRepeat::Once), 0);
  EXPECT_EQ(Loads(), (std::vector<std::string>{"/s/two.wav", "/s/two.wav", "/s/one.wav"}));

  // Stopping the shared player forgets its file.
  EXPECT_EQ(sound->StopSound(1), 0);
  EXPECT_FALSE(sound->IsLoaded(0));
  EXPECT_FALSE(sound->IsSoundPlaying(2));
}

TEST_F(SoundSystemTest, givenFileReplacesTheListedOneOnTheSharedPlayer) {
  Start("SOUND_FILE1=/s/one.wav\n");
  EXPECT_EQ(sound->PlaySound(0, SoundRepeat::Once, "horn.wav"), 0);
  EXPECT_EQ(Loads(), std::vector<std::string>{SampleSound("horn.wav")});
}

TEST_F(SoundSystemTest, failedLoadIsReportedWithTheCallAndChangesNothingElse) {
  Start("SOUND_FILE1=/s/one.wav\nSOUND_FILE2=/s/bad.wav\n");
  script->failLoadOf = "bad";
  ASSERT_EQ(sound->PrepareSound(1), 0);
  ASSERT_EQ(sound->PlaySound(1, SoundRepeat::Endless), 0);

  EXPECT_EQ(sound->PrepareSound(2), kSoundErrorFileOpen);
  auto shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].id, MSG_AUDIO_ERROR);
  EXPECT_EQ(shown[0].args[0], "LoadObjectFromFile");
  EXPECT_EQ(shown[0].args[1].rfind("SOUND_E_FILEOPEN:", 0), 0u) << shown[0].args[1];
  EXPECT_FALSE(sound->IsLoaded(2));
  EXPECT_TRUE(sound->IsSoundPlaying(1));

  // Playing the failed number tries the load again and reports again.
  EXPECT_EQ(sound->PlaySound(2, SoundRepeat::Once), kSoundErrorFileOpen);
  EXPECT_EQ(ShownIds(), (std::vector<int>{MSG_AUDIO_ERROR, MSG_AUDIO_ERROR}));
  EXPECT_TRUE(sound->IsSoundPlaying(1));
}

TEST_F(SoundSystemTest, prepareAfterFailedOrUnloadedFileLoadsItAgain) {
  Start("SOUND_FILE1=/s/one.wav\n");
  script->failLoadOf = "one";
  EXPECT_LT(sound->PrepareSound(1), 0);
  script->failLoadOf.clear();
  EXPECT_EQ(sound->PrepareSound(1), 0);
  EXPECT_TRUE(sound->IsLoaded(1));
  ASSERT_EQ(sound->UnloadSound(1), 0);
  EXPECT_EQ(sound->PrepareSound(1), 0);
  EXPECT_TRUE(sound->IsLoaded(1));
  EXPECT_EQ(Loads().size(), 3u);
}

TEST_F(SoundSystemTest, sharedPlayerFailureIsReportedTwiceAndAbandonsThePlay) {
  Start("SOUND_FILE1=/s/one.wav\n");
  script->failCreatePlayer = kSoundErrorNotReady;
  EXPECT_EQ(sound->PlaySound(1, SoundRepeat::Once), kSoundErrorNotReady);
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].args[0], "CLSID_DirectMusicPerformance");
  EXPECT_EQ(shown[1].args[0], "InitSoundNo");
  EXPECT_TRUE(Loads().empty());
}

TEST_F(SoundSystemTest, unloadFailureKeepsTheSegment) {
  Start("SOUND_FILE1=/s/one.wav\n");
  ASSERT_EQ(sound->PrepareSound(1), 0);
  script->failUnload = kSoundErrorStateChange;
  EXPECT_EQ(sound->UnloadSound(1), kSoundErrorStateChange);
  EXPECT_EQ(Shown().at(0).args[0], "Unload");
  EXPECT_TRUE(sound->IsLoaded(1));
  script->failUnload = 0;
  EXPECT_EQ(sound->UnloadSound(1), 0);
  EXPECT_FALSE(sound->IsLoaded(1));
}

TEST_F(SoundSystemTest, stopFailureIsReportedAsStopEx) {
  Start("SOUND_FILE1=/s/one.wav\n");
  ASSERT_EQ(sound->PrepareSound(1), 0);
  ASSERT_EQ(sound->PlaySound(1, SoundRepeat::Endless), 0);
  script->failStop = kSoundErrorStateChange;
  EXPECT_EQ(sound->StopSound(1), kSoundErrorStateChange);
  EXPECT_EQ(Shown().at(0).args[0], "StopEx");
  // PlaySound stops first; a failing stop abandons the new start.
  EXPECT_EQ(sound->PlaySound(1, SoundRepeat::Once), kSoundErrorStateChange);
  EXPECT_EQ(Shown().size(), 2u);
}

TEST_F(SoundSystemTest, stopAllStopsEveryLoadedNumberEvenBeyondTheListsEnd) {
  Start("SOUND_FILE1=/s/one.wav\nSOUND_FILE2=/s/two.wav\nSOUND_FILE3=/s/three.wav\n");
  for (int n : {1, 2, 3}) ASSERT_EQ(sound->PrepareSound(n), 0);
  for (int n : {1, 3}) ASSERT_EQ(sound->PlaySound(n, SoundRepeat::Endless), 0);
  ASSERT_EQ(sound->PlaySound(0, SoundRepeat::Endless, "/s/test.wav"), 0);
  sound->setSoundCount(1);  // the list was shortened in the dialog meanwhile
  sound->StopAllSounds();
  for (int n : {0, 1, 2, 3}) EXPECT_FALSE(sound->IsSoundPlaying(n)) << n;
  EXPECT_TRUE(sound->IsLoaded(3)) << "stop does not unload a number's own file";
  EXPECT_FALSE(sound->IsLoaded(0));
}

TEST_F(SoundSystemTest, numbersOutsideTheListRangeAreRefused) {
  ASSERT_TRUE(sound->InitSound(false));
  EXPECT_EQ(sound->PrepareSound(101), kSoundErrorBadNumber);
  EXPECT_EQ(sound->PlaySound(-1, SoundRepeat::Once), kSoundErrorBadNumber);
  EXPECT_EQ(ShownIds(), (std::vector<int>{MSG_AUDIO_ERROR, MSG_AUDIO_ERROR}));
  EXPECT_EQ(sound->StopSound(1000), kSoundErrorBadNumber);
  EXPECT_EQ(sound->UnloadSound(-5), kSoundErrorBadNumber);
  EXPECT_FALSE(sound->IsSoundPlaying(101));
  EXPECT_EQ(Shown().size(), 2u);
}

TEST_F(SoundSystemTest, aSlowLoadForOneNumberDoesNotHoldUpAnother) {
  Start("SOUND_FILE1=/s/one.wav\nSOUND_FILE2=/s/slow.wav\n");
  ASSERT_EQ(sound->PrepareSound(1), 0);
  test::Gate loadStarted, releaseLoad;
  script->onLoad = [&](const std::string& path) {
    if (path.find("slow") == std::string::npos) return;
    loadStarted.Open();
    releaseLoad.Wait();
  };
  // The window thread test-plays a file on the shared player while the
  // driving thread plays its prepared number.
  auto window =
      std::async(std::launch::async, [&] { return sound->PlaySound(2, SoundRepeat::Once); });
  loadStarted.Wait();
  auto driving = std::async(std::launch::async, [&] {
    const int rc = sound->PlaySound(1, SoundRepeat::Once);
    sound->StopSound(1);
    return rc;
  });
  const bool drivingDone = driving.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  releaseLoad.Open();
  EXPECT_TRUE(drivingDone) << "the prepared number waited for another number's load";
  EXPECT_EQ(driving.get(), 0);
  EXPECT_EQ(window.get(), 0);
}

}  // namespace
}  // namespace viren

namespace viren {
namespace {

TEST_F(SoundSystemTest, firstStartListsTheSampleSoundsByBareNameAndAClearedListStaysClear) {
  std::filesystem::create_directories(dir.File("sample/sound"));
  for (const char* name : SoundSystem::kSampleSounds)
    dir.Write(std::string("sample/sound/") + name, "");
  const struct {
    const char* optionIni;  // nullptr: no file
    int count;
  } cases[] = {
      {nullptr, 3},
      {"[AGREEMENT]\nAGREEMENT=1\n", 3},
      {"[SOUND]\nSOUND_FILE1=\n", 0},
      {"[SOUND]\n", 0},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(dir.File("option.ini"));
    if (c.optionIni) dir.Write("option.ini", c.optionIni);
    ASSERT_TRUE(sound->InitSound(false));
    EXPECT_EQ(sound->soundCount(), c.count) << (c.optionIni ? c.optionIni : "no option.ini");
  }
  std::filesystem::remove(dir.File("option.ini"));
  ASSERT_TRUE(sound->InitSound(false));
  EXPECT_EQ(settings.ReadSettingString("SOUND", "SOUND_FILE1", "", settings.optionFile()),
            "horn.wav");
  EXPECT_EQ(settings.ReadSettingString("SOUND", "SOUND_FILE2", "", settings.optionFile()),
            "engine.wav");
  EXPECT_EQ(settings.ReadSettingString("SOUND", "SOUND_FILE3", "", settings.optionFile()),
            "tune.mid");
  EXPECT_TRUE(ui.messages().empty());
  ASSERT_EQ(sound->PrepareSound(2), 0);
  EXPECT_EQ(Loads().back(), SampleSound("engine.wav"));
}

}  // namespace
}  // namespace viren
