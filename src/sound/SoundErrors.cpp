#include "sound/SoundErrors.h"

#include <cstdio>

namespace viren {

SoundErrorText StandardSoundErrorText(int code) {
  switch (code) {
    case kSoundErrorNotReady:
      return {"SOUND_E_NOTREADY", "The audio library has not been initialised."};
    case kSoundErrorMissingPlugin:
      return {"SOUND_E_MISSINGPLUGIN", "A GStreamer element needed for playback is not installed."};
    case kSoundErrorFileOpen:
      return {"SOUND_E_FILEOPEN", "The sound file could not be opened."};
    case kSoundErrorUnknownFormat:
      return {"SOUND_E_UNKNOWNFORMAT", "The file is neither a wave file nor a MIDI file."};
    case kSoundErrorDecode:
      return {"SOUND_E_DECODE", "The audio data of the file could not be decoded."};
    case kSoundErrorSoundFont:
      return {"SOUND_E_SOUNDFONT", "The sound font for MIDI playback could not be loaded."};
    case kSoundErrorMidi:
      return {"SOUND_E_MIDI", "The MIDI file could not be rendered."};
    case kSoundErrorAudioOutput:
      return {"SOUND_E_AUDIOOUTPUT", "The audio output could not be opened."};
    case kSoundErrorStateChange:
      return {"SOUND_E_STATECHANGE", "The player could not start, seek or stop."};
    case kSoundErrorNotDownloaded:
      return {"SOUND_E_NOTDOWNLOADED", "The sound is not downloaded to this player."};
    case kSoundErrorBadNumber:
      return {"SOUND_E_BADNUMBER", "The sound number is outside 0 to 100."};
    default: {
      char name[16];
      std::snprintf(name, sizeof name, "0x%08X", static_cast<unsigned>(code));
      return {name, "Unknown error."};
    }
  }
}

}  // namespace viren
