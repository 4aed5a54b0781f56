#pragma once

#include <atomic>

namespace viren {

enum ViewMode : int { VIEW_LIVE = 0, VIEW_DIFFERENCE = 1, VIEW_LAYOUT = 2, VIEW_PROGRAM = 3 };

enum OverlayMode : int {
  OVERLAY_CENTROID = 0,
  OVERLAY_DIRECTION = 1,
  OVERLAY_VECTOR = 2,
  OVERLAY_POLYGON = 3,
  OVERLAY_CAR_FIGURE = 4,
};

// What the ball recognition does. The numbers are those of the program
// interface's ball command.
enum class BallMode : int { Off = 0, Recognise = 1, Follow = 2, Avoid = 3 };

// What a follow command switches: the cheese (the menu's target), the ball
// to follow or to avoid (the same mode again switches it off), or both off
// (the program interface's target command). The numbers are those the
// commands carried.
enum class FollowToggle : int { BothOff = 0, Target = -1, FollowBall = 2, AvoidBall = 3 };

// The engine's mode flags that several threads read: the window thread
// changes most of them, the capture, driving, simulation and interface
// threads read whatever value stands. Each is an atomic on its own; none of
// them guards another.
struct EngineState {
  std::atomic<int> viewMode{VIEW_LIVE};
  std::atomic<int> overlayMode{OVERLAY_DIRECTION};
  std::atomic<int> cameraIndex{0};
  std::atomic<bool> captureRunning{false};
  std::atomic<bool> autoDriving{false};
  std::atomic<bool> simulating{false};
  // The simulation reports the car as a camera would: with position noise,
  // dropped frames and a delay (SimulationSettings). Switched live by the
  // parameter dialog.
  std::atomic<bool> cameraErrors{false};
  std::atomic<bool> targetFollowing{false};
  std::atomic<BallMode> ballMode{BallMode::Off};
  std::atomic<bool> deviceConnected{false};
  std::atomic<bool> showCourseRange{false};
  std::atomic<bool> externalDisplay{false};
  std::atomic<bool> interfaceActive{false};
  std::atomic<int> frameWidth{0};
  std::atomic<int> frameHeight{0};
  std::atomic<int> clientWidth{320};
  std::atomic<int> clientHeight{240};

  // Fixed at start-up from option.ini [CONTROL].
  std::atomic<bool> control4WD{false};
  std::atomic<bool> enableTurbo{true};
  std::atomic<bool> controlRoboQ{false};

  // Four-wheel mode is a way of wiring the relay board. A ROBO-Q steers with
  // its own direction codes, so in ROBO-Q mode CONTROL_4WD counts for nothing:
  // drive state, controller, simulation and program steering all ask here.
  bool fourWheel() const { return control4WD && !controlRoboQ; }
};

}  // namespace viren
