#pragma once

// Shared-memory names of one fuzzing process: a prefix of its own, and every
// object with that prefix removed when the process ends.
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "../support/ShmObjects.h"

namespace viren::fuzz {

inline const std::string& ShmPrefix() {
  static const std::string prefix = "vfuzz" + std::to_string(::getpid()) + "_";
  return prefix;
}

inline void RemoveShmObjects() {
  test::RemoveShmObjects(ShmPrefix());
}

inline void RemoveShmObjectsAtExit() {
  static const bool registered = [] { return std::atexit(RemoveShmObjects) == 0; }();
  (void)registered;
}

}  // namespace viren::fuzz
