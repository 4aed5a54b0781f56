#pragma once

#include <mutex>
#include <vector>

#include "core/CarState.h"
#include "core/DriveInterfaces.h"
#include "core/EngineState.h"
#include "core/Geometry.h"

namespace viren {

class Settings;

// Derives the normal car's heading after each move of the simulated car,
// given the car's exact (unrounded) position.
class HeadingUpdater {
 public:
  virtual ~HeadingUpdater() = default;
  virtual void UpdateHeading(double x, double y) = 0;
};

// The heading of a car without a marker, from the track of its recent
// positions, as the frame analysis derives it: the direction from the oldest
// to the newest sample when driving straight, the tangent of the circle
// through the oldest, middle and newest samples when steering. The track
// restarts on every change of driving or steering (ResetPositionRing), so only
// positions since then count, and a heading needs SAMPLING_MINIMUM of them.
//
// The simulated car's samples are its exact positions, not the whole pixels
// it reports: at 8 px a step on a turning circle of 400 px, the circle through
// rounded samples lies on the wrong side often enough to turn the heading
// round by half a turn, which would end every angle wait at once.
//
// UpdateHeading runs on the simulation thread, ResetPositionRing on whichever
// thread sends a drive command.
class TrackHeading final : public HeadingUpdater {
 public:
  TrackHeading(CarState& car, const DriveCommander& drive, const EngineState& engine);

  // [VIEW] SAMPLING_FRAME (ring capacity) and SAMPLING_MINIMUM.
  void LoadSettings(const Settings& settings);
  void SetSampling(int frames, int minimum);

  void UpdateHeading(double x, double y) override;
  void ResetPositionRing();

 private:
  struct Sample {
    double x = 0;
    double y = 0;
  };
  Sample At(int index) const;

  CarState& car_;
  const DriveCommander& drive_;
  const EngineState& engine_;
  std::mutex mutex_;
  std::vector<Sample> ring_;
  int ringIndex_ = 0;
  int ringCount_ = 0;
  int minimum_ = 5;
};

}  // namespace viren
