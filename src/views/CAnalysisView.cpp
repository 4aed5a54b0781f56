#include "views/CAnalysisView.h"

#include <filesystem>

#include <algorithm>
#include <cstring>

#include <QPainter>

#include "core/DriveInterfaces.h"
#include "core/DriveTypes.h"
#include "layout/CourseLayout.h"
#include "layout/ImageConvert.h"
#include "settings/Settings.h"
#include "views/FrameDump.h"
#include "views/FrameRecording.h"
#include "views/TargetMarker.h"
#include "views/TrackDrawing.h"
#include "vision/CFrameAnalyser.h"

namespace viren {

namespace {

// The difference view: background dark, moving pixels white; in the marker
// image isolated traced pixels green and traced boundaries yellow.
constexpr QRgb kBinaryColours[4] = {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(0, 255, 0),
                                    qRgb(255, 255, 0)};

void FitImage(QImage& image, int width, int height) {
  if (image.width() != width || image.height() != height ||
      image.format() != QImage::Format_RGB32) {
    image = QImage(width, height, QImage::Format_RGB32);
    image.fill(qRgb(0, 0, 0));
  }
}

}  // namespace

CAnalysisView::CAnalysisView(EngineState& engine, CarState& car, CourseLayout& layout,
                             const CFrameAnalyser& analyser, const Settings& settings,
                             PictureExchange& exchange)
    : engine_(engine),
      car_(car),
      layout_(layout),
      analyser_(analyser),
      settings_(settings),
      exchange_(exchange),
      targetMarker_(MakeTargetMarkerPicture()) {
  linePoints_.reserve(kMaxVertices);
}

void CAnalysisView::SetHooks(Hooks hooks) {
  hooks_ = std::move(hooks);
}

void CAnalysisView::LoadViewSettings() {
  pen_.colour = RgbOf(analyser_.penColor());
  pen_.width = analyser_.penWidth();
}

int CAnalysisView::PatternSize() const {
  return hooks_.patternSize ? hooks_.patternSize() : 64;
}

void CAnalysisView::BeginFrame() {}

void CAnalysisView::EndFrame() {
  if (writer_) writer_->Publish();
  writer_.reset();
}

void CAnalysisView::PrepareFrameSize(int width, int height) {
  frameWidth_ = width;
  frameHeight_ = height;
  FitImage(frameImage_, width, height);
}

void CAnalysisView::ReleaseFrameSize() {
  writer_.reset();
  frameImage_ = QImage();
  frameWidth_ = 0;
  frameHeight_ = 0;
}

void CAnalysisView::PaintBinaryImage(const std::uint8_t* image, int width, int height) {
  if (image == nullptr || width <= 0 || height <= 0) return;
  FitImage(frameImage_, width, height);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* from = image + static_cast<std::size_t>(height - 1 - y) * width;
    auto* to = reinterpret_cast<QRgb*>(frameImage_.scanLine(y));
    for (int x = 0; x < width; ++x) to[x] = kBinaryColours[from[x] & 3];
  }
}

void CAnalysisView::FitView(int width, int height) {
  if (engine_.clientWidth == width && engine_.clientHeight == height) return;
  engine_.clientWidth = width;
  engine_.clientHeight = height;
  if (hooks_.fitFrameToClient) hooks_.fitFrameToClient(width, height);
}

