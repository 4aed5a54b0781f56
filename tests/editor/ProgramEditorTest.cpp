// Editing a real driving program: insertion with its room checks, deletion,
// moving, linking with its refusals, undo, the context menu and the placing
// of a point, with the messages the user sees.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "EditorRig.h"
#include "editor/ProgramLayout.h"

namespace viren {
namespace {

using test::EditorRig;

class ProgramEditorTest : public ::testing::Test {
 protected:
  // Start -> timer -> car -> handle; returns the indexes of the three.
  std::array<int, 3> ThreeCommands() {
    rig.Select(0);
    const int timer = rig.Insert(EVENT_TIMER);
    const int car = rig.Insert(EVENT_CAR);
    const int handle = rig.Insert(EVENT_HANDLE);
    return {timer, car, handle};
  }
  EditorRig rig;
};

TEST_F(ProgramEditorTest, nineInsertionsFillTheFirstRowAndTheTenthStartsTheNext) {
  rig.Select(0);
  for (int i = 1; i <= 9; ++i) {
    ASSERT_EQ(rig.Insert(EVENT_TIMER), i);
    EXPECT_EQ(rig.At(i).x, 16 + 56 * i);
    EXPECT_EQ(rig.At(i).y, 16);
  }
  EXPECT_EQ(rig.At(9).x, 520);
  ASSERT_EQ(rig.Insert(EVENT_TIMER), 10);
  EXPECT_EQ(rig.At(10).x, 16);
  EXPECT_EQ(rig.At(10).y, 72);
  // The chain line runs down into the gap between the rows.
  const ProgramRecords records = rig.program.Snapshot();
  bool foundDown = false;
  for (const ConnectionLine& line : ConnectionRoutes(records.data(), rig.program.count())) {
    if (line.from != 9 || line.isLink) continue;
    foundDown = true;
    EXPECT_EQ(line.points[2].y, 64);
    EXPECT_EQ(line.points[3].y, 64);
  }
  EXPECT_TRUE(foundDown);
  EXPECT_TRUE(rig.program.modified);
  EXPECT_TRUE(rig.ui.messages().empty());
}

TEST_F(ProgramEditorTest, withNothingSelectedOnlyTheTimerStartsANewChain) {
  ThreeCommands();
  rig.Select(-1);
  for (int id : {ID_INSERT_START, ID_INSERT_CAR, ID_INSERT_STEERING, ID_INSERT_POSITION,
                 ID_INSERT_REPEAT, ID_INSERT_SOUND, ID_INSERT_END, ID_INSERT_BALL})
    EXPECT_FALSE(rig.Enabled(id)) << id;
  EXPECT_TRUE(rig.Enabled(ID_INSERT_TIMER));
  EXPECT_EQ(rig.Insert(EVENT_CAR), -1);
  const int head = rig.Insert(EVENT_TIMER);
  ASSERT_EQ(head, 4);
  EXPECT_EQ(rig.At(head).prev, -1);
  EXPECT_EQ(rig.At(head).next, -1);
  EXPECT_EQ(rig.At(head).x, 16);
  EXPECT_EQ(rig.At(head).y, 72);
  EXPECT_EQ(rig.ChainKinds(0),
            (std::vector<int>{EVENT_START, EVENT_TIMER, EVENT_CAR, EVENT_HANDLE}));
}

TEST_F(ProgramEditorTest, insertionTakesTheDefaultsAndTheDialogValues) {
  rig.Select(0);
  rig.dialogs.timers.push_back([](int& s, int& t) {
    EXPECT_EQ(s, 1);  // a new timer offers one second
    EXPECT_EQ(t, 0);
    s = 2;
    t = 5;
    return true;
  });
  const int timer = rig.Insert(EVENT_TIMER);
  EXPECT_EQ(rig.At(timer).value1, 2);
  EXPECT_EQ(rig.At(timer).value2, 5);

  rig.engine.frameWidth = 320;
  rig.dialogs.events.push_back([](EventKind kind, EventDialogValues& v) {
    EXPECT_EQ(kind, EVENT_BALL);
    EXPECT_EQ(v.option, BALL_FOLLOW);
    EXPECT_EQ(v.value1, 200);  // EscapeDistance 100 in a 320-pixel camera
    EXPECT_EQ(v.check, 1);
    v.option = BALL_AVOID;
    v.value1 = 50;
    v.check = 0;
    return true;
  });
  const int ball = rig.Insert(EVENT_BALL);
  EXPECT_EQ(rig.At(ball).option, BALL_AVOID);
  EXPECT_EQ(rig.At(ball).value1, 50);
  EXPECT_EQ(rig.At(ball).value2, 0);
  EXPECT_EQ(rig.dialogs.lastContext.cameraWidth, 320);
  EXPECT_EQ(rig.dialogs.lastContext.soundCount, 3);

  // The end command has no dialog.
  const int dialogs = rig.dialogs.eventDialogs + rig.dialogs.timeDialogs;
  EXPECT_GT(rig.Insert(EVENT_END), 0);
  EXPECT_EQ(rig.dialogs.eventDialogs + rig.dialogs.timeDialogs, dialogs);
  EXPECT_EQ(rig.ChainKinds(), (std::vector<int>{EVENT_START, EVENT_TIMER, EVENT_BALL, EVENT_END}));
}

TEST_F(ProgramEditorTest, aCancelledDialogInsertsNothingAndKeepsTheUndoCopy) {
  ThreeCommands();
  const std::size_t undoDepth = rig.program.UndoDepth();
  rig.dialogs.events.push_back([](EventKind, EventDialogValues&) { return false; });
  EXPECT_EQ(rig.Insert(EVENT_SOUND), -1);
  EXPECT_EQ(rig.program.count(), 4);
  EXPECT_EQ(rig.program.UndoDepth(), undoDepth);
  EXPECT_EQ(rig.ChainKinds().size(), 4u);
}

TEST_F(ProgramEditorTest, insertingInTheMiddleKeepsTheChainLinkedBothWays) {
  const auto [timer, car, handle] = ThreeCommands();
  rig.Select(timer);
  const int sound = rig.Insert(EVENT_SOUND);
  EXPECT_EQ(rig.ChainKinds(),
            (std::vector<int>{EVENT_START, EVENT_TIMER, EVENT_SOUND, EVENT_CAR, EVENT_HANDLE}));
  EXPECT_EQ(rig.At(sound).prev, timer);
  EXPECT_EQ(rig.At(car).prev, sound);
  EXPECT_EQ(rig.At(sound).x, 128);
  EXPECT_EQ(rig.At(handle).x, 240);
}

TEST_F(ProgramEditorTest, aJumpMovesToACommandInsertedAfterTheChainEndButALoopStays) {
  const auto [timer, car, handle] = ThreeCommands();
  rig.program.Edit([&](ProgramRecords& r, int&) { r[handle].link = static_cast<int16_t>(timer); });
  rig.Select(handle);
  const int sound = rig.Insert(EVENT_SOUND);
  EXPECT_EQ(rig.At(handle).link, -1);
  EXPECT_EQ(rig.At(sound).link, timer);

  rig.Select(sound);
  rig.dialogs.events.push_back([](EventKind, EventDialogValues& v) {
    v.value1 = 3;
    return true;
  });
  const int repeat = rig.Insert(EVENT_REPEAT);
  EXPECT_EQ(rig.At(repeat).link, timer);  // the jump went on to the repeat
  rig.program.Edit([&](ProgramRecords& r, int&) { r[repeat].link = static_cast<int16_t>(car); });
  rig.Select(repeat);
  const int end = rig.Insert(EVENT_END);
  EXPECT_EQ(rig.At(repeat).link, car);
  EXPECT_EQ(rig.At(end).link, -1);
}

TEST_F(ProgramEditorTest, theNinetyNinthCommandIsTheLastAndTheCanvasGrowsToHoldIt) {
  rig.Select(0);
  int inserted = 0;
  while (rig.ui.messages().empty() && inserted < 100) {
    if (rig.Insert(EVENT_TIMER) == -1) break;
    ++inserted;
  }
  // Ten rows of ten boxes, the last row below the first 640 x 480.
  EXPECT_EQ(rig.program.count(), 99);
  EXPECT_EQ(rig.ui.messageIds(), std::vector<int>{MSG_TOO_MANY_COMMANDS});
  EXPECT_EQ(rig.dialogs.timeDialogs, 98);  // no dialog for the refused one
  EXPECT_EQ(rig.At(98).y, 16 + 9 * 56);
  EXPECT_EQ(rig.editor.canvasSize(), (CanvasSize{640, 16 + 9 * 56 + 40 + kCanvasMargin}));
  EXPECT_EQ(rig.editor.Paint().height(), rig.editor.canvasSize().height);
  // A view scrolled anywhere shows just that part of the whole picture,
  // selection frame included; beyond the canvas there is nothing more.
  const QImage whole = rig.editor.Paint();
  for (const Rect area : {Rect{0, 0, 640, 480}, Rect{37, 250, 357, 490}, Rect{-20, 500, 300, 900},
                          Rect{600, 0, 700, 50}}) {
    const QRect inside =
        QRect(area.left, area.top, area.right - area.left, area.bottom - area.top) & whole.rect();
    EXPECT_EQ(rig.editor.Paint(area), whole.copy(inside)) << area.left << "," << area.top;
  }

  // 99 slots, all but the start deleted: compacted first, so there is room.
  ProgramRecords many{};
  many[0] = MakeStartRecord();
  for (int i = 1; i < 99; ++i) many[i].kind = EVENT_FREE;
  rig.program.Replace(many.data(), 99);
  rig.Select(0);
  rig.editor.OnCommand(ID_INSERT_TIMER);  // the count shrinks: not through rig.Insert
  EXPECT_EQ(rig.program.count(), 2);
  EXPECT_EQ(rig.program.selection, 1);
  EXPECT_EQ(rig.ui.messageIds(), std::vector<int>{MSG_TOO_MANY_COMMANDS});
}

TEST_F(ProgramEditorTest, aNewRepeatEntersLinkModeAndTheLinkIsCheckedOnEachClick) {
  const auto [timer, car, handle] = ThreeCommands();
  rig.Select(handle);
  const int repeat = rig.Insert(EVENT_REPEAT);
  EXPECT_EQ(rig.ui.postedCommands(), std::vector<int>{ID_LINK});
  rig.editor.OnCommand(ID_LINK);  // the posted command arrives
  EXPECT_EQ(rig.program.pendingLinkSource, repeat);
  EXPECT_EQ(rig.ui.statusText, "リンク先のコマンドをクリックしてください");

  rig.ui.ScriptAnswer(MsgAnswer::Ok);
  rig.Click(0);  // the start command heads the chain
  rig.ui.ScriptAnswer(MsgAnswer::Ok);
  rig.Click(repeat);  // no timed command between
  rig.ui.ScriptAnswer(MsgAnswer::Ok);
  rig.Click(handle);  // a handle turn is not timed
  EXPECT_EQ(rig.ui.messageIds(),
            (std::vector<int>{MSG_LINK_TO_START, MSG_REPEAT_NEEDS_WAIT, MSG_REPEAT_NEEDS_WAIT}));
  for (const auto& m : rig.ui.messages()) EXPECT_EQ(m.buttons, MsgButtons::OkCancel);
  EXPECT_EQ(rig.program.pendingLinkSource, repeat);  // OK keeps link mode
  EXPECT_EQ(rig.At(repeat).link, -1);

  // A click beside every box only clears the frame.
  rig.editor.ProgramMouse(ProgramMouseAction::LeftRelease, Point{600, 400});
  EXPECT_EQ(rig.program.selection, -1);
  EXPECT_EQ(rig.program.pendingLinkSource, repeat);

  rig.Click(timer);
  EXPECT_EQ(rig.At(repeat).link, timer);
  EXPECT_EQ(rig.program.pendingLinkSource, -1);
  EXPECT_EQ(rig.ui.statusText, "");
  (void)car;
}

TEST_F(ProgramEditorTest, cancelInALinkMessageLeavesLinkMode) {
  const auto [timer, car, handle] = ThreeCommands();
  rig.Select(handle);
  rig.editor.OnCommand(ID_LINK);
  rig.ui.ScriptAnswer(MsgAnswer::Cancel);
  rig.Click(0);
  EXPECT_EQ(rig.program.pendingLinkSource, -1);
  EXPECT_EQ(rig.ui.statusText, "");
  EXPECT_EQ(rig.At(handle).link, -1);
  (void)timer;
  (void)car;
}

TEST_F(ProgramEditorTest, linksGoOnlyBackwardsOverATimedCommand) {
  const auto [timer, car, handle] = ThreeCommands();
  // Only a chain end or a repeat links.
  rig.Select(timer);
  EXPECT_FALSE(rig.Enabled(ID_LINK));
  rig.editor.OnCommand(ID_LINK);
  EXPECT_EQ(rig.program.pendingLinkSource, -1);

  // handle -> car: a car that drives no distance is not timed.
  rig.Select(handle);
  rig.editor.OnCommand(ID_LINK);
  rig.ui.ScriptAnswer(MsgAnswer::Ok);
  rig.Click(car);
  EXPECT_EQ(rig.ui.messageIds(), std::vector<int>{MSG_REPEAT_NEEDS_WAIT});
  rig.program.Edit([&](ProgramRecords& r, int&) { r[car].value1 = 40; });
  rig.Click(car);
  EXPECT_EQ(rig.At(handle).link, car);

  // A repeat in mid-chain cannot link forwards.
  rig.Select(timer);
  const int repeat = rig.Insert(EVENT_REPEAT);
  rig.editor.OnCommand(ID_LINK);
  rig.ui.ScriptAnswer(MsgAnswer::Cancel);
  rig.Click(handle);
  EXPECT_EQ(rig.ui.messageIds(), (std::vector<int>{MSG_REPEAT_NEEDS_WAIT, MSG_LINK_BACKWARD_ONLY}));
  EXPECT_EQ(rig.At(repeat).link, -1);
}

TEST_F(ProgramEditorTest, aChainEndTimerMayLinkToItself) {
  const auto [timer, car, handle] = ThreeCommands();
  rig.Select(handle);
  const int last = rig.Insert(EVENT_TIMER);
  rig.editor.OnCommand(ID_LINK);
  rig.Click(last);
  EXPECT_EQ(rig.At(last).link, last);
  EXPECT_TRUE(rig.ui.messages().empty());
  (void)timer;
  (void)car;
}

TEST_F(ProgramEditorTest, linkModeEndsQuietlyWhenItsSourceWasDeleted) {
  const auto [timer, car, handle] = ThreeCommands();
  rig.Select(handle);
  rig.editor.OnCommand(ID_LINK);
  rig.ui.ScriptAnswer(MsgAnswer::Yes);
  rig.editor.OnCommand(ID_DELETE_COMMAND);
  rig.Click(timer);
  EXPECT_EQ(rig.program.pendingLinkSource, -1);
  EXPECT_EQ(rig.At(car).link, -1);
  EXPECT_EQ(rig.At(timer).link, -1);
}

TEST_F(ProgramEditorTest, deletingALinkTargetMovesTheLinkToItsSuccessor) {
  const auto [timer, car, handle] = ThreeCommands();
  rig.Select(handle);
  const int repeat = rig.Insert(EVENT_REPEAT);
  rig.program.Edit([&](ProgramRecords& r, int&) { r[repeat].link = static_cast<int16_t>(car); });
  rig.Select(car);
  rig.ui.ScriptAnswer(MsgAnswer::Yes);
  rig.editor.OnCommand(ID_DELETE_COMMAND);
  EXPECT_EQ(rig.ui.messages().back().id, MSG_DELETE_COMMAND);
  EXPECT_EQ(rig.ui.messages().back().buttons, MsgButtons::YesNo);
  EXPECT_EQ(rig.At(repeat).link, handle);
  EXPECT_EQ(rig.At(car).kind, EVENT_FREE);
  EXPECT_EQ(rig.program.selection, timer);
  EXPECT_EQ(rig.ChainKinds(),
            (std::vector<int>{EVENT_START, EVENT_TIMER, EVENT_HANDLE, EVENT_REPEAT}));
  EXPECT_EQ(rig.At(handle).prev, timer);
  EXPECT_EQ(rig.At(handle).x, 128);   // laid out again
  EXPECT_EQ(rig.program.count(), 5);  // the hole stays until the program is saved
}

TEST_F(ProgramEditorTest, deletingTheChainEndMovesItsJumpAndDropsLinksToIt) {
  const auto [timer, car, handle] = ThreeCommands();
  rig.program.Edit([&](ProgramRecords& r, int&) { r[handle].link = static_cast<int16_t>(timer); });
  rig.Select(handle);
  rig.ui.ScriptAnswer(MsgAnswer::Yes);
  rig.editor.DeleteCommand();
  EXPECT_EQ(rig.At(car).link, timer);
  EXPECT_EQ(rig.At(car).next, -1);

  // The car (now the end) linked to itself: the link disappears with it.
  rig.program.Edit([&](ProgramRecords& r, int&) { r[car].link = static_cast<int16_t>(car); });
  rig.Select(car);
  rig.ui.ScriptAnswer(MsgAnswer::Yes);
  rig.editor.DeleteCommand();
  EXPECT_EQ(rig.At(timer).link, -1);
  EXPECT_EQ(rig.At(timer).next, -1);

  // Before it a repeat: the repeat keeps its own loop, the jump goes.
  rig.Select(timer);
  rig.dialogs.events.push_back([](EventKind, EventDialogValues& v) {
    v.value1 = 2;
    return true;
  });
  const int repeat = rig.Insert(EVENT_REPEAT);
  rig.Select(repeat);
  const int last = rig.Insert(EVENT_TIMER);
  rig.program.Edit([&](ProgramRecords& r, int&) {
    r[repeat].link = static_cast<int16_t>(timer);
    r[last].link = static_cast<int16_t>(repeat);
  });
  rig.Select(last);
  rig.ui.ScriptAnswer(MsgAnswer::Yes);
  rig.editor.DeleteCommand();
  EXPECT_EQ(rig.At(repeat).next, -1);
  EXPECT_EQ(rig.At(repeat).link, timer);
}

TEST_F(ProgramEditorTest, deletingAChainHeadRemovesTheChainAndEveryLinkIntoIt) {
  ThreeCommands();
  rig.Select(-1);
  const int head = rig.Insert(EVENT_TIMER);
  const int second = rig.Insert(EVENT_TIMER);
  const int third = rig.Insert(EVENT_TIMER);
  rig.program.Edit([&](ProgramRecords& r, int&) { r[third].link = static_cast<int16_t>(second); });
  rig.Select(head);
  rig.ui.ScriptAnswer(MsgAnswer::No);
  rig.editor.OnCommand(ID_DELETE_COMMAND);
  EXPECT_EQ(rig.ui.messageIds(), std::vector<int>{MSG_DELETE_START_COMMAND});
  EXPECT_EQ(rig.At(head).kind, EVENT_TIMER);  // No deletes nothing
  rig.ui.ScriptAnswer(MsgAnswer::Yes);
  rig.editor.OnCommand(ID_DELETE_COMMAND);
  for (int i : {head, second, third}) EXPECT_EQ(rig.At(i).kind, EVENT_FREE) << i;
  EXPECT_EQ(rig.At(third).link, -1);
  EXPECT_EQ(rig.program.selection, -1);
  EXPECT_EQ(rig.ChainKinds().size(), 4u);

  // The start command cannot be deleted.
  rig.Select(0);
  EXPECT_FALSE(rig.Enabled(ID_DELETE_COMMAND));
  rig.editor.OnCommand(ID_DELETE_COMMAND);
  EXPECT_EQ(rig.At(0).kind, EVENT_START);
}

TEST_F(ProgramEditorTest, moveToNextTwiceRestoresTheOrder) {
  const auto [timer, car, handle] = ThreeCommands();
  rig.Select(timer);
  const auto before = rig.ChainKinds();
  rig.editor.OnCommand(ID_MOVE_NEXT);
  EXPECT_EQ(rig.ChainKinds(),
            (std::vector<int>{EVENT_START, EVENT_CAR, EVENT_TIMER, EVENT_HANDLE}));
  EXPECT_EQ(rig.program.selection, timer);  // the selection stays on its slot
  rig.editor.OnCommand(ID_MOVE_NEXT);
  EXPECT_EQ(rig.ChainKinds(), before);
  // The chain head never moves; the first command cannot move before it.
  EXPECT_FALSE(rig.Enabled(ID_MOVE_PREVIOUS));
  rig.Select(handle);
  EXPECT_FALSE(rig.Enabled(ID_MOVE_NEXT));
  (void)car;
}

TEST_F(ProgramEditorTest, movingARepeatCarriesItsLoopAndDropsAJumpThatIsNoLongerAtTheEnd) {
  const auto [timer, car, handle] = ThreeCommands();
  rig.Select(handle);
  const int repeat = rig.Insert(EVENT_REPEAT);
  rig.program.Edit([&](ProgramRecords& r, int&) { r[repeat].link = static_cast<int16_t>(timer); });
  rig.Select(repeat);
  rig.editor.OnCommand(ID_MOVE_PREVIOUS);
  EXPECT_EQ(rig.At(handle).kind, EVENT_REPEAT);
  EXPECT_EQ(rig.At(handle).link, timer);
  EXPECT_EQ(rig.At(repeat).kind, EVENT_HANDLE);
  EXPECT_EQ(rig.At(repeat).link, -1);

  // Moving the repeat on past a chain end that jumps: the repeat takes its
  // loop along, the jump that would no longer stand at the end is dropped.
  rig.program.Edit([&](ProgramRecords& r, int&) { r[repeat].link = static_cast<int16_t>(car); });
  rig.Select(handle);
  rig.editor.OnCommand(ID_MOVE_NEXT);
  EXPECT_EQ(rig.At(handle).kind, EVENT_HANDLE);
  EXPECT_EQ(rig.At(handle).link, -1);
  EXPECT_EQ(rig.At(repeat).kind, EVENT_REPEAT);
  EXPECT_EQ(rig.At(repeat).link, timer);
}

TEST_F(ProgramEditorTest, undoRemovesTheLastInsertionAndASecondUndoTheOneBefore) {
  const auto [timer, car, handle] = ThreeCommands();
  const int sound = rig.Insert(EVENT_SOUND);
  ASSERT_TRUE(rig.Enabled(ID_UNDO));
  rig.editor.OnCommand(ID_UNDO);
  EXPECT_EQ(rig.program.count(), 4);
  EXPECT_EQ(rig.At(handle).next, -1);
  EXPECT_EQ(rig.program.selection, -1);
  ASSERT_TRUE(rig.Enabled(ID_UNDO));
  rig.editor.OnCommand(ID_UNDO);
  EXPECT_EQ(rig.program.count(), 3);
  EXPECT_EQ(rig.At(car).next, -1);
  EXPECT_EQ(rig.ChainKinds().size(), 3u);
  (void)timer;
  (void)sound;
}

TEST_F(ProgramEditorTest, arrowKeysWalkTheChainAndTheRows) {
  rig.Select(0);
  for (int i = 1; i <= 11; ++i) ASSERT_EQ(rig.Insert(EVENT_TIMER), i);  // rows of 10 and 2
  rig.Select(-1);
  EXPECT_TRUE(rig.editor.SelectByKey(0, 1));
  EXPECT_EQ(rig.program.selection, 0) << "with nothing selected an arrow takes the start";
  EXPECT_FALSE(rig.editor.SelectByKey(-1, 0));
  EXPECT_TRUE(rig.editor.SelectByKey(1, 0));
  EXPECT_TRUE(rig.editor.SelectByKey(1, 0));
  EXPECT_EQ(rig.program.selection, 2);
  // Down goes to the box of the next row nearest in x (x 72: record 11).
  rig.Select(1);
  EXPECT_TRUE(rig.editor.SelectByKey(0, 1));
  EXPECT_EQ(rig.program.selection, 11);
  EXPECT_FALSE(rig.editor.SelectByKey(0, 1));
  EXPECT_TRUE(rig.editor.SelectByKey(0, -1));
  EXPECT_EQ(rig.program.selection, 1);
  // Right at the end of a row follows the chain into the next one.
  rig.Select(9);
  EXPECT_TRUE(rig.editor.SelectByKey(1, 0));
  EXPECT_EQ(rig.program.selection, 10);
  // A run owns the selection: it shows the running command.
  rig.engine.autoDriving = true;
  EXPECT_FALSE(rig.editor.SelectByKey(-1, 0));
  EXPECT_EQ(rig.program.selection, 10);
}

TEST_F(ProgramEditorTest, startAndEndCommandsHaveNoDialogAndTheStartStaysPut) {
  ThreeCommands();
  const int end = rig.Insert(EVENT_END);
  const int dialogs = rig.dialogs.timeDialogs + rig.dialogs.eventDialogs;
  rig.DoubleClick(0);
  rig.DoubleClick(end);
  EXPECT_EQ(rig.dialogs.timeDialogs + rig.dialogs.eventDialogs, dialogs);
  rig.Select(0);
  for (int id : {ID_EDIT_COMMAND, ID_DELETE_COMMAND, ID_MOVE_NEXT, ID_MOVE_PREVIOUS, ID_LINK})
    EXPECT_FALSE(rig.Enabled(id)) << id;
  rig.Select(end);
  EXPECT_FALSE(rig.Enabled(ID_INSERT_TIMER));
  EXPECT_EQ(rig.Insert(EVENT_TIMER), -1);
}

TEST_F(ProgramEditorTest, doubleClickEditsTheCommandAndRedraws) {
  const auto [timer, car, handle] = ThreeCommands();
  rig.dialogs.events.push_back([](EventKind kind, EventDialogValues& v) {
    EXPECT_EQ(kind, EVENT_HANDLE);
    v.option = HANDLE_RIGHT;
    v.value1 = 3;
    v.check = 1;
    return true;
  });
  const int repaints = rig.peers.repaints;
  rig.DoubleClick(handle);
  EXPECT_EQ(rig.At(handle).option, HANDLE_RIGHT);
  EXPECT_EQ(rig.At(handle).value1, 3);
  EXPECT_EQ(rig.At(handle).value2, 1);
  EXPECT_GT(rig.peers.repaints, repaints);
  ASSERT_TRUE(rig.program.UndoTarget());
  EXPECT_EQ(rig.program.UndoTarget()->records[handle].option, HANDLE_LEFT);
  (void)timer;
  (void)car;
}

TEST_F(ProgramEditorTest, contextMenuOffersWhatTheSelectedCommandAllows) {
  const auto [timer, car, handle] = ThreeCommands();
  auto menu = [&](int index) {
    const EventRecord r = rig.At(index);
    return rig.editor.ProgramMouse(ProgramMouseAction::RightPress, Point{r.x + 1, r.y + 1});
  };
  EXPECT_TRUE(menu(0).empty());
  const std::vector<ContextMenuItem> atEnd = menu(handle);
  EXPECT_EQ(atEnd, (std::vector<ContextMenuItem>{{ID_EDIT_COMMAND, "編集", true},
                                                 {ID_DELETE_COMMAND, "削除", true},
                                                 {ID_MOVE_NEXT, "次に移動", false},
                                                 {ID_MOVE_PREVIOUS, "前に移動", true},
                                                 {ID_LINK, "リンク先指定", true}}));
  rig.program.Edit([&](ProgramRecords& r, int&) { r[handle].link = static_cast<int16_t>(timer); });
  const auto linked = menu(handle);
  ASSERT_EQ(linked.size(), 6u);
  EXPECT_EQ(linked[4].text, "リンク先変更");
  EXPECT_EQ(linked[5], (ContextMenuItem{ID_UNLINK, "リンク削除", true}));
  EXPECT_EQ(rig.program.selection, handle);

  const int end = rig.Insert(EVENT_END);
  EXPECT_EQ(end, -1) << "a chain end carrying a jump takes no end command";
  rig.program.Edit([&](ProgramRecords& r, int&) { r[handle].link = -1; });
  rig.Select(handle);
  const int realEnd = rig.Insert(EVENT_END);
  EXPECT_EQ(menu(realEnd), (std::vector<ContextMenuItem>{{ID_DELETE_COMMAND, "削除", true}}));
  (void)car;
}

TEST_F(ProgramEditorTest, nothingIsEditedWhileAProgramRuns) {
  const auto [timer, car, handle] = ThreeCommands();
  rig.engine.autoDriving = true;
  rig.Select(car);
  for (int id : {ID_INSERT_TIMER, ID_INSERT_CAR, ID_EDIT_COMMAND, ID_DELETE_COMMAND, ID_MOVE_NEXT,
                 ID_LINK, ID_UNDO}) {
    EXPECT_FALSE(rig.Enabled(id)) << id;
    EXPECT_TRUE(rig.editor.OnCommand(id)) << id;
  }
  rig.DoubleClick(car);
  EXPECT_EQ(rig.program.count(), 4);
  EXPECT_EQ(rig.dialogs.timeDialogs, 1);
  EXPECT_EQ(rig.dialogs.eventDialogs, 2);
  EXPECT_TRUE(rig.ui.messages().empty());
  EXPECT_FALSE(rig.editor.OnCommand(ID_VIEW_LIVE)) << "not an editor command";
  (void)timer;
  (void)handle;
}

TEST_F(ProgramEditorTest, thePointIsPlacedWithTheCheeseOnTheLayout) {
  rig.Select(0);
  rig.dialogs.events.push_back([](EventKind, EventDialogValues& v) {
    v.option = kReferenceOption;
    v.value1 = 100;
    v.value2 = 50;
    return true;
  });
  const int position = rig.Insert(EVENT_POSITION);
  ASSERT_GT(position, 0);
  EXPECT_EQ(rig.program.positionEditIndex, position);
  EXPECT_EQ(rig.engine.viewMode, VIEW_LAYOUT);
  EXPECT_TRUE(rig.engine.targetFollowing);
  EXPECT_EQ(rig.car.cheesePosition.load(), (Point{100, 50}));
  EXPECT_EQ(rig.At(position).option, POSITION_POINT);
  EXPECT_FALSE(rig.ui.toolbarVisible);
  EXPECT_TRUE(rig.positionWindow.open);
  EXPECT_FALSE(rig.Enabled(ID_UNDO)) << "the record must stay while its point is placed";

  rig.car.cheesePosition = Point{400, 300};  // dragged
  rig.editor.EndPositionDefinition(true);
  EXPECT_EQ(rig.At(position).value1, 400);
  EXPECT_EQ(rig.At(position).value2, 300);
  EXPECT_EQ(rig.program.positionEditIndex, -1);
  EXPECT_FALSE(rig.engine.targetFollowing);
  EXPECT_EQ(rig.engine.viewMode, VIEW_PROGRAM);
  EXPECT_TRUE(rig.ui.toolbarVisible);
  EXPECT_FALSE(rig.positionWindow.open);
  rig.editor.EndPositionDefinition(true);  // a second end does nothing
  EXPECT_EQ(rig.peers.resizes.size(), 1u);
}

TEST_F(ProgramEditorTest, thePointIsPlacedOnTheCameraImageInImageCoordinates) {
  const auto [timer, car, handle] = ThreeCommands();
  rig.Select(handle);
  rig.dialogs.events.push_back([](EventKind, EventDialogValues& v) {
    v.option = POSITION_CAMERA_CENTRE;
    return true;
  });
  const int position = rig.Insert(EVENT_POSITION);
  rig.engine.captureRunning = true;
  rig.engine.frameWidth = 320;
  rig.engine.frameHeight = 240;
  rig.dialogs.events.push_back([](EventKind, EventDialogValues& v) {
    EXPECT_EQ(v.value1, 320);
    v.option = kReferenceOption;
    v.value1 = 200;
    v.value2 = 100;
    return true;
  });
  rig.Select(position);
  rig.editor.OnCommand(ID_EDIT_COMMAND);
  EXPECT_EQ(rig.engine.viewMode, VIEW_LIVE);
  EXPECT_EQ(rig.car.cheesePosition.load(), (Point{100, 50}));
  ASSERT_FALSE(rig.peers.resizes.empty());
  EXPECT_EQ(rig.peers.resizes.back(), (Point{320, 240}));
  rig.car.cheesePosition = Point{30, 60};
  rig.editor.EndPositionDefinition(false);  // cancelled: the point stays
  EXPECT_EQ(rig.At(position).value1, 320);
  EXPECT_EQ(rig.At(position).option, POSITION_POINT);
  EXPECT_EQ(rig.peers.resizes.back(), (Point{640, 480}));

  rig.dialogs.events.push_back([](EventKind, EventDialogValues& v) {
    v.option = kReferenceOption;
    return true;
  });
  rig.Select(position);
  rig.editor.OnCommand(ID_EDIT_COMMAND);
  rig.car.cheesePosition = Point{30, 60};
  rig.editor.EndPositionDefinition(true);
  EXPECT_EQ(rig.At(position).value1, 60);
  EXPECT_EQ(rig.At(position).value2, 120);
  (void)timer;
  (void)car;
}

// The driving thread reads records while the editor changes them: every
// snapshot it takes is a consistent chain.
TEST_F(ProgramEditorTest, aReaderNeverSeesAHalfLinkedChain) {
  rig.Select(0);
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!stop) {
      int count = 0;
      const ProgramRecords r = rig.program.Snapshot(&count);
      for (int i = 0; i < count; ++i) {
        if (r[i].kind == EVENT_FREE) continue;
        if (r[i].next != -1 && r[r[i].next].prev != i) ++torn;
        if (r[i].prev != -1 && r[r[i].prev].next != i) ++torn;
      }
    }
  });
  for (int round = 0; round < 20; ++round) {
    rig.Select(0);
    for (int i = 0; i < 5; ++i) rig.Insert(EVENT_TIMER);
    rig.Select(2);
    rig.Insert(EVENT_CAR);
    rig.ui.ScriptAnswer(MsgAnswer::Yes);
    rig.Select(3);
    rig.editor.DeleteCommand();
    rig.editor.UndoEdit();
    rig.program.ResetToStart();
  }
  stop = true;
  reader.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace viren
