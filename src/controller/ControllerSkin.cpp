#include "controller/ControllerSkin.h"

#include "core/UiHost.h"
#include "settings/Settings.h"

namespace viren {

ControllerSkin LoadControllerSkin(
    const Settings& settings, const std::string& moduleFolder, SkinType type, UiHost& ui,
    const std::function<std::optional<PictureSize>(const std::string& path)>& load) {
  ControllerSkin skin;
  skin.type = type;
  skin.folder = moduleFolder + "/control" + std::to_string(static_cast<int>(type));
  const std::string ini = skin.folder + "/control.ini";

  for (int k = 0; k < ControllerPanel::kMaxButtons; ++k) {
    const std::string position =
        settings.ReadSettingString("CONTROL", "POSITION" + std::to_string(k), "", ini);
    if (position.empty()) break;
    const SettingPair xy = ParseSettingPair(position);
    const std::string picture = skin.folder + "/control" + std::to_string(k) + ".bmp";
    const auto size = load(picture);
    if (!size) {
      if (k == 6) {
        // No turbo picture: the car has no turbo button.
        skin.turboMissing = true;
        skin.count = k + 1;
        continue;
      }
      ShowMessage(ui, 140, MsgIcon::Stop);
      return skin;
    }
    skin.pictures[static_cast<size_t>(k)] = picture;
    skin.rects[static_cast<size_t>(k)] =
        k == 0 ? Rect{0, 0, size->width, size->height}
               : Rect{xy.first, xy.second, xy.first + size->width, xy.second + size->height};
    skin.count = k + 1;
  }
  skin.complete = true;
  return skin;
}

}  // namespace viren
