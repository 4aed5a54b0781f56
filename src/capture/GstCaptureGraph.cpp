#include "capture/GstCaptureGraph.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <atomic>
#include <cstring>

#include "capture/FrameDelivery.h"
#include "platform/GstSupport.h"

namespace viren {
namespace {

std::atomic<int> gLivePipelines{0};

// GStreamer's streaming threads come from GLib's thread pool, whose hand-over
// (and whose joins) ThreadSanitizer cannot see: GLib locks with bare futexes.
// The window thread passes this lock after setting a graph up and after
// stopping one; every callback passes it on entry and on return. That makes
// the set-up visible as happening before each callback, and each callback as
// happening before the graph is freed. A static mutex, because the graph's own
// members are part of what is handed over.
std::mutex gHandOver;
void HandOver() {
  std::lock_guard lock(gHandOver);
}
struct CallbackScope {
  CallbackScope() { HandOver(); }
  ~CallbackScope() { HandOver(); }
  CallbackScope(const CallbackScope&) = delete;
  CallbackScope& operator=(const CallbackScope&) = delete;
};

void OnPipelineFreed(gpointer, GObject*) {
  gLivePipelines.fetch_sub(1);
}

// A file that does not start decoding within this time is taken as started,
// as a graph still changing state is; errors then arrive as graph events.
constexpr GstClockTime kPrerollTimeout = 10 * GST_SECOND;

bool IsInside(GstObject* object, GstElement* part) {
  if (!object || !part) return false;
  return object == GST_OBJECT(part) || gst_object_has_as_ancestor(object, GST_OBJECT(part));
}

int StatusOf(const GError* err) {
  if (!err) return CAPTURE_FAILED;
  if (err->domain == GST_RESOURCE_ERROR &&
      (err->code == GST_RESOURCE_ERROR_NOT_FOUND || err->code == GST_RESOURCE_ERROR_OPEN_READ ||
       err->code == GST_RESOURCE_ERROR_OPEN_READ_WRITE || err->code == GST_RESOURCE_ERROR_BUSY))
    return CAPTURE_NOT_FOUND;
  if (err->domain == GST_STREAM_ERROR || err->domain == GST_CORE_ERROR) return CAPTURE_NOT_PLAYABLE;
  return CAPTURE_FAILED;
}

GstOwned<GstCaps> SizeCaps(std::optional<FrameSize> size) {
  if (!size) return GstOwned<GstCaps>(gst_caps_new_any());
  return GstOwned<GstCaps>(
      gst_caps_new_full(gst_structure_new("video/x-raw", "width", G_TYPE_INT, size->width, "height",
                                          G_TYPE_INT, size->height, nullptr),
                        gst_structure_new("image/jpeg", "width", G_TYPE_INT, size->width, "height",
                                          G_TYPE_INT, size->height, nullptr),
                        nullptr));
}

// A capsfilter keeps a reference of its own.
void SetCaps(GstElement* filter, const GstOwned<GstCaps>& caps) {
  g_object_set(filter, "caps", caps.get(), nullptr);
}

}  // namespace

struct GstCaptureGraph::Callbacks {
  // Streaming thread: one converted frame to the analysis.
  static GstFlowReturn OnNewSample(GstAppSink* sink, gpointer data) {
    CallbackScope scope;
    auto* self = static_cast<GstCaptureGraph*>(data);
    const GstOwned<GstSample> sample(gst_app_sink_pull_sample(sink));
    if (!sample) return GST_FLOW_EOS;
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    GstCaps* caps = gst_sample_get_caps(sample.get());
    int width = 0, height = 0, stride = 0;
    {
      std::lock_guard lock(self->formatMutex_);
      if (caps && caps != self->lastCaps_) {
        GstVideoInfo info;
        if (gst_video_info_from_caps(&info, caps)) {
          gst_caps_replace(&self->lastCaps_, caps);
          self->width_ = GST_VIDEO_INFO_WIDTH(&info);
          self->height_ = GST_VIDEO_INFO_HEIGHT(&info);
          self->stride_ = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
        }
      }
      width = self->width_;
      height = self->height_;
      stride = self->stride_;
    }
    gsize offset = 0;
    if (const GstVideoMeta* meta = buffer ? gst_buffer_get_video_meta(buffer) : nullptr) {
      stride = meta->stride[0];
      offset = meta->offset[0];
    }
    GstMapInfo map;
    if (buffer && width > 0 && height > 0 && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
      const gsize needed =
          offset + static_cast<gsize>(stride) * (height - 1) + static_cast<gsize>(width) * 3;
      if (stride >= width * 3 && map.size >= needed)
        self->delivery_.Deliver(map.data + offset, stride, width, height);
      gst_buffer_unmap(buffer, &map);
    }
    return GST_FLOW_OK;
  }

