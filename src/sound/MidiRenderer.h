#pragma once

#include <memory>
#include <mutex>
#include <string>

namespace viren {

// Renders a standard MIDI file into a wave file in memory with the FluidSynth
// synthesiser and a General MIDI sound font, so that MIDI sounds play through
// the same path as wave files. A 1 s tune renders in a few milliseconds; the
// sound font is loaded once, on first use, and kept.
//
// Thread safe: renders one file at a time.
class MidiRenderer {
 public:
  // An empty path: the system's General MIDI font, looked up at the first render.
  explicit MidiRenderer(std::string soundFontPath);
  // Another font for the renders to come (empty: the system's).
  void SetSoundFontPath(std::string soundFontPath);
  ~MidiRenderer();
  MidiRenderer(const MidiRenderer&) = delete;
  MidiRenderer& operator=(const MidiRenderer&) = delete;

  static constexpr int kSampleRate = 44100;
  // Rendering stops here even if the file goes on (2 channels, 16 bit: 106 MB).
  static constexpr int kMaxSeconds = 600;

  // 0 and a complete RIFF/WAVE image (44.1 kHz, stereo, 16 bit) in `wav`, or a
  // negative sound error code and the reason in `detail`.
  int Render(const std::string& midi, std::string* wav, std::string* detail);

 private:
  struct Synth;
  std::string soundFontPath_;
  std::mutex mutex_;
  std::unique_ptr<Synth> synth_;
};

// True for the start of a standard MIDI file ("MThd") or a RIFF MIDI file.
bool LooksLikeMidi(const std::string& data);
// True for the start of a RIFF/WAVE file.
bool LooksLikeWave(const std::string& data);

}  // namespace viren
