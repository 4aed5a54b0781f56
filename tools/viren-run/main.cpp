// viren-run: VIREN's engine with its whole start-up and shut-down, without a
// window. Used for quick checks of a program folder, for running driving
// programs on the simulated car (optionally on a virtual clock), and by the
// end-to-end tests.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>

#include <QImage>

#include "CheckCommand.h"
#include "ConsoleUiHost.h"
#include "RunOptions.h"
#include "core/Clock.h"
#include "core/CommandIds.h"
#include "core/DiagnosticLog.h"
#include "core/EngineState.h"
#include "device/CCarDevices.h"
#include "engine/CDriveSystem.h"
#include "engine/EngineFrames.h"
#include "layout/CourseLayout.h"
#include "layout/CourseRange.h"
#include "platform/ShutdownSignals.h"
#include "program/DrivingProgram.h"
#include "program/ProgramFile.h"
#include "program/ProgramRunner.h"
#include "simulation/Calibration.h"
#include "simulation/RunTrack.h"
#include "simulation/SimulatedRun.h"
#include "simulation/Simulator.h"
#include "sound/GstSoundBackend.h"
#include "sound/SoundLog.h"
#include "views/TrackDrawing.h"

using namespace viren;

namespace {

bool WriteTrack(const std::string& path, const std::vector<TrackRow>& rows) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out << kTrackHeader << '\n';
  for (const TrackRow& row : rows) out << FormatTrackRow(row) << '\n';
  return static_cast<bool>(out.flush());
}

bool WriteSoundLog(const std::string& path, const SoundLog& log) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out << log.Csv();
  return static_cast<bool>(out.flush());
}

// The last run in figures, beside the track: from its rows, with the
// commands the run counted.
bool WriteReport(const std::string& path, CDriveSystem& engine) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  CourseLayout& layout = engine.layout();
  RunReport report = SummariseRun(engine.runTrack().Rows(),
                                  CourseRangeRect(layout.borderWidth(), layout.borderHeight()));
  report.commandsExecuted = engine.runner().executedCommands();
  if (report.lastCommand >= 0)
    report.lastCommandKind = engine.program().Record(report.lastCommand).kind;
  out << RunReportCsv(report);
  return static_cast<bool>(out.flush());
}

bool WriteTrackPicture(const std::string& path, QImage picture, const std::vector<TrackRow>& rows) {
  std::vector<Point> points;
  std::vector<int> commands;
  for (const TrackRow& row : rows) {
    points.push_back(row.position);
    commands.push_back(row.command);
  }
  DrawTrackPicture(picture, points, commands);
  return picture.save(QString::fromStdString(path), "PNG");
}

}  // namespace

