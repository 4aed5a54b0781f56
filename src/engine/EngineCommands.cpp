// The menu commands that the engine carries out itself.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "ball/BallSystem.h"
#include "capture/CaptureSystem.h"
#include "core/CommandIds.h"
#include "core/DriveTypes.h"
#include "core/Messages.h"
#include "core/UiHost.h"
#include "device/CCarDevices.h"
#include "editor/ProgramEditor.h"
#include "engine/CDriveSystem.h"
#include "engine/EngineFrames.h"
#include "layout/CourseLayout.h"
#include "program/DrivingProgram.h"
#include "program/ProgramFile.h"
#include "program/ProgramRunner.h"
#include "simulation/RunTrack.h"
#include "simulation/Simulator.h"
#include "views/CAnalysisView.h"
#include "views/FrameRecording.h"
#include "vision/CFrameAnalyser.h"

namespace viren {

void CDriveSystem::ToggleFrameRecording() {
  if (analyser_->frameDumpOn()) {
    analyser_->SetFrameDump(false);
    const auto summary = frameRecording_->Stop();
    ui_.SetStatusText(summary ? RecordingSummaryText(*summary) : "フレームの記録を止めました");
    return;
  }
  std::string folder = settings_.ReadString(keys::DEBUG_CAPTURE);
  if (folder.empty()) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    folder = DefaultRecordingFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"), stamp);
  }
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    ui_.SetStatusText("フレームを記録できません: " + folder + " (" + error.message() + ")");
    return;
  }
  const auto limitBytes =
      static_cast<std::uint64_t>(std::max(1, settings_.ReadInt(keys::DUMP_LIMIT))) * 1'000'000;
  frameRecording_->Start(folder, limitBytes);
  analyser_->SetFrameDump(true);
  ui_.SetStatusText("フレームを記録しています: " + folder);
}

CommandContext CDriveSystem::CommandContextNow() const {
  CommandContext c;
  c.viewMode = state_.viewMode;
  c.overlayMode = state_.overlayMode;
  c.cameraIndex = state_.cameraIndex;
  c.autoDriving = state_.autoDriving;
  c.simulating = state_.simulating;
  c.targetFollowing = state_.targetFollowing;
  c.ballMode = state_.ballMode;
  c.deviceConnected = state_.deviceConnected;
  c.comPort = settings_.ReadInt(keys::COM_NO);
  c.commandCount = program_->count();
  c.carType = layout_->carType();
  c.layoutType = layout_->layoutType();
  c.carPhotoLoaded = layout_->carPhotoLoaded();
  c.cameraCount = static_cast<int>(capture_->cameraMenu().size());
  c.positionDefinition = program_->positionEditIndex != -1;
  c.ballLearning = ball_->ballLearning();
  c.patternLoaded = ball_->HasBallPattern();
  c.trackShown = runTrack_->trailShown;
  c.captureRunning = state_.captureRunning;
  c.recordingFrames = analyser_->frameDumpOn();
  editor_->FillCommandContext(c);
  return c;
}

void CDriveSystem::SetViewMode(int mode) {
  const int current = state_.viewMode;
  if (mode == VIEW_PROGRAM && current != VIEW_PROGRAM) ui_.ShowCommandToolbar(true);
  if (current == VIEW_PROGRAM && mode != VIEW_PROGRAM) ui_.ShowCommandToolbar(false);

  const bool liveToLayout = current == VIEW_LIVE && mode == VIEW_LAYOUT;
  const bool layoutToLive = current == VIEW_LAYOUT && mode == VIEW_LIVE;
  if ((liveToLayout || layoutToLive) && !state_.autoDriving) {
    const Point cheese = carState_.cheesePosition;
    if (cheese.x != -1) carState_.cheesePosition = analyser_->ConvertPosition(cheese, layoutToLive);
  }
  state_.viewMode = mode;
}

bool CDriveSystem::ToggleAutoDriving() {
  if (program_->count() < 2) {
    ShowMessage(ui_, MSG_CONTROL_INIT_FAILED, MsgIcon::Stop);
    return false;
  }
  CDriveControl& drive = devices_->drive();
  if (drive.DriveState() & DRIVE_STATE_AUTO) {
    drive.SendDriveCommand(DRIVE_AUTO_OFF);
    runner_->StopAutoDriving();
    return true;
  }
  drive.SendDriveCommand(DRIVE_AUTO_ON);
  if (runner_->StartAutoDriving() < 0) {
    // A sound of the program could not be loaded (already reported).
    drive.SendDriveCommand(DRIVE_AUTO_OFF, SendTo::StateOnly);
    return false;
  }
  return true;
}

void CDriveSystem::EmergencyStop() {
  if (state_.autoDriving) runner_->StopAutoDriving();
  // Following would steer the car off again on the next frame.
  state_.targetFollowing = false;
  const BallMode ball = state_.ballMode;
  if (ball == BallMode::Follow || ball == BallMode::Avoid) state_.ballMode = BallMode::Off;
  ReleaseAllButtons(devices_->drive());
}

