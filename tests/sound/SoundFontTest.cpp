#include "sound/SoundFont.h"

#include <gtest/gtest.h>

#include <set>

namespace viren {
namespace {

TEST(SoundFont, theDistributionsDefaultComesFirstThenTheKnownPackages) {
  const struct {
    std::set<std::string> installed;
    const char* chosen;
  } cases[] = {
      {{"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/default-GM.sf2"},
       "/usr/share/sounds/sf2/default-GM.sf2"},
      {{"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2"},
       "/usr/share/sounds/sf2/TimGM6mb.sf2"},
      {{"/usr/share/sounds/sf2/FluidR3_GM.sf2"}, "/usr/share/sounds/sf2/FluidR3_GM.sf2"},
      {{"/usr/share/soundfonts/default.sf2"}, "/usr/share/soundfonts/default.sf2"},
      {{}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindSystemSoundFont([&](const std::string& p) { return c.installed.count(p) > 0; }),
              c.chosen);
  }
  EXPECT_NE(MissingSoundFontText().find(std::string("apt install ") + kSoundFontPackage),
            std::string::npos);
  EXPECT_NE(MissingSoundFontText().find("SOUND_FONT"), std::string::npos);
}

}  // namespace
}  // namespace viren
