// The diagnostic log and the worker threads' priority, seen from outside a
// real viren-run process.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "settings/IniFile.h"
#include "support/RunViren.h"
#include "support/TestDir.h"

namespace viren {
namespace {

using namespace std::chrono_literals;

class DiagnosticLog : public ::testing::Test {
 protected:
  DiagnosticLog() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    std::filesystem::copy(test::ProgramFolder() + "/sample", dir.File("sample"),
                          std::filesystem::copy_options::recursive);
    dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n");
  }
  ~DiagnosticLog() override {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ignored))
      if (entry.path().filename().string().starts_with(ShmPrefix()))
        std::filesystem::remove(entry.path(), ignored);
  }
  static std::string ShmPrefix() { return "diaglog" + std::to_string(::getpid()) + "_"; }

  // viren-run behind `prefix` (a command that runs the rest), stderr kept;
  // its shared memory is this test's own, beside other runs of the interface.
  test::RunResult Run(const std::string& prefix, const std::string& args) {
    const std::string command = prefix + " env VIREN_AUDIO_SINK='fakesink sync=true'" +
                                " VIREN_SHM_PREFIX=" + ShmPrefix() + " " + test::ProgramFolder() +
                                "/viren-run " + args + " 2>&1 >/dev/null";
    test::RunResult r;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return r;
    std::array<char, 512> buf;
    while (std::fgets(buf.data(), buf.size(), pipe)) r.err += buf.data();
    const int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
  }

  static std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  test::TestDir dir;
};

// Without the right to raise a thread's priority the run goes on, and the
// log says so once, however many worker threads asked.
TEST_F(DiagnosticLog, aRefusedPriorityIsLoggedOnceAndTheRunGoesOn) {
  if (::geteuid() != 0) GTEST_SKIP() << "dropping CAP_SYS_NICE needs root";
  const std::string log = dir.File("viren.log");
  const auto r =
      Run("setpriv --bounding-set -sys_nice --inh-caps -sys_nice --",
          "--dir " + dir.path() +
              " --program lap.ntc --auto --virtual-clock --seconds 2 --api --log " + log);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string text = dir.Read("viren.log");
  EXPECT_EQ(Count(text, "thread priority:"), 1u) << text;
  EXPECT_NE(text.find("Permission denied"), std::string::npos) << text;
}

// VIREN.ini's LOG_FILE opens the log when the command line does not; a log
// that cannot be opened on the command line ends viren-run before it starts.
TEST_F(DiagnosticLog, theSettingOpensTheLogAndABadPathIsRefused) {
  const std::string fromIni = dir.File("from-ini.log");
  dir.Write("VIREN.ini", ini::Update(dir.Read("VIREN.ini"), "DEBUG", "LOG_FILE", fromIni));
  // A worker thread that cannot be raised is the one thing every run may log;
  // the file is there whether or not it was written to.
  auto r = Run("", "--dir " + dir.path() + " --seconds 0.2");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(fromIni));

  dir.Write("a-file", "not a folder");
  r = Run("", "--dir " + dir.path() + " --log " + dir.File("a-file/x.log"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--log"), std::string::npos) << r.err;
}

// With the right to raise it (root here), the program interface's thread runs
// above the normal priority while viren-run waits.
TEST_F(DiagnosticLog, workerThreadsRunAboveNormalPriorityWhenAllowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "raising a thread's priority needs CAP_SYS_NICE";
  const std::string pidFile = dir.File("pid");
  std::thread run([&] {
    Run("sh -c 'echo $$ > " + pidFile + "; exec \"$0\" \"$@\"'",
        "--dir " + dir.path() + " --api --seconds 3");
  });
  int lowest = 0;
  for (auto end = std::chrono::steady_clock::now() + 3s;
       lowest == 0 && std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(50ms)) {
    std::ifstream pid(pidFile);
    std::string id;
    if (!(pid >> id)) continue;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + id + "/task", error)) {
      std::ifstream stat(task.path() / "stat");
      std::string line;
      std::getline(stat, line);
      // Field 19, the nice value, counted after the command name's ')'.
      std::istringstream rest(line.substr(line.rfind(')') + 2));
      std::string field;
      for (int i = 3; i <= 19 && rest >> field; ++i) {
      }
      lowest = std::min(lowest, std::atoi(field.c_str()));
    }
  }
  run.join();
  EXPECT_EQ(lowest, -10);
}

}  // namespace
}  // namespace viren
