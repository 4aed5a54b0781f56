#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/FrameSource.h"

namespace viren {

class FrameDelivery;

// Plays a folder of numbered 24-bit bitmaps (000001.bmp, 000002.bmp, ... as
// the frame dump writes them) like a video file: in number order, at a fixed
// rate, on its own thread, with the end of the folder reported as the end of
// a video so that looping works the same way.
class BitmapFolderSource final : public FrameSource {
 public:
  BitmapFolderSource(FrameDelivery& delivery, std::function<void()> notify);
  ~BitmapFolderSource() override;
  BitmapFolderSource(const BitmapFolderSource&) = delete;
  BitmapFolderSource& operator=(const BitmapFolderSource&) = delete;

  // The numbered bitmaps of `folder`, in number order; other files are not
  // frames. Empty when there are none or the folder cannot be read.
  static std::vector<std::string> ListFrames(const std::string& folder);

  // Finds the frames and reads the first one, so that an empty folder or an
  // unreadable bitmap fails here. `framesPerSecond` <= 0 plays as fast as the
  // analysis takes the frames.
  int Open(const std::string& folder, int framesPerSecond, bool notifyEndOfStream,
           CaptureError& error);

  int Run(CaptureError& error) override;
  int Stop(CaptureError& error) override;
  int SeekToStart(CaptureError& error) override;
  std::vector<GraphEvent> TakeEvents() override;
  int SetCameraSize(std::optional<FrameSize> size, CaptureError& error) override;

  std::size_t frameCount() const { return files_.size(); }

 private:
  void Play();
  void Post(GraphEvent event);  // under mutex_

  FrameDelivery& delivery_;
  std::function<void()> notify_;
  std::vector<std::string> files_;
  int intervalUs_ = 0;
  bool notifyEndOfStream_ = false;

  std::thread thread_;  // window thread only
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopRequested_ = false;
  bool atEnd_ = false;
  std::size_t next_ = 0;
  std::vector<GraphEvent> events_;
};

}  // namespace viren
