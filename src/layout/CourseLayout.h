#pragma once

#include <mutex>
#include <string>

#include <QImage>

#include "core/Geometry.h"
#include "layout/CarPhoto.h"
#include "layout/CarShape.h"
#include "settings/Settings.h"

namespace viren {

class UiHost;
struct EngineState;

enum LayoutType : int { LAYOUT_PHOTO = 0, LAYOUT_GRAPHIC = 1 };
enum CarType : int { CAR_PHOTO = 0, CAR_GRAPHIC = 1 };

// The course layout: the 640 x 480 layout picture (a photograph of the course
// or a plain colour) with the course range outline in it, and the car figure
// drawn on it at the car's position and heading (the car's photograph turned
// pixel by pixel, or a filled shape).
//
// Threads: Initialise, Release and the menu operations run on the window
// thread; CopyLayoutInto and DrawCarFigure run on whichever thread composes
// the layout view (capture or simulation). One mutex serialises them, so a
// new photograph or colour never appears half-drawn in a frame.
class CourseLayout {
 public:
  CourseLayout(Settings& settings, UiHost& ui, const EngineState& state);

  // Where the car shape comes from (the metafile reader unless replaced);
  // without a reader the CAR_SIZE rectangle is used. Set before Initialise.
  void SetShapeReader(ShapeFileReader reader);

  // Start-up: pens and colours from the settings, the layout picture
  // (photograph, else colour), the course range outline, the car photograph
  // (car type 1 in memory when it cannot be loaded) and the car shape.
  // False only when the pictures cannot be created; the caller reports it.
  bool Initialise();
  // Shut-down: every picture and buffer is released.
  void Release();

  // ---- menu operations (window thread) ----
  // "車表示設定": car type 0 photograph / 1 graphic, written to CAR_TYPE.
  void SetCarType(int type);
  // "レイアウト設定": layout type, written to LAYOUT_TYPE; 1 refills with the
  // colour, 0 loads the photograph (falling back to 1 with MSG_LAYOUT_OPEN_FAILED or
  // MSG_LAYOUT_WRONG_SIZE).
  void SetLayoutType(int type);
  // After the file dialog's OK: LAYOUT_FILE := path, layout type 0, load.
  void ChooseLayoutFile(const std::string& path);
  // After the file dialog's OK: CAR_FILE := path and the photograph reloaded
  // (MSG_CAR_PICTURE_MISSING when it cannot be); the car type stays.
  void ChooseCarFile(const std::string& path);
  // After the colour dialog's OK.
  void SetLayoutColor(ColorRef color);
  void SetCarColor(ColorRef color);
  // The ROBO-Q mode changed: car.wmf or roboq.wmf.
  void ReloadCarShape();

  // The course range dialog: Begin remembers the values and makes the camera
  // views show the range; Preview moves the outline by erase-and-redraw
  // (values outside 1..640 and 1..480 are ignored); End writes the values on
  // OK, or puts the remembered ones back on cancel, and stops showing the
  // range on the camera views.
  void BeginCourseRangeEdit();
  void PreviewCourseRange(int width, int height);
  void EndCourseRangeEdit(bool accepted);

  // Where the file dialogs start: the current file resolved under
  // sample/layout or sample/car.
  std::string LayoutFileDialogPath() const;
  std::string CarFileDialogPath() const;

  // ---- state for menu checks and dialogs (any thread) ----
  int layoutType() const;
  int carType() const;
  bool carPhotoLoaded() const;
  ColorRef layoutColor() const;
  ColorRef carColor() const;
  int borderWidth() const;
  int borderHeight() const;
  Rect courseRange() const;
  bool initialised() const;

  // ---- drawing (the composing thread) ----
  // Copies the layout picture into `work`, which becomes 640 x 480 RGB32;
  // nothing is allocated when it already is. False before Initialise.
  bool CopyLayoutInto(QImage& work) const;
  // The car figure of the current car type at a layout point and heading;
  // with car type 0 and no photograph nothing is drawn.
  void DrawCarFigure(QImage& target, Point position, double heading);

  // A copy of the layout picture as it stands (tests, first paint).
  QImage LayoutPicture() const;

 private:
  // With the mutex held. Messages are returned (0: none) and shown after it
  // is released, so a composing thread never waits on an open message box.
  // `changed` tells whether the layout picture was replaced or refilled.
  int LoadLayoutPhoto(bool* changed = nullptr);
  void FillGraphicLayout();
  int ApplyLayoutType(int type);  // takes the mutex itself
  void ToggleRangeOutline();
  int LoadCarPhoto();
  void LoadCarShapeLocked();
  void Show(int messageId);

  Settings& settings_;
  UiHost& ui_;
  const EngineState& state_;
  ShapeFileReader shapeReader_;

  mutable std::mutex mutex_;
  bool initialised_ = false;
  QImage layout_;
  int layoutType_ = LAYOUT_PHOTO;
  ColorRef layoutColor_ = MakeColorRef(255, 255, 255);
  int borderWidth_ = 320;
  int borderHeight_ = 240;
  int penWidth_ = 1;
  int carType_ = CAR_PHOTO;
  ColorRef carColor_ = MakeColorRef(128, 128, 128);
  CarPhoto carPhoto_;
  CarShape carShape_;
  int editStartWidth_ = 0;
  int editStartHeight_ = 0;
};

}  // namespace viren
