// The polygon file reader with any store sizes and screen resolution a caller
// may pass: whatever the metafile holds, it fills only the room it was given
// and says truthfully what it filled.
#include <vector>

#include "FuzzSupport.h"
#include "vision/PolygonFile.h"

using namespace viren;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input(data, size);
  const int maxPolygons = input.Range(0, 40);
  const int maxPoints = input.Range(0, 600);
  const int pixelsPerInch = input.Range(-2, 1200);
  const auto file = input.Rest();

  // Exactly the room asked for, so a write past it is a sanitizer report.
  std::vector<int> counts(static_cast<std::size_t>(maxPolygons));
  std::vector<Point> points(static_cast<std::size_t>(maxPoints));
  int polygonCount = -1;
  int total = -1;
  ParsePolygonData(file, polygonCount, counts.data(), total, points.data(), maxPolygons, maxPoints,
                   pixelsPerInch);
  FUZZ_CHECK(polygonCount >= 0 && polygonCount <= maxPolygons);
  FUZZ_CHECK(total >= 0 && total <= maxPoints);
  long sum = 0;
  for (int i = 0; i < polygonCount; ++i) {
    FUZZ_CHECK(counts[static_cast<std::size_t>(i)] >= 0);
    sum += counts[static_cast<std::size_t>(i)];
  }
  FUZZ_CHECK(sum == total);
  return 0;
}
