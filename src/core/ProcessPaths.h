#pragma once

#include <string>

namespace viren {

// Full path of the running executable (from /proc/self/exe); empty if unknown.
std::string ExecutablePath();

// The folder part of a path: everything before the last '/', or the whole
// path when it has none (the program folder is found this way at start-up).
std::string FolderOf(const std::string& path);

bool FileExists(const std::string& path);

}  // namespace viren
