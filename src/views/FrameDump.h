#pragma once

#include <string>

class QImage;

namespace viren {

// "<folder>/<number, six digits>.bmp"; a folder written with backslashes
// (from a Windows option.ini) is taken with slashes.
std::string DumpFilePath(const std::string& folder, int number);

// Writes the top-left width x height area of `picture` as a 24-bit bitmap
// file: "BM", file size 54 + image size, pixel offset 54, a 40-byte header
// (width, positive height, 1 plane, 24 bits, no compression, image size =
// height * (width * 3 rounded up to 4)), then the rows bottom-up. An existing
// file is overwritten. False when the file cannot be written; the caller
// skips that frame.
bool WriteDumpFile(const std::string& path, const QImage& picture, int width, int height);

}  // namespace viren
