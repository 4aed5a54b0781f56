#pragma once

#include <QImage>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "commands/CommandTable.h"
#include "core/Geometry.h"
#include "editor/CommandDialogRules.h"
#include "editor/ProgramCanvas.h"
#include "editor/ProgramLayout.h"
#include "program/DrivingProgram.h"

namespace viren {

class CommandDialogs;
class EditorPeers;
class PositionWindow;
class Settings;
class UiHost;
struct CarState;
struct EngineState;

// LeftPress and Move drag boxes; a release after a drag places them.
enum class ProgramMouseAction { LeftPress, Move, LeftRelease, DoubleClick, RightPress };

// One item of the editor's context menu, for the window to pop up at the
// pointer; choosing it is OnCommand(id).
struct ContextMenuItem {
  int id = 0;
  std::string text;
  bool enabled = true;
  friend bool operator==(const ContextMenuItem&, const ContextMenuItem&) = default;
};

// The enabling rule of the menu and toolbar commands (EvaluateCommand of the
// command table), handed in so that the editor does not keep a copy.
using CommandRule = CommandUpdate (*)(int id, const CommandContext& context);

struct EditorLinks {
  EditorPeers* peers = nullptr;
  CommandDialogs* dialogs = nullptr;  // null: every dialog counts as cancelled
  PositionWindow* positionWindow = nullptr;
  CommandRule rule = nullptr;  // null: every editing command is refused
};

// The flowchart editor of the driving program: selection, insertion,
// editing, deletion, moving, linking, undo and redo, the placing of a
// position command's point with the cheese, and the program canvas.
//
// Threads: everything runs on the window thread except Paint(), which may
// be called from any thread. The driving thread reads the records while a
// run goes on; every change goes through DrivingProgram::Edit, so a run
// never sees half an edit, and no editing command is carried out while
// automatic driving runs.
class ProgramEditor {
 public:
  ProgramEditor(DrivingProgram& program, const Settings& settings, UiHost& ui, EngineState& engine,
                CarState& car, EditorLinks links = {});
  ProgramEditor(const ProgramEditor&) = delete;
  ProgramEditor& operator=(const ProgramEditor&) = delete;

  // The window's parts exist later than the engine's.
  void SetLinks(const EditorLinks& links) { links_ = links; }

  // Reads the pens and the box brush from [EVENT] (start-up, program
  // settings step) and redraws.
  void CreateDrawingObjects();

  // --- drawing
  // Gives the canvas the flowchart as it is now. After every change.
  void RedrawProgram();
  // Makes the client area 640 x 480 and has the view show Paint().
  void ShowProgram();
  // The canvas with the selection frame: what the program view shows.
  QImage Paint() const;
  // The part of it inside `area` (canvas coordinates, clipped to the
  // canvas): what a view scrolled there shows, at the cost of that part.
  QImage Paint(const Rect& area) const;
  // Boxes in rows, one chain a row. After insertion and deletion only.
  void LayoutProgram();

  // --- input
  // The view's mouse in the program view. A right press returns the items
  // of the context menu to pop up at the pointer (none: no menu).
  std::vector<ContextMenuItem> ProgramMouse(ProgramMouseAction action, Point point);
  // Edit-menu, context-menu and command-toolbar commands. True when `id` is
  // one of the editor's (it is carried out only while its rule enables it);
  // false for other commands.
  bool OnCommand(int id);
  // Whether the editor would carry out `id` now.
  bool IsCommandEnabled(int id) const;

  // --- operations (the menu commands call these after their rules)
  void InsertCommand(EventKind kind);
  // Runs the command's dialog; true when it was confirmed (always for the
  // start and end commands, which have none).
  bool EditCommand(int index, bool redraw);
  void DeleteCommand();
  void MoveCommand(int direction);
  void LinkCommand(bool unlink);
  // One step back or forward in the editing history.
  void UndoEdit();
  void RedoEdit();
  // Records the state before an editing operation changes anything.
  void SaveUndo();

  // Placing a position command's point by dragging the cheese, starting at
  // `start` (layout coordinates).
  void BeginPositionDefinition(int index, Point start);
  // OK of the position window or a double-click on the cheese accept; Cancel
  // or closing the window do not. Does nothing when no definition goes on.
  void EndPositionDefinition(bool accept);

