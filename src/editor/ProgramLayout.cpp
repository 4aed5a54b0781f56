#include "editor/ProgramLayout.h"

#include <algorithm>

namespace viren {
namespace {

bool Used(const EventRecord* records, int count, int i) {
  return i >= 0 && i < count && records[i].kind != EVENT_FREE;
}

}  // namespace

void LayoutProgram(EventRecord* records, int count) {
  count = std::clamp(count, 0, kProgramSlots);
  std::vector<bool> placed(count, false);
  int y = -40;
  for (int head = 0; head < count; ++head) {
    if (!Used(records, count, head) || records[head].prev != -1 || placed[head]) continue;
    int x = kFirstColumn;
    y += kBoxPitch;
    records[head].x = static_cast<std::int16_t>(x);
    records[head].y = static_cast<std::int16_t>(y);
    placed[head] = true;
    for (int r = records[head].next; Used(records, count, r) && !placed[r]; r = records[r].next) {
      x += kBoxPitch;
      if (x + 80 > kCanvasWidth) {
        x = kFirstColumn;
        y += kBoxPitch;
      }
      records[r].x = static_cast<std::int16_t>(x);
      records[r].y = static_cast<std::int16_t>(y);
      placed[r] = true;
    }
  }
}

CanvasSize FlowchartExtent(const EventRecord* records, int count) {
  count = std::clamp(count, 0, kProgramSlots);
  CanvasSize size{0, 0};
  for (int i = 0; i < count; ++i) {
    if (records[i].kind == EVENT_FREE) continue;
    size.width = std::max(size.width, records[i].x + kCommandBoxSize + kCanvasMargin);
    size.height = std::max(size.height, records[i].y + kCommandBoxSize + kCanvasMargin);
  }
  size.width = std::min(size.width, kCanvasMaxWidth);
  size.height = std::min(size.height, kCanvasMaxHeight);
  return size;
}

CanvasSize CanvasSizeFor(const EventRecord* records, int count) {
  const CanvasSize used = FlowchartExtent(records, count);
  return {std::max(used.width, kCanvasWidth), std::max(used.height, kCanvasHeight)};
}

int HitCommand(const EventRecord* records, int count, Point p) {
  count = std::clamp(count, 0, kProgramSlots);
  for (int i = 0; i < count; ++i) {
    const EventRecord& r = records[i];
    if (r.kind == EVENT_FREE) continue;
    if (r.x <= p.x && p.x < r.x + kCommandBoxSize && r.y <= p.y && p.y < r.y + kCommandBoxSize)
      return i;
  }
  return -1;
}

std::vector<ConnectionLine> ConnectionRoutes(const EventRecord* records, int count) {
  count = std::clamp(count, 0, kProgramSlots);
  std::vector<ConnectionLine> lines;
  for (int i = 0; i < count; ++i) {
    const EventRecord& s = records[i];
    if (s.kind == EVENT_FREE) continue;
    const int sx = s.x;
    const int sy = s.y;
    if (Used(records, count, s.link)) {
      const EventRecord& t = records[s.link];
      const int tx = t.x;
      const int ty = t.y;
      ConnectionLine line{i, s.link, true, {}};
      if (s.kind == EVENT_REPEAT) {
        if (sy != ty)
          line.points = {{sx + 20, sy + 20},
                         {sx + 20, sy - 11},
                         {tx - 8, sy - 11},
                         {tx - 8, ty + 23},
                         {tx + 1, ty + 23}};
        else
          line.points = {{sx + 20, sy + 20},
                         {sx + 20, sy + 42},
                         {tx - 6, sy + 42},
                         {tx - 6, ty + 26},
                         {tx + 1, ty + 26}};
      } else if (sy == ty) {
        line.points = {{sx + 20, sy + 20}, {sx + 50, sy + 20}, {sx + 50, sy + 51},
                       {tx - 10, sy + 51}, {tx - 10, ty + 23}, {tx + 1, ty + 23}};
      } else if (sx < tx) {
        line.points = {{sx + 20, sy + 20}, {tx - 8, sy + 20}, {tx - 8, ty + 23}, {tx + 1, ty + 23}};
      } else {
        line.points = {{sx + 20, sy + 20}, {sx + 48, sy + 20}, {sx + 48, ty + 51},
                       {tx - 8, ty + 51},  {tx - 8, ty + 23},  {tx + 1, ty + 23}};
      }
      lines.push_back(std::move(line));
    }
    if (Used(records, count, s.next)) {
      const EventRecord& n = records[s.next];
      const int nx = n.x;
      const int ny = n.y;
      ConnectionLine line{i, s.next, false, {}};
      if (sy < ny) {
        const int m = (ny + sy) / 2 + 20;
        line.points = {{sx + 39, sy + 20}, {sx + 48, sy + 20}, {sx + 48, m},
                       {nx - 8, m},        {nx - 8, ny + 20},  {nx + 1, ny + 20}};
      } else {
        line.points = {{sx + 39, sy + 20}, {nx + 1, ny + 20}};
      }
      lines.push_back(std::move(line));
    }
  }
  return lines;
}

PositionMark PositionMarkOf(const EventRecord& r, int courseWidth, int courseHeight) {
  PositionMark mark;
  const int x = r.x;
  const int y = r.y;
  switch (r.option) {
    case POSITION_LEAVE_COURSE:
    case POSITION_LEAVE_CAMERA: {
      // The 32 x 32 picture stands for the camera image; the course range is
      // drawn to scale inside it.
      const int a = r.option == POSITION_LEAVE_COURSE ? (640 - courseWidth) * 32 / 1280 : 0;
      const int b = r.option == POSITION_LEAVE_COURSE ? (640 - courseHeight) * 32 / 1280 : 0;
      mark.outline = {{x + 4 + a, y + 4 + b},
                      {x + 36 - a, y + 4 + b},
                      {x + 36 - a, y + 36 - b},
                      {x + 4 + a, y + 36 - b},
                      {x + 4 + a, y + 4 + b}};
      break;
    }
    case POSITION_CAMERA_CENTRE:
      mark.crossCentre = {x + 20, y + 20};
      break;
    default:
      mark.crossCentre = {r.value1 * 32 / 640 + x + 4, r.value2 * 32 / 640 + y + 8};
      break;
  }
  return mark;
}

}  // namespace viren
