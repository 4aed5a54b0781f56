#pragma once

#include "engine/SubsystemSteps.h"

namespace viren {

class BallSystem;
class CAnalysisView;
class CaptureSystem;
class CCarDevices;
class CFrameAnalyser;
class CourseLayout;
class ProgramEditor;
class ProgramFiles;
class ProgramRunner;
class Settings;
class Simulator;
class SoundSystem;
class TrackHeading;
class UiHost;
namespace api {
class ProgramInterface;
}

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

  bool LoadCaptureSettings() override;
  bool InitSound(bool interfaceFlag) override;
  bool LoadAnalysisSettings() override;
  bool InitLayout() override;
  void LoadSimulationSettings() override;
  void LoadDrivingSettings() override;
  void LoadProgramAtStartup() override;
  void LoadPatternSettings() override;
  bool RoboQOpen() override;
  bool RelayOpen() override;
  bool StartInterface(bool interfaceFlag) override;
  bool InitController() override;
  int BuildCaptureGraph(const std::string& videoFileName) override;
  void RunCapture() override;
  void PaintView() override;

  void StopAllSounds() override;
  void StopCapture() override;
  void StopAutoDriving() override;
  void StopSimulation() override;
  void SimulationCleanup() override;
  void ShutdownCapture() override;
  void ReleaseAnalysis() override;
  void ReleaseLayout() override;
  void ReleaseEditor() override;
  void RelayClose() override;
  void RoboQClose() override;
  void ReleaseBall() override;
  void ReleaseController() override;
  void CloseSimulationEvent() override;
  void ReleaseDrivingResources() override;
  void StopInterface() override;

 private:
  Parts parts_;
};

}  // namespace viren
