#include "settings/SettingsLocation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "settings/IniFile.h"
#include "support/TestDir.h"

namespace viren {
namespace {

EnvLookup Env(std::map<std::string, std::string> values) {
  return [values = std::move(values)](const char* name) -> const char* {
    auto it = values.find(name);
    return it == values.end() ? nullptr : it->second.c_str();
  };
}

TEST(SettingsLocation, optionIniGoesBesideTheProgramOrToTheUsersConfigurationFolder) {
  const struct {
    bool writable;
    std::map<std::string, std::string> env;
    const char* optionFile;
  } cases[] = {
      {true, {{"XDG_CONFIG_HOME", "/x"}}, "/opt/viren/option.ini"},
      {false, {{"XDG_CONFIG_HOME", "/x"}, {"HOME", "/h"}}, "/x/viren/option.ini"},
      {false, {{"HOME", "/h"}}, "/h/.config/viren/option.ini"},
      {false, {{"XDG_CONFIG_HOME", ""}, {"HOME", "/h"}}, "/h/.config/viren/option.ini"},
      // A relative XDG_CONFIG_HOME is invalid and ignored.
      {false, {{"XDG_CONFIG_HOME", "rel"}, {"HOME", "/h"}}, "/h/.config/viren/option.ini"},
      // Nowhere else to go: the writes will fail and be kept in memory.
      {false, {}, "/opt/viren/option.ini"},
  };
  for (const auto& c : cases) {
    const SettingsLocation l = LocateSettings("/opt/viren/", c.writable, Env(c.env));
    EXPECT_EQ(l.moduleFolder, "/opt/viren");
    EXPECT_EQ(l.settingsFile, "/opt/viren/VIREN.ini") << "always read from the program folder";
    EXPECT_EQ(l.optionFile, c.optionFile);
    EXPECT_EQ(l.perUser(), l.optionFile != "/opt/viren/option.ini");
  }
}

TEST(SettingsLocation, theUsersFileStartsAsACopyOfTheProgramFoldersAndIsThenKept) {
  test::TestDir program, config;
  program.Write("option.ini", "[USB]\r\nCOM_NO=2\r\n");
  const SettingsLocation l =
      LocateSettings(program.path(), false, Env({{"XDG_CONFIG_HOME", config.path()}}));
  ASSERT_TRUE(SeedPerUserOptionFile(l));
  EXPECT_EQ(config.Read("viren/option.ini"), "[USB]\r\nCOM_NO=2\r\n");

  config.Write("viren/option.ini", "[USB]\r\nCOM_NO=5\r\n");
  ASSERT_TRUE(SeedPerUserOptionFile(l));
  EXPECT_EQ(ini::Lookup(config.Read("viren/option.ini"), "USB", "COM_NO"), "5");
}

TEST(SettingsLocation, aProgramFolderWithoutOptionIniSeedsNothing) {
  test::TestDir program, config;
  const SettingsLocation l =
      LocateSettings(program.path(), false, Env({{"XDG_CONFIG_HOME", config.path()}}));
  EXPECT_TRUE(SeedPerUserOptionFile(l));
  EXPECT_FALSE(config.Exists("viren/option.ini"));
  EXPECT_TRUE(std::filesystem::is_directory(config.File("viren")));
}

}  // namespace
}  // namespace viren
