#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "core/DriveInterfaces.h"
#include "core/EngineState.h"

namespace viren {

// The drive state without any device: the button rules of the drive
// commands (implicit turbo release on a stop while moving, buttons that
// exclude each other in four-wheel mode), the speed level, and the restart of
// the heading track on every change of driving or steering. Enough for the
// simulated car in headless runs and tests. Thread safe.
class StateDriveCommander final : public DriveCommander {
 public:
  explicit StateDriveCommander(const EngineState& engine) : engine_(engine) {}

  // Called for codes 1..5 (the heading estimation starts a new track).
  void SetTrackReset(std::function<void()> reset) { trackReset_ = std::move(reset); }

  void SendDriveCommand(int code, SendTo to = SendTo::Device) override;
  std::uint32_t DriveState() const override { return state_; }
  int SpeedLevel() const override { return speedLevel_; }
  void SetSpeedLevel(int level) override { speedLevel_ = level; }

  // Every code applied so far, in order (implicit turbo releases included).
  std::vector<int> History() const;
  void ClearHistory();

 private:
  void ApplyLocked(int code);

  const EngineState& engine_;
  std::function<void()> trackReset_;
  mutable std::mutex mutex_;
  std::atomic<std::uint32_t> state_{0};
  std::atomic<int> speedLevel_{2};
  std::vector<int> history_;
};

}  // namespace viren
