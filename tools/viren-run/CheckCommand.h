#pragma once

#include <string>
#include <vector>

namespace viren {

// viren-run --check: looks at each program file with the settings of the
// program folder `dir` (empty: the executable's) and prints one line a
// finding on stdout. 0 when no file has an error, 1 otherwise (a file that
// cannot be read counts as an error; its message goes to stderr).
int CheckProgramFiles(const std::string& dir, const std::vector<std::string>& files);

}  // namespace viren
