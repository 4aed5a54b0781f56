#include "CaptureTestSupport.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <cmath>
#include <cstring>
#include <thread>

#include "platform/GstSupport.h"

namespace viren::test {

RectCentre TrueCentre(int index) {
  const int left = 30 + 4 * index;
  const int top = 60 + 2 * index;
  return {left + (kRectWidth - 1) / 2.0, top + (kRectHeight - 1) / 2.0};
}

std::vector<std::uint8_t> MakePicture(int width, int height, int index, std::size_t stride) {
  std::vector<std::uint8_t> pixels(stride * static_cast<std::size_t>(height), 0);
  const RectCentre c = TrueCentre(index);
  const int left = static_cast<int>(c.x - (kRectWidth - 1) / 2.0);
  const int top = static_cast<int>(c.y - (kRectHeight - 1) / 2.0);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = pixels.data() + stride * static_cast<std::size_t>(y);
    for (int x = 0; x < width; ++x) {
      std::uint8_t b, g, r;
      if (y < kBand) {
        b = 0, g = 0, r = 220;
      } else if (y >= height - kBand) {
        b = 220, g = 0, r = 0;
      } else if (x >= left && x < left + kRectWidth && y >= top && y < top + kRectHeight) {
        b = g = r = 255;
      } else {
        b = g = r = ((x / 8 + y / 8) % 2) ? 90 : 40;
      }
      row[x * 3] = b;
      row[x * 3 + 1] = g;
      row[x * 3 + 2] = r;
    }
  }
  return pixels;
}

bool WriteTestVideo(const std::string& path, int width, int height, int frames, VideoCodec codec) {
  return WriteVideo(path, width, height, frames, codec, [&](int index, std::size_t stride) {
    return MakePicture(width, height, index, stride);
  });
}

