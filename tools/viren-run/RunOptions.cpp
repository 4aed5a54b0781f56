#include "RunOptions.h"

#include <cstdlib>

#include "engine/CommandLine.h"

namespace viren {

const char* const kRunUsage =
    "usage: viren-run [--dir DIR] [--answer yes|no] [--seconds N]\n"
    "                 [--video FILE_OR_DIR] [--edit] [--api]\n"
    "                 [--program FILE] [--auto] [--virtual-clock] [--track FILE.csv]\n"
    "                 [--sound-log FILE.csv] [--track-picture FILE.png]\n"
    "                 [--com N] [--clipboard TEXT] [--log FILE] [--calibrate]\n"
    "       viren-run [--dir DIR] --check FILE.ntc [--check FILE.ntc ...]\n"
    "Runs VIREN's engine without a window. Messages go to stderr as [id] text.\n"
    "  --program FILE    driving program, loaded as at start-up (a bare name from sample/program)\n"
    "  --auto            start automatic driving as the controller's button does\n"
    "  --virtual-clock   simulated time: as fast as possible, the same track every run\n"
    "  --track FILE.csv  the car's track, one row per simulation step or analysed frame,\n"
    "                    and beside it FILE.report.csv: the last run in figures\n"
    "  --track-picture FILE.png  the layout with the last run's whole track, its start,\n"
    "                    its end and the points where the command changed\n"
    "  --sound-log FILE.csv  every start and stop of a sound: time, play or stop, file,\n"
    "                    once or endless\n"
    "  --check FILE.ntc  looks at a program without running it: one line a finding,\n"
    "                    \"command N: text\" (a file name first when several are\n"
    "                    checked); exit status 1 when any finding is an error\n"
    "  --com N           choose COM port N (0: none) as the COM menu does; kept in option.ini\n"
    "  --clipboard TEXT  what the clipboard holds (the interface's command 12 reads a\n"
    "                    program file path there)\n"
    "  --log FILE        the diagnostic log: what the program passes over on purpose\n"
    "                    (frames dropped, replies discarded, reconnects, thread priority)\n"
    "  --calibrate       drive the car straight, then on full lock left and right while\n"
    "                    the camera (or the simulation) watches; print its speed and\n"
    "                    turning radius and store them as the simulation's POSITION_STEP\n"
    "                    and DIRECTION_STEP in option.ini; ends when done (at most\n"
    "                    --seconds, when given)\n";

std::string RunOptions::EngineCommandLine() const {
  std::vector<std::string> words;
  if (!video.empty()) {
    words.push_back("-i");
    words.push_back(video);
  }
  if (edit) words.push_back("-e");
  if (api) words.push_back("-s");
  return JoinCommandLine(words);
}

std::optional<RunOptions> ParseRunOptions(const std::vector<std::string>& args,
                                          std::string& error) {
  RunOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string* {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return nullptr;
      }
      return &args[++i];
    };
    if (a == "--dir") {
      const auto* v = value();
      if (!v) return std::nullopt;
      o.dir = *v;
    } else if (a == "--answer") {
      const auto* v = value();
      if (!v) return std::nullopt;
      if (*v != "yes" && *v != "no") {
        error = "--answer takes yes or no";
        return std::nullopt;
      }
      o.answerYes = *v == "yes";
    } else if (a == "--seconds") {
      const auto* v = value();
      if (!v) return std::nullopt;
      char* end = nullptr;
      o.seconds = std::strtod(v->c_str(), &end);
      if (end == v->c_str() || *end != '\0' || o.seconds < 0) {
        error = "--seconds takes a number of seconds";
        return std::nullopt;
      }
    } else if (a == "--video") {
      const auto* v = value();
      if (!v) return std::nullopt;
      o.video = *v;
    } else if (a == "--program") {
      const auto* v = value();
      if (!v) return std::nullopt;
      o.program = *v;
    } else if (a == "--track") {
      const auto* v = value();
      if (!v) return std::nullopt;
      o.track = *v;
    } else if (a == "--sound-log") {
      const auto* v = value();
      if (!v) return std::nullopt;
      o.soundLog = *v;
    } else if (a == "--track-picture") {
      const auto* v = value();
      if (!v) return std::nullopt;
      o.trackPicture = *v;
    } else if (a == "--check") {
      const auto* v = value();
      if (!v) return std::nullopt;
      o.check.push_back(*v);
    } else if (a == "--com") {
      const auto* v = value();
      if (!v) return std::nullopt;
      char* end = nullptr;
      const long port = std::strtol(v->c_str(), &end, 10);
      if (end == v->c_str() || *end != '\0' || port < 0 || port > 0xFFFF) {
        error = "--com takes a COM port number 0..65535";
        return std::nullopt;
      }
      o.comPort = static_cast<int>(port);
    } else if (a == "--log") {
      const auto* v = value();
      if (!v) return std::nullopt;
      o.log = *v;
    } else if (a == "--clipboard") {
      const auto* v = value();
      if (!v) return std::nullopt;
      o.clipboard = *v;
    } else if (a == "--calibrate") {
      o.calibrate = true;
    } else if (a == "--auto") {
      o.autoDrive = true;
    } else if (a == "--virtual-clock") {
      o.virtualClock = true;
    } else if (a == "--edit") {
      o.edit = true;
    } else if (a == "--api") {
      o.api = true;
    } else {
      error = "unknown option " + a;
      return std::nullopt;
    }
  }
  return o;
}

}  // namespace viren
