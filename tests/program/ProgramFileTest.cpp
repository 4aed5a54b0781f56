#include "program/ProgramFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <tuple>

#include "settings/Settings.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

// Answers the file choosers from a script, remembering what they were offered.
class ScriptedDialogs : public ProgramFileDialogs {
 public:
  std::string ChooseProgramToOpen(const std::string& initialName,
                                  const std::string& initialFolder) override {
    offeredName = initialName;
    offeredFolder = initialFolder;
    return answer;
  }
  std::string ChooseProgramToSave(const std::string& initialName) override {
    offeredName = initialName;
    return answer;
  }
  std::string answer;
  std::string offeredName;
  std::string offeredFolder;
};

// The start command with a 2.5 s timer behind it, as the editor leaves it.
void StartWithTimer(DrivingProgram& program) {
  EventRecord r[2];
  r[0] = MakeStartRecord();
  r[0].next = 1;
  r[1].kind = EVENT_TIMER;
  r[1].value1 = 2;
  r[1].value2 = 5;
  r[1].x = 72;
  r[1].y = 16;
  r[1].prev = 0;
  r[1].oldIndex = 0;
  program.Replace(r, 2);
}

class ProgramFileTest : public ::testing::Test {
 protected:
  ProgramFileTest() : settings(&ui), files(program, settings, ui, &dialogs) {
    settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
    std::filesystem::create_directories(dir.path() + "/sample/program");
  }
  std::string Bytes(std::string_view name) const { return dir.Read(name); }

  test::TestDir dir;
  test::FakeUiHost ui;
  Settings settings;
  DrivingProgram program;
  ScriptedDialogs dialogs;
  ProgramFiles files;
};

TEST_F(ProgramFileTest, startAndTimerSaveAsTheDocumented96Bytes) {
  StartWithTimer(program);
  dialogs.answer = dir.File("t.ntc");
  ASSERT_TRUE(files.SaveProgramFile());
  const std::string b = Bytes("t.ntc");
  ASSERT_EQ(b.size(), 96u);
  const unsigned char expected[96] = {
      // header: ".ntc", version 2, count 2, 20 reserved bytes
      0x2E, 0x6E, 0x74, 0x63, 2, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0, 0, 0, 0, 0,
      // record 0: start at (16,16), next 1, prev -1, link -1, oldIndex 0
      1, 0, 0, 0, 0, 0, 0, 0, 16, 0, 16, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0,  //
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      // record 1: timer 2 s 5 tenths at (72,16), next -1, prev 0, link -1, oldIndex 1
      2, 0, 0, 0, 2, 0, 5, 0, 72, 0, 16, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0, 1, 0, 0, 0, 0, 0, 0,
      0, 0, 0, 0, 0};
  EXPECT_EQ(b, std::string(reinterpret_cast<const char*>(expected), 96));
  EXPECT_FALSE(program.modified);
  EXPECT_EQ(program.fileName, dir.File("t.ntc"));
  EXPECT_EQ(settings.ReadString(keys::EVENT_FILE_NAME), dir.File("t.ntc"));
}

