#include "layout/CourseLayout.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/EngineState.h"
#include "core/UiHost.h"
#include "layout/CourseRange.h"
#include "layout/ImageConvert.h"

namespace viren {

namespace {

constexpr const char* kLayoutFolder = "sample/layout";
constexpr const char* kCarFolder = "sample/car";

bool ValidRange(int width, int height) {
  return width >= 1 && width <= kLayoutWidth && height >= 1 && height <= kLayoutHeight;
}

}  // namespace

CourseLayout::CourseLayout(Settings& settings, UiHost& ui, const EngineState& state)
    : settings_(settings), ui_(ui), state_(state), shapeReader_(ReadCarShapeFile) {}

void CourseLayout::SetShapeReader(ShapeFileReader reader) {
  std::lock_guard lock(mutex_);
  shapeReader_ = std::move(reader);
}

void CourseLayout::Show(int messageId) {
  if (messageId != 0) ShowMessage(ui_, messageId, MsgIcon::Stop);
}

bool CourseLayout::Initialise() {
  int layoutMessage = 0;
  int carMessage = 0;
  {
    std::lock_guard lock(mutex_);
    penWidth_ = settings_.ReadInt(keys::LAYOUT_PEN_WIDTH);
    carColor_ = settings_.ReadColor(keys::CAR_COLOR);
    carType_ = settings_.ReadInt(keys::CAR_TYPE);
    layoutType_ = settings_.ReadInt(keys::LAYOUT_TYPE);
    layoutColor_ = settings_.ReadColor(keys::LAYOUT_COLOR);

    layout_ = QImage(kLayoutWidth, kLayoutHeight, QImage::Format_RGB32);
    if (layout_.isNull()) return false;
    // A photograph layout without a file keeps this picture.
    layout_.fill(RgbOf(layoutColor_));
    if (layoutType_ == LAYOUT_PHOTO) {
      layoutMessage = LoadLayoutPhoto();
    } else {
      FillGraphicLayout();
    }
    if (layout_.isNull()) return false;

    // The dialog keeps the range within 1..640 x 1..480; a hand-edited
    // option.ini is held to the same bounds.
    borderWidth_ = std::clamp(settings_.ReadInt(keys::BORDER_WIDTH), 1, kLayoutWidth);
    borderHeight_ = std::clamp(settings_.ReadInt(keys::BORDER_HEIGHT), 1, kLayoutHeight);
    ToggleRangeOutline();

    carMessage = LoadCarPhoto();
    if (!carPhoto_.Loaded()) carType_ = CAR_GRAPHIC;
    LoadCarShapeLocked();
    initialised_ = true;
  }
  Show(layoutMessage);
  Show(carMessage);
  return true;
}

void CourseLayout::Release() {
  std::lock_guard lock(mutex_);
  initialised_ = false;
  layout_ = QImage();
  carPhoto_.Release();
  carShape_ = CarShape{};
}

int CourseLayout::LoadLayoutPhoto(bool* changed) {
  if (changed != nullptr) *changed = false;
  const std::string name = settings_.ReadString(keys::LAYOUT_FILE);
  if (name.empty()) return 0;
  const std::string path = settings_.ResolveDataPath(kLayoutFolder, name);
  // A first start shows the sample course; where it is not installed, the
  // plain layout, without a word.
  std::error_code ec;
  if (name == keys::LAYOUT_FILE.defaultText && !std::filesystem::exists(path, ec)) return 0;
  if (changed != nullptr) *changed = true;
  Bitmap24 photo;
  const BitmapStatus status = LoadPicture24(path, photo);
  if (status == BitmapStatus::Ok && photo.width == kLayoutWidth && photo.height == kLayoutHeight) {
    CopyBitmapToImage(photo, layout_);
    return 0;
  }
  // A picture that was read but has another size is told apart from one that
  // could not be read at all.
  const int message = status == BitmapStatus::Ok ? MSG_LAYOUT_WRONG_SIZE : MSG_LAYOUT_OPEN_FAILED;
  layoutType_ = LAYOUT_GRAPHIC;
  FillGraphicLayout();
  return message;
}

void CourseLayout::FillGraphicLayout() {
  if (layout_.isNull()) layout_ = QImage(kLayoutWidth, kLayoutHeight, QImage::Format_RGB32);
  if (!layout_.isNull()) layout_.fill(RgbOf(layoutColor_));
}

void CourseLayout::ToggleRangeOutline() {
  InvertCourseRangeOutline(layout_, borderWidth_, borderHeight_, penWidth_);
}

int CourseLayout::LoadCarPhoto() {
  carPhoto_.Release();
  const std::string name = settings_.ReadString(keys::CAR_FILE);
  if (name.empty()) return 0;
  if (!carPhoto_.Load(settings_.ResolveDataPath(kCarFolder, name))) return MSG_CAR_PICTURE_MISSING;
  return 0;
}

void CourseLayout::LoadCarShapeLocked() {
  const char* file = state_.controlRoboQ.load() ? "roboq.wmf" : "car.wmf";
  carShape_ = LoadCarShape(shapeReader_, settings_.ResolveDataPath(kCarFolder, file),
                           settings_.ReadPair(keys::CAR_SIZE));
}

void CourseLayout::SetCarType(int type) {
  {
    std::lock_guard lock(mutex_);
    carType_ = type == CAR_PHOTO ? CAR_PHOTO : CAR_GRAPHIC;
  }
  settings_.WriteString(keys::CAR_TYPE, type == CAR_PHOTO ? "0" : "1");
}

void CourseLayout::SetLayoutType(int type) {
  const int wanted = type == LAYOUT_PHOTO ? LAYOUT_PHOTO : LAYOUT_GRAPHIC;
  settings_.WriteString(keys::LAYOUT_TYPE, wanted == LAYOUT_PHOTO ? "0" : "1");
  Show(ApplyLayoutType(wanted));
}

int CourseLayout::ApplyLayoutType(int type) {
  std::lock_guard lock(mutex_);
  layoutType_ = type;
  bool changed = true;
  int message = 0;
  if (type == LAYOUT_GRAPHIC) {
    FillGraphicLayout();
  } else {
    message = LoadLayoutPhoto(&changed);
  }
  // Without a file the picture stays as it was, outline included; drawing
  // the outline again would erase it.
  if (changed) ToggleRangeOutline();
  return message;
}

void CourseLayout::ChooseLayoutFile(const std::string& path) {
  // The layout type becomes 0 in memory; LAYOUT_TYPE keeps its value.
  settings_.WriteString(keys::LAYOUT_FILE, path);
  Show(ApplyLayoutType(LAYOUT_PHOTO));
}

void CourseLayout::ChooseCarFile(const std::string& path) {
  settings_.WriteString(keys::CAR_FILE, path);
  int message = 0;
  {
    std::lock_guard lock(mutex_);
    message = LoadCarPhoto();
  }
  Show(message);
}

void CourseLayout::SetLayoutColor(ColorRef color) {
  settings_.WriteColor(keys::LAYOUT_COLOR, color);
  std::lock_guard lock(mutex_);
  layoutColor_ = color;
  FillGraphicLayout();
  ToggleRangeOutline();
}

void CourseLayout::SetCarColor(ColorRef color) {
  {
    std::lock_guard lock(mutex_);
    carColor_ = color;
  }
  settings_.WriteColor(keys::CAR_COLOR, color);
}

void CourseLayout::ReloadCarShape() {
  std::lock_guard lock(mutex_);
  LoadCarShapeLocked();
}

void CourseLayout::BeginCourseRangeEdit() {
  std::lock_guard lock(mutex_);
  editStartWidth_ = borderWidth_;
  editStartHeight_ = borderHeight_;
}

void CourseLayout::PreviewCourseRange(int width, int height) {
  std::lock_guard lock(mutex_);
  if (!ValidRange(width, height) || (width == borderWidth_ && height == borderHeight_)) return;
  ToggleRangeOutline();
  borderWidth_ = width;
  borderHeight_ = height;
  ToggleRangeOutline();
}

void CourseLayout::EndCourseRangeEdit(bool accepted) {
  int width = 0;
  int height = 0;
  {
    std::lock_guard lock(mutex_);
    if (!accepted) {
      if (borderWidth_ != editStartWidth_ || borderHeight_ != editStartHeight_) {
        ToggleRangeOutline();
        borderWidth_ = editStartWidth_;
        borderHeight_ = editStartHeight_;
        ToggleRangeOutline();
      }
      return;
    }
    width = borderWidth_;
    height = borderHeight_;
  }
  settings_.WriteInt(keys::BORDER_WIDTH, width);
  settings_.WriteInt(keys::BORDER_HEIGHT, height);
}

std::string CourseLayout::LayoutFileDialogPath() const {
  const std::string name = settings_.ReadString(keys::LAYOUT_FILE);
  return name.empty() ? settings_.ResolveDataPath(kLayoutFolder, "")
                      : settings_.ResolveDataPath(kLayoutFolder, name);
}

std::string CourseLayout::CarFileDialogPath() const {
  const std::string name = settings_.ReadString(keys::CAR_FILE);
  return name.empty() ? settings_.ResolveDataPath(kCarFolder, "")
                      : settings_.ResolveDataPath(kCarFolder, name);
}

int CourseLayout::layoutType() const {
  std::lock_guard lock(mutex_);
  return layoutType_;
}
int CourseLayout::carType() const {
  std::lock_guard lock(mutex_);
  return carType_;
}
bool CourseLayout::carPhotoLoaded() const {
  std::lock_guard lock(mutex_);
  return carPhoto_.Loaded();
}
ColorRef CourseLayout::layoutColor() const {
  std::lock_guard lock(mutex_);
  return layoutColor_;
}
ColorRef CourseLayout::carColor() const {
  std::lock_guard lock(mutex_);
  return carColor_;
}
int CourseLayout::borderWidth() const {
  std::lock_guard lock(mutex_);
  return borderWidth_;
}
int CourseLayout::borderHeight() const {
  std::lock_guard lock(mutex_);
  return borderHeight_;
}
Rect CourseLayout::courseRange() const {
  std::lock_guard lock(mutex_);
  return CourseRangeRect(borderWidth_, borderHeight_);
}
bool CourseLayout::initialised() const {
  std::lock_guard lock(mutex_);
  return initialised_;
}

bool CourseLayout::CopyLayoutInto(QImage& work) const {
  std::lock_guard lock(mutex_);
  if (layout_.isNull()) return false;
  if (work.size() != layout_.size() || work.format() != QImage::Format_RGB32) {
    work = QImage(layout_.size(), QImage::Format_RGB32);
    if (work.isNull()) return false;
  }
  // Row by row: the two pictures may differ in padding, and copying bits
  // keeps `work` its own buffer (no sharing with the layout picture).
  const auto bytes = static_cast<std::size_t>(layout_.width()) * 4;
  for (int y = 0; y < layout_.height(); ++y) {
    std::memcpy(work.scanLine(y), layout_.constScanLine(y), bytes);
  }
  return true;
}

void CourseLayout::DrawCarFigure(QImage& target, Point position, double heading) {
  std::lock_guard lock(mutex_);
  if (carType_ == CAR_PHOTO) {
    carPhoto_.Draw(target, position, heading);
  } else {
    DrawGraphicCar(target, carShape_, position, heading, RgbOf(carColor_));
  }
}

QImage CourseLayout::LayoutPicture() const {
  std::lock_guard lock(mutex_);
  return layout_.copy();
}

}  // namespace viren
