#include "engine/BuiltInSteps.h"

namespace viren {

bool BuiltInSteps::LoadAnalysisSettings() {
  const bool ok = parts_.analyser.LoadAnalysisSettings(parts_.settings) != 0;
  parts_.devices.drive().SetPositionLogging(parts_.analyser.logPosition());
  return ok;
}

bool BuiltInSteps::InitLayout() {
  if (!parts_.layout.Initialise()) return false;
  UiHost& ui = parts_.ui;
  BallSystem& ball = parts_.ball;
  parts_.view.SetHooks(
      {.fitFrameToClient = [&ui](int w, int h) { ui.FitFrameToClient(w, h); },
       .patternSize = [&ball] { return ball.PatternSize(); },
       .ballLearning = [&ball] { return ball.ballLearning(); },
       .playedSource = [&capture = parts_.capture] { return capture.PlayingSource(); },
       .statusText = [&ui](const std::string& text) { ui.SetStatusText(text); }});
  parts_.view.LoadViewSettings();
  return true;
}

void BuiltInSteps::LoadSimulationSettings() {
  parts_.simulator.LoadSimulationSettings(parts_.settings);
  parts_.simulatedHeading.LoadSettings(parts_.settings);
}

void BuiltInSteps::LoadProgramAtStartup() {
  ProgramEditor& editor = parts_.editor;
  editor.CreateDrawingObjects();
  parts_.files.SetRedraw([&editor] {
    editor.RedrawProgram();
    editor.ShowProgram();
  });
  parts_.files.LoadProgramAtStartup();
}

}  // namespace viren
