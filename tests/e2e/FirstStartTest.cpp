// A new user's first start: a program folder as the build lays it out, the
// shipped samples, and a program folder the user may not write to.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <regex>

#include "settings/IniFile.h"
#include "support/RunViren.h"
#include "support/TestDir.h"

namespace viren {
namespace {

namespace fs = std::filesystem;

// Messages are printed as "[<id>] text"; the disclaimer and status texts have
// words in the brackets.
bool HasMessage(const std::string& err) {
  return std::regex_search(err, std::regex(R"(^\[[0-9]+\])", std::regex::multiline));
}

int CountOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// What the build lays out in the program folder, and nothing else.
void LayOutProgramFolder(const std::string& folder) {
  fs::copy(test::SourceDir() + "/data", folder, fs::copy_options::recursive);
}

TEST(FirstStart, everySampleRunsTwentySecondsWithoutAMessage) {
  test::TestDir dir;
  LayOutProgramFolder(dir.path());
  int samples = 0;
  for (const auto& entry : fs::directory_iterator(dir.File("sample/program"))) {
    if (entry.path().extension() != ".ntc") continue;
    ++samples;
    const std::string name = entry.path().filename();
    const auto r = test::RunViren("--dir " + dir.path() + " --answer yes --program " + name +
                                  " --auto --virtual-clock --seconds 20");
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_FALSE(HasMessage(r.err)) << name << ": " << r.err;
  }
  EXPECT_GT(samples, 0);
  // The first start listed the sample sounds by their bare names.
  const std::string option = dir.Read("option.ini");
  EXPECT_EQ(ini::Lookup(option, "SOUND", "SOUND_FILE1"), "horn.wav");
  EXPECT_EQ(ini::Lookup(option, "SOUND", "SOUND_FILE3"), "tune.mid");
}

TEST(FirstStart, aListClearedByTheUserIsNotFilledAgain) {
  test::TestDir dir;
  LayOutProgramFolder(dir.path());
  dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n[SOUND]\r\nSOUND_FILE1=\r\n");
  const auto r = test::RunViren("--dir " + dir.path() +
                                " --program sounds.ntc --auto "
                                "--virtual-clock --seconds 1");
  EXPECT_NE(
      r.err.find(test::MessageTag(MSG_AUDIO_ERROR) + " DirectX Audio Error:LoadObjectFromFile"),
      std::string::npos)
      << "no sound listed, so the sound command cannot load one: " << r.err;
  EXPECT_EQ(ini::Lookup(dir.Read("option.ini"), "SOUND", "SOUND_FILE1"), "");
}

// Runs viren-run with `folders` read-only: as root inside a private mount
// namespace with read-only bind mounts (root may write anywhere else), as
// anyone else with the write permission taken away.
class ReadOnlyFolder : public ::testing::Test {
 protected:
  ReadOnlyFolder() {
    LayOutProgramFolder(program.path());
    if (::geteuid() == 0 && std::system("unshare -m true 2>/dev/null") != 0)
      skip = "no mount namespace for a read-only program folder";
  }

  test::RunResult Run(const std::string& args, bool configReadOnly = false) {
    std::vector<std::string> readOnly = {program.path()};
    if (configReadOnly) readOnly.push_back(config.path());
    std::string env = "XDG_CONFIG_HOME=" + config.path() +
                      " VIREN_AUDIO_SINK='fakesink sync=true' " + test::ProgramFolder() +
                      "/viren-run --dir " + program.path() + " " + args;
    std::string command;
    if (::geteuid() == 0) {
      std::string mounts;
      for (const auto& f : readOnly) mounts += "mount --bind -o ro " + f + " " + f + " && ";
      command = "unshare -m sh -c \"" + mounts + "exec env " + env + "\"";
    } else {
      for (const auto& f : readOnly)
        fs::permissions(f, fs::perms::owner_write, fs::perm_options::remove);
      command = "env " + env;
    }
    test::RunResult r;
    FILE* pipe = ::popen((command + " 2>&1 >/dev/null").c_str(), "r");
    std::array<char, 512> buf;
    while (pipe && std::fgets(buf.data(), buf.size(), pipe)) r.err += buf.data();
    const int status = pipe ? ::pclose(pipe) : -1;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    for (const auto& f : readOnly)
      fs::permissions(f, fs::perms::owner_write, fs::perm_options::add);
    return r;
  }
  std::string UserOptions() const { return config.Read("viren/option.ini"); }

  test::TestDir program;
  test::TestDir config;
  std::string skip;
};

TEST_F(ReadOnlyFolder, choicesGoToTheUsersFolderAndSurviveARestart) {
  if (!skip.empty()) GTEST_SKIP() << skip;
  auto r = Run("--answer yes --com 3");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CountOf(r.err, "[disclaimer]"), 1) << r.err;
  EXPECT_EQ(r.err.find("[status]"), std::string::npos)
      << "the user's folder is writable: " << r.err;
  EXPECT_FALSE(program.Exists("option.ini"));
  EXPECT_EQ(ini::Lookup(UserOptions(), "AGREEMENT", "AGREEMENT"), "1");
  EXPECT_EQ(ini::Lookup(UserOptions(), "USB", "COM_NO"), "3");
  EXPECT_EQ(ini::Lookup(UserOptions(), "SOUND", "SOUND_FILE2"), "engine.wav");

  // Restarted: not asked again, the board is looked for on COM3, and the
  // sound list plays the samples.
  r = Run("--program sounds.ntc --auto --virtual-clock --seconds 5");
  EXPECT_EQ(r.err.find("[disclaimer]"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(test::MessageTag(MSG_PORT_NOT_OPENED) + " COM3"), std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("[18"), std::string::npos) << "no sound message: " << r.err;
  EXPECT_FALSE(program.Exists("option.ini"));
}

TEST_F(ReadOnlyFolder, nowhereToWriteKeepsChoicesForTheRunAndWarnsOnce) {
  if (!skip.empty()) GTEST_SKIP() << skip;
  // Neither the program folder nor the user's: the disclaimer, the sample
  // sound list and the COM choice all fail to be written; each is still in
  // effect until the program ends.
  const auto r =
      Run("--answer yes --com 0 --program sounds.ntc --auto --virtual-clock "
          "--seconds 5",
          /*configReadOnly=*/true);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CountOf(r.err, "[status]"), 1) << r.err;
  EXPECT_NE(r.err.find("[status] 設定を保存できません: " + config.path() + "/viren/option.ini"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(HasMessage(r.err)) << "the sounds listed in memory play: " << r.err;
}

}  // namespace
}  // namespace viren
