#include "simulation/TrackHeading.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/DriveTypes.h"
#include "settings/Settings.h"

namespace viren {

TrackHeading::TrackHeading(CarState& car, const DriveCommander& drive, const EngineState& engine)
    : car_(car), drive_(drive), engine_(engine), ring_(100) {}

void TrackHeading::LoadSettings(const Settings& settings) {
  SetSampling(settings.ReadInt(keys::SAMPLING_FRAME), settings.ReadInt(keys::SAMPLING_MINIMUM));
}

void TrackHeading::SetSampling(int frames, int minimum) {
  std::lock_guard lock(mutex_);
  ring_.assign(std::max(frames, 1), Sample{});
  ringIndex_ = 0;
  ringCount_ = 0;
  minimum_ = minimum;
}

void TrackHeading::ResetPositionRing() {
  std::lock_guard lock(mutex_);
  ringIndex_ = 0;
  ringCount_ = 0;
  car_.turnCountAtCommand = car_.turnCount.load();
}

TrackHeading::Sample TrackHeading::At(int index) const {
  const int n = static_cast<int>(ring_.size());
  return ring_[((index % n) + n) % n];
}

void TrackHeading::UpdateHeading(double x, double y) {
  const std::uint32_t s = drive_.DriveState();
  if (!(s & DRIVE_STATE_MOVING)) return;
  std::lock_guard lock(mutex_);
  const int size = static_cast<int>(ring_.size());
  ringIndex_ = (ringIndex_ + 1) % size;
  ringCount_ = std::min(ringCount_ + 1, size);
  ring_[ringIndex_] = Sample{x, y};
  if (ringCount_ < minimum_) return;

  const Sample oldest = At(ringIndex_ - ringCount_ + 1);
  const Sample middle = At(ringIndex_ - (ringCount_ + 1) / 2 + 1);
  const Sample newest = At(ringIndex_);

  if (s & DRIVE_STATE_STEERING) {
    const double x1 = oldest.x, y1 = oldest.y;
    const double x2 = middle.x, y2 = middle.y;
    const double x3 = newest.x, y3 = newest.y;
    const double det = (y1 - y2) * (x1 - x3) - (y1 - y3) * (x1 - x2);
    if (det == 0) return;
    const double a = (x1 - x2) * (x1 + x2) / 2 + (y1 - y2) * (y1 + y2) / 2;
    const double b = (x1 - x3) * (x1 + x3) / 2 + (y1 - y3) * (y1 + y3) / 2;
    const double cx = (b * (y1 - y2) - a * (y1 - y3)) / det;
    const double cy = (a * (x1 - x3) - b * (x1 - x2)) / det;
    car_.turnCentre = Point{static_cast<std::int32_t>(cx), static_cast<std::int32_t>(cy)};
    const double dx = x - cx;
    const double dy = y - cy;
    double angle = std::atan2(dy, dx) + ((s & DRIVE_STATE_RIGHT) ? kHalfPi : -kHalfPi);
    if (angle > kPi)
      angle -= kTwoPi;
    else if (angle < -kPi)
      angle += kTwoPi;
    car_.carDirection = angle;
    if (!engine_.simulating) {
      const double last = car_.lastDirection;
      if (last > kHalfPi && angle < -kHalfPi)
        ++car_.turnCount;
      else if (last < -kHalfPi && angle > kHalfPi)
        --car_.turnCount;
      car_.lastDirection = angle;
    }
    if (ringCount_ == size || car_.turnRadius == 0)
      car_.turnRadius = static_cast<int>(std::sqrt(dx * dx + dy * dy));
    return;
  }
  if (s & DRIVE_STATE_FORWARD)
    car_.carDirection = std::atan2(newest.y - oldest.y, newest.x - oldest.x);
  else
    car_.carDirection = std::atan2(oldest.y - newest.y, oldest.x - newest.x);
}

}  // namespace viren
