#pragma once

namespace viren {

// Menu command identifiers, as the menus, toolbars and the program interface
// know them.
enum CommandId : int {
  ID_APP_EXIT = 57665,
  ID_APP_ABOUT = 57664,
  ID_VIEW_PROGRAM = 32836,
  ID_SIMULATION = 32869,
};

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
  ID_REDO = 57644,
  ID_DOCUMENTATION = 32896,
  ID_EDIT_COPY = 57634,
  ID_EDIT_PASTE = 57637,
  ID_NEXT_PANE = 57680,
  ID_PREV_PANE = 57681,
  // Our own: the program check and the run's track on the layout.
  ID_CHECK_PROGRAM = 33220,
  ID_VIEW_TRACK = 33221,
  // Our own: the simulated car back to the middle of the layout, stopped.
  ID_CAR_TO_CENTRE = 33222,
  // Our own: zoom of the program view.
  ID_ZOOM_IN = 33223,
  ID_ZOOM_OUT = 33224,
  ID_ZOOM_FIT = 33225,
  // Our own: cut (the framework's cut key and id are the unlink command's)
  // and duplicate of the selected commands; the picture of the flowchart.
  ID_CUT_COMMANDS = 33226,
  ID_DUPLICATE = 33227,
  ID_EXPORT_PICTURE = 33228,
  // Our own: the View menu's switch of the frame dump.
  ID_RECORD_FRAMES = 33230,
  // Our own: the simulation's steps measured on the real car.
  ID_CALIBRATE = 33231,
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

// The private message the capture posts to the view while a video plays: its
// graph has events waiting (the end of a looping video, an error).
inline constexpr int WM_GRAPH_NOTIFY = 0x8001;

// Posted by the ball search on the capture thread: the camera picture is
// larger than the ball search takes; the view shows MSG_BALL_FRAME_TOO_LARGE.
inline constexpr int WM_BALL_FRAME_TOO_LARGE = 0x8002;

// Posted when the list of cameras changed (one was plugged in or pulled out);
// the view has the capture list them again.
inline constexpr int WM_CAMERAS_CHANGED = 0x8003;

}  // namespace viren
