#pragma once

#include <gst/gst.h>

#include <memory>
#include <string>

namespace viren {

// Gives back the one reference (or copy) a GStreamer call handed over, each
// kind of object the way GStreamer wants it back.
struct GstRelease {
  void operator()(GstElement* e) const { gst_object_unref(e); }
  void operator()(GstBus* b) const { gst_object_unref(b); }
  void operator()(GstPad* p) const { gst_object_unref(p); }
  void operator()(GstDeviceMonitor* m) const { gst_object_unref(m); }
  void operator()(GstDeviceProvider* p) const { gst_object_unref(p); }
  void operator()(GstElementFactory* f) const { gst_object_unref(f); }
  void operator()(GstCaps* c) const { gst_caps_unref(c); }
  void operator()(GstSample* s) const { gst_sample_unref(s); }
  void operator()(GstMessage* m) const { gst_message_unref(m); }
  void operator()(GstStructure* s) const { gst_structure_free(s); }
  void operator()(GError* e) const { g_error_free(e); }
  void operator()(gchar* s) const { g_free(s); }
};

// An owned GStreamer object, released when it goes out of scope.
template <typename T>
using GstOwned = std::unique_ptr<T, GstRelease>;

// Initialises GStreamer for this process; calling it again does nothing. On
// failure `reason` takes GStreamer's explanation when it gives one.
inline bool InitGStreamer(std::string* reason = nullptr) {
  GError* error = nullptr;
  const bool ready = gst_init_check(nullptr, nullptr, &error);
  const GstOwned<GError> owned(error);
  if (!ready && reason && error) *reason = error->message;
  return ready;
}

// For decodebin's "pad-added": a decoded stream of `media` ("video/",
// "audio/") feeds `next` when nothing feeds it yet; other streams stay unlinked.
inline void LinkDecodedStream(GstPad* pad, GstElement* next, const char* media) {
  GstOwned<GstCaps> caps(gst_pad_get_current_caps(pad));
  if (!caps) caps.reset(gst_pad_query_caps(pad, nullptr));
  if (!caps || gst_caps_get_size(caps.get()) == 0 ||
      !g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)), media))
    return;
  const GstOwned<GstPad> sink(gst_element_get_static_pad(next, "sink"));
  if (!gst_pad_is_linked(sink.get())) gst_pad_link(pad, sink.get());
}

}  // namespace viren
