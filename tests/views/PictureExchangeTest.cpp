#include "views/PictureExchange.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

namespace viren {
namespace {

TEST(PictureExchange, NewestCompletePictureReachesTheWindow) {
  PictureExchange exchange;
  EXPECT_FALSE(exchange.HasPicture());
  EXPECT_TRUE(exchange.Front().isNull());
  for (int n = 1; n <= 3; ++n) {
    auto w = exchange.BeginPicture(8, 4);
    w.image().fill(qRgb(n, 0, 0));
    w.Publish();
  }
  EXPECT_EQ(exchange.publishedCount(), 3u);
  EXPECT_EQ(qRed(exchange.Front().pixel(0, 0)), 3);  // only the newest counts
  EXPECT_EQ(qRed(exchange.Front().pixel(0, 0)), 3);  // and stays until a newer one
  {
    auto abandoned = exchange.BeginPicture(8, 4);
    abandoned.image().fill(qRgb(99, 0, 0));
  }  // never published
  EXPECT_EQ(qRed(exchange.Front().pixel(0, 0)), 3);
  EXPECT_EQ(exchange.publishedCount(), 3u);
}

TEST(PictureExchange, PicturesAreReusedNotAllocatedPerFrame) {
  PictureExchange exchange;
  std::set<const uchar*> buffers;
  for (int n = 0; n < 50; ++n) {
    auto w = exchange.BeginPicture(64, 48);
    buffers.insert(w.image().constBits());
    w.image().fill(qRgb(n, n, n));
    w.Publish();
    if (n % 3 == 0) buffers.insert(exchange.Front().constBits());
  }
  EXPECT_LE(buffers.size(), 3u);
  // A new size makes new pictures once.
  auto w = exchange.BeginPicture(640, 480);
  EXPECT_EQ(w.image().size(), QSize(640, 480));
  EXPECT_EQ(w.image().format(), QImage::Format_RGB32);
}

TEST(PictureExchange, TheWindowThreadNeverWaitsForAComposingThread) {
  PictureExchange exchange;
  auto busy = exchange.BeginPicture(4, 4);
  EXPECT_FALSE(exchange.TryBeginPicture(4, 4).has_value());
  busy.Publish();
  auto next = exchange.TryBeginPicture(4, 4);
  ASSERT_TRUE(next.has_value());
  next->image().fill(0);
  next->Publish();
  EXPECT_EQ(exchange.publishedCount(), 2u);
}

// A composing thread fills whole pictures with one value each while the
// window thread keeps taking the newest: every picture it sees is whole
// (one value throughout) and the values never go backwards.
TEST(PictureExchange, ConcurrentProducerAndWindowNeverSeeATornPicture) {
  PictureExchange exchange;
  std::atomic<int> callbacks{0};
  exchange.SetPublishedCallback([&] { callbacks.fetch_add(1); });
  constexpr int kFrames = 3000;
  std::thread producer([&] {
    for (int n = 1; n <= kFrames; ++n) {
      auto w = exchange.BeginPicture(32, 24);
      QImage& img = w.image();
      for (int y = 0; y < img.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) row[x] = 0xFF000000u | static_cast<QRgb>(n);
      }
      w.Publish();
    }
  });
  QRgb last = 0;
  int looks = 0;
  while (exchange.publishedCount() < kFrames || looks == 0) {
    const QImage& front = exchange.Front();
    if (front.isNull()) continue;
    const QRgb first = front.pixel(0, 0);
    for (int y = 0; y < front.height(); ++y)
      for (int x = 0; x < front.width(); ++x) ASSERT_EQ(front.pixel(x, y), first);
    ASSERT_GE(first & 0xFFFFFF, last & 0xFFFFFF);
    last = first;
    ++looks;
  }
  producer.join();
  EXPECT_EQ(exchange.Front().pixel(0, 0) & 0xFFFFFF, static_cast<QRgb>(kFrames));
  EXPECT_EQ(callbacks.load(), kFrames);
}

}  // namespace
}  // namespace viren
