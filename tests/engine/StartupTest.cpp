#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "core/CommandIds.h"
#include "engine/CDriveSystem.h"
#include "engine/SubsystemSteps.h"
#include "settings/IniFile.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

// Records every step the engine takes; a step named in `fail` fails.
class RecordingSteps : public SubsystemSteps {
 public:
  std::vector<std::string>* log;
  std::map<std::string, bool> fail;
  int captureResult = -1;
  bool lastSoundFlag = false, lastInterfaceFlag = false;
  std::string lastVideo;

  explicit RecordingSteps(std::vector<std::string>* l) : log(l) {}
  bool Ok(const char* name) {
    log->push_back(name);
    return !fail[name];
  }
  bool LoadCaptureSettings() override { return Ok("LoadCaptureSettings"); }
  bool InitSound(bool flag) override {
    lastSoundFlag = flag;
    return Ok("InitSound");
  }
  bool LoadAnalysisSettings() override { return Ok("LoadAnalysisSettings"); }
  bool InitLayout() override { return Ok("InitLayout"); }
  void LoadSimulationSettings() override { Ok("LoadSimulationSettings"); }
  void LoadDrivingSettings() override { Ok("LoadDrivingSettings"); }
  void LoadProgramAtStartup() override { Ok("LoadProgramAtStartup"); }
  void LoadPatternSettings() override { Ok("LoadPatternSettings"); }
  bool RoboQOpen() override { return Ok("RoboQOpen"); }
  bool RelayOpen() override { return Ok("RelayOpen"); }
  bool StartInterface(bool flag) override {
    lastInterfaceFlag = flag;
    return Ok("StartInterface");
  }
  bool InitController() override { return Ok("InitController"); }
  int BuildCaptureGraph(const std::string& video) override {
    lastVideo = video;
    Ok("BuildCaptureGraph");
    return captureResult;
  }
  void RunCapture() override { Ok("RunCapture"); }
  void PaintView() override { Ok("PaintView"); }
  void StopAllSounds() override { Ok("StopAllSounds"); }
  void StopCapture() override { Ok("StopCapture"); }
  void StopAutoDriving() override { Ok("StopAutoDriving"); }
  void StopSimulation() override { Ok("StopSimulation"); }
  void SimulationCleanup() override { Ok("SimulationCleanup"); }
  void ShutdownCapture() override { Ok("ShutdownCapture"); }
  void ReleaseAnalysis() override { Ok("ReleaseAnalysis"); }
  void ReleaseLayout() override { Ok("ReleaseLayout"); }
  void ReleaseEditor() override { Ok("ReleaseEditor"); }
  void RelayClose() override { Ok("RelayClose"); }
  void RoboQClose() override { Ok("RoboQClose"); }
  void ReleaseBall() override { Ok("ReleaseBall"); }
  void ReleaseController() override { Ok("ReleaseController"); }
  void CloseSimulationEvent() override { Ok("CloseSimulationEvent"); }
  void ReleaseDrivingResources() override { Ok("ReleaseDrivingResources"); }
  void StopInterface() override { Ok("StopInterface"); }
};

const std::vector<std::string> kStartupOrder = {"LoadCaptureSettings",
                                                "InitSound",
                                                "LoadAnalysisSettings",
                                                "InitLayout",
                                                "LoadSimulationSettings",
                                                "LoadDrivingSettings",
                                                "LoadProgramAtStartup",
                                                "LoadPatternSettings",
                                                "RoboQOpen",
                                                "StartInterface",
                                                "InitController",
                                                "BuildCaptureGraph",
                                                "PaintView"};

