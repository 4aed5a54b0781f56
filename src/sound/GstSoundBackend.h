#pragma once

#include <memory>
#include <string>

#include "sound/SoundBackend.h"

namespace viren {

struct GstSoundOptions {
  // The audio output as a gst-launch description ("autoaudiosink",
  // "fakesink sync=true", "pulsesink device=..."). Each player gets its own.
  std::string sinkDescription = "autoaudiosink";
  // General MIDI sound font for MIDI files; empty: the system's (FindSystemSoundFont).
  // A font named in VIREN.ini (SetSoundFont) takes the place of either.
  std::string soundFontPath;
};

// The defaults, overridden by the environment: VIREN_AUDIO_SINK (tests set
// "fakesink sync=true") and VIREN_SOUNDFONT.
GstSoundOptions GstSoundOptionsFromEnvironment();

// Sound back end on GStreamer. A segment is the file's audio in memory (a MIDI
// file is rendered to wave data by FluidSynth when it is loaded); a player
// plays its downloaded segment through
//   giostreamsrc ! decodebin ! audioconvert ! audioresample ! <sink>
// prerolled in PAUSED, so Play only seeks to the start and sets PLAYING.
// Ends and repeats of sounds are handled on one thread of the back end.
std::unique_ptr<SoundBackend> MakeGstSoundBackend(GstSoundOptions options);

}  // namespace viren
