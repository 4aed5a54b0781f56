#include "engine/CDriveSystem.h"

#include <cstdlib>

#include "api/ProgramInterface.h"
#include "capture/CaptureSystem.h"
#include "core/Clock.h"
#include "core/CommandIds.h"
#include "core/DiagnosticLog.h"
#include "core/ProcessPaths.h"
#include "core/UiHost.h"
#include "device/CCarDevices.h"
#include "engine/BuiltInSteps.h"
#include "engine/CommandLine.h"
#include "engine/EngineFrames.h"
#include "engine/EngineInterface.h"
#include "engine/EngineLinks.h"
#include "engine/SubsystemSteps.h"
#include "layout/CourseLayout.h"
#include "layout/CourseRange.h"
#include "program/DrivingProgram.h"
#include "program/ProgramCheck.h"
#include "program/ProgramFile.h"
#include "program/ProgramRunner.h"
#include "settings/SettingsLocation.h"
#include "simulation/RunTrack.h"
#include "simulation/Simulator.h"
#include "sound/GstSoundBackend.h"
#include "sound/SoundSystem.h"
#include "views/CAnalysisView.h"
#include "views/FrameRecording.h"
#include "views/PictureExchange.h"
#include "vision/CFrameAnalyser.h"

namespace viren {

namespace {

EngineOptions OptionsWithSteps(std::unique_ptr<SubsystemSteps> steps) {
  EngineOptions options;
  options.steps = std::move(steps);
  return options;
}

}  // namespace

CDriveSystem::CDriveSystem(UiHost& ui, std::string moduleFolder, std::string commandLine,
                           std::unique_ptr<SubsystemSteps> steps)
    : CDriveSystem(ui, std::move(moduleFolder), std::move(commandLine),
                   OptionsWithSteps(std::move(steps))) {}

CDriveSystem::CDriveSystem(UiHost& ui, std::string moduleFolder, std::string commandLine,
                           EngineOptions options)
    : ui_(ui),
      settings_(&ui),
      ownClock_(options.clock ? nullptr : std::make_unique<RealClock>()),
      clock_(options.clock ? options.clock : ownClock_.get()),
      analyser_(std::make_unique<CFrameAnalyser>(carState_, state_)),
      devices_(std::make_unique<CCarDevices>(settings_, state_, ui, options.deviceTimings)),
      simulatedHeading_(std::make_unique<TrackHeading>(carState_, devices_->drive(), state_)),
      positionTrack_(std::make_unique<EnginePositionTrack>(*analyser_, *simulatedHeading_)),
      sound_(std::make_unique<SoundSystem>(
          settings_, ui,
          options.soundBackend ? options.soundBackend(*clock_)
                               : MakeGstSoundBackend(GstSoundOptionsFromEnvironment()))),
      soundControl_(std::make_unique<EngineSoundControl>(*sound_)),
      ball_(std::make_unique<BallSystem>(settings_, ui, carState_, state_)),
      referenceFrame_(std::make_unique<AnalyserReferenceFrame>(*analyser_)),
      drivingObserver_(std::make_unique<EngineDrivingObserver>(devices_->drive(), *analyser_)),
      program_(std::make_unique<DrivingProgram>()),
      files_(std::make_unique<ProgramFiles>(*program_, settings_, ui)),
      runner_(std::make_unique<ProgramRunner>(state_, carState_, devices_->drive(), *program_,
                                              *clock_)),
      simulator_(
          std::make_unique<Simulator>(state_, carState_, devices_->drive(), *runner_, *clock_)),
      layout_(std::make_unique<CourseLayout>(settings_, ui, state_)),
      pictures_(std::make_unique<PictureExchange>()),
      frameRecording_(std::make_unique<FrameRecording>()),
      analysisView_(std::make_unique<CAnalysisView>(state_, carState_, *layout_, *analyser_,
                                                    settings_, *pictures_)),
      runTrack_(std::make_unique<RunTrack>()),
      frames_(std::make_unique<EngineFrames>(EngineFrames::Parts{
          ui, state_, carState_, *clock_, *analyser_, devices_->drive(), *runner_, *simulator_,
          *analysisView_, *runTrack_, [this](int mode) { SetViewMode(mode); }})),
      capture_(std::make_unique<CaptureSystem>(settings_, state_, ui, *frames_, *frames_,
                                               std::move(options.cameras))),
      controllerActions_(std::make_unique<EngineControllerActions>(ui, state_, *program_, *runner_,
                                                                   devices_->drive())),
      editorPeers_(std::make_unique<EngineEditorPeers>(*sound_, ui,
                                                       [this](int mode) { SetViewMode(mode); })),
      editor_(std::make_unique<ProgramEditor>(*program_, settings_, ui, state_, carState_)),
      interfaceLinks_(std::make_unique<EngineInterface>(EngineInterface::Parts{
          ui, engineReady_, devices_->drive(), *program_, *files_, *runner_, *sound_, *ball_})),
      programInterface_(std::make_unique<api::ProgramInterface>(
          ui, state_, carState_, devices_->drive(), *interfaceLinks_,
          api::ShmTableOptions{api::ShmPrefixFromEnvironment()})),
      steps_(std::move(options.steps)),
      moduleFolderArg_(std::move(moduleFolder)),
      commandLine_(std::move(commandLine)) {
  interfaceLinks_->SetProgramInterface(*programInterface_);
  if (!steps_)
    steps_ = std::make_unique<BuiltInSteps>(BuiltInSteps::Parts{
        ui, settings_, *capture_, *sound_, *analyser_, *devices_, *layout_, *analysisView_, *ball_,
        *simulator_, *simulatedHeading_, *runner_, *editor_, *files_, *programInterface_});
  devices_->drive().SetPositionTrack(positionTrack_.get());
  analysisView_->SetFrameRecording(frameRecording_.get());
  devices_->SetRunStopper([this] {
    if (state_.autoDriving) runner_->StopAutoDriving();
  });
  runner_->SetSound(soundControl_.get());
  runner_->SetBall(ball_.get());
  runner_->SetSimulatedCar(simulator_.get());
  runner_->SetObserver(drivingObserver_.get());
  simulator_->SetHeading(simulatedHeading_.get());
  simulator_->SetBall(ball_.get());
  simulator_->SetPublisher(interfaceLinks_.get());
  devices_->drive().SetStatusPublisher(interfaceLinks_.get());
  devices_->drive().SetControllerView(interfaceLinks_.get());
  simulator_->SetView(frames_.get());
  analysisView_->SetDriveCommander(&devices_->drive());
  AnalysisPeers peers;
  peers.view = analysisView_.get();
  peers.follower = frames_.get();
  peers.ballSearch = ball_.get();
  ball_->SetReferenceFrameSource(referenceFrame_.get());
  peers.publisher = interfaceLinks_.get();
  peers.drive = &devices_->drive();
  peers.listener = frames_.get();
  analyser_->SetPeers(peers);
  SetEditorDialogs(nullptr, nullptr);
  drivingObserver_->SetEditor(editor_.get(), &ui_);
  simulator_->SetStepObserver(frames_.get());
  analysisView_->SetTrailSource([track = runTrack_.get()] {
    return track->trailShown ? track->Points() : std::vector<Point>{};
  });
  drivingObserver_->SetRunEnded([this] {
    const int last = program_->selection;
    runTrack_->Finish(CourseRangeRect(layout_->borderWidth(), layout_->borderHeight()),
                      runner_->executedCommands(), last, program_->Record(last).kind);
  });
  controllerActions_->SetConfirmStart([this] { return ConfirmRunDespiteFindings(); });
}

ControllerActions& CDriveSystem::controllerActions() {
  return *controllerActions_;
}

void CDriveSystem::SetEditorDialogs(CommandDialogs* dialogs, PositionWindow* positionWindow) {
  editor_->SetLinks(EditorLinks{.peers = editorPeers_.get(),
                                .dialogs = dialogs,
                                .positionWindow = positionWindow,
                                .rule = &EvaluateCommand});
}

CDriveSystem::~CDriveSystem() {
  Shutdown();
}

bool CDriveSystem::Stop(int messageId) {
  ShowMessage(ui_, messageId, MsgIcon::Stop);
  ui_.RequestClose();
  return false;
}

void CDriveSystem::Start() {
  if (!startAttempted_) {
    startAttempted_ = true;
    if (!RunStartup()) return;
  }
  if (engineReady_) steps_->PaintView();
}

void CDriveSystem::OpenDiagnosticLog() {
  if (diag::Enabled()) return;
  const std::string path = settings_.ReadString(keys::LOG_FILE);
  if (path.empty()) return;
  std::string error;
  if (!diag::Open(path, error))
    ui_.SetStatusText("診断ログを開けません: " + path + " (" + error + ")");
}

bool CDriveSystem::RunStartup() {
  // The program folder and the two settings files: VIREN.ini beside the
  // executable, option.ini there too unless the folder is read-only.
  const std::string folder =
      moduleFolderArg_.empty() ? FolderOf(ExecutablePath()) : moduleFolderArg_;
  const SettingsLocation location =
      LocateSettings(folder, FolderWritable(folder),
                     [](const char* name) { return static_cast<const char*>(std::getenv(name)); });
  settings_.SetPaths(location.moduleFolder, location.settingsFile, location.optionFile);
  if (!FileExists(settings_.settingsFile())) {
    ui_.Message(MSG_FILE_NOT_FOUND, {settings_.settingsFile()}, MsgIcon::Stop, MsgButtons::Ok);
    ui_.RequestClose();
    return false;
  }
  SeedPerUserOptionFile(location);
  OpenDiagnosticLog();

  // The disclaimer, until it has been accepted once.
  if (settings_.ReadInt(keys::AGREEMENT) == 0) {
    if (!ui_.AskAgreement()) {
      ui_.RequestClose();
      return false;
    }
    settings_.WriteString(keys::AGREEMENT, "1");
  }

  // The command line. "-e" is posted after the picture source below: the
  // simulation that starts when there is no camera switches to the layout, and
  // the editor must still be what the user sees first.
  bool openEditor = false;
  if (!commandLine_.empty()) {
    if (auto video = FindSwitchArgument(commandLine_, "-i")) videoFileName_ = video->text;
    openEditor = HasSwitch(commandLine_, "-e");
    interfaceFlag_ = HasSwitch(commandLine_, "-s");
  }

  // How the car is wired.
  state_.control4WD = settings_.ReadInt(keys::CONTROL_4WD) != 0;
  state_.enableTurbo = settings_.ReadInt(keys::ENABLE_TURBO) != 0;
  state_.controlRoboQ = settings_.ReadInt(keys::CONTROL_ROBOQ) != 0;

  // The settings whose faults close the program: capture, sound, analysis,
  // course layout.
  if (!steps_->LoadCaptureSettings()) return Stop(MSG_CAPTURE_INIT_FAILED);
  if (!steps_->InitSound(interfaceFlag_)) return Stop(MSG_SOUND_INIT_FAILED);
  if (!steps_->LoadAnalysisSettings()) return Stop(MSG_ANALYSIS_INIT_FAILED);
  if (!steps_->InitLayout()) return Stop(MSG_LAYOUT_INIT_FAILED);

  // Settings that fall back to defaults, the start-up program, the ball.
  steps_->LoadSimulationSettings();
  steps_->LoadDrivingSettings();
  steps_->LoadProgramAtStartup();
  steps_->LoadPatternSettings();

  // The car's device; the program goes on without one.
  if (!steps_->RoboQOpen() && !steps_->RelayOpen())
    ShowMessage(ui_, MSG_DEVICE_INIT_FAILED, MsgIcon::Stop);

  // The program interface and the controller window.
  if (!steps_->StartInterface(interfaceFlag_)) return Stop(MSG_INTERFACE_INIT_FAILED);
  if (!steps_->InitController()) return Stop(MSG_CONTROLLER_INIT_FAILED);

  // The picture source. None of the outcomes closes the program.
  const int graph = steps_->BuildCaptureGraph(videoFileName_);
  if (graph >= 0) {
    state_.captureRunning = true;
    steps_->RunCapture();
  } else if (graph == -1) {
    if (state_.cameraIndex == 0) {
      ui_.PostCommand(ID_SIMULATION);
    } else if (ShowMessage(ui_, MSG_NO_CAMERA_SIMULATE, MsgIcon::Question, MsgButtons::YesNo) ==
               MsgAnswer::Yes) {
      ui_.PostCommand(ID_SIMULATION);
    }
  } else {
    ShowMessage(ui_, MSG_VIDEO_LIBRARY_FAILED, MsgIcon::Stop);
  }
  if (openEditor) ui_.PostCommand(ID_VIEW_PROGRAM);

  // Start-up is complete: the view paints and shut-down has work to do.
  engineReady_ = true;
  return true;
}

void CDriveSystem::Shutdown() {
  if (!engineReady_) return;
  engineReady_ = false;

  // Nothing more is analysed or played once sounds and capture stop; then the
  // threads that act on the car; the program interface last, before its
  // shared memory goes.
  steps_->StopAllSounds();
  if (state_.captureRunning.exchange(false)) steps_->StopCapture();
  if (state_.autoDriving) steps_->StopAutoDriving();
  if (state_.simulating) {
    state_.simulating = false;
    steps_->StopSimulation();
  }
  steps_->SimulationCleanup();
  steps_->ShutdownCapture();
  steps_->ReleaseAnalysis();
  steps_->ReleaseLayout();
  steps_->ReleaseEditor();
  steps_->RelayClose();
  steps_->RoboQClose();
  steps_->ReleaseBall();
  steps_->ReleaseController();
  steps_->CloseSimulationEvent();
  steps_->ReleaseDrivingResources();
  steps_->StopInterface();
}

}  // namespace viren
