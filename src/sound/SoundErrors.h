#pragma once

#include "sound/SoundBackend.h"

namespace viren {

// Error codes of the sound back ends and of SoundSystem. All negative, as every
// sound operation's result below zero is a failure.
enum SoundErrorCode : int {
  kSoundErrorNotReady = -1001,       // the audio library is not brought up
  kSoundErrorMissingPlugin = -1002,  // a needed GStreamer element is not installed
  kSoundErrorFileOpen = -1003,       // the file cannot be read
  kSoundErrorUnknownFormat = -1004,  // neither a wave nor a MIDI file
  kSoundErrorDecode = -1005,         // the file's audio cannot be decoded
  kSoundErrorSoundFont = -1006,      // no sound font for MIDI playback
  kSoundErrorMidi = -1007,           // the MIDI file cannot be rendered
  kSoundErrorAudioOutput = -1008,    // the audio output cannot be opened
  kSoundErrorStateChange = -1009,    // the player refused to start, seek or stop
  kSoundErrorNotDownloaded = -1010,  // the segment was not downloaded to this player
  kSoundErrorBadNumber = -1011,      // a sound number outside 0..100
};

// The fixed name and description of a code above; for any other code the name
// is the number in hexadecimal and the description says it is unknown.
SoundErrorText StandardSoundErrorText(int code);

}  // namespace viren
