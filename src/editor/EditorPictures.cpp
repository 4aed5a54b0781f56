#include "editor/EditorPictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

#include "program/EventRecord.h"

namespace viren {
namespace {

const QColor kInk(40, 40, 40);

void DrawStart(QPainter& p) {  // a green go-disc with a white play mark
  p.setPen(QPen(QColor(20, 110, 40), 1));
  p.setBrush(QColor(60, 180, 80));
  p.drawEllipse(QRectF(2.5, 2.5, 27, 27));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawPolygon(QPolygonF({QPointF(12, 9), QPointF(23, 16), QPointF(12, 23)}));
}

void DrawTimer(QPainter& p) {  // a stopwatch
  p.setPen(QPen(kInk, 1.5));
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(4.5, 5.5, 23, 23));
  p.setBrush(kInk);
  p.drawRect(QRectF(14, 1.5, 4, 3));
  p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(16, 17), QPointF(16, 9));
  p.drawLine(QPointF(16, 17), QPointF(22, 20));
}

void DrawCar(QPainter& p) {  // a small car from the side
  p.setPen(QPen(kInk, 1));
  p.setBrush(QColor(210, 50, 40));
  QPainterPath body;
  body.moveTo(3, 20);
  body.lineTo(3, 15);
  body.lineTo(9, 14);
  body.lineTo(12, 8);
  body.lineTo(22, 8);
  body.lineTo(26, 14);
  body.lineTo(29, 15);
  body.lineTo(29, 20);
  body.closeSubpath();
  p.drawPath(body);
  p.setBrush(QColor(200, 230, 250));
  p.drawRect(QRectF(13, 10, 4, 4));
  p.drawRect(QRectF(18, 10, 4, 4));
  p.setBrush(kInk);
  p.drawEllipse(QRectF(6, 17, 6, 6));
  p.drawEllipse(QRectF(20, 17, 6, 6));
}

void DrawHandle(QPainter& p) {  // a steering wheel
  p.setPen(QPen(kInk, 3));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRectF(4.5, 4.5, 23, 23));
  p.setPen(QPen(kInk, 2));
  p.drawLine(QPointF(6, 16), QPointF(26, 16));
  p.drawLine(QPointF(16, 16), QPointF(16, 26));
  p.setBrush(kInk);
  p.drawEllipse(QRectF(13, 13, 6, 6));
}

void DrawPosition(QPainter& p) {  // the camera image seen from above
  p.setPen(QPen(QColor(90, 90, 90), 1));
  p.setBrush(QColor(225, 235, 225));
  p.drawRect(QRect(0, 0, 31, 31));
  p.setPen(QPen(QColor(160, 175, 160), 1, Qt::DotLine));
  p.drawLine(0, 16, 31, 16);
  p.drawLine(16, 0, 16, 31);
}

void DrawRepeat(QPainter& p) {  // a loop arrow
  p.setPen(QPen(QColor(30, 90, 170), 3, Qt::SolidLine, Qt::FlatCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(5, 6, 22, 20), 60 * 16, 300 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(30, 90, 170));
  p.drawPolygon(QPolygonF({QPointF(18, 2), QPointF(26, 7), QPointF(18, 12)}));
}

void DrawSound(QPainter& p) {  // a loudspeaker with sound waves
  p.setPen(QPen(kInk, 1));
  p.setBrush(kInk);
  p.drawPolygon(QPolygon(
      {QPoint(3, 12), QPoint(8, 12), QPoint(15, 5), QPoint(15, 27), QPoint(8, 20), QPoint(3, 20)}));
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(kInk, 2));
  p.drawArc(QRectF(12, 10, 8, 12), -50 * 16, 100 * 16);
  p.drawArc(QRectF(12, 5, 15, 22), -50 * 16, 100 * 16);
}

void DrawEnd(QPainter& p) {  // a red stop sign
  p.setPen(QPen(QColor(120, 0, 0), 1));
  p.setBrush(QColor(210, 30, 30));
  p.drawPolygon(QPolygon({QPoint(10, 2), QPoint(22, 2), QPoint(29, 9), QPoint(29, 21),
                          QPoint(22, 28), QPoint(10, 28), QPoint(3, 21), QPoint(3, 9)}));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRect(QRect(8, 13, 17, 5));
}

void DrawBall(QPainter& p) {  // an orange ball
  p.setPen(QPen(QColor(150, 70, 0), 1));
  p.setBrush(QColor(250, 140, 30));
  p.drawEllipse(QRectF(5.5, 3.5, 21, 21));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 220, 170));
  p.drawEllipse(QRectF(10, 7, 5, 5));
}

// Arrow of an 8 x 8 glyph cell, pointing `dx`, `dy` (one of them zero).
void DrawArrow(QPainter& p, int cell, QColor colour, int dx, int dy) {
  p.save();
  p.translate(cell * kGlyphSize + 4, 4);
  p.rotate(dx < 0 ? 180 : dx > 0 ? 0 : dy < 0 ? -90 : 90);
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  // Pointing right: shaft from x -4 to 0, head from 0 to +4.
  p.drawPolygon(QPolygon({QPoint(-4, -1), QPoint(0, -1), QPoint(0, -4), QPoint(4, 0), QPoint(0, 4),
                          QPoint(0, 1), QPoint(-4, 1)}));
  p.restore();
}

}  // namespace

QImage DrawIconStrip() {
  QImage strip(kIconSize * kIconCount, kIconSize, QImage::Format_ARGB32_Premultiplied);
  strip.fill(Qt::transparent);
  QPainter p(&strip);
  p.setRenderHint(QPainter::Antialiasing, true);
  void (*const pictures[kIconCount])(QPainter&) = {DrawStart,  DrawTimer,    DrawCar,
                                                   DrawHandle, DrawPosition, DrawRepeat,
                                                   DrawSound,  DrawEnd,      DrawBall};
  for (int k = 0; k < kIconCount; ++k) {
    p.save();
    p.translate(k * kIconSize, 0);
    p.setClipRect(0, 0, kIconSize, kIconSize);
    pictures[k](p);
    p.restore();
  }
  return strip;
}

QImage DrawGlyphStrip() {
  QImage strip(kGlyphSize * kGlyphCount, kGlyphSize, QImage::Format_ARGB32_Premultiplied);
  strip.fill(Qt::transparent);
  QPainter p(&strip);
  p.setRenderHint(QPainter::Antialiasing, false);
  const QColor blue(0, 0, 255);
  const QColor red(255, 0, 0);
  p.fillRect(QRect(0 * kGlyphSize + 1, 1, 6, 6), blue);
  DrawArrow(p, 1, blue, -1, 0);
  DrawArrow(p, 2, blue, 1, 0);
  DrawArrow(p, 3, red, 0, -1);
  DrawArrow(p, 4, red, -1, 0);
  DrawArrow(p, 5, red, 1, 0);
  p.fillRect(QRect(6 * kGlyphSize + 1, 1, 6, 6), Qt::black);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawPolygon(QPolygon({QPoint(7 * kGlyphSize + 1, 0), QPoint(7 * kGlyphSize + 7, 4),
                          QPoint(7 * kGlyphSize + 1, 8)}));
  return strip;
}

QImage CommandPicture(const QImage& strip, int kind) {
  if (kind < EVENT_START || kind > EVENT_BALL) return {};
  return strip.copy((kind - 1) * kIconSize, 0, kIconSize, kIconSize);
}

}  // namespace viren
