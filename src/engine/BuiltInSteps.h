#pragma once

#include "api/ProgramInterface.h"
#include "ball/BallSystem.h"
#include "capture/CaptureSystem.h"
#include "core/UiHost.h"
#include "device/CCarDevices.h"
#include "editor/ProgramEditor.h"
#include "engine/SubsystemSteps.h"
#include "layout/CourseLayout.h"
#include "program/ProgramFile.h"
#include "program/ProgramRunner.h"
#include "simulation/Simulator.h"
#include "simulation/TrackHeading.h"
#include "sound/SoundSystem.h"
#include "views/CAnalysisView.h"
#include "vision/CFrameAnalyser.h"

namespace viren {

// The engine's start-up and shut-down steps carried out by its own parts.
class BuiltInSteps final : public SubsystemSteps {
 public:
  // The parts that are brought up and taken down.
  struct Parts {
    UiHost& ui;
    Settings& settings;
    CaptureSystem& capture;
    SoundSystem& sound;
    CFrameAnalyser& analyser;
    CCarDevices& devices;
    CourseLayout& layout;
    CAnalysisView& view;
    BallSystem& ball;
    Simulator& simulator;
    TrackHeading& simulatedHeading;
    ProgramRunner& runner;
    ProgramEditor& editor;
    ProgramFiles& files;
    api::ProgramInterface& programInterface;
  };
  explicit BuiltInSteps(Parts parts) : parts_(parts) {}

  bool LoadCaptureSettings() override { return parts_.capture.LoadCaptureSettings(); }
  bool InitSound(bool interfaceFlag) override { return parts_.sound.InitSound(interfaceFlag); }
  bool LoadAnalysisSettings() override;
  bool InitLayout() override;
  void LoadSimulationSettings() override;
  void LoadDrivingSettings() override { parts_.runner.LoadDrivingSettings(parts_.settings); }
  void LoadProgramAtStartup() override;
  void LoadPatternSettings() override { parts_.ball.LoadPatternSettings(); }
  // The ROBO-Q transmitter reports failure also when ROBO-Q control is off;
  // then the relay board is tried (no board configured counts as success).
  bool RoboQOpen() override { return parts_.devices.RoboQOpen(); }
  bool RelayOpen() override { return parts_.devices.RelayOpen(); }
  bool StartInterface(bool interfaceFlag) override {
    return parts_.programInterface.Start(interfaceFlag, parts_.settings);
  }
  bool InitController() override { return parts_.ui.CreateController(); }
  // -1: no camera, which brings up the simulation.
  int BuildCaptureGraph(const std::string& videoFileName) override {
    return parts_.capture.BuildCaptureGraph(videoFileName);
  }
  void RunCapture() override { parts_.capture.RunCapture(); }
  void PaintView() override { parts_.view.PaintLayoutView(); }

  void StopAllSounds() override { parts_.sound.StopAllSounds(); }
  void StopCapture() override { parts_.capture.StopCapture(true); }
  void StopAutoDriving() override { parts_.runner.StopAutoDriving(); }
  void StopSimulation() override { parts_.simulator.StopSimulation(); }
  void SimulationCleanup() override {}
  void ShutdownCapture() override { parts_.capture.ShutdownCapture(); }
  void ReleaseAnalysis() override { parts_.analyser.ReleaseFrameBuffers(true); }
  void ReleaseLayout() override { parts_.layout.Release(); }
  void ReleaseEditor() override {}
  void RelayClose() override { parts_.devices.RelayClose(); }
  void RoboQClose() override { parts_.devices.RoboQClose(); }
  void ReleaseBall() override { parts_.ball.ReleaseBall(); }
  void ReleaseController() override {}
  void CloseSimulationEvent() override {}
  void ReleaseDrivingResources() override { parts_.runner.ReleaseDrivingResources(); }
  void StopInterface() override { parts_.programInterface.Stop(); }

 private:
  Parts parts_;
};

}  // namespace viren
