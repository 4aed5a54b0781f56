#pragma once

// Program files written byte by byte, the way the format lays them out, so
// that a test does not lean on the writer it may be checking.
#include <cstdint>
#include <string>
#include <vector>

namespace viren::test {

// One command: kind, option, value1, value2, next, prev, link; the box
// positions follow the index.
struct CommandBytes {
  int kind = 0;
  int option = 0;
  int value1 = 0;
  int value2 = 0;
  int next = -1;
  int prev = -1;
  int link = -1;
};

inline void PutLe(std::string& out, std::int64_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// ".ntc", version 2, the count, 20 reserved bytes, then 32 bytes a command.
inline std::string ProgramFileBytes(const std::vector<CommandBytes>& commands) {
  std::string out = ".ntc";
  PutLe(out, 2, 4);
  PutLe(out, static_cast<std::int64_t>(commands.size()), 4);
  out.append(20, '\0');
  for (size_t i = 0; i < commands.size(); ++i) {
    const CommandBytes& c = commands[i];
    PutLe(out, c.kind, 1);
    PutLe(out, c.option, 1);
    out.append(2, '\0');
    PutLe(out, c.value1, 2);
    PutLe(out, c.value2, 2);
    PutLe(out, 16 + 56 * static_cast<int>(i % 10), 2);  // x
    PutLe(out, 16 + 56 * static_cast<int>(i / 10), 2);  // y
    PutLe(out, c.next, 2);
    PutLe(out, c.prev, 2);
    PutLe(out, c.link, 2);
    PutLe(out, 0, 2);                             // repeatLeft
    PutLe(out, static_cast<std::int64_t>(i), 2);  // oldIndex
    out.append(10, '\0');
  }
  return out;
}

// The commands linked one after the other behind the start command: each
// gets next and prev from its place (links are kept as given).
inline std::vector<CommandBytes> StartChain(std::vector<CommandBytes> after) {
  std::vector<CommandBytes> all;
  all.push_back({1});
  for (auto& c : after) all.push_back(c);
  for (size_t i = 0; i < all.size(); ++i) {
    all[i].prev = i == 0 ? -1 : static_cast<int>(i) - 1;
    all[i].next = i + 1 < all.size() ? static_cast<int>(i) + 1 : -1;
  }
  return all;
}

}  // namespace viren::test