TEST_F(ProgramFileTest, savingAfterDeletionsRenumbersAndReloadsTheSameFlowchart) {
  EventRecord r[5];
  r[0] = MakeStartRecord();
  r[1].kind = EVENT_FREE;  // deleted
  r[2].kind = EVENT_TIMER;
  r[2].value1 = 1;
  r[3].kind = EVENT_REPEAT;
  r[3].value1 = 3;
  r[4].kind = EVENT_CAR;
  r[4].option = 1;
  r[4].value1 = 40;
  r[0].next = 4;
  r[4].prev = 0;
  r[4].next = 2;
  r[2].prev = 4;
  r[2].next = 3;
  r[3].prev = 2;
  r[3].link = 4;
  for (int i = 0; i < 5; ++i) r[i].x = static_cast<std::int16_t>(16 + 56 * i);
  program.Replace(r, 5);
  program.modified = true;
  dialogs.answer = dir.File("d.ntc");
  ASSERT_TRUE(files.SaveProgramFile());
  EXPECT_EQ(program.count(), 4);
  EXPECT_EQ(Bytes("d.ntc").size(), 32u + 4 * 32);

  DrivingProgram reloaded;
  ProgramFiles other(reloaded, settings, ui);
  ASSERT_TRUE(other.ReadProgramFile(dir.File("d.ntc")));
  ASSERT_EQ(reloaded.count(), 4);
  const EventKind chain[] = {EVENT_START, EVENT_CAR, EVENT_TIMER, EVENT_REPEAT};
  const int boxX[] = {16, 16 + 56 * 4, 16 + 56 * 2, 16 + 56 * 3};
  for (int i = 0; i < 4; ++i) {
    const EventRecord e = reloaded.Record(i);
    EXPECT_EQ(e.kind, chain[i]);
    EXPECT_EQ(e.x, boxX[i]);
    EXPECT_EQ(e.next, i < 3 ? i + 1 : -1);
    EXPECT_EQ(e.prev, i - 1);
  }
  EXPECT_EQ(reloaded.Record(3).link, 1);  // still the car command
}