class StartupTest : public ::testing::Test {
 protected:
  StartupTest() {
    dir.Write("VIREN.ini", "[API]\r\nCOMM_INTERVAL=100\r\n");
    dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n");
  }
  std::unique_ptr<CDriveSystem> Make(const std::string& commandLine = {}) {
    auto s = std::make_unique<RecordingSteps>(&log);
    steps = s.get();
    return std::make_unique<CDriveSystem>(ui, dir.path(), commandLine, std::move(s));
  }
  std::vector<std::string> ShutdownLog(CDriveSystem& engine) {
    log.clear();
    engine.Shutdown();
    return log;
  }

  test::TestDir dir;
  test::FakeUiHost ui;
  std::vector<std::string> log;
  RecordingSteps* steps = nullptr;
};

TEST_F(StartupTest, completeStartupRunsEveryStepInOrderAndComesUpInSimulation) {
  auto engine = Make();
  engine->Start();
  EXPECT_EQ(log, kStartupOrder);
  EXPECT_TRUE(engine->engineReady());
  EXPECT_TRUE(ui.messages().empty());
  // No camera selected: simulation without asking.
  EXPECT_EQ(ui.postedCommands(), std::vector<int>{ID_SIMULATION});
  EXPECT_EQ(ui.closeRequests, 0);
  // Later paints paint only.
  log.clear();
  engine->Start();
  EXPECT_EQ(log, std::vector<std::string>{"PaintView"});
}

// The view menu's follow commands reach the driving program: each switches
// its own mode, the same ball command again switches it off.
TEST_F(StartupTest, followCommandsSwitchTheirModes) {
  auto engine = Make();
  engine->Start();
  EngineState& state = engine->state();
  const struct {
    int command;
    BallMode ball;
    bool target;
  } steps[] = {{ID_FOLLOW_BALL, BallMode::Follow, false}, {ID_AVOID_BALL, BallMode::Avoid, false},
               {ID_AVOID_BALL, BallMode::Off, false},     {ID_FOLLOW_TARGET, BallMode::Off, true},
               {ID_FOLLOW_BALL, BallMode::Follow, false}, {ID_FOLLOW_TARGET, BallMode::Off, true},
               {ID_FOLLOW_TARGET, BallMode::Off, false}};
  for (const auto& step : steps) {
    EXPECT_TRUE(engine->OnCommand(step.command));
    EXPECT_EQ(state.ballMode, step.ball) << step.command;
    EXPECT_EQ(state.targetFollowing, step.target) << step.command;
  }
}

TEST_F(StartupTest, missingVirenIniShows129WithFullPathAndCloses) {
  std::filesystem::remove(dir.File("VIREN.ini"));
  auto engine = Make();
  engine->Start();
  ASSERT_EQ(ui.messages().size(), 1u);
  EXPECT_EQ(ui.messages()[0].id, MSG_FILE_NOT_FOUND);
  EXPECT_EQ(ui.messages()[0].args, std::vector<std::string>{dir.File("VIREN.ini")});
  EXPECT_EQ(ui.messages()[0].icon, MsgIcon::Stop);
  EXPECT_EQ(ui.closeRequests, 1);
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(engine->engineReady());
  // A repaint after the failure does not start again; shut-down releases nothing.
  engine->Start();
  EXPECT_TRUE(ShutdownLog(*engine).empty());
  EXPECT_EQ(ui.messages().size(), 1u);
}

TEST_F(StartupTest, missingOptionIniIsFineButAsksTheDisclaimer) {
  std::filesystem::remove(dir.File("option.ini"));
  ui.SetAgreement(false);
  auto engine = Make();
  engine->Start();
  EXPECT_EQ(ui.agreementAsked, 1);
  EXPECT_EQ(ui.closeRequests, 1);
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_FALSE(dir.Exists("option.ini")) << "a refusal must not write the acceptance";
  EXPECT_TRUE(log.empty());
}

