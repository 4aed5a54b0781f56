#include "engine/EngineFrames.h"

#include "capture/CaptureSystem.h"
#include "core/CommandIds.h"
#include "core/DriveTypes.h"
#include "core/UiHost.h"
#include "device/CCarDevices.h"
#include "engine/CDriveSystem.h"
#include "program/DrivingProgram.h"
#include "program/ProgramRunner.h"
#include "simulation/RunTrack.h"
#include "views/CAnalysisView.h"
#include "vision/CFrameAnalyser.h"

namespace viren {

void EngineFrames::AnalyseFrame(const std::uint8_t* frame, std::size_t length, int width,
                                int height) {
  // The capture's own conversion buffer: the analysis reads it and the frame
  // dump writes only its own copy.
  frameAnalysed_ = false;
  engine_.analyser().AnalyseFrame(const_cast<std::uint8_t*>(frame), length, width, height);
  // A frame that was not analysed still wakes the driving thread once.
  if (!frameAnalysed_) engine_.runner().NotifyFrame();
  RecordRunStep();
  NotifyObserver();
}

void EngineFrames::NotifyObserver() {
  std::lock_guard lock(observerMutex_);
  if (frameObserver_) frameObserver_();
}

void EngineFrames::OnFrameAnalysed() {
  frameAnalysed_ = true;
  engine_.runner().NotifyFrame();
}

void EngineFrames::OnSimulationStep() {
  RecordRunStep();
  NotifyObserver();
}

void EngineFrames::RecordRunStep() {
  ProgramRunner& runner = engine_.runner();
  const int command = runner.CurrentCommand();
  if (command == -1) return;
  const CarState& car = engine_.carState();
  TrackRow row;
  row.tMs = engine_.clock().NowMs();
  row.position = car.carLayoutPosition;
  row.direction = car.carDirection;
  row.turnCount = car.turnCount;
  row.driveState = engine_.devices().drive().DriveState();
  row.command = command;
  engine_.runTrack().Record(row, runner.runNumber());
}

void EngineFrames::OnVideoRewound() {
  engine_.analyser().RewindPositionRing();
}

void EngineFrames::ReleaseFrameBuffers() {
  engine_.analyser().ReleaseFrameBuffers(false);
}

void EngineFrames::NotifyGraphEvent() {
  engine_.ui().PostCommand(WM_GRAPH_NOTIFY);
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
  engine_.ui().PostCommand(WM_CAMERAS_CHANGED);
}

void EngineFrames::StopCar() {
  // A run ends as from the menu (its thread sends the final stop); a car
  // driven by hand is stopped here.
  if (engine_.state().autoDriving) engine_.runner().StopAutoDriving();
  engine_.devices().drive().SendDriveCommand(DRIVE_STOP, true);
}

void EngineFrames::LeaveSimulation() {
  if (engine_.state().autoDriving) engine_.runner().StopAutoDriving();
  engine_.simulator().StopSimulation();
}

void EngineFrames::ShowLiveView() {
  engine_.SetViewMode(VIEW_LIVE);
}

bool EngineFrames::TargetCheckBlocked(bool autoDriving) const {
  if (autoDriving) return engine_.runner().state().waitActive != 0;
  return engine_.program().positionEditIndex != -1;
}

int EngineFrames::BallDistance() const {
  return engine_.runner().state().ballDistance;
}

bool EngineFrames::Approach(Point target, Point car, int range) {
  return engine_.runner().SteerToward(target, car, range) == 1;
}

bool EngineFrames::Avoid(Point target, Point car, int range) {
  return engine_.runner().SteerAway(target, car, range) == 1;
}

void EngineFrames::LeaveProgramEditor() {
  engine_.ui().ShowCommandToolbar(false);
}

void EngineFrames::FitFrameToClient(int width, int height) {
  engine_.ui().FitFrameToClient(width, height);
}

void EngineFrames::DrawStep() {
  engine_.analysisView().DrawSimulationStep();
}

}  // namespace viren
