#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "sound/SoundBackend.h"

namespace viren {

class Settings;
class UiHost;

// The numbered sound list of option.ini ([SOUND] SOUND_FILE1..100) and its
// playback: a player per sound number that a driving program prepares, and the
// shared player 0 for test playback and for numbers without a player of their
// own. Failures are shown as MSG_AUDIO_ERROR naming the failing call.
//
// Threads: InitSound runs on the window thread at start-up. PrepareSound,
// PlaySound, StopSound, StopAllSounds, UnloadSound and IsSoundPlaying are
// thread safe and called from the window thread (sound dialog), the
// automatic-driving thread and the program-interface thread. Each sound number
// has its own lock, so a sound command never waits for a file being loaded for
// another number; no lock is held while a message is shown.
class SoundSystem {
 public:
  static constexpr int kMaxSoundNumber = 100;  // numbers 1..100; 0 is the shared player
  // The sounds that ship in sample/sound, numbered as the sample programs use
  // them: the list of a first start (an option.ini without a SOUND section).
  static constexpr const char* kSampleSounds[] = {"horn.wav", "engine.wav", "tune.mid"};

  SoundSystem(Settings& settings, UiHost& ui, std::unique_ptr<SoundBackend> backend);
  // Stops every sound and releases players and segments.
  ~SoundSystem();
  SoundSystem(const SoundSystem&) = delete;
  SoundSystem& operator=(const SoundSystem&) = delete;

  // Start-up: brings up the audio library (failure: MSG_AUDIO_ERROR, false; the
  // engine then stops with MSG_SOUND_INIT_FAILED), on a first start lists the sample
  // sounds by their bare names, counts the sound list (MSG_SOUND_FILE_MISSING for
  // each listed file that does not exist) and, with `prepareShared` (the "-s"
  // switch), prepares the shared player.
  bool InitSound(bool prepareShared);

  // Creates the player of `n` (0..100) and, for n above 0, loads its file into
  // it. A number that has its player already is left as it is. 0 or a negative
  // error code (already shown).
  int PrepareSound(int n);

  // Plays `n` once or endlessly: on its own player when it has one (without
  // reloading), else on the shared player, which loads the file each time.
  // `file` replaces the listed file of `n` on the shared player (the dialog's
  // test playback); empty: the listed one. Returns at once.
  int PlaySound(int n, SoundRepeat repeat, std::string_view file = {});

  // Stops the sound of `n` at once if it is playing (on the shared player when
  // `n` has none). A stopped shared player forgets its file.
  int StopSound(int n);

  // Stops every loaded sound (automatic driving starts or ends; shut-down).
  void StopAllSounds();

  // Releases the loaded file of `n`; the next playback loads it again. An
  // unload failure is shown and the file stays loaded.
  int UnloadSound(int n);

  // Shows MSG_AUDIO_ERROR for `code` and the failing call `name`; returns `code`.
  int ReportSoundError(int code, std::string_view name);

  // Whether the sound of `n` (on its player, else on the shared one) plays.
  bool IsSoundPlaying(int n) const;
  // Whether `n` has its own player / a loaded file (the sound dialog and tests).
  bool HasPlayer(int n) const;
  bool IsLoaded(int n) const;

  // Valid sound numbers are 1..soundCount. Any thread.
  int soundCount() const { return soundCount_.load(); }
  void setSoundCount(int count) { soundCount_.store(count); }

 private:
  struct Failure {
    int code = 0;
    const char* call = nullptr;
    explicit operator bool() const { return code < 0; }
  };
  struct Slot {
    mutable std::mutex mutex;
    std::unique_ptr<SoundPlayer> player;
    std::unique_ptr<SoundSegment> segment;
  };

  static bool ValidNumber(int n) { return n >= 0 && n <= kMaxSoundNumber; }
  std::string ListedPath(int n) const;
  void ListSampleSounds();
  int SlotOf(int n) const;
  void ReleaseAll();
  // The *Locked operations run with the slot's mutex held and report nothing;
  // the caller shows the failure after letting go of the lock.
  Failure PrepareLocked(Slot& slot, int n);
  Failure LoadLocked(Slot& slot, const std::string& path);
  Failure StopLocked(Slot& slot, int slotNumber);
  Failure UnloadLocked(Slot& slot);
  int Report(Failure failure);

  Settings& settings_;
  UiHost& ui_;
  std::unique_ptr<SoundBackend> backend_;  // first: outlives the players
  std::atomic<int> soundCount_{0};
  std::array<Slot, kMaxSoundNumber + 1> slots_;
};

}  // namespace viren
