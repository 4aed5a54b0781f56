#include "editor/ProgramCanvas.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cstdio>

#include "editor/EditorPictures.h"
#include "editor/ProgramLayout.h"
#include "settings/Settings.h"

namespace viren {
namespace {

// The line under a box that holds the command's value.
constexpr int kValueTextHeight = 12;

QColor ColourOf(const Settings& settings, const SettingKey& key, QColor fallback) {
  const ColorRef c = settings.ReadColor(key);
  if (c == kBadColor) return fallback;
  return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

// Pen widths below 2 draw one pixel wide, as thin pens do on screen.
QPen SolidPen(QColor colour, int width) {
  QPen pen(colour);
  pen.setWidth(width < 2 ? 0 : width);
  pen.setCapStyle(Qt::FlatCap);
  pen.setJoinStyle(Qt::MiterJoin);
  return pen;
}

QPolygon ToPolygon(const std::vector<Point>& points) {
  QPolygon polygon;
  for (const Point& p : points) polygon << QPoint(p.x, p.y);
  return polygon;
}

}  // namespace

CanvasStyle ReadCanvasStyle(const Settings& settings, bool roboQ) {
  CanvasStyle s;
  s.boxColor = ColourOf(settings, keys::EVENT_COLOR, s.boxColor);
  s.linkColor = ColourOf(settings, keys::LINK_COLOR, s.linkColor);
  s.linkWidth = std::max(0, settings.ReadInt(keys::LINK_WIDTH));
  s.selectColor = ColourOf(settings, keys::SELECT_COLOR, s.selectColor);
  s.selectWidth = std::max(0, settings.ReadInt(keys::SELECT_WIDTH));
  s.roboQ = roboQ;
  s.courseWidth = settings.ReadInt(keys::BORDER_WIDTH);
  s.courseHeight = settings.ReadInt(keys::BORDER_HEIGHT);
  return s;
}

std::string CommandValueLabel(const EventRecord& r) {
  char text[32] = "";
  switch (r.kind) {
    case EVENT_TIMER:
      std::snprintf(text, sizeof text, "%d.%d秒", r.value1, r.value2);
      break;
    case EVENT_CAR:
      // A car that stops or drives on without a distance has no value.
      if (r.option != 0 && r.value1 > 0) std::snprintf(text, sizeof text, "%d", r.value1);
      break;
    case EVENT_HANDLE:
      if (r.option != HANDLE_STRAIGHT && r.value1 > 0)
        std::snprintf(text, sizeof text, "%d°", r.value1);
      break;
    case EVENT_SOUND:
      if (r.option != SOUND_STOP) std::snprintf(text, sizeof text, "%d番", r.value1);
      break;
    case EVENT_REPEAT:
      std::snprintf(text, sizeof text, "%d回", r.value1);
      break;
    case EVENT_BALL:
      if (r.option == BALL_AVOID) std::snprintf(text, sizeof text, "%d", r.value1);
      break;
    default:
      break;
  }
  return text;
}

// The pictures are the same for every canvas: drawn once.
ProgramCanvas::ProgramCanvas() {
  static const QImage icons = DrawIconStrip();
  static const QImage glyphs = DrawGlyphStrip();
  icons_ = icons;
  glyphs_ = glyphs;
}

void ProgramCanvas::Redraw(const EventRecord* records, int count) {
  count_ = std::clamp(count, 0, kProgramSlots);
  std::copy_n(records, count_, records_.begin());
  size_ = CanvasSizeFor(records_.data(), count_);
}

QImage ProgramCanvas::DrawArea(const Rect& area,
                               const std::function<void(QPainter&)>& marks) const {
  const int left = std::clamp(area.left, 0, size_.width);
  const int top = std::clamp(area.top, 0, size_.height);
  const int right = std::clamp(area.right, left, size_.width);
  const int bottom = std::clamp(area.bottom, top, size_.height);
  // Drawn with a margin that holds any box reaching into the area whole: a
  // box cut by the picture's edge would be drawn a pixel differently.
  constexpr int kMargin = 2 * kCommandBoxSize;
  QImage picture(right - left + 2 * kMargin, bottom - top + 2 * kMargin, QImage::Format_RGB32);
  picture.fill(Qt::white);
  {
    QPainter p(&picture);
    p.translate(kMargin - left, kMargin - top);
    DrawFlowchart(p, records_.data(), count_);
    if (marks) marks(p);
  }
  return picture.copy(kMargin, kMargin, std::max(1, right - left), std::max(1, bottom - top));
}

void ProgramCanvas::DrawFlowchart(QPainter& p, const EventRecord* records, int count) const {
  count = std::clamp(count, 0, kProgramSlots);
  p.setRenderHint(QPainter::Antialiasing, false);

  p.setPen(SolidPen(style_.linkColor, style_.linkWidth));
  p.setBrush(Qt::NoBrush);
  for (const ConnectionLine& line : ConnectionRoutes(records, count))
    p.drawPolyline(ToPolygon(line.points));

  for (int i = 0; i < count; ++i) {
    const EventRecord& r = records[i];
    if (r.kind == EVENT_FREE) continue;
    p.setPen(QPen(Qt::black, 0));
    p.setBrush(style_.boxColor);
    p.drawRect(r.x, r.y, kCommandBoxSize - 1, kCommandBoxSize - 1);
    if (r.kind >= EVENT_START && r.kind <= EVENT_BALL)
      p.drawImage(r.x + 4, r.y + 4, icons_, (r.kind - EVENT_START) * kIconSize, 0, kIconSize,
                  kIconSize);
    DrawGlyphs(p, r);
    DrawValue(p, r);
    if (r.kind == EVENT_POSITION) {
      const PositionMark mark = PositionMarkOf(r, style_.courseWidth, style_.courseHeight);
      p.setPen(QPen(Qt::red, 0));
      p.setBrush(Qt::NoBrush);
      if (!mark.outline.empty()) {
        p.drawPolyline(ToPolygon(mark.outline));
      } else {
        const Point c = mark.crossCentre;
        p.drawLine(c.x, c.y - 3, c.x, c.y + 3);
        p.drawLine(c.x - 3, c.y, c.x + 3, c.y);
      }
    }
  }
}

void ProgramCanvas::DrawGlyphs(QPainter& p, const EventRecord& r) const {
  auto glyph = [&](int g, int dx, int dy) {
    if (g < 0 || g >= kGlyphCount) return;
    p.drawImage(r.x + dx, r.y + dy, glyphs_, g * kGlyphSize, 0, kGlyphSize, kGlyphSize);
  };
  switch (r.kind) {
    case EVENT_CAR:
      if (style_.roboQ && r.option >= 1 && r.option <= 3) {
        // One, two or three arrows for low, middle and high speed.
        glyph(1, 16, 28);
        if (r.option >= 2) glyph(1, 24, 28);
        if (r.option == 3) glyph(1, 8, 28);
      } else if (r.option != 0 && r.value2 != 0) {
        glyph(r.option, 12, 28);  // turbo: a double arrow
        glyph(r.option, 20, 28);
      } else {
        glyph(r.option, 16, 28);
      }
      break;
    case EVENT_HANDLE:
      glyph(3 + r.option, 16, 4);
      break;
    case EVENT_SOUND:
      glyph(r.option != 0 ? 7 : 6, 16, 28);
      break;
    case EVENT_BALL:
      glyph(r.option, 16, 28);
      break;
    default:
      break;
  }
}

void ProgramCanvas::DrawValue(QPainter& p, const EventRecord& r) const {
  const std::string label = CommandValueLabel(r);
  // Text needs the fonts of a GUI application; the console runner has none.
  if (label.empty() || !qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
  // Under the box, centred on it; wider texts spill evenly to both sides.
  QFont font = p.font();
  font.setPixelSize(kValueTextHeight - 1);
  p.setFont(font);
  p.setPen(Qt::black);
  const QRect under(r.x - kCommandBoxSize / 2, r.y + kCommandBoxSize, 2 * kCommandBoxSize,
                    kValueTextHeight);
  p.drawText(under, Qt::AlignHCenter | Qt::AlignTop, QString::fromStdString(label));
}

void ProgramCanvas::DrawSelectionFrame(QPainter& p, const EventRecord& r) const {
  if (r.kind == EVENT_FREE) return;
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(SolidPen(style_.selectColor, style_.selectWidth));
  p.setBrush(Qt::NoBrush);
  p.drawRect(r.x, r.y, kCommandBoxSize, kCommandBoxSize);
}

}  // namespace viren
