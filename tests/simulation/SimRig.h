#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/CarState.h"
#include "core/Clock.h"
#include "core/EngineState.h"
#include "program/DrivingProgram.h"
#include "program/ProgramRunner.h"
#include "simulation/SimulatedRun.h"
#include "simulation/Simulator.h"
#include "simulation/StateDriveCommander.h"
#include "simulation/TrackHeading.h"

namespace viren::test {

// Builds the start chain of a program command by command, with the boxes laid
// out on the canvas as the editor would.
class ProgramBuilder {
 public:
  ProgramBuilder();
  // Appends a command to the start chain; returns its index.
  int Add(EventKind kind, int option = 0, int value1 = 0, int value2 = 0);
  // The chain end `from` continues at `to` (a repeat's loop-back target).
  void Link(int from, int to);
  void LoadInto(DrivingProgram& program) const;
  std::string FileBytes() const;
  const std::vector<EventRecord>& records() const { return records_; }

 private:
  std::vector<EventRecord> records_;
};

// Remembers which command started when (the program view's selection).
class CommandLog : public DrivingObserver {
 public:
  struct Entry {
    int index;
    std::int64_t tMs;
    Point position;
    std::uint32_t driveState;
  };
  CommandLog(const Clock& clock, const CarState& car, const DriveCommander& drive)
      : clock_(clock), car_(car), drive_(drive) {}
  void OnCommandStarted(int index) override;
  void OnRunEnded() override { ++runsEnded; }
  std::vector<Entry> Entries() const;
  int Starts(int index) const;
  std::atomic<int> runsEnded{0};

 private:
  const Clock& clock_;
  const CarState& car_;
  const DriveCommander& drive_;
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

// A whole simulated car with automatic driving on a virtual clock, in the
// default settings of the program (8 px and 0.02 rad a step, ranges 32/90).
// Construct it on the test's thread: that thread takes part in the turns.
struct SimRig {
  explicit SimRig(bool fourWheel = false, bool roboQ = false);
  ~SimRig();

  // Loads `program`, starts the simulation and automatic driving.
  void Run(const ProgramBuilder& program, bool programView = true);
  void Advance(int ms) { clock.SleepFor(std::chrono::milliseconds(ms)); }
  void Finish();  // stops both threads and waits for them

  VirtualClock clock;
  EngineState engine;
  CarState car;
  StateDriveCommander drive{engine};
  TrackHeading heading{car, drive, engine};
  DrivingProgram program;
  ProgramRunner runner{engine, car, drive, program, clock};
  Simulator sim{engine, car, drive, runner, clock};
  TrackRecorder track{clock, car, drive, runner};
  CommandLog log{clock, car, drive};
};

double Unwrapped(const TrackRow& row);
double Unwrapped(const CarState& car);

}  // namespace viren::test
