#include "controller/ControllerSkin.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "core/UiHost.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"

namespace viren {

namespace {

int SaturatedSum(int a, int b) {
  return static_cast<int>(
      std::clamp(static_cast<std::int64_t>(a) + b, std::int64_t{INT_MIN}, std::int64_t{INT_MAX}));
}

// Whether any pixel of `button` lies on the picture: a button wholly outside
// it could never be seen or clicked.
bool TouchesPicture(const Rect& button, const Rect& picture) {
  return button.left < picture.right && button.right > picture.left &&
         button.top < picture.bottom && button.bottom > picture.top;
}

ControllerSkin LoadSkin(
    const std::string& moduleFolder, SkinType type, UiHost& ui,
    const std::function<std::string(const std::string& key)>& position,
    const std::function<std::optional<PictureSize>(const std::string& path)>& load) {
  ControllerSkin skin;
  skin.type = type;
  skin.folder = moduleFolder + "/control" + std::to_string(static_cast<int>(type));

  for (int k = 0; k < ControllerPanel::kMaxButtons; ++k) {
    const std::string text = position("POSITION" + std::to_string(k));
    if (text.empty()) break;
    const SettingPair xy = ParseSettingPair(text);
    const std::string picture = skin.folder + "/control" + std::to_string(k) + ".bmp";
    const auto size = load(picture);
    if (!size) {
      if (k == 6) {
        // No turbo picture: the car has no turbo button.
        skin.turboMissing = true;
        skin.count = k + 1;
        continue;
      }
      ShowMessage(ui, MSG_CONTROLLER_PICTURE_FAILED, MsgIcon::Stop);
      return skin;
    }
    const Rect rect = k == 0 ? Rect{0, 0, size->width, size->height}
                             : Rect{xy.first, xy.second, SaturatedSum(xy.first, size->width),
                                    SaturatedSum(xy.second, size->height)};
    if (k > 0 && !TouchesPicture(rect, skin.rects[0])) {
      ShowMessage(ui, MSG_CONTROLLER_PICTURE_FAILED, MsgIcon::Stop);
      return skin;
    }
    skin.pictures[static_cast<size_t>(k)] = picture;
    skin.rects[static_cast<size_t>(k)] = rect;
    skin.count = k + 1;
  }
  skin.complete = true;
  return skin;
}

}  // namespace

ControllerSkin LoadControllerSkin(
    const Settings& settings, const std::string& moduleFolder, SkinType type, UiHost& ui,
    const std::function<std::optional<PictureSize>(const std::string& path)>& load) {
  const std::string ini =
      moduleFolder + "/control" + std::to_string(static_cast<int>(type)) + "/control.ini";
  return LoadSkin(
      moduleFolder, type, ui,
      [&](const std::string& key) { return settings.ReadSettingString("CONTROL", key, "", ini); },
      load);
}

ControllerSkin LoadControllerSkinText(
    std::string_view controlIni, const std::string& moduleFolder, SkinType type, UiHost& ui,
    const std::function<std::optional<PictureSize>(const std::string& path)>& load) {
  return LoadSkin(
      moduleFolder, type, ui,
      [&](const std::string& key) {
        std::string value = ini::Lookup(controlIni, "CONTROL", key).value_or("");
        if (value.size() > kMaxSettingLength) value.resize(kMaxSettingLength);
        return value;
      },
      load);
}

}  // namespace viren
