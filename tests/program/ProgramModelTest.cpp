#include <gtest/gtest.h>

#include "program/DrivingProgram.h"

namespace viren {
namespace {

EventRecord Rec(EventKind kind, int option = 0, int v1 = 0, int v2 = 0) {
  EventRecord r;
  r.kind = kind;
  r.option = static_cast<std::uint8_t>(option);
  r.value1 = static_cast<std::int16_t>(v1);
  r.value2 = static_cast<std::int16_t>(v2);
  return r;
}

// Links `indexes` into one chain in the given order.
void Chain(EventRecord* records, std::initializer_list<int> indexes) {
  int prev = -1;
  for (int i : indexes) {
    records[i].prev = static_cast<std::int16_t>(prev);
    records[i].next = -1;
    if (prev != -1) records[prev].next = static_cast<std::int16_t>(i);
    prev = i;
  }
}

TEST(EventRecordTest, TimedCommandsAreTimersWithTimeCarsWithDistanceAndPositions) {
  EXPECT_TRUE(IsTimedCommand(Rec(EVENT_TIMER, 0, 0, 1)));
  EXPECT_TRUE(IsTimedCommand(Rec(EVENT_TIMER, 0, 1, 0)));
  EXPECT_FALSE(IsTimedCommand(Rec(EVENT_TIMER, 0, 0, 0)));
  EXPECT_TRUE(IsTimedCommand(Rec(EVENT_CAR, CAR_FORWARD, 100)));
  EXPECT_FALSE(IsTimedCommand(Rec(EVENT_CAR, CAR_STOP, 100)));
  EXPECT_FALSE(IsTimedCommand(Rec(EVENT_CAR, CAR_FORWARD, 0)));
  EXPECT_TRUE(IsTimedCommand(Rec(EVENT_POSITION, POSITION_LEAVE_COURSE)));
  EXPECT_FALSE(IsTimedCommand(Rec(EVENT_HANDLE, HANDLE_LEFT, 90)));
  EXPECT_FALSE(IsTimedCommand(Rec(EVENT_BALL, BALL_FOLLOW, 100, 1)));
  EXPECT_FALSE(IsTimedCommand(Rec(EVENT_REPEAT, 0, 3)));
}

TEST(EventRecordTest, InsertionDefaultsFollowModeAndCameraWidth) {
  InsertionContext plain;
  plain.cameraWidth = 320;
  plain.escapeDistance = 100;
  InsertionContext roboQ = plain;
  roboQ.roboQ = true;
  EXPECT_EQ(MakeInsertedRecord(EVENT_CAR, plain).option, CAR_FORWARD);
  EXPECT_EQ(MakeInsertedRecord(EVENT_CAR, roboQ).option, 2);
  EXPECT_EQ(MakeInsertedRecord(EVENT_TIMER, plain).value1, 1);
  EXPECT_EQ(MakeInsertedRecord(EVENT_HANDLE, plain).option, HANDLE_LEFT);
  const EventRecord position = MakeInsertedRecord(EVENT_POSITION, plain);
  EXPECT_EQ(position.value1, 320);
  EXPECT_EQ(position.value2, 240);
  const EventRecord sound = MakeInsertedRecord(EVENT_SOUND, plain);
  EXPECT_EQ(sound.option, SOUND_ONCE);
  EXPECT_EQ(sound.value1, 1);
  const EventRecord ball = MakeInsertedRecord(EVENT_BALL, plain);
  EXPECT_EQ(ball.option, BALL_FOLLOW);
  EXPECT_EQ(ball.value1, 200);  // 100 camera pixels at 320 wide are 200 in the 640 plane
  EXPECT_EQ(ball.value2, 1);
  EXPECT_EQ(ball.link, -1);
  plain.cameraWidth = 0;  // no capture yet: no division by zero
  EXPECT_EQ(MakeInsertedRecord(EVENT_BALL, plain).value1, 100);
}

TEST(CountTimedCommandsTest, CountsFromTargetThroughSource) {
  EventRecord r[6];
  r[0] = MakeStartRecord();
  r[1] = Rec(EVENT_TIMER, 0, 1);
  r[2] = Rec(EVENT_HANDLE, 1, 90);
  r[3] = Rec(EVENT_CAR, 1, 50);
  r[4] = Rec(EVENT_REPEAT, 0, 3);
  r[5] = Rec(EVENT_TIMER, 0, 0);  // a second chain: an untimed head
  Chain(r, {0, 1, 2, 3, 4});
  EXPECT_EQ(CountTimedCommands(r, 6, 4, 1), 2);
  EXPECT_EQ(CountTimedCommands(r, 6, 4, 2), 1);
  EXPECT_EQ(CountTimedCommands(r, 6, 2, 2), 0);
  EXPECT_EQ(CountTimedCommands(r, 6, 1, 1), 1);
  EXPECT_EQ(CountTimedCommands(r, 6, 1, 3), -1);  // target after the source
  EXPECT_EQ(CountTimedCommands(r, 6, 4, 5), -1);  // another chain
  EXPECT_EQ(CountTimedCommands(r, 6, 4, 77), -1);
  EXPECT_EQ(CountTimedCommands(r, 6, 4, -1), -1);
  r[3].next = 1;  // a damaged chain that loops never ends the walk by itself
  EXPECT_EQ(CountTimedCommands(r, 6, 4, 1), -1);
}

TEST(CompactProgramTest, RemovesHolesPutsStartChainFirstAndFollowsLinks) {
  EventRecord r[kProgramSlots];
  r[0] = MakeStartRecord();
  r[1] = Rec(EVENT_TIMER, 0, 5);  // head of a second chain
  r[2] = Rec(EVENT_FREE);         // deleted
  r[3] = Rec(EVENT_CAR, 1, 100);  // start chain
  r[4] = Rec(EVENT_HANDLE, 1, 90);
  r[5] = Rec(EVENT_REPEAT, 0, 3);
  r[6] = Rec(EVENT_END);  // second chain
  Chain(r, {0, 3, 5, 4});
  Chain(r, {1, 6});
  r[4].link = 3;  // jump back to the car command
  r[5].link = 3;
  const int n = CompactProgram(r, 7);
  ASSERT_EQ(n, 6);
  const EventKind order[] = {EVENT_START,  EVENT_CAR,   EVENT_REPEAT,
                             EVENT_HANDLE, EVENT_TIMER, EVENT_END};
  const int old[] = {0, 3, 5, 4, 1, 6};
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(r[i].kind, order[i]) << i;
    EXPECT_EQ(r[i].oldIndex, old[i]) << i;
  }
  EXPECT_EQ(r[0].prev, -1);
  EXPECT_EQ(r[0].next, 1);
  EXPECT_EQ(r[3].next, -1);
  EXPECT_EQ(r[3].prev, 2);
  EXPECT_EQ(r[4].prev, -1);
  EXPECT_EQ(r[4].next, 5);
  EXPECT_EQ(r[5].prev, 4);
  EXPECT_EQ(r[2].link, 1);
  EXPECT_EQ(r[3].link, 1);
  EXPECT_EQ(r[6].kind, EVENT_FREE);  // beyond the new count
}

TEST(CompactProgramTest, DamagedLinksStayInsideTheArray) {
  EventRecord r[kProgramSlots];
  r[0] = MakeStartRecord();
  r[1] = Rec(EVENT_TIMER, 0, 1);
  r[2] = Rec(EVENT_CAR, 1, 10);
  Chain(r, {0, 1, 2});
  r[2].next = 1;     // loops back into its own chain
  r[1].link = 99;    // points at nothing
  r[2].link = -500;  // nonsense
  r[3] = Rec(EVENT_TIMER);
  r[3].prev = 42;  // orphan: not a head, reached by nobody
  const int n = CompactProgram(r, 4);
  ASSERT_EQ(n, 3);
  EXPECT_EQ(r[2].next, -1);
  EXPECT_EQ(r[1].link, -1);
  EXPECT_EQ(r[2].link, -1);
  EXPECT_EQ(CompactProgram(r, 1000), 3);  // a count beyond the slots is cut
}

TEST(DrivingProgramTest, ArmingSetsRepeatCountsAndListsSounds) {
  DrivingProgram program;
  EventRecord r[4];
  r[0] = MakeStartRecord();
  r[1] = Rec(EVENT_SOUND, SOUND_ONCE, 3);
  r[2] = Rec(EVENT_REPEAT, 0, 2);
  r[3] = Rec(EVENT_SOUND, SOUND_STOP, 5);
  Chain(r, {0, 1, 2, 3});
  ASSERT_TRUE(program.Replace(r, 4));
  EXPECT_EQ(program.ArmForRun(), (std::vector<int>{3, 5}));
  EXPECT_EQ(program.Record(2).repeatLeft, 2);
  EXPECT_EQ(program.CountDownRepeat(2), 1);
  EXPECT_EQ(program.CountDownRepeat(2), 0);
  EXPECT_EQ(program.CountDownRepeat(2), -1);  // stays run out until the next start
  program.ArmForRun();
  EXPECT_EQ(program.Record(2).repeatLeft, 2);
  EXPECT_FALSE(program.Replace(r, 0));
  EXPECT_FALSE(program.Replace(r, kProgramSlots + 1));
  EXPECT_FALSE(program.IsUsed(4));
  EXPECT_FALSE(program.IsUsed(-1));
  EXPECT_TRUE(program.IsUsed(3));
}

TEST(DrivingProgramTest, DiscardKeepsOnlyTheStartCommandWhereItStands) {
  DrivingProgram program;
  EventRecord r[2];
  r[0] = MakeStartRecord();
  r[0].x = 100;
  r[1] = Rec(EVENT_TIMER, 0, 1);
  Chain(r, {0, 1});
  program.Replace(r, 2);
  program.modified = true;
  program.fileName = "keep.ntc";
  program.DiscardToStart();
  EXPECT_EQ(program.count(), 1);
  EXPECT_EQ(program.Record(0).next, -1);
  EXPECT_EQ(program.Record(0).x, 100);
  EXPECT_FALSE(program.modified);
  EXPECT_EQ(program.fileName, "keep.ntc");
}

}  // namespace
}  // namespace viren
