#include "sound/SoundFont.h"

#include <unistd.h>

#include <filesystem>

namespace viren {

namespace {

// The default-GM alternatives first (Debian and derivatives point them at the
// font of highest priority), then the fonts of the packages known to carry one.
constexpr const char* kKnownFonts[] = {
    "/usr/share/sounds/sf2/default-GM.sf2",         // update-alternatives
    "/usr/share/sounds/sf3/default-GM.sf3",         // update-alternatives
    "/usr/share/sounds/sf2/TimGM6mb.sf2",           // timgm6mb-soundfont
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",         // fluid-soundfont-gm
    "/usr/share/sounds/sf3/MuseScore_General.sf3",  // musescore-general-soundfont-small
    "/usr/share/sounds/sf2/MuseScore_General.sf2",  // musescore-general-soundfont
    "/usr/share/soundfonts/default.sf2",            // Fedora, Arch
    "/usr/share/soundfonts/FluidR3_GM.sf2",         // Fedora, Arch
};

}  // namespace

std::string FindSystemSoundFont(const std::function<bool(const std::string&)>& exists) {
  for (const char* path : kKnownFonts)
    if (exists(path)) return path;
  return {};
}

std::string FindSystemSoundFont() {
  return FindSystemSoundFont([](const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) && ::access(path.c_str(), R_OK) == 0;
  });
}

std::string MissingSoundFontText() {
  return std::string("no General MIDI sound font is installed: install the package ") +
         kSoundFontPackage + " (sudo apt install " + kSoundFontPackage +
         "), or name a .sf2 file as SOUND_FONT in the [SOUND] section of VIREN.ini";
}

}  // namespace viren
