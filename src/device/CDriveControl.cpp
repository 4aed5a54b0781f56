#include "device/CDriveControl.h"

#include "core/EngineState.h"
#include "device/MessageDeferral.h"

namespace viren {

namespace {

constexpr std::uint32_t ButtonBit(int button) {
  return 1u << (button - 1);
}

}  // namespace

CDriveControl::CDriveControl(EngineState& state, DriveOutput& relay, DriveOutput& roboQ,
                             std::atomic<int>& speedLevel)
    : state_(state), relay_(relay), roboQ_(roboQ), speedLevel_(speedLevel) {}

DeviceMode CDriveControl::deviceMode() const {
  if (state_.controlRoboQ) return DeviceMode::RoboQ;
  return state_.control4WD ? DeviceMode::Relay4WD : DeviceMode::Relay;
}

std::uint32_t CDriveControl::ChangeDriveState(std::uint32_t setBits, std::uint32_t clearBits) {
  std::lock_guard lock(commandMutex_);
  const std::uint32_t now = (driveState_.load() & ~clearBits) | setBits;
  driveState_ = now;
  return now;
}

void CDriveControl::SendDriveCommand(int code, SendTo to) {
  MessageDeferral deferral;  // declared first: shows messages after the unlock
  std::lock_guard lock(commandMutex_);
  ApplyLocked(code, to);
}

void CDriveControl::Repaint(int button, std::uint32_t state) {
  if (ControllerView* view = view_.load())
    view->RepaintButton(button, (state & ButtonBit(button)) != 0);
}

void CDriveControl::ApplyLocked(int code, SendTo to) {
  const bool fourWheel = state_.fourWheel();
  if (code >= DRIVE_STOP && code <= DRIVE_AUTO_OFF) {
    if (code == DRIVE_STOP) {
      if (logPosition_)
        if (PositionTrack* track = track_.load()) track->WritePositionSnapshot();
      // Letting go of the throttle also lets go of turbo.
      if (driveState_.load() & DRIVE_STATE_MOVING) ApplyLocked(DRIVE_TURBO_OFF, to);
    }
    const std::uint32_t before = driveState_.load();
    std::uint32_t set = 0;
    std::uint32_t clear = 0;
    switch (code) {
      case DRIVE_STOP:
        clear = DRIVE_STATE_MOVING;
        break;
      case DRIVE_FORWARD:
        set = DRIVE_STATE_FORWARD;
        clear = DRIVE_STATE_REVERSE;
        break;
      case DRIVE_REVERSE:
        set = DRIVE_STATE_REVERSE;
        clear = DRIVE_STATE_FORWARD;
        break;
      case DRIVE_STRAIGHT:
        clear = DRIVE_STATE_STEERING;
        break;
      case DRIVE_LEFT:
        set = DRIVE_STATE_LEFT;
        clear = DRIVE_STATE_RIGHT;
        break;
      case DRIVE_RIGHT:
        set = DRIVE_STATE_RIGHT;
        clear = DRIVE_STATE_LEFT;
        break;
      case DRIVE_TURBO_ON:
        set = DRIVE_STATE_TURBO;
        break;
      case DRIVE_TURBO_OFF:
        clear = DRIVE_STATE_TURBO;
        break;
      case DRIVE_AUTO_ON:
        set = DRIVE_STATE_AUTO;
        break;
      case DRIVE_AUTO_OFF:
        clear = DRIVE_STATE_AUTO;
        break;
    }
    // A skid-steer car drives or turns on the spot, never both.
    const bool driving = code <= DRIVE_REVERSE;
    const bool steering = code >= DRIVE_STRAIGHT && code <= DRIVE_RIGHT;
    if (fourWheel && driving) clear |= DRIVE_STATE_STEERING;
    if (fourWheel && steering) clear |= DRIVE_STATE_MOVING;
    const std::uint32_t after = (before & ~clear) | set;
    driveState_ = after;

    if (driving) {
      Repaint(2, after);
      Repaint(3, after);
    } else if (steering) {
      Repaint(4, after);
      Repaint(5, after);
    } else if (code <= DRIVE_TURBO_OFF) {
      Repaint(6, after);
    } else {
      Repaint(7, after);
    }
    if (fourWheel && driving) {
      if (before & DRIVE_STATE_LEFT)
        Repaint(4, after);
      else if (before & DRIVE_STATE_RIGHT)
        Repaint(5, after);
    }
    if (fourWheel && steering) {
      if (before & DRIVE_STATE_FORWARD)
        Repaint(2, after);
      else if (before & DRIVE_STATE_REVERSE)
        Repaint(3, after);
    }
  }

  // The devices ignore codes they have no use for; the result is the device's
  // own business (it shows its messages).
  if (to == SendTo::Device && !state_.simulating)
    (state_.controlRoboQ ? roboQ_ : relay_).Output(code);

  if (state_.interfaceActive)
    if (StatusPublisher* publisher = publisher_.load())
      publisher->PublishStatus(driveState_.load());

  if (code >= DRIVE_FORWARD && code <= DRIVE_RIGHT)
    if (PositionTrack* track = track_.load()) track->ResetPositionRing();
}

}  // namespace viren
