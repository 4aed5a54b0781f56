#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/CameraProvider.h"
#include "commands/CommandTable.h"
#include "core/CarState.h"
#include "core/EngineState.h"
#include "device/DeviceTimings.h"
#include "editor/ProgramEditor.h"
#include "engine/SubsystemSteps.h"
#include "program/ProgramCheck.h"
#include "settings/Settings.h"

namespace viren {

class UiHost;
class SubsystemSteps;
class Clock;
class CCarDevices;
class SoundSystem;
class SoundBackend;
class CFrameAnalyser;
class TrackHeading;
class DrivingProgram;
class ProgramFiles;
class ProgramRunner;
class Simulator;
class EnginePositionTrack;
class EngineSoundControl;
class BallSystem;
class AnalyserReferenceFrame;
class EngineDrivingObserver;
class EngineInterface;
class EngineFrames;
class EngineControllerActions;
class EngineEditorPeers;
class ProgramEditor;
class CommandDialogs;
class PositionWindow;
struct ContextMenuItem;
class ControllerActions;
class CourseLayout;
class PictureExchange;
class CAnalysisView;
class FrameRecording;
class CaptureSystem;
class RunTrack;

namespace api {
class ProgramInterface;
}

// How an engine is built beyond its folder and command line.
struct EngineOptions {
  // The time base of timers, waits and the simulation; null: wall-clock time.
  // A virtual clock must be made by the thread that runs the engine.
  Clock* clock = nullptr;
  // Tests hand in their own subsystem steps.
  std::unique_ptr<SubsystemSteps> steps = nullptr;
  // Makes the audio back end, given the engine's clock; null: GStreamer with
  // the output of GstSoundOptionsFromEnvironment.
  std::function<std::unique_ptr<SoundBackend>(Clock&)> soundBackend = nullptr;
  // How long the car's devices are given to answer; tests shorten them.
  DeviceTimings deviceTimings = {};
  // The cameras of the machine; null: GStreamer's device monitor.
  std::unique_ptr<CameraProvider> cameras = nullptr;
};

// The one engine object: it owns every subsystem, brings them up in their
// fixed order on the view's first paint, and takes them down in order.
// Start, Paint and Shutdown are called on the window thread.
class CDriveSystem {
 public:
  // `moduleFolder` is the program folder (where VIREN.ini lives);
  // `commandLine` is what the program was started with (empty: none).
  CDriveSystem(UiHost& ui, std::string moduleFolder, std::string commandLine,
               EngineOptions options = {});
  CDriveSystem(UiHost& ui, std::string moduleFolder, std::string commandLine,
               std::unique_ptr<SubsystemSteps> steps);
  ~CDriveSystem();
  CDriveSystem(const CDriveSystem&) = delete;
  CDriveSystem& operator=(const CDriveSystem&) = delete;

  // The first call runs the start-up sequence; every call then paints.
  void Start();
  // Stops and releases in order; only after a completed start-up. Idempotent.
  void Shutdown();

  bool startAttempted() const { return startAttempted_; }
  bool engineReady() const { return engineReady_; }
  bool interfaceFlag() const { return interfaceFlag_; }
  const std::string& videoFileName() const { return videoFileName_; }
  void setVideoFileName(std::string name) { videoFileName_ = std::move(name); }
  const std::string& programFileName() const { return programFileName_; }
  const std::string& commandLine() const { return commandLine_; }

  // Menu and toolbar commands the engine carries out itself; false when the
  // command is not the engine's (the window handles it). Window thread.
  bool OnCommand(int commandId);
  // What the update rules of the commands look at. Window thread.
  CommandContext CommandContextNow() const;
  // Switches the picture shown, converting the target between image and
  // layout coordinates where needed.
  void SetViewMode(int mode);
  // The controller's automatic-driving button: with fewer than two commands
  // MSG_CONTROL_INIT_FAILED; otherwise lights the button and starts the run, or puts it
  // out and ends the run. False when nothing was started or stopped.
  bool ToggleAutoDriving();
  // Looks at the program as it stands: the findings are kept (lastCheck),
  // the editor marks their boxes. Window thread.
  std::vector<CheckFinding> CheckProgramNow();
  // The View menu's frame recording on or off; the status bar says where the
  // frames go and, at the end, what was recorded.
  void ToggleFrameRecording();
  // Before a start from the controller: when the check finds anything, asks
  // MSG_CHECK_BEFORE_RUN (start anyway / cancel). True to start. Window thread.
  bool ConfirmRunDespiteFindings();
  // The findings of the last check and a number that goes up with each check.
  const std::vector<CheckFinding>& lastCheck() const { return lastCheck_; }
  int checkNumber() const { return checkNumber_; }
  // The current or last run's track and the last run's report.
  RunTrack& runTrack() { return *runTrack_; }
  // Esc in the main window or on the controller: a running program ends at
  // once, target and ball following stop, and every button of the car lets
  // go. Window thread.
  void EmergencyStop();
  // The mouse on the view: the target marker, ball learning or the program
  // editor get it, as the state says. True when the right button should open
  // the view menu. Window thread.
  enum class ViewMouse { LeftDown, Move, LeftUp, DoubleClick, RightDown };
  struct ViewMouseResult {
    bool viewMenu = false;                     // pop up the view menu
    std::vector<ContextMenuItem> programMenu;  // pop up the editor's menu
  };
  ViewMouseResult OnViewMouse(ViewMouse action, Point point);
  // The grab cursor shows over the target marker.
  bool CheeseHovered() const;