TEST_F(ProgramFileTest, otherVersionsReadLikeVersionTwo) {
  StartWithTimer(program);
  ASSERT_TRUE(files.WriteProgramFile(dir.File("v.ntc")));
  std::string b = Bytes("v.ntc");
  for (char version : {char(1), char(3)}) {
    b[4] = version;
    dir.Write("v.ntc", b);
    DrivingProgram p;
    ProgramFiles f(p, settings, ui);
    ASSERT_TRUE(f.ReadProgramFile(dir.File("v.ntc")));
    EXPECT_EQ(p.count(), 2);
    EXPECT_EQ(p.Record(1).value2, 5);
  }
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(ProgramFileTest, refusedFilesLeaveTheProgramUntouched) {
  StartWithTimer(program);
  ASSERT_TRUE(files.WriteProgramFile(dir.File("good.ntc")));
  const std::string good = Bytes("good.ntc");
  auto withCount = [&](std::int32_t count) {
    std::string b = good;
    std::memcpy(b.data() + 8, &count, 4);
    return b;
  };
  std::string badMagic = good;
  badMagic[1] = 'N';
  // Not a program file (MSG_NOT_PROGRAM_FILE), or one that cannot be read as one
  // (MSG_PROGRAM_READ_FAILED).
  const std::vector<std::tuple<std::string, std::string, int>> cases = {
      {"magic", badMagic, MSG_NOT_PROGRAM_FILE},
      {"empty", "", MSG_NOT_PROGRAM_FILE},
      {"count0", withCount(0), MSG_PROGRAM_READ_FAILED},
      {"countNegative", withCount(-3), MSG_PROGRAM_READ_FAILED},
      {"count101", withCount(101), MSG_PROGRAM_READ_FAILED},
      {"countHuge", withCount(0x7FFFFFFF), MSG_PROGRAM_READ_FAILED},
      {"shortData", withCount(3), MSG_PROGRAM_READ_FAILED},
      {"shortHeader", good.substr(0, 20), MSG_PROGRAM_READ_FAILED},
  };
  for (const auto& [name, bytes, message] : cases) {
    dir.Write(name, bytes);
    EXPECT_FALSE(files.ReadProgramFile(dir.File(name))) << name;
    EXPECT_EQ(program.count(), 2) << name;
    EXPECT_EQ(program.Record(1).value1, 2) << name;
    EXPECT_EQ(ui.messageIds().back(), message) << name;
  }
  EXPECT_FALSE(files.ReadProgramFile(dir.File("missing.ntc")));
  EXPECT_EQ(ui.messageIds().back(), MSG_PROGRAM_READ_FAILED);
  EXPECT_EQ(program.count(), 2);
}

TEST_F(ProgramFileTest, fullHundredRecordFileIsAccepted) {
  std::vector<EventRecord> r(kProgramSlots);
  r[0] = MakeStartRecord();
  dir.Write("full.ntc", EncodeProgramFile(r.data(), kProgramSlots) + std::string(64, 'x'));
  EXPECT_TRUE(files.ReadProgramFile(dir.File("full.ntc")));
  EXPECT_EQ(program.count(), kProgramSlots);
}

// Random, truncated and hostile files: the reader never stores outside the
// 100 slots and the operations that walk the records never leave them.
TEST(ProgramFileFuzz, hostileBytesNeverReadOrWriteOutOfBounds) {
  std::mt19937 rng(20240611);
  DrivingProgram source;
  StartWithTimer(source);
  int n = 0;
  const ProgramRecords base = source.Snapshot(&n);
  const std::string good = EncodeProgramFile(base.data(), n);
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string bytes;
    switch (round % 4) {
      case 0: {  // random length, random content, right magic
        bytes.resize(rng() % 3400);
        for (char& c : bytes) c = static_cast<char>(rng());
        if (bytes.size() >= 4) bytes.replace(0, 4, ".ntc");
        break;
      }
      case 1:  // truncated good file
        bytes = good.substr(0, rng() % (good.size() + 1));
        break;
      case 2: {  // good header, random count and records
        const std::int32_t count = static_cast<std::int32_t>(rng() % 130) - 10;
        bytes = good.substr(0, 32);
        std::memcpy(bytes.data() + 8, &count, 4);
        bytes.resize(32 + (rng() % 110) * 32);
        for (size_t i = 32; i < bytes.size(); ++i) bytes[i] = static_cast<char>(rng());
        break;
      }
      default: {  // good file with flipped bytes
        bytes = good;
        for (int k = 0; k < 4; ++k) bytes[rng() % bytes.size()] = static_cast<char>(rng());
        break;
      }
    }
    ProgramRecords records;
    int count = -1;
    if (DecodeProgramFile(bytes, records, count) != ProgramReadStatus::Ok) continue;
    ++accepted;
    ASSERT_GE(count, 1);
    ASSERT_LE(count, kProgramSlots);
    // What is accepted names nothing outside the records it came with.
    for (int s = 0; s < count; ++s)
      for (int field : {int(records[s].next), int(records[s].prev), int(records[s].link)}) {
        ASSERT_GE(field, -1);
        ASSERT_LT(field, count);
      }
    DrivingProgram p;
    ASSERT_TRUE(p.Replace(records.data(), count));
    for (int s = 0; s < count; ++s) p.CountTimedCommands(s, records[s].link);
    p.ArmForRun();
    p.Compact();
    ASSERT_GE(p.count(), 1);
    ASSERT_LE(p.count(), count);
    int compacted = 0;
    const ProgramRecords after = p.Snapshot(&compacted);
    for (int s = 0; s < compacted; ++s) {
      ASSERT_GE(after[s].next, -1);
      ASSERT_LT(after[s].next, compacted);
      ASSERT_GE(after[s].link, -1);
      ASSERT_LT(after[s].link, compacted);
    }
  }
  EXPECT_GT(accepted, 1000);
}

