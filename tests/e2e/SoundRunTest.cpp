// Sound commands of a driving program run by viren-run on the virtual clock
// and a fake audio output: the sound log says which sound started and stopped
// when, the track says which command ran when.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/RunViren.h"
#include "support/TestDir.h"

namespace viren {
namespace {

// The records of a program file that matter here: kind, option and value1 of
// each command, in slot order (the samples run their commands in that order).
struct Command {
  int kind = 0;
  int option = 0;
  int value1 = 0;
};
constexpr int kEventSound = 7;
constexpr int kEventEnd = 8;

std::vector<Command> ReadProgram(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  std::vector<Command> commands;
  for (size_t at = 32; at + 32 <= bytes.size(); at += 32) {
    const auto* r = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    commands.push_back({r[0], r[1], static_cast<std::int16_t>(r[4] | (r[5] << 8))});
  }
  return commands;
}

std::vector<std::vector<std::string>> ReadCsv(const std::string& text, const std::string& header) {
  std::istringstream in(text);
  std::string line;
  std::vector<std::vector<std::string>> rows;
  if (!std::getline(in, line) || line != header) {
    ADD_FAILURE() << "header " << line;
    return rows;
  }
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::istringstream fields(line);
    std::string cell;
    while (std::getline(fields, cell, ',')) cells.push_back(cell);
    rows.push_back(cells);
  }
  return rows;
}

struct TrackRow {
  std::int64_t tMs;
  int command;
};

struct SoundEvent {
  std::int64_t tMs;
  std::string event, file, repeat;
};

// The files of sound numbers 1, 2 and 3.
const std::vector<std::string> kSoundFiles = {"horn.wav", "engine.wav", "tune.mid"};

class SoundRun : public ::testing::Test {
 protected:
  SoundRun() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    std::filesystem::copy(test::ProgramFolder() + "/sample", dir.File("sample"),
                          std::filesystem::copy_options::recursive);
    std::string ini = "[AGREEMENT]\r\nAGREEMENT=1\r\n[SOUND]\r\n";
    for (size_t i = 0; i < kSoundFiles.size(); ++i)
      ini += "SOUND_FILE" + std::to_string(i + 1) + "=" + kSoundFiles[i] + "\r\n";
    dir.Write("option.ini", ini);
  }

  // Runs `program` from the sample folder for `seconds` of virtual time.
  void Run(const std::string& program, double seconds) {
    std::ostringstream args;
    args << "--dir " << dir.path() << " --program " << program
         << " --auto --virtual-clock --seconds " << seconds << " --track " << dir.File("t.csv")
         << " --sound-log " << dir.File("s.csv");
    const auto r = test::RunViren(args.str());
    ASSERT_EQ(r.status, 0) << r.err;
    commands = ReadProgram(dir.File("sample/program/" + program));
    for (const auto& c :
         ReadCsv(dir.Read("t.csv"), "t_ms,x,y,direction,turn_count,drive_state,command"))
      track.push_back({std::stoll(c.at(0)), std::stoi(c.at(6))});
    for (const auto& c : ReadCsv(dir.Read("s.csv"), "t_ms,event,file,repeat"))
      sounds.push_back({std::stoll(c.at(0)), c.at(1), c.at(2), c.at(3)});
  }

  // The times between which command `index`, which takes no time itself, ran:
  // from the last track row of an earlier command to the first row of a later
  // one (or of the ended run).
  std::pair<std::int64_t, std::int64_t> Window(int index) const {
    std::pair<std::int64_t, std::int64_t> window{0, -1};
    for (const TrackRow& row : track) {
      if (row.command >= 0 && row.command < index) window.first = row.tMs;
      if ((row.command > index || (row.command == -1 && row.tMs > 0)) && row.tMs >= window.first) {
        window.second = row.tMs;
        break;
      }
    }
    return window;
  }

  test::TestDir dir;
  std::vector<Command> commands;
  std::vector<TrackRow> track;
  std::vector<SoundEvent> sounds;
};

::testing::AssertionResult At(const SoundEvent& e, std::pair<std::int64_t, std::int64_t> window) {
  if (window.second >= 0 && window.first <= e.tMs && e.tMs <= window.second)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << e.event << " " << e.file << " at " << e.tMs << " ms, its command ran between "
         << window.first << " and " << window.second << " ms";
}

