// The sound list played through the real GStreamer pipeline on the sample
// sounds, with the audio going to a fake sink that keeps real time.
#include "sound/GstSoundBackend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "settings/Settings.h"
#include "sound/MidiRenderer.h"
#include "sound/SoundErrors.h"
#include "sound/SoundFont.h"
#include "sound/SoundSystem.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Sample lengths: horn.wav 0.5 s, engine.wav 0.3 s, tune.mid 0.75 s of notes.
constexpr auto kWaitLimit = 5s;

GstSoundOptions TestOptions() {
  GstSoundOptions options;
  options.sinkDescription = "fakesink sync=true";
  return options;
}

class GstSoundTest : public ::testing::Test {
 protected:
  GstSoundTest() : settings(&ui) {
    settings.SetPaths(test::ProgramFolder(), dir.File("VIREN.ini"), dir.File("option.ini"));
  }
  void Start(const std::string& list, GstSoundOptions options = TestOptions()) {
    dir.Write("option.ini", "[SOUND]\n" + list);
    sound = std::make_unique<SoundSystem>(settings, ui, MakeGstSoundBackend(std::move(options)));
    ASSERT_TRUE(sound->InitSound(false));
  }
  // How long until `n` stops playing (kWaitLimit when it does not).
  Clock::duration WaitForEnd(int n, Clock::time_point since) {
    while (sound->IsSoundPlaying(n) && Clock::now() - since < kWaitLimit)
      std::this_thread::sleep_for(5ms);
    return Clock::now() - since;
  }
  std::string Copy(const std::string& sample, const std::string& name) {
    std::filesystem::copy_file(test::ProgramFolder() + "/sample/sound/" + sample, dir.File(name));
    return dir.File(name);
  }
  std::string Sample(const std::string& name) {
    return test::ProgramFolder() + "/sample/sound/" + name;
  }

  test::TestDir dir;
  test::FakeUiHost ui;
  Settings settings;
  std::unique_ptr<SoundSystem> sound;
};

