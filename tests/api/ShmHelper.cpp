// A second process for the shared-memory tests: reads one command a line from
// standard input and answers with one line. It holds what it opens until it
// is told to let go, ends, or is killed.
//
//   attach                                 -> 1 | 0
//   create NAME MUTEX|- SIZE COUNT         -> result
//   open NAME                              -> result
//   release INDEX                          -> result
//   read INDEX RECORD LOCK TIMEOUT         -> result hexbytes
//   write INDEX RECORD HEXBYTES LOCK TIMEOUT -> result
//   lock INDEX TIMEOUT / unlock INDEX      -> result
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "api/ShmTable.h"

namespace {

std::string Hex(const std::vector<std::byte>& bytes) {
  std::string s;
  char b[3];
  for (std::byte x : bytes) {
    std::snprintf(b, sizeof b, "%02x", std::to_integer<unsigned>(x));
    s += b;
  }
  return s.empty() ? "-" : s;
}

std::vector<std::byte> Unhex(const std::string& s) {
  std::vector<std::byte> bytes;
  for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
    bytes.push_back(static_cast<std::byte>(std::stoul(s.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  viren::api::ShmTableOptions options;
  if (argc > 1) options.namePrefix = argv[1];
  viren::api::ShmTable table(options);
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string op;
    in >> op;
    std::string answer;
    if (op == "attach") {
      answer = table.ShmAttachTable() ? "1" : "0";
    } else if (op == "create") {
      std::string name, mutex;
      int size = 0, count = 0;
      in >> name >> mutex >> size >> count;
      answer = std::to_string(table.ShmCreateBlock(name, mutex == "-" ? "" : mutex, size, count));
    } else if (op == "open") {
      std::string name;
      in >> name;
      answer = std::to_string(table.ShmOpenBlock(name));
    } else if (op == "release") {
      int index = 0;
      in >> index;
      answer = std::to_string(table.ShmReleaseBlock(index));
    } else if (op == "read") {
      int index = 0, record = 0, lock = 0, timeout = 0;
      in >> index >> record >> lock >> timeout;
      std::vector<std::byte> buffer(
          static_cast<std::size_t>(std::max(0, table.LocalEntry(index).recordSize)));
      const int rc = table.ShmReadRecord(index, buffer, record, lock, timeout);
      answer = std::to_string(rc) + " " + (rc == 0 ? Hex(buffer) : "-");
    } else if (op == "write") {
      int index = 0, record = 0, lock = 0, timeout = 0;
      std::string hex;
      in >> index >> record >> hex >> lock >> timeout;
      answer = std::to_string(table.ShmWriteRecord(index, Unhex(hex), record, lock, timeout));
    } else if (op == "lock") {
      int index = 0, timeout = 0;
      in >> index >> timeout;
      answer = std::to_string(table.ShmLockBlock(index, timeout));
    } else if (op == "unlock") {
      int index = 0;
      in >> index;
      answer = std::to_string(table.ShmUnlockBlock(index));
    } else {
      answer = "?";
    }
    std::cout << answer << std::endl;
  }
  return 0;
}
