#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace viren::test {

// A name prefix of its own for each test, so that tests running side by side
// (and the program itself) never meet in /dev/shm.
std::string UniqueShmPrefix();

// Removes every /dev/shm object with the prefix when it goes out of scope.
class ShmCleanup {
 public:
  explicit ShmCleanup(std::string prefix) : prefix_(std::move(prefix)) {}
  ~ShmCleanup();
  ShmCleanup(const ShmCleanup&) = delete;
  ShmCleanup& operator=(const ShmCleanup&) = delete;
  const std::string& prefix() const { return prefix_; }

 private:
  std::string prefix_;
};

// Whether /dev/shm holds an object of that (prefixed) name.
bool ShmExists(const std::string& prefixedName);
// The bytes of a /dev/shm object, empty when it does not exist.
std::string ShmBytes(const std::string& prefixedName);
void ShmOverwrite(const std::string& prefixedName, std::size_t offset, const std::string& bytes);

// Another process running tests/api's helper: one command line in, one
// answer line out (see ShmHelper.cpp).
class HelperProcess {
 public:
  explicit HelperProcess(const std::string& prefix);
  ~HelperProcess();
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;

  // The answer line; "<no answer>" when the helper does not answer in 10 s.
  std::string Ask(const std::string& line);
  int AskInt(const std::string& line);
  // SIGKILL, and wait until it is gone.
  void Kill();

 private:
  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
  std::string pending_;
};

struct RunResult {
  int exitCode = -1;  // -1: did not end in time (it was killed) or did not start
  std::string out;
  std::string err;
};
// Runs a program to its end (killing it after `timeoutMs`).
RunResult RunProgram(const std::vector<std::string>& argv, int timeoutMs = 20000);

// A started program whose output is read while it runs.
class RunningProgram {
 public:
  explicit RunningProgram(const std::vector<std::string>& argv);
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;
  // The next line of standard output; empty after `timeoutMs` or at its end.
  std::string ReadLine(int timeoutMs);
  void Signal(int signal);
  // Exit code, or -1 when it did not end within `timeoutMs` (then killed).
  int Wait(int timeoutMs);

 private:
  pid_t pid_ = -1;
  int fromChild_ = -1;
  std::string pending_;
  int exitCode_ = -1;
};

}  // namespace viren::test
