#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "settings/IniFile.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() : settings(&ui) {
    settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
  }
  test::TestDir dir;
  test::FakeUiHost ui;
  Settings settings;
};

TEST_F(SettingsTest, colourTextsOfBothCasesReadAlike) {
  dir.Write("VIREN.ini", "[C]\nLOWER=#fff9bd\nUPPER=#FFF9BD\n");
  EXPECT_EQ(settings.ReadSettingColor("C", "LOWER", "#000000"), MakeColorRef(0xFF, 0xF9, 0xBD));
  EXPECT_EQ(settings.ReadSettingColor("C", "UPPER", "#000000"), MakeColorRef(0xFF, 0xF9, 0xBD));
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(SettingsTest, malformedColourShowsMessage130WithSectionAndKeyAndGivesMinusOne) {
  dir.Write("VIREN.ini",
            "[C]\nSHORT=#FFF\nNOHASH=FFF9BD0\nBADDIGIT=#FFG9BD\nLONG=#FFF9BD0\nEMPTY=\n");
  for (const char* key : {"SHORT", "NOHASH", "BADDIGIT", "LONG", "EMPTY"})
    EXPECT_EQ(settings.ReadSettingColor("C", key, "#FFFFFF"), kBadColor) << key;
  const auto shown = ui.messages();
  ASSERT_EQ(shown.size(), 5u);
  EXPECT_EQ(shown[0].id, MSG_SETTING_ERROR);
  EXPECT_EQ(shown[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(shown[0].args, (std::vector<std::string>{"C", "SHORT"}));
  EXPECT_EQ(shown[4].args[1], "EMPTY");
}

TEST_F(SettingsTest, missingColourKeyTestsTheDefaultText) {
  EXPECT_EQ(settings.ReadSettingColor("C", "NONE", "#0000FF"), MakeColorRef(0, 0, 0xFF));
  EXPECT_EQ(settings.ReadSettingColor("C", "NONE", "blue"), kBadColor);
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_SETTING_ERROR});
}

TEST_F(SettingsTest, writtenColourIsUpperCaseHexRedFirst) {
  ASSERT_TRUE(settings.WriteColor(keys::CAR_COLOR, MakeColorRef(255, 0, 0)));
  EXPECT_EQ(ini::Lookup(dir.Read("option.ini"), "LAYOUT", "CAR_COLOR"), "#FF0000");
  ASSERT_TRUE(settings.WriteColor(keys::CAR_COLOR, MakeColorRef(0x0a, 0xbc, 0x01)));
  EXPECT_EQ(settings.ReadColor(keys::CAR_COLOR), MakeColorRef(0x0a, 0xbc, 0x01));
  EXPECT_EQ(ini::Lookup(dir.Read("option.ini"), "LAYOUT", "CAR_COLOR"), "#0ABC01");
}

TEST_F(SettingsTest, eachKeyIsReadFromItsOwnFileOnly) {
  dir.Write("VIREN.ini", "[VIEW]\nDIFF_LEVEL=10\n");
  dir.Write("option.ini", "[VIEW]\nSAMPLING_FRAME=7\n");
  EXPECT_EQ(settings.ReadInt(keys::DIFF_LEVEL), 90);       // option.ini, absent: default
  EXPECT_EQ(settings.ReadInt(keys::SAMPLING_FRAME), 100);  // VIREN.ini, absent: default
}

TEST_F(SettingsTest, emptyValueIsWrittenAsEmptyAndReadAsEmptyNotDefault) {
  ASSERT_TRUE(settings.WriteString(keys::RELAY_ID, ""));
  EXPECT_NE(dir.Read("VIREN.ini").find("RELAY_ID=\r\n"), std::string::npos);
  EXPECT_EQ(settings.ReadString(keys::RELAY_ID), "");
  // An integer with an empty value falls back to its default.
  ASSERT_TRUE(settings.WriteString(keys::COMPARE_FRAME, ""));
  EXPECT_EQ(settings.ReadInt(keys::COMPARE_FRAME), 1);
}

TEST_F(SettingsTest, longValuesAreCutTo259Characters) {
  const std::string longValue(400, 'x');
  ASSERT_TRUE(settings.WriteString(keys::LAYOUT_FILE, longValue));
  EXPECT_EQ(settings.ReadString(keys::LAYOUT_FILE), std::string(259, 'x'));
  EXPECT_EQ(settings.ReadSettingString("LAYOUT", "NONE", longValue, settings.optionFile()).size(),
            259u);
}

TEST_F(SettingsTest, resolutionPairsAndAPairWithoutComma) {
  SettingPair p = settings.ReadPair(keys::RESOLUTION);
  EXPECT_EQ(p.first, 320);
  EXPECT_EQ(p.second, 240);
  settings.WritePair(keys::RESOLUTION, 640, 480);
  EXPECT_EQ(ini::Lookup(dir.Read("option.ini"), "CAPTURE", "RESOLUTION"), "640,480");
  p = settings.ReadPair(keys::RESOLUTION);
  EXPECT_EQ(p.first, 640);
  EXPECT_EQ(p.second, 480);
  settings.WriteString(keys::RESOLUTION, "640");
  p = settings.ReadPair(keys::RESOLUTION);
  EXPECT_EQ(p.first, 640);
  EXPECT_EQ(p.second, 640);
}

TEST_F(SettingsTest, realsAndIntegersFromText) {
  EXPECT_DOUBLE_EQ(settings.ReadReal(keys::POSITION_STEP), 8.0);
  EXPECT_DOUBLE_EQ(settings.ReadReal(keys::DIRECTION_STEP), 0.02);
  dir.Write("VIREN.ini", "[SIMULATION]\nPOSITION_STEP=2.5\nSIMULATION_SPEED=20ms\n");
  EXPECT_DOUBLE_EQ(settings.ReadReal(keys::POSITION_STEP), 2.5);
  EXPECT_EQ(settings.ReadInt(keys::SIMULATION_SPEED), 20);
}

TEST_F(SettingsTest, resolveDataPathUnderTheProgramFolderOrAsGiven) {
  EXPECT_EQ(settings.ResolveDataPath("sample/sound", "horn.wav"),
            dir.path() + "/sample/sound/horn.wav");
  EXPECT_EQ(settings.ResolveDataPath("sample/sound", "/abs/horn.wav"), "/abs/horn.wav");
  // A value written by the Windows program keeps working.
  EXPECT_EQ(settings.ResolveDataPath("sample/program", "sample\\program\\eight.ntc"),
            "sample/program/eight.ntc");
}

TEST_F(SettingsTest, concurrentReadersAndAWriterSeeWholeValues) {
  dir.Write("option.ini", "[SOUND]\nSOUND_FILE1=horn.wav\n");
  std::atomic<bool> bad{false};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&] {
      for (int i = 0; i < 300; ++i) {
        const std::string v =
            settings.ReadSettingString("SOUND", "SOUND_FILE1", "", settings.optionFile());
        if (v != "horn.wav" && v != "engine-loop.wav") bad = true;
      }
    });
  }
  for (int i = 0; i < 100; ++i)
    settings.WriteSettingString("SOUND", "SOUND_FILE1", i % 2 ? "horn.wav" : "engine-loop.wav",
                                settings.optionFile());
  for (auto& r : readers) r.join();
  EXPECT_FALSE(bad);
}