void CAnalysisView::DrawView(const std::uint8_t* frame, int width, int height) {
  if (width <= 0 || height <= 0) return;
  const int viewMode = engine_.viewMode;
  const bool layoutView = viewMode == VIEW_LAYOUT;
  FitView(layoutView ? kLayoutWidth : width, layoutView ? kLayoutHeight : height);

  // The camera picture into the off-screen frame picture (live view only; in
  // the difference view it holds the binary image of the last analysed frame).
  if (viewMode == VIEW_LIVE && frame != nullptr) {
    FitImage(frameImage_, width, height);
    for (int y = 0; y < height; ++y) {
      const std::uint8_t* from = frame + static_cast<std::size_t>(height - 1 - y) * width * 3;
      auto* to = reinterpret_cast<QRgb*>(frameImage_.scanLine(y));
      for (int x = 0; x < width; ++x, from += 3) to[x] = qRgb(from[2], from[1], from[0]);
    }
  }

  if (!writer_) writer_.emplace(exchange_.BeginPicture(engine_.clientWidth, engine_.clientHeight));
  QImage& out = writer_->image();
  if (out.isNull()) return;
  const Point centroid = car_.centroid;
  const bool found = centroid.x != -1;
  if (layoutView) {
    ComposeLayout(*writer_, engine_.overlayMode, car_.carLayoutPosition, found);
  } else {
    if (frameImage_.size() == out.size()) {
      std::memcpy(out.bits(), frameImage_.constBits(), static_cast<std::size_t>(out.sizeInBytes()));
    } else {
      out.fill(qRgb(0, 0, 0));
      QPainter& p = writer_->painter();
      p.setCompositionMode(QPainter::CompositionMode_SourceOver);
      p.drawImage(0, 0, frameImage_);
    }
    if (found) {
      QPainter& p = writer_->painter();
      switch (engine_.overlayMode) {
        case OVERLAY_CENTROID:
          DrawCross(p, centroid, pen_);
          break;
        case OVERLAY_DIRECTION: {
          const double heading = car_.carDirection;
          DrawDirectionArrow(p, centroid, heading, pen_);
          const std::uint32_t drive = drive_ != nullptr ? drive_->DriveState() : 0;
          if (analyser_.debugCenter() && viewMode == VIEW_LIVE &&
              (drive & DRIVE_STATE_MOVING) != 0 && (drive & DRIVE_STATE_STEERING) != 0) {
            DrawTurningRadius(p, car_.turnCentre, car_.turnRadius, heading,
                              (drive & DRIVE_STATE_RIGHT) != 0, pen_);
          }
          if (analyser_.markerCheck() != 0 && analyser_.markerDisplay()) {
            DrawCross(p, car_.markerPosition, pen_);
          }
          break;
        }
        case OVERLAY_VECTOR:
          DrawContours(p, analyser_.vertices(), analyser_.contourCounts(), analyser_.contourCount(),
                       pen_, linePoints_);
          break;
        case OVERLAY_POLYGON:
          DrawPolyline(p, analyser_.contourCentroids(), analyser_.contourCount(), pen_,
                       linePoints_);
          break;
        default:
          break;
      }
    }
  }
  if (hooks_.ballLearning && hooks_.ballLearning() && car_.ballRect.load().right != 0) {
    DrawBall(*writer_, layoutView);
  }
}

void CAnalysisView::DrawTrail(PictureExchange::Writer& writer) const {
  if (trail_) DrawFadingTrail(writer.painter(), trail_());
}

void CAnalysisView::DrawCarFigure(PictureExchange::Writer& writer, Point at, double heading) {
  // The figure is drawn with a painter of its own.
  writer.EndPainting();
  layout_.DrawCarFigure(writer.image(), at, heading);
}

void CAnalysisView::ComposeLayout(PictureExchange::Writer& writer, int overlayMode, Point carAt,
                                  bool carFound) {
  QImage& out = writer.image();
  if (!layout_.CopyLayoutInto(out)) out.fill(qRgb(255, 255, 255));
  DrawTrail(writer);
  if (carFound && overlayMode == OVERLAY_CENTROID) DrawCross(writer.painter(), carAt, pen_);
  if (carFound && overlayMode == OVERLAY_DIRECTION) {
    DrawDirectionArrow(writer.painter(), carAt, car_.carDirection, pen_);
  }
  // The figure shows where the car was last seen, found in this frame or not.
  if (overlayMode == OVERLAY_CAR_FIGURE) DrawCarFigure(writer, carAt, car_.carDirection);
}

void CAnalysisView::DrawBall(PictureExchange::Writer& writer, bool layoutView) {
  DrawBallMarker(writer.painter(), car_.ballRect.load(), layoutView, engine_.frameWidth,
                 engine_.frameHeight, PatternSize(), pen_);
}

