#include "views/PictureExchange.h"

#include <utility>

namespace viren {

// back_ changes only in Publish, with the producer mutex held; holding it
// here makes reading back_ safe.
PictureExchange::Writer::Writer(PictureExchange& exchange, std::unique_lock<std::mutex> producer)
    : exchange_(&exchange), image_(nullptr), producer_(std::move(producer)) {
  image_ = exchange.back_;
}

PictureExchange::Writer::Writer(Writer&& other) noexcept
    : exchange_(std::exchange(other.exchange_, nullptr)),
      image_(other.image_),
      producer_(std::move(other.producer_)) {}

PictureExchange::Writer::~Writer() = default;

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

void PictureExchange::Fit(QImage& image, int width, int height) {
  if (image.width() != width || image.height() != height ||
      image.format() != QImage::Format_RGB32) {
    image = QImage(width, height, QImage::Format_RGB32);
  }
}

PictureExchange::Writer PictureExchange::BeginPicture(int width, int height) {
  Writer writer(*this, std::unique_lock(producerMutex_));
  Fit(writer.image(), width, height);
  return writer;
}

std::optional<PictureExchange::Writer> PictureExchange::TryBeginPicture(int width, int height) {
  std::unique_lock lock(producerMutex_, std::try_to_lock);
  if (!lock.owns_lock()) return std::nullopt;
  std::optional<Writer> writer(Writer(*this, std::move(lock)));
  Fit(writer->image(), width, height);
  return writer;
}

const QImage& PictureExchange::Front() {
  std::lock_guard lock(swapMutex_);
  if (fresh_) {
    std::swap(front_, ready_);
    fresh_ = false;
  }
  return *front_;
}

void PictureExchange::SetPublishedCallback(std::function<void()> callback) {
  std::lock_guard lock(callbackMutex_);
  callback_ = std::move(callback);
}

}  // namespace viren
