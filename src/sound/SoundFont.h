#pragma once

#include <functional>
#include <string>

namespace viren {

// The Debian package that install-deps.sh installs for MIDI sounds: a small
// (6 MB) General MIDI font.
inline constexpr const char* kSoundFontPackage = "timgm6mb-soundfont";

// The General MIDI font of this machine: the distribution's default (the
// target of its default-GM alternative), else the first font of the known
// font packages that is installed; empty when there is none. `exists` tells
// whether a path names a readable file (tests pass their own).
std::string FindSystemSoundFont(const std::function<bool(const std::string&)>& exists);
std::string FindSystemSoundFont();

// What the user reads when MIDI cannot play for want of a font: which package
// to install and where a font of one's own is named.
std::string MissingSoundFontText();

}  // namespace viren
