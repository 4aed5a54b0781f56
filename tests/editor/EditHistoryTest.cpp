// The editing history through the editor's own commands: a long mixed run of
// edits undone and redone step by step, the operations that change nothing
// leaving no step, new and open as steps, and the commands greyed while a
// run goes on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>

#include "EditorRig.h"
#include "program/ProgramFile.h"

namespace viren {
namespace {

using test::EditorRig;

class OneFileDialogs : public ProgramFileDialogs {
 public:
  std::string ChooseProgramToOpen(const std::string&, const std::string&) override { return path; }
  std::string ChooseProgramToSave(const std::string&) override { return {}; }
  std::string path;
};

class EditHistoryTest : public ::testing::Test {
 protected:
  ProgramState Now() const {
    ProgramState s;
    s.records = rig.program.Snapshot(&s.count);
    return s;
  }
  // The used records that are not the start command.
  std::vector<int> Commands() const {
    std::vector<int> used;
    for (int i = 1; i < rig.program.count(); ++i)
      if (rig.program.IsUsed(i)) used.push_back(i);
    return used;
  }
  // Start -> timer -> car -> handle.
  void ThreeCommands() {
    rig.Select(0);
    rig.Insert(EVENT_TIMER);
    rig.Insert(EVENT_CAR);
    rig.Insert(EVENT_HANDLE);
  }

