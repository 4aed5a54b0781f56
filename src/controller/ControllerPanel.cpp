#include "controller/ControllerPanel.h"

#include "core/DriveInterfaces.h"
#include "core/DriveTypes.h"

namespace viren {

void ControllerPanel::SetSkin(SkinType type, const std::array<Rect, kMaxButtons>& rects, int count,
                              bool turboEnabled, bool fourWheel) {
  type_ = type;
  rects_ = rects;
  count_ = count < 0 ? 0 : (count > kMaxButtons ? kMaxButtons : count);
  turboEnabled_ = turboEnabled;
  fourWheel_ = fourWheel;
  hot_ = -1;
  cursor_ = ControllerCursor::None;
  leverGrabLevel_ = 0;
}

Rect ControllerPanel::LeverRect() const {
  Rect r = rects_[6];
  const int level = drive_.SpeedLevel();
  const int dy = level == 3 ? -kLeverStep : (level == 1 ? kLeverStep : 0);
  r.top += dy;
  r.bottom += dy;
  return r;
}

int ControllerPanel::HitTest(Point p) const {
  const bool autoDriving = actions_.AutoDriving();
  for (int k = 1; k < count_; ++k) {
    if (k == 6 && !(turboEnabled_ && type_ == SkinType::Normal)) continue;
    if (autoDriving && k != 1 && k != 7) continue;
    const Rect& r = (type_ == SkinType::RoboQ && k == 2 && count_ > 6) ? LeverRect() : rects_[k];
    if (Contains(r, p)) return k;
  }
  return -1;
}

bool ControllerPanel::MouseDown(Point p) {
  hot_ = HitTest(p);
  if (hot_ < 0) {
    cursor_ = ControllerCursor::Move;
    return true;
  }
  cursor_ = ControllerCursor::Button;
  closeHeld_ = hot_ == 1;
  if (hot_ == 2 && type_ == SkinType::RoboQ) leverGrabLevel_ = drive_.SpeedLevel();
  return false;
}

bool ControllerPanel::MouseMove(Point p) {
  if (leverGrabLevel_ != 0) {
    const Rect lever = LeverRect();
    if (p.y >= lever.top && p.y < lever.bottom) return false;
    const Rect& middle = rects_[6];
    const int height = middle.bottom - middle.top;
    const int level = p.y < middle.top ? 3 : (p.y >= middle.top + height ? 1 : 2);
    if (level == drive_.SpeedLevel()) return false;
    drive_.SetSpeedLevel(level);
    return true;
  }
  hot_ = HitTest(p);
  cursor_ = hot_ < 0 ? ControllerCursor::None : ControllerCursor::Button;
  return false;
}

void ControllerPanel::MouseUp(Point) {
  closeHeld_ = false;
  if (hot_ >= 1) Release(hot_);
  leverGrabLevel_ = 0;
  cursor_ = ControllerCursor::None;
}

void ControllerPanel::Release(int k) {
  const std::uint32_t state = drive_.DriveState();
  int code = -1;
  switch (k) {
    case 1:
      actions_.PostExit();
      return;
    case 2: {
      const bool leverMoved = leverGrabLevel_ != 0 && leverGrabLevel_ != drive_.SpeedLevel();
      code = (leverMoved || !(state & DRIVE_STATE_FORWARD)) ? DRIVE_FORWARD : DRIVE_STOP;
      break;
    }
    case 3:
      code = (state & DRIVE_STATE_REVERSE) ? DRIVE_STOP : DRIVE_REVERSE;
      break;
    case 4:
      code = (state & DRIVE_STATE_LEFT) ? DRIVE_STRAIGHT : DRIVE_LEFT;
      break;
    case 5:
      code = (state & DRIVE_STATE_RIGHT) ? DRIVE_STRAIGHT : DRIVE_RIGHT;
      break;
    case 6:
      code = (state & DRIVE_STATE_TURBO) ? DRIVE_TURBO_OFF : DRIVE_TURBO_ON;
      break;
    case 7:
      if (actions_.ProgramCommandCount() < 2) {
        actions_.ShowAutoDrivingRefused();
        return;
      }
      if (state & DRIVE_STATE_AUTO) {
        drive_.SendDriveCommand(DRIVE_AUTO_OFF);
        actions_.StopAutoDriving();
      } else {
        drive_.SendDriveCommand(DRIVE_AUTO_ON);
        actions_.StartAutoDriving();
      }
      return;
    default:
      return;
  }
  // A four-wheel car turns on the spot: releasing the steering stops it.
  if (fourWheel_ && code == DRIVE_STRAIGHT) code = DRIVE_STOP;
  drive_.SendDriveCommand(code);
}

}  // namespace viren
