#pragma once

#include <vector>

#include "core/Geometry.h"
#include "program/EventRecord.h"

namespace viren {

// The flowchart's geometry on the program canvas: where the boxes stand and
// how the connection lines run. Plain arithmetic on the records.

// The canvas is at least 640 x 480 and grows with the program, up to a bound
// that holds 99 one-box rows; boxes are never placed or dragged beyond it.
inline constexpr int kCanvasWidth = 640;
inline constexpr int kCanvasHeight = 480;
inline constexpr int kCanvasMaxWidth = 2048;
inline constexpr int kCanvasMaxHeight = 6144;
// Room right of and below the last box, for its lines and its value.
inline constexpr int kCanvasMargin = 32;
inline constexpr int kBoxPitch = 56;  // 40-pixel box and 16-pixel gap
inline constexpr int kFirstColumn = 16;

// Gives every chain a row of its own (starting a new row after ten boxes),
// the chains in the index order of their heads. Damaged chains (indexes out
// of range, loops) are placed as far as they can be followed.
void LayoutProgram(EventRecord* records, int count);

struct CanvasSize {
  int width = kCanvasWidth;
  int height = kCanvasHeight;
  friend bool operator==(const CanvasSize&, const CanvasSize&) = default;
};
// The part of the canvas the boxes use, with the margin right of and below
// them (at most the bound of the canvas).
CanvasSize FlowchartExtent(const EventRecord* records, int count);
// The canvas that shows every box of the records: at least 640 x 480.
CanvasSize CanvasSizeFor(const EventRecord* records, int count);

// The first used record, in index order, whose box contains `p`; -1 none.
int HitCommand(const EventRecord* records, int count, Point p);

// One connection line of the flowchart: the chain line from a command to
// the next, or the link line from a command to its link target.
struct ConnectionLine {
  int from = -1;
  int to = -1;
  bool isLink = false;
  std::vector<Point> points;  // polyline in canvas pixels
};
std::vector<ConnectionLine> ConnectionRoutes(const EventRecord* records, int count);

// The red mark of a position command inside its box: a closed rectangle or
// a cross made of two strokes. `courseWidth` x `courseHeight` is the course
// range for "leave the course".
struct PositionMark {
  std::vector<Point> outline;  // closed rectangle, or empty
  Point crossCentre{-1, -1};   // the cross, when outline is empty
};
PositionMark PositionMarkOf(const EventRecord& record, int courseWidth, int courseHeight);

}  // namespace viren
