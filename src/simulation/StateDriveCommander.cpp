#include "simulation/StateDriveCommander.h"

#include "core/DriveTypes.h"

namespace viren {

void StateDriveCommander::SendDriveCommand(int code, SendTo /*to*/) {
  {
    std::lock_guard lock(mutex_);
    ApplyLocked(code);
  }
  if (code >= DRIVE_FORWARD && code <= DRIVE_RIGHT && trackReset_) trackReset_();
}

void StateDriveCommander::ApplyLocked(int code) {
  if (code < DRIVE_STOP || code > DRIVE_AUTO_OFF) return;
  std::uint32_t s = state_;
  if (code == DRIVE_STOP && (s & DRIVE_STATE_MOVING)) {
    ApplyLocked(DRIVE_TURBO_OFF);
    s = state_;
  }
  history_.push_back(code);
  switch (code) {
    case DRIVE_STOP:
      s &= ~DRIVE_STATE_MOVING;
      break;
    case DRIVE_FORWARD:
      s = (s | DRIVE_STATE_FORWARD) & ~DRIVE_STATE_REVERSE;
      break;
    case DRIVE_REVERSE:
      s = (s | DRIVE_STATE_REVERSE) & ~DRIVE_STATE_FORWARD;
      break;
    case DRIVE_STRAIGHT:
      s &= ~DRIVE_STATE_STEERING;
      break;
    case DRIVE_LEFT:
      s = (s | DRIVE_STATE_LEFT) & ~DRIVE_STATE_RIGHT;
      break;
    case DRIVE_RIGHT:
      s = (s | DRIVE_STATE_RIGHT) & ~DRIVE_STATE_LEFT;
      break;
    case DRIVE_TURBO_ON:
      s |= DRIVE_STATE_TURBO;
      break;
    case DRIVE_TURBO_OFF:
      s &= ~DRIVE_STATE_TURBO;
      break;
    case DRIVE_AUTO_ON:
      s |= DRIVE_STATE_AUTO;
      break;
    case DRIVE_AUTO_OFF:
      s &= ~DRIVE_STATE_AUTO;
      break;
    default:
      break;
  }
  if (engine_.fourWheel()) {
    // Two motors: driving and turning on the spot exclude each other.
    if (code <= DRIVE_REVERSE) s &= ~DRIVE_STATE_STEERING;
    if (code >= DRIVE_STRAIGHT && code <= DRIVE_RIGHT) s &= ~DRIVE_STATE_MOVING;
  }
  state_ = s;
}

std::vector<int> StateDriveCommander::History() const {
  std::lock_guard lock(mutex_);
  return history_;
}

void StateDriveCommander::ClearHistory() {
  std::lock_guard lock(mutex_);
  history_.clear();
}

}  // namespace viren
