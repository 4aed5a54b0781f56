#pragma once

#include <atomic>
#include <cstdint>

namespace viren {

// Image or layout coordinates, as the system counts them: whole pixels.
struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Fields read by one thread while another writes them are published whole:
// a reader never sees x of one frame with y of the next.
using AtomicPoint = std::atomic<Point>;
static_assert(AtomicPoint::is_always_lock_free, "points must be published without a lock");

// The system takes pi as 3.14159 everywhere; headings and turn counts depend on it.
inline constexpr double kPi = 3.14159;
inline constexpr double kTwoPi = 6.28318;
inline constexpr double kHalfPi = 1.570795;

// The layout plane is fixed at 640 x 480 whatever the camera delivers.
inline constexpr int kLayoutWidth = 640;
inline constexpr int kLayoutHeight = 480;

}  // namespace viren
