#include "vision/CFrameAnalyser.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/DiagnosticLog.h"
#include "core/DriveInterfaces.h"
#include "core/DriveTypes.h"
#include "settings/Settings.h"
#include "vision/PixelTests.h"

namespace viren {
namespace {

std::int32_t ClampToInt(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// Degrees 0..360 with 180 for a car pointing right, as the "Position" block
// carries them.
std::int16_t BlockDegrees(double direction) {
  return static_cast<std::int16_t>(static_cast<int>((direction + kPi) * 57.29582790879778));
}

}  // namespace

Point ConvertPosition(Point p, bool toImage, int width, int height) {
  if (width <= 0 || height <= 0) return p;
  if (toImage)
    return Point{ClampToInt(std::int64_t{p.x} * width / kLayoutWidth),
                 ClampToInt(std::int64_t{p.y} * height / kLayoutHeight)};
  return Point{ClampToInt(std::int64_t{p.x} * kLayoutWidth / width),
               ClampToInt(std::int64_t{p.y} * kLayoutHeight / height)};
}

CFrameAnalyser::CFrameAnalyser(CarState& car, EngineState& engine) : car_(car), engine_(engine) {}

void CFrameAnalyser::SetPeers(const AnalysisPeers& peers) {
  std::lock_guard lock(frameMutex_);
  peers_ = peers;
}

void CFrameAnalyser::SetPositionLogPath(std::string path) {
  std::lock_guard lock(logMutex_);
  logPath_ = std::move(path);
}

int CFrameAnalyser::LoadAnalysisSettings(const Settings& settings) {
  std::scoped_lock lock(frameMutex_, headingMutex_);
  car_.carPosition = Point{0, 0};
  car_.carLayoutPosition = ConvertPosition(Point{0, 0}, false);
  car_.carDirection = 0.0;
  car_.lastDirection = 0.0;
  car_.turnRadius = 0;
  car_.turnCount = 0;
  Point centroid = car_.centroid.load();
  centroid.x = -1;
  car_.centroid = centroid;
  car_.lostCountdown = 0;
  engine_.clientWidth = 320;
  engine_.clientHeight = 240;

  // A ring of no slots would leave nothing to count in; one is the least.
  samplingFrame_ = std::max(1, settings.ReadInt(keys::SAMPLING_FRAME));
  samplingMinimum_ = settings.ReadInt(keys::SAMPLING_MINIMUM);
  penColor_ = settings.ReadColor(keys::VECTOR_PEN_COLOR);
  penWidth_ = settings.ReadInt(keys::VECTOR_PEN_WIDTH);
  diffLevel_ = settings.ReadInt(keys::DIFF_LEVEL);
  compareFrame_ = settings.ReadInt(keys::COMPARE_FRAME);
  markerCheck_ = settings.ReadInt(keys::MARKER_CHECK);
  markerLevel_ = settings.ReadInt(keys::MARKER_LEVEL);
  markerDisplay_ = settings.ReadInt(keys::MARKER_DISPLAY) != 0;
  debugMenu_ = settings.ReadInt(keys::DEBUG_MENU) != 0;
  captureDirectory_ = settings.ReadString(keys::DEBUG_CAPTURE);
  debugCenter_ = settings.ReadInt(keys::DEBUG_CENTER) != 0;
  logPosition_ = settings.ReadInt(keys::LOG_POSITION) != 0;
  emergencyCount_ = settings.ReadInt(keys::EMERGENCY_COUNT);

  ring_.assign(static_cast<std::size_t>(samplingFrame_), Point{});
  ringIndex_ = 0;
  ringCount_ = 0;
  vertices_.assign(kMaxVertices, Point{});
  counts_.assign(kMaxContours, 0);
  centroids_.assign(kMaxContours, Point{});
  contourCount_ = 0;
  vertexTotal_ = 0;
  scratch_.chain.resize(kMaxVertices);
  compareCountdown_ = compareFrame_;
  dumpCounter_ = captureDirectory_.empty() ? 0 : 1;
  return 1;
}

bool CFrameAnalyser::framePrimed() const {
  std::lock_guard lock(frameMutex_);
  return !reference_.empty();
}

int CFrameAnalyser::compareCountdown() const {
  std::lock_guard lock(frameMutex_);
  return compareCountdown_;
}

int CFrameAnalyser::ringCount() const {
  std::lock_guard lock(headingMutex_);
  return ringCount_;
}

std::uint32_t CFrameAnalyser::DriveState() const {
  return peers_.drive != nullptr ? peers_.drive->DriveState() : 0u;
}

Point CFrameAnalyser::ConvertPosition(Point p, bool toImage) const {
  return viren::ConvertPosition(p, toImage, engine_.frameWidth, engine_.frameHeight);
}

void CFrameAnalyser::AnalyseFrame(const std::uint8_t* buffer, std::size_t length, int width,
                                  int height) {
  if (!engine_.captureRunning || engine_.simulating ||
      (engine_.viewMode == VIEW_PROGRAM && !engine_.autoDriving))
    return;
  std::lock_guard lock(frameMutex_);
  if (buffer == nullptr || vertices_.empty()) return;  // before start-up or after shut-down
  AnalysisView* view = peers_.view;
  if (view != nullptr) view->BeginFrame();

  bool usable = true;
  if (reference_.empty()) {
    // First frame of a connection: take its size and keep it as the reference.
    if (width <= 0 || height <= 0 ||
        length / 3 < static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
      usable = false;
    } else {
      width_ = width;
      height_ = height;
      pixels_ = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
      engine_.frameWidth = width;
      engine_.frameHeight = height;
      if (view != nullptr) view->PrepareFrameSize(width, height);
      reference_.assign(buffer, buffer + pixels_ * 3);
      diffImage_.assign(pixels_, 0);
      scratch_.rowMins.resize(static_cast<std::size_t>(width) * 3);
      scratch_.rowBits.resize(DifferenceErodeScratchWords(width));
      scratch_.rowSet.resize(static_cast<std::size_t>(height));
    }
  } else if (length / 3 < pixels_) {
    // Shorter than the connected format: there is no whole picture to look at.
    usable = false;
    diag::Warn("frame analysis: a frame of {} bytes dropped, {} x {} needs {}", length, width_,
               height_, pixels_ * 3);
  } else if (--compareCountdown_ <= 0) {
    AnalyseDifference(buffer);
  }

  if (usable) {
    BallSearchStep(buffer);
    const int viewMode = engine_.viewMode;
    if (viewMode != VIEW_PROGRAM && view != nullptr) {
      view->DrawView(buffer, width_, height_);
      TargetCheck();
      if (engine_.showCourseRange) view->DrawCourseRange();
      const int dump = dumpCounter_;
      if (dump > 0 && viewMode == VIEW_LIVE) {
        // The view ends the dump when its recording is full.
        dumpCounter_ = view->DumpFrame(width_, height_, dump) ? dump + 1 : 0;
      }
    }
  }
  if (view != nullptr) view->EndFrame();
}

int CFrameAnalyser::Vectorize(std::uint8_t* image) {
  return VectorizeImage(image, width_, height_, vertexTotal_, counts_.data(), vertices_.data(),
                        kMaxContours, kMaxVertices, true, scratch_);
}

void CFrameAnalyser::AnalyseDifference(const std::uint8_t* frame) {
  const int markerCheck = markerCheck_;
  const int threshold = DifferenceThreshold(diffLevel_, width_);
  const bool shown = engine_.viewMode == VIEW_DIFFERENCE && peers_.view != nullptr;
  if (markerCheck == 0) {
    // Test, erode and keep the frame as the next reference in one pass; the
    // difference view's image before the erosion comes from the same pass.
    scratch_.rowBits.resize(DifferenceErodeScratchWords(width_));
    scratch_.rowSet.resize(static_cast<std::size_t>(height_));
    if (shown && shownImage_.size() != pixels_) shownImage_.assign(pixels_, 0);
    DifferenceErode(frame, reference_.data(), width_, height_, threshold, diffImage_.data(),
                    scratch_.rowSet.data(), scratch_.rowBits.data(), true,
                    shown ? shownImage_.data() : nullptr);
    if (shown) peers_.view->PaintBinaryImage(shownImage_.data(), width_, height_);
    FindCar(TraceContours(diffImage_.data(), width_, height_, vertexTotal_, counts_.data(),
                          vertices_.data(), kMaxContours, kMaxVertices, scratch_));
    return;
  }
  // The marker test needs the image before its erosion: the frame becomes
  // the next reference in the same pass as the test, and both images are
  // eroded and traced in turn.
  DifferenceTestAndKeep(frame, reference_.data(), pixels_, threshold, diffImage_.data());
  if (markerImage_.size() != pixels_) markerImage_.assign(pixels_, 0);
  MarkerTest(frame, diffImage_.data(), pixels_, markerCheck, markerLevel_, markerImage_.data());
  const int found = Vectorize(markerImage_.data());
  const Point marker = CombineCentroids(vertices_.data(), counts_.data(), found, centroids_.data());
  car_.centroid = marker;
  if (found > 0) car_.markerPosition = marker;
  if (shown) peers_.view->PaintBinaryImage(markerImage_.data(), width_, height_);

  FindCar(Vectorize(diffImage_.data()));
}

void CFrameAnalyser::FindCar(int found) {
  contourCount_ = std::max(found, 0);
  if (found < 0) vertexTotal_ = 0;
  const Point centre = CombineCentroids(vertices_.data(), counts_.data(), found, centroids_.data());
  car_.centroid = centre;
  if (found > 0) {
    // The block carries the state as it stood before this frame.
    if (engine_.interfaceActive && peers_.publisher != nullptr)
      peers_.publisher->PublishPosition(PositionBlock());
    car_.lostCountdown = emergencyCount_;
    car_.carPosition = centre;
    car_.carLayoutPosition = ConvertPosition(centre, false);
    UpdateHeading();
  } else if (!engine_.externalDisplay && (DriveState() & DRIVE_STATE_MOVING) != 0) {
    car_.lostCountdown.fetch_sub(1);
  }
  compareCountdown_ = compareFrame_;
  if (peers_.listener != nullptr) peers_.listener->OnFrameAnalysed();
}

std::array<std::int16_t, 4> CFrameAnalyser::PositionBlock() const {
  if (peers_.publisher->MovingAreaBoxRequested()) {
    std::int32_t left = std::numeric_limits<std::int32_t>::max(), top = left;
    std::int32_t right = std::numeric_limits<std::int32_t>::min(), bottom = right;
    for (int i = 0; i < vertexTotal_; ++i) {
      left = std::min(left, vertices_[i].x);
      top = std::min(top, vertices_[i].y);
      right = std::max(right, vertices_[i].x);
      bottom = std::max(bottom, vertices_[i].y);
    }
    return {static_cast<std::int16_t>(left), static_cast<std::int16_t>(top),
            static_cast<std::int16_t>(right), static_cast<std::int16_t>(bottom)};
  }
  const Point p = car_.carPosition;
  return {static_cast<std::int16_t>(p.x), static_cast<std::int16_t>(p.y),
          static_cast<std::int16_t>(car_.turnCount.load()), BlockDegrees(car_.carDirection)};
}

void CFrameAnalyser::BallSearchStep(const std::uint8_t* frame) {
  if (engine_.ballMode == BallMode::Off || peers_.ballSearch == nullptr) return;
  Rect ball;
  if (!peers_.ballSearch->SearchFrame(frame, width_, height_, ball)) return;
  car_.ballRect.store(ball);
  // In layout terms x scales by 640 / W and y by 480 / H, as for the car
  // (the same for 4:3 pictures; a 16:9 camera keeps the ball at its height).
  if (engine_.viewMode == VIEW_LAYOUT || engine_.autoDriving)
    car_.cheesePosition =
        Point{ClampToInt((std::int64_t{ball.left} + ball.right) * kLayoutWidth / (2 * width_)),
              ClampToInt((std::int64_t{ball.top} + ball.bottom) * kLayoutHeight / (2 * height_))};
  else
    car_.cheesePosition = Point{(ball.left + ball.right) / 2, (ball.top + ball.bottom) / 2};
  car_.targetActive = true;
  if (engine_.interfaceActive && peers_.publisher != nullptr) peers_.publisher->PublishBall(ball);
}

void CFrameAnalyser::TargetCheck() {
  const bool ballOn = engine_.ballMode != BallMode::Off;
  if ((!engine_.targetFollowing && !ballOn) || car_.cheesePosition.load().x == -1) return;
  if (ballOn)
    peers_.view->DrawBallRectangle();
  else
    peers_.view->DrawTargetMarker();
  if (peers_.follower != nullptr) peers_.follower->FollowAfterFrame(width_);
}

void CFrameAnalyser::CountTurn(double direction) {
  const double last = car_.lastDirection;
  if (last > kHalfPi && direction < -kHalfPi)
    car_.turnCount.fetch_add(1);
  else if (last < -kHalfPi && direction > kHalfPi)
    car_.turnCount.fetch_sub(1);
  car_.lastDirection = direction;
}

void CFrameAnalyser::UpdateHeading() {
  // The drive state is read before the ring's lock is taken: the drive control
  // resets the ring while holding its own lock, so the two are never nested
  // the other way round.
  const std::uint32_t state = DriveState();
  std::unique_lock lock(headingMutex_);
  if (ring_.empty()) return;
  const Point car = car_.carPosition;

  if ((engine_.control4WD || engine_.controlRoboQ) && markerCheck_ != 0) {
    const Point marker = car_.markerPosition;
    const double direction = std::atan2(marker.y - car.y, marker.x - car.x);
    car_.carDirection = direction;
    CountTurn(direction);
    return;
  }
  if ((state & DRIVE_STATE_MOVING) == 0) return;

  const int size = samplingFrame_;
  ringIndex_ = ringIndex_ + 1 >= size ? 0 : ringIndex_ + 1;
  if (ringCount_ < size) ++ringCount_;
  ring_[ringIndex_] = car;
  if (ringCount_ < samplingMinimum_) return;

  auto slot = [size](int i) { return ((i % size) + size) % size; };
  const int m = (ringCount_ + 1) / 2;
  const Point oldest = ring_[slot(ringIndex_ - ringCount_ + 1)];
  const Point middle = ring_[slot(ringIndex_ - m + 1)];
  const Point newest = ring_[ringIndex_];

  if ((state & DRIVE_STATE_STEERING) != 0) {
    // The circle through three samples of the track; its centre is where the
    // car turns about.
    const std::int64_t x1 = oldest.x, y1 = oldest.y, x2 = middle.x, y2 = middle.y;
    const std::int64_t x3 = newest.x, y3 = newest.y;
    const std::int64_t det = (y1 - y2) * (x1 - x3) - (y1 - y3) * (x1 - x2);
    if (det == 0) return;
    const std::int64_t a = (x1 - x2) * (x1 + x2) / 2 + (y1 - y2) * (y1 + y2) / 2;
    const std::int64_t b = (x1 - x3) * (x1 + x3) / 2 + (y1 - y3) * (y1 + y3) / 2;
    const Point centre{ClampToInt((b * (y1 - y2) - a * (y1 - y3)) / det),
                       ClampToInt((a * (x1 - x3) - b * (x1 - x2)) / det)};
    car_.turnCentre = centre;
    const double dx = static_cast<double>(car.x) - centre.x;
    const double dy = static_cast<double>(car.y) - centre.y;
    double angle = std::atan2(dy, dx) + ((state & DRIVE_STATE_RIGHT) != 0 ? kHalfPi : -kHalfPi);
    if (angle > kPi)
      angle -= kTwoPi;
    else if (angle < -kPi)
      angle += kTwoPi;
    car_.carDirection = angle;
    if (!engine_.simulating) CountTurn(angle);
    if (ringCount_ == size || car_.turnRadius == 0)
      car_.turnRadius = ClampToInt(static_cast<std::int64_t>(std::sqrt(dx * dx + dy * dy)));
  } else if ((state & DRIVE_STATE_FORWARD) != 0) {
    car_.carDirection = std::atan2(newest.y - oldest.y, newest.x - oldest.x);
  } else {
    // Reversing: the car faces away from where it moves.
    car_.carDirection = std::atan2(oldest.y - newest.y, oldest.x - newest.x);
  }
  lock.unlock();
  if (logPosition_) AppendTrackLines();
}

void CFrameAnalyser::ResetPositionRing() {
  std::lock_guard lock(headingMutex_);
  ringCount_ = 0;
  ringIndex_ = 0;
  car_.turnCountAtCommand = car_.turnCount.load();
}

void CFrameAnalyser::RewindPositionRing() {
  std::lock_guard lock(headingMutex_);
  ringCount_ = -2;
}

void CFrameAnalyser::AppendTrackLines() {
  std::lock_guard lock(logMutex_);
  std::FILE* log = std::fopen(logPath_.c_str(), "a");
  if (log == nullptr) return;
  const Point p = car_.carPosition;
  std::fprintf(log, "CarPosition=%d,%d\nCarDirection=%.2f\n", p.x, p.y, car_.carDirection.load());
  std::fclose(log);
}

void CFrameAnalyser::WritePositionSnapshot() {
  if (!logPosition_) return;
  std::lock_guard lock(logMutex_);
  std::FILE* log = std::fopen(logPath_.c_str(), "w");
  if (log == nullptr) return;
  const Point p = car_.carPosition;
  const Point target = car_.cheesePosition;
  std::fprintf(log, "CarPosition=%d,%d\nCarDirection=%.2f\nCheesePosition=%d,%d\n", p.x, p.y,
               car_.carDirection.load(), target.x, target.y);
  std::fclose(log);
}

void CFrameAnalyser::ReleaseFrameBuffers(bool all) {
  std::scoped_lock lock(frameMutex_, headingMutex_);
  const bool hadFrame = !reference_.empty();
  std::vector<std::uint8_t>().swap(reference_);
  std::vector<std::uint8_t>().swap(diffImage_);
  std::vector<std::uint8_t>().swap(markerImage_);
  std::vector<std::uint8_t>().swap(shownImage_);
  pixels_ = 0;
  if (hadFrame && peers_.view != nullptr) peers_.view->ReleaseFrameSize();
  if (all) {
    scratch_ = VectorizeScratch{};
    std::vector<Point>().swap(vertices_);
    std::vector<int>().swap(counts_);
    std::vector<Point>().swap(centroids_);
    std::vector<Point>().swap(ring_);
    contourCount_ = 0;
    vertexTotal_ = 0;
    ringCount_ = 0;
    ringIndex_ = 0;
  }
}

bool CFrameAnalyser::CopyReferenceFrame(std::vector<std::uint8_t>& pixels, int& width,
                                        int& height) const {
  std::lock_guard lock(frameMutex_);
  if (reference_.empty()) return false;
  pixels = reference_;
  width = width_;
  height = height_;
  return true;
}

}  // namespace viren
