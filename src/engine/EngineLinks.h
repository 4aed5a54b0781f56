#pragma once

// The small adapters through which the engine's parts reach each other
// without knowing each other's classes.

#include <functional>
#include <mutex>

#include "ball/BallSystem.h"
#include "controller/ControllerPanel.h"
#include "core/CarState.h"
#include "core/CommandIds.h"
#include "core/DriveTypes.h"
#include "core/EngineState.h"
#include "core/UiHost.h"
#include "device/CDriveControl.h"
#include "device/DeviceInterfaces.h"
#include "editor/EditorPeers.h"
#include "editor/ProgramEditor.h"
#include "program/DrivingInterfaces.h"
#include "program/DrivingProgram.h"
#include "program/ProgramRunner.h"
#include "simulation/TrackHeading.h"
#include "sound/SoundSystem.h"
#include "vision/CFrameAnalyser.h"

namespace viren {

// Drive commands restart the heading estimates: the frame analysis' ring of
// camera positions and the simulated car's ring of exact positions.
class EnginePositionTrack final : public PositionTrack {
 public:
  EnginePositionTrack(CFrameAnalyser& analyser, TrackHeading& simulated)
      : analyser_(analyser), simulated_(simulated) {}
  void ResetPositionRing() override {
    analyser_.ResetPositionRing();
    simulated_.ResetPositionRing();
  }
  void WritePositionSnapshot() override { analyser_.WritePositionSnapshot(); }

 private:
  CFrameAnalyser& analyser_;
  TrackHeading& simulated_;
};

// Sound commands of a running program.
class EngineSoundControl final : public SoundControl {
 public:
  explicit EngineSoundControl(SoundSystem& sound) : sound_(sound) {}
  int LoadSound(int number) override { return sound_.PrepareSound(number); }
  void PlaySound(int number, bool repeat) override {
    sound_.PlaySound(number, repeat ? SoundRepeat::Endless : SoundRepeat::Once);
  }
  void StopSound(int number) override { sound_.StopSound(number); }
  void StopAllSounds() override { sound_.StopAllSounds(); }

 private:
  SoundSystem& sound_;
};

// Ball learning cuts the ball out of the analysis' reference frame.
class AnalyserReferenceFrame final : public ReferenceFrameSource {
 public:
  explicit AnalyserReferenceFrame(const CFrameAnalyser& analyser) : analyser_(analyser) {}
  bool CopyReferenceFrame(std::vector<std::uint8_t>& pixels, int& width, int& height) override {
    return analyser_.CopyReferenceFrame(pixels, width, height);
  }

 private:
  const CFrameAnalyser& analyser_;
};

// What a run tells the rest of the program.
class EngineDrivingObserver final : public DrivingObserver {
 public:
  EngineDrivingObserver(CDriveControl& drive, CFrameAnalyser& analyser)
      : drive_(drive), analyser_(analyser) {}
  // The automatic-driving button goes out (picture and status only), and
  // the run's report is made.
  void OnRunEnded() override {
    drive_.SendDriveCommand(DRIVE_AUTO_OFF, SendTo::StateOnly);
    if (runEnded_) runEnded_();
  }
  void SetRunEnded(std::function<void()> runEnded) { runEnded_ = std::move(runEnded); }
  void WritePositionSnapshot() override { analyser_.WritePositionSnapshot(); }
  void AcceptPositionDefinition() override {
    if (editor_) editor_->EndPositionDefinition(true);
  }
  void OnCommandStarted(int) override {
    if (ui_) ui_->RepaintView();
  }
  void SetEditor(ProgramEditor* editor, UiHost* ui) {
    editor_ = editor;
    ui_ = ui;
  }

 private:
  CDriveControl& drive_;
  CFrameAnalyser& analyser_;
  ProgramEditor* editor_ = nullptr;
  UiHost* ui_ = nullptr;
  std::function<void()> runEnded_;
};

// What a click on the on-screen controller asks of the engine.
class EngineControllerActions final : public ControllerActions {
 public:
  EngineControllerActions(UiHost& ui, EngineState& state, DrivingProgram& program,
                          ProgramRunner& runner, CDriveControl& drive)
      : ui_(ui), state_(state), program_(program), runner_(runner), drive_(drive) {}
  void PostExit() override { ui_.PostCommand(ID_APP_EXIT); }
  int ProgramCommandCount() const override { return program_.count(); }
  bool AutoDriving() const override { return state_.autoDriving; }
  void StartAutoDriving() override {
    // The user may call the start off when the program check finds
    // something; a sound of the program that cannot be loaded ends the start
    // (reported).
    if ((confirmStart_ && !confirmStart_()) || runner_.StartAutoDriving() < 0)
      drive_.SendDriveCommand(DRIVE_AUTO_OFF, SendTo::StateOnly);
  }
  // Asked before a start from the controller; false calls it off.
  void SetConfirmStart(std::function<bool()> confirm) { confirmStart_ = std::move(confirm); }
  void StopAutoDriving() override { runner_.StopAutoDriving(); }
  void ShowAutoDrivingRefused() override {
    ShowMessage(ui_, MSG_CONTROL_INIT_FAILED, MsgIcon::Stop);
  }

 private:
  UiHost& ui_;
  EngineState& state_;
  DrivingProgram& program_;
  ProgramRunner& runner_;
  CDriveControl& drive_;
  std::function<bool()> confirmStart_;
};

// What the program editor asks of the engine and the window.
class EngineEditorPeers final : public EditorPeers {
 public:
  EngineEditorPeers(SoundSystem& sound, UiHost& ui, std::function<void(int)> setViewMode)
      : sound_(sound), ui_(ui), setViewMode_(std::move(setViewMode)) {}
  int SoundCount() const override { return sound_.soundCount(); }
  void SetViewMode(int mode) override { setViewMode_(mode); }
  void ResizeFrameForClient(int width, int height) override { ui_.FitFrameToClient(width, height); }
  void RepaintView() override { ui_.RepaintView(); }

 private:
  SoundSystem& sound_;
  UiHost& ui_;
  std::function<void(int)> setViewMode_;
};

}  // namespace viren
