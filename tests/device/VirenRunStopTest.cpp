// viren-run driving a real (not simulated) car through a relay board on a
// pseudo-terminal, with a video as its camera: every way the run or the
// program ends must leave every relay released.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include "FakeRelayBoard.h"
#include "program/ProgramFile.h"
#include "settings/IniFile.h"
#include "support/TestDir.h"
#include "vision/Bitmap24.h"

namespace viren {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;
using SteadyClock = std::chrono::steady_clock;

const Strings kRest = {"PCR00R10\r", "PCR20R30\r", "PCR40\r"};

// Which relays a sequence of commands leaves closed.
std::map<char, bool> RelaysAfter(const Strings& commands) {
  std::map<char, bool> closed;
  for (const std::string& c : commands)
    for (std::size_t i = 2; c.rfind("PC", 0) == 0 && i + 2 < c.size(); i += 3)
      closed[c[i + 1]] = c[i + 2] == '1';
  return closed;
}

bool NonePressed(const std::map<char, bool>& relays) {
  for (const auto& [relay, on] : relays)
    if (on) return false;
  return true;
}

// A chain of commands from the start command, each following the one before.
std::string Program(const std::vector<EventRecord>& commands) {
  std::vector<EventRecord> r(commands.size() + 1);
  r[0].kind = EVENT_START;
  for (std::size_t i = 1; i < r.size(); ++i) r[i] = commands[i - 1];
  for (std::size_t i = 0; i < r.size(); ++i) {
    r[i].prev = static_cast<std::int16_t>(i) - 1;
    r[i].next = i + 1 < r.size() ? static_cast<std::int16_t>(i + 1) : -1;
    r[i].x = 40;
    r[i].y = static_cast<std::int16_t>(20 + 60 * i);
    r[i].oldIndex = static_cast<std::int16_t>(i);
  }
  return EncodeProgramFile(r.data(), static_cast<int>(r.size()));
}

EventRecord Command(EventKind kind, int option, int value1 = 0, int value2 = 0) {
  EventRecord e;
  e.kind = kind;
  e.option = static_cast<std::uint8_t>(option);
  e.value1 = static_cast<std::int16_t>(value1);
  e.value2 = static_cast<std::int16_t>(value2);
  return e;
}

// viren-run (or the window program) as its own process, so that it can be
// sent signals.
class Child {
 public:
  Child(const std::vector<std::string>& args, const std::string& errFile,
        const std::string& binary = "viren-run") {
    pid_ = ::fork();
    if (pid_ == 0) {
      std::FILE* err = std::freopen(errFile.c_str(), "w", stderr);
      std::FILE* out = std::freopen("/dev/null", "w", stdout);
      (void)err;
      (void)out;
      ::setenv("VIREN_AUDIO_SINK", "fakesink sync=true", 1);
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      const std::string program =
          binary.find('/') == std::string::npos ? test::ProgramFolder() + "/" + binary : binary;
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
  }
  ~Child() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  void Signal(int signal) { ::kill(pid_, signal); }
  // The exit status, or -1 when it has not ended normally within `timeout`.
  int Wait(std::chrono::milliseconds timeout) {
    const auto end = SteadyClock::now() + timeout;
    while (SteadyClock::now() < end) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
};

class VirenRunStop : public ::testing::Test {
 protected:
  VirenRunStop() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    NewBoard();
    dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n[USB]\r\nCOM_NO=1\r\n");
    // The camera: a folder of numbered pictures.
    std::filesystem::create_directories(dir.File("video"));
    for (int i = 1; i <= 10; ++i) {
      Bitmap24 picture;
      picture.Create(320, 240);
      for (int y = 100; y < 130; ++y)
        for (int x = 20 + 10 * i; x < 50 + 10 * i; ++x) picture.PixelAt(x, y)[2] = 255;
      char name[32];
      std::snprintf(name, sizeof name, "/%06d.bmp", i);
      WriteBitmap24(dir.File("video") + name, picture);
    }
  }

  // A board of its own for each run, at COM1.
  void NewBoard() {
    boardOwner.reset();
    boardOwner = std::make_unique<test::FakeRelayBoard>();
    dir.Write("VIREN.ini",
              ini::Update(dir.Read("VIREN.ini"), "USB", "COM_DEVICE1", board().devicePath()));
  }
  test::FakeRelayBoard& board() { return *boardOwner; }

  std::vector<std::string> Args(const std::string& program, const std::string& seconds) {
    return {"--dir",  dir.path(),  "--video", dir.File("video"), "--program", program,
            "--auto", "--seconds", seconds};
  }

  // The program drives forward on left lock and then has nothing more to do.
  void WriteForwardLeft() {
    dir.Write("forward-left.ntc",
              Program({Command(EVENT_CAR, CAR_FORWARD, 0, 1), Command(EVENT_HANDLE, HANDLE_LEFT)}));
  }

  bool WaitUntilDriving() {
    for (const auto end = SteadyClock::now() + 10s; SteadyClock::now() < end;) {
      const std::string got = board().received();
      if (got.find("PCR01R10\r") != std::string::npos &&
          got.find("PCR21R30\r") != std::string::npos)
        return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  test::TestDir dir;
  std::unique_ptr<test::FakeRelayBoard> boardOwner;
};

TEST_F(VirenRunStop, terminationSignalsEndTheDriveWithTheRestCommandsOfAnOrderlyExit) {
  WriteForwardLeft();
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    NewBoard();
    test::FakeRelayBoard& board = this->board();
    Child run(Args(dir.File("forward-left.ntc"), "60"), dir.File("err.txt"));
    ASSERT_TRUE(WaitUntilDriving());
    Strings sent = board.commands();
    EXPECT_FALSE(NonePressed(RelaysAfter(sent)));
    const auto start = SteadyClock::now();
    run.Signal(signal);
    EXPECT_EQ(run.Wait(10s), 128 + signal) << dir.Read("err.txt");
    EXPECT_LT(SteadyClock::now() - start, 5s);
    // The board may still be reading the last bytes when viren-run has ended.
    board.WaitForCommands(sent.size() + 3, 2s);
    sent = board.commands();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(Strings(sent.end() - 3, sent.end()), kRest);
    EXPECT_TRUE(NonePressed(RelaysAfter(sent)));
    EXPECT_NE(dir.Read("err.txt").find("ended by signal"), std::string::npos);
    EXPECT_FALSE(board.exclusivelyLocked());
  }
}

TEST_F(VirenRunStop, aProgramThatReachesItsEndLeavesNoRelayPressedBeforeTheExit) {
  // Forward with turbo on left lock for 0.3 s, then the end command.
  dir.Write("ends.ntc",
            Program({Command(EVENT_CAR, CAR_FORWARD, 0, 1), Command(EVENT_HANDLE, HANDLE_LEFT),
                     Command(EVENT_TIMER, 0, 0, 3), Command(EVENT_END, 0)}));
  test::FakeRelayBoard& board = this->board();
  Child run(Args(dir.File("ends.ntc"), "2"), dir.File("err.txt"));
  EXPECT_EQ(run.Wait(20s), 0) << dir.Read("err.txt");
  board.WaitForCommands(10, 2s);
  const Strings sent = board.commands();
  ASSERT_GT(sent.size(), 3u);
  // The program pressed all three, and let go of all three at its end, before
  // the exit put the board at rest once more.
  const Strings beforeExit(sent.begin(), sent.end() - 3);
  EXPECT_NE(std::find(beforeExit.begin(), beforeExit.end(), "PCR41\r"), beforeExit.end());
  EXPECT_NE(std::find(beforeExit.begin(), beforeExit.end(), "PCR21R30\r"), beforeExit.end());
  EXPECT_TRUE(NonePressed(RelaysAfter(beforeExit))) << ::testing::PrintToString(sent);
  EXPECT_EQ(Strings(sent.end() - 3, sent.end()), kRest);
}

TEST_F(VirenRunStop, aBoardThatFallsSilentWhileDrivingStillGetsTheRestCommandsWithinSeconds) {
  WriteForwardLeft();
  test::FakeRelayBoard& board = this->board();
  Child run(Args(dir.File("forward-left.ntc"), "60"), dir.File("err.txt"));
  ASSERT_TRUE(WaitUntilDriving());
  board.SetDefault(test::FakeRelayBoard::Silent());
  const std::size_t before = board.commands().size();
  const auto start = SteadyClock::now();
  run.Signal(SIGTERM);
  EXPECT_EQ(run.Wait(10s), 128 + SIGTERM) << dir.Read("err.txt");
  // The board's own answer time is 5 s; the end does not wait for it.
  EXPECT_LT(SteadyClock::now() - start, 4s);
  board.WaitForCommands(before + 4, 2s);
  const Strings sent = board.commands();
  ASSERT_GE(sent.size(), before + 3);
  EXPECT_EQ(Strings(sent.end() - 3, sent.end()), kRest);
  EXPECT_TRUE(NonePressed(RelaysAfter(sent)));
}

TEST_F(VirenRunStop, theWindowProgramEndsInOrderOnATerminationSignal) {
  test::FakeRelayBoard& board = this->board();
  // The window program reads its settings beside itself.
  std::filesystem::copy_file(test::ProgramFolder() + "/viren", dir.File("viren"));
  for (const char* skin : {"control1", "control2"})
    std::filesystem::copy(test::ProgramFolder() + "/" + skin, dir.File(skin));
  Child viren({}, dir.File("err.txt"), dir.File("viren"));
  // Started: handshake and rest position, then the simulation (no camera).
  ASSERT_TRUE(board.WaitForCommands(4, 20s));
  std::this_thread::sleep_for(500ms);
  const std::size_t before = board.commands().size();
  viren.Signal(SIGTERM);
  EXPECT_EQ(viren.Wait(10s), 0) << dir.Read("err.txt");
  board.WaitForCommands(before + 3, 2s);
  EXPECT_EQ(board.commands().size(), before + 3);
  const Strings sent = board.commands();
  EXPECT_EQ(Strings(sent.end() - 3, sent.end()), kRest);
}

}  // namespace
}  // namespace viren