TEST(SettingsTable, everyKeyHasAReadableDefaultOfItsType) {
  std::set<std::pair<std::string, std::string>> seen;
  for (const SettingKey& k : AllSettingKeys()) {
    EXPECT_TRUE(seen.insert({std::string(k.section), std::string(k.key)}).second)
        << k.section << "/" << k.key << " twice";
    if (k.type == SettingType::Colour) {
      EXPECT_NE(ParseColorText(k.defaultText), kBadColor) << k.key;
    }
  }
  EXPECT_EQ(SoundFileKeyName(3), "SOUND_FILE3");
}

// The shipped file holds every tuning key: at the program's own value, except
// where it tunes the simulated car like a
// toy car on the 640 x 480 layout; a missing key keeps the program's value.
TEST(SettingsTable, shippedVirenIniHoldsEveryTuningKey) {
  std::ifstream in(test::SourceDir() + "/data/VIREN.ini", std::ios::binary);
  ASSERT_TRUE(in) << "data/VIREN.ini missing";
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::map<std::string, std::string> shippedTuning = {{"POSITION_STEP", "1.5"},
                                                            {"DIRECTION_STEP", "0.05"}};
  for (const SettingKey& k : AllSettingKeys()) {
    const auto value = ini::Lookup(text, k.section, k.key);
    if (k.file == SettingsFileKind::Viren) {
      ASSERT_TRUE(value.has_value()) << k.section << "/" << k.key << " missing";
      const auto tuned = shippedTuning.find(std::string(k.key));
      EXPECT_EQ(*value, tuned != shippedTuning.end() ? tuned->second : std::string(k.defaultText))
          << k.section << "/" << k.key;
    } else {
      EXPECT_FALSE(value.has_value()) << k.key << " belongs in option.ini";
    }
  }
}

}  // namespace
}  // namespace viren

