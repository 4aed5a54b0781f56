// Commands copied as text and pasted into a chain: the text must be safe to
// read from any program, and a paste or a cut must leave every chain and link
// as the editor's rules allow.
#include <gtest/gtest.h>

#include <cstring>

#include "program/CommandClipboard.h"

namespace viren {
namespace {

// start -> timer(1) -> car(2) -> repeat(3, loops to 1) -> timer(4, jumps to 2).
ProgramRecords Loop(int& count) {
  ProgramRecords r{};
  r[0] = MakeStartRecord();
  const EventKind kinds[] = {EVENT_START, EVENT_TIMER, EVENT_CAR, EVENT_REPEAT, EVENT_TIMER};
  count = 5;
  for (int i = 1; i < count; ++i) {
    r[i].kind = kinds[i];
    r[i].value1 = static_cast<std::int16_t>(i);
    r[i].prev = static_cast<std::int16_t>(i - 1);
    r[i - 1].next = static_cast<std::int16_t>(i);
  }
  r[4].next = -1;
  r[3].link = 1;
  r[4].link = 2;
  return r;
}

TEST(CommandClipboard, aStretchKeepsItsInnerLinksDropsLeavingOnesAndReadsBackFromText) {
  int count = 0;
  const ProgramRecords r = Loop(count);
  const CommandStretch stretch = TakeStretch(r.data(), count, 2, 4);
  ASSERT_EQ(stretch.commands.size(), 3u);
  EXPECT_EQ(stretch.commands[1].link, -1) << "the loop back to 1 leaves the stretch";
  EXPECT_EQ(stretch.commands[2].link, 0) << "the jump to 2 stays inside";
  const std::string text = FormatStretch(stretch);
  EXPECT_EQ(text,
            "VIREN commands 1\nCAR option=0 value1=2 value2=0\n"
            "REPEAT option=0 value1=3 value2=0\nTIMER option=0 value1=4 value2=0 link=1\n");
  EXPECT_EQ(ParseStretch(text), stretch);
  // Windows line ends and comments from a hand-written file are read too.
  EXPECT_EQ(ParseStretch("# mine\r\nVIREN commands 1\r\nCAR option=0 value1=2 value2=0\r\n"
                         "REPEAT option=0 value1=3 value2=0\r\n\r\n"
                         "TIMER option=0 value1=4 value2=0 link=1\r\n"),
            stretch);
  EXPECT_TRUE(TakeStretch(r.data(), count, 0, 2).commands.empty()) << "the start is never copied";
  EXPECT_TRUE(TakeStretch(r.data(), count, 3, 1).commands.empty()) << "not along the chain";
}

TEST(CommandClipboard, textOutsideWhatTheDialogsAcceptIsRefused) {
  std::string hundred = "VIREN commands 1\n";
  for (int i = 0; i < 100; ++i) hundred += "TIMER value1=1\n";
  const std::string bad[] = {
      "",
      "TIMER option=0 value1=1 value2=0\n",            // no header
      "VIREN commands 2\nTIMER value1=1\n",            // another format
      "VIREN commands 1\n",                            // no command
      "VIREN commands 1\nSTART\n",                     // the start is never pasted
      "VIREN commands 1\nFREE\n",                      //
      "VIREN commands 1\nTIMER value1=1000\n",         // beyond the dialogs' 0..999
      "VIREN commands 1\nTIMER value1=-1\n",           //
      "VIREN commands 1\nTIMER value1=99999999999\n",  //
      "VIREN commands 1\nHANDLE option=3\n",           // a choice the dialog lacks
      "VIREN commands 1\nTIMER option=1\n",            //
      "VIREN commands 1\nREPEAT value1=2 link=2\n",    // a link forward
      "VIREN commands 1\nREPEAT value1=2 link=0\n",    //
      "VIREN commands 1\nEND\nTIMER value1=1\n",       // something after an end
      "VIREN commands 1\nTIMER value1=1 colour=3\n",   // unknown field
      "VIREN commands 1\nTIMER value1=1x\n",           //
      "VIREN commands 1\nTIMER value1\n",              //
      hundred,
  };
  for (const std::string& text : bad) EXPECT_FALSE(ParseStretch(text)) << text;
}

TEST(CommandClipboard, pasteLinksTheStretchInAndKeepsTheLinkRules) {
  int count = 0;
  ProgramRecords r = Loop(count);
  // Behind the chain end that jumps: the jump moves to the pasted end.
  const CommandStretch two =
      *ParseStretch("VIREN commands 1\nTIMER value1=7\nREPEAT value1=2 link=1\n");
  int first = -1;
  ASSERT_EQ(PasteStretch(r, count, 4, two, &first), PasteResult::Pasted);
  EXPECT_EQ(first, 5);
  EXPECT_EQ(count, 7);
  EXPECT_EQ(r[4].next, 5);
  EXPECT_EQ(r[4].link, -1);
  EXPECT_EQ(r[5].prev, 4);
  EXPECT_EQ(r[6].link, 5) << "the repeat's own loop";
  EXPECT_EQ(r[6].next, -1);
  // A repeat cannot take over the jump, so it is gone with the chain end.

  // In the middle: the old successor follows; an end command may not.
  const CommandStretch end = *ParseStretch("VIREN commands 1\nEND\n");
  EXPECT_EQ(PasteStretch(r, count, 2, end), PasteResult::EndInMiddle);
  EXPECT_EQ(PasteStretch(r, count, 6, end), PasteResult::Pasted);
  EXPECT_EQ(PasteStretch(r, count, 7, two), PasteResult::NotAfterEnd);
  const CommandStretch jump = *ParseStretch("VIREN commands 1\nTIMER value1=1\nCAR link=1\n");
  ASSERT_EQ(PasteStretch(r, count, 1, jump, &first), PasteResult::Pasted);
  EXPECT_EQ(r[1].next, first);
  EXPECT_EQ(r[first + 1].next, 2);
  EXPECT_EQ(r[2].prev, first + 1);
  EXPECT_EQ(r[first + 1].link, -1) << "a jump only at the chain end";

  // As a new chain only behind a timer, and never a link onto its head.
  EXPECT_EQ(PasteStretch(r, count, -1, end), PasteResult::NoChainHead);
  const CommandStretch self = *ParseStretch("VIREN commands 1\nTIMER value1=1 link=1\n");
  ASSERT_EQ(PasteStretch(r, count, -1, self, &first), PasteResult::Pasted);
  EXPECT_EQ(r[first].prev, -1);
  EXPECT_EQ(r[first].link, -1);

  // 99 at most; nothing changes when refused.
  const ProgramRecords before = r;
  const int countBefore = count;
  CommandStretch many;
  many.commands.resize(kMaxCommands - count + 1, {EVENT_TIMER, 0, 1, 0, -1});
  EXPECT_EQ(PasteStretch(r, count, 1, many), PasteResult::TooMany);
  EXPECT_EQ(count, countBefore);
  EXPECT_EQ(std::memcmp(r.data(), before.data(), sizeof r), 0);
}

TEST(CommandClipboard, removingAStretchMendsTheChainAsDeletingEachWould) {
  int count = 0;
  ProgramRecords r = Loop(count);
  // 2..3 out: the jump into it goes on to 4 (its successor), the chain closes.
  EXPECT_EQ(RemoveStretch(r, count, 2, 3), 1);
  EXPECT_EQ(r[1].next, 4);
  EXPECT_EQ(r[4].prev, 1);
  EXPECT_EQ(r[4].link, 4);
  EXPECT_EQ(r[2].kind, EVENT_FREE);
  EXPECT_EQ(r[3].kind, EVENT_FREE);

  // The chain end with its jump out: the jump moves to the command before.
  r = Loop(count);
  EXPECT_EQ(RemoveStretch(r, count, 4, 4), 3);
  EXPECT_EQ(r[3].next, -1);
  EXPECT_EQ(r[3].link, 1) << "a repeat keeps its own loop";
  r = Loop(count);
  r[3].kind = EVENT_TIMER;
  r[3].link = -1;
  EXPECT_EQ(RemoveStretch(r, count, 4, 4), 3);
  EXPECT_EQ(r[3].link, 2);

  // The head of a second chain: the rest heads it, and nothing links there.
  ProgramRecords c{};
  c[0] = MakeStartRecord();
  c[1] = {EVENT_TIMER};
  c[2] = {EVENT_TIMER};
  c[3] = {EVENT_TIMER};
  c[1].next = 2, c[2].prev = 1, c[2].next = 3, c[3].prev = 2, c[3].link = 2;
  EXPECT_EQ(RemoveStretch(c, 4, 1, 1), -1);
  EXPECT_EQ(c[2].prev, -1);
  EXPECT_EQ(c[3].link, -1);
  EXPECT_EQ(RemoveStretch(c, 4, 0, 0), -2) << "the start command stays";
}

}  // namespace
}  // namespace viren
