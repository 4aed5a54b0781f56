// The menu commands that the engine carries out itself.
#include "core/CommandIds.h"
#include "core/UiHost.h"
#include "engine/CDriveSystem.h"

namespace viren {
namespace {

// Image <-> layout coordinates with integer division, as the frame analysis
// converts; with no frame size known yet the point stays as it is.
Point ConvertBetweenImageAndLayout(Point p, bool toImage, int frameWidth, int frameHeight) {
  if (frameWidth <= 0 || frameHeight <= 0) return p;
  if (toImage) return {p.x * frameWidth / kLayoutWidth, p.y * frameHeight / kLayoutHeight};
  return {p.x * kLayoutWidth / frameWidth, p.y * kLayoutHeight / frameHeight};
}

}  // namespace

CommandContext CDriveSystem::CommandContextNow() const {
  CommandContext c;
  c.viewMode = state_.viewMode;
  c.overlayMode = state_.overlayMode;
  c.cameraIndex = state_.cameraIndex;
  c.autoDriving = state_.autoDriving;
  c.simulating = state_.simulating;
  c.targetFollowing = state_.targetFollowing;
  c.ballMode = state_.ballMode;
  c.deviceConnected = state_.deviceConnected;
  return c;
}

void CDriveSystem::SetViewMode(int mode) {
  const int current = state_.viewMode;
  if (mode == VIEW_PROGRAM && current != VIEW_PROGRAM) ui_.ShowCommandToolbar(true);
  if (current == VIEW_PROGRAM && mode != VIEW_PROGRAM) ui_.ShowCommandToolbar(false);

  const bool liveToLayout = current == VIEW_LIVE && mode == VIEW_LAYOUT;
  const bool layoutToLive = current == VIEW_LAYOUT && mode == VIEW_LIVE;
  if ((liveToLayout || layoutToLive) && !state_.autoDriving) {
    const Point cheese = carState_.cheesePosition;
    if (cheese.x != -1)
      carState_.cheesePosition =
          ConvertBetweenImageAndLayout(cheese, layoutToLive, state_.frameWidth, state_.frameHeight);
  }
  state_.viewMode = mode;
}

bool CDriveSystem::OnCommand(int id) {
  switch (id) {
    case ID_VIEW_LIVE:
      SetViewMode(VIEW_LIVE);
      return true;
    case ID_VIEW_DIFFERENCE:
      SetViewMode(VIEW_DIFFERENCE);
      return true;
    case ID_VIEW_LAYOUT:
      SetViewMode(VIEW_LAYOUT);
      return true;
    case ID_VIEW_PROGRAM:
      SetViewMode(VIEW_PROGRAM);
      return true;
    case ID_OVERLAY_CENTROID:
      state_.overlayMode = OVERLAY_CENTROID;
      return true;
    case ID_OVERLAY_DIRECTION:
      state_.overlayMode = OVERLAY_DIRECTION;
      return true;
    case ID_OVERLAY_VECTOR:
      state_.overlayMode = OVERLAY_VECTOR;
      return true;
    case ID_OVERLAY_POLYGON:
      state_.overlayMode = OVERLAY_POLYGON;
      return true;
    case ID_OVERLAY_CAR_FIGURE:
      state_.overlayMode = OVERLAY_CAR_FIGURE;
      return true;
    default:
      return false;
  }
}

}  // namespace viren
