#include "layout/CarPhoto.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QPolygon>

#include "layout/CarShape.h"
#include "layout/ImageConvert.h"

namespace viren {

int CarSquareSide(int width, int height) {
  const double diagonal =
      std::sqrt(static_cast<double>(width) * width + static_cast<double>(height) * height);
  return 4 * ((static_cast<int>(diagonal) + 4) / 4) + 4;
}

void RotateIntoSquare(const Bitmap24& photo, double heading, int side, std::uint8_t* square,
                      int left, int top, int right, int bottom) {
  const int w = photo.width;
  const int h = photo.height;
  if (w <= 0 || h <= 0 || side <= 0) return;
  const int cq = static_cast<int>(std::cos(heading) * 1024);
  const int sq = static_cast<int>(std::sin(heading) * 1024);
  const int h2 = side / 2;
  const std::size_t stride = photo.Stride();
  const std::uint8_t* src = photo.pixels.data();
  // A photograph one pixel wide or high blends with the same pixel twice
  // instead of reaching outside it.
  const int maxCol = std::max(0, w - 2);
  const int maxRow = std::max(0, h - 2);
  const int nextCol = w > 1 ? 1 : 0;
  const std::size_t nextRow = h > 1 ? stride : 0;

  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, side - 1);
  bottom = std::min(bottom, side - 1);
  for (int y = top; y <= bottom; ++y) {
    const int i = side - 1 - y;  // rows counted from the bottom, as in the bitmap
    std::uint8_t* out = square + static_cast<std::size_t>(i) * side * 3;
    for (int j = left; j <= right; ++j) {
      const double r = (cq * (i - h2) + sq * (j - h2)) / 1024.0 + h / 2;
      const double k = (cq * (j - h2) - sq * (i - h2)) / 1024.0 + w / 2;
      int kc = static_cast<int>(k);
      int rc = static_cast<int>(r);
      if (kc < 0 || kc > w - 1 || rc < 0 || rc > h - 1) continue;
      kc = std::min(kc, maxCol);
      rc = std::min(rc, maxRow);
      const double fx = k - kc;
      const double fy = r - rc;
      const std::uint8_t* p00 = src + static_cast<std::size_t>(rc) * stride + kc * 3;
      const std::uint8_t* p01 = p00 + nextCol * 3;
      const std::uint8_t* p10 = p00 + nextRow;
      const std::uint8_t* p11 = p10 + nextCol * 3;
      for (int c = 0; c < 3; ++c) {
        const double v =
            (p00[c] * (1 - fx) + p01[c] * fx) * (1 - fy) + (p10[c] * (1 - fx) + p11[c] * fx) * fy;
        // At the last row or column the weights reach past 1 and the blend
        // extrapolates; it is kept inside a byte rather than wrapping round.
        out[j * 3 + c] = static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
      }
    }
  }
}

namespace {

// A photograph whose longer side exceeds kMaxCarPhotoSide, scaled down by
// averaging the block of photograph pixels under each new pixel; any other
// photograph unchanged. The blocks tile the photograph, so the work is one
// pass over its pixels.
void FitPhotograph(Bitmap24& photo) {
  const int sw = photo.width;
  const int sh = photo.height;
  const int longer = std::max(sw, sh);
  if (longer <= kMaxCarPhotoSide) return;
  const auto scaledSide = [&](int side) {
    return std::clamp(static_cast<int>(static_cast<std::int64_t>(side) * kMaxCarPhotoSide / longer),
                      1, kMaxCarPhotoSide);
  };
  const int w = scaledSide(sw);
  const int h = scaledSide(sh);
  Bitmap24 fitted;
  fitted.Create(w, h);
  for (int y = 0; y < h; ++y) {
    const int y0 = static_cast<int>(static_cast<std::int64_t>(y) * sh / h);
    const int y1 = static_cast<int>(static_cast<std::int64_t>(y + 1) * sh / h);
    for (int x = 0; x < w; ++x) {
      const int x0 = static_cast<int>(static_cast<std::int64_t>(x) * sw / w);
      const int x1 = static_cast<int>(static_cast<std::int64_t>(x + 1) * sw / w);
      std::uint64_t sum[3] = {0, 0, 0};
      for (int sy = y0; sy < y1; ++sy) {
        const std::uint8_t* from = photo.PixelAt(x0, sy);
        for (int sx = x0; sx < x1; ++sx, from += 3) {
          sum[0] += from[0];
          sum[1] += from[1];
          sum[2] += from[2];
        }
      }
      const std::uint64_t n =
          static_cast<std::uint64_t>(y1 - y0) * static_cast<std::uint64_t>(x1 - x0);
      std::uint8_t* to = fitted.PixelAt(x, y);
      for (int c = 0; c < 3; ++c) to[c] = static_cast<std::uint8_t>(sum[c] / n);
    }
  }
  photo = std::move(fitted);
}

}  // namespace

