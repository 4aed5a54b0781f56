#pragma once

#include "core/Geometry.h"

namespace viren {

// What a running program needs of the sound list. The sound subsystem
// implements it. LoadSound is called on the thread that starts the run and
// shows its own error; the others on the driving thread.
class SoundControl {
 public:
  virtual ~SoundControl() = default;
  // Negative status when sound `number` cannot be loaded (the error has been
  // shown); the run is then not started.
  virtual int LoadSound(int number) = 0;
  virtual void PlaySound(int number, bool repeat) = 0;
  virtual void StopSound(int number) = 0;
  virtual void StopAllSounds() = 0;
};

// The learned ball as following and the simulation see it. The ball
// recognition implements it; ballRect is written by the recognition (capture
// thread) and by the simulation. Any thread.
class BallControl {
 public:
  virtual ~BallControl() = default;
  virtual bool HasBallPattern() const = 0;
  virtual int PatternSize() const = 0;  // 64 until a pattern is loaded
  virtual Rect BallRect() const = 0;    // image coordinates
  virtual void SetBallRect(const Rect& rect) = 0;
};

// The simulated car, which a start of automatic driving puts back at its
// starting point. Any thread.
class SimulatedCar {
 public:
  virtual ~SimulatedCar() = default;
  virtual void PlaceCar(double x, double y, double heading) = 0;
};

// What the run tells the rest of the program. Every method has a default
// that does nothing, so a part fills in only what it shows.
class DrivingObserver {
 public:
  virtual ~DrivingObserver() = default;
  // Driving thread: command `index` starts (the program view shows the
  // selection frame on it while viewMode is VIEW_PROGRAM).
  virtual void OnCommandStarted(int /*index*/) {}
  // Driving thread, ROBO-Q: SpeedLevel changed (the cab skin's lever).
  virtual void OnSpeedLevelChanged(int /*level*/) {}
  // Driving thread, after the final stop of a run once start-up is complete:
  // repaint the automatic-driving button released and publish the status
  // block when the program interface is active.
  virtual void OnRunEnded() {}
  // The position log's snapshot; the implementation writes only when
  // LOG_POSITION is set.
  virtual void WritePositionSnapshot() {}
  // Double-click on the cheese while a command's point is being placed: the
  // editor accepts the point and closes its position window.
  virtual void AcceptPositionDefinition() {}
};

}  // namespace viren
