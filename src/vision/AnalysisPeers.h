#pragma once

#include <array>
#include <cstdint>

#include "core/Geometry.h"

namespace viren {

class AutoResetEvent;
class DriveCommander;

// What the frame analysis calls on the parts around it. Each is implemented by
// the part that owns the work (views, ball recognition, target following, the
// program interface) and handed to CFrameAnalyser::SetPeers before capture
// starts. Every method is called on the capture thread, inside AnalyseFrame,
// and must not call back into AnalyseFrame.

// The picture of the current view and its overlays.
class AnalysisView {
 public:
  virtual ~AnalysisView() = default;
  // Before anything of a frame is drawn: choose the output (the view window,
  // or the window handed over by the program interface, detaching that window
  // when it has gone away).
  virtual void BeginFrame() = 0;
  // After everything of a frame: release the output.
  virtual void EndFrame() = 0;
  // The first frame after the capture (re)connected: make the off-screen
  // picture and whatever else depends on the frame size.
  virtual void PrepareFrameSize(int width, int height) = 0;
  // The capture stopped or is rebuilt: drop the frame-size resources.
  virtual void ReleaseFrameSize() = 0;
  // Difference view: the binary image of this frame (0 background, non-zero
  // set; memory row 0 at the bottom) into the off-screen picture.
  virtual void PaintBinaryImage(const std::uint8_t* image, int width, int height) = 0;
  // The view with its overlay; `frame` is the camera frame (bottom-up BGR).
  virtual void DrawView(const std::uint8_t* frame, int width, int height) = 0;
  virtual void DrawTargetMarker() = 0;
  virtual void DrawBallRectangle() = 0;
  virtual void DrawCourseRange() = 0;
  // Writes what the view shows to numbered picture `number`; may overwrite
  // `frame` with the displayed picture.
  virtual bool DumpFrame(int width, int height, int number) = 0;
};

// Ball recognition. Called on every frame while ballMode is non-zero; keeps
// its own countdown (PM_FRAME) and searches only when it runs out.
class BallSearch {
 public:
  virtual ~BallSearch() = default;
  // True when a search ran on this frame and found the ball at `ballRect`
  // (image coordinates).
  virtual bool SearchFrame(const std::uint8_t* frame, int width, int height, Rect& ballRect) = 0;
};

// Target and ball following of the driving program.
class TargetFollower {
 public:
  virtual ~TargetFollower() = default;
  // During automatic driving: a wait command of the running program is in
  // progress. Otherwise: the editor is placing a command's position with the
  // target icon. Either way the target check stands aside.
  virtual bool TargetCheckBlocked(bool autoDriving) const = 0;
  virtual int BallDistance() const = 0;
  // True when the car has reached the target (within `range`).
  virtual bool Approach(Point target, Point car, int range) = 0;
  // True when the car has left the target behind (beyond `range`).
  virtual bool Avoid(Point target, Point car, int range) = 0;
};

// The "Position" and "Ball" blocks of the program interface, four 16-bit
// values each.
class PositionPublisher {
 public:
  virtual ~PositionPublisher() = default;
  // Whether the interface has asked for the moving-area box instead of the
  // car's position.
  virtual bool MovingAreaBoxRequested() const = 0;
  virtual void PublishPosition(const std::array<std::int16_t, 4>& values) = 0;
  virtual void PublishBall(const Rect& ballRect) = 0;
};

// Whoever waits for analysed frames (the driving thread): told after the
// car state of each analysed frame is up to date, before the ball search and
// the drawing of that frame.
class FrameListener {
 public:
  virtual ~FrameListener() = default;
  virtual void OnFrameAnalysed() = 0;
};

struct AnalysisPeers {
  AnalysisView* view = nullptr;
  BallSearch* ballSearch = nullptr;
  TargetFollower* follower = nullptr;
  PositionPublisher* publisher = nullptr;
  DriveCommander* drive = nullptr;
  // Signalled after each analysed frame while automatic driving runs.
  AutoResetEvent* frameEvent = nullptr;
  FrameListener* listener = nullptr;
};

}  // namespace viren
