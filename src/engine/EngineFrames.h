#pragma once

#include <atomic>
#include <functional>
#include <mutex>

#include "capture/CaptureDialogs.h"
#include "capture/CaptureHost.h"
#include "capture/FrameSink.h"
#include "simulation/Simulator.h"
#include "vision/AnalysisPeers.h"

namespace viren {

class CAnalysisView;
class CDriveControl;
class CFrameAnalyser;
class Clock;
class ProgramRunner;
class RunTrack;
class UiHost;
struct CarState;
struct EngineState;

// Where the pictures flow: frames from the capture into the analysis and on
// to the driving program; the following check of the analysis; the window
// side of the capture and of the simulation.
class EngineFrames final : public FrameSink,
                           public CaptureHost,
                           public TargetFollower,
                           public FrameListener,
                           public SimulationView,
                           public SimulationStepObserver {
 public:
  // The engine's parts the pictures pass through.
  struct Parts {
    UiHost& ui;
    EngineState& state;
    const CarState& car;
    Clock& clock;
    CFrameAnalyser& analyser;
    CDriveControl& drive;
    ProgramRunner& runner;
    Simulator& simulator;
    CAnalysisView& view;
    RunTrack& runTrack;
    std::function<void(int)> setViewMode;
  };
  explicit EngineFrames(Parts parts) : parts_(std::move(parts)) {}

  // Told after every analysed frame and every simulation step (viren-run
  // records its track). Set before capture or simulation start.
  void SetFrameObserver(std::function<void()> observer) {
    std::lock_guard lock(observerMutex_);
    frameObserver_ = std::move(observer);
  }
  // The window program's file and camera-format dialogs; none: both choosers
  // answer "cancelled". Window thread, before start-up.
  void SetCaptureDialogs(CaptureDialogs* dialogs) { dialogs_ = dialogs; }

  // FrameSink (streaming thread).
  void AnalyseFrame(const std::uint8_t* frame, std::size_t length, int width, int height) override;
  void OnVideoRewound() override;
  void ReleaseFrameBuffers() override;

  // CaptureHost.
  void NotifyGraphEvent() override;
  void NotifyCamerasChanged() override;
  void StopCar() override;
  void LeaveSimulation() override;
  std::optional<std::string> ChooseVideoFile() override;
  std::optional<FrameSize> ChooseCameraFormat(const std::string& cameraName,
                                              const std::vector<FrameSize>& sizes,
                                              FrameSize current, CameraControls* controls) override;
  void ShowLiveView() override;

  // FrameListener (streaming thread): the driving thread goes on as soon as
  // the car state of an analysed frame is known, not after its drawing.
  void OnFrameAnalysed() override;

  // TargetFollower (capture thread).
  void FollowAfterFrame(int frameWidth) override;

  // SimulationView.
  void LeaveProgramEditor() override;
  void FitFrameToClient(int width, int height) override;
  void DrawStep() override;

  // SimulationStepObserver (simulation thread).
  void OnSimulationStep() override;

 private:
  // The run's track gets one row (capture or simulation thread).
  void RecordRunStep();

  Parts parts_;
  // Set on the window thread while frames or simulation steps arrive.
  std::mutex observerMutex_;
  std::function<void()> frameObserver_;
  void NotifyObserver();
  CaptureDialogs* dialogs_ = nullptr;
  bool frameAnalysed_ = false;  // streaming thread only: this frame woke the driving thread
};

}  // namespace viren
