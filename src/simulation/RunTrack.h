#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/Geometry.h"
#include "simulation/SimulatedRun.h"

namespace viren {

// A run in figures, for the status bar and the track's companion file.
struct RunReport {
  std::int64_t durationMs = 0;  // first to last row of the run
  double distance = 0;          // driven, layout pixels
  int commandsExecuted = 0;     // commands begun, start command not counted
  int courseRangeExits = 0;     // times the car went from inside the course range to outside
  int lastCommand = -1;         // the command running when the run ended
  int lastCommandKind = 0;      // its EventKind
};

// Duration, distance, course-range exits and the last command from the rows
// of one run; `range` is the course range, bounds inside.
// commandsExecuted and lastCommandKind are the caller's to fill in.
RunReport SummariseRun(const std::vector<TrackRow>& runRows, const Rect& range);

// The status bar's line: "走行結果: ..." with the kind's name.
std::string FormatRunReport(const RunReport& report);
// The status bar's line while a program runs: the command being executed,
// its kind and the time since the run started; command -1 before the first.
std::string FormatRunStatus(int command, int kind, std::int64_t elapsedMs);
// The companion of a track CSV: "key,value" lines.
std::string RunReportCsv(const RunReport& report);
// "run.csv" -> "run.report.csv"; other names get ".report.csv" added.
std::string RunReportPathFor(const std::string& trackPath);

// The track of the current or last run, kept until the next run starts, and
// the report of the last run that ended. Record is called after every
// simulation step or analysed frame (simulation or capture thread), the rest
// from any thread.
class RunTrack {
 public:
  // `run` numbers the runs: a row of a new run drops the previous run's rows.
  void Record(const TrackRow& row, int run);
  std::vector<TrackRow> Rows() const;
  std::vector<Point> Points() const;

  // The run has ended: its report is made (on the thread that ends it) with
  // what the run itself counted and the command it ended at.
  void Finish(const Rect& courseRange, int commandsExecuted, int lastCommand, int lastCommandKind);
  RunReport LastReport() const;
  // Goes up by one with every finished run.
  int reportNumber() const { return reportNumber_; }

  // The layout view's trail is shown (a view-menu switch, off at start).
  std::atomic<bool> trailShown{false};

 private:
  mutable std::mutex mutex_;
  std::vector<TrackRow> rows_;
  int run_ = -1;
  RunReport report_;
  std::atomic<int> reportNumber_{0};
};

}  // namespace viren
