// The history's own rules, without the editor: the depth bound, steps that
// change nothing, and what counts as a change.
#include <gtest/gtest.h>

#include "program/DrivingProgram.h"
#include "program/EditHistory.h"

namespace viren {
namespace {

ProgramState WithTimer(int seconds) {
  ProgramState s;
  s.records[0].kind = EVENT_START;
  s.records[0].next = 1;
  s.records[1].kind = EVENT_TIMER;
  s.records[1].value1 = static_cast<std::int16_t>(seconds);
  s.records[1].prev = 0;
  s.records[1].next = -1;
  s.count = 2;
  return s;
}

TEST(UndoHistory, keepsTheNewestStepsUpToItsDepth) {
  EditHistory history;
  const int edits = static_cast<int>(EditHistory::kDepth) + 50;
  for (int i = 0; i < edits; ++i) history.Record(WithTimer(i));
  ProgramState now = WithTimer(edits);
  EXPECT_EQ(history.UndoDepth(now), EditHistory::kDepth);
  int undone = 0;
  while (std::optional<ProgramState> back = history.Undo(now)) {
    now = *back;
    ++undone;
  }
  EXPECT_EQ(undone, static_cast<int>(EditHistory::kDepth));
  EXPECT_EQ(now.records[1].value1, edits - static_cast<int>(EditHistory::kDepth));
  int redone = 0;
  while (std::optional<ProgramState> forward = history.Redo(now)) {
    now = *forward;
    ++redone;
  }
  EXPECT_EQ(redone, undone);
  EXPECT_EQ(now.records[1].value1, edits);
}

TEST(UndoHistory, whatARunOrAFreedSlotsLeftoversChangeIsNoStep) {
  ProgramState a = WithTimer(3);
  ProgramState b = a;
  b.records[1].repeatLeft = 7;  // a run's countdown
  b.records[1].oldIndex = 5;    // a compaction's scratch
  b.records[5].option = 2;      // beyond the used records
  EXPECT_TRUE(SameFlowchart(a, b));
  b.records[1].x = 72;  // a box moved
  EXPECT_FALSE(SameFlowchart(a, b));
  b = a;
  b.records[1].kind = EVENT_FREE;
  ProgramState c = b;
  c.records[1].value1 = 9;  // a free slot's old values do not matter...
  EXPECT_TRUE(SameFlowchart(b, c));
  c.records[1].y = 72;  // ...its place does: the next insertion looks at it
  EXPECT_FALSE(SameFlowchart(b, c));

  EditHistory history;
  history.Record(a);
  EXPECT_FALSE(history.CanUndo(a));
  history.Record(a);  // the first operation changed nothing
  EXPECT_TRUE(history.CanUndo(WithTimer(4)));
  EXPECT_EQ(history.UndoDepth(WithTimer(4)), 1u);
}

TEST(UndoHistory, aProgramChangedBehindTheEditorsBackIsUndoneToTheLastEdit) {
  // The program interface loads a file on its own thread without a step;
  // undo then goes back to the state before the last edit and redo brings
  // the loaded program back.
  DrivingProgram program;
  program.RecordUndoStep();
  const ProgramState loaded = WithTimer(8);
  ASSERT_TRUE(program.Replace(loaded.records.data(), loaded.count));
  ASSERT_TRUE(program.UndoStep());
  EXPECT_EQ(program.count(), 1);
  ASSERT_TRUE(program.RedoStep());
  EXPECT_EQ(program.Record(1).value1, 8);
  EXPECT_FALSE(program.RedoStep());
}

}  // namespace
}  // namespace viren
