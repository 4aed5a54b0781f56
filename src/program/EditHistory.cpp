#include "program/EditHistory.h"

#include <algorithm>

namespace viren {

bool SameFlowchart(const ProgramState& a, const ProgramState& b) {
  if (a.count != b.count) return false;
  for (int i = 0; i < a.count && i < kProgramSlots; ++i) {
    const EventRecord& x = a.records[i];
    const EventRecord& y = b.records[i];
    if (x.kind != y.kind) return false;
    // A free slot keeps the place it last had: the next insertion looks at it.
    if (x.x != y.x || x.y != y.y) return false;
    if (x.kind == EVENT_FREE) continue;
    if (x.option != y.option || x.value1 != y.value1 || x.value2 != y.value2 || x.next != y.next ||
        x.prev != y.prev || x.link != y.link)
      return false;
  }
  return true;
}

void EditHistory::PushBounded(std::deque<ProgramState>& steps, const ProgramState& state) {
  steps.push_back(state);
  while (steps.size() > kDepth) steps.pop_front();
}

bool EditHistory::PendingChanged(const ProgramState& current) const {
  return pending_ && !SameFlowchart(*pending_, current);
}

void EditHistory::Settle(const ProgramState& current) {
  if (PendingChanged(current)) {
    PushBounded(undo_, *pending_);
    redo_.clear();
  }
  pending_.reset();
}

void EditHistory::Record(const ProgramState& before) {
  Settle(before);
  pending_ = before;
}

std::optional<ProgramState> EditHistory::Undo(const ProgramState& current) {
  Settle(current);
  // A step equal to the present (the program may have been replaced from
  // outside the editor with what it was) would make Undo look dead: skip it.
  while (!undo_.empty() && SameFlowchart(undo_.back(), current)) undo_.pop_back();
  if (undo_.empty()) return std::nullopt;
  ProgramState target = undo_.back();
  undo_.pop_back();
  PushBounded(redo_, current);
  return target;
}

std::optional<ProgramState> EditHistory::Redo(const ProgramState& current) {
  Settle(current);
  if (redo_.empty()) return std::nullopt;
  ProgramState target = redo_.back();
  redo_.pop_back();
  PushBounded(undo_, current);
  return target;
}

bool EditHistory::CanUndo(const ProgramState& current) const {
  return PendingChanged(current) || !undo_.empty();
}

bool EditHistory::CanRedo(const ProgramState& current) const {
  return !PendingChanged(current) && !redo_.empty();
}

std::optional<ProgramState> EditHistory::UndoTarget(const ProgramState& current) const {
  if (PendingChanged(current)) return pending_;
  if (undo_.empty()) return std::nullopt;
  return undo_.back();
}

std::size_t EditHistory::UndoDepth(const ProgramState& current) const {
  return std::min(kDepth, undo_.size() + (PendingChanged(current) ? 1 : 0));
}

void EditHistory::Clear() {
  undo_.clear();
  redo_.clear();
  pending_.reset();
}

}  // namespace viren