  // Streaming thread: decodebin found a stream; the first video stream feeds
  // the converter, any other stream stays unlinked.
  static void OnPadAdded(GstElement*, GstPad* pad, gpointer data) {
    CallbackScope scope;
    auto* self = static_cast<GstCaptureGraph*>(data);
    GstElement* convert = nullptr;
    {
      std::lock_guard lock(self->formatMutex_);
      convert = self->convert_;
    }
    LinkDecodedStream(pad, convert, "video/");
  }

  // Any thread. The end of the stream and errors are taken off the bus into
  // the graph's own queue before the window thread is woken, so that the
  // handler it runs finds them there (a handler woken from here would run
  // before the bus had queued the message).
  static GstBusSyncReply OnBusMessage(GstBus*, GstMessage* message, gpointer data) {
    CallbackScope scope;
    auto* self = static_cast<GstCaptureGraph*>(data);
    const GstMessageType type = GST_MESSAGE_TYPE(message);
    if (type != GST_MESSAGE_EOS && type != GST_MESSAGE_ERROR) return GST_BUS_PASS;
    bool wake = true;
    {
      std::lock_guard lock(self->eventsMutex_);
      GraphEvent event;
      if (type == GST_MESSAGE_EOS) {
        event.kind = GraphEvent::Kind::EndOfStream;
        wake = self->request_.notifyEndOfStream;
      } else {
        event.kind = GraphEvent::Kind::Error;
        event.error = self->ErrorFromMessage(message, false);
      }
      self->events_.push_back(std::move(event));
    }
    if (wake && self->notify_) self->notify_();
    gst_message_unref(message);
    return GST_BUS_DROP;
  }
};

GstCaptureGraph::GstCaptureGraph(FrameDelivery& delivery, std::function<void()> notify)
    : delivery_(delivery), notify_(std::move(notify)) {}

GstCaptureGraph::~GstCaptureGraph() {
  if (pipeline_) {
    const GstOwned<GstBus> bus(gst_element_get_bus(pipeline_));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    // Going to NULL joins the streaming threads: no callback runs after this.
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    HandOver();
    gst_bus_set_flushing(bus.get(), TRUE);
    gst_object_unref(pipeline_);
  }
  std::lock_guard lock(formatMutex_);
  if (lastCaps_) gst_caps_unref(lastCaps_);
}

bool GstCaptureGraph::InitLibrary() {
  return InitGStreamer();
}

int GstCaptureGraph::LivePipelines() {
  return gLivePipelines.load();
}

CaptureError GstCaptureGraph::ErrorFromMessage(void* message, bool building) const {
  auto* msg = static_cast<GstMessage*>(message);
  CaptureError e;
  GError* err = nullptr;
  gst_message_parse_error(msg, &err, nullptr);
  const GstOwned<GError> owned(err);
  e.status = StatusOf(err);
  e.text = err && err->message ? err->message : "unknown error";
  if (!building) {
    e.operation = capture_op::kGetEvent;
    e.status = CAPTURE_STREAM_ERROR;
  } else if (IsInside(GST_MESSAGE_SRC(msg), source_)) {
    e.operation =
        request_.kind == Kind::File ? capture_op::kAddSourceFile : capture_op::kAddCaptureDevice;
  } else if (IsInside(GST_MESSAGE_SRC(msg), appsink_)) {
    e.operation = capture_op::kConnectRenderer;
  } else {
    e.operation = capture_op::kConnectSource;
  }
  if (e.status == CAPTURE_NOT_FOUND && e.operation != capture_op::kGetEvent &&
      !IsInside(GST_MESSAGE_SRC(msg), source_))
    e.status = CAPTURE_NOT_PLAYABLE;
  return e;
}

int GstCaptureGraph::FailFromBus(int fallbackStatus, std::string_view operation,
                                 CaptureError& error) {
  const GstOwned<GstBus> bus(gst_element_get_bus(pipeline_));
  if (const GstOwned<GstMessage> m{gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR)}) {
    error = ErrorFromMessage(m.get(), true);
  } else {
    error.status = fallbackStatus;
    error.operation = std::string(operation);
    error.text = "the pipeline refused the state change";
  }
  return error.status;
}

