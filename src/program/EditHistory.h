#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <optional>

#include "program/EventRecord.h"

namespace viren {

using ProgramRecords = std::array<EventRecord, kProgramSlots>;

// One state of the flowchart: the records and how many of them are in use.
struct ProgramState {
  ProgramRecords records{};
  int count = 1;
};

// True when both states draw and run as the same flowchart: the used
// records agree in every field the editor sets (a run's countdowns and the
// scratch index of a compaction do not count).
bool SameFlowchart(const ProgramState& a, const ProgramState& b);

// The editor's undo and redo history.
//
// Every editing operation records the state it starts from before it
// changes anything. The step only counts once the flowchart has really
// changed: an operation that ends without a change (a delete answered with
// No, link mode entered, a refused link, a cancelled dialog) leaves the
// history as it was, redo steps included. The oldest steps are dropped past
// kDepth. Window thread only.
class EditHistory {
 public:
  static constexpr std::size_t kDepth = 1024;

  // `before` is the state at the start of an editing operation.
  void Record(const ProgramState& before);
  // The state to go back to from `current`, which becomes the first redo
  // step; nothing when there is nothing to undo.
  std::optional<ProgramState> Undo(const ProgramState& current);
  // The state to go forward to from `current`, which becomes an undo step.
  std::optional<ProgramState> Redo(const ProgramState& current);

  bool CanUndo(const ProgramState& current) const;
  bool CanRedo(const ProgramState& current) const;
  // The state the next Undo from `current` returns.
  std::optional<ProgramState> UndoTarget(const ProgramState& current) const;
  // Steps held (after the pending one has been counted against `current`).
  std::size_t UndoDepth(const ProgramState& current) const;

  void Clear();

 private:
  // Turns the pending start state into a step when `current` differs from it.
  void Settle(const ProgramState& current);
  bool PendingChanged(const ProgramState& current) const;
  static void PushBounded(std::deque<ProgramState>& steps, const ProgramState& state);

  std::deque<ProgramState> undo_;  // oldest first
  std::deque<ProgramState> redo_;  // the next redo last
  std::optional<ProgramState> pending_;
};

}  // namespace viren
