#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/CarState.h"
#include "core/EngineState.h"
#include "editor/EditorPeers.h"
#include "editor/ProgramEditor.h"
#include "program/DrivingProgram.h"
#include "settings/Settings.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren::test {

// The fake user also remembers the status text and the command toolbar.
class EditorUiHost : public FakeUiHost {
 public:
  void SetStatusText(const std::string& text) override { statusText = text; }
  void ShowCommandToolbar(bool visible) override { toolbarVisible = visible; }
  std::string statusText;
  bool toolbarVisible = true;
};

class FakeEditorPeers : public EditorPeers {
 public:
  explicit FakeEditorPeers(EngineState& engine) : engine_(engine) {}
  int SoundCount() const override { return soundCount; }
  void SetViewMode(int mode) override { engine_.viewMode = mode; }
  void ResizeFrameForClient(int width, int height) override {
    resizes.push_back({width, height});
    engine_.clientWidth = width;
    engine_.clientHeight = height;
  }
  void RepaintView() override { ++repaints; }

  int soundCount = 3;
  std::vector<Point> resizes;
  int repaints = 0;

 private:
  EngineState& engine_;
};

// Answers the command dialogs from a script: each answer edits the values
// and says OK (true) or Cancel (false). No script: OK with the values as they
// came.
class ScriptedDialogs : public CommandDialogs {
 public:
  using TimerAnswer = std::function<bool(int& seconds, int& tenths)>;
  using EventAnswer = std::function<bool(EventKind, EventDialogValues&)>;

  bool RunTimeDialog(int& seconds, int& tenths, const CommandDialogContext&) override;
  bool RunEventDialog(EventKind kind, EventDialogValues& values,
                      const CommandDialogContext& context) override;

  std::deque<TimerAnswer> timers;
  std::deque<EventAnswer> events;
  int timeDialogs = 0;
  int eventDialogs = 0;
  CommandDialogContext lastContext;
};

class FakePositionWindow : public PositionWindow {
 public:
  void Open() override {
    ++opened;
    open = true;
  }
  void Close() override { open = false; }
  int opened = 0;
  bool open = false;
};

// One editor on a real driving program, in the program view, with empty
// settings files (every value at its default).
struct EditorRig {
  EditorRig();

  void Select(int index) { program.selection = index; }
  void Click(int index);  // left button released on the box
  void DoubleClick(int index);
  int Insert(EventKind kind);  // through the toolbar command; the new index or -1
  EventRecord At(int index) const { return program.Record(index); }
  // Kinds along the chain from `head`.
  std::vector<int> ChainKinds(int head = 0) const;
  bool Enabled(int id) const { return editor.IsCommandEnabled(id); }

  TestDir dir;
  EditorUiHost ui;
  Settings settings;
  EngineState engine;
  CarState car;
  DrivingProgram program;
  FakeEditorPeers peers{engine};
  ScriptedDialogs dialogs;
  FakePositionWindow positionWindow;
  ProgramEditor editor;
};

}  // namespace viren::test
