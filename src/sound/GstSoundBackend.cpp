#include "sound/GstSoundBackend.h"

#include <gio/gio.h>
#include <gst/gst.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/GstSupport.h"
#include "sound/MidiRenderer.h"
#include "sound/SoundErrors.h"

namespace viren {

namespace {

// The details of the last failure on this thread, for DescribeError.
thread_local int lastFailureCode = 0;
thread_local std::string lastFailureDetail;

int Fail(int code, std::string detail) {
  lastFailureCode = code;
  lastFailureDetail = std::move(detail);
  return code;
}

// A pipeline normally prerolls in a few milliseconds; the limit only keeps a
// wedged output from hanging the caller.
constexpr auto kPrerollTimeout = std::chrono::seconds(10);

class PipelineCore;

// Ends of sounds and playback errors are reported by GStreamer on its
// streaming threads, where the pipeline must not be seeked or changed. The bus
// hands them to this one thread, which restarts repeating sounds and marks
// finished ones.
class BusDispatcher {
 public:
  BusDispatcher() : thread_([this] { Run(); }) {}
  ~BusDispatcher() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  // Any thread, the streaming threads included.
  void Post(PipelineCore* core, GstMessageType type, std::uint64_t generation) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back({core, type, generation});
    }
    wake_.notify_all();
  }

  // Drops the notes of a pipeline that goes away and waits until the thread is
  // no longer inside it. The pipeline must post nothing more (state NULL).
  void Forget(PipelineCore* core) {
    std::unique_lock lock(mutex_);
    std::erase_if(queue_, [core](const Note& n) { return n.core == core; });
    idle_.wait(lock, [&] { return busy_ != core; });
  }

 private:
  struct Note {
    PipelineCore* core;
    GstMessageType type;
    std::uint64_t generation;
  };
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<Note> queue_;
  PipelineCore* busy_ = nullptr;
  bool stop_ = false;
  std::thread thread_;  // last: starts after the members above exist
};

// One prerolled pipeline playing one segment's audio from memory.
class PipelineCore {
 public:
  PipelineCore(BusDispatcher& dispatcher, GstElement* pipeline)
      : dispatcher_(dispatcher), pipeline_(pipeline) {
    const GstOwned<GstBus> bus(gst_element_get_bus(pipeline_));
    gst_bus_set_sync_handler(bus.get(), &PipelineCore::OnBusMessage, this, nullptr);
  }

  ~PipelineCore() {
    {
      std::lock_guard lock(mutex_);
      dead_ = true;
      gst_element_set_state(pipeline_, GST_STATE_NULL);
    }
    dispatcher_.Forget(this);
    const GstOwned<GstBus> bus(gst_element_get_bus(pipeline_));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    gst_object_unref(pipeline_);
  }

  PipelineCore(const PipelineCore&) = delete;
  PipelineCore& operator=(const PipelineCore&) = delete;

  int Preroll() {
    std::lock_guard lock(mutex_);
    return PrerollLocked();
  }

