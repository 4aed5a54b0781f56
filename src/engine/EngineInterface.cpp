#include "engine/EngineInterface.h"

#include "ball/BallSystem.h"
#include "core/DriveTypes.h"
#include "core/Messages.h"
#include "core/UiHost.h"
#include "device/CDriveControl.h"
#include "program/DrivingProgram.h"
#include "program/ProgramFile.h"
#include "program/ProgramRunner.h"
#include "sound/SoundSystem.h"

namespace viren {

void EngineInterface::PlaySound(int soundNumber, bool repeat) {
  parts_.sound.PlaySound(soundNumber, repeat ? SoundRepeat::Endless : SoundRepeat::Once);
}
void EngineInterface::PrepareSound(int soundNumber) {
  parts_.sound.PrepareSound(soundNumber);
}
void EngineInterface::StopSound(int soundNumber) {
  parts_.sound.StopSound(soundNumber);
}
void EngineInterface::StopAllSounds() {
  parts_.sound.StopAllSounds();
}

void EngineInterface::ToggleFollowMode(int mode) {
  parts_.runner.ToggleFollowMode(mode);
}

bool EngineInterface::BallPatternLearned() const {
  return parts_.ball.HasBallPattern();
}

void EngineInterface::SetBallFollowing(int ballDistance) {
  DrivingState& s = parts_.runner.state();
  s.lastSteerError = 0.0;
  s.ballDistance = ballDistance;
  s.steerTurnMark = 0;
}

int EngineInterface::ProgramCommandCount() const {
  return parts_.program.count();
}

void EngineInterface::StartAutoDriving() {
  // AUTO may already be set: the other program took external control (100/1)
  // or a run is going on, which the new one replaces.
  CDriveControl& drive = parts_.drive;
  drive.SendDriveCommand(DRIVE_AUTO_ON);
  if (parts_.runner.StartAutoDriving() < 0) drive.SendDriveCommand(DRIVE_AUTO_OFF, false);
}

void EngineInterface::StopAutoDriving() {
  parts_.drive.SendDriveCommand(DRIVE_AUTO_OFF);
  parts_.runner.StopAutoDriving();
}

void EngineInterface::RunProgramFile(const std::string& path) {
  // The editor, its undo copy and the status bar belong to the window thread.
  parts_.ui.RunOnWindowThread([this, path] { LoadAndRun(path); });
}

void EngineInterface::LoadAndRun(const std::string& path) {
  if (!parts_.engineReady) return;  // shut down since the command came
  CDriveControl& drive = parts_.drive;
  drive.ChangeDriveState(DRIVE_STATE_AUTO, 0);
  if (!parts_.files.LoadFromInterface(path)) {
    drive.ChangeDriveState(0, DRIVE_STATE_AUTO);
    return;
  }
  parts_.ui.RepaintView();
  if (parts_.runner.StartAutoDriving() < 0) drive.SendDriveCommand(DRIVE_AUTO_OFF, false);
}

void EngineInterface::RequestClipboardText(std::function<void(std::optional<std::string>)> reply) {
  parts_.ui.RequestClipboardText(std::move(reply));
}

void EngineInterface::RepaintSpeedLever() {
  parts_.ui.RepaintControllerButton(2);
}

void EngineInterface::AttachExternalWindow(std::uint32_t windowId) {
  parts_.ui.AttachExternalWindow(0);
  if (windowId == 0) return;
  switch (parts_.ui.AttachExternalWindow(windowId)) {
    case ExternalWindowResult::Attached:
    case ExternalWindowResult::Detached:
      break;
    case ExternalWindowResult::NotSupported:
      parts_.ui.Message(kMessageExternalWindowRefused, {std::to_string(windowId)},
                        MsgIcon::Exclamation, MsgButtons::Ok);
      break;
    case ExternalWindowResult::NoSuchWindow:
      parts_.ui.Message(kMessageExternalWindowMissing, {std::to_string(windowId)},
                        MsgIcon::Exclamation, MsgButtons::Ok);
      break;
  }
}

void EngineInterface::DetachExternalWindow() {
  parts_.ui.AttachExternalWindow(0);
}

void EngineInterface::PublishStatus(std::uint32_t) {
  programInterface_->PublishStatus();
}

bool EngineInterface::MovingAreaBoxRequested() const {
  return programInterface_->contourBoxMode();
}

void EngineInterface::PublishPosition(const std::array<std::int16_t, 4>& values) {
  programInterface_->PublishPositionValues(values);
}

void EngineInterface::PublishBall(const Rect& ballRect) {
  programInterface_->PublishBall(ballRect);
}

void EngineInterface::PublishPosition() {
  programInterface_->PublishPosition();
}

void EngineInterface::RepaintButton(int button, bool) {
  parts_.ui.RepaintControllerButton(button);
}

}  // namespace viren
