#include "simulation/SimulatedRun.h"

#include <cstdio>
#include <memory>
#include <mutex>

#include "core/CarState.h"
#include "core/Clock.h"
#include "core/EngineState.h"
#include "program/DrivingProgram.h"
#include "program/ProgramFile.h"
#include "program/ProgramRunner.h"
#include "settings/Settings.h"
#include "simulation/Simulator.h"
#include "simulation/StateDriveCommander.h"
#include "simulation/TrackHeading.h"

namespace viren {

std::string FormatTrackRow(const TrackRow& row) {
  char line[160];
  std::snprintf(line, sizeof line, "%lld,%d,%d,%.5f,%d,%u,%d", static_cast<long long>(row.tMs),
                row.position.x, row.position.y, row.direction, row.turnCount, row.driveState,
                row.command);
  return line;
}

void TrackRecorder::Record() {
  TrackRow row;
  row.tMs = clock_.NowMs();
  row.position = car_.carLayoutPosition;
  row.direction = car_.carDirection;
  row.turnCount = car_.turnCount;
  row.driveState = drive_.DriveState();
  row.command = runner_.CurrentCommand();
  std::lock_guard lock(mutex_);
  rows_.push_back(row);
}

std::vector<TrackRow> TrackRecorder::Rows() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

namespace {

// Without a learned ball the simulated one has the default pattern size.
class SimulatedBall final : public BallControl {
 public:
  bool HasBallPattern() const override { return false; }
  int PatternSize() const override { return 64; }
  Rect BallRect() const override {
    std::lock_guard lock(mutex_);
    return rect_;
  }
  void SetBallRect(const Rect& rect) override {
    std::lock_guard lock(mutex_);
    rect_ = rect;
  }

 private:
  mutable std::mutex mutex_;
  Rect rect_;
};

}  // namespace

int RunProgramOnSimulatedCar(const Settings& settings, UiHost& ui,
                             const SimulatedRunOptions& options, std::vector<TrackRow>& track) {
  // The virtual clock takes this thread in as one of the threads that take turns.
  std::unique_ptr<Clock> clock;
  if (options.clock == RunClock::Virtual)
    clock = std::make_unique<VirtualClock>();
  else
    clock = std::make_unique<RealClock>();

  EngineState engine;
  engine.control4WD = settings.ReadInt(keys::CONTROL_4WD) != 0;
  engine.controlRoboQ = settings.ReadInt(keys::CONTROL_ROBOQ) != 0;
  engine.enableTurbo = settings.ReadInt(keys::ENABLE_TURBO) != 0;
  CarState car;
  StateDriveCommander drive(engine);
  TrackHeading heading(car, drive, engine);
  heading.LoadSettings(settings);
  drive.SetTrackReset([&heading] { heading.ResetPositionRing(); });

  DrivingProgram program;
  ProgramFiles files(program, settings, ui);
  program.ResetToStart();
  if (!options.programFile.empty() &&
      !files.ReadProgramFile(settings.ResolveDataPath(kProgramFolder, options.programFile)))
    return RUN_PROGRAM_UNREADABLE;

  SimulatedBall ball;
  ProgramRunner runner(engine, car, drive, program, *clock);
  runner.SetBall(&ball);
  Simulator simulator(engine, car, drive, runner, *clock);
  simulator.SetHeading(&heading);
  simulator.SetBall(&ball);
  runner.SetSimulatedCar(&simulator);
  TrackRecorder recorder(*clock, car, drive, runner);
  simulator.SetStepObserver(&recorder);

  simulator.LoadSimulationSettings(settings);
  runner.LoadDrivingSettings(settings);
  simulator.StartSimulation();

  int status = RUN_OK;
  if (options.autoStart) {
    if (program.count() < 2)
      status = RUN_NOTHING_TO_RUN;
    else if (runner.StartAutoDriving() < 0)
      status = RUN_START_FAILED;
  }
  clock->SleepFor(std::chrono::milliseconds(options.durationMs));

  runner.StopAutoDriving();
  runner.ReleaseDrivingResources();
  simulator.StopSimulation();
  track = recorder.Rows();
  return status;
}

}  // namespace viren