int main(int argc, char** argv) {
  // From the very start a signal ends the run the orderly way: the car
  // stopped, the devices let go of, the shared memory released.
  ShutdownSignals shutdownSignals;
  int endedBy = 0;
  std::string error;
  const auto options = ParseRunOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::fprintf(stderr, "viren-run: %s\n%s", error.c_str(), kRunUsage);
    return 2;
  }

  if (!options->check.empty()) return CheckProgramFiles(options->dir, options->check);
  if (!options->log.empty() && !diag::Open(options->log, error)) {
    std::fprintf(stderr, "viren-run: --log %s: %s\n", options->log.c_str(), error.c_str());
    return 2;
  }

  // A virtual clock takes this thread in as one of those that take turns.
  std::unique_ptr<Clock> clock;
  if (options->virtualClock)
    clock = std::make_unique<VirtualClock>();
  else
    clock = std::make_unique<RealClock>();

  ConsoleUiHost ui(options->answerYes, options->clipboard);
  EngineOptions engineOptions;
  engineOptions.clock = clock.get();
  // The sound log outlives the engine, whose players write to it until they go.
  std::unique_ptr<SoundLog> soundLog;
  if (!options->soundLog.empty()) {
    engineOptions.soundBackend = [&soundLog](Clock& engineClock) {
      soundLog = std::make_unique<SoundLog>(engineClock);
      return MakeLoggingSoundBackend(MakeGstSoundBackend(GstSoundOptionsFromEnvironment()),
                                     *soundLog);
    };
  }
  CDriveSystem engine(ui, options->dir, options->EngineCommandLine(), std::move(engineOptions));
  std::unique_ptr<TrackRecorder> recorder;
  if (!options->track.empty()) {
    recorder = std::make_unique<TrackRecorder>(*clock, engine.carState(), engine.devices().drive(),
                                               engine.runner());
  }
  std::unique_ptr<CalibrationRun> calibration;
  if (options->calibrate) {
    calibration =
        std::make_unique<CalibrationRun>(*clock, engine.devices().drive(), engine.carState());
  }
  if (recorder || calibration) {
    // One row per simulation step, or with a video per analysed frame.
    TrackRecorder* rows = recorder.get();
    CalibrationRun* calibrating = calibration.get();
    engine.frames().SetFrameObserver([rows, calibrating] {
      if (rows) rows->Record();
      if (calibrating) calibrating->OnFrame();
    });
  }

  // No window shows the pictures, so a frame dump holds them as analysed,
  // without an overlay (the car figure draws nothing on a camera picture):
  // a dumped run then plays back to the same centres.
  engine.state().overlayMode = OVERLAY_CAR_FIGURE;
  engine.Start();
  const bool started = engine.engineReady();
  bool ok = started;
  if (started && !options->program.empty()) {
    ok = engine.programFiles().ReadProgramFile(
        engine.settings().ResolveDataPath(kProgramFolder, options->program));
  }

  // The event loop of the window program, reduced to what the engine posts.
  auto runPostedCommands = [&] {
    while (auto command = ui.TakeCommand()) {
      if (*command == ID_APP_EXIT)
        ui.RequestClose();
      else
        engine.OnCommand(*command);
    }
    while (auto work = ui.TakeWork()) work();
  };
  if (started) runPostedCommands();
  if (started && options->comPort >= 0) engine.devices().SelectComPort(options->comPort);
  if (ok && options->autoDrive) ok = engine.ToggleAutoDriving();
  if (ok && calibration) calibration->Start();

  // A calibration runs until it is done unless --seconds ends it sooner.
  const std::int64_t end =
      calibration && options->seconds <= 0
          ? INT64_MAX
          : clock->NowMs() + static_cast<std::int64_t>(options->seconds * 1000);
  while (started && !ui.closeRequested()) {
    if ((endedBy = shutdownSignals.TakeSignal()) != 0) break;
    runPostedCommands();
    if (calibration && !calibration->running()) break;
    const std::int64_t left = end - clock->NowMs();
    if (left <= 0) break;
    clock->SleepFor(std::chrono::milliseconds(std::min<std::int64_t>(left, 10)));
  }

  // The layout as the view shows it, taken while the engine still has it.
  QImage layout(kLayoutWidth, kLayoutHeight, QImage::Format_RGB32);
  if (!options->trackPicture.empty() && !(started && engine.layout().CopyLayoutInto(layout)))
    layout.fill(Qt::white);

  if (calibration) {
    // Ended early (time, a signal) the manoeuvre lets go of the car first.
    calibration->Cancel();
    calibration->Wait();
    const CalibrationResult result = calibration->Result();
    if (!result.valid) {
      std::fprintf(stderr,
                   "viren-run: calibration failed: the car was not seen through the "
                   "whole manoeuvre\n");
      ok = false;
    } else {
      const int stepMs = engine.simulator().settings().speedMs;
      std::printf(
          "speed_px_s,radius_left_px,radius_right_px,POSITION_STEP,DIRECTION_STEP\n"
          "%.2f,%.2f,%.2f,%.3f,%.4f\n",
          result.speed, result.radiusLeft, result.radiusRight, result.PositionStep(stepMs),
          result.DirectionStep(stepMs));
      if (!StoreCalibration(engine.settings(), result, stepMs)) {
        std::fprintf(stderr, "viren-run: cannot store the calibration in option.ini\n");
        ok = false;
      }
    }
  }
  engine.Shutdown();
  if (endedBy == 0) endedBy = shutdownSignals.TakeSignal();
  if (endedBy != 0) {
    std::fprintf(stderr, "viren-run: ended by signal %d\n", endedBy);
    ok = false;
  }
  if (recorder && !WriteTrack(options->track, recorder->Rows())) {
    std::fprintf(stderr, "viren-run: cannot write %s\n", options->track.c_str());
    ok = false;
  }
  if (recorder && !WriteReport(RunReportPathFor(options->track), engine)) {
    std::fprintf(stderr, "viren-run: cannot write %s\n", RunReportPathFor(options->track).c_str());
    ok = false;
  }
  if (!options->trackPicture.empty() &&
      !WriteTrackPicture(options->trackPicture, layout, engine.runTrack().Rows())) {
    std::fprintf(stderr, "viren-run: cannot write %s\n", options->trackPicture.c_str());
    ok = false;
  }
  if (soundLog && !WriteSoundLog(options->soundLog, *soundLog)) {
    std::fprintf(stderr, "viren-run: cannot write %s\n", options->soundLog.c_str());
    ok = false;
  }
  // As a shell reports a program killed by a signal, though this one ended
  // in order.
  if (endedBy != 0) return 128 + endedBy;
  return ok ? 0 : 1;
}
