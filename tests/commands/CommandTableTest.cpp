#include "commands/CommandTable.h"

#include <gtest/gtest.h>

#include <set>

#include "core/CommandIds.h"
#include "core/EngineState.h"
#include "core/Messages.h"

namespace viren {
namespace {

bool Enabled(int id, const CommandContext& c) {
  return EvaluateCommand(id, c).enabled;
}
bool Checked(int id, const CommandContext& c) {
  return EvaluateCommand(id, c).checked;
}

TEST(CommandTable, layoutViewSwapsVectorAndPolygonForCarFigure) {
  CommandContext c;
  c.viewMode = VIEW_LAYOUT;
  EXPECT_FALSE(Enabled(ID_OVERLAY_VECTOR, c));
  EXPECT_FALSE(Enabled(ID_OVERLAY_POLYGON, c));
  EXPECT_TRUE(Enabled(ID_OVERLAY_CAR_FIGURE, c));
  for (int mode : {VIEW_LIVE, VIEW_DIFFERENCE, VIEW_PROGRAM}) {
    c.viewMode = mode;
    EXPECT_TRUE(Enabled(ID_OVERLAY_VECTOR, c));
    EXPECT_TRUE(Enabled(ID_OVERLAY_POLYGON, c));
    EXPECT_FALSE(Enabled(ID_OVERLAY_CAR_FIGURE, c));
  }
}

TEST(CommandTable, simulationDisablesCameraViewsAndIsChecked) {
  CommandContext c;
  c.simulating = true;
  c.viewMode = VIEW_LAYOUT;
  EXPECT_FALSE(Enabled(ID_VIEW_LIVE, c));
  EXPECT_FALSE(Enabled(ID_VIEW_DIFFERENCE, c));
  EXPECT_TRUE(Checked(ID_SIMULATION, c));
  EXPECT_TRUE(Checked(ID_VIEW_LAYOUT, c));
  // Ball following is possible in the simulation without a learned ball.
  EXPECT_TRUE(Enabled(ID_FOLLOW_BALL, c));
  EXPECT_FALSE(Enabled(ID_AVOID_BALL, c));
}

TEST(CommandTable, automaticDrivingNeedsADeviceAndMoreThanTheStartCommand) {
  CommandContext c;
  c.commandCount = 2;
  EXPECT_FALSE(Enabled(ID_AUTO_DRIVING, c));
  c.deviceConnected = true;
  EXPECT_TRUE(Enabled(ID_AUTO_DRIVING, c));
  c.commandCount = 1;
  EXPECT_FALSE(Enabled(ID_AUTO_DRIVING, c));
}

TEST(CommandTable, editCommandsFollowTheSelection) {
  CommandContext c;
  c.viewMode = VIEW_PROGRAM;
  c.selection.index = 0;  // the start command
  for (int id : {ID_EDIT_COMMAND, ID_DELETE_COMMAND, ID_LINK, ID_UNLINK})
    EXPECT_FALSE(Enabled(id, c)) << id;
  c.selection = {.index = 3, .hasNext = true, .hasPrevious = true, .previousHasPrevious = true};
  EXPECT_TRUE(Enabled(ID_EDIT_COMMAND, c));
  EXPECT_TRUE(Enabled(ID_MOVE_NEXT, c));
  EXPECT_TRUE(Enabled(ID_MOVE_PREVIOUS, c));
  EXPECT_FALSE(Enabled(ID_LINK, c)) << "a command with a successor links only if it repeats";
  c.selection.isRepeat = true;
  EXPECT_TRUE(Enabled(ID_LINK, c));
  EXPECT_FALSE(Enabled(ID_UNLINK, c));
  c.selection.hasLink = true;
  EXPECT_TRUE(Enabled(ID_UNLINK, c));
  c.selection.nextIsEnd = true;
  EXPECT_FALSE(Enabled(ID_MOVE_NEXT, c));
  c.autoDriving = true;
  EXPECT_FALSE(Enabled(ID_DELETE_COMMAND, c)) << "no editing while a program runs";
}

TEST(CommandTable, commandToolbarInsertRules) {
  CommandContext c;
  EXPECT_FALSE(Enabled(ID_INSERT_START, c));
  EXPECT_TRUE(Enabled(ID_INSERT_TIMER, c)) << "a timer may start a new chain";
  EXPECT_FALSE(Enabled(ID_INSERT_CAR, c));
  c.selection = {.index = 2};
  EXPECT_TRUE(Enabled(ID_INSERT_CAR, c));
  EXPECT_TRUE(Enabled(ID_INSERT_END, c));
  c.selection.hasLink = true;
  EXPECT_FALSE(Enabled(ID_INSERT_END, c));
  c.selection.isEnd = true;
  EXPECT_FALSE(Enabled(ID_INSERT_TIMER, c));
  // While the program runs nothing may change it.
  c.selection = {.index = 2};
  c.undoAvailable = true;
  c.autoDriving = true;
  for (int id : {ID_INSERT_TIMER, ID_INSERT_CAR, ID_INSERT_END, ID_UNDO})
    EXPECT_FALSE(Enabled(id, c)) << id;
}

TEST(CommandTable, cameraAndComChecks) {
  CommandContext c;
  c.cameraCount = 6;
  c.cameraIndex = 2;
  EXPECT_TRUE(Checked(ID_CAMERA_FIRST + 1, c));
  EXPECT_FALSE(Checked(ID_CAMERA_NONE, c));
  c.cameraCount = 1;
  EXPECT_FALSE(Enabled(ID_CAMERA_FIRST + 1, c));
  c.cameraIndex = -1;
  EXPECT_FALSE(Enabled(ID_CAMERA_SETTINGS, c));
  c.comPort = 7;
  EXPECT_TRUE(Checked(ComPortCommand(7), c));
  EXPECT_EQ(ComPortCommand(7), 32887);
  EXPECT_EQ(ComPortOfCommand(32876), 6);
  c.comPort = 12;
  EXPECT_TRUE(Checked(ID_COM_MORE, c));
  EXPECT_FALSE(Checked(ID_COM_NONE, c));
}

TEST(CommandTable, everyMenuAndToolbarCommandHasAPromptUnlessItHasNone) {
  std::set<int> ids;
  for (const MenuEntry& e : MainMenu())
    if (e.id != 0 && !e.popup) ids.insert(e.id);
  for (int id : MainToolbar())
    if (id != 0) ids.insert(id);
  for (const MenuEntry& e : ViewMenu()) ids.insert(e.id);
  for (int id : ids) {
    // The framework's own toolbar and status-bar toggles have no entry.
    if (id == ID_VIEW_TOOLBAR || id == ID_VIEW_STATUS_BAR) continue;
    EXPECT_FALSE(MessageText(id).empty()) << "no prompt for " << id;
  }
  EXPECT_EQ(MainToolbar().size(), 18u);
}

}  // namespace
}  // namespace viren
