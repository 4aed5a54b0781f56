#pragma once

#include "core/Geometry.h"

namespace viren {

// The part of the flowchart the program view shows: a zoom and a scroll
// offset over a canvas that may be larger than the view. Plain arithmetic;
// the view keeps one and maps its mouse through it.
//
// Widget pixels are the view's; canvas pixels are the records' x and y.
class ProgramViewport {
 public:
  static constexpr double kMinZoom = 0.25;
  static constexpr double kMaxZoom = 4.0;

  // The canvas grew or shrank, or the view did: the offset stays inside.
  void SetContent(int width, int height);
  void SetView(int width, int height);

  int contentWidth() const { return contentWidth_; }
  int contentHeight() const { return contentHeight_; }
  double zoom() const { return zoom_; }
  int scrollX() const { return scrollX_; }
  int scrollY() const { return scrollY_; }
  // The canvas at the current zoom, in widget pixels.
  int scaledWidth() const;
  int scaledHeight() const;
  int maxScrollX() const;
  int maxScrollY() const;
  int viewWidth() const { return viewWidth_; }
  int viewHeight() const { return viewHeight_; }

  void ScrollTo(int x, int y);
  void ScrollBy(int dx, int dy) { ScrollTo(scrollX_ + dx, scrollY_ + dy); }

  // The next zoom step in or out (steps > 0: larger), keeping the canvas
  // point under `anchor` (widget pixels) where it is.
  void ZoomStep(int steps, Point anchor);
  // The zoom at which the whole canvas fits the view, never above 1.
  void Fit();
  void SetZoom(double zoom, Point anchor);

  Point ToCanvas(Point widget) const;
  Point ToWidget(Point canvas) const;
  // Scrolls as little as needed so that the canvas rectangle, with `margin`
  // canvas pixels around it, is in view.
  void EnsureVisible(Rect canvas, int margin);

 private:
  void Clamp();

  int contentWidth_ = 640;
  int contentHeight_ = 480;
  int viewWidth_ = 640;
  int viewHeight_ = 480;
  double zoom_ = 1.0;
  int scrollX_ = 0;
  int scrollY_ = 0;
};

}  // namespace viren