// Every sound command of the program is heard at its own command, and the
// end of the program silences what still plays; nothing else starts or stops.
TEST_F(SoundRun, eachSoundStartsAndStopsAtItsCommandAndTheEndStopsTheRest) {
  Run("sounds.ntc", 5);
  ASSERT_FALSE(track.empty());
  size_t next = 0;                      // the log entry the next command must have written
  std::map<std::string, bool> endless;  // playing sounds: endless or once
  int end = -1;
  for (int i = 0; i < static_cast<int>(commands.size()); ++i) {
    const Command& c = commands[i];
    if (c.kind == kEventEnd) end = i;
    if (c.kind != kEventSound) continue;
    SCOPED_TRACE("command " + std::to_string(i));
    ASSERT_LT(next, sounds.size());
    const SoundEvent& e = sounds[next++];
    ASSERT_GE(c.value1, 1);
    const std::string& file = kSoundFiles.at(c.value1 - 1);
    EXPECT_EQ(e.file, file);
    EXPECT_TRUE(At(e, Window(i)));
    if (c.option == 0) {
      EXPECT_EQ(e.event, "stop");
      EXPECT_TRUE(endless[file]) << "only an endless sound is still playing at its stop";
      endless.erase(file);
    } else {
      EXPECT_EQ(e.event, "play");
      EXPECT_EQ(e.repeat, c.option == 2 ? "endless" : "once");
      endless[file] = c.option == 2;
    }
  }
  ASSERT_GE(end, 0);
  // At the end: every endless sound stops; a sound played once may still be
  // heard in the audio library's own time, and then it stops there too.
  std::map<std::string, bool> stopped;
  for (; next < sounds.size(); ++next) {
    const SoundEvent& e = sounds[next];
    EXPECT_EQ(e.event, "stop") << e.file;
    EXPECT_TRUE(At(e, Window(end)));
    EXPECT_TRUE(endless.count(e.file)) << e.file << " was not playing";
    stopped[e.file] = true;
  }
  for (const auto& [file, isEndless] : endless)
    if (isEndless) {
      EXPECT_TRUE(stopped[file]) << file << " plays on after the end";
    }
  EXPECT_EQ(track.back().command, -1) << "the program ended within the run";
}

// The waits between the sound commands take exactly their time on the
// virtual clock: the tune starts half a second after the horn, and the end
// comes a second after the engine's stop.
TEST_F(SoundRun, timedWaitsSeparateTheSoundsExactly) {
  Run("sounds.ntc", 5);
  std::map<std::string, std::int64_t> at;
  for (const SoundEvent& e : sounds) at.emplace(e.event + " " + e.file, e.tMs);
  ASSERT_TRUE(at.count("play horn.wav") && at.count("play tune.mid") &&
              at.count("stop engine.wav") && at.count("stop tune.mid"));
  EXPECT_EQ(at["play tune.mid"] - at["play horn.wav"], 500);
  EXPECT_EQ(at["stop tune.mid"] - at["stop engine.wav"], 1000);
  EXPECT_GT(at["stop engine.wav"], at["play tune.mid"]) << "the car drove back in between";
}

// figure8 sounds the horn endlessly from its first command; stopped 3 s in,
// before its eights are done, the horn stops when viren-run ends automatic
// driving.
TEST_F(SoundRun, endlessHornOfARunningProgramStopsWhenTheRunEnds) {
  Run("figure8.ntc", 3);
  ASSERT_EQ(sounds.size(), 2u) << dir.Read("s.csv");
  EXPECT_EQ(sounds[0].event, "play");
  EXPECT_EQ(sounds[0].file, "horn.wav");
  EXPECT_EQ(sounds[0].repeat, "endless");
  EXPECT_TRUE(At(sounds[0], Window(1)));
  EXPECT_EQ(sounds[1].event, "stop");
  EXPECT_EQ(sounds[1].file, "horn.wav");
  EXPECT_EQ(sounds[1].tMs, 3000);
  EXPECT_GE(track.back().command, 0) << "the program was still running";
}

TEST_F(SoundRun, unwritableSoundLogFailsTheRun) {
  const auto r =
      test::RunViren("--dir " + dir.path() + " --program sounds.ntc --auto " +
                     "--virtual-clock --seconds 1 --sound-log " + dir.File("no-such-folder/s.csv"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace viren
