#pragma once

#include <span>
#include <string_view>

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
  int ballMode = 0;
  bool ballLearning = false;
  bool patternLoaded = false;
  bool deviceConnected = false;
  int carType = 0;
  int layoutType = 0;
  bool carPhotoLoaded = false;
  int commandCount = 0;
  bool positionDefinition = false;  // a position definition is in progress
  bool undoAvailable = false;
  bool toolbarVisible = true;
  bool statusBarVisible = true;
  int cameraCount = 0;  // video input devices in the camera menu

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

// Menu structure of the main window, in menu order. A popup entry opens a
// popup (nested by depth); a separator has id 0 and no text.
struct MenuEntry {
  int depth;  // 0: a top-level popup, 1: an item or sub-popup in it, 2: an item in a sub-popup
  int id;     // 0 for popups and separators
  std::string_view text;
  bool popup = false;
};
std::span<const MenuEntry> MainMenu();

// Buttons of the main toolbar in order; 0 is a separator.
std::span<const int> MainToolbar();

// Items of the right-click view menu, in order.
std::span<const int> ViewMenuItems();

// Command ids of the COM port items 1..9 (not contiguous).
int ComPortCommand(int port);
// The port of a COM item id, or -1.
int ComPortOfCommand(int id);

// Commands of the main window.
enum MainCommand : int {
  ID_FILE_NEW = 57600,
  ID_FILE_OPEN = 57601,
  ID_FILE_SAVE = 57603,
  ID_OPEN_SAMPLE = 32891,
  ID_OPEN_VIDEO = 32892,
  ID_CAMERA_NONE = 32000,
  ID_CAMERA_FIRST = 32001,
  ID_CAMERA_LAST = 32004,
  ID_CAMERA_SETTINGS = 32814,
  ID_COM_NONE = 32870,
  ID_COM_MORE = 32964,
  ID_AUTO_DRIVING = 32824,
  ID_SOUND_SETTINGS = 32903,
  ID_CAR_PHOTO = 32946,
  ID_CAR_GRAPHIC = 32947,
  ID_CAR_PHOTO_FILE = 32950,
  ID_CAR_COLOR = 32948,
  ID_LAYOUT_PHOTO = 32961,
  ID_LAYOUT_GRAPHIC = 32956,
  ID_LAYOUT_PHOTO_FILE = 32958,
  ID_LAYOUT_COLOR = 32959,
  ID_COURSE_RANGE = 32963,
  ID_PARAMETERS = 32909,
  ID_BALL_LEARNING = 32969,
  ID_VIEW_LIVE = 32772,
  ID_VIEW_DIFFERENCE = 32774,
  ID_VIEW_LAYOUT = 32780,
  ID_OVERLAY_CENTROID = 32787,
  ID_OVERLAY_DIRECTION = 32936,
  ID_OVERLAY_VECTOR = 32786,
  ID_OVERLAY_POLYGON = 32782,
  ID_OVERLAY_CAR_FIGURE = 32939,
  ID_FOLLOW_TARGET = 32929,
  ID_FOLLOW_BALL = 32966,
  ID_AVOID_BALL = 32975,
  ID_VIEW_TOOLBAR = 59392,
  ID_VIEW_STATUS_BAR = 59393,
  ID_EDIT_COMMAND = 32845,
  ID_DELETE_COMMAND = 32847,
  ID_MOVE_NEXT = 32849,
  ID_MOVE_PREVIOUS = 32851,
  ID_LINK = 32853,
  ID_UNLINK = 57635,
  ID_UNDO = 57643,
  ID_DOCUMENTATION = 32896,
  ID_EDIT_COPY = 57634,
  ID_EDIT_PASTE = 57637,
  ID_NEXT_PANE = 57680,
  ID_PREV_PANE = 57681,
  // Command toolbar of the program editor.
  ID_INSERT_START = 32843,
  ID_INSERT_TIMER = 32839,
  ID_INSERT_CAR = 32920,
  ID_INSERT_STEERING = 32921,
  ID_INSERT_POSITION = 32859,
  ID_INSERT_REPEAT = 32899,
  ID_INSERT_SOUND = 32901,
  ID_INSERT_END = 32897,
  ID_INSERT_BALL = 32971,
};

}  // namespace viren
