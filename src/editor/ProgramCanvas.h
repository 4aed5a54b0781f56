#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <functional>
#include <string>

#include "core/Geometry.h"
#include "editor/ProgramLayout.h"
#include "program/EditHistory.h"
#include "program/EventRecord.h"

namespace viren {

class Settings;

// Pens and brushes of the flowchart, from [EVENT] of VIREN.ini, and the
// settings its marks depend on.
struct CanvasStyle {
  QColor boxColor{0xFF, 0xF9, 0xBD};     // EVENT_COLOR
  QColor linkColor{0x00, 0x00, 0xFF};    // LINK_COLOR
  int linkWidth = 1;                     // LINK_WIDTH
  QColor selectColor{0x00, 0xFF, 0x00};  // SELECT_COLOR
  int selectWidth = 2;                   // SELECT_WIDTH
  bool roboQ = false;                    // car commands show speed steps
  int courseWidth = 320;                 // course range, for "leave the course"
  int courseHeight = 240;
};
// An unreadable colour keeps its default.
CanvasStyle ReadCanvasStyle(const Settings& settings, bool roboQ);

// The main value of a command as written under its box: a timer's seconds,
// a car's distance, a handle's angle, a sound's number, a repeat's count, a
// ball avoidance's distance. Empty when the command has none to show.
std::string CommandValueLabel(const EventRecord& record);

// The flowchart as last laid out: 640 x 480, or larger when the program
// needs it (CanvasSizeFor). It keeps the records, not a picture, so a large
// program costs no memory and a paint only the part that is shown. Not
// thread safe: the editor guards it.
class ProgramCanvas {
 public:
  ProgramCanvas();

  void SetStyle(const CanvasStyle& style) { style_ = style; }
  const CanvasStyle& style() const { return style_; }

  // Takes the records to draw from now on. After every change.
  void Redraw(const EventRecord* records, int count);
  // White, then the connection lines, the boxes with their pictures, the
  // state glyphs and the red marks of the position commands, on any paint
  // device (the view, an exported picture); the caller fills the background.
  void DrawFlowchart(QPainter& p, const EventRecord* records, int count) const;
  // The part of the canvas inside `area` (clipped to the canvas), as a
  // picture of that part's size, with what `marks` draws over the flowchart
  // (in canvas coordinates).
  QImage DrawArea(const Rect& area, const std::function<void(QPainter&)>& marks = {}) const;

  // The whole canvas drawn (an exported picture, the tests).
  QImage image() const { return DrawArea({0, 0, size_.width, size_.height}); }
  // The canvas with the selection frame around `selected` (null: none).
  QImage Compose(const EventRecord* selected) const {
    return DrawArea({0, 0, size_.width, size_.height}, [&](QPainter& p) {
      if (selected != nullptr) DrawSelectionFrame(p, *selected);
    });
  }
  // One more selection frame, around `record`'s box.
  void DrawSelectionFrame(QPainter& p, const EventRecord& record) const;

  CanvasSize size() const { return size_; }

 private:
  // The command's value (CommandValueLabel) in a line under its box.
  void DrawValue(QPainter& p, const EventRecord& r) const;
  void DrawGlyphs(QPainter& p, const EventRecord& r) const;

  CanvasStyle style_;
  ProgramRecords records_{};
  int count_ = 0;
  CanvasSize size_;
  QImage icons_;
  QImage glyphs_;
};

}  // namespace viren
