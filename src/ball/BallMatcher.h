#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "ball/PatternMatcher.h"
#include "core/Geometry.h"

namespace viren {

// What the matcher reads from the settings ([PM] of VIREN.ini).
struct MatcherSettings {
  int findDistance = 1;
  int numOfBasis = 50;
  float bottomUpStartPercent = 10.0f;
  float distanceStartPercent = 2.0f;
};

// The ball search over camera frames: the grey frame and the matcher set-up,
// made by the first search and reused while the frame size and the pattern
// stay the same (a new size or a different pattern builds a new set-up).
//
// Thread safe: the capture thread's searches and the learning dialog's test
// searches take turns on one lock.
class BallMatcher {
 public:
  void SetSettings(const MatcherSettings& settings);
  MatcherSettings settings() const;

  // Searches a 24-bit bottom-up frame (width x height, `stride` bytes a row)
  // for the P x P grey pattern (rows top-down). Returns 1 and the matched
  // window (left = col, top = row, right = col + P, bottom = row + P) when
  // found, else 0 with `ballRect` untouched. A pattern or frame the matcher
  // cannot take (P not a power of two up to 128, a frame smaller than the
  // pattern or larger than 2048 x 2048) finds nothing.
  int FindBall(const std::uint8_t* frame, int width, int height, std::size_t stride,
               const std::uint8_t* pattern, int patternSize, int threshold, Rect& ballRect,
               wh::SearchStats* stats = nullptr);

  // Releases the set-up; the next search makes a new one.
  void DestroyPatternMatcher();

  // Whether a set-up exists, and the frame size it was made for.
  bool HasSetup() const;
  int SetupRows() const;
  int SetupCols() const;

 private:
  mutable std::mutex mutex_;
  MatcherSettings settings_;
  std::vector<std::uint8_t> greyFrame_;
  std::unique_ptr<wh::WHSetup> whSetup_;
};

}  // namespace viren