CDriveSystem::ViewMouseResult CDriveSystem::OnViewMouse(ViewMouse action, Point point) {
  ViewMouseResult result;
  const bool program = state_.viewMode == VIEW_PROGRAM;
  const BallMode ball = state_.ballMode;
  const bool marker = (state_.targetFollowing && !state_.autoDriving) ||
                      ((ball == BallMode::Follow || ball == BallMode::Avoid) && state_.simulating);
  ProgramRunner& runner = *runner_;
  switch (action) {
    case ViewMouse::LeftDown:
      if (ball_->ballLearning())
        ball_->SelectBallPoint(point);
      else if (marker)
        runner.MoveCheese(CheeseAction::Press, point);
      else if (program)
        editor_->ProgramMouse(ProgramMouseAction::LeftPress, point);
      break;
    case ViewMouse::Move:
      if (marker)
        runner.MoveCheese(CheeseAction::Move, point);
      else if (program)
        editor_->ProgramMouse(ProgramMouseAction::Move, point);
      break;
    case ViewMouse::LeftUp:
      if (marker)
        runner.MoveCheese(CheeseAction::Release, point);
      else if (program)
        result.programMenu = editor_->ProgramMouse(ProgramMouseAction::LeftRelease, point);
      break;
    case ViewMouse::DoubleClick:
      if (marker)
        runner.MoveCheese(CheeseAction::DoubleClick, point);
      else if (program)
        result.programMenu = editor_->ProgramMouse(ProgramMouseAction::DoubleClick, point);
      break;
    case ViewMouse::RightDown:
      if (program)
        result.programMenu = editor_->ProgramMouse(ProgramMouseAction::RightPress, point);
      else
        result.viewMenu = analyser_->debugMenu();
      break;
  }
  return result;
}

bool CDriveSystem::CheeseHovered() const {
  return runner_->state().cheeseHover;
}

bool CDriveSystem::OnCommand(int id) {
  if (id >= ID_CAMERA_NONE && id <= ID_CAMERA_LAST) {
    capture_->SelectCamera(id - ID_CAMERA_NONE);
    return true;
  }
  if (editor_->OnCommand(id)) return true;
  switch (id) {
    // The program file commands; a shortcut may come before the menu has
    // followed the state, so their rules are asked again here.
    case ID_FILE_OPEN:
      files_->OpenProgramFile(false);
      return true;
    case ID_OPEN_SAMPLE:
      files_->OpenProgramFile(true);
      return true;
    case ID_FILE_SAVE:
      if (EvaluateCommand(id, CommandContextNow()).enabled) files_->SaveProgramFile();
      return true;
    case ID_FILE_NEW:
      if (EvaluateCommand(id, CommandContextNow()).enabled) files_->NewProgram();
      return true;
    case ID_VIEW_LIVE:
      SetViewMode(VIEW_LIVE);
      return true;
    case ID_VIEW_DIFFERENCE:
      SetViewMode(VIEW_DIFFERENCE);
      return true;
    case ID_VIEW_LAYOUT:
      SetViewMode(VIEW_LAYOUT);
      return true;
    case ID_VIEW_PROGRAM:
      SetViewMode(VIEW_PROGRAM);
      editor_->ShowProgram();
      return true;
    case ID_OVERLAY_CENTROID:
      state_.overlayMode = OVERLAY_CENTROID;
      return true;
    case ID_OVERLAY_DIRECTION:
      state_.overlayMode = OVERLAY_DIRECTION;
      return true;
    case ID_OVERLAY_VECTOR:
      state_.overlayMode = OVERLAY_VECTOR;
      return true;
    case ID_OVERLAY_POLYGON:
      state_.overlayMode = OVERLAY_POLYGON;
      return true;
    case ID_OVERLAY_CAR_FIGURE:
      state_.overlayMode = OVERLAY_CAR_FIGURE;
      return true;
    case ID_VIEW_TRACK:
      runTrack_->trailShown = !runTrack_->trailShown;
      analysisView_->PaintLayoutView();
      return true;
    case ID_CHECK_PROGRAM:
      CheckProgramNow();
      return true;
    case ID_RECORD_FRAMES:
      ToggleFrameRecording();
      return true;
    case WM_GRAPH_NOTIFY:
      capture_->OnGraphEvent();
      return true;
    case WM_CAMERAS_CHANGED:
      capture_->OnCamerasChanged();
      return true;
    case WM_BALL_FRAME_TOO_LARGE:
      ui_.Message(
          MSG_BALL_FRAME_TOO_LARGE,
          {std::to_string(state_.frameWidth), std::to_string(state_.frameHeight), "2048x2048"},
          MsgIcon::Exclamation, MsgButtons::Ok);
      return true;
    case ID_CAMERA_SETTINGS:
      capture_->ShowCameraSettings();
      return true;
    case ID_OPEN_VIDEO:
      capture_->OpenVideoFile([this] {
        // The video takes the picture's place: a running simulation ends
        // first, or the video would not be seen until it did.
        if (state_.simulating) simulator_->StopSimulation();
      });
      return true;
    case ID_CAR_PHOTO:
      layout_->SetCarType(0);
      return true;
    case ID_CAR_GRAPHIC:
      layout_->SetCarType(1);
      return true;
    case ID_LAYOUT_PHOTO:
      layout_->SetLayoutType(0);
      return true;
    case ID_LAYOUT_GRAPHIC:
      layout_->SetLayoutType(1);
      return true;
    case ID_SIMULATION:
      simulator_->ToggleSimulation();
      return true;
    case ID_CAR_TO_CENTRE:
      if (!state_.simulating) return true;
      // As the controller's stop, then straight ahead from the middle.
      devices_->drive().SendDriveCommand(DRIVE_STOP);
      simulator_->ResetCar();
      return true;
    // Ends a run at once; runs are started from the controller or the
    // program interface.
    case ID_AUTO_DRIVING:
      if (state_.autoDriving) runner_->EndRunFromMenu();
      return true;
    case ID_FOLLOW_TARGET:
      runner_->ToggleFollowMode(FollowToggle::Target);
      return true;
    case ID_FOLLOW_BALL:
      ball_->RestartCountdown();
      runner_->ToggleFollowMode(FollowToggle::FollowBall);
      return true;
    case ID_AVOID_BALL:
      ball_->RestartCountdown();
      runner_->ToggleFollowMode(FollowToggle::AvoidBall);
      return true;
    default:
      return false;
  }
}

}  // namespace viren
