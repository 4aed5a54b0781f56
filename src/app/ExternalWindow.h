#pragma once

#include <cstdint>
#include <memory>

#include "core/UiHost.h"

class QImage;
struct xcb_connection_t;

namespace viren {

// A window of another program that the camera picture is drawn into
// (COMMAND_EXTERNAL_WINDOW). Only an X11 display lets one program draw into
// another's window; elsewhere (Wayland, no display) Open refuses.
//
// The window keeps its own connection to the X server, so Open may run on
// any thread; Draw then runs on one thread at a time (the window thread).
class ExternalWindow {
 public:
  ~ExternalWindow();
  ExternalWindow(const ExternalWindow&) = delete;
  ExternalWindow& operator=(const ExternalWindow&) = delete;

  // The window `windowId` of this display, or null with the reason in
  // `result` (NotSupported, NoSuchWindow).
  static std::unique_ptr<ExternalWindow> Open(std::uint32_t windowId, ExternalWindowResult& result);

  // Draws `picture` scaled to the window's current size. False when the
  // window no longer exists (its owner destroyed it).
  bool Draw(const QImage& picture);

  std::uint32_t id() const { return window_; }

 private:
  ExternalWindow(xcb_connection_t* connection, std::uint32_t window, std::uint32_t gc);

  xcb_connection_t* connection_;
  std::uint32_t window_;
  std::uint32_t gc_;
};

}  // namespace viren