  // Writes the whole flowchart, without the selection, as PNG or (for a
  // name ending in ".svg") SVG; false when the file cannot be written.
  bool ExportPicture(const std::string& path);

  // --- dragging boxes
  // The boxes a drag from `index` moves: the box, and its whole chain when
  // it heads one.
  std::vector<int> DragGroup(int index) const;
  // True while a box is being dragged.
  bool Dragging() const { return dragging_; }

  // --- copying and pasting commands (window thread)
  // The selected stretch of a chain, first and last: the range the
  // selection was extended over with Shift; else the selected command, or
  // its whole chain when it heads one, or for the start command the
  // commands after it. nullopt when there is none.
  std::optional<std::pair<int, int>> SelectedStretch() const;
  // Extends the selection along its chain to `index` (Shift+click), or one
  // command further along the chain (Shift+arrow). False when that is not
  // in the selection's chain.
  bool ExtendSelection(int index);
  bool ExtendSelectionByKey(int dx);
  // The selected stretch as clipboard text (FormatStretch); empty when none.
  std::string CopySelection() const;
  // Pastes the commands of clipboard text behind the selected stretch, or
  // as a new chain when nothing is selected; the pasted commands become the
  // selection. MSG_TOO_MANY_COMMANDS when the program would hold too many. False when
  // nothing was pasted.
  bool PasteCommands(std::string_view text);
  // Removes the selected stretch (after the caller has copied it).
  bool CutSelection();
  // Pastes a copy of the selected stretch right behind it.
  bool DuplicateSelection();

  // --- state for the command rules
  CommandContext::Selection SelectionContext() const;
  // Fills selection, undoAvailable and positionDefinition.
  void FillCommandContext(CommandContext& context) const;
  CommandDialogContext DialogContext() const;

  // The size of the picture Paint() returns.
  CanvasSize canvasSize() const;
  // The part of it the boxes use (what the program view scrolls over).
  CanvasSize flowchartExtent() const;

  // --- the program check's findings
  struct CheckMark {
    int command = 0;
    bool error = false;  // a red frame; a warning's is orange
  };
  // The boxes of these commands carry a frame while the flowchart stays as
  // it is now; any change to it takes the frames away.
  void SetCheckMarks(std::vector<CheckMark> marks);
  // True while the flowchart is the one the marks were set for.
  bool CheckMarksCurrent() const;
  // Selects a command (from the findings list) and shows it.
  void SelectCommand(int index);
  // The arrow keys in the program view: left and right go along the chain,
  // up and down to the nearest box of the row above or below; with nothing
  // selected any arrow selects the start command. False when nothing moved
  // (another view, a run, a point being placed, no box that way).
  bool SelectByKey(int dx, int dy);

 private:
  // Runs the record's dialog on a copy; `reference` is set when the position
  // dialog closed with its reference button.
  bool EditRecord(EventRecord& record, std::optional<Point>& reference);
  // A table without room for `needed` more records that still holds deleted
  // ones is compacted as a save does; the selection follows its command to
  // the new index.
  void CompactFullTable(int needed = 1);
  bool CanEditNow() const;
  void ClearStretch();
  void LinkSecondStage(int clicked);
  // A press on a box starts a drag; a move of a few pixels makes it one; the
  // release moves the boxes in one editing step.
  void DragPress(int hit, Point point);
  void DragMove(Point point);
  bool DragRelease(Point point);
  void LeaveLinkMode();
  void Repaint();

  DrivingProgram& program_;
  const Settings& settings_;
  UiHost& ui_;
  EngineState& engine_;
  CarState& car_;
  EditorLinks links_;

  mutable std::mutex canvasMutex_;
  ProgramCanvas canvas_;
  std::vector<CheckMark> checkMarks_;  // under canvasMutex_
  ProgramRecords checkedRecords_{};    // the flowchart the marks belong to
  int checkedCount_ = 0;
  // The range the selection was extended over: valid while the selection is
  // still rangeAnchor_. Written on the window thread, read by Paint().
  std::atomic<int> rangeAnchor_{-1};
  std::atomic<int> rangeLast_{-1};
  // The drag under way: the pressed box (-1: none), where the press was, how
  // far the pointer went (Paint() shows the boxes' outlines there).
  std::atomic<int> dragIndex_{-1};
  Point dragStart_;
  std::atomic<Point> dragOffset_{Point{0, 0}};
  std::atomic<bool> dragging_{false};
};

}  // namespace viren
