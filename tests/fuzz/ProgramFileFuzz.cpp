// A program file as the open command reads it, then everything the editor does
// with what was read: the flowchart drawn, commands selected, inserted,
// edited, deleted, moved, linked and unlinked, the edit undone, and the
// program compacted and written back. The bytes after the file's records are
// the user's script.
#include <filesystem>
#include <memory>

#include "FuzzSupport.h"
#include "commands/CommandTable.h"
#include "core/CarState.h"
#include "core/CommandIds.h"
#include "core/EngineState.h"
#include "editor/EditorPeers.h"
#include "editor/ProgramEditor.h"
#include "editor/ProgramLayout.h"
#include "program/ProgramFile.h"
#include "settings/Settings.h"

using namespace viren;

namespace {

struct Peers : EditorPeers {
  int SoundCount() const override { return 3; }
  void SetViewMode(int) override {}
  void ResizeFrameForClient(int, int) override {}
  void RepaintView() override {}
};

// The user confirms or cancels each dialog as the script says.
struct Dialogs : CommandDialogs {
  fuzz::FuzzInput* script = nullptr;
  bool RunTimeDialog(int&, int&, const CommandDialogContext&) override { return script->Bool(); }
  bool RunEventDialog(EventKind, EventDialogValues&, const CommandDialogContext&) override {
    return script->Bool();
  }
};

struct Window : PositionWindow {
  void Open() override {}
  void Close() override {}
};

constexpr int kEditorCommands[] = {ID_EDIT_COMMAND,
                                   ID_DELETE_COMMAND,
                                   ID_MOVE_NEXT,
                                   ID_MOVE_PREVIOUS,
                                   ID_LINK,
                                   ID_UNLINK,
                                   ID_UNDO,
                                   ID_INSERT_START,
                                   ID_INSERT_TIMER,
                                   ID_INSERT_CAR,
                                   ID_INSERT_STEERING,
                                   ID_INSERT_POSITION,
                                   ID_INSERT_REPEAT,
                                   ID_INSERT_SOUND,
                                   ID_INSERT_END,
                                   ID_INSERT_BALL};

struct Rig {
  Rig() : settings(&ui) {
    // No settings files: every value at its default.
    const std::string folder = std::filesystem::temp_directory_path() / "viren-fuzz-none";
    settings.SetPaths(folder, folder + "/VIREN.ini", folder + "/option.ini");
    engine.viewMode = VIEW_PROGRAM;
    engine.clientWidth = 640;
    engine.clientHeight = 480;
  }
  fuzz::CountingUiHost ui;
  Settings settings;
  EngineState engine;
  CarState car;
  Peers peers;
  Dialogs dialogs;
  Window window;
};

void CheckProgram(const DrivingProgram& program) {
  const int count = program.count();
  FUZZ_CHECK(count >= 1 && count <= kProgramSlots);
  const int selection = program.selection;
  FUZZ_CHECK(selection >= -1 && selection < kProgramSlots);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Rig* rig = new Rig;  // the settings and the user stay for the whole run
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ProgramRecords records;
  int count = 0;
  if (DecodeProgramFile(bytes, records, count) != ProgramReadStatus::Ok) return 0;
  FUZZ_CHECK(count >= 1 && count <= kProgramSlots);

  DrivingProgram program;
  FUZZ_CHECK(program.Replace(records.data(), count));
  const std::size_t used = kProgramHeaderSize + static_cast<std::size_t>(count) * 32;
  fuzz::FuzzInput script(data + used, size - used);
  rig->dialogs.script = &script;
  rig->ui.ids.clear();
  ProgramEditor editor(program, rig->settings, rig->ui, rig->engine, rig->car,
                       EditorLinks{&rig->peers, &rig->dialogs, &rig->window, &EvaluateCommand});
  editor.CreateDrawingObjects();  // draws the flowchart as loaded
  CheckProgram(program);

  for (int step = 0; step < 64 && !script.empty(); ++step) {
    const EventRecord box = program.Record(script.Range(0, kProgramSlots - 1));
    const Point onBox{box.x + script.Range(0, 39), box.y + script.Range(0, 39)};
    switch (script.Range(0, 6)) {
      case 0:
        editor.ProgramMouse(ProgramMouseAction::LeftRelease, onBox);
        break;
      case 1:
        editor.ProgramMouse(ProgramMouseAction::DoubleClick, onBox);
        break;
      case 2: {
        // A context menu, and the item the user picks from it.
        const auto items = editor.ProgramMouse(ProgramMouseAction::RightPress, onBox);
        if (!items.empty()) editor.OnCommand(items[script.Range(0, items.size() - 1)].id);
        break;
      }
      case 3:
        editor.ProgramMouse(ProgramMouseAction::LeftRelease,
                            Point{script.Range(-50, 700), script.Range(-50, 530)});
        break;
      case 4:
      case 5:
        editor.OnCommand(kEditorCommands[script.Range(0, std::size(kEditorCommands) - 1)]);
        break;
      case 6:
        editor.LayoutProgram();
        editor.RedrawProgram();
        break;
    }
    CheckProgram(program);
  }
  // The window shows the part it is scrolled to, anywhere on the canvas.
  const Point at{script.Range(-100, kCanvasMaxWidth), script.Range(-100, kCanvasMaxHeight)};
  const QImage shown = editor.Paint({at.x, at.y, at.x + 320, at.y + 240});
  FUZZ_CHECK(!shown.isNull() && shown.width() <= 320 && shown.height() <= 240);

  // Saving compacts the program; what is written reads back as written.
  program.Compact();
  int kept = 0;
  const ProgramRecords compacted = program.Snapshot(&kept);
  const std::string file = EncodeProgramFile(compacted.data(), kept);
  ProgramRecords again;
  int againCount = 0;
  FUZZ_CHECK(DecodeProgramFile(file, again, againCount) == ProgramReadStatus::Ok);
  FUZZ_CHECK(againCount == kept);
  FUZZ_CHECK(std::memcmp(again.data(), compacted.data(), 32u * static_cast<unsigned>(kept)) == 0);
  return 0;
}
