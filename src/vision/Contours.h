#pragma once

#include <cstdint>
#include <vector>

#include "core/Geometry.h"

namespace viren {

// Working memory of VectorizeImage that outlives one call, so that the frame
// analysis allocates it once per connection instead of once per frame. Grows
// on demand; never shrinks until destroyed.
struct VectorizeScratch {
  std::vector<std::int32_t> chain;     // pixel offsets of the chain being traced
  std::vector<std::uint8_t> rowMins;   // three rows of horizontal minima (erosion)
  std::vector<std::uint32_t> rowBits;  // rows of bits (DifferenceErode)
  std::vector<std::uint8_t> rowSet;    // per memory row: anything set after erosion
};

// Turns a binary image into closed contours reduced to the points where their
// direction changes.
//
// `image`: width x height bytes, memory row 0 at the bottom of the picture,
// 0 background, non-zero set. Changed in place: after erosion only 0 and 1
// remain, traced boundary pixels become 3, isolated set pixels 2. The
// outermost rows and columns are cleared in every case (the trace never looks
// past them), with or without erosion.
//
// Kept contours go to `vertices` (image coordinates, y downwards) one after
// the other, their vertex counts to `counts`; `total` is the number of
// vertices stored. At most maxContours - 1 contours are kept, each with four
// or more vertices and only while the store (maxPoints vertices) has room.
//
// Returns the number of kept contours, or -1 when one boundary's trace reaches
// maxPoints - 1 pixels; then none of the outputs is valid.
int VectorizeImage(std::uint8_t* image, int width, int height, int& total, int* counts,
                   Point* vertices, int maxContours, int maxPoints, bool erode,
                   VectorizeScratch& scratch);

// The tracing part of VectorizeImage alone, for an image that is already
// eroded (DifferenceErode): 0/1 values, the outermost rows and columns
// 0, and scratch.rowSet[r] non-zero for every row r with anything set.
int TraceContours(std::uint8_t* image, int width, int height, int& total, int* counts,
                  Point* vertices, int maxContours, int maxPoints, VectorizeScratch& scratch);

// The same with scratch memory of its own (allocates on every call).
int VectorizeImage(std::uint8_t* image, int width, int height, int& total, int* counts,
                   Point* vertices, int maxContours, int maxPoints, bool erode);

// Area-weighted centroid of a polygon (fan from its first point), truncated
// toward zero; the integer mean of the points when the area is 0; (-1, -1)
// below three points.
Point PolygonCentroid(const Point* points, int count);

// One centroid for a set of kept contours: each contour's centroid goes to
// `centroids`; one contour gives its own, two their integer midpoint, three or
// more the centroid of the polygon through the contour centroids. (-1, -1)
// when contourCount is 0 or negative (a failed vectorization).
Point CombineCentroids(const Point* vertices, const int* counts, int contourCount,
                       Point* centroids);

}  // namespace viren
