#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "sound/SoundBackend.h"

namespace viren {

class Clock;

// One start or stop of a sound, as the audio library was asked for it.
struct SoundLogEntry {
  enum class Event { Play, Stop };
  std::int64_t tMs = 0;  // the engine's clock (virtual under a virtual clock)
  Event event = Event::Play;
  std::string file;  // base name of the sound file
  SoundRepeat repeat = SoundRepeat::Once;
};

inline constexpr std::string_view kSoundLogHeader = "t_ms,event,file,repeat";
// "t_ms,event,file,repeat" values: "1230,play,horn.wav,endless", no line end.
std::string FormatSoundLogEntry(const SoundLogEntry& entry);

// The starts and stops of every sound, in the order the players got them.
// Thread safe: players of several sound numbers write to it at once.
class SoundLog {
 public:
  explicit SoundLog(const Clock& clock) : clock_(clock) {}

  void Add(SoundLogEntry::Event event, std::string file, SoundRepeat repeat);
  std::vector<SoundLogEntry> Entries() const;
  // The header and one line per entry.
  std::string Csv() const;

 private:
  const Clock& clock_;
  mutable std::mutex mutex_;
  std::vector<SoundLogEntry> entries_;
};

// A back end that plays through `inner` and writes every Play and Stop a
// player gets into `log`, with the file of the segment and its repeat setting
// at that moment. A Stop is logged only when it reaches a player: the sound
// system asks a player to stop only a sound that is still playing. The end
// of a sound that was played once is not logged (it ends in the audio
// library's own time, which a virtual clock does not govern). `log` must
// outlive the back end.
std::unique_ptr<SoundBackend> MakeLoggingSoundBackend(std::unique_ptr<SoundBackend> inner,
                                                      SoundLog& log);

}  // namespace viren
