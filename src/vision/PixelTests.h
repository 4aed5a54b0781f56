#pragma once

#include <cstddef>
#include <cstdint>

namespace viren {

// The per-pixel tests of the frame analysis. Frames are 3 bytes a pixel (blue,
// green, red); binary outputs are one byte a pixel, 0 or 1.

// The smallest channel difference that counts as movement:
// (100 - DIFF_LEVEL) x W / 100, integer arithmetic, with W taken as at most
// kThresholdWidthLimit and the result at most 255 (see the definition).
int DifferenceThreshold(int diffLevel, int width);
inline constexpr int kThresholdWidthLimit = 1280;

// out[i] = 1 when the blue, green or red byte of pixel i differs between
// `frame` and `reference` by `threshold` or more, else 0.
void DifferenceTest(const std::uint8_t* frame, const std::uint8_t* reference, std::size_t pixels,
                    int threshold, std::uint8_t* out);

// The same, and the frame then replaces the reference in the same pass (the
// analysis keeps the frame it has just analysed as the next reference).
void DifferenceTestAndKeep(const std::uint8_t* frame, std::uint8_t* reference, std::size_t pixels,
                           int threshold, std::uint8_t* out);

// The difference test followed by the erosion of VectorizeImage (outermost
// rows and columns cleared, then a pixel stays set only when it and its
// eight neighbours are set), in one pass with three rows in flight: `out`
// (width x height) receives the eroded 0/1 image and rowSet[r] (height
// entries) whether row r has anything set in it; with `keep` the frame
// replaces the reference in the same pass. `rows` is scratch of
// DifferenceErodeScratchWords(width) words. TraceContours takes it from there.
// On entry rowSet[r] == 0 promises that row r of `out` is all 0, as this
// call (or VectorizeImage) leaves every row it marks so: such rows are not
// written again. Pass non-zero entries for an image of unknown content.
// With `raw` (width x height) the image before the erosion, as DifferenceTest
// gives it, is written there in the same pass (the difference view shows it).
void DifferenceErode(const std::uint8_t* frame, std::uint8_t* reference, int width, int height,
                     int threshold, std::uint8_t* out, std::uint8_t* rowSet, std::uint32_t* rows,
                     bool keep, std::uint8_t* raw = nullptr);
inline std::size_t DifferenceErodeScratchWords(int width) {
  return 4 * static_cast<std::size_t>((width + 31) / 32);
}

// out[i] = 1 when diff[i] is set and main - other1 - other2 > markerLevel,
// where the main channel is red for markerCheck 1, green for 2 and blue for
// any other value.
void MarkerTest(const std::uint8_t* frame, const std::uint8_t* diff, std::size_t pixels,
                int markerCheck, int markerLevel, std::uint8_t* out);

}  // namespace viren