TEST_F(GstSoundTest, waveAndMidiPlayForTheirLengthThenStop) {
  Start("SOUND_FILE1=horn.wav\nSOUND_FILE2=tune.mid\n");
  ASSERT_EQ(sound->PrepareSound(1), 0);
  ASSERT_EQ(sound->PrepareSound(2), 0);

  const auto start = Clock::now();
  ASSERT_EQ(sound->PlaySound(1, SoundRepeat::Once), 0);
  EXPECT_TRUE(sound->IsSoundPlaying(1));
  const auto horn = WaitForEnd(1, start);
  EXPECT_GE(horn, 400ms) << "ended before the horn's 0.5 s";
  EXPECT_LT(horn, kWaitLimit) << "the horn never ended";

  const auto start2 = Clock::now();
  ASSERT_EQ(sound->PlaySound(2, SoundRepeat::Once), 0);
  EXPECT_TRUE(sound->IsSoundPlaying(2));
  const auto tune = WaitForEnd(2, start2);
  EXPECT_GE(tune, 500ms) << "ended before the tune's notes";
  EXPECT_LT(tune, kWaitLimit) << "the tune never ended";

  // A finished sound starts again from its beginning.
  ASSERT_EQ(sound->PlaySound(1, SoundRepeat::Once), 0);
  EXPECT_TRUE(sound->IsSoundPlaying(1));
  EXPECT_GE(WaitForEnd(1, Clock::now()), 300ms);
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(GstSoundTest, endlessRepeatPlaysUntilItsNumberIsStopped) {
  Start("SOUND_FILE1=engine.wav\nSOUND_FILE2=horn.wav\nSOUND_FILE3=tune.mid\n");
  for (int n : {1, 2, 3}) ASSERT_EQ(sound->PrepareSound(n), 0);
  ASSERT_EQ(sound->PlaySound(1, SoundRepeat::Endless), 0);
  ASSERT_EQ(sound->PlaySound(3, SoundRepeat::Endless), 0);
  ASSERT_EQ(sound->PlaySound(2, SoundRepeat::Once), 0);
  // Several numbers sound at once.
  EXPECT_TRUE(sound->IsSoundPlaying(1));
  EXPECT_TRUE(sound->IsSoundPlaying(2));
  EXPECT_TRUE(sound->IsSoundPlaying(3));

  // Past four rounds of the 0.3 s engine and two of the tune.
  std::this_thread::sleep_for(1300ms);
  EXPECT_TRUE(sound->IsSoundPlaying(1)) << "the engine loop stopped repeating";
  EXPECT_TRUE(sound->IsSoundPlaying(3)) << "the MIDI tune stopped repeating";
  EXPECT_FALSE(sound->IsSoundPlaying(2)) << "the horn plays once";

  // Stop takes effect at once and only for its number.
  ASSERT_EQ(sound->StopSound(1), 0);
  EXPECT_FALSE(sound->IsSoundPlaying(1));
  EXPECT_TRUE(sound->IsSoundPlaying(3));
  std::this_thread::sleep_for(400ms);
  EXPECT_FALSE(sound->IsSoundPlaying(1)) << "a stopped loop came back";

  sound->StopAllSounds();
  EXPECT_FALSE(sound->IsSoundPlaying(3));
  // A stopped number plays again from the start.
  ASSERT_EQ(sound->PlaySound(1, SoundRepeat::Once), 0);
  EXPECT_TRUE(sound->IsSoundPlaying(1));
  EXPECT_LT(WaitForEnd(1, Clock::now()), kWaitLimit);
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(GstSoundTest, sharedPlayerLoadsTheFileForEveryPlayback) {
  const std::string own = Copy("horn.wav", "own.wav");
  const std::string shared = Copy("horn.wav", "shared.wav");
  Start("SOUND_FILE1=" + own + "\nSOUND_FILE2=" + shared + "\n");
  ASSERT_EQ(sound->PrepareSound(1), 0);
  ASSERT_EQ(sound->PlaySound(1, SoundRepeat::Once), 0);
  ASSERT_EQ(sound->PlaySound(2, SoundRepeat::Once), 0);
  EXPECT_TRUE(sound->IsSoundPlaying(0)) << "number 2 has no player and sounds on the shared one";
  EXPECT_TRUE(sound->IsSoundPlaying(1));

  // Without the files only the prepared number still plays: it holds its audio.
  std::filesystem::remove(own);
  std::filesystem::remove(shared);
  EXPECT_EQ(sound->PlaySound(1, SoundRepeat::Once), 0);
  EXPECT_EQ(sound->PlaySound(2, SoundRepeat::Once), kSoundErrorFileOpen);
  const auto shown = ui.messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].id, MSG_AUDIO_ERROR);
  EXPECT_EQ(shown[0].args[0], "LoadObjectFromFile");
  EXPECT_NE(shown[0].args[1].find(shared), std::string::npos) << shown[0].args[1];
  EXPECT_FALSE(sound->IsSoundPlaying(0)) << "the earlier shared sound was stopped for the new one";
  EXPECT_TRUE(sound->IsSoundPlaying(1));
}

