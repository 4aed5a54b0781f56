#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "api/InterfaceTarget.h"
#include "core/DriveInterfaces.h"
#include "core/DriveTypes.h"

namespace viren::test {

// Keeps the drive state word as the drive control does and records every
// command. Thread safe.
class FakeDrive : public DriveCommander {
 public:
  void SendDriveCommand(int code, SendTo = SendTo::Device) override {
    std::lock_guard lock(mutex_);
    commands_.push_back(code);
    std::uint32_t s = state_;
    switch (code) {
      case DRIVE_STOP:
        s &= ~DRIVE_STATE_MOVING;
        break;
      case DRIVE_FORWARD:
        s = (s & ~DRIVE_STATE_MOVING) | DRIVE_STATE_FORWARD;
        break;
      case DRIVE_REVERSE:
        s = (s & ~DRIVE_STATE_MOVING) | DRIVE_STATE_REVERSE;
        break;
      case DRIVE_STRAIGHT:
        s &= ~DRIVE_STATE_STEERING;
        break;
      case DRIVE_LEFT:
        s = (s & ~DRIVE_STATE_STEERING) | DRIVE_STATE_LEFT;
        break;
      case DRIVE_RIGHT:
        s = (s & ~DRIVE_STATE_STEERING) | DRIVE_STATE_RIGHT;
        break;
      case DRIVE_TURBO_ON:
        s |= DRIVE_STATE_TURBO;
        break;
      case DRIVE_TURBO_OFF:
        s &= ~DRIVE_STATE_TURBO;
        break;
      case DRIVE_AUTO_ON:
        s |= DRIVE_STATE_AUTO;
        break;
      case DRIVE_AUTO_OFF:
        s &= ~DRIVE_STATE_AUTO;
        break;
      default:
        break;
    }
    state_ = s;
  }
  std::uint32_t DriveState() const override { return state_; }
  int SpeedLevel() const override { return speed_; }
  void SetSpeedLevel(int level) override { speed_ = level; }

  std::vector<int> commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    commands_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<int> commands_;
  std::atomic<std::uint32_t> state_{0};
  std::atomic<int> speed_{2};
};

// Records every call as a line of text. Thread safe.
class FakeTarget : public api::InterfaceTarget {
 public:
  void PlaySound(int n, bool repeat) override {
    Record("PlaySound " + std::to_string(n) + (repeat ? " repeat" : " once"));
  }
  void PrepareSound(int n) override { Record("PrepareSound " + std::to_string(n)); }
  void StopSound(int n) override { Record("StopSound " + std::to_string(n)); }
  void StopAllSounds() override { Record("StopAllSounds"); }
  void ToggleFollowMode(FollowToggle mode) override {
    Record("ToggleFollowMode " + std::to_string(static_cast<int>(mode)));
  }
  bool BallPatternLearned() const override { return ballLearned; }
  void SetBallFollowing(int d) override { Record("SetBallFollowing " + std::to_string(d)); }
  int ProgramCommandCount() const override { return programCount; }
  void StartAutoDriving() override {
    Record("StartAutoDriving");
    if (onStartStop) onStartStop();
  }
  void StopAutoDriving() override {
    Record("StopAutoDriving");
    if (onStartStop) onStartStop();
  }
  // What the engine's start and stop also do (they reset the speed level).
  std::function<void()> onStartStop;
  void RunProgramFile(const std::string& path) override { Record("RunProgramFile " + path); }
  void RequestClipboardText(std::function<void(std::optional<std::string>)> reply) override {
    Record("RequestClipboardText");
    if (answerClipboard) {
      reply(clipboard);
    } else {
      std::lock_guard lock(mutex_);
      heldReply_ = std::move(reply);
    }
  }
  void RepaintSpeedLever() override { Record("RepaintSpeedLever"); }
  void AttachExternalWindow(std::uint32_t id) override {
    Record("AttachExternalWindow " + std::to_string(id));
  }
  void DetachExternalWindow() override { Record("DetachExternalWindow"); }

  std::vector<std::string> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
  }
  // Answers a clipboard request that was held back.
  void AnswerHeldRequest(std::optional<std::string> text) {
    std::function<void(std::optional<std::string>)> reply;
    {
      std::lock_guard lock(mutex_);
      reply = std::move(heldReply_);
    }
    if (reply) reply(std::move(text));
  }

  std::atomic<bool> ballLearned{false};
  std::atomic<int> programCount{0};
  std::atomic<bool> answerClipboard{true};
  std::optional<std::string> clipboard;

 private:
  void Record(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::function<void(std::optional<std::string>)> heldReply_;
};

}  // namespace viren::test