  Settings& settings() { return settings_; }
  CarState& carState() { return carState_; }
  // The car's drive control and its output devices.
  CCarDevices& devices() { return *devices_; }
  SoundSystem& sound() { return *sound_; }
  CFrameAnalyser& analyser() { return *analyser_; }
  BallSystem& ball() { return *ball_; }
  DrivingProgram& program() { return *program_; }
  ProgramFiles& programFiles() { return *files_; }
  ProgramRunner& runner() { return *runner_; }
  Simulator& simulator() { return *simulator_; }
  Clock& clock() { return *clock_; }
  api::ProgramInterface& programInterface() { return *programInterface_; }
  CourseLayout& layout() { return *layout_; }
  // The newest composed picture of the view, for the window to paint.
  PictureExchange& pictures() { return *pictures_; }
  CaptureSystem& capture() { return *capture_; }
  EngineFrames& frames() { return *frames_; }
  ControllerActions& controllerActions();
  ProgramEditor& editor() { return *editor_; }
  // The window's dialogs of the program editor (window thread, before use).
  void SetEditorDialogs(CommandDialogs* dialogs, PositionWindow* positionWindow);
  EngineState& state() { return state_; }
  UiHost& ui() { return ui_; }

 private:
  bool RunStartup();
  // VIREN.ini's DEBUG LOG_FILE, unless the command line opened a log already.
  void OpenDiagnosticLog();
  bool Stop(int messageId);  // shows the message, asks to close, returns false

  UiHost& ui_;
  Settings settings_;
  EngineState state_;
  CarState carState_;
  // The parts, in the order they are built; destroyed in reverse after
  // Shutdown has stopped their threads.
  std::unique_ptr<Clock> ownClock_;
  Clock* clock_;
  std::unique_ptr<CFrameAnalyser> analyser_;
  std::unique_ptr<CCarDevices> devices_;
  std::unique_ptr<TrackHeading> simulatedHeading_;
  std::unique_ptr<EnginePositionTrack> positionTrack_;
  std::unique_ptr<SoundSystem> sound_;
  std::unique_ptr<EngineSoundControl> soundControl_;
  std::unique_ptr<BallSystem> ball_;
  std::unique_ptr<AnalyserReferenceFrame> referenceFrame_;
  std::unique_ptr<EngineDrivingObserver> drivingObserver_;
  std::unique_ptr<DrivingProgram> program_;
  std::unique_ptr<ProgramFiles> files_;
  std::unique_ptr<ProgramRunner> runner_;
  std::unique_ptr<Simulator> simulator_;
  std::unique_ptr<CourseLayout> layout_;
  std::unique_ptr<PictureExchange> pictures_;
  std::unique_ptr<FrameRecording> frameRecording_;
  std::unique_ptr<CAnalysisView> analysisView_;
  std::unique_ptr<RunTrack> runTrack_;
  std::unique_ptr<EngineFrames> frames_;
  std::unique_ptr<CaptureSystem> capture_;
  std::unique_ptr<EngineControllerActions> controllerActions_;
  std::unique_ptr<EngineEditorPeers> editorPeers_;
  std::unique_ptr<ProgramEditor> editor_;
  std::unique_ptr<EngineInterface> interfaceLinks_;
  std::unique_ptr<api::ProgramInterface> programInterface_;
  std::vector<CheckFinding> lastCheck_;
  int checkNumber_ = 0;
  std::unique_ptr<SubsystemSteps> steps_;
  std::string moduleFolderArg_;
  std::string commandLine_;
  std::string videoFileName_;
  std::string programFileName_;
  bool startAttempted_ = false;
  bool engineReady_ = false;
  bool interfaceFlag_ = false;
};

}  // namespace viren
