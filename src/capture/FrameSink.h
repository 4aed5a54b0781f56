#pragma once

#include <cstddef>
#include <cstdint>

namespace viren {

// Where captured frames go: the engine connects it to the frame analysis.
//
// AnalyseFrame and OnVideoRewound are called on the capture's streaming thread
// (GStreamer's, or the bitmap-folder player's), one call at a time, never two
// at once. ReleaseFrameBuffers is called on the window thread while no frame
// is in progress and none can start.
class FrameSink {
 public:
  virtual ~FrameSink() = default;

  // One frame: width x height pixels, 3 bytes each in blue, green, red order,
  // rows bottom-up, no row padding (length = width * height * 3). The bytes
  // are valid only during the call.
  virtual void AnalyseFrame(const std::uint8_t* frame, std::size_t length, int width,
                            int height) = 0;

  // Called just before the first frame after a video jumped back to its start
  // (looping, or a file started again after a stop): the track-based heading
  // must not take the jump for a move (the position ring count becomes -2).
  virtual void OnVideoRewound() {}

  // After a stop that asked for it: drop the frame buffers so the next frame
  // rebuilds them at its own size.
  virtual void ReleaseFrameBuffers() {}
};

}  // namespace viren