  int Play(bool repeat) {
    std::lock_guard lock(mutex_);
    if (broken_) {
      gst_element_set_state(pipeline_, GST_STATE_NULL);
      if (int rc = PrerollLocked(); rc < 0) return rc;
    }
    if (!SeekToStart(true, repeat))
      return Fail(kSoundErrorStateChange, "the player refused to seek to the start");
    // Notes posted before the seek belong to the previous playback.
    ++generation_;
    repeat_ = repeat;
    playing_ = true;
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
      playing_ = false;
      broken_ = true;
      return Fail(kSoundErrorStateChange, ErrorText("the player refused to start"));
    }
    return 0;
  }

  int Stop() {
    std::lock_guard lock(mutex_);
    ++generation_;
    playing_ = false;
    if (gst_element_set_state(pipeline_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
      broken_ = true;
      return Fail(kSoundErrorStateChange, ErrorText("the player refused to stop"));
    }
    return 0;
  }

  bool IsPlaying() const { return playing_; }

  // The dispatcher's thread.
  void OnBusNote(GstMessageType type, std::uint64_t generation) {
    std::lock_guard lock(mutex_);
    if (dead_ || generation != generation_) return;
    switch (type) {
      case GST_MESSAGE_SEGMENT_DONE:
        // The seamless way round: a segment seek without flushing continues
        // right after the last sample.
        if (playing_ && repeat_ && !SeekToStart(false, true) && !SeekToStart(true, true))
          playing_ = false;
        break;
      case GST_MESSAGE_EOS:
        // A source that cannot loop by segments ends; start it again.
        if (playing_ && repeat_ && SeekToStart(true, true)) break;
        playing_ = false;
        break;
      case GST_MESSAGE_ERROR:
        playing_ = false;
        broken_ = true;
        break;
      default:
        break;
    }
  }

 private:
  static GstBusSyncReply OnBusMessage(GstBus*, GstMessage* message, gpointer data) {
    auto* self = static_cast<PipelineCore*>(data);
    const GstMessageType type = GST_MESSAGE_TYPE(message);
    if (type == GST_MESSAGE_ERROR) {
      GError* error = nullptr;
      gst_message_parse_error(message, &error, nullptr);
      const GstOwned<GError> owned(error);
      {
        std::lock_guard lock(self->errorMutex_);
        self->errorText_ = GST_OBJECT_NAME(GST_MESSAGE_SRC(message));
        self->errorText_.append(": ").append(error ? error->message : "error");
        self->errorSeen_ = true;
      }
    }
    if (type == GST_MESSAGE_ERROR || type == GST_MESSAGE_EOS || type == GST_MESSAGE_SEGMENT_DONE)
      self->dispatcher_.Post(self, type, self->generation_.load());
    // Nobody pops the bus: every message is handled here or not at all.
    return GST_BUS_DROP;
  }

  std::string ErrorText(const char* fallback) {
    std::lock_guard lock(errorMutex_);
    return errorText_.empty() ? fallback : errorText_;
  }

  int PrerollLocked() {
    {
      std::lock_guard lock(errorMutex_);
      errorText_.clear();
      errorSeen_ = false;
    }
    broken_ = true;
    if (gst_element_set_state(pipeline_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
      return Fail(kSoundErrorDecode, ErrorText("the audio data could not be decoded"));
    const auto deadline = std::chrono::steady_clock::now() + kPrerollTimeout;
    for (;;) {
      const GstStateChangeReturn ret =
          gst_element_get_state(pipeline_, nullptr, nullptr, 20 * GST_MSECOND);
      bool errorSeen;
      {
        std::lock_guard lock(errorMutex_);
        errorSeen = errorSeen_;
      }
      if (errorSeen || ret == GST_STATE_CHANGE_FAILURE)
        return Fail(kSoundErrorDecode, ErrorText("the audio data could not be decoded"));
      if (ret == GST_STATE_CHANGE_SUCCESS || ret == GST_STATE_CHANGE_NO_PREROLL) break;
      if (std::chrono::steady_clock::now() > deadline)
        return Fail(kSoundErrorDecode, "the player did not get ready in time");
    }
    broken_ = false;
    return 0;
  }

  bool SeekToStart(bool flush, bool segment) {
    int flags = GST_SEEK_FLAG_ACCURATE;
    if (flush) flags |= GST_SEEK_FLAG_FLUSH;
    if (segment) flags |= GST_SEEK_FLAG_SEGMENT;
    return gst_element_seek(pipeline_, 1.0, GST_FORMAT_TIME, static_cast<GstSeekFlags>(flags),
                            GST_SEEK_TYPE_SET, 0, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
  }

  BusDispatcher& dispatcher_;
  GstElement* pipeline_;
  std::mutex mutex_;  // the pipeline's state changes and seeks, and the fields below
  bool dead_ = false;
  bool broken_ = false;  // needs a new preroll before it can play
  bool repeat_ = false;
  std::atomic<bool> playing_{false};
  std::atomic<std::uint64_t> generation_{0};
  std::mutex errorMutex_;
  std::string errorText_;
  bool errorSeen_ = false;
};

void BusDispatcher::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) return;
    Note note = queue_.front();
    queue_.pop_front();
    busy_ = note.core;
    lock.unlock();
    note.core->OnBusNote(note.type, note.generation);
    lock.lock();
    busy_ = nullptr;
    idle_.notify_all();
  }
}

class GstSoundSegment : public SoundSegment {
 public:
  // The audio stays in one heap string that GBytes owns and the pipelines share.
  explicit GstSoundSegment(std::string data) {
    auto* owned = new std::string(std::move(data));
    bytes_ = g_bytes_new_with_free_func(
        owned->data(), owned->size(), [](gpointer p) { delete static_cast<std::string*>(p); },
        owned);
  }
  ~GstSoundSegment() override { g_bytes_unref(bytes_); }
  GstSoundSegment(const GstSoundSegment&) = delete;
  GstSoundSegment& operator=(const GstSoundSegment&) = delete;

