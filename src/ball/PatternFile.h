#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace viren {

// The learned ball as a pattern file holds it, converted for the matcher.
struct GreyPattern {
  int size = 0;                      // P: 16, 32, 64 or 128
  std::vector<std::uint8_t> pixels;  // P x P grey, rows top-down
};

// Reads a pattern file (a 24-bit bitmap; only its pixel offset, width, height
// and bit depth count). P is the largest power of two the picture holds as a
// square, at most 128; the top-left P x P square becomes the pattern. False,
// with `out` untouched, for a file that cannot be read, is not an
// uncompressed 24-bit bitmap, whose header promises more than the file holds,
// or whose picture has no 16 x 16 square.
bool ReadPatternFile(const std::string& path, GreyPattern& out);
bool DecodePatternFile(std::span<const std::uint8_t> file, GreyPattern& out);

// The bytes of a pattern file for a colour patch of side S (16, 32, 64 or
// 128; S rows of S pixels, blue, green, red, bottom row first). The header
// is the one the learning has always written: file size S x S + 54, image
// size S x S, no resolution, 16777216 colours used and important.
std::vector<std::uint8_t> EncodePatternFile(std::span<const std::uint8_t> colourPatch, int side);
// Creates or overwrites `path`; false when it cannot be written.
bool WritePatternFile(const std::string& path, std::span<const std::uint8_t> colourPatch, int side);

}  // namespace viren
