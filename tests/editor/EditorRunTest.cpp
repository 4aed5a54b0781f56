// A program built through the editor, saved, read back and run on the
// simulated car drives exactly like the same program written record by
// record.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "core/DriveTypes.h"

#include "EditorRig.h"
#include "editor/ProgramLayout.h"
#include "program/ProgramFile.h"
#include "simulation/SimulatedRun.h"

namespace viren {
namespace {

// Forward, then three times: turn left by 90 degrees, straighten, wait half
// a second; then stop and end.
std::vector<EventRecord> WrittenInCode() {
  std::vector<EventRecord> r(9);
  auto set = [&](int i, EventKind kind, int option, int v1, int v2) {
    r[i].kind = kind;
    r[i].option = static_cast<std::uint8_t>(option);
    r[i].value1 = static_cast<std::int16_t>(v1);
    r[i].value2 = static_cast<std::int16_t>(v2);
    r[i].prev = static_cast<std::int16_t>(i - 1);
    r[i].next = static_cast<std::int16_t>(i + 1 < 9 ? i + 1 : -1);
    r[i].oldIndex = static_cast<std::int16_t>(i);
  };
  set(0, EVENT_START, 0, 0, 0);
  set(1, EVENT_CAR, CAR_FORWARD, 0, 0);
  set(2, EVENT_HANDLE, HANDLE_LEFT, 90, 0);
  set(3, EVENT_HANDLE, HANDLE_STRAIGHT, 0, 0);
  set(4, EVENT_TIMER, 0, 0, 5);
  set(5, EVENT_REPEAT, 0, 3, 0);
  set(6, EVENT_CAR, CAR_STOP, 0, 0);
  set(7, EVENT_TIMER, 0, 1, 0);
  set(8, EVENT_END, 0, 0, 0);
  r[5].link = 2;
  LayoutProgram(r.data(), 9);
  return r;
}

void BuildThroughTheEditor(test::EditorRig& rig) {
  auto event = [&](int option, int value1, int check) {
    rig.dialogs.events.push_back([=](EventKind, EventDialogValues& v) {
      v.option = option;
      v.value1 = value1;
      v.check = check;
      return true;
    });
  };
  auto timer = [&](int seconds, int tenths) {
    rig.dialogs.timers.push_back([=](int& s, int& t) {
      s = seconds;
      t = tenths;
      return true;
    });
  };
  rig.Select(0);
  event(CAR_FORWARD, 0, 0);
  rig.Insert(EVENT_CAR);
  event(HANDLE_LEFT, 90, 0);
  const int left = rig.Insert(EVENT_HANDLE);
  event(HANDLE_STRAIGHT, 0, 0);
  rig.Insert(EVENT_HANDLE);
  timer(0, 5);
  rig.Insert(EVENT_TIMER);
  event(0, 3, 0);
  const int repeat = rig.Insert(EVENT_REPEAT);
  for (int id : rig.ui.postedCommands()) rig.editor.OnCommand(id);
  rig.Click(left);
  rig.Select(repeat);
  event(CAR_STOP, 0, 0);
  rig.Insert(EVENT_CAR);
  timer(1, 0);
  rig.Insert(EVENT_TIMER);
  rig.Insert(EVENT_END);
}

std::vector<TrackRow> RunOnSimulatedCar(const Settings& settings, const std::string& file) {
  test::FakeUiHost ui;
  SimulatedRunOptions options;
  options.programFile = file;
  options.durationMs = 20000;
  std::vector<TrackRow> track;
  EXPECT_EQ(RunProgramOnSimulatedCar(settings, ui, options, track), RUN_OK);
  EXPECT_TRUE(ui.messages().empty());
  return track;
}

TEST(EditorRun, aProgramBuiltInTheEditorDrivesLikeTheSameProgramWrittenInCode) {
  test::EditorRig rig;
  BuildThroughTheEditor(rig);
  ASSERT_TRUE(rig.ui.messages().empty());
  ProgramFiles files(rig.program, rig.settings, rig.ui);
  const std::string edited = rig.dir.File("edited.ntc");
  ASSERT_TRUE(files.WriteProgramFile(edited));

  const std::vector<EventRecord> code = WrittenInCode();
  const std::string written = rig.dir.File("written.ntc");
  {
    std::ofstream out(written, std::ios::binary);
    out << EncodeProgramFile(code.data(), static_cast<int>(code.size()));
  }
  EXPECT_EQ(rig.dir.Read("edited.ntc"), rig.dir.Read("written.ntc"))
      << "the same records, byte for byte";

  // Read back as the program would open it.
  DrivingProgram reloaded;
  ProgramFiles reader(reloaded, rig.settings, rig.ui);
  ASSERT_TRUE(reader.ReadProgramFile(edited));
  EXPECT_EQ(reloaded.count(), 9);
  EXPECT_EQ(reloaded.Record(5).link, 2);

  Settings settings(&rig.ui);
  settings.SetPaths(test::SourceDir() + "/data", rig.dir.File("VIREN.ini"),
                    rig.dir.File("option.ini"));
  const auto fromEditor = RunOnSimulatedCar(settings, edited);
  const auto fromCode = RunOnSimulatedCar(settings, written);
  ASSERT_GT(fromEditor.size(), 300u);
  ASSERT_EQ(fromEditor.size(), fromCode.size());
  std::set<int> commands;
  int timerStretches = 0;
  for (size_t i = 0; i < fromEditor.size(); ++i) {
    if (fromEditor[i].command == 4 && (i == 0 || fromEditor[i - 1].command != 4)) ++timerStretches;
    ASSERT_EQ(FormatTrackRow(fromEditor[i]), FormatTrackRow(fromCode[i])) << "row " << i;
    commands.insert(fromEditor[i].command);
  }
  std::string seen;
  for (int c : commands) seen += std::to_string(c) + " ";
  EXPECT_TRUE(commands.count(7) && commands.count(2)) << seen;
  EXPECT_EQ(timerStretches, 3) << "three passes of the loop";
  EXPECT_EQ(fromEditor.back().driveState & (DRIVE_STATE_FORWARD | DRIVE_STATE_REVERSE), 0u)
      << "the car stopped at the end";
}

}  // namespace
}  // namespace viren
