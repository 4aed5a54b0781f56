#include "ball/BallMatcher.h"

#include <cstring>

namespace viren {

void BallMatcher::SetSettings(const MatcherSettings& settings) {
  std::lock_guard lock(mutex_);
  settings_ = settings;
  whSetup_.reset();
}

MatcherSettings BallMatcher::settings() const {
  std::lock_guard lock(mutex_);
  return settings_;
}

int BallMatcher::FindBall(const std::uint8_t* frame, int width, int height, std::size_t stride,
                          const std::uint8_t* pattern, int patternSize, int threshold,
                          Rect& ballRect, wh::SearchStats* stats) {
  if (frame == nullptr || pattern == nullptr || !wh::SizesSupported(height, width, patternSize))
    return 0;
  std::lock_guard lock(mutex_);
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  if (greyFrame_.size() != pixels) greyFrame_.assign(pixels, 0);
  wh::ConvertToGrey(frame, height, stride, 0, 0, width, height, greyFrame_.data());

  const std::size_t patternBytes = static_cast<std::size_t>(patternSize) * patternSize;
  // A set-up made for another frame size, or for another pattern (the learning
  // test searches with its own patch), is made anew.
  if (whSetup_ && (whSetup_->sourceRows != height || whSetup_->sourceCols != width ||
                   whSetup_->patternSize != patternSize ||
                   std::memcmp(whSetup_->patternBytes.data(), pattern, patternBytes) != 0))
    wh::destroyWHSetup(whSetup_);
  if (!whSetup_) {
    whSetup_ = wh::createWHSetup(height, width, patternSize, settings_.numOfBasis);
    wh::setBottomUpStartPercent(*whSetup_, settings_.bottomUpStartPercent);
    wh::setDistanceStartPercent(*whSetup_, settings_.distanceStartPercent);
    wh::setSourceImage(*whSetup_, wh::Image{height, width, greyFrame_.data()});
    wh::setPatternImage(*whSetup_, wh::Image{patternSize, patternSize, pattern});
  }
  wh::reloadSource(*whSetup_);
  if (wh::whPatternMatch(*whSetup_, threshold, settings_.findDistance, stats) == 0) return 0;
  const wh::Match& m = whSetup_->matches[0];
  ballRect = Rect{m.col, m.row, m.col + patternSize, m.row + patternSize};
  return 1;
}

void BallMatcher::DestroyPatternMatcher() {
  std::lock_guard lock(mutex_);
  wh::destroyWHSetup(whSetup_);
}

bool BallMatcher::HasSetup() const {
  std::lock_guard lock(mutex_);
  return whSetup_ != nullptr;
}

int BallMatcher::SetupRows() const {
  std::lock_guard lock(mutex_);
  return whSetup_ ? whSetup_->sourceRows : 0;
}

int BallMatcher::SetupCols() const {
  std::lock_guard lock(mutex_);
  return whSetup_ ? whSetup_->sourceCols : 0;
}

}  // namespace viren
