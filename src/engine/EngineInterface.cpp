#include "engine/EngineInterface.h"

#include "ball/BallSystem.h"
#include "core/DriveTypes.h"
#include "core/Messages.h"
#include "core/UiHost.h"
#include "device/CCarDevices.h"
#include "engine/CDriveSystem.h"
#include "program/DrivingProgram.h"
#include "program/ProgramFile.h"
#include "program/ProgramRunner.h"
#include "sound/SoundSystem.h"

namespace viren {

void EngineInterface::PlaySound(int soundNumber, bool repeat) {
  engine_.sound().PlaySound(soundNumber, repeat ? SoundRepeat::Endless : SoundRepeat::Once);
}
void EngineInterface::PrepareSound(int soundNumber) {
  engine_.sound().PrepareSound(soundNumber);
}
void EngineInterface::StopSound(int soundNumber) {
  engine_.sound().StopSound(soundNumber);
}
void EngineInterface::StopAllSounds() {
  engine_.sound().StopAllSounds();
}

void EngineInterface::ToggleFollowMode(int mode) {
  engine_.runner().ToggleFollowMode(mode);
}

bool EngineInterface::BallPatternLearned() const {
  return engine_.ball().HasBallPattern();
}

void EngineInterface::SetBallFollowing(int ballDistance) {
  DrivingState& s = engine_.runner().state();
  s.lastSteerError = 0.0;
  s.ballDistance = ballDistance;
  s.steerTurnMark = 0;
}

int EngineInterface::ProgramCommandCount() const {
  return engine_.program().count();
}

void EngineInterface::StartAutoDriving() {
  // AUTO may already be set: the other program took external control (100/1)
  // or a run is going on, which the new one replaces.
  CDriveControl& drive = engine_.devices().drive();
  drive.SendDriveCommand(DRIVE_AUTO_ON);
  if (engine_.runner().StartAutoDriving() < 0) drive.SendDriveCommand(DRIVE_AUTO_OFF, false);
}

void EngineInterface::StopAutoDriving() {
  engine_.devices().drive().SendDriveCommand(DRIVE_AUTO_OFF);
  engine_.runner().StopAutoDriving();
}

void EngineInterface::RunProgramFile(const std::string& path) {
  // The editor, its undo copy and the status bar belong to the window thread.
  engine_.ui().RunOnWindowThread([this, path] { LoadAndRun(path); });
}

void EngineInterface::LoadAndRun(const std::string& path) {
  if (!engine_.engineReady()) return;  // shut down since the command came
  CDriveControl& drive = engine_.devices().drive();
  drive.ChangeDriveState(DRIVE_STATE_AUTO, 0);
  if (!engine_.programFiles().LoadFromInterface(path)) {
    drive.ChangeDriveState(0, DRIVE_STATE_AUTO);
    return;
  }
  engine_.ui().RepaintView();
  if (engine_.runner().StartAutoDriving() < 0) drive.SendDriveCommand(DRIVE_AUTO_OFF, false);
}

void EngineInterface::RequestClipboardText(std::function<void(std::optional<std::string>)> reply) {
  engine_.ui().RequestClipboardText(std::move(reply));
}

void EngineInterface::RepaintSpeedLever() {
  engine_.ui().RepaintControllerButton(2);
}

void EngineInterface::AttachExternalWindow(std::uint32_t windowId) {
  engine_.ui().AttachExternalWindow(0);
  if (windowId == 0) return;
  switch (engine_.ui().AttachExternalWindow(windowId)) {
    case ExternalWindowResult::Attached:
    case ExternalWindowResult::Detached:
      break;
    case ExternalWindowResult::NotSupported:
      engine_.ui().Message(kMessageExternalWindowRefused, {std::to_string(windowId)},
                           MsgIcon::Exclamation, MsgButtons::Ok);
      break;
    case ExternalWindowResult::NoSuchWindow:
      engine_.ui().Message(kMessageExternalWindowMissing, {std::to_string(windowId)},
                           MsgIcon::Exclamation, MsgButtons::Ok);
      break;
  }
}

void EngineInterface::DetachExternalWindow() {
  engine_.ui().AttachExternalWindow(0);
}

void EngineInterface::PublishStatus(std::uint32_t) {
  engine_.programInterface().PublishStatus();
}

bool EngineInterface::MovingAreaBoxRequested() const {
  return engine_.programInterface().contourBoxMode();
}

void EngineInterface::PublishPosition(const std::array<std::int16_t, 4>& values) {
  engine_.programInterface().PublishPositionValues(values);
}

void EngineInterface::PublishBall(const Rect& ballRect) {
  engine_.programInterface().PublishBall(ballRect);
}

void EngineInterface::PublishPosition() {
  engine_.programInterface().PublishPosition();
}

void EngineInterface::RepaintButton(int button, bool) {
  engine_.ui().RepaintControllerButton(button);
}

}  // namespace viren
