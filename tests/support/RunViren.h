#pragma once

#include <string>

#include "core/MessageIds.h"

namespace viren::test {

struct RunResult {
  int status = -1;  // exit status, -1 when it did not exit normally
  std::string err;  // what it printed on stderr
  std::string out;  // what it printed on stdout (RunVirenForOutput only)
};

// Runs build/bin/viren-run with `args` (a shell command line) and the audio
// sink forced to a fake one, as a user would from a terminal.
RunResult RunViren(const std::string& args);
// The same, keeping stdout in `out` and stderr in `err`.
RunResult RunVirenForOutput(const std::string& args);
// How viren-run prints message `id` on stderr, before its text.
inline std::string MessageTag(int id) {
  return "[" + std::to_string(id) + "]";
}

}  // namespace viren::test
