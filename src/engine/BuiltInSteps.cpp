#include "engine/BuiltInSteps.h"

#include "api/ProgramInterface.h"
#include "ball/BallSystem.h"
#include "capture/CaptureSystem.h"
#include "core/UiHost.h"
#include "device/CCarDevices.h"
#include "editor/ProgramEditor.h"
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
  return parts_.capture.LoadCaptureSettings();
}

bool BuiltInSteps::InitSound(bool interfaceFlag) {
  return parts_.sound.InitSound(interfaceFlag);
}

bool BuiltInSteps::LoadAnalysisSettings() {
  const bool ok = parts_.analyser.LoadAnalysisSettings(parts_.settings) != 0;
  parts_.devices.drive().SetPositionLogging(parts_.analyser.logPosition());
  return ok;
}

bool BuiltInSteps::InitLayout() {
  if (!parts_.layout.Initialise()) return false;
  CAnalysisView& view = parts_.view;
  UiHost& ui = parts_.ui;
  BallSystem& ball = parts_.ball;
  view.SetHooks({.fitFrameToClient = [&ui](int w, int h) { ui.FitFrameToClient(w, h); },
                 .patternSize = [&ball] { return ball.PatternSize(); },
                 .ballLearning = [&ball] { return ball.ballLearning(); },
                 .playedSource = [&capture = parts_.capture] { return capture.PlayingSource(); },
                 .statusText = [&ui](const std::string& text) { ui.SetStatusText(text); }});
  view.LoadViewSettings();
  return true;
}
void BuiltInSteps::LoadSimulationSettings() {
  parts_.simulator.LoadSimulationSettings(parts_.settings);
  parts_.simulatedHeading.LoadSettings(parts_.settings);
}
void BuiltInSteps::LoadDrivingSettings() {
  parts_.runner.LoadDrivingSettings(parts_.settings);
}
void BuiltInSteps::LoadProgramAtStartup() {
  ProgramEditor& editor = parts_.editor;
  editor.CreateDrawingObjects();
  parts_.files.SetRedraw([&editor] {
    editor.RedrawProgram();
    editor.ShowProgram();
  });
  parts_.files.LoadProgramAtStartup();
}
void BuiltInSteps::LoadPatternSettings() {
  parts_.ball.LoadPatternSettings();
}

// The ROBO-Q transmitter reports failure also when ROBO-Q control is off;
// then the relay board is tried (no board configured counts as success).
bool BuiltInSteps::RoboQOpen() {
  return parts_.devices.RoboQOpen();
}
bool BuiltInSteps::RelayOpen() {
  return parts_.devices.RelayOpen();
}

bool BuiltInSteps::StartInterface(bool interfaceFlag) {
  return parts_.programInterface.Start(interfaceFlag, parts_.settings);
}
bool BuiltInSteps::InitController() {
  return parts_.ui.CreateController();
}

// No capture path yet: report "no camera", which brings up the simulation.
int BuiltInSteps::BuildCaptureGraph(const std::string& videoFileName) {
  return parts_.capture.BuildCaptureGraph(videoFileName);
}
void BuiltInSteps::RunCapture() {
  parts_.capture.RunCapture();
}
void BuiltInSteps::PaintView() {
  parts_.view.PaintLayoutView();
}

void BuiltInSteps::StopAllSounds() {
  parts_.sound.StopAllSounds();
}
void BuiltInSteps::StopCapture() {
  parts_.capture.StopCapture(true);
}
void BuiltInSteps::StopAutoDriving() {
  parts_.runner.StopAutoDriving();
}
void BuiltInSteps::StopSimulation() {
  parts_.simulator.StopSimulation();
}
void BuiltInSteps::SimulationCleanup() {}
void BuiltInSteps::ShutdownCapture() {
  parts_.capture.ShutdownCapture();
}
void BuiltInSteps::ReleaseAnalysis() {
  parts_.analyser.ReleaseFrameBuffers(true);
}
void BuiltInSteps::ReleaseLayout() {
  parts_.layout.Release();
}
void BuiltInSteps::ReleaseEditor() {}
void BuiltInSteps::RelayClose() {
  parts_.devices.RelayClose();
}
void BuiltInSteps::RoboQClose() {
  parts_.devices.RoboQClose();
}
void BuiltInSteps::ReleaseBall() {
  parts_.ball.ReleaseBall();
}
void BuiltInSteps::ReleaseController() {}
void BuiltInSteps::CloseSimulationEvent() {}
void BuiltInSteps::ReleaseDrivingResources() {
  parts_.runner.ReleaseDrivingResources();
}
void BuiltInSteps::StopInterface() {
  parts_.programInterface.Stop();
}

}  // namespace viren
