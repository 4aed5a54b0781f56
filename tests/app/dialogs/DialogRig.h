#pragma once

#include <QApplication>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/CarState.h"
#include "core/EngineState.h"
#include "device/CCarDevices.h"
#include "layout/CourseLayout.h"
#include "settings/Settings.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"
#include "vision/CFrameAnalyser.h"

namespace viren::test {

inline void EnsureApplication() {
  static int argc = 1;
  static char name[] = "dialog_tests";
  static char* argv[] = {name, nullptr};
  if (!qApp) new QApplication(argc, argv);
}

// The engine parts the dialogs change, real and wired as the engine wires
// them, on a program folder of their own. option.ini is written by the test
// before Load().
struct DialogRig {
  DialogRig()
      : settings(&ui),
        analyser(car, state),
        devices(settings, state, ui),
        layout(settings, ui, state) {
    EnsureApplication();
    settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
    std::filesystem::copy_file(ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    layout.SetShapeReader([this](const std::string& path, PolygonList&) {
      shapeFiles.push_back(std::filesystem::path(path).filename().string());
      return false;
    });
  }

  // Reads option.ini into the parts as start-up does.
  void Load() {
    state.controlRoboQ = settings.ReadInt(keys::CONTROL_ROBOQ) != 0;
    analyser.LoadAnalysisSettings(settings);
    layout.Initialise();
    shapeFiles.clear();
  }

  std::string Option(const SettingKey& key) const {
    return settings.ReadSettingString(key.section, key.key, "<none>", settings.optionFile());
  }
  std::string OptionFileText() const {
    std::ifstream in(dir.File("option.ini"), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  TestDir dir;
  FakeUiHost ui;
  Settings settings;
  EngineState state;
  CarState car;
  CFrameAnalyser analyser;
  CCarDevices devices;
  CourseLayout layout;
  std::vector<std::string> shapeFiles;
};

}  // namespace viren::test