  int SetRepeats(SoundRepeat repeat) override {
    repeat_ = repeat == SoundRepeat::Endless;
    return 0;
  }
  bool repeat() const { return repeat_; }
  GBytes* bytes() const { return bytes_; }

 private:
  GBytes* bytes_;
  std::atomic<bool> repeat_{false};
};

void OnDecodedPad(GstElement*, GstPad* pad, gpointer convert) {
  LinkDecodedStream(pad, static_cast<GstElement*>(convert), "audio/");
}

class GstPlayer : public SoundPlayer {
 public:
  GstPlayer(std::shared_ptr<BusDispatcher> dispatcher, std::string sinkDescription)
      : dispatcher_(std::move(dispatcher)), sinkDescription_(std::move(sinkDescription)) {}
  ~GstPlayer() override {
    std::lock_guard lock(mutex_);
    core_.reset();
  }

  int InitAudio() override {
    GstOwned<GstElement> sink;
    if (int rc = MakeSink(&sink); rc < 0) return rc;
    // Opening the device once tells at start whether there is an output.
    const GstStateChangeReturn ret = gst_element_set_state(sink.get(), GST_STATE_READY);
    gst_element_set_state(sink.get(), GST_STATE_NULL);
    if (ret == GST_STATE_CHANGE_FAILURE)
      return Fail(kSoundErrorAudioOutput, sinkDescription_ + ": the output could not be opened");
    std::lock_guard lock(mutex_);
    audioReady_ = true;
    return 0;
  }

  int Download(SoundSegment& segment) override {
    {
      std::lock_guard lock(mutex_);
      if (!audioReady_) return Fail(kSoundErrorNotReady, "the player's audio is not initialised");
    }
    auto& seg = static_cast<GstSoundSegment&>(segment);
    std::unique_ptr<PipelineCore> core;
    if (int rc = Build(seg.bytes(), &core); rc < 0) return rc;
    if (int rc = core->Preroll(); rc < 0) return rc;
    std::unique_ptr<PipelineCore> old;
    {
      std::lock_guard lock(mutex_);
      old = std::move(core_);
      core_ = std::move(core);
      segment_ = &segment;
    }
    return 0;  // `old` goes here, outside the lock
  }

  int Unload(SoundSegment& segment) override {
    std::unique_ptr<PipelineCore> old;
    std::lock_guard lock(mutex_);
    if (segment_ != &segment) return Fail(kSoundErrorNotDownloaded, {});
    old = std::move(core_);
    segment_ = nullptr;
    return 0;
  }

  int Play(SoundSegment& segment) override {
    std::lock_guard lock(mutex_);
    if (segment_ != &segment) return Fail(kSoundErrorNotDownloaded, {});
    return core_->Play(static_cast<GstSoundSegment&>(segment).repeat());
  }

  int Stop(SoundSegment& segment) override {
    std::lock_guard lock(mutex_);
    if (segment_ != &segment) return Fail(kSoundErrorNotDownloaded, {});
    return core_->Stop();
  }

  bool IsPlaying(const SoundSegment& segment) const override {
    std::lock_guard lock(mutex_);
    return segment_ == &segment && core_->IsPlaying();
  }

 private:
  int MakeSink(GstOwned<GstElement>* sink) {
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(sinkDescription_.c_str(), TRUE, &error);
    // With a bin, an error is a warning about a property; the bin is usable.
    const GstOwned<GError> owned(error);
    if (!bin)
      return Fail(kSoundErrorAudioOutput,
                  sinkDescription_ + ": " + (error ? error->message : "unusable"));
    sink->reset(GST_ELEMENT(gst_object_ref_sink(bin)));
    return 0;
  }

