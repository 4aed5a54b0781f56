#pragma once

#include <vector>

#include "core/Geometry.h"
#include "program/EventRecord.h"

namespace viren {

// The flowchart's geometry on the 640 x 480 program canvas: where the boxes
// stand and how the connection lines run. Plain arithmetic on the records.

inline constexpr int kCanvasWidth = 640;
inline constexpr int kCanvasHeight = 480;
inline constexpr int kBoxPitch = 56;  // 40-pixel box and 16-pixel gap
inline constexpr int kFirstColumn = 16;

// Gives every chain a row of its own (starting a new row after ten boxes),
// the chains in the index order of their heads. Damaged chains (indexes out
// of range, loops) are placed as far as they can be followed.
void LayoutProgram(EventRecord* records, int count);

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
