#include "app/ExternalWindow.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cstdlib>

namespace viren {

namespace {

// The PutImage request's own bytes before its pixels.
constexpr std::uint32_t kPutImageHeader = 24;

// A Format_RGB32 pixel in memory on this (little-endian) machine is blue,
// green, red, unused: exactly a 32-bit pixel of a 24- or 32-deep true-colour
// window on a server that sends its images least significant byte first.
bool TakesRgb32(const xcb_setup_t* setup, std::uint8_t depth) {
  if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) return false;
  if (depth != 24 && depth != 32) return false;
  const xcb_format_t* format = xcb_setup_pixmap_formats(setup);
  const int count = xcb_setup_pixmap_formats_length(setup);
  for (int i = 0; i < count; ++i)
    if (format[i].depth == depth) return format[i].bits_per_pixel == 32;
  return false;
}

struct Geometry {
  bool exists = false;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint8_t depth = 0;
};

Geometry GeometryOf(xcb_connection_t* connection, std::uint32_t window) {
  xcb_generic_error_t* error = nullptr;
  xcb_get_geometry_reply_t* reply =
      xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), &error);
  std::free(error);
  if (!reply) return {};
  Geometry g{true, reply->width, reply->height, reply->depth};
  std::free(reply);
  return g;
}

}  // namespace

ExternalWindow::ExternalWindow(xcb_connection_t* connection, std::uint32_t window, std::uint32_t gc)
    : connection_(connection), window_(window), gc_(gc) {}

ExternalWindow::~ExternalWindow() {
  xcb_free_gc(connection_, gc_);
  xcb_disconnect(connection_);
}

std::unique_ptr<ExternalWindow> ExternalWindow::Open(std::uint32_t windowId,
                                                     ExternalWindowResult& result) {
  result = ExternalWindowResult::NotSupported;
  // Wayland and the offscreen platform give no program another's window.
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);
    return nullptr;
  }
  // A pixmap id answers the geometry request too; only a window has
  // attributes.
  xcb_generic_error_t* error = nullptr;
  xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
      connection, xcb_get_window_attributes(connection, windowId), &error);
  std::free(error);
  const Geometry geometry = GeometryOf(connection, windowId);
  const bool isWindow =
      attributes && geometry.exists && attributes->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT;
  std::free(attributes);
  if (!isWindow) {
    xcb_disconnect(connection);
    result = ExternalWindowResult::NoSuchWindow;
    return nullptr;
  }
  if (!TakesRgb32(xcb_get_setup(connection), geometry.depth)) {
    xcb_disconnect(connection);
    return nullptr;
  }
  const std::uint32_t gc = xcb_generate_id(connection);
  error =
      xcb_request_check(connection, xcb_create_gc_checked(connection, gc, windowId, 0, nullptr));
  if (error) {
    std::free(error);
    xcb_disconnect(connection);
    result = ExternalWindowResult::NoSuchWindow;
    return nullptr;
  }
  result = ExternalWindowResult::Attached;
  return std::unique_ptr<ExternalWindow>(new ExternalWindow(connection, windowId, gc));
}

bool ExternalWindow::Draw(const QImage& picture) {
  const Geometry geometry = GeometryOf(connection_, window_);
  if (!geometry.exists) return false;
  if (geometry.width == 0 || geometry.height == 0 || picture.isNull()) return true;
  const QImage scaled =
      picture
          .scaled(geometry.width, geometry.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
          .convertToFormat(QImage::Format_RGB32);
  const std::uint32_t rowBytes = geometry.width * 4u;
  // A large window goes in bands that each fit one request.
  const std::uint32_t maxBytes = xcb_get_maximum_request_length(connection_) * 4u;
  const int bandRows =
      static_cast<int>(std::max<std::uint32_t>(1, (maxBytes - kPutImageHeader) / rowBytes));
  for (int top = 0; top < geometry.height; top += bandRows) {
    const int rows = std::min(bandRows, geometry.height - top);
    const xcb_void_cookie_t cookie = xcb_put_image_checked(
        connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, gc_, geometry.width,
        static_cast<std::uint16_t>(rows), 0, static_cast<std::int16_t>(top), 0, geometry.depth,
        rowBytes * static_cast<std::uint32_t>(rows), scaled.constScanLine(top));
    if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
      std::free(error);
      return false;
    }
  }
  return true;
}

}  // namespace viren
