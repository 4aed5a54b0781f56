// A car shape metafile as the layout reads it for the graphic car, and the
// car figure placed and drawn from it at a heading and a place taken from
// the input's first bytes (the metafile follows them).
#include <numbers>

#include <QImage>

#include "FuzzSupport.h"
#include "core/Geometry.h"
#include "layout/CarShape.h"

using namespace viren;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input(data, size);
  // A corner of the layout is enough to draw on, and quick to fill.
  constexpr int kWidth = 160, kHeight = 120;
  const Point centre{input.Range(-60, kWidth + 60), input.Range(-60, kHeight + 60)};
  const double heading = (input.Byte() - 128) * (std::numbers::pi / 64);
  const SettingPair carSize{input.Range(-5, 100), input.Range(-5, 100)};
  const auto file = input.Rest();

  PolygonList read;
  ParseCarShapeData(file, read);
  FUZZ_CHECK(read.counts.size() <= kMaxShapePolylines);
  FUZZ_CHECK(read.points.size() <= kMaxShapePoints);
  std::size_t total = 0;
  for (int n : read.counts) {
    FUZZ_CHECK(n >= 0);
    total += static_cast<std::size_t>(n);
  }
  FUZZ_CHECK(total == read.points.size());

  const CarShape shape = LoadCarShape(
      [&](const std::string&, PolygonList& out) {
        out = read;
        return true;
      },
      "car.wmf", carSize);
  FUZZ_CHECK(!shape.polylines.counts.empty());
  const PolygonList placed = PlaceCarShape(shape, centre, heading);
  FUZZ_CHECK(placed.counts == shape.polylines.counts);
  FUZZ_CHECK(placed.points.size() == shape.polylines.points.size());

  QImage layout(kWidth, kHeight, QImage::Format_RGB32);
  layout.fill(0xFFFFFFFFu);
  DrawGraphicCar(layout, shape, centre, heading, qRgb(128, 128, 128));
  return 0;
}
