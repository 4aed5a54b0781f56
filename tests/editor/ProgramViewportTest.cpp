// The program view's zoom and scrolling: what the mouse hits and what comes
// into view must agree with what is drawn.
#include <gtest/gtest.h>

#include "editor/ProgramViewport.h"

namespace viren {
namespace {

TEST(ProgramViewport, mapsBothWaysAndKeepsTheScrollInsideTheCanvas) {
  ProgramViewport v;
  v.SetView(600, 400);
  v.SetContent(640, 1000);
  v.ScrollTo(5000, 5000);
  EXPECT_EQ(v.scrollX(), 40);
  EXPECT_EQ(v.scrollY(), 600);
  EXPECT_EQ(v.ToCanvas({0, 0}), (Point{40, 600}));
  v.SetZoom(2.0, {0, 0});
  for (const Point canvas : {Point{40, 600}, Point{300, 700}, Point{639, 999}}) {
    const Point widget = v.ToWidget(canvas);
    EXPECT_EQ(v.ToCanvas(widget), canvas);
    EXPECT_EQ(v.ToCanvas({widget.x + 1, widget.y + 1}), canvas) << "a pixel spans two at 2x";
  }
  // The canvas shrinks under the view (a program deleted): back inside.
  v.SetContent(640, 480);
  EXPECT_EQ(v.scrollY(), v.maxScrollY());
  EXPECT_EQ(v.maxScrollY(), 960 - 400);
}

TEST(ProgramViewport, zoomKeepsThePointUnderThePointerAndFitShowsTheWholeCanvas) {
  ProgramViewport v;
  v.SetView(640, 480);
  v.SetContent(640, 2000);
  v.ScrollTo(0, 700);
  const Point pointer{320, 240};
  const Point under = v.ToCanvas(pointer);
  v.ZoomStep(1, pointer);
  EXPECT_DOUBLE_EQ(v.zoom(), 1.25);
  EXPECT_NEAR(v.ToCanvas(pointer).y, under.y, 1);
  for (int i = 0; i < 20; ++i) v.ZoomStep(-1, pointer);
  EXPECT_DOUBLE_EQ(v.zoom(), ProgramViewport::kMinZoom);
  v.Fit();
  EXPECT_DOUBLE_EQ(v.zoom(), 0.25);  // 2000 x 0.25 = 500: the smallest step is the bound
  v.SetContent(640, 960);
  v.Fit();
  EXPECT_DOUBLE_EQ(v.zoom(), 0.5);
  EXPECT_EQ(v.maxScrollY(), 0);
  v.SetContent(320, 240);
  v.Fit();
  EXPECT_DOUBLE_EQ(v.zoom(), 1.0) << "a small program is not blown up";
}

TEST(ProgramViewport, ensureVisibleScrollsOnlyAsFarAsNeeded) {
  ProgramViewport v;
  v.SetView(640, 480);
  v.SetContent(640, 2000);
  v.EnsureVisible({16, 16, 56, 56}, 8);
  EXPECT_EQ(v.scrollY(), 0);
  v.EnsureVisible({16, 800, 56, 840}, 8);
  EXPECT_EQ(v.scrollY(), 848 - 480);  // the box's bottom edge and margin at the view's bottom
  v.EnsureVisible({16, 500, 56, 540}, 8);
  EXPECT_EQ(v.scrollY(), 848 - 480) << "already in view";
  v.EnsureVisible({16, 100, 56, 140}, 8);
  EXPECT_EQ(v.scrollY(), 92);
}

}  // namespace
}  // namespace viren
