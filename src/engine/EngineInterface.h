#pragma once

#include "api/InterfaceTarget.h"
#include "api/ProgramInterface.h"
#include "ball/BallSystem.h"
#include "core/UiHost.h"
#include "device/DeviceInterfaces.h"
#include "program/DrivingProgram.h"
#include "program/ProgramRunner.h"
#include "simulation/Simulator.h"
#include "sound/SoundSystem.h"
#include "vision/AnalysisPeers.h"

namespace viren {

class CDriveControl;
class ProgramFiles;

// The engine as other programs reach it through shared memory, and the
// publishing of the car's state to them from the threads that change it.
class EngineInterface final : public api::InterfaceTarget,
                              public StatusPublisher,
                              public PositionPublisher,
                              public SimulationPositionPublisher,
                              public ControllerView {
 public:
  // The engine's parts other programs reach.
  struct Parts {
    UiHost& ui;
    const bool& engineReady;
    CDriveControl& drive;
    DrivingProgram& program;
    ProgramFiles& files;
    ProgramRunner& runner;
    SoundSystem& sound;
    BallSystem& ball;
  };
  explicit EngineInterface(Parts parts) : parts_(parts) {}
  // The program interface is built on this object; it comes before any
  // thread publishes.
  void SetProgramInterface(api::ProgramInterface& programInterface) {
    programInterface_ = &programInterface;
  }

  // api::InterfaceTarget (interface thread).
  void PlaySound(int soundNumber, bool repeat) override {
    parts_.sound.PlaySound(soundNumber, repeat ? SoundRepeat::Endless : SoundRepeat::Once);
  }
  void PrepareSound(int soundNumber) override { parts_.sound.PrepareSound(soundNumber); }
  void StopSound(int soundNumber) override { parts_.sound.StopSound(soundNumber); }
  void StopAllSounds() override { parts_.sound.StopAllSounds(); }
  void ToggleFollowMode(FollowToggle mode) override { parts_.runner.ToggleFollowMode(mode); }
  bool BallPatternLearned() const override { return parts_.ball.HasBallPattern(); }
  void SetBallFollowing(int ballDistance) override;
  int ProgramCommandCount() const override { return parts_.program.count(); }
  void StartAutoDriving() override;
  void StopAutoDriving() override;
  void RunProgramFile(const std::string& path) override;
  void RequestClipboardText(std::function<void(std::optional<std::string>)> reply) override {
    parts_.ui.RequestClipboardText(std::move(reply));
  }
  void RepaintSpeedLever() override { parts_.ui.RepaintControllerButton(2); }
  void AttachExternalWindow(std::uint32_t windowId) override;
  void DetachExternalWindow() override { parts_.ui.AttachExternalWindow(0); }

  // StatusPublisher (whoever sends a drive command).
  void PublishStatus(std::uint32_t) override { programInterface_->PublishStatus(); }
  // PositionPublisher (capture thread).
  bool MovingAreaBoxRequested() const override { return programInterface_->contourBoxMode(); }
  void PublishPosition(const std::array<std::int16_t, 4>& values) override {
    programInterface_->PublishPositionValues(values);
  }
  void PublishBall(const Rect& ballRect) override { programInterface_->PublishBall(ballRect); }
  // SimulationPositionPublisher (simulation thread).
  void PublishPosition() override { programInterface_->PublishPosition(); }
  // ControllerView: the on-screen controller shows the button again.
  void RepaintButton(int button, bool) override { parts_.ui.RepaintControllerButton(button); }

 private:
  // COMMAND_PROGRAM_FILE on the window thread: the load, then the run.
  void LoadAndRun(const std::string& path);

  Parts parts_;
  api::ProgramInterface* programInterface_ = nullptr;
};

}  // namespace viren
