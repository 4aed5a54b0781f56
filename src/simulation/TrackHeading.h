#pragma once

#include <mutex>
#include <vector>

#include "core/CarState.h"
#include "core/DriveInterfaces.h"
#include "core/EngineState.h"
#include "core/Geometry.h"

namespace viren {

class Settings;

// Derives the normal car's heading after each move of the simulated car.
// The frame analysis has the same operation (UpdateHeading) for camera
// frames; the engine may hand the simulation that one instead.
class HeadingUpdater {
 public:
  virtual ~HeadingUpdater() = default;
  virtual void UpdateHeading() = 0;
};

// The heading of a car without a marker, from the track of its recent
// positions: the direction from the oldest to the newest sample when driving
// straight, the tangent of the circle through the oldest, middle and newest
// samples when steering. The track restarts on every change of driving or
// steering (ResetPositionRing), so only positions since then count.
//
// UpdateHeading runs on the simulation thread, ResetPositionRing on whichever
// thread sends a drive command.
class TrackHeading final : public HeadingUpdater {
 public:
  TrackHeading(CarState& car, const DriveCommander& drive, const EngineState& engine);

  // [VIEW] SAMPLING_FRAME (ring capacity) and SAMPLING_MINIMUM.
  void LoadSettings(const Settings& settings);
  void SetSampling(int frames, int minimum);

  void UpdateHeading() override;
  void ResetPositionRing();

 private:
  Point At(int index) const;

  CarState& car_;
  const DriveCommander& drive_;
  const EngineState& engine_;
  std::mutex mutex_;
  std::vector<Point> ring_;
  int ringIndex_ = 0;
  int ringCount_ = 0;
  int minimum_ = 5;
};

}  // namespace viren
