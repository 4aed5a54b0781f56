#include "settings/IniFile.h"

#include <gtest/gtest.h>

namespace viren {
namespace {

TEST(IniLookup, namesMatchWithoutRegardToCaseAndFirstWins) {
  const char* text =
      "; comment\r\n[View]\r\n  diff_level = 42 \r\nDIFF_LEVEL=7\r\n[VIEW]\r\nMARKER=1\r\n";
  EXPECT_EQ(ini::Lookup(text, "VIEW", "DIFF_LEVEL"), "42");
  // Only the first section of a name is searched.
  EXPECT_EQ(ini::Lookup(text, "view", "MARKER"), std::nullopt);
  EXPECT_EQ(ini::Lookup(text, "OTHER", "DIFF_LEVEL"), std::nullopt);
}

TEST(IniLookup, emptyValueIsPresentAndQuotesAreStripped) {
  const char* text = "[S]\nA=\nB=\"x y\"\nC='z'\n=orphan\nnoequals\n";
  EXPECT_EQ(ini::Lookup(text, "S", "A"), "");
  EXPECT_EQ(ini::Lookup(text, "S", "B"), "x y");
  EXPECT_EQ(ini::Lookup(text, "S", "C"), "z");
  EXPECT_EQ(ini::Lookup(text, "S", "noequals"), std::nullopt);
}

TEST(IniLookup, keysBeforeAnySectionAndUnclosedSections) {
  EXPECT_EQ(ini::Lookup("A=1\n[S\nA=2\n", "S", "A"), "2");
  EXPECT_EQ(ini::Lookup("A=1\n", "", "A"), std::nullopt);
}

TEST(IniUpdate, replacesInPlaceKeepingEverythingElse) {
  const std::string text = "; keep me\r\n[VIEW]\r\nDiff_Level=90\r\nOTHER=1\r\n\r\n[X]\r\nY=2\r\n";
  EXPECT_EQ(ini::Update(text, "view", "DIFF_LEVEL", "50"),
            "; keep me\r\n[VIEW]\r\nDiff_Level=50\r\nOTHER=1\r\n\r\n[X]\r\nY=2\r\n");
}

TEST(IniUpdate, addsKeyAfterLastEntryOfItsSectionAndNewSectionsAtTheEnd) {
  const std::string text = "[A]\nK=1\n\n[B]\nL=2\n";
  EXPECT_EQ(ini::Update(text, "A", "NEW", "x"), "[A]\nK=1\nNEW=x\n\n[B]\nL=2\n");
  EXPECT_EQ(ini::Update(text, "C", "M", ""), "[A]\nK=1\n\n[B]\nL=2\n[C]\nM=\n");
  // A new file is written the way the settings files have always been: CRLF.
  EXPECT_EQ(ini::Update("", "AGREEMENT", "AGREEMENT", "1"), "[AGREEMENT]\r\nAGREEMENT=1\r\n");
  // A last line without its ending still ends up on its own line.
  EXPECT_EQ(ini::Update("[A]\nK=1", "A", "L", "2"), "[A]\nK=1\nL=2\n");
}

TEST(IniUpdate, roundTripsWithLookupForAnyKeyAndValue) {
  std::string text;
  for (int i = 0; i < 50; ++i)
    text = ini::Update(text, "S" + std::to_string(i % 7), "K" + std::to_string(i),
                       std::to_string(i * 3));
  for (int i = 0; i < 50; ++i)
    EXPECT_EQ(ini::Lookup(text, "s" + std::to_string(i % 7), "k" + std::to_string(i)),
              std::to_string(i * 3));
}

TEST(ProfileInt, leadingDigitsWithSignElseZero) {
  EXPECT_EQ(ParseProfileInt("90"), 90);
  EXPECT_EQ(ParseProfileInt("-12abc"), -12);
  EXPECT_EQ(ParseProfileInt("+7"), 7);
  EXPECT_EQ(ParseProfileInt("  33"), 33);
  EXPECT_EQ(ParseProfileInt("abc"), 0);
  EXPECT_EQ(ParseProfileInt("8.5"), 8);
  EXPECT_EQ(ParseProfileInt("99999999999999999999"), 2147483647);
  EXPECT_EQ(ParseProfileInt("-99999999999999999999"), -2147483647 - 1);
}

// Arbitrary bytes never make the reader or writer misbehave (run under the
// sanitizers by make check-sanitize).
TEST(IniFuzz, randomTextIsHandled) {
  unsigned seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  const char alphabet[] = "[]=;#\r\n \t\"'abcKEY0123\xE3\x81\x82";
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const int n = static_cast<int>(next() % 200);
    for (int i = 0; i < n; ++i) text += alphabet[next() % (sizeof alphabet - 1)];
    (void)ini::Lookup(text, "KEY", "a");
    const std::string updated = ini::Update(text, "KEY", "a", "v");
    ASSERT_EQ(ini::Lookup(updated, "KEY", "a"), "v") << "after updating: " << text;
  }
}

}  // namespace
}  // namespace viren
