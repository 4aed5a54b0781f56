#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include <QImage>
#include <QPainter>

namespace viren {

// Hands the composed view pictures from the thread that draws them (capture
// or simulation) to the window thread that shows them, without tearing and
// without allocating per frame.
//
// Three pictures rotate: the producer composes into its back picture; Publish
// swaps it with the "ready" one (the newest complete picture); the window
// thread's Front() swaps the ready one in when it is newer than what it shows.
// Only the pictures' handles move, under a small mutex; a picture is written
// by one thread at a time. A picture is allocated only when the requested
// size changes. Each picture keeps its own painter, begun once and left
// active from frame to frame: beginning a QPainter allocates, drawing with
// an active one need not.
//
// Threads: BeginPicture/Publish on any one producer at a time (a second
// producer waits until the first has published or abandoned); Front and
// HasPicture on the window thread only. The published callback runs on the
// producer's thread right after Publish; it must only schedule a repaint.
class PictureExchange {
  struct Picture;

 public:
  class Writer {
   public:
    Writer(Writer&& other) noexcept;
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    Writer& operator=(Writer&&) = delete;
    // Abandons the picture when it was not published.
    ~Writer();

    // The picture to compose into; Format_RGB32 of the requested size. Its
    // contents are those of an older picture: compose all of it. Its pixels
    // may be written directly while painter() is active.
    QImage& image() { return picture_->image; }
    // The picture's own painter, active on image(). Whoever draws sets the
    // pen, brush and composition mode it needs: they stay as the last
    // drawing left them. Another QPainter can begin on image() only after
    // EndPainting() (the next painter() begins this one again).
    QPainter& painter();
    void EndPainting();
    // Makes the picture the newest complete one.
    void Publish();

   private:
    friend class PictureExchange;
    Writer(PictureExchange& exchange, std::unique_lock<std::mutex> producer);
    PictureExchange* exchange_;
    Picture* picture_;
    std::unique_lock<std::mutex> producer_;
  };

  PictureExchange();

  // Producer side. BeginPicture waits while another producer composes;
  // TryBeginPicture gives nothing then (the window thread never waits on a
  // drawing thread).
  Writer BeginPicture(int width, int height);
  std::optional<Writer> TryBeginPicture(int width, int height);

  // Window thread: the newest complete picture (a null image before the
  // first). Paint it at once; keep no copy, or the producer's next picture
  // has to allocate and begin its painter again.
  const QImage& Front();
  bool HasPicture() const { return published_.load() > 0; }
  std::uint64_t publishedCount() const { return published_.load(); }

  // Told on the producer's thread after every Publish.
  void SetPublishedCallback(std::function<void()> callback);

 private:
  // The painter is declared after the image, so it ends before the image goes.
  struct Picture {
    QImage image;
    QPainter painter;
  };
  static void Fit(Picture& picture, int width, int height);

  std::mutex producerMutex_;  // one composing thread at a time
  std::mutex swapMutex_;      // guards the three handles and `fresh_`
  Picture pictures_[3];
  Picture* back_;
  Picture* ready_;
  Picture* front_;
  bool fresh_ = false;
  std::atomic<std::uint64_t> published_{0};
  std::mutex callbackMutex_;
  std::function<void()> callback_;
};

}  // namespace viren
