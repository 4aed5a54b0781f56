#include "engine/BuiltInSteps.h"

#include "engine/CDriveSystem.h"

namespace viren {

// Subsystems enter here as they are built; a step whose subsystem is not part
// of the program yet succeeds without doing anything, except where noted.

bool BuiltInSteps::LoadCaptureSettings() {
  engine_.state().cameraIndex = engine_.settings().ReadInt(keys::CAPTURE_DEVICE);
  return true;
}

bool BuiltInSteps::InitSound(bool) {
  return true;
}
bool BuiltInSteps::LoadAnalysisSettings() {
  return true;
}
bool BuiltInSteps::InitLayout() {
  return true;
}
void BuiltInSteps::LoadSimulationSettings() {}
void BuiltInSteps::LoadDrivingSettings() {}
void BuiltInSteps::LoadProgramAtStartup() {}
void BuiltInSteps::LoadPatternSettings() {}

// Without ROBO-Q control the infrared path reports failure, as it always has.
bool BuiltInSteps::RoboQOpen() {
  return false;
}

// No board configured (COM 0) is success without output; a configured board
// cannot be driven until the relay protocol is part of the program.
bool BuiltInSteps::RelayOpen() {
  return engine_.settings().ReadInt(keys::COM_NO) == 0;
}

bool BuiltInSteps::StartInterface(bool) {
  return true;
}
bool BuiltInSteps::InitController() {
  return true;
}

// No capture path yet: report "no camera", which brings up the simulation.
int BuiltInSteps::BuildCaptureGraph(const std::string&) {
  return -1;
}
void BuiltInSteps::RunCapture() {}
void BuiltInSteps::PaintView() {}

void BuiltInSteps::StopAllSounds() {}
void BuiltInSteps::StopCapture() {}
void BuiltInSteps::StopAutoDriving() {}
void BuiltInSteps::StopSimulation() {}
void BuiltInSteps::SimulationCleanup() {}
void BuiltInSteps::ShutdownCapture() {}
void BuiltInSteps::ReleaseAnalysis() {}
void BuiltInSteps::ReleaseLayout() {}
void BuiltInSteps::ReleaseEditor() {}
void BuiltInSteps::RelayClose() {}
void BuiltInSteps::RoboQClose() {}
void BuiltInSteps::ReleaseBall() {}
void BuiltInSteps::ReleaseController() {}
void BuiltInSteps::CloseSimulationEvent() {}
void BuiltInSteps::ReleaseDrivingResources() {}
void BuiltInSteps::StopInterface() {}

}  // namespace viren
