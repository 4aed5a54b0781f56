#pragma once

#include <functional>
#include <optional>

#include <QImage>

#include "core/CarState.h"
#include "core/EngineState.h"
#include "views/Overlays.h"
#include "views/PictureExchange.h"
#include "vision/AnalysisPeers.h"

namespace viren {

class CFrameAnalyser;
class CourseLayout;
class DriveCommander;
class FrameRecording;
class Settings;

// The pictures of the live, difference and layout views with their overlays,
// the target marker, the ball, the course range and the frame dump, composed
// off-screen and handed to the window through a PictureExchange.
//
// Threads: the AnalysisView calls run on the capture thread inside
// CFrameAnalyser::AnalyseFrame (which serialises them with the analyser's
// frame-size changes); DrawSimulationStep on the simulation thread;
// PaintLayoutView and the set-up calls on the window thread. The picture
// being composed belongs to one thread at a time (the exchange sees to it);
// the camera picture is touched only by the capture thread.
class CAnalysisView final : public AnalysisView {
 public:
  // What the window and the ball part lend to the drawing. Each may be empty.
  struct Hooks {
    // The view's client area must become width x height (the window resizes
    // its frame by 19 x 103 more); called on the drawing thread.
    std::function<void(int width, int height)> fitFrameToClient = nullptr;
    // The learned ball pattern's side (64 when not set).
    std::function<int()> patternSize = nullptr;
    // True while the ball learning dialog is open.
    std::function<bool()> ballLearning = nullptr;
    // The video file or bitmap folder being played (empty: a camera or none);
    // called on the capture thread while the frame dump is on.
    std::function<std::string()> playedSource = nullptr;
    // A note for the status bar; any thread.
    std::function<void(const std::string&)> statusText = nullptr;
  };

  CAnalysisView(EngineState& engine, CarState& car, CourseLayout& layout,
                const CFrameAnalyser& analyser, const Settings& settings,
                PictureExchange& exchange);

  // Set-up, window thread, before capture or simulation start.
  void SetHooks(Hooks hooks);
  void SetDriveCommander(const DriveCommander* drive) { drive_ = drive; }
  // The View menu's recording, which the frame dump follows while it runs.
  void SetFrameRecording(FrameRecording* recording) { recording_ = recording; }
  // The points of the layout view's trail (empty: no trail), asked on the
  // drawing thread for every layout picture.
  void SetTrailSource(std::function<std::vector<Point>()> trail) { trail_ = std::move(trail); }
  // The overlay pen from the analysis settings; after LoadAnalysisSettings.
  void LoadViewSettings();
  const OverlayPen& pen() const { return pen_; }
  const QImage& targetMarker() const { return targetMarker_; }

  // ---- AnalysisView (capture thread) ----
  void BeginFrame() override;
  void EndFrame() override;
  void PrepareFrameSize(int width, int height) override;
  void ReleaseFrameSize() override;
  void PaintBinaryImage(const std::uint8_t* image, int width, int height) override;
  void DrawView(const std::uint8_t* frame, int width, int height) override;
  void DrawTargetMarker() override;
  void DrawBallRectangle() override;
  void DrawCourseRange() override;
  bool DumpFrame(int width, int height, int number) override;

  // ---- simulation thread ----
  // One step's picture: the layout, the car by overlayMode at carPosition,
  // the ball and the target marker while following; published whole.
  void DrawSimulationStep();

  // ---- window thread ----
  // The paint step: in the layout view, while neither the simulation nor the
  // capture composes pictures, the layout with the car figure is composed
  // now, so that a changed layout shows without waiting for a frame.
  void PaintLayoutView();

 private:
  void FitView(int width, int height);
  void ComposeLayout(PictureExchange::Writer& writer, int overlayMode, Point carAt, bool carFound);
  void DrawBall(PictureExchange::Writer& writer, bool layoutView);
  void DrawTrail(PictureExchange::Writer& writer) const;
  void DrawCarFigure(PictureExchange::Writer& writer, Point at, double heading);
  int PatternSize() const;

  EngineState& engine_;
  CarState& car_;
  CourseLayout& layout_;
  const CFrameAnalyser& analyser_;
  const Settings& settings_;
  PictureExchange& exchange_;
  const DriveCommander* drive_ = nullptr;
  FrameRecording* recording_ = nullptr;
  std::function<std::vector<Point>()> trail_;
  Hooks hooks_;
  OverlayPen pen_;
  QImage targetMarker_;

  // Capture thread only.
  QImage frameImage_;  // frameDC: the camera picture or the binary image, W x H
  int frameWidth_ = 0;
  int frameHeight_ = 0;
  std::optional<PictureExchange::Writer> writer_;
  std::vector<QPoint> linePoints_;  // the contour overlays' points
};

}  // namespace viren
