#pragma once

#include <array>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "program/EditHistory.h"
#include "program/EventRecord.h"

namespace viren {

// Counts the timed commands from `target` along the chain up to and including
// `source`; -1 when the chain ends (or leaves the used slots, or loops) before
// `source` is met. With target == source it counts that one record.
int CountTimedCommands(const EventRecord* records, int count, int source, int target);

// Renumbers the records so that every chain occupies consecutive indexes in
// chain order, the start chain first, free and orphaned slots dropped, links
// following their targets. Returns the new count. Damaged links (indexes out
// of range, loops in a chain) never lead outside the array.
int CompactProgram(EventRecord* records, int count);

// The one driving program of the engine.
//
// The records are read by the driving thread while a run goes on and changed
// by the editor and the file operations on the window thread (and by the
// program interface's load): every access to them goes through this class
// under its lock, so a run never reads a half-written record.
class DrivingProgram {
 public:
  DrivingProgram();

  // Start-only program: record 0 the start command at (16, 16), count 1,
  // selection 0, no pending link or position edit, not modified.
  void ResetToStart();
  // count := 1 and the start command loses its successor (NewProgram).
  void DiscardToStart();

  int count() const;
  EventRecord Record(int index) const;  // a free record for a bad index
  void SetRecord(int index, const EventRecord& record);
  // Replaces all records; `count` must be 1..100.
  bool Replace(const EventRecord* records, int count);
  ProgramRecords Snapshot(int* count = nullptr) const;

  // Runs `edit` (ProgramRecords&, int& count) under the lock. For the editor.
  template <class Fn>
  auto Edit(Fn&& edit) {
    std::lock_guard lock(mutex_);
    return edit(records_, count_);
  }

  int CountTimedCommands(int source, int target) const;
  void Compact();

  // True for an index of a used slot (0..count-1, kind not free).
  bool IsUsed(int index) const;

  // Run support: sets every repeat's countdown to its pass count and returns
  // the sound numbers the program plays, in record order.
  std::vector<int> ArmForRun();
  // Counts a repeat down by one and returns what is left.
  int CountDownRepeat(int index);

  // Editor and run state that other threads read.
  std::atomic<int> selection{0};  // during a run: the command being executed
  std::atomic<bool> modified{false};
  std::atomic<int> pendingLinkSource{-1};
  std::atomic<int> positionEditIndex{-1};  // a command's point is being placed

  // --- undo and redo (window thread only)
  // Records the state an editing operation starts from; the step counts
  // once the flowchart has changed (see EditHistory).
  void RecordUndoStep();
  // Go back or forward one step; false when there is none.
  bool UndoStep();
  bool RedoStep();
  bool CanUndo() const;
  bool CanRedo() const;
  // The flowchart the next UndoStep brings back.
  std::optional<ProgramState> UndoTarget() const;
  std::size_t UndoDepth() const;
  // Forgets every undo and redo step (a program replaced from outside the
  // editor is not undone into the old one).
  void ClearUndoHistory();

  // Window thread only.
  std::string fileName;

 private:
  bool ApplyStep(std::optional<ProgramState> (EditHistory::*step)(const ProgramState&));

  mutable std::mutex mutex_;
  ProgramRecords records_{};
  int count_ = 1;
  EditHistory history_;  // window thread only; read under mutex_ with the records
};

}  // namespace viren