namespace viren {
namespace {

// option.ini where it cannot be written: its folder is a plain file.
class UnwritableOptionFile : public ::testing::Test {
 protected:
  UnwritableOptionFile() : settings(&ui) {
    dir.Write("folder", "a file, not a folder");
    settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("folder/option.ini"));
  }
  void MakeWritable() {
    std::filesystem::remove(dir.File("folder"));
    std::filesystem::create_directory(dir.File("folder"));
  }
  test::TestDir dir;
  test::FakeUiHost ui;
  Settings settings;
};

TEST_F(UnwritableOptionFile, failedWritesStayInEffectAndAreSavedWithTheNextWriteThatWorks) {
  EXPECT_FALSE(settings.WriteInt(keys::COM_NO, 3));
  EXPECT_FALSE(settings.WriteString(keys::AGREEMENT, "1"));
  EXPECT_EQ(settings.ReadInt(keys::COM_NO), 3);
  EXPECT_EQ(settings.ReadInt(keys::AGREEMENT), 1);
  EXPECT_TRUE(settings.HasSection("USB", settings.optionFile()));

  MakeWritable();
  EXPECT_TRUE(settings.WriteInt(keys::DIFF_LEVEL, 80));
  const std::string saved = dir.Read("folder/option.ini");
  EXPECT_EQ(ini::Lookup(saved, "USB", "COM_NO"), "3");
  EXPECT_EQ(ini::Lookup(saved, "AGREEMENT", "AGREEMENT"), "1");
  EXPECT_EQ(ini::Lookup(saved, "VIEW", "DIFF_LEVEL"), "80");
  // From now on the file is read again: another program's change is seen.
  dir.Write("folder/option.ini", "[USB]\r\nCOM_NO=5\r\n");
  EXPECT_EQ(settings.ReadInt(keys::COM_NO), 5);
}

TEST_F(UnwritableOptionFile, oneStatusWarningNamesTheFileAndTheReason) {
  settings.WriteInt(keys::COM_NO, 3);
  settings.WriteInt(keys::COM_NO, 4);
  settings.WriteColor(keys::CAR_COLOR, MakeColorRef(1, 2, 3));
  const auto texts = ui.statusTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], SettingsNotSavedText(dir.File("folder/option.ini"), std::strerror(ENOTDIR)));
  EXPECT_TRUE(ui.messages().empty()) << "a warning, not a message box";
}

TEST_F(UnwritableOptionFile, concurrentReadersSeeTheUnsavedValues) {
  settings.WriteInt(keys::COM_NO, 7);
  std::vector<std::thread> readers;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t)
    readers.emplace_back([&] {
      for (int i = 0; i < 200; ++i)
        if (settings.ReadInt(keys::COM_NO) != 7) ++wrong;
    });
  for (int i = 0; i < 50; ++i) settings.WriteInt(keys::DIFF_LEVEL, i);
  for (auto& r : readers) r.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(settings.ReadInt(keys::DIFF_LEVEL), 49);
}

}  // namespace
}  // namespace viren