TEST_F(StartupTest, acceptedDisclaimerIsWrittenAndNotAskedAgain) {
  std::filesystem::remove(dir.File("option.ini"));
  {
    auto engine = Make();
    engine->Start();
    EXPECT_TRUE(engine->engineReady());
  }
  EXPECT_EQ(ini::Lookup(dir.Read("option.ini"), "AGREEMENT", "AGREEMENT"), "1");
  auto again = Make();
  again->Start();
  EXPECT_EQ(ui.agreementAsked, 1);
  EXPECT_TRUE(again->engineReady());
}

struct FailureCase {
  const char* step;
  int message;
};

class StartupFailureTest : public StartupTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(StartupFailureTest, failingStepShowsItsMessageStopsThereAndCloses) {
  auto engine = Make();
  steps->fail[GetParam().step] = true;
  engine->Start();
  EXPECT_EQ(ui.messageIds(), std::vector<int>{GetParam().message});
  EXPECT_EQ(ui.messages()[0].icon, MsgIcon::Stop);
  EXPECT_EQ(ui.closeRequests, 1);
  EXPECT_EQ(log.back(), GetParam().step);
  EXPECT_FALSE(engine->engineReady());
  EXPECT_TRUE(ShutdownLog(*engine).empty());
}

INSTANTIATE_TEST_SUITE_P(
    EachClosingStep, StartupFailureTest,
    ::testing::Values(FailureCase{"LoadCaptureSettings", MSG_CAPTURE_INIT_FAILED},
                      FailureCase{"InitSound", MSG_SOUND_INIT_FAILED},
                      FailureCase{"LoadAnalysisSettings", MSG_ANALYSIS_INIT_FAILED},
                      FailureCase{"InitLayout", MSG_LAYOUT_INIT_FAILED},
                      FailureCase{"StartInterface", MSG_INTERFACE_INIT_FAILED},
                      FailureCase{"InitController", MSG_CONTROLLER_INIT_FAILED}));

TEST_F(StartupTest, noDeviceShows142AndGoesOn) {
  auto engine = Make();
  steps->fail["RoboQOpen"] = true;
  steps->fail["RelayOpen"] = true;
  engine->Start();
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_DEVICE_INIT_FAILED});
  EXPECT_TRUE(engine->engineReady());
  EXPECT_EQ(ui.closeRequests, 0);
}

