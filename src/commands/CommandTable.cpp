#include "commands/CommandTable.h"

#include "core/CommandIds.h"
#include "core/EngineState.h"

namespace viren {
namespace {

constexpr int kComCommands[9] = {32871, 32872, 32873, 32874, 32875, 32876, 32887, 32888, 32889};

constexpr MenuEntry kMainMenu[] = {
    {0, 0, "ファイル(&F)", true},
    {1, ID_FILE_OPEN, "プログラムファイルを開く(&O)..."},
    {1, ID_FILE_SAVE, "プログラムの保存(&S)..."},
    {1, ID_FILE_NEW, "プログラムの新規作成(&N)"},
    {1, ID_EXPORT_PICTURE, "フローチャートを画像として保存(&G)..."},
    {1, 0, ""},
    {1, ID_OPEN_SAMPLE, "サンプルプログラムを開く(&T)..."},
    {1, ID_OPEN_VIDEO, "映像ファイルを開く(&A)..."},
    {1, 0, ""},
    {1, ID_APP_EXIT, "アプリケーションの終了(&X)"},
    {0, 0, "設定(&D)", true},
    {1, POPUP_CAMERA, "カメラの選択", true},
    {2, ID_CAMERA_NONE, "なし"},
    {1, ID_CAMERA_SETTINGS, "カメラ(画面サイズ)の設定..."},
    {1, POPUP_COM_PORT, "COMポート選択", true},
    {2, ID_COM_NONE, "なし"},
    {2, 32871, "COM1"},
    {2, 32872, "COM2"},
    {2, 32873, "COM3"},
    {2, 32874, "COM4"},
    {2, 32875, "COM5"},
    {2, 32876, "COM6"},
    {2, 32887, "COM7"},
    {2, 32888, "COM8"},
    {2, 32889, "COM9"},
    {2, ID_COM_MORE, "COM10～"},
    {1, 0, ""},
    {1, ID_AUTO_DRIVING, "自動運転(&A)"},
    {1, ID_SOUND_SETTINGS, "サウンド設定(&S)"},
    {1, 0, ""},
    {1, 0, "車表示設定", true},
    {2, ID_CAR_PHOTO, "写真画像"},
    {2, ID_CAR_GRAPHIC, "グラフィック画像"},
    {2, 0, ""},
    {2, ID_CAR_PHOTO_FILE, "写真画像設定"},
    {2, ID_CAR_COLOR, "色設定"},
    {1, 0, "レイアウト設定", true},
    {2, ID_LAYOUT_PHOTO, "写真画像"},
    {2, ID_LAYOUT_GRAPHIC, "グラフィック画像"},
    {2, 0, ""},
    {2, ID_LAYOUT_PHOTO_FILE, "写真画像設定"},
    {2, ID_LAYOUT_COLOR, "色設定"},
    {2, 0, ""},
    {2, ID_COURSE_RANGE, "コース範囲の設定"},
    {1, ID_PARAMETERS, "パラメータ設定(&P)..."},
    {1, ID_BALL_LEARNING, "ボール学習(&B)..."},
    {1, ID_CALIBRATE, "シミュレーションの較正(&K)..."},
    {0, 0, "表示(&V)", true},
    {1, ID_VIEW_LIVE, "ライブ画像(&L)"},
    {1, ID_VIEW_LAYOUT, "レイアウト(&O)"},
    {1, 0, ""},
    {1, ID_OVERLAY_CENTROID, "重心点(&C)"},
    {1, ID_OVERLAY_DIRECTION, "方向(&D)"},
    {1, ID_OVERLAY_CAR_FIGURE, "車図形(&G)"},
    {1, ID_VIEW_TRACK, "走行軌跡(&R)"},
    {1, ID_RECORD_FRAMES, "フレームを記録(&F)"},
    {1, 0, ""},
    {1, ID_VIEW_PROGRAM, "プログラム(&P)"},
    {1, ID_ZOOM_IN, "拡大(&I)"},
    {1, ID_ZOOM_OUT, "縮小(&O)"},
    {1, ID_ZOOM_FIT, "全体を表示(&F)"},
    {1, ID_SIMULATION, "シミュレーション(&M)"},
    {1, ID_CAR_TO_CENTRE, "車を中央に戻す(&H)"},
    {1, 0, ""},
    {1, ID_FOLLOW_TARGET, "追従指標(&C)"},
    {1, 0, "ボール認識", true},
    {2, ID_FOLLOW_BALL, "ボール追従(&B)"},
    {2, ID_AVOID_BALL, "ボール回避(&E)"},
    {1, 0, ""},
    {1, ID_VIEW_TOOLBAR, "ツール バー(&T)"},
    {1, ID_VIEW_STATUS_BAR, "ステータス バー(&S)"},
    {0, 0, "編集(&E)", true},
    {1, ID_EDIT_COMMAND, "編集(&E)..."},
    {1, ID_DELETE_COMMAND, "削除(&D)"},
    {1, ID_MOVE_NEXT, "次に移動(&N)"},
    {1, ID_MOVE_PREVIOUS, "前に移動(&P)"},
    {1, ID_LINK, "リンク(&L)"},
    {1, ID_UNLINK, "リンク削除(&C)"},
    {1, 0, ""},
    {1, ID_CUT_COMMANDS, "切り取り(&T)"},
    {1, ID_EDIT_COPY, "コピー(&O)"},
    {1, ID_EDIT_PASTE, "貼り付け(&A)"},
    {1, ID_DUPLICATE, "複製(&I)"},
    {1, 0, ""},
    {1, ID_UNDO, "元に戻す(&U)"},
    {1, ID_REDO, "やり直し(&R)"},
    {1, 0, ""},
    {1, ID_CHECK_PROGRAM, "プログラムのチェック(&K)"},
    {0, 0, "ヘルプ(&H)", true},
    {1, ID_APP_ABOUT, "VIRENのバージョン情報(&A)..."},
    {1, ID_DOCUMENTATION, "ドキュメントの表示(&D)..."},
};

constexpr int kMainToolbar[] = {ID_FILE_NEW,
                                0,
                                ID_FILE_OPEN,
                                ID_FILE_SAVE,
                                0,
                                ID_VIEW_LIVE,
                                ID_VIEW_LAYOUT,
                                ID_VIEW_PROGRAM,
                                0,
                                ID_OVERLAY_CENTROID,
                                ID_OVERLAY_DIRECTION,
                                ID_OVERLAY_CAR_FIGURE,
                                0,
                                ID_FOLLOW_TARGET,
                                ID_FOLLOW_BALL,
                                0,
                                ID_UNDO,
                                ID_CHECK_PROGRAM};

constexpr MenuEntry kViewMenu[] = {
    {0, ID_VIEW_LIVE, "ライブ画像"},         {0, ID_VIEW_DIFFERENCE, "差分画像"},
    {0, ID_VIEW_LAYOUT, "レイアウト"},       {0, ID_OVERLAY_CENTROID, "重心点"},
    {0, ID_OVERLAY_DIRECTION, "方向"},       {0, ID_OVERLAY_VECTOR, "ベクトル画像"},
    {0, ID_OVERLAY_POLYGON, "ポリゴン画像"}, {0, ID_OVERLAY_CAR_FIGURE, "車図形"}};

}  // namespace

std::span<const MenuEntry> MainMenu() {
  return kMainMenu;
}
std::span<const int> MainToolbar() {
  return kMainToolbar;
}
std::span<const MenuEntry> ViewMenu() {
  return kViewMenu;
}

int ComPortCommand(int port) {
  return port >= 1 && port <= 9 ? kComCommands[port - 1] : -1;
}

int ComPortOfCommand(int id) {
  for (int i = 0; i < 9; ++i)
    if (kComCommands[i] == id) return i + 1;
  return -1;
}

bool IsCheckCommand(int id) {
  if ((id >= ID_CAMERA_NONE && id <= ID_CAMERA_LAST) || ComPortOfCommand(id) > 0) return true;
  switch (id) {
    case ID_COM_NONE:
    case ID_COM_MORE:
    case ID_AUTO_DRIVING:
    case ID_CAR_PHOTO:
    case ID_CAR_GRAPHIC:
    case ID_LAYOUT_PHOTO:
    case ID_LAYOUT_GRAPHIC:
    case ID_VIEW_LIVE:
    case ID_VIEW_DIFFERENCE:
    case ID_VIEW_LAYOUT:
    case ID_VIEW_PROGRAM:
    case ID_OVERLAY_CENTROID:
    case ID_OVERLAY_DIRECTION:
    case ID_OVERLAY_VECTOR:
    case ID_OVERLAY_POLYGON:
    case ID_OVERLAY_CAR_FIGURE:
    case ID_SIMULATION:
    case ID_FOLLOW_TARGET:
    case ID_FOLLOW_BALL:
    case ID_AVOID_BALL:
    case ID_VIEW_TOOLBAR:
    case ID_VIEW_STATUS_BAR:
    case ID_VIEW_TRACK:
    case ID_RECORD_FRAMES:
      return true;
    default:
      return false;
  }
}

CommandUpdate EvaluateCommand(int id, const CommandContext& c) {
  const auto& s = c.selection;
  // The start command (index 0) cannot be edited, deleted, moved or linked.
  const bool editing = c.viewMode == VIEW_PROGRAM && !c.autoDriving && s.index > 0;
  // Nothing changes the program while it runs.
  const bool selectedNotEnd = s.index != -1 && !s.isEnd && !c.autoDriving;

  if (id >= ID_CAMERA_FIRST && id <= ID_CAMERA_LAST)
    return {id - ID_CAMERA_NONE <= c.cameraCount, c.cameraIndex == id - ID_CAMERA_NONE};
  if (const int port = ComPortOfCommand(id); port > 0) return {true, c.comPort == port};

  switch (id) {
    case ID_FILE_SAVE:
      return {c.commandCount >= 1, false};
    case ID_FILE_NEW:
      return {c.viewMode == VIEW_PROGRAM && !c.autoDriving && c.commandCount >= 1, false};
    case ID_CAMERA_NONE:
      return {true, c.cameraIndex == 0};
    case ID_CAMERA_SETTINGS:
      return {c.cameraIndex != -1, false};
    case ID_COM_NONE:
      return {true, c.comPort == 0};
    case ID_COM_MORE:
      return {true, c.comPort > 9};
    case ID_AUTO_DRIVING:
      return {c.deviceConnected && c.commandCount > 1, c.autoDriving};
    case ID_CAR_PHOTO:
      return {c.carPhotoLoaded, c.carType == 0};
    case ID_CAR_GRAPHIC:
      return {true, c.carType == 1};
    case ID_CAR_COLOR:
      return {c.carType == 1, false};
    case ID_LAYOUT_PHOTO:
      return {true, c.layoutType == 0};
    case ID_LAYOUT_GRAPHIC:
      return {true, c.layoutType == 1};
    case ID_LAYOUT_COLOR:
      return {c.layoutType == 1, false};
    case ID_BALL_LEARNING:
      return {c.viewMode == VIEW_LIVE, false};
    case ID_VIEW_LIVE:
      return {!c.simulating, c.viewMode == VIEW_LIVE};
    case ID_VIEW_DIFFERENCE:
      return {!c.simulating, c.viewMode == VIEW_DIFFERENCE};
    case ID_VIEW_LAYOUT:
      return {!c.positionDefinition, c.viewMode == VIEW_LAYOUT};
    case ID_VIEW_PROGRAM:
      return {!c.positionDefinition, c.viewMode == VIEW_PROGRAM};
    case ID_OVERLAY_CENTROID:
      return {true, c.overlayMode == OVERLAY_CENTROID};
    case ID_OVERLAY_DIRECTION:
      return {true, c.overlayMode == OVERLAY_DIRECTION};
    case ID_OVERLAY_VECTOR:
      return {c.viewMode != VIEW_LAYOUT, c.overlayMode == OVERLAY_VECTOR};
    case ID_OVERLAY_POLYGON:
      return {c.viewMode != VIEW_LAYOUT, c.overlayMode == OVERLAY_POLYGON};
    case ID_OVERLAY_CAR_FIGURE:
      return {c.viewMode == VIEW_LAYOUT, c.overlayMode == OVERLAY_CAR_FIGURE};
    case ID_SIMULATION:
      return {true, c.simulating};
    case ID_CAR_TO_CENTRE:
      return {c.simulating, false};
    case ID_FOLLOW_TARGET:
      return {true, c.targetFollowing};
    case ID_FOLLOW_BALL:
      return {(c.patternLoaded || c.simulating) && !c.ballLearning, c.ballMode == BallMode::Follow};
    case ID_AVOID_BALL:
      return {c.patternLoaded && !c.ballLearning, c.ballMode == BallMode::Avoid};
    case ID_VIEW_TOOLBAR:
      return {true, c.toolbarVisible};
    case ID_VIEW_STATUS_BAR:
      return {true, c.statusBarVisible};
    case ID_VIEW_TRACK:
      return {true, c.trackShown};
    case ID_ZOOM_IN:
    case ID_ZOOM_OUT:
    case ID_ZOOM_FIT:
      return {c.viewMode == VIEW_PROGRAM, false};
    case ID_CALIBRATE:
      // The manoeuvre is measured through the camera (or on the simulated car).
      return {(c.captureRunning || c.simulating) && !c.autoDriving, false};
    case ID_RECORD_FRAMES:
      // Frames come from the camera or a video; stopping is always possible.
      return {c.captureRunning || c.recordingFrames, c.recordingFrames};
    case ID_CHECK_PROGRAM:
      return {c.commandCount >= 1, false};
    case ID_EDIT_COMMAND:
      return {editing && !s.isEnd, false};
    case ID_DELETE_COMMAND:
      return {editing, false};
    case ID_MOVE_NEXT:
      return {editing && !s.isEnd && s.hasNext && !s.nextIsEnd, false};
    case ID_MOVE_PREVIOUS:
      return {editing && !s.isEnd && s.hasPrevious && s.previousHasPrevious, false};
    case ID_LINK:
      return {editing && !s.isEnd && s.hasPrevious && (s.isRepeat || !s.hasNext), false};
    case ID_UNLINK:
      return {editing && !s.isEnd && s.hasPrevious && s.hasLink, false};
    case ID_UNDO:
      return {c.undoAvailable && !c.autoDriving, false};
    case ID_REDO:
      return {c.redoAvailable && !c.autoDriving, false};
    // Copy and paste of commands, through the clipboard.
    case ID_EDIT_COPY:
    case ID_CUT_COMMANDS:
    case ID_DUPLICATE:
      return {c.viewMode == VIEW_PROGRAM && !c.autoDriving && !c.positionDefinition && s.hasStretch,
              false};
    case ID_EDIT_PASTE:
      return {c.viewMode == VIEW_PROGRAM && !c.autoDriving && !c.positionDefinition, false};
    case ID_EXPORT_PICTURE:
      return {c.viewMode == VIEW_PROGRAM, false};
    // Accelerators kept from the framework's defaults with no handler.
    case ID_NEXT_PANE:
    case ID_PREV_PANE:
      return {false, false};
    // The command toolbar of the program editor.
    case ID_INSERT_START:
      return {false, false};
    case ID_INSERT_TIMER:
      return {(s.index == -1 || !s.isEnd) && !c.autoDriving, false};
    case ID_INSERT_CAR:
    case ID_INSERT_STEERING:
    case ID_INSERT_POSITION:
    case ID_INSERT_REPEAT:
    case ID_INSERT_SOUND:
    case ID_INSERT_BALL:
      return {selectedNotEnd, false};
    case ID_INSERT_END:
      return {selectedNotEnd && !s.hasNext && (!s.hasLink || s.isRepeat), false};
    default:
      return {true, false};
  }
}

}  // namespace viren
