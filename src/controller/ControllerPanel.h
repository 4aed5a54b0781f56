#pragma once

#include <array>
#include <cstdint>

#include "core/Geometry.h"

namespace viren {

class DriveCommander;

// What a click on the controller asks of the rest of the program.
class ControllerActions {
 public:
  virtual ~ControllerActions() = default;
  virtual void PostExit() = 0;  // the application-exit command
  virtual int ProgramCommandCount() const = 0;
  virtual bool AutoDriving() const = 0;
  virtual void StartAutoDriving() = 0;
  virtual void StopAutoDriving() = 0;
  virtual void ShowAutoDrivingRefused() = 0;  // MSG_CONTROL_INIT_FAILED
};

enum class SkinType { Normal = 1, RoboQ = 2 };

// Cursor shown over the controller: none, over a button, or moving the window.
enum class ControllerCursor { None = 0, Button = 132, Move = 133 };

// The on-screen remote controller without its window: where the buttons are,
// which one the mouse is over, and what pressing and releasing them does.
// Window thread only.
class ControllerPanel {
 public:
  static constexpr int kMaxButtons = 8;
  static constexpr int kLeverStep = 24;

  ControllerPanel(DriveCommander& drive, ControllerActions& actions)
      : drive_(drive), actions_(actions) {}

  // `count` pictures were loaded; rects[k] is button k at its position with
  // its picture's size (rects[0] is the whole controller at (0, 0)).
  void SetSkin(SkinType type, const std::array<Rect, kMaxButtons>& rects, int count,
               bool turboEnabled, bool fourWheel);

  SkinType skinType() const { return type_; }
  int buttonCount() const { return count_; }
  const Rect& buttonRect(int k) const { return rects_[static_cast<size_t>(k)]; }
  // The speed lever of the ROBO-Q skin where the current speed level puts it.
  Rect LeverRect() const;

  // Mouse input in window coordinates. Down returns true when the window
  // should start moving (the background was grabbed).
  bool MouseDown(Point p);
  // While the lever is held, returns true when the lever moved (repaint it).
  bool MouseMove(Point p);
  void MouseUp(Point p);

  int hotButton() const { return hot_; }
  // The close button is held down: it shows its pressed picture until release.
  bool closeHeld() const { return closeHeld_; }
  ControllerCursor cursor() const { return cursor_; }
  bool leverHeld() const { return leverGrabLevel_ != 0; }

  // The button under the point, honouring the skip rules; -1 for none.
  int HitTest(Point p) const;

 private:
  static bool Contains(const Rect& r, Point p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
  }
  void Release(int k);

  DriveCommander& drive_;
  ControllerActions& actions_;
  SkinType type_ = SkinType::Normal;
  std::array<Rect, kMaxButtons> rects_{};
  int count_ = 0;
  bool turboEnabled_ = true;
  bool fourWheel_ = false;
  int hot_ = -1;
  bool closeHeld_ = false;
  ControllerCursor cursor_ = ControllerCursor::None;
  int leverGrabLevel_ = 0;  // speed level when the lever was grabbed, 0: not held
};

}  // namespace viren
