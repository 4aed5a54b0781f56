#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "core/CarState.h"
#include "core/Clock.h"
#include "core/DriveInterfaces.h"
#include "core/EngineState.h"
#include "core/Geometry.h"
#include "program/DrivingInterfaces.h"
#include "program/DrivingProgram.h"

namespace viren {

class Settings;

// [AUTO] and [PM] values, read once at start-up.
struct DrivingSettings {
  int emergencyCount = 15;
  int positionRange = 32;   // a target is reached closer than this, layout pixels
  int directionRange = 90;  // degrees of heading error before steering starts
  int escapeDistance = 100;
  double DirectionRangeRadians() const { return directionRange * 3.14159 * 0.005555555555555556; }
  static DrivingSettings Load(const Settings& settings);
};

// The steering memory and the wait flag that the driving thread, the
// capture thread, the simulation and the window thread share.
struct DrivingState {
  std::atomic<int> waitActive{0};  // 1 while the program waits; following keeps out
  std::atomic<int> ballDistance{100};
  std::atomic<double> lastSteerError{0.0};  // 0: no steering yet
  std::atomic<int> steerTurnMark{0};
  std::atomic<int> steerDistanceMark{0};
  AtomicPoint dragOffset{Point{999, 0}};  // x 999: the cheese is not dragged
  std::atomic<bool> cheeseHover{false};
};

enum class CheeseAction { Press, Move, Release, DoubleClick };

// Who runs a following step. After a frame of a camera view the car is seen
// in image coordinates and the ranges scale with the frame width; after a
// frame of the layout view all is in layout pixels. The simulation's step is
// in layout pixels too and differs in four ways: it neither asks for nor
// clears targetActive, it avoids the ball whatever the run or the editor
// does, during a run it follows the ball but not the cheese alone, and it
// keeps POSITION_RANGE during a run.
enum class FollowSource { CameraView, LayoutView, Simulation };

// Automatic driving: walks the start chain of the program on its own thread,
// sends drive commands, waits on timers and on frames, and steers toward or
// away from the cheese or the ball.
//
// Start, stop and the menu operations may be called from the window thread
// and the program-interface thread; StopAutoDriving also from the driving
// thread itself (the end command). A run's thread is always joined before the
// next one starts. NotifyFrame, SteerToward, SteerAway and FollowStep are
// called by whoever analyses frames (capture or simulation thread).
class ProgramRunner {
 public:
  ProgramRunner(EngineState& engine, CarState& car, DriveCommander& drive, DrivingProgram& program,
                Clock& clock);
  ~ProgramRunner();
  ProgramRunner(const ProgramRunner&) = delete;
  ProgramRunner& operator=(const ProgramRunner&) = delete;

  // Wiring, before start-up completes.
  void SetSound(SoundControl* sound) { sound_ = sound; }
  void SetBall(BallControl* ball) { ball_ = ball; }
  void SetSimulatedCar(SimulatedCar* car) { simulatedCar_ = car; }
  void SetObserver(DrivingObserver* observer) { observer_ = observer ? observer : &noObserver_; }
  void SetEngineReady(bool ready) { engineReady_ = ready; }

  // Start-up step: [AUTO] keys, EscapeDistance, the course range source, the
  // cheese at the centre of the view, steering memory cleared.
  void LoadDrivingSettings(const Settings& settings);
  // Shut-down step: ends a run that may still go on and joins its thread.
  void ReleaseDrivingResources();

  // Starts a run from the start command. The caller has checked that there
  // is something to run (count >= 2). Negative when a sound of the program
  // cannot be loaded; no thread is started then.
  int StartAutoDriving();
  // Ends a run: sounds stop, the thread leaves any wait at once and sends the
  // final stop itself. Does not wait for the thread.
  void StopAutoDriving();
  // Menu command 32824 during a run: ends it without touching sounds or
  // the following modes.
  void EndRunFromMenu();
  // Signals frameEvent while a run goes on: one analysed frame or
  // simulation step.
  void NotifyFrame();

  // One steering step; 1 when reached (toward) or escaped (away).
  int SteerToward(Point target, Point car, int range);
  int SteerAway(Point target, Point car, int range);
  // Steers toward or away from the cheese or the ball once the car's place
  // is known (after a frame `frameWidth` wide, or a simulation step); stops
  // the car when it arrives or has escaped.
  void FollowStep(FollowSource source, int frameWidth = kLayoutWidth);

  // The menu's follow commands and the interface's end of both modes.
  void ToggleFollowMode(FollowToggle mode);
  // The view's mouse on the cheese marker.
  void MoveCheese(CheeseAction action, Point point);

  const DrivingSettings& settings() const { return settings_; }
  DrivingState& state() { return state_; }
  const DrivingState& state() const { return state_; }
  // The command being executed, -1 when no run goes on.
  int CurrentCommand() const;
  // Runs started so far; commands begun in the current or last run (the
  // start command not counted).
  int runNumber() const { return runNumber_; }
  int executedCommands() const { return executedCommands_; }
  // Driving threads alive at this moment and at most so far (never above 1).
  int liveThreads() const { return liveThreads_; }
  int maxLiveThreads() const { return maxLiveThreads_; }

 private:
  void AutoDrivingThread();
  // The steering shared by SteerToward and SteerAway once the heading error
  // `e` is known: straighten when the error changes sign, give up after two
  // circles when the distance grows, steer when |e| exceeds `threshold`.
  int SteerStep(std::uint32_t driveState, double e, std::int64_t d2, double threshold);
  void Execute(const EventRecord& r);
  void WaitDistance(int distance);
  void WaitTurn(int amount, int turnMode);
  void WaitLeaveArea(int option);
  void DriveToPoint(int option, int x, int y);
  void BallWait();
  bool Running() const { return engine_.autoDriving.load(); }
  bool Has(std::uint32_t bits) const { return (drive_.DriveState() & bits) != 0; }
  void Send(int code) { drive_.SendDriveCommand(code); }
  int CameraWidth() const;

  EngineState& engine_;
  CarState& car_;
  DriveCommander& drive_;
  DrivingProgram& program_;
  Clock& clock_;
  const Settings* settingsFile_ = nullptr;
  SoundControl* sound_ = nullptr;
  BallControl* ball_ = nullptr;
  SimulatedCar* simulatedCar_ = nullptr;
  DrivingObserver noObserver_;
  DrivingObserver* observer_ = &noObserver_;
  std::atomic<bool> engineReady_{true};

  DrivingSettings settings_;
  DrivingState state_;
  std::unique_ptr<ClockEvent> frameEvent_;
  std::unique_ptr<ClockEvent> wakeEvent_;

  std::mutex lifecycle_;  // one start (and its join) at a time
  std::thread thread_;
  std::atomic<std::thread::id> threadId_{};
  std::atomic<int> liveThreads_{0};
  std::atomic<int> maxLiveThreads_{0};
  std::atomic<int> runNumber_{0};
  std::atomic<int> executedCommands_{0};
  int commandsWithoutWait_ = 0;  // driving thread only
};

}  // namespace viren
