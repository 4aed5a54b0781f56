#pragma once

#include <atomic>
#include <mutex>

#include "core/Geometry.h"

namespace viren {

// A rectangle published whole. Four 32-bit values are too wide for a
// lock-free atomic, so a reader and the writer take turns on a small lock.
class SharedRect {
 public:
  Rect load() const {
    std::lock_guard lock(mutex_);
    return rect_;
  }
  void store(const Rect& rect) {
    std::lock_guard lock(mutex_);
    rect_ = rect;
  }

 private:
  mutable std::mutex mutex_;
  Rect rect_{};
};

// The car as the frame analysis (or the simulation) last saw it. Written by
// one thread at a time (capture or simulation), read by the driving program,
// the program interface and the drawing at any moment: every field is an
// atomic of its own, points are published whole.
struct CarState {
  AtomicPoint carPosition{Point{0, 0}};        // image coordinates
  AtomicPoint carLayoutPosition{Point{0, 0}};  // 640 x 480 layout coordinates
  std::atomic<double> carDirection{0.0};       // radians, 0 right, +pi/2 down
  std::atomic<double> lastDirection{0.0};
  std::atomic<int> turnCount{0};
  std::atomic<int> turnCountAtCommand{0};
  AtomicPoint turnCentre{Point{0, 0}};
  std::atomic<int> turnRadius{0};
  AtomicPoint markerPosition{Point{0, 0}};
  AtomicPoint centroid{Point{-1, -1}};
  // The target (the cheese): layout coordinates while the layout view is shown
  // or automatic driving runs, else image coordinates; x = -1: none.
  AtomicPoint cheesePosition{Point{-1, -1}};
  std::atomic<bool> targetActive{false};
  std::atomic<int> lostCountdown{0};
  // The recognised ball, image coordinates (left, top, right, bottom).
  SharedRect ballRect;
};

}  // namespace viren
