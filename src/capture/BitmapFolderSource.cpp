#include "capture/BitmapFolderSource.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <utility>

#include "capture/FrameDelivery.h"
#include "vision/Bitmap24.h"

namespace viren {
namespace {

// A frame file: digits, then ".bmp" in any case.
bool IsFrameName(const std::string& name, unsigned long long& number) {
  const std::size_t dot = name.find('.');
  if (dot == 0 || dot == std::string::npos || dot > 18) return false;
  std::string ext = name.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext != ".bmp") return false;
  number = 0;
  for (std::size_t i = 0; i < dot; ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
    number = number * 10 + static_cast<unsigned>(name[i] - '0');
  }
  return true;
}

const char* BitmapStatusText(BitmapStatus status) {
  switch (status) {
    case BitmapStatus::Ok:
      return "ok";
    case BitmapStatus::CannotOpen:
      return "the bitmap cannot be opened";
    case BitmapStatus::NotABitmap:
      return "not a bitmap file";
    case BitmapStatus::Unsupported:
      return "not an uncompressed 24-bit bitmap";
    case BitmapStatus::TooLarge:
      return "the bitmap is too large";
    case BitmapStatus::Truncated:
      return "the bitmap file is cut short";
  }
  return "unreadable bitmap";
}

}  // namespace

BitmapFolderSource::BitmapFolderSource(FrameDelivery& delivery, std::function<void()> notify)
    : delivery_(delivery), notify_(std::move(notify)) {}

BitmapFolderSource::~BitmapFolderSource() {
  CaptureError ignored;
  Stop(ignored);
}

std::vector<std::string> BitmapFolderSource::ListFrames(const std::string& folder) {
  std::vector<std::pair<unsigned long long, std::string>> found;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    unsigned long long number = 0;
    const std::string name = it->path().filename().string();
    if (IsFrameName(name, number) && it->is_regular_file(ec)) found.emplace_back(number, name);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  paths.reserve(found.size());
  for (auto& [number, name] : found) paths.push_back(folder + "/" + name);
  return paths;
}

int BitmapFolderSource::Open(const std::string& folder, int framesPerSecond, bool notifyEndOfStream,
                             CaptureError& error) {
  files_ = ListFrames(folder);
  if (files_.empty()) {
    error = {CAPTURE_NOT_FOUND, std::string(capture_op::kAddSourceFile),
             "no numbered bitmaps (000001.bmp, ...) in " + folder};
    return error.status;
  }
  Bitmap24 first;
  const BitmapStatus status = LoadBitmap24(files_.front(), first);
  if (status != BitmapStatus::Ok) {
    error = {CAPTURE_NOT_PLAYABLE, std::string(capture_op::kConnectSource),
             std::string(BitmapStatusText(status)) + ": " + files_.front()};
    return error.status;
  }
  intervalUs_ = framesPerSecond > 0 ? 1000000 / framesPerSecond : 0;
  notifyEndOfStream_ = notifyEndOfStream;
  return CAPTURE_OK;
}

int BitmapFolderSource::Run(CaptureError&) {
  if (thread_.joinable()) return CAPTURE_OK;
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = false;
  }
  thread_ = std::thread([this] { Play(); });
  return CAPTURE_OK;
}

int BitmapFolderSource::Stop(CaptureError&) {
  if (!thread_.joinable()) return CAPTURE_OK;
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
  }
  wake_.notify_all();
  thread_.join();
  return CAPTURE_OK;
}

int BitmapFolderSource::SeekToStart(CaptureError&) {
  {
    std::lock_guard lock(mutex_);
    next_ = 0;
    atEnd_ = false;
  }
  delivery_.RequestRewind();
  wake_.notify_all();
  return CAPTURE_OK;
}

std::vector<GraphEvent> BitmapFolderSource::TakeEvents() {
  std::lock_guard lock(mutex_);
  return std::exchange(events_, {});
}

int BitmapFolderSource::SetCameraSize(std::optional<FrameSize>, CaptureError& error) {
  error = {CAPTURE_FAILED, std::string(capture_op::kSetFormat), "not a camera"};
  return error.status;
}

void BitmapFolderSource::Post(GraphEvent event) {
  events_.push_back(std::move(event));
  if (notify_) notify_();
}

void BitmapFolderSource::Play() {
  using Clock = std::chrono::steady_clock;
  Bitmap24 picture;  // reused: the pixel buffer keeps its size between frames
  auto due = Clock::now();
  std::unique_lock lock(mutex_);
  while (!stopRequested_) {
    if (atEnd_) {
      wake_.wait(lock, [this] { return stopRequested_ || !atEnd_; });
      due = Clock::now();
      continue;
    }
    const std::size_t index = next_++;
    lock.unlock();

    const BitmapStatus status = LoadBitmap24(files_[index], picture);
    if (status == BitmapStatus::Ok) {
      const auto stride = static_cast<std::ptrdiff_t>(picture.Stride());
      // Rows are stored bottom-up: the top row is the last one.
      delivery_.Deliver(picture.pixels.data() + stride * (picture.height - 1), -stride,
                        picture.width, picture.height);
    }

    lock.lock();
    if (status != BitmapStatus::Ok) {
      GraphEvent ev{GraphEvent::Kind::Error,
                    {CAPTURE_STREAM_ERROR, std::string(capture_op::kGetEvent),
                     std::string(BitmapStatusText(status)) + ": " + files_[index]}};
      Post(std::move(ev));
      atEnd_ = true;  // stops here like a video with a broken frame
      continue;
    }
    if (next_ >= files_.size() && !atEnd_) {
      atEnd_ = true;
      if (notifyEndOfStream_) Post(GraphEvent{GraphEvent::Kind::EndOfStream, {}});
    }
    if (intervalUs_ > 0) {
      due += std::chrono::microseconds(intervalUs_);
      const auto now = Clock::now();
      if (due < now) due = now;  // a slow analysis does not make later frames rush
      wake_.wait_until(lock, due, [this] { return stopRequested_; });
    }
  }
}

}  // namespace viren
