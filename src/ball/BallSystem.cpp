#include "ball/BallSystem.h"

#include <algorithm>
#include <string>

#include "ball/PatternFile.h"
#include "core/CarState.h"
#include "core/CommandIds.h"
#include "core/EngineState.h"
#include "core/Messages.h"
#include "core/UiHost.h"
#include "settings/Settings.h"

namespace viren {

namespace {

bool IsLearnSize(int size) {
  return size == 16 || size == 32 || size == 64 || size == 128;
}

}  // namespace

BallSystem::BallSystem(Settings& settings, UiHost& ui, CarState& car, EngineState& engine)
    : settings_(settings), ui_(ui), car_(car), engine_(engine) {}

BallSystem::~BallSystem() = default;

int BallSystem::LoadPatternSettings() {
  car_.ballRect.store(Rect{});
  SetPattern(nullptr, 64);
  matcher_.DestroyPatternMatcher();
  ClearLearning();
  ballLearning_ = false;
  countdown_ = 0;

  MatcherSettings m;
  m.findDistance = settings_.ReadInt(keys::PM_FIND_DISTANCE);
  m.numOfBasis = settings_.ReadInt(keys::PM_NUM_OF_BASIS);
  m.bottomUpStartPercent = static_cast<float>(settings_.ReadInt(keys::PM_BOTTOM_UP));
  m.distanceStartPercent = static_cast<float>(settings_.ReadInt(keys::PM_DISTANCE_START));
  matcher_.SetSettings(m);
  escapeDistance_ = settings_.ReadInt(keys::PM_ESCAPE);
  rejectThreshold_ = settings_.ReadInt(keys::PM_REJECT);
  pmFrame_ = settings_.ReadInt(keys::PM_FRAME);
  const std::string file = settings_.ReadString(keys::PATTERN_FILE);
  if (!file.empty()) LoadPatternFile(file);
  return 1;
}

int BallSystem::LoadPatternFile(const std::string& path) {
  GreyPattern pattern;
  if (!ReadPatternFile(path, pattern)) return 0;
  const int size = pattern.size;
  SetPattern(std::make_shared<const std::vector<std::uint8_t>>(std::move(pattern.pixels)), size);
  matcher_.DestroyPatternMatcher();
  return 1;
}

void BallSystem::ReleaseBall() {
  SetPattern(nullptr, 64);
  ClearLearning();
  ballLearning_ = false;
  listener_ = nullptr;
  matcher_.DestroyPatternMatcher();
}

bool BallSystem::SearchFrame(const std::uint8_t* frame, int width, int height, Rect& ballRect) {
  if (countdown_.fetch_sub(1) - 1 > 0) return false;
  countdown_ = pmFrame_.load();
  int size = 0;
  const auto pattern = PatternSnapshot(size);
  if (!pattern) return false;
  if (static_cast<std::int64_t>(width) * height > wh::kMaxSourcePixels) {
    // The matcher's tables for such a picture run to hundreds of megabytes;
    // the person is told once instead of the ball silently never being found.
    if (!frameTooLargeTold_.exchange(true)) ui_.PostCommand(WM_BALL_FRAME_TOO_LARGE);
    return false;
  }
  frameTooLargeTold_ = false;
  return matcher_.FindBall(frame, width, height, static_cast<std::size_t>(width) * 3,
                           pattern->data(), size, rejectThreshold_, ballRect) != 0;
}

bool BallSystem::HasBallPattern() const {
  std::lock_guard lock(patternMutex_);
  return ballPattern_ != nullptr;
}

Rect BallSystem::BallRect() const {
  return car_.ballRect.load();
}

void BallSystem::SetBallRect(const Rect& rect) {
  car_.ballRect.store(rect);
}

int BallSystem::FindBall(const std::uint8_t* frame, int width, int height,
                         const std::uint8_t* pattern, int patternSize, int threshold) {
  Rect found;
  if (matcher_.FindBall(frame, width, height, static_cast<std::size_t>(width) * 3, pattern,
                        patternSize, threshold, found) == 0)
    return 0;
  car_.ballRect.store(found);
  return 1;
}

std::vector<std::uint8_t> BallSystem::BallPattern() const {
  std::lock_guard lock(patternMutex_);
  return ballPattern_ ? *ballPattern_ : std::vector<std::uint8_t>{};
}

void BallSystem::SetPattern(std::shared_ptr<const std::vector<std::uint8_t>> pattern, int size) {
  std::lock_guard lock(patternMutex_);
  ballPattern_ = std::move(pattern);
  patternSize_ = size;
}

std::shared_ptr<const std::vector<std::uint8_t>> BallSystem::PatternSnapshot(int& size) const {
  std::lock_guard lock(patternMutex_);
  size = patternSize_;
  return ballPattern_;
}

void BallSystem::ClearLearning() {
  learnPoint_ = Point{-1, -1};
  pointChosen_ = false;
  learnedSize_ = 0;
  learnColourPatch_.clear();
  learnGreyPatch_.clear();
}

void BallSystem::OpenBallDialog() {
  engine_.ballMode = BallMode::Off;
  ClearLearning();
  car_.ballRect.store(Rect{});
  learnSize_ = patternSize_;
  int size = 0;
  const auto pattern = PatternSnapshot(size);
  std::vector<std::uint8_t> frame;
  int width = 0;
  int height = 0;
  if (pattern && reference_ != nullptr && reference_->CopyReferenceFrame(frame, width, height) &&
      FindBall(frame.data(), width, height, pattern->data(), size, rejectThreshold_) != 0) {
    const Rect r = car_.ballRect.load();
    learnPoint_ = Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    pointChosen_ = true;
  }
  ballLearning_ = true;
}

void BallSystem::SetLearnSize(int size) {
  if (!IsLearnSize(size)) return;
  learnSize_ = size;
  if (pointChosen_) UpdateRectangle();
}

void BallSystem::SelectBallPoint(Point point) {
  if (!ballLearning_) return;
  pointChosen_ = true;
  learnPoint_ = point;
  UpdateRectangle();
  if (listener_) listener_();
}

void BallSystem::UpdateRectangle() {
  const int h = learnSize_ / 2;
  const int width = engine_.frameWidth;
  const int height = engine_.frameHeight;
  // Keep the square inside the picture; a picture narrower than the square
  // keeps it at the left (top) edge, and LearnBall then refuses it.
  auto clamp = [h](int v, int extent) {
    if (extent > 0 && v >= extent - h) v = extent - h - 1;
    return std::max(v, h);
  };
  learnPoint_ = Point{clamp(learnPoint_.x, width), clamp(learnPoint_.y, height)};
  car_.ballRect.store(
      Rect{learnPoint_.x - h, learnPoint_.y - h, learnPoint_.x + h, learnPoint_.y + h});
}

bool BallSystem::LearnBall() {
  if (!pointChosen_ || reference_ == nullptr) return false;
  std::vector<std::uint8_t> frame;
  int width = 0;
  int height = 0;
  if (!reference_->CopyReferenceFrame(frame, width, height)) return false;
  const int size = learnSize_;
  if (size >= width || size >= height) {
    // Clamping cannot fit it: the user is told which sizes to choose from.
    ui_.Message(MSG_LEARN_SQUARE_TOO_LARGE,
                {std::to_string(size), std::to_string(width), std::to_string(height)},
                MsgIcon::Exclamation, MsgButtons::Ok);
    return false;
  }
  const Rect r = car_.ballRect.load();
  // The square is taken from picture rows top + 1 .. top + size, as the
  // learning always has; every row and column of it must be in the frame.
  if (r.left < 0 || r.top < 0 || r.left + size > width || r.top + size + 1 > height ||
      frame.size() < static_cast<std::size_t>(width) * height * 3)
    return false;
  matcher_.DestroyPatternMatcher();
  const std::size_t rowBytes = static_cast<std::size_t>(size) * 3;
  const std::size_t stride = static_cast<std::size_t>(width) * 3;
  learnColourPatch_.assign(rowBytes * size, 0);
  for (int i = 0; i < size; ++i) {
    const std::size_t memoryRow = static_cast<std::size_t>(height - r.top - size - 1 + i);
    std::copy_n(frame.data() + memoryRow * stride + static_cast<std::size_t>(r.left) * 3, rowBytes,
                learnColourPatch_.data() + static_cast<std::size_t>(i) * rowBytes);
  }
  learnGreyPatch_.assign(static_cast<std::size_t>(size) * size, 0);
  wh::ConvertToGrey(learnColourPatch_.data(), size, rowBytes, 0, 0, size, size,
                    learnGreyPatch_.data());
  learnedSize_ = size;
  return true;
}

bool BallSystem::TestBall(int threshold) {
  if (learnedSize_ == 0 || reference_ == nullptr) return false;
  std::vector<std::uint8_t> frame;
  int width = 0;
  int height = 0;
  // The patch's own side: the size radios may have moved since it was cut.
  if (reference_->CopyReferenceFrame(frame, width, height) &&
      FindBall(frame.data(), width, height, learnGreyPatch_.data(), learnedSize_, threshold) != 0)
    return true;
  ShowMessage(ui_, MSG_BALL_NOT_RECOGNISED, MsgIcon::Exclamation);
  return false;
}

void BallSystem::CloseBallDialog(bool confirmed, int pmFrame, int threshold,
                                 const PatternFileChooser& chooser) {
  ballLearning_ = false;
  if (confirmed && learnedSize_ != 0) {
    pmFrame_ = pmFrame;
    rejectThreshold_ = threshold;
    settings_.WriteInt(keys::PM_FRAME, pmFrame);
    settings_.WriteInt(keys::PM_REJECT, threshold);
    SetPattern(std::make_shared<const std::vector<std::uint8_t>>(std::move(learnGreyPatch_)),
               learnedSize_);
    if (ShowMessage(ui_, MSG_SAVE_PATTERN, MsgIcon::Question, MsgButtons::YesNo) ==
        MsgAnswer::Yes) {
      const std::optional<std::string> path =
          chooser ? chooser(settings_.ReadString(keys::PATTERN_FILE)) : std::nullopt;
      if (path) {
        if (WritePatternFile(*path, learnColourPatch_, learnedSize_))
          settings_.WriteString(keys::PATTERN_FILE, *path);
        else
          ShowMessage(ui_, MSG_PATTERN_SAVE_FAILED, MsgIcon::Stop);
      }
    }
  }
  ClearLearning();
  matcher_.DestroyPatternMatcher();
}

}  // namespace viren
