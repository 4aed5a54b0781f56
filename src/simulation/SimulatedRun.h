#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/CarState.h"
#include "core/Clock.h"
#include "core/DriveInterfaces.h"
#include "core/Geometry.h"
#include "program/ProgramRunner.h"
#include "simulation/Simulator.h"

namespace viren {

class Settings;
class UiHost;

// One line of a car track: after every simulation step (or analysed frame).
struct TrackRow {
  std::int64_t tMs = 0;  // since the start of the run
  Point position;        // carLayoutPosition
  double direction = 0;  // carDirection, radians
  int turnCount = 0;
  std::uint32_t driveState = 0;
  int command = -1;  // command being executed, -1 when no run goes on
};

inline constexpr std::string_view kTrackHeader =
    "t_ms,x,y,direction,turn_count,drive_state,command";
// "t_ms,x,y,direction,turn_count,drive_state,command" values, direction with
// five decimals, no line end.
std::string FormatTrackRow(const TrackRow& row);

// Appends one row per simulation step (attach it to the simulator) or per
// analysed frame (call Record from the frame code). Thread safe.
class TrackRecorder final : public SimulationStepObserver {
 public:
  TrackRecorder(const Clock& clock, const CarState& car, const DriveCommander& drive,
                const ProgramRunner& runner)
      : clock_(clock), car_(car), drive_(drive), runner_(runner) {}

  void OnSimulationStep() override { Record(); }
  void Record();
  std::vector<TrackRow> Rows() const;

 private:
  const Clock& clock_;
  const CarState& car_;
  const DriveCommander& drive_;
  const ProgramRunner& runner_;
  mutable std::mutex mutex_;
  std::vector<TrackRow> rows_;
};

enum class RunClock { Real, Virtual };

struct SimulatedRunOptions {
  std::string programFile;  // a bare name is looked for in sample/program
  RunClock clock = RunClock::Virtual;
  std::int64_t durationMs = 60000;
  bool autoStart = true;  // start automatic driving as the controller's button does
};

enum SimulatedRunStatus : int {
  RUN_OK = 0,
  RUN_PROGRAM_UNREADABLE = 1,  // MSG_PROGRAM_READ_FAILED or MSG_NOT_PROGRAM_FILE has been shown
  RUN_NOTHING_TO_RUN = 2,      // only the start command: the run was not started
  RUN_START_FAILED = 3,        // a sound could not be loaded
};

// Runs a driving program on the simulated car without a window: the settings
// of VIREN.ini and option.ini (control mode, simulation steps, driving
// ranges), the program file loaded as at start-up, the simulation started,
// automatic driving started, and the track of every step for `durationMs`.
// With RunClock::Virtual the run takes no longer than the machine needs and
// gives the same track every time. Messages go to `ui`. Call on a thread of
// its own choosing; it returns when the run is over and every thread ended.
int RunProgramOnSimulatedCar(const Settings& settings, UiHost& ui,
                             const SimulatedRunOptions& options, std::vector<TrackRow>& track);

}  // namespace viren
