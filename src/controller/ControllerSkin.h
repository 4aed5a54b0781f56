#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "controller/ControllerPanel.h"

namespace viren {

class Settings;
class UiHost;

struct PictureSize {
  int width = 0;
  int height = 0;
};

// A skin as loaded: its folder, the buttons found, each button's rectangle.
struct ControllerSkin {
  SkinType type = SkinType::Normal;
  std::string folder;     // <program folder>/control<type>
  int count = 0;          // buttons (pictures) loaded
  bool complete = false;  // false: a picture was missing; the window keeps its size
  bool turboMissing = false;
  std::array<Rect, ControllerPanel::kMaxButtons> rects{};
  std::array<std::string, ControllerPanel::kMaxButtons> pictures{};
};

// Reads control.ini of the skin and loads its pictures through `load`, which
// returns the picture's size or nothing when it cannot be read. A missing
// picture 6 drops the turbo button silently; any other missing picture, and
// a button placed wholly outside picture 0, shows MSG_CONTROLLER_PICTURE_FAILED and ends the
// loading there. Positions near the integer limits saturate.
ControllerSkin LoadControllerSkin(
    const Settings& settings, const std::string& moduleFolder, SkinType type, UiHost& ui,
    const std::function<std::optional<PictureSize>(const std::string& path)>& load);

// The same with the text of control.ini already in memory.
ControllerSkin LoadControllerSkinText(
    std::string_view controlIni, const std::string& moduleFolder, SkinType type, UiHost& ui,
    const std::function<std::optional<PictureSize>(const std::string& path)>& load);

}  // namespace viren
