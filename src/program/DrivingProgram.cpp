#include "program/DrivingProgram.h"

#include <algorithm>
#include <cstring>

namespace viren {

bool IsTimedCommand(const EventRecord& r) {
  switch (r.kind) {
    case EVENT_TIMER:
      return r.value1 > 0 || r.value2 > 0;
    case EVENT_CAR:
      return r.option != CAR_STOP && r.value1 > 0;
    case EVENT_POSITION:
      return true;
    default:
      return false;
  }
}

EventRecord MakeStartRecord() {
  EventRecord r;
  r.kind = EVENT_START;
  r.x = 16;
  r.y = 16;
  return r;
}

EventRecord MakeInsertedRecord(EventKind kind, const InsertionContext& context) {
  if (kind == EVENT_START) return MakeStartRecord();
  EventRecord r;
  r.kind = kind;
  switch (kind) {
    case EVENT_TIMER:
      r.value1 = 1;
      break;
    case EVENT_CAR:
      r.option = context.roboQ ? 2 : CAR_FORWARD;
      break;
    case EVENT_HANDLE:
      r.option = HANDLE_LEFT;
      break;
    case EVENT_POSITION:
      r.value1 = 320;
      r.value2 = 240;
      break;
    case EVENT_REPEAT:
      r.value1 = 1;
      break;
    case EVENT_SOUND:
      r.option = SOUND_ONCE;
      r.value1 = 1;
      break;
    case EVENT_BALL: {
      r.option = BALL_FOLLOW;
      // Without a known capture width the distance is already in the 640 plane.
      const int width = context.cameraWidth > 0 ? context.cameraWidth : 640;
      r.value1 = static_cast<std::int16_t>(context.escapeDistance * 640 / width);
      r.value2 = 1;
      break;
    }
    default:
      break;
  }
  return r;
}

int CountTimedCommands(const EventRecord* records, int count, int source, int target) {
  count = std::clamp(count, 0, kProgramSlots);
  int timed = 0;
  int r = target;
  // A damaged chain may loop; no chain is longer than the used slots.
  for (int steps = 0; steps <= count; ++steps) {
    if (r < 0 || r >= count || records[r].kind == EVENT_FREE) return -1;
    if (IsTimedCommand(records[r])) ++timed;
    if (r == source) return timed;
    r = records[r].next;
  }
  return -1;
}

int CompactProgram(EventRecord* records, int count) {
  count = std::clamp(count, 0, kProgramSlots);
  std::vector<EventRecord> scratch;
  scratch.reserve(count);
  std::vector<bool> consumed(count, false);
  auto usable = [&](int i) {
    return i >= 0 && i < count && !consumed[i] && records[i].kind != EVENT_FREE;
  };
  for (int head = 0; head < count; ++head) {
    if (!usable(head) || records[head].prev != -1) continue;
    int r = head;
    bool first = true;
    while (usable(r)) {
      const int n = static_cast<int>(scratch.size());
      consumed[r] = true;
      const int successor = records[r].next;
      const bool hasNext = usable(successor);
      EventRecord e = records[r];
      e.prev = static_cast<std::int16_t>(first ? -1 : n - 1);
      e.next = static_cast<std::int16_t>(hasNext ? n + 1 : -1);
      e.oldIndex = static_cast<std::int16_t>(r);
      scratch.push_back(e);
      first = false;
      r = hasNext ? successor : -1;
    }
  }
  for (EventRecord& e : scratch) {
    if (e.link == -1) continue;
    auto target = std::find_if(scratch.begin(), scratch.end(),
                               [&](const EventRecord& s) { return s.oldIndex == e.link; });
    e.link = static_cast<std::int16_t>(target == scratch.end() ? -1 : target - scratch.begin());
  }
  const int n = static_cast<int>(scratch.size());
  std::copy(scratch.begin(), scratch.end(), records);
  std::fill(records + n, records + count, EventRecord{});
  return n;
}

DrivingProgram::DrivingProgram() {
  ResetToStart();
}

void DrivingProgram::ResetToStart() {
  {
    std::lock_guard lock(mutex_);
    records_.fill(EventRecord{});
    records_[0] = MakeStartRecord();
    count_ = 1;
  }
  selection = 0;
  pendingLinkSource = -1;
  positionEditIndex = -1;
  modified = false;
}

void DrivingProgram::DiscardToStart() {
  {
    std::lock_guard lock(mutex_);
    count_ = 1;
    records_[0].next = -1;
  }
  selection = 0;
  modified = false;
}

void DrivingProgram::ClearUndoHistory() {
  std::lock_guard lock(mutex_);
  history_.Clear();
}

void DrivingProgram::RecordUndoStep() {
  std::lock_guard lock(mutex_);
  history_.Record(ProgramState{records_, count_});
}

bool DrivingProgram::ApplyStep(
    std::optional<ProgramState> (EditHistory::*step)(const ProgramState&)) {
  std::lock_guard lock(mutex_);
  const std::optional<ProgramState> target = (history_.*step)(ProgramState{records_, count_});
  if (!target) return false;
  records_ = target->records;
  count_ = target->count;
  return true;
}

bool DrivingProgram::UndoStep() {
  return ApplyStep(&EditHistory::Undo);
}

bool DrivingProgram::RedoStep() {
  return ApplyStep(&EditHistory::Redo);
}

bool DrivingProgram::CanUndo() const {
  std::lock_guard lock(mutex_);
  return history_.CanUndo(ProgramState{records_, count_});
}

bool DrivingProgram::CanRedo() const {
  std::lock_guard lock(mutex_);
  return history_.CanRedo(ProgramState{records_, count_});
}

std::optional<ProgramState> DrivingProgram::UndoTarget() const {
  std::lock_guard lock(mutex_);
  return history_.UndoTarget(ProgramState{records_, count_});
}

std::size_t DrivingProgram::UndoDepth() const {
  std::lock_guard lock(mutex_);
  return history_.UndoDepth(ProgramState{records_, count_});
}

int DrivingProgram::count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

EventRecord DrivingProgram::Record(int index) const {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= kProgramSlots) return EventRecord{};
  return records_[index];
}

