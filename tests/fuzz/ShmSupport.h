#pragma once

// Shared-memory names of one fuzzing process: a prefix of its own, and every
// object with that prefix removed when the process ends.
#include <dirent.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace viren::fuzz {

inline const std::string& ShmPrefix() {
  static const std::string prefix = "vfuzz" + std::to_string(::getpid()) + "_";
  return prefix;
}

inline void RemoveShmObjects() {
  DIR* dir = ::opendir("/dev/shm");
  if (dir == nullptr) return;
  std::vector<std::string> names;
  while (dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name.rfind(ShmPrefix(), 0) == 0) names.push_back(name);
  }
  ::closedir(dir);
  for (const std::string& name : names) ::shm_unlink(("/" + name).c_str());
}

inline void RemoveShmObjectsAtExit() {
  static const bool registered = [] { return std::atexit(RemoveShmObjects) == 0; }();
  (void)registered;
}

}  // namespace viren::fuzz
