#include "editor/ProgramViewport.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace viren {
namespace {

// The zoom steps of the keys and the wheel.
constexpr double kSteps[] = {0.25, 0.33, 0.5, 0.67, 0.8, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0};

int Scaled(int length, double zoom) {
  return static_cast<int>(std::lround(length * zoom));
}

}  // namespace

void ProgramViewport::SetContent(int width, int height) {
  contentWidth_ = std::max(1, width);
  contentHeight_ = std::max(1, height);
  Clamp();
}

void ProgramViewport::SetView(int width, int height) {
  viewWidth_ = std::max(1, width);
  viewHeight_ = std::max(1, height);
  Clamp();
}

int ProgramViewport::scaledWidth() const {
  return Scaled(contentWidth_, zoom_);
}
int ProgramViewport::scaledHeight() const {
  return Scaled(contentHeight_, zoom_);
}
int ProgramViewport::maxScrollX() const {
  return std::max(0, scaledWidth() - viewWidth_);
}
int ProgramViewport::maxScrollY() const {
  return std::max(0, scaledHeight() - viewHeight_);
}

void ProgramViewport::ScrollTo(int x, int y) {
  scrollX_ = x;
  scrollY_ = y;
  Clamp();
}

void ProgramViewport::Clamp() {
  scrollX_ = std::clamp(scrollX_, 0, maxScrollX());
  scrollY_ = std::clamp(scrollY_, 0, maxScrollY());
}

void ProgramViewport::SetZoom(double zoom, Point anchor) {
  zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
  // The canvas point under the anchor, before and after.
  const double cx = (anchor.x + scrollX_) / zoom_;
  const double cy = (anchor.y + scrollY_) / zoom_;
  zoom_ = zoom;
  ScrollTo(static_cast<int>(std::lround(cx * zoom_)) - anchor.x,
           static_cast<int>(std::lround(cy * zoom_)) - anchor.y);
}

void ProgramViewport::ZoomStep(int steps, Point anchor) {
  // The step nearest the current zoom, then `steps` further.
  const auto nearest = std::min_element(
      std::begin(kSteps), std::end(kSteps),
      [&](double a, double b) { return std::abs(a - zoom_) < std::abs(b - zoom_); });
  long at = std::distance(std::begin(kSteps), nearest) + steps;
  at = std::clamp<long>(at, 0, static_cast<long>(std::size(kSteps)) - 1);
  SetZoom(kSteps[at], anchor);
}

void ProgramViewport::Fit() {
  const double fit = std::min({1.0, static_cast<double>(viewWidth_) / contentWidth_,
                               static_cast<double>(viewHeight_) / contentHeight_});
  zoom_ = std::clamp(fit, kMinZoom, kMaxZoom);
  ScrollTo(0, 0);
}

Point ProgramViewport::ToCanvas(Point widget) const {
  return {static_cast<int>(std::floor((widget.x + scrollX_) / zoom_)),
          static_cast<int>(std::floor((widget.y + scrollY_) / zoom_))};
}

Point ProgramViewport::ToWidget(Point canvas) const {
  return {Scaled(canvas.x, zoom_) - scrollX_, Scaled(canvas.y, zoom_) - scrollY_};
}

void ProgramViewport::EnsureVisible(Rect canvas, int margin) {
  const int left = Scaled(canvas.left - margin, zoom_);
  const int top = Scaled(canvas.top - margin, zoom_);
  const int right = Scaled(canvas.right + margin, zoom_);
  const int bottom = Scaled(canvas.bottom + margin, zoom_);
  int x = scrollX_;
  int y = scrollY_;
  // The far edge first, so that the near edge wins when both do not fit.
  if (right > x + viewWidth_) x = right - viewWidth_;
  if (left < x) x = left;
  if (bottom > y + viewHeight_) y = bottom - viewHeight_;
  if (top < y) y = top;
  ScrollTo(x, y);
}

}  // namespace viren
