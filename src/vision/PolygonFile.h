#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/Geometry.h"

namespace viren {

// Pixels per inch assumed when the platform does not say.
inline constexpr int kDefaultPixelsPerInch = 96;

// Reads the polygons and polylines of a Windows metafile (placeable or plain)
// as point lists in screen pixels: up to maxPolygons lists, maxPoints points in
// all, into `counts` and `points`. Poly-polygons come back as one list.
// `pixelsPerInch` is the screen's horizontal resolution, used to scale
// placeable drawings. Returns 0 when the file cannot be opened, else 1 with
// whatever could be read; a truncated or malformed file never makes it read
// outside the file's bytes or the caller's stores.
int ReadPolygonFile(const std::string& path, int& polygonCount, int* counts, int& total,
                    Point* points, int maxPolygons, int maxPoints,
                    int pixelsPerInch = kDefaultPixelsPerInch);

// The same on bytes already in memory (the whole file).
void ParsePolygonData(std::span<const std::uint8_t> data, int& polygonCount, int* counts,
                      int& total, Point* points, int maxPolygons, int maxPoints,
                      int pixelsPerInch = kDefaultPixelsPerInch);

}  // namespace viren