int GstCaptureGraph::Build(const Request& request, CaptureError& error) {
  request_ = request;
  pipeline_ = gst_pipeline_new("capture");
  if (!pipeline_) {
    error = {CAPTURE_FAILED, "", "no pipeline"};
    return error.status;
  }
  gLivePipelines.fetch_add(1);
  g_object_weak_ref(G_OBJECT(pipeline_), OnPipelineFreed, nullptr);
  GstBin* bin = GST_BIN(pipeline_);

  auto make = [](const char* factory, const char* name) {
    return gst_element_factory_make(factory, name);
  };

  // Source.
  if (request.kind == Kind::File) {
    source_ = make("filesrc", "source");
    if (!source_) {
      error = {CAPTURE_FAILED, std::string(capture_op::kAddSourceFile), "no filesrc element"};
      return error.status;
    }
    g_object_set(source_, "location", request.location.c_str(), nullptr);
  } else if (request.device) {
    source_ = gst_device_create_element(request.device.get(), "camera");
    if (!source_) {
      error = {CAPTURE_FAILED, std::string(capture_op::kEnumBind),
               "the device cannot make its source element"};
      return error.status;
    }
  } else {
    GError* err = nullptr;
    source_ = gst_parse_bin_from_description(request.location.c_str(), TRUE, &err);
    const GstOwned<GError> owned(err);
    if (!source_) {
      error = {CAPTURE_FAILED, std::string(capture_op::kEnumBind),
               err && err->message ? err->message : "cannot make the camera source"};
      return error.status;
    }
  }
  gst_bin_add(bin, source_);

  // Ours until the bin takes them.
  GstOwned<GstElement> decoderMade(make("decodebin", "decoder"));
  GstOwned<GstElement> convertMade(make("videoconvert", "convert"));
  GstOwned<GstElement> formatMade(make("capsfilter", "bgr"));
  GstOwned<GstElement> appsinkMade(make("appsink", "grabber"));
  if (!decoderMade || !convertMade || !formatMade || !appsinkMade) {
    error = {CAPTURE_FAILED, std::string(capture_op::kAddSampleGrabber),
             "GStreamer lacks decodebin, videoconvert, capsfilter or appsink"};
    return error.status;
  }
  GstElement* decoder = decoderMade.release();
  GstElement* formatFilter = formatMade.release();
  convert_ = convertMade.release();
  appsink_ = appsinkMade.release();
  gst_bin_add_many(bin, decoder, convert_, formatFilter, appsink_, nullptr);

  if (request.kind == Kind::Camera) {
    sizeFilter_ = make("capsfilter", "size");
    if (!sizeFilter_) {
      error = {CAPTURE_FAILED, std::string(capture_op::kSetFormat), "no capsfilter element"};
      return error.status;
    }
    SetCaps(sizeFilter_, SizeCaps(request.size));
    gst_bin_add(bin, sizeFilter_);
    if (!gst_element_link_many(source_, sizeFilter_, decoder, nullptr)) {
      error = {CAPTURE_FAILED, std::string(capture_op::kConnectSource),
               "the camera source cannot be linked"};
      return error.status;
    }
  } else if (!gst_element_link(source_, decoder)) {
    error = {CAPTURE_FAILED, std::string(capture_op::kConnectSource),
             "the file source cannot be linked"};
    return error.status;
  }

  // The analysis takes 24-bit BGR only.
  SetCaps(formatFilter, GstOwned<GstCaps>(gst_caps_new_simple("video/x-raw", "format",
                                                              G_TYPE_STRING, "BGR", nullptr)));
  if (!gst_element_link_many(convert_, formatFilter, appsink_, nullptr)) {
    error = {CAPTURE_FAILED, std::string(capture_op::kConnectRenderer),
             "the converter cannot be linked to the grabber"};
    return error.status;
  }

  g_object_set(appsink_, "sync", request.syncToClock ? TRUE : FALSE, "emit-signals", FALSE,
               "max-buffers", 2u, "drop", FALSE, "enable-last-sample", FALSE, nullptr);
  GstAppSinkCallbacks callbacks{};
  callbacks.new_sample = &Callbacks::OnNewSample;
  gst_app_sink_set_callbacks(GST_APP_SINK(appsink_), &callbacks, this, nullptr);
  g_signal_connect(decoder, "pad-added", G_CALLBACK(&Callbacks::OnPadAdded), this);

  HandOver();
  const int result = WaitForPreroll(error);
  if (result < 0) return result;
  // From here on the window thread hears of the stream's end and its errors.
  const GstOwned<GstBus> bus(gst_element_get_bus(pipeline_));
  gst_bus_set_sync_handler(bus.get(), &Callbacks::OnBusMessage, this, nullptr);
  HandOver();
  return result;
}

