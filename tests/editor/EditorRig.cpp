#include "EditorRig.h"

#include "editor/ProgramLayout.h"

namespace viren::test {

bool ScriptedDialogs::RunTimeDialog(int& seconds, int& tenths, const CommandDialogContext& c) {
  ++timeDialogs;
  lastContext = c;
  if (timers.empty()) return true;
  TimerAnswer answer = std::move(timers.front());
  timers.pop_front();
  return answer(seconds, tenths);
}

bool ScriptedDialogs::RunEventDialog(EventKind kind, EventDialogValues& values,
                                     const CommandDialogContext& c) {
  ++eventDialogs;
  lastContext = c;
  if (events.empty()) return true;
  EventAnswer answer = std::move(events.front());
  events.pop_front();
  return answer(kind, values);
}

EditorRig::EditorRig()
    : settings(&ui),
      editor(program, settings, ui, engine, car,
             EditorLinks{&peers, &dialogs, &positionWindow, &EvaluateCommand}) {
  settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
  engine.viewMode = VIEW_PROGRAM;
  engine.clientWidth = 640;
  engine.clientHeight = 480;
  editor.CreateDrawingObjects();
}

void EditorRig::Click(int index) {
  const EventRecord r = program.Record(index);
  editor.ProgramMouse(ProgramMouseAction::LeftRelease, Point{r.x + 5, r.y + 5});
}

void EditorRig::DoubleClick(int index) {
  const EventRecord r = program.Record(index);
  editor.ProgramMouse(ProgramMouseAction::DoubleClick, Point{r.x + 5, r.y + 5});
}

int EditorRig::Insert(EventKind kind) {
  static constexpr int kIds[] = {0,
                                 ID_INSERT_START,
                                 ID_INSERT_TIMER,
                                 ID_INSERT_CAR,
                                 ID_INSERT_STEERING,
                                 ID_INSERT_POSITION,
                                 ID_INSERT_REPEAT,
                                 ID_INSERT_SOUND,
                                 ID_INSERT_END,
                                 ID_INSERT_BALL};
  const int before = program.count();
  editor.OnCommand(kIds[kind]);
  return program.count() > before ? program.selection.load() : -1;
}

std::vector<int> EditorRig::ChainKinds(int head) const {
  std::vector<int> kinds;
  for (int r = head, steps = 0; r != -1 && steps < 100; r = program.Record(r).next, ++steps)
    kinds.push_back(program.Record(r).kind);
  return kinds;
}

}  // namespace viren::test
