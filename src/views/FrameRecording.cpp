#include "views/FrameRecording.h"

namespace viren {

void FrameRecording::Start(std::string folder, std::uint64_t limitBytes) {
  std::lock_guard lock(mutex_);
  active_ = true;
  limit_ = limitBytes;
  current_ = Summary{std::move(folder)};
}

std::optional<FrameRecording::Summary> FrameRecording::Stop() {
  std::lock_guard lock(mutex_);
  if (!active_ && current_.folder.empty()) return std::nullopt;
  active_ = false;
  Summary done = std::move(current_);
  current_ = Summary{};
  return done;
}

bool FrameRecording::active() const {
  std::lock_guard lock(mutex_);
  return active_;
}

FrameRecording::Next FrameRecording::Reserve(std::uint64_t bytes, std::string& folder,
                                             Summary& summary) {
  std::lock_guard lock(mutex_);
  if (!active_) return Next::NotRecording;
  if (current_.bytes + bytes > limit_) {
    active_ = false;
    current_.full = true;
    summary = std::move(current_);
    current_ = Summary{};
    return Next::Full;
  }
  current_.bytes += bytes;
  ++current_.frames;
  folder = current_.folder;
  return Next::Write;
}

std::string RecordingSummaryText(const FrameRecording::Summary& summary) {
  const std::string megabytes = std::to_string((summary.bytes + 500'000) / 1'000'000);
  return std::string(summary.full ? "フレームの記録が上限に達しました: "
                                  : "フレームを記録しました: ") +
         std::to_string(summary.frames) + " 枚 (" + megabytes + " MB) " + summary.folder;
}

std::uint64_t DumpFileSize(int width, int height) {
  const auto row = (static_cast<std::uint64_t>(width) * 3 + 3) / 4 * 4;
  return 54 + row * static_cast<std::uint64_t>(height);
}

std::string DefaultRecordingFolder(const char* dataHome, const char* home,
                                   const std::string& stamp) {
  std::string base;
  if (dataHome != nullptr && dataHome[0] == '/')
    base = dataHome;
  else
    base = std::string(home != nullptr && home[0] != '\0' ? home : "/tmp") + "/.local/share";
  return base + "/viren/frames/" + stamp;
}

}  // namespace viren