bool WriteVideo(const std::string& path, int width, int height, int frames, VideoCodec codec,
                const std::function<std::vector<std::uint8_t>(int, std::size_t)>& picture) {
  InitGStreamer();
  std::string encoder, muxer = "avimux";
  switch (codec) {
    case VideoCodec::Raw:
      break;
    case VideoCodec::Mjpeg:
      encoder = "videoconvert ! jpegenc quality=95 ! ";
      break;
    case VideoCodec::H264:
      encoder = "videoconvert ! x264enc pass=quant quantizer=0 speed-preset=ultrafast ! ";
      muxer = "mp4mux";
      break;
    case VideoCodec::Vp8:
      encoder = "videoconvert ! vp8enc min-quantizer=0 max-quantizer=4 deadline=1 ! ";
      muxer = "matroskamux";
      break;
  }
  // The muxer's video pad named, or the source would be given its audio pad.
  const std::string description = muxer + " name=mux ! filesink location=\"" + path +
                                  "\" appsrc name=src format=time ! " + encoder + "mux.video_0";
  GError* err = nullptr;
  const GstOwned<GstElement> pipeline(gst_parse_launch(description.c_str(), &err));
  const GstOwned<GError> error(err);
  if (!pipeline || error) return false;
  const GstOwned<GstElement> src(gst_bin_get_by_name(GST_BIN(pipeline.get()), "src"));
  const GstOwned<GstCaps> caps(gst_caps_new_simple(
      "video/x-raw", "format", G_TYPE_STRING, "BGR", "width", G_TYPE_INT, width, "height",
      G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION, 25, 1, nullptr));
  g_object_set(src.get(), "caps", caps.get(), nullptr);
  gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);

  // GStreamer's own layout: rows padded to 4 bytes.
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  for (int i = 0; i < frames; ++i) {
    std::vector<std::uint8_t> pixels = picture(i, stride);
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, pixels.size(), nullptr);
    gst_buffer_fill(buffer, 0, pixels.data(), pixels.size());
    GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(i, GST_SECOND, 25);
    GST_BUFFER_DURATION(buffer) = GST_SECOND / 25;
    gst_app_src_push_buffer(GST_APP_SRC(src.get()), buffer);
  }
  gst_app_src_end_of_stream(GST_APP_SRC(src.get()));

  const GstOwned<GstBus> bus(gst_element_get_bus(pipeline.get()));
  const GstOwned<GstMessage> msg(
      gst_bus_timed_pop_filtered(bus.get(), 30 * GST_SECOND,
                                 static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
  gst_element_set_state(pipeline.get(), GST_STATE_NULL);
  return msg && GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_EOS;
}

void RecordingSink::AnalyseFrame(const std::uint8_t* frame, std::size_t length, int width,
                                 int height) {
  if (inFlight.fetch_add(1) != 0) ++overlapped;
  SeenFrame f;
  f.width = width;
  f.height = height;
  f.length = length;
  // Reads every byte: a buffer released under the analysis shows up here.
  scratch_.assign(frame, frame + length);
  double sx = 0, sy = 0;
  long n = 0;
  std::uint64_t sum = 1469598103934665603ull;
  for (std::size_t i = 0; i < length; ++i) sum = (sum ^ frame[i]) * 1099511628211ull;
  f.checksum = sum;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  for (int row = 0; row < height; ++row) {
    const std::uint8_t* p = frame + rowBytes * static_cast<std::size_t>(row);
    const int y = height - 1 - row;  // the frame counts rows from the bottom
    for (int x = 0; x < width; ++x, p += 3) {
      if (p[0] > 200 && p[1] > 200 && p[2] > 200) {
        sx += x;
        sy += y;
        ++n;
      }
    }
  }
  if (n > 0) {
    f.cx = sx / n;
    f.cy = sy / n;
  }
  auto pixel = [&](int x, int y) { return frame + rowBytes * (height - 1 - y) + x * 3; };
  const std::uint8_t* top = pixel(width / 2, 2);
  const std::uint8_t* bottom = pixel(width / 2, height - 3);
  f.topIsRed = top[2] > 150 && top[0] < 80 && top[1] < 80;
  f.bottomIsBlue = bottom[0] > 150 && bottom[2] < 80 && bottom[1] < 80;

  if (const int d = delayMs.load()) std::this_thread::sleep_for(std::chrono::milliseconds(d));
  {
    std::lock_guard lock(mutex_);
    seen_.push_back(f);
    if (keepRaw) raw_.emplace_back(frame, frame + length);
  }
  inFlight.fetch_sub(1);
  cv_.notify_all();
}

void RecordingSink::OnVideoRewound() {
  std::lock_guard lock(mutex_);
  SeenFrame f;
  f.rewind = true;
  seen_.push_back(f);
}

std::vector<SeenFrame> RecordingSink::Seen() const {
  std::lock_guard lock(mutex_);
  return seen_;
}

std::vector<std::vector<std::uint8_t>> RecordingSink::RawFrames() const {
  std::lock_guard lock(mutex_);
  return raw_;
}

int RecordingSink::FrameCount() const {
  std::lock_guard lock(mutex_);
  int n = 0;
  for (const SeenFrame& f : seen_) n += f.rewind ? 0 : 1;
  return n;
}

void RecordingSink::Clear() {
  std::lock_guard lock(mutex_);
  seen_.clear();
  raw_.clear();
}

bool RecordingSink::WaitForFrames(int n, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, timeout, [&] {
    int count = 0;
    for (const SeenFrame& f : seen_) count += f.rewind ? 0 : 1;
    return count >= n;
  });
}

void TestCaptureHost::NotifyGraphEvent() {
  ++notifications;
  {
    std::lock_guard lock(mutex_);
    ++pending_;
  }
  cv_.notify_all();
}

void TestCaptureHost::NotifyCamerasChanged() {
  ++cameraChanges;
  {
    std::lock_guard lock(mutex_);
    ++camerasPending_;
  }
  cv_.notify_all();
}

bool TestCaptureHost::WaitForCamerasChanged(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!cv_.wait_for(lock, timeout, [&] { return camerasPending_ > 0; })) return false;
  camerasPending_ = 0;
  return true;
}

bool TestCaptureHost::WaitForNotify(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!cv_.wait_for(lock, timeout, [&] { return pending_ > 0; })) return false;
  pending_ = 0;
  return true;
}

std::optional<FrameSize> TestCaptureHost::ChooseCameraFormat(const std::string&,
                                                             const std::vector<FrameSize>& sizes,
                                                             FrameSize, CameraControls* controls) {
  offeredSizes = sizes;
  offeredControls = controls;
  if (controls && adjustControls) adjustControls(*controls);
  return formatChoice;
}

CameraInfo TestCamera(const std::string& name, std::vector<FrameSize> sizes) {
  CameraInfo info;
  info.name = name;
  info.sourceDescription = "videotestsrc is-live=true pattern=smpte";
  info.sizes = std::move(sizes);
  return info;
}

}  // namespace viren::test