  EditorRig rig;
  OneFileDialogs fileDialogs;
  ProgramFiles files{rig.program, rig.settings, rig.ui, &fileDialogs};
};

std::string Describe(const ProgramState& s) {
  std::string out = "count " + std::to_string(s.count) + ":";
  for (int i = 0; i < s.count; ++i) {
    const EventRecord& r = s.records[i];
    out += " [" + std::to_string(i) + " k" + std::to_string(r.kind) + " o" +
           std::to_string(r.option) + " v" + std::to_string(r.value1) + "," +
           std::to_string(r.value2) + " @" + std::to_string(r.x) + "," + std::to_string(r.y) +
           " n" + std::to_string(r.next) + " p" + std::to_string(r.prev) + " l" +
           std::to_string(r.link) + "]";
  }
  return out;
}

TEST_F(EditHistoryTest, aHundredMixedEditsUndoAndRedoToTheSameRecords) {
  // A file to open on the way.
  const std::string file = rig.dir.File("loop.ntc");
  {
    EventRecord records[2] = {};
    records[0] = rig.program.Record(0);
    records[0].next = 1;
    records[1].kind = EVENT_TIMER;
    records[1].value1 = 4;
    records[1].x = 72;
    records[1].y = 16;
    records[1].next = -1;
    records[1].prev = 0;
    records[1].link = -1;
    std::ofstream(file, std::ios::binary) << EncodeProgramFile(records, 2);
  }
  fileDialogs.path = file;

  std::mt19937 random(21);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  std::vector<ProgramState> states{Now()};
  std::vector<std::string> done;
  for (int attempt = 0; attempt < 5000 && states.size() <= 100; ++attempt) {
    const std::vector<int> commands = Commands();
    const int any = commands.empty() ? 0 : commands[pick(static_cast<int>(commands.size()))];
    const int op = pick(12);
    std::string name;
    if (op <= 3) {
      static constexpr EventKind kinds[] = {EVENT_TIMER, EVENT_CAR,  EVENT_HANDLE, EVENT_POSITION,
                                            EVENT_SOUND, EVENT_BALL, EVENT_REPEAT, EVENT_END};
      rig.Select(pick(4) == 0 ? -1 : (pick(3) == 0 ? 0 : any));
      const EventKind kind = kinds[pick(8)];
      rig.Insert(kind);
      name = "insert " + std::to_string(kind);
    } else if (op == 4 || op == 5) {
      rig.Select(any);
      rig.ui.SetDefaultAnswer(op == 4 ? MsgAnswer::Yes : MsgAnswer::No);
      rig.editor.OnCommand(ID_DELETE_COMMAND);
      name = op == 4 ? "delete" : "delete answered No";
    } else if (op == 6) {
      rig.Select(any);
      rig.editor.OnCommand(pick(2) ? ID_MOVE_NEXT : ID_MOVE_PREVIOUS);
      name = "move";
    } else if (op == 7) {
      rig.Select(any);
      rig.editor.OnCommand(ID_LINK);
      rig.ui.SetDefaultAnswer(MsgAnswer::Cancel);  // for a refused target
      if (rig.program.pendingLinkSource != -1) rig.Click(commands[pick(int(commands.size()))]);
      rig.program.pendingLinkSource = -1;
      name = "link";
    } else if (op == 8) {
      std::vector<int> linked;
      for (int c : commands)
        if (rig.At(c).link != -1) linked.push_back(c);
      rig.Select(linked.empty() ? any : linked[pick(static_cast<int>(linked.size()))]);
      rig.editor.OnCommand(ID_UNLINK);
      name = "unlink";
    } else if (op <= 10) {
      const int value = 1 + pick(50);
      rig.dialogs.timers.push_back([value](int& s, int& t) {
        s = value % 60;
        t = value % 10;
        return true;
      });
      rig.dialogs.events.push_back([value](EventKind, EventDialogValues& v) {
        v.value1 = value;
        return true;
      });
      rig.DoubleClick(any);
      rig.dialogs.timers.clear();
      rig.dialogs.events.clear();
      name = "edit";
    } else if (pick(2) == 0) {
      if (pick(2)) {
        rig.ui.SetDefaultAnswer(MsgAnswer::Yes);
        files.NewProgram();
        name = "new";
      } else {
        rig.ui.SetDefaultAnswer(MsgAnswer::No);  // not saved first
        files.OpenProgramFile(false);
        name = "open";
      }
    }
    rig.ui.SetDefaultAnswer(MsgAnswer::No);
    if (!SameFlowchart(Now(), states.back())) {
      states.push_back(Now());
      done.push_back(name);
    }
  }
  ASSERT_GT(states.size(), 100u);
  auto changed = [&](const std::string& op) {
    return std::count_if(done.begin(), done.end(),
                         [&](const std::string& d) { return d.rfind(op, 0) == 0; });
  };
  for (const char* op : {"insert", "delete", "move", "link", "unlink", "edit", "new", "open"})
    EXPECT_GT(changed(op), 0) << op << " never changed the program: the mix misses it";
  EXPECT_EQ(changed("delete answered No"), 0);
  const std::size_t steps = states.size() - 1;
  ASSERT_EQ(rig.program.UndoDepth(), steps) << "every change is one step, no more";

  for (std::size_t i = steps; i > 0; --i) {
    ASSERT_TRUE(rig.Enabled(ID_UNDO)) << i;
    rig.editor.OnCommand(ID_UNDO);
    ASSERT_TRUE(SameFlowchart(Now(), states[i - 1]))
        << "undo of step " << i << " (" << done[i - 1] << ")\n  got  " << Describe(Now())
        << "\n  want " << Describe(states[i - 1]);
  }
  EXPECT_FALSE(rig.Enabled(ID_UNDO));
  for (std::size_t i = 1; i <= steps; ++i) {
    ASSERT_TRUE(rig.Enabled(ID_REDO)) << i;
    rig.editor.OnCommand(ID_REDO);
    ASSERT_TRUE(SameFlowchart(Now(), states[i]))
        << "redo of step " << i << " (" << done[i - 1] << ")";
  }
  EXPECT_FALSE(rig.Enabled(ID_REDO));
  // Byte for byte, not only the fields that make the picture.
  const ProgramState last = Now();
  EXPECT_EQ(std::memcmp(last.records.data(), states.back().records.data(),
                        sizeof(EventRecord) * static_cast<std::size_t>(last.count)),
            0);
}

TEST_F(EditHistoryTest, theFirstUndoStillTakesBackExactlyTheLastEdit) {
  ThreeCommands();
  const ProgramState three = Now();
  // Insertion, then undo: the new command is gone, nothing selected.
  rig.Select(3);
  rig.Insert(EVENT_SOUND);
  rig.editor.OnCommand(ID_UNDO);
  EXPECT_TRUE(SameFlowchart(Now(), three));
  EXPECT_EQ(rig.program.selection, -1);
  // Editing, moving, linking and deleting: each undo goes back to the state
  // just before it, and modified stays as it was.
  auto undoes = [&](const char* what, auto edit) {
    const ProgramState before = Now();
    edit();
    ASSERT_FALSE(SameFlowchart(Now(), before)) << what;
    rig.program.modified = false;
    rig.editor.OnCommand(ID_UNDO);
    EXPECT_TRUE(SameFlowchart(Now(), before)) << what;
    EXPECT_FALSE(rig.program.modified) << what;
  };
  undoes("edit", [&] {
    rig.dialogs.events.push_back([](EventKind, EventDialogValues& v) {
      v.option = HANDLE_RIGHT;
      return true;
    });
    rig.DoubleClick(3);
  });
  undoes("move", [&] {
    rig.Select(2);
    rig.editor.OnCommand(ID_MOVE_NEXT);
  });
  undoes("link", [&] {
    rig.Select(3);
    rig.editor.OnCommand(ID_LINK);
    rig.Click(1);
  });
  undoes("delete", [&] {
    rig.Select(2);
    rig.ui.ScriptAnswer(MsgAnswer::Yes);
    rig.editor.OnCommand(ID_DELETE_COMMAND);
  });
  rig.Select(-1);
  const int head = rig.Insert(EVENT_TIMER);
  ASSERT_GT(head, 0);
  undoes("delete a chain", [&] {
    rig.Select(head);
    rig.ui.ScriptAnswer(MsgAnswer::Yes);
    rig.editor.OnCommand(ID_DELETE_COMMAND);
  });
}

TEST_F(EditHistoryTest, operationsThatChangeNothingLeaveNoStepAndKeepTheRedo) {
  ThreeCommands();
  rig.editor.OnCommand(ID_UNDO);
  const ProgramState two = Now();
  const std::size_t depth = rig.program.UndoDepth();
  ASSERT_TRUE(rig.Enabled(ID_REDO));

  // A delete answered No, link mode entered and a refused link, a cancelled
  // dialog: in the one-copy undo each of these lost the last edit.
  rig.Select(2);
  rig.ui.ScriptAnswer(MsgAnswer::No);
  rig.editor.OnCommand(ID_DELETE_COMMAND);
  rig.editor.OnCommand(ID_LINK);
  rig.ui.ScriptAnswer(MsgAnswer::Cancel);
  rig.Click(0);  // the start command is no link target
  ASSERT_EQ(rig.ui.messages().back().id, MSG_LINK_TO_START);
  rig.dialogs.timers.push_back([](int&, int&) { return false; });
  rig.DoubleClick(1);
  rig.dialogs.events.push_back([](EventKind, EventDialogValues&) { return false; });
  rig.Select(2);
  rig.Insert(EVENT_SOUND);

  EXPECT_TRUE(SameFlowchart(Now(), two));
  EXPECT_EQ(rig.program.UndoDepth(), depth);
  EXPECT_TRUE(rig.program.modified) << "entering an operation still marks the program";
  rig.editor.OnCommand(ID_REDO);
  EXPECT_EQ(rig.ChainKinds(),
            (std::vector<int>{EVENT_START, EVENT_TIMER, EVENT_CAR, EVENT_HANDLE}));
  rig.editor.OnCommand(ID_UNDO);
  rig.editor.OnCommand(ID_UNDO);
  EXPECT_EQ(rig.ChainKinds(), (std::vector<int>{EVENT_START, EVENT_TIMER}));

  // A new edit after undoing drops the steps that could be redone.
  rig.Select(1);
  rig.Insert(EVENT_END);
  EXPECT_FALSE(rig.Enabled(ID_REDO));
}

TEST_F(EditHistoryTest, newAndOpenAreStepsAndARunGreysUndoAndRedo) {
  ThreeCommands();
  const ProgramState three = Now();
  rig.ui.ScriptAnswer(MsgAnswer::Yes);
  files.NewProgram();
  ASSERT_EQ(rig.program.count(), 1);
  rig.editor.OnCommand(ID_UNDO);
  EXPECT_TRUE(SameFlowchart(Now(), three));

  fileDialogs.path = rig.dir.File("missing.ntc");
  files.OpenProgramFile(false);  // fails: no step
  rig.editor.OnCommand(ID_REDO);
  EXPECT_EQ(rig.program.count(), 1) << "redo of the new program survives a failed open";

  rig.editor.OnCommand(ID_UNDO);
  rig.engine.autoDriving = true;
  EXPECT_FALSE(rig.Enabled(ID_UNDO));
  EXPECT_FALSE(rig.Enabled(ID_REDO));
  rig.editor.OnCommand(ID_REDO);
  EXPECT_TRUE(SameFlowchart(Now(), three));
  rig.engine.autoDriving = false;
  EXPECT_TRUE(rig.Enabled(ID_REDO));
}

}  // namespace
}  // namespace viren
