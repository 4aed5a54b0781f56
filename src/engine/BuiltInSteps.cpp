#include "engine/BuiltInSteps.h"

#include "api/ProgramInterface.h"
#include "ball/BallSystem.h"
#include "capture/CaptureSystem.h"
#include "core/UiHost.h"
#include "device/CCarDevices.h"
#include "engine/CDriveSystem.h"
#include "layout/CourseLayout.h"
#include "program/ProgramFile.h"
#include "program/ProgramRunner.h"
#include "simulation/Simulator.h"
#include "simulation/TrackHeading.h"
#include "sound/SoundSystem.h"
#include "views/CAnalysisView.h"
#include "vision/CFrameAnalyser.h"

namespace viren {

// Subsystems enter here as they are built; a step whose subsystem is not part
// of the program yet succeeds without doing anything, except where noted.

bool BuiltInSteps::LoadCaptureSettings() {
  return engine_.capture().LoadCaptureSettings();
}

bool BuiltInSteps::InitSound(bool interfaceFlag) {
  return engine_.sound().InitSound(interfaceFlag);
}

bool BuiltInSteps::LoadAnalysisSettings() {
  const bool ok = engine_.analyser().LoadAnalysisSettings(engine_.settings()) != 0;
  engine_.devices().drive().SetPositionLogging(engine_.analyser().logPosition());
  return ok;
}

bool BuiltInSteps::InitLayout() {
  if (!engine_.layout().Initialise()) return false;
  CAnalysisView& view = engine_.analysisView();
  UiHost& ui = engine_.ui();
  BallSystem& ball = engine_.ball();
  view.SetHooks({.fitFrameToClient = [&ui](int w, int h) { ui.FitFrameToClient(w, h); },
                 .patternSize = [&ball] { return ball.PatternSize(); },
                 .ballLearning = [&ball] { return ball.ballLearning(); },
                 .playedSource = [&capture = engine_.capture()] { return capture.PlayingSource(); },
                 .statusText = [&ui](const std::string& text) { ui.SetStatusText(text); }});
  view.LoadViewSettings();
  return true;
}
void BuiltInSteps::LoadSimulationSettings() {
  engine_.simulator().LoadSimulationSettings(engine_.settings());
  engine_.simulatedHeading().LoadSettings(engine_.settings());
}
void BuiltInSteps::LoadDrivingSettings() {
  engine_.runner().LoadDrivingSettings(engine_.settings());
}
void BuiltInSteps::LoadProgramAtStartup() {
  ProgramEditor& editor = engine_.editor();
  editor.CreateDrawingObjects();
  engine_.programFiles().SetRedraw([&editor] {
    editor.RedrawProgram();
    editor.ShowProgram();
  });
  engine_.programFiles().LoadProgramAtStartup();
}
void BuiltInSteps::LoadPatternSettings() {
  engine_.ball().LoadPatternSettings();
}

// The ROBO-Q transmitter reports failure also when ROBO-Q control is off;
// then the relay board is tried (no board configured counts as success).
bool BuiltInSteps::RoboQOpen() {
  return engine_.devices().RoboQOpen();
}
bool BuiltInSteps::RelayOpen() {
  return engine_.devices().RelayOpen();
}

bool BuiltInSteps::StartInterface(bool interfaceFlag) {
  return engine_.programInterface().Start(interfaceFlag, engine_.settings());
}
bool BuiltInSteps::InitController() {
  return engine_.ui().CreateController();
}

// No capture path yet: report "no camera", which brings up the simulation.
int BuiltInSteps::BuildCaptureGraph(const std::string& videoFileName) {
  return engine_.capture().BuildCaptureGraph(videoFileName);
}
void BuiltInSteps::RunCapture() {
  engine_.capture().RunCapture();
}
void BuiltInSteps::PaintView() {
  engine_.analysisView().PaintLayoutView();
}

void BuiltInSteps::StopAllSounds() {
  engine_.sound().StopAllSounds();
}
void BuiltInSteps::StopCapture() {
  engine_.capture().StopCapture(true);
}
void BuiltInSteps::StopAutoDriving() {
  engine_.runner().StopAutoDriving();
}
void BuiltInSteps::StopSimulation() {
  engine_.simulator().StopSimulation();
}
void BuiltInSteps::SimulationCleanup() {}
void BuiltInSteps::ShutdownCapture() {
  engine_.capture().ShutdownCapture();
}
void BuiltInSteps::ReleaseAnalysis() {
  engine_.analyser().ReleaseFrameBuffers(true);
}
void BuiltInSteps::ReleaseLayout() {
  engine_.layout().Release();
}
void BuiltInSteps::ReleaseEditor() {}
void BuiltInSteps::RelayClose() {
  engine_.devices().RelayClose();
}
void BuiltInSteps::RoboQClose() {
  engine_.devices().RoboQClose();
}
void BuiltInSteps::ReleaseBall() {
  engine_.ball().ReleaseBall();
}
void BuiltInSteps::ReleaseController() {}
void BuiltInSteps::CloseSimulationEvent() {}
void BuiltInSteps::ReleaseDrivingResources() {
  engine_.runner().ReleaseDrivingResources();
}
void BuiltInSteps::StopInterface() {
  engine_.programInterface().Stop();
}

}  // namespace viren