  int Build(GBytes* bytes, std::unique_ptr<PipelineCore>* out) {
    GstOwned<GstElement> sink;  // the bin takes a reference of its own
    if (int rc = MakeSink(&sink); rc < 0) return rc;
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* source = gst_element_factory_make("giostreamsrc", nullptr);
    GstElement* decode = gst_element_factory_make("decodebin", nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    if (!source || !decode || !convert || !resample) {
      for (GstElement* e : {source, decode, convert, resample})
        if (e) gst_object_unref(gst_object_ref_sink(e));
      gst_object_unref(gst_object_ref_sink(pipeline));
      return Fail(kSoundErrorMissingPlugin, "giostreamsrc, decodebin, audioconvert, audioresample");
    }
    GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
    g_object_set(source, "stream", stream, nullptr);
    g_object_unref(stream);
    gst_bin_add_many(GST_BIN(pipeline), source, decode, convert, resample, sink.get(), nullptr);
    g_signal_connect(decode, "pad-added", G_CALLBACK(OnDecodedPad), convert);
    auto core = std::make_unique<PipelineCore>(*dispatcher_, pipeline);
    if (!gst_element_link(source, decode) ||
        !gst_element_link_many(convert, resample, sink.get(), nullptr))
      return Fail(kSoundErrorAudioOutput, sinkDescription_ + ": the output does not take audio");
    *out = std::move(core);
    return 0;
  }

  std::shared_ptr<BusDispatcher> dispatcher_;
  const std::string sinkDescription_;
  mutable std::mutex mutex_;
  bool audioReady_ = false;
  std::unique_ptr<PipelineCore> core_;
  SoundSegment* segment_ = nullptr;  // the segment core_ plays
};

bool ReadWholeFile(const std::string& path, std::string* data) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    errno = ENOENT;
    return false;
  }
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data->append(buffer, n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

class GstSoundBackendImpl : public SoundBackend {
 public:
  explicit GstSoundBackendImpl(GstSoundOptions options)
      : options_(std::move(options)), midi_(options_.soundFontPath) {}

  int CreateLoader() override {
    if (std::string detail = "GStreamer could not be initialised"; !InitGStreamer(&detail))
      return Fail(kSoundErrorNotReady, detail);
    std::string missing;
    for (const char* name :
         {"giostreamsrc", "decodebin", "wavparse", "audioconvert", "audioresample"}) {
      if (!GstOwned<GstElementFactory>(gst_element_factory_find(name)))
        missing.append(missing.empty() ? "" : ", ").append(name);
    }
    if (!missing.empty()) return Fail(kSoundErrorMissingPlugin, missing);
    std::lock_guard lock(mutex_);
    if (!dispatcher_) dispatcher_ = std::make_shared<BusDispatcher>();
    return 0;
  }

  int CreatePlayer(std::unique_ptr<SoundPlayer>* player) override {
    std::shared_ptr<BusDispatcher> dispatcher;
    {
      std::lock_guard lock(mutex_);
      dispatcher = dispatcher_;
    }
    if (!dispatcher) return Fail(kSoundErrorNotReady, {});
    *player = std::make_unique<GstPlayer>(std::move(dispatcher), options_.sinkDescription);
    return 0;
  }

  int LoadSegment(const std::string& path, std::unique_ptr<SoundSegment>* segment) override {
    {
      std::lock_guard lock(mutex_);
      if (!dispatcher_) return Fail(kSoundErrorNotReady, {});
    }
    std::string data;
    if (!ReadWholeFile(path, &data))
      return Fail(kSoundErrorFileOpen, path + ": " + std::strerror(errno));
    if (LooksLikeMidi(data)) {
      std::string wave, detail;
      if (int rc = midi_.Render(data, &wave, &detail); rc < 0)
        return Fail(rc, path + ": " + detail);
      data = std::move(wave);
    } else if (!LooksLikeWave(data)) {
      return Fail(kSoundErrorUnknownFormat, path);
    }
    *segment = std::make_unique<GstSoundSegment>(std::move(data));
    return 0;
  }

  void SetSoundFont(const std::string& configured) override {
    midi_.SetSoundFontPath(configured.empty() ? options_.soundFontPath : configured);
  }

  SoundErrorText DescribeError(int code) const override {
    SoundErrorText text = StandardSoundErrorText(code);
    if (code == lastFailureCode && !lastFailureDetail.empty())
      text.description += " (" + lastFailureDetail + ")";
    return text;
  }

 private:
  const GstSoundOptions options_;
  MidiRenderer midi_;
  std::mutex mutex_;
  std::shared_ptr<BusDispatcher> dispatcher_;
};

}  // namespace

GstSoundOptions GstSoundOptionsFromEnvironment() {
  GstSoundOptions options;
  if (const char* sink = std::getenv("VIREN_AUDIO_SINK"); sink && *sink)
    options.sinkDescription = sink;
  if (const char* font = std::getenv("VIREN_SOUNDFONT"); font && *font)
    options.soundFontPath = font;
  return options;
}

std::unique_ptr<SoundBackend> MakeGstSoundBackend(GstSoundOptions options) {
  return std::make_unique<GstSoundBackendImpl>(std::move(options));
}

}  // namespace viren
