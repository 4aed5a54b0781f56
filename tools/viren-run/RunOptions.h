#pragma once

#include <optional>
#include <string>
#include <vector>

namespace viren {

// viren-run's own options. The engine never sees these words: it gets only
// the command line the window program would have been given.
struct RunOptions {
  std::string dir;  // program folder; empty: the executable's
  bool answerYes = false;
  double seconds = 0;                    // 0: shut down as soon as start-up is done
  std::string video;                     // handed to the engine as -i
  bool edit = false;                     // -e
  bool api = false;                      // -s
  std::string program;                   // loaded as at start-up
  bool autoDrive = false;                // start automatic driving once start-up is done
  bool virtualClock = false;             // simulated time, as fast as possible
  std::string track;                     // CSV of the car's track
  std::string soundLog;                  // CSV of every start and stop of a sound
  std::string trackPicture;              // PNG of the layout with the last run's track
  std::vector<std::string> check;        // program files to look at; nothing is run then
  bool calibrate = false;                // drive the calibration manoeuvre and store its result
  int comPort = -1;                      // chosen as in the COM menu after start-up; -1: none
  std::optional<std::string> clipboard;  // none: the clipboard holds no text
  std::string log;                       // the diagnostic log's file; empty: VIREN.ini's

  std::string EngineCommandLine() const;
};

// Parses argv[1..]; on a bad option returns nullopt and fills `error`.
std::optional<RunOptions> ParseRunOptions(const std::vector<std::string>& args, std::string& error);

extern const char* const kRunUsage;

}  // namespace viren
