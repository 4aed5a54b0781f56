#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <string>

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

// The off-screen picture of the flowchart: 640 x 480, or larger when the
// program needs it (CanvasSizeFor). Not thread safe: the
// editor guards it.
class ProgramCanvas {
 public:
  ProgramCanvas();

  void SetStyle(const CanvasStyle& style) { style_ = style; }
  const CanvasStyle& style() const { return style_; }

  // White, then the connection lines, the boxes with their pictures, the
  // state glyphs and the red marks of the position commands.
  void Redraw(const EventRecord* records, int count);
  // The same drawing on any paint device (an exported picture); the caller
  // fills the background.
  void DrawFlowchart(QPainter& p, const EventRecord* records, int count) const;

  // The canvas with the selection frame around `selected` (null: none).
  QImage Compose(const EventRecord* selected) const;
  // One more selection frame, around `record`'s box.
  void DrawSelectionFrame(QImage& picture, const EventRecord& record) const;

  const QImage& image() const { return image_; }
  const QImage& iconStrip() const { return icons_; }
  const QImage& glyphStrip() const { return glyphs_; }

 private:
  // The command's value (CommandValueLabel) in a line under its box.
  void DrawValue(QPainter& p, const EventRecord& r) const;
  void DrawGlyphs(QPainter& p, const EventRecord& r) const;

  CanvasStyle style_;
  QImage image_;
  QImage icons_;
  QImage glyphs_;
};

}  // namespace viren