TEST_F(ProgramFileTest, startupLoadsABareFileNameFromTheSampleFolder) {
  StartWithTimer(program);
  ASSERT_TRUE(files.WriteProgramFile(dir.path() + "/sample/program/boot.ntc"));
  dir.Write("option.ini", "[EVENT]\nFILE_NAME=boot.ntc\n");
  DrivingProgram p;
  ProgramFiles f(p, settings, ui);
  int redraws = 0;
  f.SetRedraw([&] { ++redraws; });
  f.LoadProgramAtStartup();
  EXPECT_EQ(p.count(), 2);
  EXPECT_EQ(p.fileName, "boot.ntc");
  EXPECT_EQ(p.selection, 0);
  EXPECT_FALSE(p.modified);
  EXPECT_EQ(redraws, 1);
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(ProgramFileTest, startupWithABrokenFileKeepsTheStartOnlyProgram) {
  dir.Write("sample/program/bad.ntc", "nope");
  dir.Write("option.ini", "[EVENT]\nFILE_NAME=bad.ntc\n");
  files.LoadProgramAtStartup();
  EXPECT_EQ(program.count(), 1);
  EXPECT_EQ(program.Record(0).kind, EVENT_START);
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_NOT_PROGRAM_FILE});
  dir.Write("option.ini", "[EVENT]\nFILE_NAME=" + dir.File("gone.ntc") + "\n");
  files.LoadProgramAtStartup();
  EXPECT_EQ(ui.messageIds().back(), MSG_PROGRAM_READ_FAILED);
}

TEST_F(ProgramFileTest, openAsksToSaveAModifiedProgramFirst) {
  StartWithTimer(program);
  ASSERT_TRUE(files.WriteProgramFile(dir.File("other.ntc")));
  program.ResetToStart();
  program.modified = true;
  program.fileName = dir.File("current.ntc");

  ui.ScriptAnswer(MsgAnswer::Yes);  // save first...
  dialogs.answer = "";              // ...but cancel the save dialog: nothing opens
  files.OpenProgramFile(false);
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_SAVE_EDITED_PROGRAM});
  EXPECT_EQ(program.count(), 1);
  EXPECT_TRUE(program.modified);

  ui.ScriptAnswer(MsgAnswer::No);
  dialogs.answer = dir.File("other.ntc");
  files.OpenProgramFile(false);
  EXPECT_EQ(dialogs.offeredName, dir.File("current.ntc"));
  EXPECT_EQ(program.count(), 2);
  EXPECT_FALSE(program.modified);
  EXPECT_EQ(program.fileName, dir.File("other.ntc"));
  EXPECT_EQ(settings.ReadString(keys::EVENT_FILE_NAME), dir.File("other.ntc"));

  files.OpenProgramFile(true);  // the sample folder, no name proposed
  EXPECT_EQ(dialogs.offeredName, "");
  EXPECT_EQ(dialogs.offeredFolder, dir.path() + "/sample/program/");
}

TEST_F(ProgramFileTest, failedSaveShows148AndStaysModified) {
  StartWithTimer(program);
  program.modified = true;
  dialogs.answer = dir.path() + "/no/such/folder/x.ntc";
  EXPECT_FALSE(files.SaveProgramFile());
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_PROGRAM_SAVE_FAILED});
  EXPECT_TRUE(program.modified);
  ui.ScriptAnswer(MsgAnswer::Yes);  // "save?" then the same failing file: do not go on
  EXPECT_FALSE(files.ConfirmSaveIfModified());
  ui.ScriptAnswer(MsgAnswer::No);
  EXPECT_TRUE(files.ConfirmSaveIfModified());
}

TEST_F(ProgramFileTest, newProgramAsksAndKeepsTheFileName) {
  StartWithTimer(program);
  program.fileName = "old.ntc";
  ui.ScriptAnswer(MsgAnswer::No);
  files.NewProgram();
  EXPECT_EQ(program.count(), 2);
  ui.ScriptAnswer(MsgAnswer::Yes);
  files.NewProgram();
  EXPECT_EQ(program.count(), 1);
  EXPECT_EQ(program.fileName, "old.ntc");
  EXPECT_EQ(ui.messageIds(), (std::vector<int>{MSG_DISCARD_PROGRAM, MSG_DISCARD_PROGRAM}));
  EXPECT_EQ(ui.messages()[0].buttons, MsgButtons::YesNo);
}

}  // namespace
}  // namespace viren
