#pragma once

#include "api/InterfaceTarget.h"
#include "api/ProgramInterface.h"
#include "device/DeviceInterfaces.h"
#include "simulation/Simulator.h"
#include "vision/AnalysisPeers.h"

namespace viren {

class BallSystem;
class CDriveControl;
class DrivingProgram;
class ProgramFiles;
class ProgramRunner;
class SoundSystem;
class UiHost;

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
  void PlaySound(int soundNumber, bool repeat) override;
  void PrepareSound(int soundNumber) override;
  void StopSound(int soundNumber) override;
  void StopAllSounds() override;
  void ToggleFollowMode(int mode) override;
  bool BallPatternLearned() const override;
  void SetBallFollowing(int ballDistance) override;
  int ProgramCommandCount() const override;
  void StartAutoDriving() override;
  void StopAutoDriving() override;
  void RunProgramFile(const std::string& path) override;
  void RequestClipboardText(std::function<void(std::optional<std::string>)> reply) override;
  void RepaintSpeedLever() override;
  void AttachExternalWindow(std::uint32_t windowId) override;
  void DetachExternalWindow() override;

  // StatusPublisher (whoever sends a drive command).
  void PublishStatus(std::uint32_t driveState) override;
  // PositionPublisher (capture thread).
  bool MovingAreaBoxRequested() const override;
  void PublishPosition(const std::array<std::int16_t, 4>& values) override;
  void PublishBall(const Rect& ballRect) override;
  // SimulationPositionPublisher (simulation thread).
  void PublishPosition() override;
  // ControllerView: the on-screen controller shows the button again.
  void RepaintButton(int button, bool pressed) override;

 private:
  // Command 12 on the window thread: the load, then the run.
  void LoadAndRun(const std::string& path);

  Parts parts_;
  api::ProgramInterface* programInterface_ = nullptr;
};

}  // namespace viren
