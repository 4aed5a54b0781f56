#include "capture/FrameDelivery.h"

#include <cstring>

#include "capture/FrameSink.h"

namespace viren {

void FrameDelivery::Open() {
  std::lock_guard lock(mutex_);
  open_ = true;
}

void FrameDelivery::Close() {
  std::lock_guard lock(mutex_);
  open_ = false;
}

bool FrameDelivery::IsOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

bool FrameDelivery::Deliver(const std::uint8_t* topRow, std::ptrdiff_t rowStep, int width,
                            int height) {
  if (topRow == nullptr || width <= 0 || height <= 0) return false;
  std::lock_guard lock(mutex_);
  if (!open_) return false;

  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  const std::size_t length = rowBytes * static_cast<std::size_t>(height);
  if (frame_.capacity() < length) allocations_.fetch_add(1, std::memory_order_relaxed);
  frame_.resize(length);

  // The analysis counts rows from the bottom of the picture.
  std::uint8_t* out = frame_.data();
  const std::uint8_t* in = topRow + rowStep * static_cast<std::ptrdiff_t>(height - 1);
  for (int row = 0; row < height; ++row, out += rowBytes, in -= rowStep)
    std::memcpy(out, in, rowBytes);

  if (rewindPending_.exchange(false, std::memory_order_relaxed)) sink_.OnVideoRewound();
  sink_.AnalyseFrame(frame_.data(), length, width, height);
  delivered_.fetch_add(1, std::memory_order_relaxed);
  return true;
}

}  // namespace viren
