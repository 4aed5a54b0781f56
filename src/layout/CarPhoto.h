#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QImage>

#include "core/Geometry.h"
#include "vision/Bitmap24.h"

namespace viren {

// Side S of the square work area for a W x H photograph: a multiple of 4 that
// exceeds the diagonal, 4 * floor((floor(sqrt(W^2 + H^2)) + 4) / 4) + 4.
int CarSquareSide(int width, int height);

// Turns the photograph by `heading` into the S x S square buffer (3 bytes a
// pixel, rows bottom-up, no padding since S is a multiple of 4), by inverse
// mapping with cosines and sines in 1/1024 steps and a bilinear blend of the
// four nearest photograph pixels. Only the square pixels in columns
// left..right and picture rows top..bottom (y downwards) are visited; a pixel
// whose source lies outside the photograph keeps what the buffer held.
void RotateIntoSquare(const Bitmap24& photo, double heading, int side, std::uint8_t* square,
                      int left, int top, int right, int bottom);

// The longest photograph side the car figure can show: the layout's width.
// A longer photograph never fits the 640 x 480 layout facing along it; it is
// scaled down once when it is loaded, so the work buffers stay a few
// megabytes and a frame is drawn in milliseconds.
inline constexpr int kMaxCarPhotoSide = 640;

// The car's photograph, shown turned to the car's heading inside its turned
// rectangle. The photograph shows the car facing +x at heading 0.
//
// Not thread safe on its own: CourseLayout serialises loading and drawing.
class CarPhoto {
 public:
  // Loads a 24-bit bitmap file and prepares the square buffers; false (and
  // nothing loaded) when the file cannot be read or its buffers cannot be had.
  bool Load(const std::string& path);
  // The same with a picture already read. A side beyond kMaxCarPhotoSide
  // scales the picture down, keeping its proportions (no side below 1).
  bool Load(Bitmap24 photo);
  void Release();
  bool Loaded() const { return !photo_.Empty(); }
  int width() const { return photo_.width; }
  int height() const { return photo_.height; }
  int side() const { return side_; }

  // Draws the photograph turned by `heading` and centred on `centre` into
  // `target` (Format_RGB32); outside the turned rectangle, shrunk by a
  // 3-pixel edge, the target keeps its pixels.
  void Draw(QImage& target, Point centre, double heading);

 private:
  Bitmap24 photo_;
  int side_ = 0;
  std::vector<std::uint8_t> square_;
  QImage work_;
  QImage mask_;
};

}  // namespace viren