void CAnalysisView::DrawTargetMarker() {
  if (!writer_) return;
  Point at = car_.cheesePosition;
  const int viewMode = engine_.viewMode;
  if (engine_.autoDriving && (viewMode == VIEW_LIVE || viewMode == VIEW_DIFFERENCE)) {
    at = ConvertPosition(at, true, engine_.frameWidth, engine_.frameHeight);
  }
  DrawTargetMarkerPicture(writer_->painter(), targetMarker_, at);
}

void CAnalysisView::DrawBallRectangle() {
  if (writer_) DrawBall(*writer_, engine_.viewMode == VIEW_LAYOUT);
}

void CAnalysisView::DrawCourseRange() {
  if (!writer_) return;
  // On the layout the range is drawn at the layout's scale, where it falls on
  // the layout's own outline.
  const bool layoutView = engine_.viewMode == VIEW_LAYOUT;
  DrawCourseRangeOnFrame(writer_->painter(), layoutView ? kLayoutWidth : frameWidth_,
                         layoutView ? kLayoutHeight : frameHeight_, layout_.borderWidth(),
                         layout_.borderHeight(), pen_);
}

bool CAnalysisView::DumpFrame(int width, int height, int number) {
  if (!writer_) return true;
  std::string folder;
  FrameRecording::Summary full;
  switch (recording_ != nullptr ? recording_->Reserve(DumpFileSize(width, height), folder, full)
                                : FrameRecording::Next::NotRecording) {
    case FrameRecording::Next::Full:
      if (hooks_.statusText) hooks_.statusText(RecordingSummaryText(full));
      return false;
    case FrameRecording::Next::Write:
      break;
    case FrameRecording::Next::NotRecording:
      // Read afresh every time, as the user may point it elsewhere meanwhile;
      // emptied, it stops the dump rather than writing to the current folder.
      folder = settings_.ReadString(keys::DEBUG_CAPTURE);
      break;
  }
  if (folder.empty()) return true;
  // A dumped run being played back from the dump folder itself would be
  // overwritten by its own replay.
  if (hooks_.playedSource) {
    const std::string played = hooks_.playedSource();
    std::error_code error;
    if (!played.empty() && std::filesystem::equivalent(folder, played, error)) return true;
  }
  WriteDumpFile(DumpFilePath(folder, number), writer_->image(), width, height);
  return true;
}

void CAnalysisView::DrawSimulationStep() {
  if (engine_.viewMode == VIEW_PROGRAM) return;
  PictureExchange::Writer writer = exchange_.BeginPicture(kLayoutWidth, kLayoutHeight);
  QImage& out = writer.image();
  if (!layout_.CopyLayoutInto(out)) out.fill(qRgb(255, 255, 255));
  DrawTrail(writer);
  const Point car = car_.carPosition;
  const double heading = car_.carDirection;
  switch (engine_.overlayMode) {
    case OVERLAY_CENTROID:
      DrawCross(writer.painter(), car, pen_);
      break;
    case OVERLAY_DIRECTION:
      DrawDirectionArrow(writer.painter(), car, heading, pen_);
      break;
    case OVERLAY_CAR_FIGURE:
      DrawCarFigure(writer, car, heading);
      break;
    default:
      break;
  }
  // A car that has driven off the picture is shown where it went.
  DrawOffPictureMarker(writer.painter(), car, pen_);
  const bool ballOn = engine_.ballMode != BallMode::Off;
  const Point cheese = car_.cheesePosition;
  if ((engine_.targetFollowing || ballOn) && cheese.x != -1) {
    if (ballOn) DrawBall(writer, true);
    DrawTargetMarkerPicture(writer.painter(), targetMarker_, cheese);
  }
  writer.Publish();
}

void CAnalysisView::PaintLayoutView() {
  if (engine_.viewMode != VIEW_LAYOUT || engine_.simulating || engine_.captureRunning) return;
  auto writer = exchange_.TryBeginPicture(kLayoutWidth, kLayoutHeight);
  if (!writer) return;
  ComposeLayout(*writer, engine_.overlayMode, car_.carLayoutPosition, car_.centroid.load().x != -1);
  writer->Publish();
}

}  // namespace viren