int GstCaptureGraph::WaitForPreroll(CaptureError& error) {
  const std::string_view sourceStep =
      request_.kind == Kind::File ? capture_op::kAddSourceFile : capture_op::kAddCaptureDevice;
  // READY opens the file or the device.
  if (gst_element_set_state(pipeline_, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE)
    return FailFromBus(CAPTURE_NOT_FOUND, sourceStep, error);

  // PAUSED finds the streams and their format, and prerolls the first frame.
  const GstStateChangeReturn ret = gst_element_set_state(pipeline_, GST_STATE_PAUSED);
  if (ret == GST_STATE_CHANGE_FAILURE)
    return FailFromBus(CAPTURE_STATE_FAILED, capture_op::kGetStatus, error);

  const GstOwned<GstBus> bus(gst_element_get_bus(pipeline_));
  if (ret == GST_STATE_CHANGE_ASYNC) {
    for (;;) {
      const GstOwned<GstMessage> m(gst_bus_timed_pop_filtered(
          bus.get(), kPrerollTimeout,
          static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE)));
      if (!m) break;  // still going: taken as started
      if (GST_MESSAGE_TYPE(m.get()) == GST_MESSAGE_ERROR) {
        error = ErrorFromMessage(m.get(), true);
        return error.status;
      }
      if (GST_MESSAGE_SRC(m.get()) == GST_OBJECT(pipeline_)) break;
    }
  } else if (const GstOwned<GstMessage> m{gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR)}) {
    error = ErrorFromMessage(m.get(), true);
    return error.status;
  }
  return CAPTURE_OK;
}

int GstCaptureGraph::Run(CaptureError& error) {
  if (!pipeline_) {
    error = {CAPTURE_FAILED, std::string(capture_op::kRun), "no capture graph"};
    return error.status;
  }
  // From READY a file starts again at its first frame.
  if (stopped_ && request_.kind == Kind::File) delivery_.RequestRewind();
  HandOver();
  if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    FailFromBus(CAPTURE_STATE_FAILED, capture_op::kRun, error);
    error.operation = capture_op::kRun;
    return error.status;
  }
  stopped_ = false;
  return CAPTURE_OK;
}

int GstCaptureGraph::Stop(CaptureError& error) {
  if (!pipeline_) return CAPTURE_OK;
  // Leaving PAUSED deactivates the pads, which waits for the streaming
  // threads to return from the frame they are in.
  if (gst_element_set_state(pipeline_, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
    FailFromBus(CAPTURE_STATE_FAILED, capture_op::kStop, error);
    error.operation = capture_op::kStop;
    return error.status;
  }
  gst_element_get_state(pipeline_, nullptr, nullptr, GST_CLOCK_TIME_NONE);
  HandOver();
  stopped_ = true;
  return CAPTURE_OK;
}

int GstCaptureGraph::SeekToStart(CaptureError& error) {
  if (!pipeline_) return CAPTURE_OK;
  delivery_.RequestRewind();
  if (!gst_element_seek_simple(
          pipeline_, GST_FORMAT_TIME,
          static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT), 0)) {
    error = {CAPTURE_SEEK_FAILED, std::string(capture_op::kSetPositions),
             "the video cannot be rewound"};
    return error.status;
  }
  return CAPTURE_OK;
}

std::vector<GraphEvent> GstCaptureGraph::TakeEvents() {
  std::vector<GraphEvent> events;
  if (!pipeline_) return events;
  // Anything posted before the handler was installed.
  const GstOwned<GstBus> bus(gst_element_get_bus(pipeline_));
  for (;;) {
    const GstOwned<GstMessage> m(gst_bus_pop_filtered(
        bus.get(), static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS)));
    if (!m) break;
    GraphEvent ev;
    if (GST_MESSAGE_TYPE(m.get()) == GST_MESSAGE_EOS) {
      ev.kind = GraphEvent::Kind::EndOfStream;
    } else {
      ev.kind = GraphEvent::Kind::Error;
      ev.error = ErrorFromMessage(m.get(), false);
    }
    events.push_back(std::move(ev));
  }
  std::lock_guard lock(eventsMutex_);
  for (GraphEvent& ev : events_) events.push_back(std::move(ev));
  events_.clear();
  return events;
}

int GstCaptureGraph::SetCameraSize(std::optional<FrameSize> size, CaptureError& error) {
  if (!sizeFilter_) {
    error = {CAPTURE_FAILED, std::string(capture_op::kSetFormat), "not a camera"};
    return error.status;
  }
  request_.size = size;
  SetCaps(sizeFilter_, SizeCaps(size));
  return CAPTURE_OK;
}

}  // namespace viren
