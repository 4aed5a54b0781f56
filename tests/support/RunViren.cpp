#include "support/RunViren.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

#include "support/TestDir.h"

namespace viren::test {

RunResult RunViren(const std::string& args) {
  const std::string command = "VIREN_AUDIO_SINK='fakesink sync=true' " + ProgramFolder() +
                              "/viren-run " + args + " 2>&1 >/dev/null";
  RunResult r;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return r;
  std::array<char, 512> buf;
  while (std::fgets(buf.data(), buf.size(), pipe)) r.err += buf.data();
  const int status = ::pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

RunResult RunVirenForOutput(const std::string& args) {
  const TestDir scratch;
  const std::string errFile = scratch.File("stderr");
  const std::string command = "VIREN_AUDIO_SINK='fakesink sync=true' " + ProgramFolder() +
                              "/viren-run " + args + " 2>" + errFile;
  RunResult r;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return r;
  std::array<char, 512> buf;
  while (std::fgets(buf.data(), buf.size(), pipe)) r.out += buf.data();
  const int status = ::pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.err = scratch.Read("stderr");
  return r;
}

}  // namespace viren::test