TEST_F(StartupTest, relayBoardIsTriedOnlyWhenRoboQFails) {
  auto engine = Make();
  steps->fail["RoboQOpen"] = true;
  engine->Start();
  auto relay = std::find(log.begin(), log.end(), "RelayOpen");
  ASSERT_NE(relay, log.end());
  EXPECT_EQ(*(relay - 1), "RoboQOpen");
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(StartupTest, captureResultsDecideBetweenRunningSimulationAndMessages) {
  {
    auto engine = Make();
    steps->captureResult = 0;
    engine->Start();
    EXPECT_TRUE(engine->state().captureRunning);
    EXPECT_NE(std::find(log.begin(), log.end(), "RunCapture"), log.end());
    EXPECT_TRUE(ui.postedCommands().empty());
  }
  {
    test::FakeUiHost ui2;
    dir.Write("option.ini", "[AGREEMENT]\nAGREEMENT=1\n[CAPTURE]\nDEVICE=2\n");
    auto s = std::make_unique<RecordingSteps>(&log);
    s->captureResult = -1;
    ui2.ScriptAnswer(MsgAnswer::Yes);
    // Our recording steps do not read DEVICE; the engine's camera index does.
    CDriveSystem engine(ui2, dir.path(), "", std::move(s));
    engine.state().cameraIndex = 2;
    engine.Start();
    EXPECT_EQ(ui2.messageIds(), std::vector<int>{MSG_NO_CAMERA_SIMULATE});
    EXPECT_EQ(ui2.messages()[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(ui2.postedCommands(), std::vector<int>{ID_SIMULATION});
    EXPECT_TRUE(engine.engineReady());
  }
  {
    test::FakeUiHost ui3;
    auto s = std::make_unique<RecordingSteps>(&log);
    ui3.ScriptAnswer(MsgAnswer::No);
    CDriveSystem engine(ui3, dir.path(), "", std::move(s));
    engine.state().cameraIndex = 1;
    engine.Start();
    EXPECT_EQ(ui3.messageIds(), std::vector<int>{MSG_NO_CAMERA_SIMULATE});
    EXPECT_TRUE(ui3.postedCommands().empty());
  }
  {
    test::FakeUiHost ui4;
    auto s = std::make_unique<RecordingSteps>(&log);
    s->captureResult = -5;
    CDriveSystem engine(ui4, dir.path(), "", std::move(s));
    engine.Start();
    EXPECT_EQ(ui4.messageIds(), std::vector<int>{MSG_VIDEO_LIBRARY_FAILED});
    EXPECT_TRUE(engine.engineReady());
    EXPECT_EQ(ui4.closeRequests, 0);
    EXPECT_FALSE(engine.state().captureRunning);
  }
}

TEST_F(StartupTest, commandLineGivesVideoEditorAndInterface) {
  auto engine = Make("-i \"/data/my runs/lap.avi\" -e");
  engine->Start();
  EXPECT_EQ(engine->videoFileName(), "/data/my runs/lap.avi");
  EXPECT_EQ(steps->lastVideo, "/data/my runs/lap.avi");
  EXPECT_EQ(ui.postedCommands().back(), ID_VIEW_PROGRAM);
  EXPECT_FALSE(engine->interfaceFlag());
  EXPECT_FALSE(steps->lastSoundFlag);

  auto withApi = Make("-i /videos/run-s.avi");
  withApi->Start();
  EXPECT_TRUE(withApi->interfaceFlag()) << "-s inside a file name counts";
  EXPECT_TRUE(steps->lastSoundFlag);
  EXPECT_TRUE(steps->lastInterfaceFlag);
}

TEST_F(StartupTest, controlOptionsAreReadBeforeTheSubsystems) {
  dir.Write(
      "option.ini",
      "[AGREEMENT]\nAGREEMENT=1\n[CONTROL]\nCONTROL_4WD=1\nENABLE_TURBO=0\nCONTROL_ROBOQ=1\n");
  auto engine = Make();
  engine->Start();
  EXPECT_TRUE(engine->state().control4WD);
  EXPECT_FALSE(engine->state().enableTurbo);
  EXPECT_TRUE(engine->state().controlRoboQ);
}

TEST_F(StartupTest, shutdownStopsThreadsBeforeReleasingAndTheInterfaceLast) {
  auto engine = Make();
  steps->captureResult = 0;
  engine->Start();
  engine->state().autoDriving = true;
  engine->state().simulating = true;
  EXPECT_EQ(ShutdownLog(*engine),
            (std::vector<std::string>{
                "StopAllSounds", "StopCapture", "StopAutoDriving", "StopSimulation",
                "SimulationCleanup", "ShutdownCapture", "ReleaseAnalysis", "ReleaseLayout",
                "ReleaseEditor", "RelayClose", "RoboQClose", "ReleaseBall", "ReleaseController",
                "CloseSimulationEvent", "ReleaseDrivingResources", "StopInterface"}));
  EXPECT_FALSE(engine->state().captureRunning);
  EXPECT_FALSE(engine->state().simulating);
  // Once only: the destructor does not run it again.
  EXPECT_TRUE(ShutdownLog(*engine).empty());
}

TEST_F(StartupTest, shutdownSkipsStopsOfWhatIsNotRunning) {
  auto engine = Make();
  engine->Start();
  const auto order = ShutdownLog(*engine);
  for (const char* skipped : {"StopCapture", "StopAutoDriving", "StopSimulation"})
    EXPECT_EQ(std::find(order.begin(), order.end(), skipped), order.end()) << skipped;
  EXPECT_EQ(order.back(), "StopInterface");
}

}  // namespace
}  // namespace viren
