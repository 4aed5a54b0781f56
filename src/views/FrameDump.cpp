#include "views/FrameDump.h"

#include <cstdio>

#include <QImage>

#include "layout/ImageConvert.h"
#include "vision/Bitmap24.h"

namespace viren {

std::string DumpFilePath(const std::string& folder, int number) {
  std::string path = folder;
  for (char& c : path)
    if (c == '\\') c = '/';
  char name[32];
  std::snprintf(name, sizeof name, "%06d.bmp", number);
  if (!path.empty() && path.back() != '/') path += '/';
  return path + name;
}

bool WriteDumpFile(const std::string& path, const QImage& picture, int width, int height) {
  if (picture.isNull() || width <= 0 || height <= 0 || width > picture.width() ||
      height > picture.height()) {
    return false;
  }
  const QImage area = width == picture.width() && height == picture.height()
                          ? picture
                          : picture.copy(0, 0, width, height);
  return WriteBitmap24(path, ImageToBitmap(area));
}

}  // namespace viren
