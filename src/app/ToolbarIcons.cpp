#include "app/ToolbarIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "commands/CommandTable.h"
#include "core/CommandIds.h"

namespace viren {

QIcon ToolbarIcon(int id) {
  QPixmap pixmap(16, 15);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, false);
  const QPen ink(QColor(32, 32, 32));
  p.setPen(ink);
  switch (id) {
    case ID_CHECK_PROGRAM:  // a box with a check mark
      p.setBrush(QColor(255, 249, 189));
      p.drawRect(1, 1, 12, 12);
      p.setPen(QPen(QColor(0, 150, 0), 2));
      p.drawLine(3, 7, 6, 10);
      p.drawLine(6, 10, 12, 3);
      break;
    case ID_FILE_NEW:  // a blank sheet with a folded corner
      p.setBrush(Qt::white);
      p.drawPolygon(QPolygon({{3, 1}, {10, 1}, {13, 4}, {13, 14}, {3, 14}}));
      p.drawLine(10, 1, 10, 4);
      p.drawLine(10, 4, 13, 4);
      break;
    case ID_FILE_OPEN:  // an open folder
      p.setBrush(QColor(240, 200, 80));
      p.drawRect(1, 4, 12, 9);
      p.drawRect(1, 2, 5, 2);
      break;
    case ID_FILE_SAVE:  // a floppy disk
      p.setBrush(QColor(60, 90, 160));
      p.drawRect(1, 1, 13, 13);
      p.setBrush(Qt::white);
      p.drawRect(4, 2, 7, 4);
      break;
    case ID_VIEW_LIVE:  // a video camera
      p.setBrush(QColor(90, 90, 90));
      p.drawRect(1, 4, 9, 7);
      p.drawPolygon(QPolygon({{10, 7}, {14, 4}, {14, 11}}));
      break;
    case ID_VIEW_LAYOUT:  // the course with its range
      p.setBrush(QColor(120, 190, 120));
      p.drawRect(1, 1, 13, 12);
      p.setBrush(Qt::NoBrush);
      p.drawRoundedRect(4, 4, 7, 6, 2, 2);
      break;
    case ID_VIEW_PROGRAM:  // three linked boxes
      p.setBrush(QColor(255, 249, 189));
      p.drawRect(4, 0, 7, 3);
      p.drawRect(4, 6, 7, 3);
      p.drawRect(4, 11, 7, 3);
      p.drawLine(7, 3, 7, 6);
      p.drawLine(7, 9, 7, 11);
      break;
    case ID_OVERLAY_CENTROID:  // the centroid cross
      p.setPen(QPen(Qt::red, 2));
      p.drawLine(2, 7, 13, 7);
      p.drawLine(8, 2, 8, 13);
      break;
    case ID_OVERLAY_DIRECTION:  // the direction arrow
      p.setPen(QPen(Qt::red, 2));
      p.drawLine(2, 12, 13, 3);
      p.drawLine(13, 3, 8, 3);
      p.drawLine(13, 3, 13, 8);
      break;
    case ID_OVERLAY_CAR_FIGURE:  // a small car from above
      p.setBrush(QColor(128, 128, 128));
      p.drawRoundedRect(1, 4, 14, 7, 2, 2);
      p.setBrush(Qt::black);
      p.drawRect(3, 2, 3, 2);
      p.drawRect(10, 2, 3, 2);
      p.drawRect(3, 11, 3, 2);
      p.drawRect(10, 11, 3, 2);
      break;
    case ID_FOLLOW_TARGET:  // the cheese
      p.setBrush(QColor(250, 210, 60));
      p.drawPolygon(QPolygon({{1, 12}, {14, 12}, {14, 5}}));
      break;
    case ID_FOLLOW_BALL:  // a ball
      p.setRenderHint(QPainter::Antialiasing, true);
      p.setBrush(QColor(230, 80, 40));
      p.drawEllipse(2, 1, 12, 12);
      break;
    case ID_UNDO: {  // a curved arrow back
      p.setRenderHint(QPainter::Antialiasing, true);
      QPainterPath path;
      path.moveTo(13, 12);
      path.cubicTo(13, 2, 5, 2, 4, 6);
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(QColor(30, 60, 140), 2));
      p.drawPath(path);
      p.drawLine(4, 6, 1, 3);
      p.drawLine(4, 6, 7, 4);
      break;
    }
    default:
      break;
  }
  return QIcon(pixmap);
}

}  // namespace viren
