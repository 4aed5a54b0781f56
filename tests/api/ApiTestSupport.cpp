#include "ApiTestSupport.h"

#include "support/ShmObjects.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace viren::test {

namespace {

std::atomic<int> prefixCounter{0};

// Reads one line from `fd` into `line`, keeping what follows in `pending`.
bool ReadLineFrom(int fd, std::string& pending, std::string& line, int timeoutMs) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto nl = pending.find('\n');
    if (nl != std::string::npos) {
      line = pending.substr(0, nl);
      pending.erase(0, nl + 1);
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          giveUp - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buf[4096];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    pending.append(buf, static_cast<std::size_t>(n));
  }
}

pid_t Spawn(const std::vector<std::string>& argv, int* stdinWrite, int* stdoutRead,
            int* stderrRead) {
  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  if (stdinWrite && pipe2(in, O_CLOEXEC) != 0) return -1;
  if (pipe2(out, O_CLOEXEC) != 0) return -1;
  if (stderrRead && pipe2(err, O_CLOEXEC) != 0) return -1;
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (stdinWrite) {
      dup2(in[0], 0);
    } else {
      int devnull = open("/dev/null", O_RDONLY);
      dup2(devnull, 0);
    }
    dup2(out[1], 1);
    if (stderrRead) dup2(err[1], 2);
    execv(args[0], args.data());
    _exit(127);
  }
  if (stdinWrite) {
    close(in[0]);
    *stdinWrite = in[1];
  }
  close(out[1]);
  *stdoutRead = out[0];
  if (stderrRead) {
    close(err[1]);
    *stderrRead = err[0];
  }
  return pid;
}

int WaitFor(pid_t pid, int timeoutMs) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  for (;;) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (r < 0) return -1;
    if (std::chrono::steady_clock::now() > giveUp) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace

std::string UniqueShmPrefix() {
  std::ostringstream s;
  s << "vtest" << getpid() << "_" << prefixCounter++ << "_";
  return s.str();
}

ShmCleanup::~ShmCleanup() {
  RemoveShmObjects(prefix_);
}

bool ShmExists(const std::string& prefixedName) {
  struct stat st {};
  return stat(("/dev/shm/" + prefixedName).c_str(), &st) == 0;
}

std::string ShmBytes(const std::string& prefixedName) {
  std::ifstream in("/dev/shm/" + prefixedName, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void ShmOverwrite(const std::string& prefixedName, std::size_t offset, const std::string& bytes) {
  int fd = open(("/dev/shm/" + prefixedName).c_str(), O_WRONLY);
  if (fd < 0) return;
  if (pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) < 0) {
    // the caller checks what it reads back
  }
  close(fd);
}

HelperProcess::HelperProcess(const std::string& prefix) {
  pid_ = Spawn({API_SHM_HELPER, prefix}, &toChild_, &fromChild_, nullptr);
}

HelperProcess::~HelperProcess() {
  if (toChild_ >= 0) close(toChild_);  // the helper ends at the end of its input
  if (pid_ > 0) WaitFor(pid_, 5000);
  if (fromChild_ >= 0) close(fromChild_);
}

std::string HelperProcess::Ask(const std::string& line) {
  const std::string out = line + "\n";
  if (write(toChild_, out.data(), out.size()) != static_cast<ssize_t>(out.size())) {
    return "<no answer>";
  }
  std::string answer;
  if (!ReadLineFrom(fromChild_, pending_, answer, 10000)) return "<no answer>";
  return answer;
}

int HelperProcess::AskInt(const std::string& line) {
  const std::string answer = Ask(line);
  char* end = nullptr;
  const long v = std::strtol(answer.c_str(), &end, 10);
  return end == answer.c_str() ? -1000 : static_cast<int>(v);
}

void HelperProcess::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

RunResult RunProgram(const std::vector<std::string>& argv, int timeoutMs) {
  RunResult result;
  int out = -1, err = -1;
  const pid_t pid = Spawn(argv, nullptr, &out, &err);
  if (pid < 0) return result;
  // Collect both streams while it runs, so that a full pipe never stalls it.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool outOpen = true, errOpen = true;
  while ((outOpen || errOpen) && std::chrono::steady_clock::now() < giveUp) {
    pollfd p[2] = {{outOpen ? out : -1, POLLIN, 0}, {errOpen ? err : -1, POLLIN, 0}};
    if (poll(p, 2, 50) <= 0) continue;
    char buf[4096];
    for (int i = 0; i < 2; ++i) {
      if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = read(p[i].fd, buf, sizeof buf);
      if (n <= 0) {
        (i == 0 ? outOpen : errOpen) = false;
      } else {
        (i == 0 ? result.out : result.err).append(buf, static_cast<std::size_t>(n));
      }
    }
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        giveUp - std::chrono::steady_clock::now())
                        .count();
  result.exitCode = WaitFor(pid, static_cast<int>(std::max<long long>(left, 0)));
  close(out);
  close(err);
  return result;
}

RunningProgram::RunningProgram(const std::vector<std::string>& argv) {
  pid_ = Spawn(argv, nullptr, &fromChild_, nullptr);
}

RunningProgram::~RunningProgram() {
  if (pid_ > 0) Wait(5000);
  if (fromChild_ >= 0) close(fromChild_);
}

std::string RunningProgram::ReadLine(int timeoutMs) {
  std::string line;
  if (!ReadLineFrom(fromChild_, pending_, line, timeoutMs)) return {};
  return line;
}

void RunningProgram::Signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

int RunningProgram::Wait(int timeoutMs) {
  if (pid_ > 0) {
    exitCode_ = WaitFor(pid_, timeoutMs);
    pid_ = -1;
  }
  return exitCode_;
}

}  // namespace viren::test
