// A controller skin's settings as control.ini gives them, with pictures of
// the sizes the script says (or missing), then the controller used with the
// mouse: buttons pressed, the lever dragged, the window moved.
#include "../api/ApiFakes.h"
#include "FuzzSupport.h"
#include "controller/ControllerPanel.h"
#include "controller/ControllerSkin.h"

using namespace viren;

namespace {

struct Actions : ControllerActions {
  void PostExit() override {}
  int ProgramCommandCount() const override { return 2; }
  bool AutoDriving() const override { return autoDriving; }
  void StartAutoDriving() override { autoDriving = true; }
  void StopAutoDriving() override { autoDriving = false; }
  void ShowAutoDrivingRefused() override {}
  bool autoDriving = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput in(data, size);
  const SkinType type = in.Bool() ? SkinType::RoboQ : SkinType::Normal;
  const bool turbo = in.Bool();
  const bool fourWheel = in.Bool();
  std::optional<PictureSize> sizes[ControllerPanel::kMaxButtons];
  for (auto& s : sizes)
    if (in.Range(0, 15) != 0) s = PictureSize{in.Range(1, 16384), in.Range(1, 16384)};
  const std::string_view script = in.Text(255);
  const std::string_view ini = in.RestText();

  fuzz::CountingUiHost ui;
  const ControllerSkin skin =
      LoadControllerSkinText(ini, "/nonexistent", type, ui, [&](const std::string& path) {
        const int k = path[path.size() - 5] - '0';  // ".../control<k>.bmp"
        FUZZ_CHECK(k >= 0 && k < ControllerPanel::kMaxButtons);
        return sizes[k];
      });
  FUZZ_CHECK(skin.count >= 0 && skin.count <= ControllerPanel::kMaxButtons);
  FUZZ_CHECK(skin.complete == ui.ids.empty());
  for (int id : ui.ids) FUZZ_CHECK(id == MSG_CONTROLLER_PICTURE_FAILED);
  const Rect whole = skin.rects[0];
  for (int k = 1; k < skin.count; ++k) {
    const Rect& r = skin.rects[static_cast<std::size_t>(k)];
    if (skin.pictures[static_cast<std::size_t>(k)].empty()) continue;  // no turbo picture
    // Every button can be seen and clicked somewhere on the controller.
    FUZZ_CHECK(r.left < r.right && r.top < r.bottom);
    FUZZ_CHECK(r.left < whole.right && r.right > whole.left && r.top < whole.bottom &&
               r.bottom > whole.top);
  }

  test::FakeDrive drive;
  Actions actions;
  ControllerPanel panel(drive, actions);
  panel.SetSkin(type, skin.rects, skin.count, turbo && !skin.turboMissing, fourWheel);
  fuzz::FuzzInput mouse(reinterpret_cast<const std::uint8_t*>(script.data()), script.size());
  while (!mouse.empty()) {
    const Point p{mouse.Range(-10, whole.right + 10), mouse.Range(-40, whole.bottom + 40)};
    switch (mouse.Range(0, 2)) {
      case 0:
        panel.MouseDown(p);
        break;
      case 1:
        panel.MouseMove(p);
        break;
      case 2:
        panel.MouseUp(p);
        break;
    }
    const int hot = panel.hotButton();
    FUZZ_CHECK(hot >= -1 && hot < ControllerPanel::kMaxButtons);
  }
  return 0;
}
