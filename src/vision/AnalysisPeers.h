#pragma once

#include <array>
#include <cstdint>

#include "core/Geometry.h"

namespace viren {

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
  // Writes the picture the view shows to numbered file `number`; false when
  // the recording is full and the dump ends.
  virtual bool DumpFrame(int width, int height, int number) = 0;
};

// Ball recognition. Called on every frame while the ball mode is on; keeps
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
  // The following step after an analysed frame `frameWidth` pixels wide, once
  // the target marker or the ball is drawn.
  virtual void FollowAfterFrame(int frameWidth) = 0;
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
  FrameListener* listener = nullptr;
};

}  // namespace viren
