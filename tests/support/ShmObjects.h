#pragma once

// The shared-memory objects a test or a fuzz target made under its own name
// prefix: the management table and its mutex outlive their holders by
// design, so whoever chose the prefix removes them when done.
#include <dirent.h>
#include <sys/mman.h>

#include <string>
#include <vector>

namespace viren::test {

// Removes every /dev/shm object whose name starts with `prefix`.
inline void RemoveShmObjects(const std::string& prefix) {
  DIR* dir = ::opendir("/dev/shm");
  if (dir == nullptr) return;
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name.rfind(prefix, 0) == 0) names.push_back(name);
  }
  ::closedir(dir);
  for (const std::string& name : names) ::shm_unlink(("/" + name).c_str());
}

}  // namespace viren::test
