#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/CarState.h"
#include "core/Clock.h"
#include "core/DriveInterfaces.h"

namespace viren {

class Settings;

// The parts of the calibration manoeuvre, in the order the car drives them.
enum class CalibrationPhase { Waiting, Straight, Left, Right, Done };

// One analysed position of the car during the manoeuvre.
struct CalibrationSample {
  std::int64_t tMs = 0;
  double x = 0;
  double y = 0;
  CalibrationPhase phase = CalibrationPhase::Waiting;
};

// What the manoeuvre measured, in layout pixels.
struct CalibrationResult {
  bool valid = false;
  double speed = 0;  // pixels a second, from the straight run
  double radiusLeft = 0;
  double radiusRight = 0;
  double radius() const { return (radiusLeft + radiusRight) / 2; }
  // The simulation's steps for a time step of `stepMs` milliseconds.
  double PositionStep(int stepMs) const { return speed * stepMs / 1000.0; }
  double DirectionStep(int stepMs) const { return PositionStep(stepMs) / radius(); }
};

// Radius of the circle that fits the points best (least squares on the
// circle's algebraic form); 0 for fewer than three points or a straight line.
double FitCircleRadius(const std::vector<CalibrationSample>& points);

// Measures speed and turning radius from the samples of a manoeuvre. The
// first `settleMs` of each part are left out: the car gets up to speed and
// the steering to full lock.
CalibrationResult MeasureCalibration(const std::vector<CalibrationSample>& samples, int settleMs);

// Stores a result as the simulation's POSITION_STEP and DIRECTION_STEP in
// option.ini's [SIMULATION], for the time step the simulation runs with.
// False when a file could not be written.
bool StoreCalibration(const Settings& settings, const CalibrationResult& result, int stepMs);

// Drives the real car through the calibration manoeuvre while the camera
// watches: once the car has been seen, straight ahead, then on full lock to
// the left, then to the right, each for a set time; then it stops and lets
// go of every button. Cancel (Esc) ends it at once, the car let go of too.
//
// Start, Cancel and Result on the window thread (or viren-run's); OnFrame on
// the thread that analyses frames; the manoeuvre on a thread of its own.
class CalibrationRun {
 public:
  struct Timing {
    int straightMs = 2000;
    int lockMs = 3000;  // each way
    int settleMs = 500;
    int waitForCarMs = 5000;  // how long the camera may take to see the car
  };
  CalibrationRun(Clock& clock, DriveCommander& drive, const CarState& car);
  ~CalibrationRun();
  CalibrationRun(const CalibrationRun&) = delete;
  CalibrationRun& operator=(const CalibrationRun&) = delete;

  void Start(const Timing& timing);
  void Start() { Start(Timing{}); }
  void Cancel();
  // Waits for the manoeuvre's thread to end.
  void Wait();
  bool running() const { return running_; }
  CalibrationPhase phase() const { return phase_; }
  // After the manoeuvre: the measurement (invalid when cancelled or the car
  // was not seen well enough).
  CalibrationResult Result() const;
  std::vector<CalibrationSample> Samples() const;

  // After every analysed frame.
  void OnFrame();

 private:
  void Manoeuvre();
  void Release();
  // Sleeps `ms` or until cancelled; false when cancelled.
  bool Hold(int ms);

  Clock& clock_;
  DriveCommander& drive_;
  const CarState& car_;
  Timing timing_;
  std::unique_ptr<ClockEvent> wake_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> seen_{false};
  std::atomic<CalibrationPhase> phase_{CalibrationPhase::Done};
  mutable std::mutex samplesMutex_;
  std::vector<CalibrationSample> samples_;
  bool finished_ = false;  // guarded by samplesMutex_
};

}  // namespace viren
