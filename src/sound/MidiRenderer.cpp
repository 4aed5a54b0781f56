#include "sound/MidiRenderer.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sound/SoundErrors.h"
#include "sound/SoundFont.h"

namespace viren {

namespace {

// FluidSynth reports through a process-wide log function. Its errors are
// collected per thread while a file renders and become the failure's detail;
// its chatter (warnings, information) is dropped.
thread_local std::string* fluidErrors = nullptr;

void CollectFluidError(int /*level*/, const char* message, void* /*data*/) {
  if (fluidErrors && message) {
    if (!fluidErrors->empty()) fluidErrors->append("; ");
    fluidErrors->append(message);
  }
}

void QuietFluidLog() {
  static std::once_flag once;
  std::call_once(once, [] {
    fluid_set_log_function(FLUID_PANIC, CollectFluidError, nullptr);
    fluid_set_log_function(FLUID_ERR, CollectFluidError, nullptr);
    fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
    fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
    fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
  });
}

void PutLe32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutLe16(std::string& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

std::string WaveImage(const std::vector<std::int16_t>& samples, int channels, int rate) {
  const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
  std::string out;
  out.reserve(44 + dataBytes);
  out.append("RIFF");
  PutLe32(out, 36 + dataBytes);
  out.append("WAVEfmt ");
  PutLe32(out, 16);
  PutLe16(out, 1);  // PCM
  PutLe16(out, static_cast<std::uint16_t>(channels));
  PutLe32(out, static_cast<std::uint32_t>(rate));
  PutLe32(out, static_cast<std::uint32_t>(rate * channels * 2));
  PutLe16(out, static_cast<std::uint16_t>(channels * 2));
  PutLe16(out, 16);
  out.append("data");
  PutLe32(out, dataBytes);
  for (std::int16_t s : samples) PutLe16(out, static_cast<std::uint16_t>(s));
  return out;
}

}  // namespace

struct MidiRenderer::Synth {
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  ~Synth() {
    if (synth) delete_fluid_synth(synth);
    if (settings) delete_fluid_settings(settings);
  }
};

bool LooksLikeMidi(const std::string& data) {
  if (data.compare(0, 4, "MThd") == 0) return true;
  return data.size() >= 12 && data.compare(0, 4, "RIFF") == 0 && data.compare(8, 4, "RMID") == 0;
}

bool LooksLikeWave(const std::string& data) {
  return data.size() >= 12 && data.compare(0, 4, "RIFF") == 0 && data.compare(8, 4, "WAVE") == 0;
}

MidiRenderer::MidiRenderer(std::string soundFontPath) : soundFontPath_(std::move(soundFontPath)) {}

MidiRenderer::~MidiRenderer() = default;

void MidiRenderer::SetSoundFontPath(std::string soundFontPath) {
  std::lock_guard lock(mutex_);
  if (soundFontPath == soundFontPath_) return;
  soundFontPath_ = std::move(soundFontPath);
  synth_.reset();
}

int MidiRenderer::Render(const std::string& midi, std::string* wav, std::string* detail) {
  std::lock_guard lock(mutex_);
  QuietFluidLog();
  std::string errors;
  fluidErrors = &errors;
  struct Restore {
    ~Restore() { fluidErrors = nullptr; }
  } restore;

  if (!synth_) {
    auto s = std::make_unique<Synth>();
    s->settings = new_fluid_settings();
    if (!s->settings) {
      *detail = "FluidSynth settings could not be created";
      return kSoundErrorMidi;
    }
    fluid_settings_setnum(s->settings, "synth.sample-rate", kSampleRate);
    // The player advances with the samples written, not with the wall clock:
    // rendering runs as fast as the processor allows.
    fluid_settings_setstr(s->settings, "player.timing-source", "sample");
    fluid_settings_setint(s->settings, "synth.lock-memory", 0);
    // The default gain (0.2) leaves a single melody line 26 dB below full scale.
    fluid_settings_setnum(s->settings, "synth.gain", 0.5);
    s->synth = new_fluid_synth(s->settings);
    if (!s->synth) {
      *detail = "FluidSynth synthesiser could not be created: " + errors;
      return kSoundErrorMidi;
    }
    const std::string font = soundFontPath_.empty() ? FindSystemSoundFont() : soundFontPath_;
    if (font.empty()) {
      *detail = MissingSoundFontText();
      return kSoundErrorSoundFont;
    }
    if (fluid_synth_sfload(s->synth, font.c_str(), 1) == FLUID_FAILED) {
      *detail = font + (errors.empty() ? "" : ": " + errors) + "; " + MissingSoundFontText();
      return kSoundErrorSoundFont;
    }
    synth_ = std::move(s);
  }
  fluid_synth_system_reset(synth_->synth);

  fluid_player_t* player = new_fluid_player(synth_->synth);
  if (!player) {
    *detail = "FluidSynth player could not be created: " + errors;
    return kSoundErrorMidi;
  }
  struct PlayerGuard {
    fluid_player_t* p;
    ~PlayerGuard() {
      fluid_player_stop(p);
      delete_fluid_player(p);
    }
  } guard{player};

  if (fluid_player_add_mem(player, midi.data(), midi.size()) != FLUID_OK ||
      fluid_player_play(player) != FLUID_OK) {
    *detail = errors.empty() ? "the MIDI data was refused" : errors;
    return kSoundErrorMidi;
  }

  constexpr int kBlock = 512;
  constexpr int kChannels = 2;
  // After its last event the player lingers for two seconds; rendering stops
  // instead once the last notes have died away (below -54 dB full scale), and
  // the last 20 ms fade out so the cut does not click.
  constexpr int kQuietPeak = 64;
  constexpr int kFadeFrames = kSampleRate / 50;
  constexpr long kMaxReleaseFrames = kSampleRate * 2L;
  constexpr long kMaxFrames = static_cast<long>(kSampleRate) * kMaxSeconds;
  std::vector<std::int16_t> samples;
  std::int16_t block[kBlock * kChannels];
  long frames = 0;
  long endFrame = -1;  // where the last event was played
  while (fluid_player_get_status(player) == FLUID_PLAYER_PLAYING && frames < kMaxFrames) {
    fluid_synth_write_s16(synth_->synth, kBlock, block, 0, 2, block, 1, 2);
    samples.insert(samples.end(), block, block + kBlock * kChannels);
    frames += kBlock;
    // The length is known once the player has read the file, in its first block.
    const int totalTicks = fluid_player_get_total_ticks(player);
    if (endFrame < 0 && totalTicks > 0 && fluid_player_get_current_tick(player) >= totalTicks)
      endFrame = frames;
    if (endFrame < 0) continue;
    int peak = 0;
    for (std::int16_t v : block) peak = std::max(peak, std::abs(static_cast<int>(v)));
    if (peak < kQuietPeak || fluid_synth_get_active_voice_count(synth_->synth) == 0 ||
        frames - endFrame >= kMaxReleaseFrames)
      break;
  }
  // A file that FluidSynth could not parse ends at once with an error logged.
  if (!errors.empty() || fluid_player_get_total_ticks(player) <= 0) {
    *detail = errors.empty() ? "the file holds no MIDI events" : errors;
    return kSoundErrorMidi;
  }
  const long fade = std::min<long>(kFadeFrames, frames);
  for (long i = 0; i < fade; ++i) {
    const long frame = frames - fade + i;
    for (int c = 0; c < kChannels; ++c) {
      std::int16_t& v = samples[frame * kChannels + c];
      v = static_cast<std::int16_t>(v * (fade - i) / fade);
    }
  }
  *wav = WaveImage(samples, kChannels, kSampleRate);
  return 0;
}

}  // namespace viren
