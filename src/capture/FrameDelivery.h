#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace viren {

class FrameSink;

// The door between a frame source's thread and the frame sink. Turns each
// frame into the analysis layout (BGR, bottom-up, no padding) in one buffer
// that is reused while the size stays, and lets the window thread close the
// door knowing that no frame is in progress behind it.
class FrameDelivery {
 public:
  explicit FrameDelivery(FrameSink& sink) : sink_(sink) {}
  FrameDelivery(const FrameDelivery&) = delete;
  FrameDelivery& operator=(const FrameDelivery&) = delete;

  // Window thread. Frames reach the sink from now on.
  void Open();
  // Window thread. Waits for a frame in progress; after the return no frame
  // reaches the sink until Open.
  void Close();
  bool IsOpen() const;

  // Any thread: the next frame is preceded by FrameSink::OnVideoRewound.
  void RequestRewind() { rewindPending_.store(true, std::memory_order_relaxed); }

  // Source thread. `topRow` is the first byte of the picture's top row and
  // `rowStep` the distance in bytes from one row to the row below it (negative
  // for pictures stored bottom-up); each row holds width * 3 bytes of BGR.
  // Returns false when the door was closed and the frame dropped.
  bool Deliver(const std::uint8_t* topRow, std::ptrdiff_t rowStep, int width, int height);

  // Frames handed to the sink since construction. Any thread.
  std::uint64_t framesDelivered() const { return delivered_.load(std::memory_order_relaxed); }
  // Times the conversion buffer had to grow. Any thread.
  std::uint64_t bufferAllocations() const { return allocations_.load(std::memory_order_relaxed); }

 private:
  FrameSink& sink_;
  mutable std::mutex mutex_;  // held for the whole of a delivery
  bool open_ = false;
  std::vector<std::uint8_t> frame_;  // source thread only, under mutex_
  std::atomic<bool> rewindPending_{false};
  std::atomic<std::uint64_t> delivered_{0};
  std::atomic<std::uint64_t> allocations_{0};
};

}  // namespace viren
