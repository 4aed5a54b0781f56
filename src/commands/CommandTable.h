#pragma once

#include <span>
#include <string_view>

#include "core/CommandIds.h"
#include "core/EngineState.h"

namespace viren {

// What the update rules of the menus and toolbars look at, gathered from the
// engine in one go on the window thread.
struct CommandContext {
  int viewMode = 0;
  int overlayMode = 1;
  int cameraIndex = 0;  // -1: a video file is open or no camera exists
  int comPort = 0;
  bool autoDriving = false;
  bool simulating = false;
  bool targetFollowing = false;
  BallMode ballMode = BallMode::Off;
  bool ballLearning = false;
  bool patternLoaded = false;
  bool deviceConnected = false;
  int carType = 0;
  int layoutType = 0;
  bool carPhotoLoaded = false;
  int commandCount = 0;
  bool positionDefinition = false;  // a position definition is in progress
  bool undoAvailable = false;
  bool redoAvailable = false;
  bool toolbarVisible = true;
  bool statusBarVisible = true;
  int cameraCount = 0;      // video input devices in the camera menu
  bool trackShown = false;  // the run's trail on the layout view
  bool captureRunning = false;
  bool recordingFrames = false;  // the frame dump is on

  // The command selected in the program editor; index -1: none.
  struct Selection {
    int index = -1;
    bool isEnd = false;
    bool isRepeat = false;
    bool hasNext = false;
    bool nextIsEnd = false;
    bool hasPrevious = false;
    bool previousHasPrevious = false;
    bool hasLink = false;
    // Commands to copy: the selection, its chain when it heads one, or the
    // commands after the start command.
    bool hasStretch = false;
  } selection;
};

struct CommandUpdate {
  bool enabled = true;
  bool checked = false;
};

// The enabling and check rule of every menu, toolbar and accelerator command.
CommandUpdate EvaluateCommand(int id, const CommandContext& c);

// Whether the command's item carries a check mark at times.
bool IsCheckCommand(int id);

// The popups the window fills or watches itself.
enum MenuPopup : int { POPUP_CAMERA = 1, POPUP_COM_PORT = 2 };

// Menu structure of the main window, in menu order. A popup entry opens a
// popup (nested by depth); a separator has id 0 and no text.
struct MenuEntry {
  int depth;  // 0: a top-level popup, 1: an item or sub-popup in it, 2: an item in a sub-popup
  int id;     // the command; a popup's MenuPopup or 0; 0 for separators
  std::string_view text;
  bool popup = false;
};
std::span<const MenuEntry> MainMenu();

// Buttons of the main toolbar in order; 0 is a separator.
std::span<const int> MainToolbar();

// Items of the right-click view menu, in order.
std::span<const MenuEntry> ViewMenu();

// Command ids of the COM port items 1..9 (not contiguous).
int ComPortCommand(int port);
// The port of a COM item id, or -1.
int ComPortOfCommand(int id);

}  // namespace viren
