#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "core/CarState.h"
#include "core/Clock.h"
#include "core/DriveInterfaces.h"
#include "core/EngineState.h"
#include "program/DrivingInterfaces.h"
#include "program/ProgramRunner.h"
#include "simulation/TrackHeading.h"

namespace viren {

class Settings;

// [SIMULATION] values, read once at start-up; the real ones are held as
// single-precision numbers. A key in option.ini's [SIMULATION] (where the
// parameter dialog and the calibration store theirs) stands over VIREN.ini's.
struct SimulationSettings {
  int speedMs = 10;  // pause while moving (or in four-wheel mode); <= 0: none
  float positionStep = 8.0f;
  float directionStep = 0.02f;
  float turbo = 2.0f;
  float roboQ = 0.5f;
  // Camera-like errors on the reported position, while switched on
  // (EngineState::cameraErrors, from CAMERA_ERRORS at start-up).
  bool cameraErrors = false;
  float cameraNoise = 1.0f;      // standard deviation of x and y, pixels
  int cameraDropPercent = 10;    // frames in which the car is not found
  int cameraDelayMs = 100;       // age of the position a frame reports
  int cameraRate = 30;           // frames a second; between them nothing is seen
  std::uint32_t cameraSeed = 1;  // the same seed gives the same errors
  static SimulationSettings Load(const Settings& settings);
};

// The "Position" block of the program interface; called only while the
// interface is active, on the simulation thread.
class SimulationPositionPublisher {
 public:
  virtual ~SimulationPositionPublisher() = default;
  virtual void PublishPosition() = 0;
};

// The window side of the simulation: leaving the program editor and sizing
// the view at the start (window thread), and drawing each step (simulation
// thread; not called while the program view is shown).
class SimulationView {
 public:
  virtual ~SimulationView() = default;
  virtual void LeaveProgramEditor() {}
  virtual void FitFrameToClient(int /*width*/, int /*height*/) {}
  virtual void DrawStep() {}
};

// Told after every step, on the simulation thread (the headless track).
class SimulationStepObserver {
 public:
  virtual ~SimulationStepObserver() = default;
  virtual void OnSimulationStep() = 0;
};

// The simulated car's pose, in layout pixels and radians.
struct SimulatedPose {
  double x = 0;
  double y = 0;
  double theta = 0;  // 0 toward +x, growing clockwise on the screen
};

// Moves a virtual car from the buttons held in DriveState, in fixed time
// steps on its own thread, and writes the car state as the frame analysis
// would, waking the driving program after each step as a frame would.
//
// Start and Stop are called on the window thread (or the program interface's);
// Step is the thread's body and is public so that tests can drive it.
class Simulator final : public SimulatedCar {
 public:
  Simulator(EngineState& engine, CarState& car, DriveCommander& drive, ProgramRunner& runner,
            Clock& clock);
  ~Simulator() override;
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  void SetHeading(HeadingUpdater* heading) { heading_ = heading; }
  void SetPublisher(SimulationPositionPublisher* publisher) { publisher_ = publisher; }
  void SetView(SimulationView* view) { view_ = view ? view : &noView_; }
  void SetBall(BallControl* ball) { ball_ = ball; }
  void SetStepObserver(SimulationStepObserver* observer) { stepObserver_ = observer; }

  // Start-up step.
  void LoadSimulationSettings(const Settings& settings);
  void SetSettings(const SimulationSettings& settings) { settings_ = settings; }
  const SimulationSettings& settings() const { return settings_; }

  // The menu toggle (command 32869) and the start-up offer.
  void ToggleSimulation();
  // Layout view with the car figure, a 640 x 480 view, the car at its centre,
  // then the thread. Nothing happens while it runs already.
  void StartSimulation();
  // Ends the thread after its current step and waits for it.
  void StopSimulation();

  // The car at the centre of the view, heading 0 (done by the start).
  void ResetCar();
  void PlaceCar(double x, double y, double heading) override;
  SimulatedPose Pose() const;

  // One step: following, motion, turn count, wake-up. Returns the pause in
  // milliseconds that follows it (0: none).
  int Step();

 private:
  void Thread();
  void RecomputeBallRect(Point cheese);
  // The camera's view of the car at (x, y): false between frames and when a
  // frame does not find it, else the position as reported, late and noisy.
  bool SeeCar(double x, double y, double& seenX, double& seenY);
  void WriteCarPosition(double x, double y);
  int PatternSize() const { return ball_ ? ball_->PatternSize() : 64; }

  EngineState& engine_;
  CarState& car_;
  DriveCommander& drive_;
  ProgramRunner& runner_;
  Clock& clock_;
  HeadingUpdater* heading_ = nullptr;
  SimulationPositionPublisher* publisher_ = nullptr;
  SimulationView noView_;
  SimulationView* view_ = &noView_;
  BallControl* ball_ = nullptr;
  SimulationStepObserver* stepObserver_ = nullptr;
  SimulationSettings settings_;

  mutable std::mutex poseMutex_;
  SimulatedPose pose_;

  // Camera errors; simulation thread only (reset before it starts).
  struct TimedPosition {
    std::int64_t ms;
    double x, y;
  };
  std::mt19937 cameraRandom_;
  std::deque<TimedPosition> cameraHistory_;
  double nextFrameMs_ = 0;

  std::mutex lifecycle_;
  std::unique_ptr<ClockEvent> event_;
  std::thread thread_;
};

}  // namespace viren
