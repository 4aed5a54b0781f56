// Other programs' commands carried out on the whole engine: a relay board on
// a pseudo-terminal, no simulation, programs read from files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "FakeRelayBoard.h"
#include "api/ProgramInterface.h"
#include "core/DriveTypes.h"
#include "core/Messages.h"
#include "device/CCarDevices.h"
#include "engine/CDriveSystem.h"
#include "program/DrivingProgram.h"
#include "program/ProgramFile.h"
#include "program/ProgramRunner.h"
#include "settings/IniFile.h"
#include "support/FakeUiHost.h"
#include "support/Programs.h"
#include "support/ShmObjects.h"
#include "support/TestDir.h"

namespace viren {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

constexpr const char* kForward = "PCR01R10\r";
constexpr const char* kStop = "PCR00R10\r";

class EngineInterface : public ::testing::Test {
 protected:
  EngineInterface() {
    // Shared memory of this test only.
    setenv("VIREN_SHM_PREFIX", ("engif" + std::to_string(::getpid()) + "_").c_str(), 1);
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    dir.Write("VIREN.ini",
              ini::Update(dir.Read("VIREN.ini"), "USB", "COM_DEVICE1", board.devicePath()));
    dir.Write("run.ntc", test::DriveForwardProgram());
    dir.Write("other.ntc", test::DriveForwardProgram(CAR_REVERSE));
  }
  ~EngineInterface() override {
    if (engine) engine->Shutdown();
    unsetenv("VIREN_SHM_PREFIX");
    test::RemoveShmObjects("engif" + std::to_string(::getpid()) + "_");
  }

  void StartEngine(int comNo, const std::string& program = "") {
    std::string option =
        "[AGREEMENT]\r\nAGREEMENT=1\r\n[USB]\r\nCOM_NO=" + std::to_string(comNo) + "\r\n";
    if (!program.empty()) option += "[EVENT]\r\nFILE_NAME=" + program + "\r\n";
    dir.Write("option.ini", option);
    engine = std::make_unique<CDriveSystem>(ui, dir.path(), "-s");
    engine->Start();
    ASSERT_TRUE(engine->engineReady());
    // No camera here and the simulation is only asked for, not started.
    ASSERT_FALSE(engine->state().simulating);
    ASSERT_FALSE(engine->state().captureRunning);
  }

  // The board's commands from `from` on, up to the first `last` (later ones
  // may follow at once: the board's thread does not wait between them).
  Strings BoardUntil(std::size_t from, const std::string& last) {
    for (auto end = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(5ms)) {
      const Strings all = board.commands();
      if (all.size() <= from) continue;
      const auto found = std::find(all.begin() + static_cast<long>(from), all.end(), last);
      if (found != all.end()) return Strings(all.begin() + static_cast<long>(from), found + 1);
    }
    const Strings all = board.commands();
    return Strings(all.begin() + static_cast<long>(std::min(from, all.size())), all.end());
  }

  bool WaitRunEnded() {
    for (auto end = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(5ms))
      if (engine->runner().liveThreads() == 0) return true;
    return false;
  }

