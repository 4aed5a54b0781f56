#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace viren {

// The View menu's frame recording: which folder the numbered frames go to and
// how much room is left before the size limit stops it. Without it the frame
// dump follows DEBUG CAPTURE alone, as started from option.ini.
//
// Threads: Start and Stop on the window thread; Reserve on the capture thread
// for each frame about to be written.
class FrameRecording {
 public:
  struct Summary {
    std::string folder;
    int frames = 0;
    std::uint64_t bytes = 0;
    bool full = false;  // stopped by the size limit
  };

  // Frames from now on go to `folder`, until `limitBytes` are written.
  void Start(std::string folder, std::uint64_t limitBytes);
  // What was recorded; nullopt when no recording was started by the switch.
  std::optional<Summary> Stop();
  bool active() const;

  enum class Next { NotRecording, Write, Full };
  // Room for one more file of `bytes`? Write: `folder` is where it goes and
  // the bytes are counted. Full: the recording has ended at its limit and
  // `summary` says what it holds (reported once).
  Next Reserve(std::uint64_t bytes, std::string& folder, Summary& summary);

 private:
  mutable std::mutex mutex_;
  bool active_ = false;
  std::uint64_t limit_ = 0;
  Summary current_;
};

// The status bar's note of a finished recording.
std::string RecordingSummaryText(const FrameRecording::Summary& summary);

// The size of a dumped frame's file: 54 bytes of headers and the rows, each
// padded to four bytes.
std::uint64_t DumpFileSize(int width, int height);

// Where the switch records when DEBUG CAPTURE names no folder:
// "<XDG_DATA_HOME or ~/.local/share>/viren/frames/<YYYYMMDD-HHMMSS>".
std::string DefaultRecordingFolder(const char* dataHome, const char* home,
                                   const std::string& stamp);

}  // namespace viren
