#include "views/PictureExchange.h"

#include <utility>

namespace viren {

// back_ changes only in Publish, with the producer mutex held; holding it
// here makes reading back_ safe.
PictureExchange::Writer::Writer(PictureExchange& exchange, std::unique_lock<std::mutex> producer)
    : exchange_(&exchange), picture_(nullptr), producer_(std::move(producer)) {
  picture_ = exchange.back_;
  // A copy of the picture kept elsewhere makes the first write detach it:
  // the painter would go on drawing into the copy. It ends now, while this
  // picture still holds the pixels it was begun on.
  if (!picture_->image.isDetached()) EndPainting();
}

PictureExchange::Writer::Writer(Writer&& other) noexcept
    : exchange_(std::exchange(other.exchange_, nullptr)),
      picture_(other.picture_),
      producer_(std::move(other.producer_)) {}

PictureExchange::Writer::~Writer() = default;

QPainter& PictureExchange::Writer::painter() {
  QPainter& p = picture_->painter;
  if (!p.isActive()) p.begin(&picture_->image);
  return p;
}

void PictureExchange::Writer::EndPainting() {
  if (picture_->painter.isActive()) picture_->painter.end();
}

void PictureExchange::Writer::Publish() {
  if (exchange_ == nullptr || !producer_.owns_lock()) return;
  {
    std::lock_guard lock(exchange_->swapMutex_);
    std::swap(exchange_->back_, exchange_->ready_);
    exchange_->fresh_ = true;
  }
  exchange_->published_.fetch_add(1);
  producer_.unlock();
  std::function<void()> callback;
  {
    std::lock_guard lock(exchange_->callbackMutex_);
    callback = exchange_->callback_;
  }
  if (callback) callback();
}

PictureExchange::PictureExchange()
    : back_(&pictures_[0]), ready_(&pictures_[1]), front_(&pictures_[2]) {}

void PictureExchange::Fit(Picture& picture, int width, int height) {
  QImage& image = picture.image;
  if (image.width() != width || image.height() != height ||
      image.format() != QImage::Format_RGB32) {
    if (picture.painter.isActive()) picture.painter.end();
    image = QImage(width, height, QImage::Format_RGB32);
  }
}

PictureExchange::Writer PictureExchange::BeginPicture(int width, int height) {
  Writer writer(*this, std::unique_lock(producerMutex_));
  Fit(*writer.picture_, width, height);
  return writer;
}

std::optional<PictureExchange::Writer> PictureExchange::TryBeginPicture(int width, int height) {
  std::unique_lock lock(producerMutex_, std::try_to_lock);
  if (!lock.owns_lock()) return std::nullopt;
  std::optional<Writer> writer(Writer(*this, std::move(lock)));
  Fit(*writer->picture_, width, height);
  return writer;
}

const QImage& PictureExchange::Front() {
  std::lock_guard lock(swapMutex_);
  if (fresh_) {
    std::swap(front_, ready_);
    fresh_ = false;
  }
  return front_->image;
}

void PictureExchange::SetPublishedCallback(std::function<void()> callback) {
  std::lock_guard lock(callbackMutex_);
  callback_ = std::move(callback);
}

}  // namespace viren
