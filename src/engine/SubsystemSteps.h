#pragma once

#include <string>

namespace viren {

// What start-up and shut-down ask of the other subsystems, one call per step,
// in the order CDriveSystem makes them. The engine's own implementation
// (BuiltInSteps) calls the real parts; tests record the order and script
// failures.
class SubsystemSteps {
 public:
  virtual ~SubsystemSteps() = default;

  // Start-up, steps that can fail return false (or a negative capture result).
  virtual bool LoadCaptureSettings() = 0;
  virtual bool InitSound(bool interfaceFlag) = 0;
  virtual bool LoadAnalysisSettings() = 0;
  virtual bool InitLayout() = 0;
  virtual void LoadSimulationSettings() = 0;
  virtual void LoadDrivingSettings() = 0;
  virtual void LoadProgramAtStartup() = 0;
  virtual void LoadPatternSettings() = 0;
  virtual bool RoboQOpen() = 0;
  virtual bool RelayOpen() = 0;
  virtual bool StartInterface(bool interfaceFlag) = 0;
  virtual bool InitController() = 0;
  // >= 0 graph built; -1 no camera; other negative: video library failure.
  virtual int BuildCaptureGraph(const std::string& videoFileName) = 0;
  virtual void RunCapture() = 0;
  virtual void PaintView() = 0;

  // Shut-down, in the engine's order.
  virtual void StopAllSounds() = 0;
  virtual void StopCapture() = 0;
  virtual void StopAutoDriving() = 0;
  virtual void StopSimulation() = 0;
  virtual void SimulationCleanup() = 0;
  virtual void ShutdownCapture() = 0;
  virtual void ReleaseAnalysis() = 0;
  virtual void ReleaseLayout() = 0;
  virtual void ReleaseEditor() = 0;
  virtual void RelayClose() = 0;
  virtual void RoboQClose() = 0;
  virtual void ReleaseBall() = 0;
  virtual void ReleaseController() = 0;
  virtual void CloseSimulationEvent() = 0;
  virtual void ReleaseDrivingResources() = 0;
  virtual void StopInterface() = 0;
};

}  // namespace viren
