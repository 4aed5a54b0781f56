#pragma once

#include <memory>
#include <string>

namespace viren {

// Once or endless: the two ways a sound command plays its sound.
enum class SoundRepeat { Once = 0, Endless = 1 };

// The symbolic name and the description of a back end's error code, as the
// sound error message shows them.
struct SoundErrorText {
  std::string name;
  std::string description;
};

// A loaded sound file. Its audio is held in memory, so a segment plays without
// reading the file again.
class SoundSegment {
 public:
  virtual ~SoundSegment() = default;
  // The number of times the segment is played through: once, or until stopped.
  // Takes effect at the next Play. Result: 0 or a negative error code.
  virtual int SetRepeats(SoundRepeat repeat) = 0;
};

// One audio output that plays the segment downloaded to it. Players play at the
// same time, each on its own output stream.
//
// A player is used by one thread at a time (SoundSystem serialises the calls per
// player); IsPlaying may be asked from any thread. Every call returns at once:
// playback, the end of a sound and its repeats run on the back end's threads.
// Results: 0 or positive on success, a negative error code on failure.
class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;
  // Opens the audio output.
  virtual int InitAudio() = 0;
  // Makes the segment ready to start at once on this player (a player holds
  // one downloaded segment; a new download replaces the previous one).
  virtual int Download(SoundSegment& segment) = 0;
  // Releases what Download prepared; the segment itself stays usable.
  virtual int Unload(SoundSegment& segment) = 0;
  // Starts the segment from its beginning.
  virtual int Play(SoundSegment& segment) = 0;
  // Stops the segment at once.
  virtual int Stop(SoundSegment& segment) = 0;
  // True from Play until the segment's end (after its last repeat), Stop or a
  // playback error.
  virtual bool IsPlaying(const SoundSegment& segment) const = 0;
};

// The audio library: loads files and makes players. Thread safe.
class SoundBackend {
 public:
  virtual ~SoundBackend() = default;
  // Brings up the library; needed before any other call.
  virtual int CreateLoader() = 0;
  virtual int CreatePlayer(std::unique_ptr<SoundPlayer>* player) = 0;
  // Loads a wave or MIDI file (or anything else the library can decode).
  virtual int LoadSegment(const std::string& path, std::unique_ptr<SoundSegment>* segment) = 0;
  // The General MIDI font named in the settings for MIDI files (empty: the
  // back end's own choice). Called at start-up, before any load.
  virtual void SetSoundFont(const std::string& /*configured*/) {}
  // Name and description of an error code this back end returned; called on
  // the thread that got the code, right after the failing call, which lets the
  // description carry the details of that failure.
  virtual SoundErrorText DescribeError(int code) const = 0;
};

}  // namespace viren
