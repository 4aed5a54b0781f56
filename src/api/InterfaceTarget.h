#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/EngineState.h"

namespace viren::api {

// What the commands of other programs ask of the engine beyond the drive
// commands (which go through DriveCommander) and the shared fields of
// EngineState and CarState. The engine implements it.
//
// Every call comes from the interface thread, concurrently with the window,
// capture, driving and simulation threads, unless its comment says otherwise.
// None of them may wait for the window thread: shut-down stops the interface
// thread from the window thread and waits for it.
class InterfaceTarget {
 public:
  virtual ~InterfaceTarget() = default;

  // Sounds of the sound list; `soundNumber` is 0..100.
  virtual void PlaySound(int soundNumber, bool repeat) = 0;
  virtual void PrepareSound(int soundNumber) = 0;
  virtual void StopSound(int soundNumber) = 0;
  virtual void StopAllSounds() = 0;

  // Target and ball following.
  virtual void ToggleFollowMode(FollowToggle mode) = 0;
  virtual bool BallPatternLearned() const = 0;
  // Before a new ball mode: lastSteerError := 0, ballDistance := the value,
  // steerTurnMark := 0. The interface then sets ballMode and targetActive.
  virtual void SetBallFollowing(int ballDistance) = 0;

  // The driving program.
  virtual int ProgramCommandCount() const = 0;
  virtual void StartAutoDriving() = 0;
  virtual void StopAutoDriving() = 0;
  // Sets AUTO in the drive state without repainting, reads the program file
  // (with its own messages on failure) and, when it loaded, redraws the
  // program editor and starts automatic driving.
  virtual void RunProgramFile(const std::string& path) = 0;

  // The clipboard belongs to the window thread: ask for its text there and
  // return at once. `reply` is called once, from any thread, with the text
  // (nullopt: no text). The interface stops waiting for a reply that does not
  // come within a few seconds or when it is stopped.
  virtual void RequestClipboardText(std::function<void(std::optional<std::string>)> reply) = 0;

  // The ROBO-Q controller skin's speed lever changed level.
  virtual void RepaintSpeedLever() = 0;

  // Another program hands over its window (an X11 window id) for the camera
  // picture: detach any attached window (clear externalDisplay, show the main
  // window normally), then, for a non-zero id, attach it, set externalDisplay
  // and repaint the view; where the platform cannot, refuse with a message.
  // Returns at once (the work belongs to the window thread).
  virtual void AttachExternalWindow(std::uint32_t windowId) = 0;
  // At the interface's stop, on the window thread: detach an attached window,
  // if any. Idempotent.
  virtual void DetachExternalWindow() = 0;
};

}  // namespace viren::api
