#include "engine/EngineInterface.h"

#include "core/DriveTypes.h"
#include "core/Messages.h"
#include "device/CDriveControl.h"
#include "program/ProgramFile.h"

namespace viren {

void EngineInterface::SetBallFollowing(int ballDistance) {
  DrivingState& s = parts_.runner.state();
  s.lastSteerError = 0.0;
  s.ballDistance = ballDistance;
  s.steerTurnMark = 0;
}

void EngineInterface::StartAutoDriving() {
  // AUTO may already be set: the other program took external control (EXTERNAL_ON)
  // or a run is going on, which the new one replaces.
  parts_.drive.SendDriveCommand(DRIVE_AUTO_ON);
  if (parts_.runner.StartAutoDriving() < 0)
    parts_.drive.SendDriveCommand(DRIVE_AUTO_OFF, SendTo::StateOnly);
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
  parts_.drive.ChangeDriveState(DRIVE_STATE_AUTO, 0);
  if (!parts_.files.LoadFromInterface(path)) {
    parts_.drive.ChangeDriveState(0, DRIVE_STATE_AUTO);
    return;
  }
  parts_.ui.RepaintView();
  if (parts_.runner.StartAutoDriving() < 0)
    parts_.drive.SendDriveCommand(DRIVE_AUTO_OFF, SendTo::StateOnly);
}

void EngineInterface::AttachExternalWindow(std::uint32_t windowId) {
  UiHost& ui = parts_.ui;
  ui.AttachExternalWindow(0);
  if (windowId == 0) return;
  switch (ui.AttachExternalWindow(windowId)) {
    case ExternalWindowResult::Attached:
    case ExternalWindowResult::Detached:
      break;
    case ExternalWindowResult::NotSupported:
      ui.Message(MSG_EXTERNAL_WINDOW_REFUSED, {std::to_string(windowId)}, MsgIcon::Exclamation,
                 MsgButtons::Ok);
      break;
    case ExternalWindowResult::NoSuchWindow:
      ui.Message(MSG_EXTERNAL_WINDOW_MISSING, {std::to_string(windowId)}, MsgIcon::Exclamation,
                 MsgButtons::Ok);
      break;
  }
}

}  // namespace viren
