#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <map>
#include <string>

#include "engine/CDriveSystem.h"

class QLabel;
class QMenu;
class QToolBar;

namespace viren {

class CDriveView;
class CControlDlg;
struct CommandContext;
class QtUiHost;
class UiHost;

// The frame: menus, toolbar, status bar and the view. The close box and the
// keyboard close do nothing; the exit command is the only way out.
class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  // `uiOverride` replaces the window program's own dialogs and `options`
  // the engine's devices (tests).
  CMainFrame(std::string moduleFolder, std::string commandLine, UiHost* uiOverride = nullptr,
             EngineOptions options = {});
  ~CMainFrame() override;

  CDriveView* view() const { return view_; }
  // Offers the command to the view first, then handles it here.
  void OnCommand(int commandId);
  // Closes the frame for real (exit command, failed start-up).
  void CloseFrame();
  // Re-evaluates every command's enabled and checked state from the engine.
  void UpdateCommands();
  // The menu and toolbar actions of a command (tests look them up here).
  QAction* ActionFor(int commandId) const;
  QToolBar* mainToolbar() const { return toolbar_; }
  // The view's client area becomes width x height; the frame follows.
  void FitFrameToClient(int width, int height);
  // The on-screen controller with the skin of the car's mode.
  bool CreateController();
  void RepaintControllerButton(int button);
  void ShowCommandToolbar(bool visible);
  QToolBar* commandToolbar() const { return commandToolbar_; }
  // The status bar's field for the running program (tests read it).
  QLabel* runStatus() const { return runStatus_; }
  CControlDlg* controller() const { return controller_; }
  class CCheckDock* checkDock() const {
    return checkDock_;
  }
  // Esc in the frame or on the controller: the car stops, a run ends.
  void EmergencyStop();
  // The status bar's word on the car's link (tests read it).
  QString linkHealthText() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  // The view's size changes move the controller along with its corner.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateMenus();
  // Commands with a dialog or another window; false when not one of them.
  bool OnWindowCommand(int commandId);
  void ShowDocumentation();
  // The flowchart as a PNG or SVG file, chosen in a save dialog.
  void ExportFlowchartPicture();
  // Drives the calibration manoeuvre with its dialog; OK keeps the figures.
  void CalibrateSimulation();
  void RebuildController();
  // Takes COM `port` (0: none) and says so when no device stands behind it.
  void SelectComPort(int port);
  // The view's bottom-right corner on the screen.
  QPoint ViewCorner() const;
  void RefreshCameraMenu();
  void CreateEditorWindows(UiHost& ui);
  void ShowViewMenu(QPoint globalPosition);
  void CreateToolbar();
  QAction* MakeAction(int id, const QString& text);
  void OnAppExit();
  // The program's file name and a mark while it has unsaved edits.
  void UpdateTitle();
  void OnAppAbout();
  // The check's findings and the run's report, when new ones have come.
  void ShowCheckAndReport();
  // The running command and the run's time while a program runs.
  void ShowRunStatus();

  std::unique_ptr<QtUiHost> ownUi_;
  CDriveView* view_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  CControlDlg* controller_ = nullptr;
  // Where the frame and the controller window were when the program last
  // ended: restored once the settings are known, saved by the exit command.
  void RestoreFramePosition();
  void SavePositions();
  QToolBar* commandToolbar_ = nullptr;
  std::unique_ptr<class QtCommandDialogs> commandDialogs_;
  std::unique_ptr<class QtProgramFileDialogs> programFileDialogs_;
  std::unique_ptr<class QtCaptureDialogs> captureDialogs_;
  std::unique_ptr<class QtPositionWindow> positionWindow_;
  std::unique_ptr<class PositionDefinitionOwner> positionOwner_;
  class CBallDlg* ballDialog_ = nullptr;
  QMenu* cameraMenu_ = nullptr;
  class CCheckDock* checkDock_ = nullptr;
  QLabel* runReport_ = nullptr;  // the last run's report in the status bar
  int shownCheck_ = 0;
  int shownReport_ = 0;
  QLabel* runStatus_ = nullptr;
  QElapsedTimer runClock_;
  QLabel* linkLabel_ = nullptr;
  std::multimap<int, QAction*> actions_;
  bool closing_ = false;
  bool positionsRestored_ = false;
  // False once the controller was put where the user left it last time: it
  // then stays there when the view changes size.
  bool controllerFollowsView_ = true;
};

}  // namespace viren
