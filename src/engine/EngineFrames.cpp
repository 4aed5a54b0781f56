#include "engine/EngineFrames.h"

#include "capture/CaptureSystem.h"
#include "core/CommandIds.h"
#include "core/DriveTypes.h"
#include "core/UiHost.h"
#include "device/CDriveControl.h"
#include "program/ProgramRunner.h"
#include "simulation/RunTrack.h"
#include "views/CAnalysisView.h"
#include "vision/CFrameAnalyser.h"

namespace viren {

void EngineFrames::AnalyseFrame(const std::uint8_t* frame, std::size_t length, int width,
                                int height) {
  frameAnalysed_ = false;
  parts_.analyser.AnalyseFrame(frame, length, width, height);
  // A frame that was not analysed still wakes the driving thread once.
  if (!frameAnalysed_) parts_.runner.NotifyFrame();
  RecordRunStep();
  NotifyObserver();
}

void EngineFrames::NotifyObserver() {
  std::lock_guard lock(observerMutex_);
  if (frameObserver_) frameObserver_();
}

void EngineFrames::OnFrameAnalysed() {
  frameAnalysed_ = true;
  parts_.runner.NotifyFrame();
}

void EngineFrames::OnSimulationStep() {
  RecordRunStep();
  NotifyObserver();
}

void EngineFrames::RecordRunStep() {
  ProgramRunner& runner = parts_.runner;
  const int command = runner.CurrentCommand();
  if (command == -1) return;
  const CarState& car = parts_.car;
  TrackRow row;
  row.tMs = parts_.clock.NowMs();
  row.position = car.carLayoutPosition;
  row.direction = car.carDirection;
  row.turnCount = car.turnCount;
  row.driveState = parts_.drive.DriveState();
  row.command = command;
  parts_.runTrack.Record(row, runner.runNumber());
}

void EngineFrames::OnVideoRewound() {
  parts_.analyser.RewindPositionRing();
}

void EngineFrames::ReleaseFrameBuffers() {
  parts_.analyser.ReleaseFrameBuffers(false);
}

void EngineFrames::NotifyGraphEvent() {
  parts_.ui.PostCommand(WM_GRAPH_NOTIFY);
}

std::optional<std::string> EngineFrames::ChooseVideoFile() {
  if (!dialogs_) return std::nullopt;
  return dialogs_->ChooseVideoFile();
}

std::optional<FrameSize> EngineFrames::ChooseCameraFormat(const std::string& cameraName,
                                                          const std::vector<FrameSize>& sizes,
                                                          FrameSize current,
                                                          CameraControls* controls) {
  if (!dialogs_) return std::nullopt;
  return dialogs_->ChooseCameraFormat(cameraName, sizes, current, controls);
}

void EngineFrames::NotifyCamerasChanged() {
  parts_.ui.PostCommand(WM_CAMERAS_CHANGED);
}

void EngineFrames::StopCar() {
  // A run ends as from the menu (its thread sends the final stop); a car
  // driven by hand is stopped here.
  if (parts_.state.autoDriving) parts_.runner.StopAutoDriving();
  parts_.drive.SendDriveCommand(DRIVE_STOP);
}

void EngineFrames::LeaveSimulation() {
  if (parts_.state.autoDriving) parts_.runner.StopAutoDriving();
  parts_.simulator.StopSimulation();
}

void EngineFrames::ShowLiveView() {
  parts_.setViewMode(VIEW_LIVE);
}

void EngineFrames::FollowAfterFrame(int frameWidth) {
  const FollowSource source =
      parts_.state.viewMode == VIEW_LAYOUT ? FollowSource::LayoutView : FollowSource::CameraView;
  parts_.runner.FollowStep(source, frameWidth);
}

void EngineFrames::LeaveProgramEditor() {
  parts_.ui.ShowCommandToolbar(false);
}

void EngineFrames::FitFrameToClient(int width, int height) {
  parts_.ui.FitFrameToClient(width, height);
}

void EngineFrames::DrawStep() {
  parts_.view.DrawSimulationStep();
}

}  // namespace viren