  test::FakeRelayBoard board;
  test::TestDir dir;
  test::FakeUiHost ui;
  std::unique_ptr<CDriveSystem> engine;
};

// EXTERNAL_START_PROGRAM and EXTERNAL_STOP_PROGRAM start and stop the loaded
// program on the car, also after the other program took external control.
TEST_F(EngineInterface, startAndStopDriveTheBoardWithAndWithoutExternalControl) {
  StartEngine(1, dir.File("run.ntc"));
  ASSERT_TRUE(engine->state().deviceConnected);
  api::ProgramInterface& api = engine->programInterface();
  for (const bool external : {false, true}) {
    SCOPED_TRACE(external ? "after EXTERNAL_ON" : "without EXTERNAL_ON");
    std::size_t from = board.commands().size();
    if (external) {
      api.Dispatch(api::COMMAND_EXTERNAL, api::EXTERNAL_ON);
      EXPECT_EQ(BoardUntil(from, "PCR20R30\r"), (Strings{kStop, "PCR20R30\r"}));
      from = board.commands().size();
    }
    api.Dispatch(api::COMMAND_EXTERNAL, api::EXTERNAL_START_PROGRAM);
    const Strings started = BoardUntil(from, kForward);
    ASSERT_FALSE(started.empty());
    EXPECT_EQ(started.back(), kForward);
    EXPECT_TRUE(engine->state().autoDriving.load());
    EXPECT_NE(engine->devices().drive().DriveState() & DRIVE_STATE_FORWARD, 0u);

    from = board.commands().size();
    api.Dispatch(api::COMMAND_EXTERNAL, api::EXTERNAL_STOP_PROGRAM);
    EXPECT_TRUE(WaitRunEnded());
    // A stop while moving releases turbo first.
    EXPECT_EQ(BoardUntil(from, kStop), (Strings{"PCR40\r", kStop}));
    EXPECT_EQ(engine->devices().drive().DriveState() & DRIVE_STATE_MOVING, 0u);
    // The run's end lets go of the rest on the board's own thread.
    ASSERT_TRUE(engine->devices().relay().Flush());
    if (external) api.Dispatch(api::COMMAND_EXTERNAL, api::EXTERNAL_OFF);
  }
  EXPECT_TRUE(ui.messageIds().empty());
}

TEST_F(EngineInterface, withoutABoardOrSimulationTheProgramDoesNotStart) {
  StartEngine(0, dir.File("run.ntc"));
  EXPECT_FALSE(engine->state().deviceConnected);
  engine->programInterface().Dispatch(api::COMMAND_EXTERNAL, api::EXTERNAL_START_PROGRAM);
  EXPECT_FALSE(engine->state().autoDriving.load());
  EXPECT_EQ(engine->devices().drive().DriveState() & DRIVE_STATE_AUTO, 0u);
}

// A display without foreign windows refuses COMMAND_EXTERNAL_WINDOW with a message that
// names the window.
TEST_F(EngineInterface, externalWindowWhereThereAreNoneIsRefusedWithItsId) {
  StartEngine(0);
  engine->programInterface().Dispatch(api::COMMAND_EXTERNAL_WINDOW, 4660);
  ASSERT_EQ(ui.messageIds(), (std::vector<int>{MSG_EXTERNAL_WINDOW_REFUSED}));
  EXPECT_EQ(ui.messages()[0].args, (Strings{"4660"}));
  EXPECT_FALSE(engine->state().externalDisplay);
}

// COMMAND_PROGRAM_FILE reads the file named on the clipboard and runs it; the editor
// then holds exactly that program.
TEST_F(EngineInterface, loadAndRunReplacesACleanProgramCompletely) {
  StartEngine(1, dir.File("run.ntc"));
  DrivingProgram& program = engine->program();
  {  // an undo step from earlier editing
    program.RecordUndoStep();
    EventRecord r = program.Record(2);
    r.value2 += 1;
    program.SetRecord(2, r);
  }
  ASSERT_TRUE(program.CanUndo());
  ui.SetClipboardText(dir.File("other.ntc") + "\n");
  const std::size_t from = board.commands().size();
  engine->programInterface().Dispatch(api::COMMAND_PROGRAM_FILE, 0);
  EXPECT_EQ(BoardUntil(from, "PCR00R11\r").back(), "PCR00R11\r");  // reverse: the new program
  EXPECT_EQ(program.Record(1).option, CAR_REVERSE);
  EXPECT_EQ(program.fileName, dir.File("other.ntc"));
  EXPECT_FALSE(program.modified);
  EXPECT_FALSE(program.CanUndo());
  EXPECT_TRUE(ui.statusTexts().empty());
  EXPECT_FALSE(std::filesystem::exists(dir.File("run.recovered.ntc")));
  engine->programInterface().Dispatch(api::COMMAND_EXTERNAL, api::EXTERNAL_STOP_PROGRAM);
  EXPECT_TRUE(WaitRunEnded());
}

TEST_F(EngineInterface, loadAndRunKeepsUnsavedEditsInARecoveryFileFirst) {
  StartEngine(1, dir.File("run.ntc"));
  DrivingProgram& program = engine->program();
  // An edit of the user: the timer now waits 7 s.
  program.RecordUndoStep();
  EventRecord timer = program.Record(2);
  timer.value1 = 7;
  program.SetRecord(2, timer);
  program.modified = true;
  dir.Write("run.recovered.ntc", "an earlier recovery, kept");

  ui.SetClipboardText(dir.File("other.ntc"));
  engine->programInterface().Dispatch(api::COMMAND_PROGRAM_FILE, 0);
  EXPECT_EQ(program.Record(1).option, CAR_REVERSE);
  EXPECT_FALSE(program.modified);
  EXPECT_FALSE(program.CanUndo());

  const std::string recovery = dir.File("run.recovered-2.ntc");
  EXPECT_EQ(dir.Read("run.recovered.ntc"), "an earlier recovery, kept");
  ProgramRecords saved;
  int count = 0;
  ASSERT_EQ(ReadProgramBytes(recovery, saved, count), ProgramReadStatus::Ok);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(saved[2].value1, 7);
  EXPECT_EQ(ui.statusTexts(), (Strings{FormatMessage(MSG_EDITS_RECOVERED, {recovery})}));
  engine->programInterface().Dispatch(api::COMMAND_EXTERNAL, api::EXTERNAL_STOP_PROGRAM);
  EXPECT_TRUE(WaitRunEnded());
}

TEST_F(EngineInterface, loadOfAFileThatIsNoProgramLeavesTheEditsAndDoesNotRun) {
  StartEngine(1, dir.File("run.ntc"));
  DrivingProgram& program = engine->program();
  program.modified = true;
  dir.Write("notes.txt", "not a program");
  ui.SetClipboardText(dir.File("notes.txt"));
  engine->programInterface().Dispatch(api::COMMAND_PROGRAM_FILE, 0);
  EXPECT_EQ(ui.messageIds(), (std::vector<int>{MSG_NOT_PROGRAM_FILE}));
  EXPECT_TRUE(program.modified);
  EXPECT_EQ(program.Record(1).option, CAR_FORWARD);
  EXPECT_FALSE(engine->state().autoDriving.load());
  EXPECT_EQ(engine->devices().drive().DriveState() & DRIVE_STATE_AUTO, 0u);
  EXPECT_FALSE(std::filesystem::exists(dir.File("run.recovered.ntc")));
}

}  // namespace
}  // namespace viren
