// Damaged program files met by the editor: every file is refused with the
// read-error message or repaired into a program whose chains stay inside
// the records, and the editor can then insert and delete behind each of its
// commands without writing outside them or running in circles.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "EditorRig.h"
#include "program/ProgramFile.h"

namespace viren {
namespace {

using test::EditorRig;

// Start -> 1 s timer -> car forward 40 -> repeat twice back to the timer.
std::vector<EventRecord> GoodRecords() {
  std::vector<EventRecord> r(4);
  r[0] = MakeStartRecord();
  r[1].kind = EVENT_TIMER;
  r[1].value1 = 1;
  r[2].kind = EVENT_CAR;
  r[2].option = CAR_FORWARD;
  r[2].value1 = 40;
  r[3].kind = EVENT_REPEAT;
  r[3].value1 = 2;
  r[3].link = 1;
  for (int i = 0; i < 4; ++i) {
    r[i].x = static_cast<std::int16_t>(16 + 56 * i);
    r[i].y = 16;
    r[i].next = static_cast<std::int16_t>(i < 3 ? i + 1 : -1);
    r[i].prev = static_cast<std::int16_t>(i - 1);
  }
  return r;
}

std::string FileOf(const std::vector<EventRecord>& r) {
  return EncodeProgramFile(r.data(), static_cast<int>(r.size()));
}

// Every next, prev and link of the program names a used record or is -1,
// next and prev agree, and every chain ends within the number of records.
void ExpectSafeToWalk(const DrivingProgram& program, const std::string& label) {
  int count = 0;
  const ProgramRecords r = program.Snapshot(&count);
  auto used = [&](int i) { return i >= 0 && i < count && r[i].kind != EVENT_FREE; };
  for (int i = 0; i < count; ++i) {
    if (r[i].kind == EVENT_FREE) continue;
    for (int field : {int(r[i].next), int(r[i].prev), int(r[i].link)})
      EXPECT_TRUE(field == -1 || used(field)) << label << ": record " << i << " names " << field;
    if (used(r[i].next)) {
      EXPECT_EQ(r[r[i].next].prev, i) << label << ": record " << i;
    }
    if (used(r[i].prev)) {
      EXPECT_EQ(r[r[i].prev].next, i) << label << ": record " << i;
    }
    int steps = 0;
    for (int c = i; used(c) && steps <= count; c = r[c].next) ++steps;
    EXPECT_LE(steps, count) << label << ": the chain through " << i << " does not end";
  }
}

struct DamagedCase {
  const char* name;
  std::function<std::string()> file;
  bool refused;
  std::vector<int> startChain;  // kinds along the start chain once repaired
};

std::string WithCount(std::int32_t count) {
  std::string bytes = FileOf(GoodRecords());
  std::memcpy(bytes.data() + 8, &count, sizeof count);
  return bytes;
}

std::string Changed(const std::function<void(std::vector<EventRecord>&)>& change) {
  std::vector<EventRecord> r = GoodRecords();
  change(r);
  return FileOf(r);
}

const std::vector<int> kWhole = {EVENT_START, EVENT_TIMER, EVENT_CAR, EVENT_REPEAT};
const std::vector<int> kStartTimer = {EVENT_START, EVENT_TIMER};
const std::vector<int> kStartOnly = {EVENT_START};

const DamagedCase kCases[] = {
    {"next beyond the slots", [] { return Changed([](auto& r) { r[1].next = 250; }); }, false,
     kStartTimer},
    {"next beyond the count", [] { return Changed([](auto& r) { r[1].next = 7; }); }, false,
     kStartTimer},
    {"next negative", [] { return Changed([](auto& r) { r[1].next = -9; }); }, false, kStartTimer},
    {"prev beyond the slots", [] { return Changed([](auto& r) { r[2].prev = 120; }); }, false,
     kStartTimer},
    {"prev naming another record",
     [] { return Changed([](auto& r) { r[3].prev = 1; }); },
     false,
     {EVENT_START, EVENT_TIMER, EVENT_CAR}},
    {"link beyond the slots", [] { return Changed([](auto& r) { r[3].link = 300; }); }, false,
     kWhole},
    {"link to a free slot",
     [] {
       return Changed([](auto& r) {
         r.push_back(EventRecord{});
         r[3].link = 4;
       });
     },
     false, kWhole},
    {"link on the start command", [] { return Changed([](auto& r) { r[0].link = 2; }); }, false,
     kWhole},
    {"next back to the start command",
     [] {
       return Changed([](auto& r) {
         r[3].next = 0;
         r[0].prev = 3;
       });
     },
     false, kWhole},
    {"ring of next links",
     [] {
       return Changed([](auto& r) {
         r[0].next = -1;  // 1 -> 2 -> 3 -> 1, no head
         r[3].next = 1;
         r[1].prev = 3;
       });
     },
     false, kStartOnly},
    {"command following itself",
     [] {
       return Changed([](auto& r) {
         r[2].next = 3;
         r[3].next = 3;
         r[3].prev = 3;
       });
     },
     false,
     {EVENT_START, EVENT_TIMER, EVENT_CAR}},
    {"free slot inside a chain", [] { return Changed([](auto& r) { r[2].kind = EVENT_FREE; }); },
     false, kStartTimer},
    {"count larger than the data", [] { return WithCount(5); }, true, {}},
    {"count zero", [] { return WithCount(0); }, true, {}},
    {"count negative", [] { return WithCount(-1); }, true, {}},
    {"count above the slots", [] { return WithCount(101); }, true, {}},
    {"header cut short", [] { return FileOf(GoodRecords()).substr(0, 20); }, true, {}},
    {"kind after the last known",
     [] { return Changed([](auto& r) { r[2].kind = 10; }); },
     true,
     {}},
    {"kind 255", [] { return Changed([](auto& r) { r[1].kind = 255; }); }, true, {}},
    {"record 0 not the start",
     [] { return Changed([](auto& r) { r[0].kind = EVENT_TIMER; }); },
     true,
     {}},
    {"a second start command",
     [] { return Changed([](auto& r) { r[2].kind = EVENT_START; }); },
     true,
     {}},
};

TEST(DamagedProgramFileTest, eachFileIsRefusedOrRepairedAndThenEditsStayInside) {
  for (const DamagedCase& c : kCases) {
    SCOPED_TRACE(c.name);
    EditorRig rig;
    ProgramFiles files(rig.program, rig.settings, rig.ui);
    // A program the user has on screen, which a refused file must not touch.
    rig.Select(0);
    ASSERT_NE(rig.Insert(EVENT_TIMER), -1);
    const ProgramRecords before = rig.program.Snapshot();
    rig.dir.Write("damaged.ntc", c.file());

    const bool read = files.ReadProgramFile(rig.dir.File("damaged.ntc"));
    if (c.refused) {
      EXPECT_FALSE(read);
      EXPECT_EQ(rig.ui.messageIds(), std::vector<int>{MSG_PROGRAM_READ_FAILED});
      EXPECT_EQ(rig.program.count(), 2);
      EXPECT_EQ(std::memcmp(rig.program.Snapshot().data(), before.data(), sizeof before), 0);
      continue;
    }
    ASSERT_TRUE(read);
    EXPECT_TRUE(rig.ui.messages().empty());
    ExpectSafeToWalk(rig.program, "loaded");
    EXPECT_EQ(rig.ChainKinds(0), c.startChain);

    // Behind every command that takes one, a timer goes in and comes out.
    const int loaded = rig.program.count();
    for (int s = 0; s < loaded; ++s) {
      const EventRecord at = rig.At(s);
      if (at.kind == EVENT_FREE || at.kind == EVENT_END) continue;
      rig.Select(s);
      const int added = rig.Insert(EVENT_TIMER);
      ASSERT_NE(added, -1) << "behind " << s;
      EXPECT_EQ(rig.At(added).prev, s);
      EXPECT_EQ(rig.At(s).next, added);
      ExpectSafeToWalk(rig.program, "inserted behind " + std::to_string(s));
      rig.ui.ScriptAnswer(MsgAnswer::Yes);
      rig.Select(added);
      rig.editor.DeleteCommand();
      EXPECT_EQ(rig.At(added).kind, EVENT_FREE);
      ExpectSafeToWalk(rig.program, "deleted behind " + std::to_string(s));
    }
    // Saving compacts the repaired program into a file that reads back whole.
    ASSERT_TRUE(files.WriteProgramFile(rig.dir.File("saved.ntc")));
    DrivingProgram reread;
    ProgramFiles again(reread, rig.settings, rig.ui);
    ASSERT_TRUE(again.ReadProgramFile(rig.dir.File("saved.ntc")));
    EXPECT_EQ(reread.count(), rig.program.count());
  }
}

}  // namespace
}  // namespace viren