bool CarPhoto::Load(const std::string& path) {
  Release();
  Bitmap24 photo;
  if (LoadPicture24(path, photo) != BitmapStatus::Ok) return false;
  return Load(std::move(photo));
}

bool CarPhoto::Load(Bitmap24 photo) {
  Release();
  if (photo.Empty()) return false;
  FitPhotograph(photo);
  const int side = CarSquareSide(photo.width, photo.height);
  QImage work(side, side, QImage::Format_RGB32);
  QImage mask(side, side, QImage::Format_RGB32);
  if (work.isNull() || mask.isNull()) return false;
  work.fill(0);
  photo_ = std::move(photo);
  side_ = side;
  square_.assign(static_cast<std::size_t>(side) * side * 3, 0);
  work_ = std::move(work);
  mask_ = std::move(mask);
  return true;
}

void CarPhoto::Release() {
  photo_ = Bitmap24{};
  side_ = 0;
  square_.clear();
  square_.shrink_to_fit();
  work_ = QImage();
  mask_ = QImage();
}

void CarPhoto::Draw(QImage& target, Point centre, double heading) {
  if (!Loaded() || target.isNull() || target.format() != QImage::Format_RGB32) return;
  auto corners = FigureCorners(centre, heading, photo_.width, photo_.height);
  int x0 = corners[0].x, x1 = x0, y0 = corners[0].y, y1 = y0;
  for (const Point& c : corners) {
    x0 = std::min(x0, c.x);
    x1 = std::max(x1, c.x);
    y0 = std::min(y0, c.y);
    y1 = std::max(y1, c.y);
  }
  // Centre the corners' box in the square.
  const int mx = (x1 + x0 - side_) / 2;
  const int my = (y1 + y0 - side_) / 2;
  QPolygon moved(4);
  for (int n = 0; n < 4; ++n) moved.setPoint(n, corners[n].x - mx, corners[n].y - my);

  // Only the box inside the square is read below, so only the box is
  // prepared: a long thin photograph costs what it covers, not its square.
  const int left = std::max(0, x0 - mx);
  const int top = std::max(0, y0 - my);
  const int right = std::min(side_ - 1, x1 - mx);
  const int bottom = std::min(side_ - 1, y1 - my);
  RotateIntoSquare(photo_, heading, side_, square_.data(), left, top, right, bottom);
  for (int y = top; y <= bottom; ++y) {
    const std::uint8_t* from =
        square_.data() + (static_cast<std::size_t>(side_ - 1 - y) * side_ + left) * 3;
    auto* to = reinterpret_cast<QRgb*>(work_.scanLine(y));
    for (int x = left; x <= right; ++x, from += 3) to[x] = qRgb(from[2], from[1], from[0]);
  }
  {
    QPainter p(&mask_);
    if (left <= right && top <= bottom)
      p.fillRect(QRect(QPoint(left, top), QPoint(right, bottom)), QColor(255, 255, 255));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBrush(QColor(0, 0, 0));
    p.setPen(QPen(QColor(255, 255, 255), 3));
    p.drawPolygon(moved);
  }

  // target AND mask, then OR (work AND NOT mask): inside the shrunk rectangle
  // the photograph, outside it the target as it was.
  const int width = x1 - x0 - 1;
  const int height = y1 - y0 - 1;
  for (int dy = 0; dy < height; ++dy) {
    const int ty = y0 + dy;
    const int sy = y0 - my + dy;
    if (ty < 0 || ty >= target.height() || sy < 0 || sy >= side_) continue;
    auto* t = reinterpret_cast<QRgb*>(target.scanLine(ty));
    const auto* m = reinterpret_cast<const QRgb*>(mask_.constScanLine(sy));
    const auto* wk = reinterpret_cast<const QRgb*>(work_.constScanLine(sy));
    for (int dx = 0; dx < width; ++dx) {
      const int tx = x0 + dx;
      const int sx = x0 - mx + dx;
      if (tx < 0 || tx >= target.width() || sx < 0 || sx >= side_) continue;
      t[tx] = (t[tx] & m[sx]) | (wk[sx] & ~m[sx]) | 0xFF000000u;
    }
  }
}

}  // namespace viren
