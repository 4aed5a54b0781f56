#include "editor/ProgramEditor.h"

#include <QPainter>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>

#include "core/CarState.h"
#include "core/EngineState.h"
#include "core/Messages.h"
#include "core/UiHost.h"
#include "editor/EditorPeers.h"
#include "editor/FlowchartPicture.h"
#include "editor/ProgramLayout.h"
#include "program/CommandClipboard.h"
#include "settings/Settings.h"
#include "vision/CFrameAnalyser.h"

namespace viren {
namespace {

bool UsedIn(const ProgramRecords& r, int count, int i) {
  return i >= 0 && i < count && i < kProgramSlots && r[i].kind != EVENT_FREE;
}

// The last command of the chain through `index` (a damaged chain ends where
// it can no longer be followed).
int ChainEnd(const ProgramRecords& r, int count, int index) {
  int last = index;
  for (int steps = 0; steps < count && UsedIn(r, count, r[last].next); ++steps) last = r[last].next;
  return last;
}

// The commands from `first` along the chain to `last`, the start command
// left out; nullopt when `last` does not follow `first`.
std::optional<std::pair<int, int>> StretchBetween(const ProgramRecords& r, int count, int first,
                                                  int last) {
  if (first == 0) first = r[0].next;
  if (!UsedIn(r, count, first) || !UsedIn(r, count, last)) return std::nullopt;
  if (TakeStretch(r.data(), count, first, last).commands.empty()) return std::nullopt;
  return std::pair{first, last};
}

EventKind KindOfInsertCommand(int id) {
  switch (id) {
    case ID_INSERT_TIMER:
      return EVENT_TIMER;
    case ID_INSERT_CAR:
      return EVENT_CAR;
    case ID_INSERT_STEERING:
      return EVENT_HANDLE;
    case ID_INSERT_POSITION:
      return EVENT_POSITION;
    case ID_INSERT_REPEAT:
      return EVENT_REPEAT;
    case ID_INSERT_SOUND:
      return EVENT_SOUND;
    case ID_INSERT_END:
      return EVENT_END;
    case ID_INSERT_BALL:
      return EVENT_BALL;
    default:
      return EVENT_FREE;
  }
}

bool IsEditorCommand(int id) {
  switch (id) {
    case ID_EDIT_COMMAND:
    case ID_DELETE_COMMAND:
    case ID_MOVE_NEXT:
    case ID_MOVE_PREVIOUS:
    case ID_LINK:
    case ID_UNLINK:
    case ID_UNDO:
    case ID_REDO:
    case ID_INSERT_START:
      return true;
    default:
      return KindOfInsertCommand(id) != EVENT_FREE;
  }
}

}  // namespace

ProgramEditor::ProgramEditor(DrivingProgram& program, const Settings& settings, UiHost& ui,
                             EngineState& engine, CarState& car, EditorLinks links)
    : program_(program), settings_(settings), ui_(ui), engine_(engine), car_(car), links_(links) {
  CreateDrawingObjects();
}

void ProgramEditor::CreateDrawingObjects() {
  const CanvasStyle style = ReadCanvasStyle(settings_, engine_.controlRoboQ);
  {
    std::lock_guard lock(canvasMutex_);
    canvas_.SetStyle(style);
  }
  RedrawProgram();
}

// --- drawing

void ProgramEditor::RedrawProgram() {
  int count = 0;
  const ProgramRecords records = program_.Snapshot(&count);
  // The course range and the control mode may change while the program runs.
  const int courseWidth = settings_.ReadInt(keys::BORDER_WIDTH);
  const int courseHeight = settings_.ReadInt(keys::BORDER_HEIGHT);
  std::lock_guard lock(canvasMutex_);
  CanvasStyle style = canvas_.style();
  style.roboQ = engine_.controlRoboQ;
  style.courseWidth = courseWidth;
  style.courseHeight = courseHeight;
  canvas_.SetStyle(style);
  canvas_.Redraw(records.data(), count);
}

void ProgramEditor::ShowProgram() {
  // While another picture is shown (a point being placed, a file opened in
  // the live view) the canvas waits for the program view.
  if (engine_.viewMode != VIEW_PROGRAM) return;
  if (engine_.clientWidth != kCanvasWidth || engine_.clientHeight != kCanvasHeight) {
    engine_.clientWidth = kCanvasWidth;
    engine_.clientHeight = kCanvasHeight;
    if (links_.peers) links_.peers->ResizeFrameForClient(kCanvasWidth, kCanvasHeight);
  }
  Repaint();
}

void ProgramEditor::Repaint() {
  if (links_.peers) links_.peers->RepaintView();
}

namespace {

// The parts of the records that make the flowchart (a run's countdowns do not).
bool SameFlowchart(const ProgramRecords& a, int countA, const ProgramRecords& b, int countB) {
  if (countA != countB) return false;
  for (int i = 0; i < countA; ++i) {
    const EventRecord& x = a[i];
    const EventRecord& y = b[i];
    if (x.kind != y.kind || x.option != y.option || x.value1 != y.value1 || x.value2 != y.value2 ||
        x.x != y.x || x.y != y.y || x.next != y.next || x.prev != y.prev || x.link != y.link)
      return false;
  }
  return true;
}

}  // namespace

QImage ProgramEditor::Paint() const {
  const CanvasSize size = canvasSize();
  return Paint({0, 0, size.width, size.height});
}

QImage ProgramEditor::Paint(const Rect& area) const {
  const int selection = program_.selection;
  std::optional<EventRecord> selected;
  if (program_.IsUsed(selection)) selected = program_.Record(selection);
  int count = 0;
  const ProgramRecords records = program_.Snapshot(&count);
  const std::vector<int> dragGroup = dragging_ ? DragGroup(dragIndex_) : std::vector<int>{};
  std::optional<std::pair<int, int>> stretch;
  if (rangeAnchor_ == selection && program_.IsUsed(rangeLast_)) stretch = SelectedStretch();
  std::lock_guard lock(canvasMutex_);
  return canvas_.DrawArea(area, [&](QPainter& p) {
    if (selected) canvas_.DrawSelectionFrame(p, *selected);
    if (stretch) {
      // Every command of an extended selection carries the frame.
      for (int i = stretch->first, steps = 0; UsedIn(records, count, i) && steps < count;
           i = records[i].next, ++steps) {
        canvas_.DrawSelectionFrame(p, records[i]);
        if (i == stretch->second) break;
      }
    }
    if (dragging_) {
      // Where the dragged boxes would land: their outlines, dashed.
      const Point offset = dragOffset_;
      p.setPen(QPen(canvas_.style().selectColor, 1, Qt::DashLine));
      p.setBrush(Qt::NoBrush);
      for (int i : dragGroup)
        p.drawRect(records[i].x + offset.x, records[i].y + offset.y, kCommandBoxSize - 1,
                   kCommandBoxSize - 1);
    }
    if (checkMarks_.empty() || !SameFlowchart(records, count, checkedRecords_, checkedCount_))
      return;
    for (const CheckMark& mark : checkMarks_) {
      if (mark.command < 0 || mark.command >= count) continue;
      const EventRecord& r = records[mark.command];
      p.setPen(QPen(mark.error ? QColor(230, 0, 0) : QColor(255, 150, 0), 2));
      p.setBrush(Qt::NoBrush);
      p.drawRect(r.x - 4, r.y - 4, kCommandBoxSize + 8, kCommandBoxSize + 8);
    }
  });
}

CanvasSize ProgramEditor::canvasSize() const {
  std::lock_guard lock(canvasMutex_);
  return canvas_.size();
}

CanvasSize ProgramEditor::flowchartExtent() const {
  int count = 0;
  const ProgramRecords records = program_.Snapshot(&count);
  return FlowchartExtent(records.data(), count);
}

void ProgramEditor::SetCheckMarks(std::vector<CheckMark> marks) {
  int count = 0;
  const ProgramRecords records = program_.Snapshot(&count);
  {
    std::lock_guard lock(canvasMutex_);
    checkMarks_ = std::move(marks);
    checkedRecords_ = records;
    checkedCount_ = count;
  }
  Repaint();
}

bool ProgramEditor::CheckMarksCurrent() const {
  int count = 0;
  const ProgramRecords records = program_.Snapshot(&count);
  std::lock_guard lock(canvasMutex_);
  return SameFlowchart(records, count, checkedRecords_, checkedCount_);
}

void ProgramEditor::SelectCommand(int index) {
  if (!program_.IsUsed(index)) return;
  program_.selection = index;
  ShowProgram();
}

bool ProgramEditor::SelectByKey(int dx, int dy) {
  if (engine_.viewMode != VIEW_PROGRAM || engine_.autoDriving || program_.positionEditIndex != -1)
    return false;
  int count = 0;
  const ProgramRecords r = program_.Snapshot(&count);
  const int from = program_.selection;
  int to = -1;
  if (!UsedIn(r, count, from)) {
    to = 0;
  } else if (dx != 0) {
    const int along = dx > 0 ? r[from].next : r[from].prev;
    if (UsedIn(r, count, along)) to = along;
  } else if (dy != 0) {
    // The nearest row that way, then the box nearest in x.
    long best = -1;
    for (int i = 0; i < count; ++i) {
      if (i == from || !UsedIn(r, count, i)) continue;
      const int rows = (r[i].y - r[from].y) * (dy > 0 ? 1 : -1);
      if (rows <= 0) continue;
      const long score = static_cast<long>(rows) * 10000 + std::abs(r[i].x - r[from].x);
      if (best == -1 || score < best) {
        best = score;
        to = i;
      }
    }
  }
  if (to == -1) return false;
  program_.selection = to;
  ClearStretch();
  ShowProgram();
  return true;
}

void ProgramEditor::LayoutProgram() {
  program_.Edit([](ProgramRecords& r, int& count) { viren::LayoutProgram(r.data(), count); });
}

// --- input

std::vector<ContextMenuItem> ProgramEditor::ProgramMouse(ProgramMouseAction action, Point point) {
  int count = 0;
  const ProgramRecords records = program_.Snapshot(&count);
  const int hit = HitCommand(records.data(), count, point);
  switch (action) {
    case ProgramMouseAction::LeftPress:
      DragPress(hit, point);
      return {};
    case ProgramMouseAction::Move:
      DragMove(point);
      return {};
    case ProgramMouseAction::LeftRelease:
      if (DragRelease(point)) return {};
      break;
    default:
      dragIndex_ = -1;
      break;
  }
  program_.selection = hit;
  ClearStretch();
  const bool running = engine_.autoDriving;

  switch (action) {
    case ProgramMouseAction::LeftPress:
    case ProgramMouseAction::Move:
      return {};
    case ProgramMouseAction::LeftRelease:
      if (hit == -1 || program_.pendingLinkSource == -1 || running)
        ShowProgram();
      else
        LinkSecondStage(hit);
      return {};
    case ProgramMouseAction::DoubleClick:
      ShowProgram();
      if (IsCommandEnabled(ID_EDIT_COMMAND)) EditCommand(hit, true);
      return {};
    case ProgramMouseAction::RightPress:
      break;
  }

  ShowProgram();
  if (hit <= 0) return {};
  const EventRecord& s = records[hit];
  std::vector<ContextMenuItem> items;
  auto add = [&](int id, const char* text) {
    items.push_back(ContextMenuItem{id, text, IsCommandEnabled(id)});
  };
  if (s.kind == EVENT_END) {
    add(ID_DELETE_COMMAND, "削除");
    return items;
  }
  add(ID_EDIT_COMMAND, "編集");
  add(ID_DELETE_COMMAND, "削除");
  if (engine_.viewMode == VIEW_PROGRAM && !running) {
    add(ID_MOVE_NEXT, "次に移動");
    add(ID_MOVE_PREVIOUS, "前に移動");
    add(ID_LINK, s.link == -1 ? "リンク先指定" : "リンク先変更");
    if (s.link != -1) add(ID_UNLINK, "リンク削除");
  }
  return items;
}

bool ProgramEditor::ExportPicture(const std::string& path) {
  RedrawProgram();
  int count = 0;
  const ProgramRecords records = program_.Snapshot(&count);
  std::lock_guard lock(canvasMutex_);
  return ExportFlowchart(canvas_, records.data(), count, path);
}

// --- dragging boxes

namespace {

// A press that moves less than this is a click.
constexpr int kDragThreshold = 4;

}  // namespace

std::vector<int> ProgramEditor::DragGroup(int index) const {
  int count = 0;
  const ProgramRecords r = program_.Snapshot(&count);
  if (!UsedIn(r, count, index)) return {};
  std::vector<int> group{index};
  if (r[index].prev != -1) return group;
  for (int i = r[index].next; UsedIn(r, count, i) && static_cast<int>(group.size()) <= count;
       i = r[i].next)
    group.push_back(i);
  return group;
}

void ProgramEditor::DragPress(int hit, Point point) {
  dragging_ = false;
  dragOffset_ = Point{0, 0};
  // Not in link mode, where a click chooses the target.
  dragIndex_ = CanEditNow() && program_.pendingLinkSource == -1 ? hit : -1;
  dragStart_ = point;
}

void ProgramEditor::DragMove(Point point) {
  if (dragIndex_ == -1) return;
  const Point offset{point.x - dragStart_.x, point.y - dragStart_.y};
  if (!dragging_ && std::abs(offset.x) + std::abs(offset.y) < kDragThreshold) return;
  dragging_ = true;
  dragOffset_ = offset;
  Repaint();
}

bool ProgramEditor::DragRelease(Point point) {
  const int index = dragIndex_.exchange(-1);
  if (!dragging_.exchange(false) || index == -1 || !CanEditNow()) return false;
  const std::vector<int> group = DragGroup(index);
  if (group.empty()) return false;
  int dx = point.x - dragStart_.x;
  int dy = point.y - dragStart_.y;
  // The group stays on the canvas: not left of or above it, not past its bound.
  int left = kCanvasMaxWidth, top = kCanvasMaxHeight, right = 0, bottom = 0;
  for (int i : group) {
    const EventRecord r = program_.Record(i);
    left = std::min<int>(left, r.x);
    top = std::min<int>(top, r.y);
    right = std::max<int>(right, r.x + kCommandBoxSize + kCanvasMargin);
    bottom = std::max<int>(bottom, r.y + kCommandBoxSize + kCanvasMargin);
  }
  dx = std::clamp(dx, -left, std::max(-left, kCanvasMaxWidth - right));
  dy = std::clamp(dy, -top, std::max(-top, kCanvasMaxHeight - bottom));
  if (dx == 0 && dy == 0) return true;
  SaveUndo();
  program_.Edit([&](ProgramRecords& r, int&) {
    for (int i : group) {
      r[i].x = static_cast<std::int16_t>(r[i].x + dx);
      r[i].y = static_cast<std::int16_t>(r[i].y + dy);
    }
  });
  program_.selection = index;
  ClearStretch();
  RedrawProgram();
  ShowProgram();
  return true;
}

bool ProgramEditor::IsCommandEnabled(int id) const {
  if (!IsEditorCommand(id) || links_.rule == nullptr) return false;
  // The program is not changed under a run, nor while a command's point is
  // being placed (its record must stay where it is).
  if (engine_.autoDriving || program_.positionEditIndex != -1) return false;
  CommandContext c;
  c.viewMode = engine_.viewMode;
  c.autoDriving = engine_.autoDriving;
  c.commandCount = program_.count();
  FillCommandContext(c);
  return links_.rule(id, c).enabled;
}

bool ProgramEditor::OnCommand(int id) {
  if (!IsEditorCommand(id)) return false;
  if (!IsCommandEnabled(id)) return true;
  switch (id) {
    case ID_EDIT_COMMAND:
      EditCommand(program_.selection, true);
      break;
    case ID_DELETE_COMMAND:
      DeleteCommand();
      break;
    case ID_MOVE_NEXT:
      MoveCommand(+1);
      break;
    case ID_MOVE_PREVIOUS:
      MoveCommand(-1);
      break;
    case ID_LINK:
      LinkCommand(false);
      break;
    case ID_UNLINK:
      LinkCommand(true);
      break;
    case ID_UNDO:
      UndoEdit();
      break;
    case ID_REDO:
      RedoEdit();
      break;
    default:
      if (const EventKind kind = KindOfInsertCommand(id); kind != EVENT_FREE) InsertCommand(kind);
      break;
  }
  return true;
}

// --- state for the rules

CommandContext::Selection ProgramEditor::SelectionContext() const {
  CommandContext::Selection s;
  int count = 0;
  const ProgramRecords r = program_.Snapshot(&count);
  const int index = program_.selection;
  if (!UsedIn(r, count, index)) return s;
  const EventRecord& e = r[index];
  s.index = index;
  s.isEnd = e.kind == EVENT_END;
  s.isRepeat = e.kind == EVENT_REPEAT;
  s.hasNext = e.next != -1;
  s.nextIsEnd = UsedIn(r, count, e.next) && r[e.next].kind == EVENT_END;
  s.hasPrevious = e.prev != -1;
  s.previousHasPrevious = UsedIn(r, count, e.prev) && r[e.prev].prev != -1;
  s.hasLink = e.link != -1;
  s.hasStretch = SelectedStretch().has_value();
  return s;
}

void ProgramEditor::FillCommandContext(CommandContext& c) const {
  c.selection = SelectionContext();
  c.undoAvailable = program_.CanUndo();
  c.redoAvailable = program_.CanRedo();
  c.positionDefinition = program_.positionEditIndex != -1;
}

CommandDialogContext ProgramEditor::DialogContext() const {
  CommandDialogContext c;
  c.roboQ = engine_.controlRoboQ;
  c.enableTurbo = engine_.enableTurbo;
  const int width = engine_.frameWidth;
  c.cameraWidth = width > 0 ? width : kCanvasWidth;
  c.captureRunning = engine_.captureRunning;
  c.soundCount = links_.peers ? links_.peers->SoundCount() : 0;
  return c;
}

// --- copying and pasting

std::optional<std::pair<int, int>> ProgramEditor::SelectedStretch() const {
  int count = 0;
  const ProgramRecords r = program_.Snapshot(&count);
  const int selection = program_.selection;
  if (!UsedIn(r, count, selection)) return std::nullopt;
  const int anchor = rangeAnchor_;
  const int last = rangeLast_;
  if (anchor == selection && UsedIn(r, count, last) && last != selection) {
    if (auto forward = StretchBetween(r, count, selection, last)) return forward;
    return StretchBetween(r, count, last, selection);
  }
  if (selection == 0) {
    if (!UsedIn(r, count, r[0].next)) return std::nullopt;
    return std::pair{static_cast<int>(r[0].next), ChainEnd(r, count, 0)};
  }
  if (r[selection].prev == -1) return std::pair{selection, ChainEnd(r, count, selection)};
  return std::pair{selection, selection};
}

bool ProgramEditor::ExtendSelection(int index) {
  int count = 0;
  const ProgramRecords r = program_.Snapshot(&count);
  const int selection = program_.selection;
  if (!UsedIn(r, count, selection) || !UsedIn(r, count, index)) return false;
  // Both ends in one chain: one of them follows the other.
  if (!StretchBetween(r, count, selection, index) && !StretchBetween(r, count, index, selection))
    return false;
  rangeAnchor_ = selection;
  rangeLast_ = index;
  Repaint();
  return true;
}

bool ProgramEditor::ExtendSelectionByKey(int dx) {
  if (!CanEditNow()) return false;
  const int selection = program_.selection;
  if (!program_.IsUsed(selection)) return false;
  const int from =
      rangeAnchor_ == selection && program_.IsUsed(rangeLast_) ? rangeLast_.load() : selection;
  const EventRecord r = program_.Record(from);
  const int to = dx > 0 ? r.next : r.prev;
  return program_.IsUsed(to) && ExtendSelection(to);
}

void ProgramEditor::ClearStretch() {
  rangeAnchor_ = -1;
  rangeLast_ = -1;
}

bool ProgramEditor::CanEditNow() const {
  return engine_.viewMode == VIEW_PROGRAM && !engine_.autoDriving &&
         program_.positionEditIndex == -1;
}

std::string ProgramEditor::CopySelection() const {
  const std::optional<std::pair<int, int>> stretch = SelectedStretch();
  if (!stretch) return {};
  int count = 0;
  const ProgramRecords r = program_.Snapshot(&count);
  const CommandStretch taken = TakeStretch(r.data(), count, stretch->first, stretch->second);
  return taken.commands.empty() ? std::string() : FormatStretch(taken);
}

bool ProgramEditor::PasteCommands(std::string_view text) {
  if (!CanEditNow()) return false;
  const std::optional<CommandStretch> stretch = ParseStretch(text);
  if (!stretch) return false;
  const int n = static_cast<int>(stretch->commands.size());
  CompactFullTable(n);
  const std::optional<std::pair<int, int>> selected = SelectedStretch();
  // Behind the selected stretch; behind the start command when it is selected.
  int after = selected ? selected->second : program_.selection.load();
  if (!program_.IsUsed(after)) after = -1;
  SaveUndo();
  int first = -1;
  PasteResult result = PasteResult::NothingToPaste;
  program_.Edit([&](ProgramRecords& r, int& count) {
    result = PasteStretch(r, count, after, *stretch, &first);
    if (result == PasteResult::Pasted) viren::LayoutProgram(r.data(), count);
  });
  if (result == PasteResult::TooMany) ShowMessage(ui_, MSG_TOO_MANY_COMMANDS, MsgIcon::Stop);
  if (result != PasteResult::Pasted) return false;
  program_.selection = first;
  rangeAnchor_ = first;
  rangeLast_ = first + n - 1;
  RedrawProgram();
  ShowProgram();
  return true;
}

bool ProgramEditor::CutSelection() {
  if (!CanEditNow()) return false;
  const std::optional<std::pair<int, int>> stretch = SelectedStretch();
  if (!stretch) return false;
  SaveUndo();
  int before = -2;
  program_.Edit([&](ProgramRecords& r, int& count) {
    before = RemoveStretch(r, count, stretch->first, stretch->second);
    if (before != -2) viren::LayoutProgram(r.data(), count);
  });
  if (before == -2) return false;
  program_.selection = before;
  ClearStretch();
  RedrawProgram();
  ShowProgram();
  return true;
}

bool ProgramEditor::DuplicateSelection() {
  const std::string text = CopySelection();
  if (text.empty()) return false;
  const std::optional<std::pair<int, int>> stretch = SelectedStretch();
  // Behind the stretch itself.
  program_.selection = stretch->first;
  rangeAnchor_ = stretch->first;
  rangeLast_ = stretch->second;
  return PasteCommands(text);
}

// --- editing

void ProgramEditor::SaveUndo() {
  program_.RecordUndoStep();
  program_.modified = true;
}

void ProgramEditor::UndoEdit() {
  if (!program_.UndoStep()) return;
  program_.selection = -1;
  RedrawProgram();
  ShowProgram();
}

void ProgramEditor::RedoEdit() {
  if (!program_.RedoStep()) return;
  program_.selection = -1;
  RedrawProgram();
  ShowProgram();
}

bool ProgramEditor::EditRecord(EventRecord& record, std::optional<Point>& reference) {
  const EventKind kind = static_cast<EventKind>(record.kind);
  if (kind == EVENT_START || kind == EVENT_END) return true;
  if (kind == EVENT_FREE || kind > EVENT_BALL || links_.dialogs == nullptr) return false;
  const CommandDialogContext context = DialogContext();
  if (kind == EVENT_TIMER) {
    int seconds = record.value1;
    int tenths = record.value2;
    if (!links_.dialogs->RunTimeDialog(seconds, tenths, context)) return false;
    record.value1 = static_cast<std::int16_t>(seconds);
    record.value2 = static_cast<std::int16_t>(tenths);
    return true;
  }
  EventDialogValues values = EventValuesOf(record);
  if (kind == EVENT_POSITION) car_.cheesePosition = Point{record.value1, record.value2};
  if (!links_.dialogs->RunEventDialog(kind, values, context)) return false;
  if (kind == EVENT_POSITION && values.option == kReferenceOption) {
    reference = Point{values.value1, values.value2};
    return true;
  }
  StoreEventValues(record, values);
  return true;
}

bool ProgramEditor::EditCommand(int index, bool redraw) {
  if (!program_.IsUsed(index)) return false;
  EventRecord edited = program_.Record(index);
  std::optional<Point> reference;
  if (!EditRecord(edited, reference)) return false;
  if (edited.kind == EVENT_START || edited.kind == EVENT_END) return true;
  SaveUndo();
  if (reference) {
    BeginPositionDefinition(index, *reference);
    RedrawProgram();
    return true;
  }
  program_.Edit([&](ProgramRecords& r, int&) {
    r[index].option = edited.option;
    r[index].value1 = edited.value1;
    r[index].value2 = edited.value2;
  });
  if (redraw) {
    RedrawProgram();
    ShowProgram();
  }
  return true;
}

void ProgramEditor::CompactFullTable(int needed) {
  int count = 0;
  ProgramRecords records = program_.Snapshot(&count);
  if (count + needed <= kMaxCommands) return;
  if (std::none_of(records.begin(), records.begin() + count,
                   [](const EventRecord& e) { return e.kind == EVENT_FREE; }))
    return;
  const int selected = program_.selection;
  const int anchor = rangeAnchor_;
  const int last = rangeLast_;
  program_.Compact();
  records = program_.Snapshot(&count);
  auto moved = [&](int old) {
    for (int i = 0; i < count && old != -1; ++i)
      if (records[i].oldIndex == old) return i;
    return -1;
  };
  program_.selection = moved(selected);
  rangeAnchor_ = moved(anchor);
  rangeLast_ = moved(last);
}

void ProgramEditor::InsertCommand(EventKind kind) {
  if (kind <= EVENT_START || kind > EVENT_BALL) return;
  // The limit counts the commands the user sees, not the deleted ones.
  CompactFullTable();
  int count = 0;
  const ProgramRecords records = program_.Snapshot(&count);
  int selection = program_.selection;
  if (!UsedIn(records, count, selection)) selection = -1;
  // Only a timer may start a chain of its own.
  if (selection == -1 && kind != EVENT_TIMER) return;
  if (selection != -1 && records[selection].kind == EVENT_END) return;

  // The canvas grows with the program (the layout after the insertion
  // places every box): only the number of commands limits an insertion.
  if (count >= kMaxCommands) {
    ShowMessage(ui_, MSG_TOO_MANY_COMMANDS, MsgIcon::Stop);
    return;
  }

  const CommandDialogContext context = DialogContext();
  InsertionContext insertion;
  insertion.roboQ = context.roboQ;
  insertion.escapeDistance = settings_.ReadInt(keys::PM_ESCAPE);
  insertion.cameraWidth = context.cameraWidth;
  EventRecord added = MakeInsertedRecord(kind, insertion);
  added.link = -1;
  std::optional<Point> reference;
  if (kind != EVENT_END && !EditRecord(added, reference)) return;

  // The new record and its links change in one step under the program's
  // lock, so the driving thread never sees a half-linked chain. When the
  // insertion is refused below, the recorded start state is no step.
  program_.RecordUndoStep();
  int added_index = -1;
  program_.Edit([&](ProgramRecords& r, int& n) {
    if (n >= kMaxCommands) return;
    if (selection != -1 && (selection >= n || r[selection].kind == EVENT_FREE)) return;
    // A successor outside the used records (a damaged chain) is never written.
    if (selection != -1 && r[selection].next != -1 && !UsedIn(r, n, r[selection].next)) return;
    added_index = n;
    EventRecord& e = r[added_index];
    e = added;
    if (selection == -1) {
      e.prev = -1;
      e.next = -1;
    } else if (r[selection].next == -1) {
      EventRecord& s = r[selection];
      e.prev = static_cast<std::int16_t>(selection);
      e.next = -1;
      if (s.kind != EVENT_REPEAT) {
        // A jump stays at the chain end.
        e.link = s.link;
        s.link = -1;
      }
      s.next = static_cast<std::int16_t>(added_index);
    } else {
      EventRecord& s = r[selection];
      r[s.next].prev = static_cast<std::int16_t>(added_index);
      e.prev = static_cast<std::int16_t>(selection);
      e.next = s.next;
      s.next = static_cast<std::int16_t>(added_index);
    }
    n = added_index + 1;
    viren::LayoutProgram(r.data(), n);
  });
  if (added_index == -1) return;
  program_.modified = true;
  program_.selection = added_index;
  RedrawProgram();
  ShowProgram();
  if (reference) {
    BeginPositionDefinition(added_index, *reference);
    RedrawProgram();
  }
  // Link mode starts at once: the user clicks the loop-back target.
  if (kind == EVENT_REPEAT) ui_.PostCommand(ID_LINK);
}

void ProgramEditor::DeleteCommand() {
  const int s = program_.selection;
  if (s <= 0 || !program_.IsUsed(s)) return;  // the start command stays
  SaveUndo();
  const EventRecord selected = program_.Record(s);
  if (selected.prev == -1) {
    if (ui_.Message(MSG_DELETE_START_COMMAND, {}, MsgIcon::Question, MsgButtons::YesNo) !=
        MsgAnswer::Yes)
      return;
    program_.Edit([&](ProgramRecords& r, int& count) {
      int steps = 0;
      for (int c = s; UsedIn(r, count, c) && steps <= count; ++steps) {
        for (int i = 0; i < count; ++i)
          if (r[i].link == c) r[i].link = -1;
        const int next = r[c].next;
        r[c].kind = EVENT_FREE;
        r[c].next = r[c].prev = -1;
        c = next;
      }
      viren::LayoutProgram(r.data(), count);
    });
    program_.selection = -1;
  } else {
    if (ui_.Message(MSG_DELETE_COMMAND, {}, MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes)
      return;
    int newSelection = -1;
    program_.Edit([&](ProgramRecords& r, int& count) {
      if (!UsedIn(r, count, s)) return;
      const int next = r[s].next;
      const int prev = r[s].prev;
      // Links into the deleted command go on to its successor.
      for (int i = 0; i < count; ++i)
        if (r[i].link == s) r[i].link = static_cast<std::int16_t>(next);
      if (UsedIn(r, count, prev)) r[prev].next = static_cast<std::int16_t>(next);
      if (next == -1) {
        // A jump moves to the new chain end, unless that is a repeat: the
        // jump would replace the repeat's own loop.
        if (r[s].link != -1 && r[s].kind != EVENT_REPEAT && UsedIn(r, count, prev) &&
            r[prev].kind != EVENT_REPEAT)
          r[prev].link = r[s].link;
      } else if (UsedIn(r, count, next)) {
        r[next].prev = static_cast<std::int16_t>(prev);
      }
      r[s].kind = EVENT_FREE;
      r[s].next = r[s].prev = r[s].link = -1;
      newSelection = prev;
      viren::LayoutProgram(r.data(), count);
    });
    program_.selection = newSelection;
  }
  RedrawProgram();
  ShowProgram();
}

void ProgramEditor::MoveCommand(int direction) {
  const int s = program_.selection;
  if (s <= 0 || !program_.IsUsed(s)) return;
  const EventRecord selected = program_.Record(s);
  const int t = direction > 0 ? selected.next : selected.prev;
  if (!program_.IsUsed(t)) return;
  const EventRecord other = program_.Record(t);
  // The chain head never moves, and an end command stays at the chain end.
  if (selected.kind == EVENT_END || other.kind == EVENT_END || other.prev == -1) return;
  SaveUndo();
  program_.Edit([&](ProgramRecords& r, int&) {
    EventRecord& a = r[s];
    EventRecord& b = r[t];
    if (a.kind == EVENT_REPEAT || b.kind == EVENT_REPEAT) std::swap(a.link, b.link);
    std::swap(a.kind, b.kind);
    std::swap(a.option, b.option);
    std::swap(a.value1, b.value1);
    std::swap(a.value2, b.value2);
    for (EventRecord* e : {&a, &b})
      if (e->kind != EVENT_REPEAT && e->next != -1) e->link = -1;
  });
  RedrawProgram();
  ShowProgram();
}

void ProgramEditor::LinkCommand(bool unlink) {
  const int s = program_.selection;
  if (s <= 0 || !program_.IsUsed(s)) return;
  SaveUndo();
  if (unlink) {
    program_.Edit([&](ProgramRecords& r, int&) { r[s].link = -1; });
    RedrawProgram();
    ShowProgram();
    return;
  }
  // Link mode: the next click on a box chooses the target.
  ui_.SetStatusText(std::string(MessageText(MSG_CLICK_LINK_TARGET)));
  program_.pendingLinkSource = s;
}

void ProgramEditor::LinkSecondStage(int target) {
  const int source = program_.pendingLinkSource;
  const EventRecord from = program_.Record(source);
  // Link mode survives other commands: the source may have been deleted or
  // may no longer stand where a link is allowed.
  const bool stillLinkable = program_.IsUsed(source) && from.kind != EVENT_END && from.prev != -1 &&
                             (from.kind == EVENT_REPEAT || from.next == -1);
  if (!stillLinkable) {
    LeaveLinkMode();
    ShowProgram();
    return;
  }
  SaveUndo();
  int refusal = 0;
  if (program_.Record(target).prev == -1) {
    refusal = MSG_LINK_TO_START;
  } else {
    const int timed = program_.CountTimedCommands(source, target);
    if (timed == -1)
      refusal = MSG_LINK_BACKWARD_ONLY;
    else if (timed == 0)
      refusal = MSG_REPEAT_NEEDS_WAIT;
  }
  if (refusal != 0) {
    ShowProgram();
    if (ui_.Message(refusal, {}, MsgIcon::Stop, MsgButtons::OkCancel) == MsgAnswer::Cancel)
      LeaveLinkMode();
    return;
  }
  program_.Edit(
      [&](ProgramRecords& r, int&) { r[source].link = static_cast<std::int16_t>(target); });
  LeaveLinkMode();
  RedrawProgram();
  ShowProgram();
}

void ProgramEditor::LeaveLinkMode() {
  program_.pendingLinkSource = -1;
  ui_.SetStatusText("");
}

// --- placing a point with the cheese

void ProgramEditor::BeginPositionDefinition(int index, Point start) {
  if (!program_.IsUsed(index)) return;
  if (links_.positionWindow) links_.positionWindow->Close();
  program_.positionEditIndex = index;
  engine_.targetFollowing = true;
  if (engine_.captureRunning) {
    const int width = engine_.frameWidth;
    const int height = engine_.frameHeight;
    if (links_.peers) links_.peers->SetViewMode(VIEW_LIVE);
    car_.cheesePosition = ConvertPosition(start, true, width, height);
    if (links_.peers && width > 0 && height > 0) links_.peers->ResizeFrameForClient(width, height);
  } else {
    if (links_.peers) links_.peers->SetViewMode(VIEW_LAYOUT);
    car_.cheesePosition = start;
  }
  program_.Edit([&](ProgramRecords& r, int&) { r[index].option = POSITION_POINT; });
  ui_.ShowCommandToolbar(false);
  if (links_.positionWindow) links_.positionWindow->Open();
}

void ProgramEditor::EndPositionDefinition(bool accept) {
  const int index = program_.positionEditIndex;
  if (index == -1) return;
  if (accept) {
    Point point = car_.cheesePosition;
    if (engine_.captureRunning)
      point = ConvertPosition(point, false, engine_.frameWidth, engine_.frameHeight);
    program_.Edit([&](ProgramRecords& r, int& count) {
      if (!UsedIn(r, count, index) || r[index].kind != EVENT_POSITION) return;
      r[index].option = POSITION_POINT;
      r[index].value1 = static_cast<std::int16_t>(std::clamp(point.x, 0, kCanvasWidth));
      r[index].value2 = static_cast<std::int16_t>(std::clamp(point.y, 0, kCanvasHeight));
    });
  }
  program_.positionEditIndex = -1;
  engine_.targetFollowing = false;
  if (links_.positionWindow) links_.positionWindow->Close();
  engine_.clientWidth = kCanvasWidth;
  engine_.clientHeight = kCanvasHeight;
  if (links_.peers) {
    links_.peers->ResizeFrameForClient(kCanvasWidth, kCanvasHeight);
    links_.peers->SetViewMode(VIEW_PROGRAM);
  }
  ui_.ShowCommandToolbar(true);
  RedrawProgram();
  ShowProgram();
}

}  // namespace viren