void DrivingProgram::SetRecord(int index, const EventRecord& record) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= kProgramSlots) return;
  records_[index] = record;
}

bool DrivingProgram::Replace(const EventRecord* records, int count) {
  if (count < 1 || count > kProgramSlots) return false;
  std::lock_guard lock(mutex_);
  std::copy(records, records + count, records_.begin());
  std::fill(records_.begin() + count, records_.end(), EventRecord{});
  count_ = count;
  return true;
}

ProgramRecords DrivingProgram::Snapshot(int* count) const {
  std::lock_guard lock(mutex_);
  if (count) *count = count_;
  return records_;
}

int DrivingProgram::CountTimedCommands(int source, int target) const {
  std::lock_guard lock(mutex_);
  return viren::CountTimedCommands(records_.data(), count_, source, target);
}

void DrivingProgram::Compact() {
  std::lock_guard lock(mutex_);
  const int n = CompactProgram(records_.data(), count_);
  if (n == 0) {
    // Nothing was reachable (record 0 damaged): keep a runnable start command.
    records_[0] = MakeStartRecord();
    count_ = 1;
    return;
  }
  count_ = n;
}

bool DrivingProgram::IsUsed(int index) const {
  std::lock_guard lock(mutex_);
  return index >= 0 && index < count_ && records_[index].kind != EVENT_FREE;
}

std::vector<int> DrivingProgram::ArmForRun() {
  std::vector<int> sounds;
  std::lock_guard lock(mutex_);
  for (int i = 0; i < count_; ++i) {
    EventRecord& r = records_[i];
    if (r.kind == EVENT_REPEAT) r.repeatLeft = r.value1;
    if (r.kind == EVENT_SOUND) sounds.push_back(r.value1);
  }
  return sounds;
}

int DrivingProgram::CountDownRepeat(int index) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= count_) return 0;
  EventRecord& r = records_[index];
  // The countdown stays at or below 0 once it has run out (no wrap-around).
  if (r.repeatLeft > -32768) --r.repeatLeft;
  return r.repeatLeft;
}

}  // namespace viren