TEST_F(GstSoundTest, testPlaybackOfABareNameFindsItInSampleSound) {
  Start("");
  ASSERT_EQ(sound->PrepareSound(0), 0);
  ASSERT_EQ(sound->PlaySound(0, SoundRepeat::Once, "tune.mid"), 0);
  EXPECT_TRUE(sound->IsSoundPlaying(0));
  ASSERT_EQ(sound->StopSound(0), 0);
  EXPECT_FALSE(sound->IsSoundPlaying(0));
  EXPECT_FALSE(sound->IsLoaded(0));
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(GstSoundTest, missingAndBrokenFilesAreReportedWithoutHarm) {
  dir.Write("noise.wav", std::string(3000, '\x5a'));
  // A wave header whose format chunk is nonsense.
  using namespace std::string_literals;
  std::string badWave = "RIFF\x24\x10\x00\x00WAVEfmt \x10\x00\x00\x00"s;
  badWave += std::string(16, '\xff');
  badWave += "data";
  badWave += std::string(4096, '\x01');
  dir.Write("badformat.wav", badWave);
  dir.Write("broken.mid", "MThd\x00\x00\x00\x06 this is no MIDI file at all"s);
  Start("SOUND_FILE1=horn.wav\nSOUND_FILE2=" + dir.File("missing.wav") +
        "\nSOUND_FILE3=" + dir.File("noise.wav") + "\nSOUND_FILE4=" + dir.File("badformat.wav") +
        "\nSOUND_FILE5=" + dir.File("broken.mid") + "\n");
  EXPECT_EQ(sound->soundCount(), 5);
  ASSERT_EQ(ui.messageIds(), std::vector<int>{MSG_SOUND_FILE_MISSING});
  EXPECT_EQ(ui.messages()[0].args, (std::vector<std::string>{"2", dir.File("missing.wav")}));

  ASSERT_EQ(sound->PrepareSound(1), 0);
  ASSERT_EQ(sound->PlaySound(1, SoundRepeat::Endless), 0);
  EXPECT_EQ(sound->PrepareSound(2), kSoundErrorFileOpen);
  EXPECT_EQ(sound->PrepareSound(3), kSoundErrorUnknownFormat);
  EXPECT_EQ(sound->PrepareSound(4), kSoundErrorDecode);
  EXPECT_EQ(sound->PrepareSound(5), kSoundErrorMidi);
  const auto shown = ui.messages();
  ASSERT_EQ(shown.size(), 5u);
  const char* calls[] = {"LoadObjectFromFile", "LoadObjectFromFile", "Download",
                         "LoadObjectFromFile"};
  const char* names[] = {
      "SOUND_E_FILEOPEN:", "SOUND_E_UNKNOWNFORMAT:", "SOUND_E_DECODE:", "SOUND_E_MIDI:"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(shown[i + 1].id, MSG_AUDIO_ERROR);
    EXPECT_EQ(shown[i + 1].icon, MsgIcon::Stop);
    EXPECT_EQ(shown[i + 1].args[0], calls[i]);
    EXPECT_EQ(shown[i + 1].args[1].rfind(names[i], 0), 0u) << shown[i + 1].args[1];
  }
  for (int n : {2, 3, 4, 5}) EXPECT_FALSE(sound->IsLoaded(n)) << n;
  EXPECT_TRUE(sound->IsSoundPlaying(1)) << "a failure elsewhere stopped a playing sound";
}

TEST_F(GstSoundTest, unusableOutputOrSoundFontIsReportedByItsCall) {
  GstSoundOptions noOutput = TestOptions();
  noOutput.sinkDescription = "nosuchaudiosink";
  Start("SOUND_FILE1=horn.wav\n", noOutput);
  EXPECT_EQ(sound->PrepareSound(1), kSoundErrorAudioOutput);
  EXPECT_EQ(ui.messages().at(0).args[0], "InitAudio");
  EXPECT_NE(ui.messages()[0].args[1].find("nosuchaudiosink"), std::string::npos);
  EXPECT_FALSE(sound->HasPlayer(1));

  GstSoundOptions noFont = TestOptions();
  noFont.soundFontPath = dir.File("none.sf2");
  Start("SOUND_FILE1=tune.mid\nSOUND_FILE2=horn.wav\n", noFont);
  EXPECT_EQ(sound->PrepareSound(1), kSoundErrorSoundFont);
  EXPECT_EQ(ui.messages().back().args[0], "LoadObjectFromFile");
  EXPECT_EQ(sound->PrepareSound(2), 0) << "wave files play without a sound font";

  // A font named in VIREN.ini takes the place of the system's; when it cannot
  // be loaded the message says which file and what to install.
  dir.Write("VIREN.ini", "[SOUND]\nSOUND_FONT=" + dir.File("mine.sf2") + "\n");
  Start("SOUND_FILE1=tune.mid\n");
  EXPECT_EQ(sound->PrepareSound(1), kSoundErrorSoundFont);
  const std::string description = ui.messages().back().args.at(1);
  EXPECT_NE(description.find(dir.File("mine.sf2")), std::string::npos) << description;
  EXPECT_NE(description.find(kSoundFontPackage), std::string::npos) << description;
}

TEST_F(GstSoundTest, soundCommandsFromThreeThreadsAndShutDownWhilePlaying) {
  Start(
      "SOUND_FILE1=engine.wav\nSOUND_FILE2=horn.wav\nSOUND_FILE3=tune.mid\nSOUND_FILE4=engine."
      "wav\n");
  for (int n : {1, 2, 3}) ASSERT_EQ(sound->PrepareSound(n), 0);
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  auto run = [&](auto step) {
    return std::thread([&, step] {
      for (int i = 0; !stop; ++i) {
        if (step(i) < 0) ++failures;
        std::this_thread::sleep_for(3ms);
      }
    });
  };
  // The driving thread, the interface thread and the window thread.
  std::thread driving = run([&](int i) {
    return i % 3 == 2
               ? sound->StopSound(1 + i % 2)
               : sound->PlaySound(1 + i % 2, i % 2 ? SoundRepeat::Once : SoundRepeat::Endless);
  });
  std::thread api = run([&](int i) {
    sound->IsSoundPlaying(3);
    return i % 2 ? sound->PlaySound(3, SoundRepeat::Endless) : sound->StopSound(1);
  });
  std::thread window = run([&](int i) {
    if (i % 4 == 0) return sound->UnloadSound(2);
    return i % 4 == 1 ? sound->PlaySound(4, SoundRepeat::Once) : sound->StopSound(0);
  });
  std::this_thread::sleep_for(800ms);
  stop = true;
  driving.join();
  api.join();
  window.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_TRUE(ui.messages().empty());

  // Shut-down with sounds playing: stop them all and let everything go.
  ASSERT_EQ(sound->PlaySound(1, SoundRepeat::Endless), 0);
  ASSERT_EQ(sound->PlaySound(3, SoundRepeat::Endless), 0);
  sound->StopAllSounds();
  for (int n : {0, 1, 2, 3}) EXPECT_FALSE(sound->IsSoundPlaying(n));
  ASSERT_EQ(sound->PlaySound(1, SoundRepeat::Endless), 0);
  sound.reset();  // destroyed while number 1 still loops
}

TEST(MidiRendererTest, rendersTheTuneToWaveDataOfItsLength) {
  std::string midi;
  {
    std::FILE* f = std::fopen((test::ProgramFolder() + "/sample/sound/tune.mid").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buffer[256];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) midi.append(buffer, n);
    std::fclose(f);
  }
  MidiRenderer renderer(GstSoundOptions{}.soundFontPath);
  std::string wav, detail;
  ASSERT_EQ(renderer.Render(midi, &wav, &detail), 0) << detail;
  ASSERT_TRUE(LooksLikeWave(wav));
  // Five notes, 0.625 s at 120 bpm, plus the release tail; 4 bytes a frame.
  const double seconds = (wav.size() - 44) / 4.0 / MidiRenderer::kSampleRate;
  EXPECT_GT(seconds, 0.62);
  EXPECT_LT(seconds, 1.3);
  // Not silence.
  int loud = 0;
  for (size_t i = 44; i + 1 < wav.size(); i += 2) {
    const int16_t s = static_cast<int16_t>(static_cast<uint8_t>(wav[i]) | (wav[i + 1] << 8));
    loud += s > 1000 || s < -1000;
  }
  EXPECT_GT(loud, 5000);
  // The same renderer renders again, to about the same length (the reverb of
  // the first rendering may still ring a little).
  std::string again;
  ASSERT_EQ(renderer.Render(midi, &again, &detail), 0);
  EXPECT_NEAR(static_cast<double>(again.size()), static_cast<double>(wav.size()), wav.size() * 0.1);
}

}  // namespace
}  // namespace viren
