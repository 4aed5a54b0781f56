#include "engine/CommandLine.h"

#include <gtest/gtest.h>

namespace viren {
namespace {

TEST(FindSwitchArgument, quotedPathWithBlanksThenAnotherSwitch) {
  const std::string line = "-i \"/home/me/my runs/lap 1.avi\" -e";
  const auto arg = FindSwitchArgument(line, "-i");
  ASSERT_TRUE(arg);
  EXPECT_EQ(arg->text, "/home/me/my runs/lap 1.avi");
  ASSERT_TRUE(arg->next);
  EXPECT_EQ(line.substr(*arg->next), " -e");
}

TEST(FindSwitchArgument, unquotedPathEndsAtTheNextBlank) {
  const auto arg = FindSwitchArgument("-s -i lap.avi -e", "-i");
  ASSERT_TRUE(arg);
  EXPECT_EQ(arg->text, "lap.avi");
  EXPECT_EQ(arg->next, 14u);
  const auto last = FindSwitchArgument("-i lap.avi", "-i");
  ASSERT_TRUE(last);
  EXPECT_EQ(last->text, "lap.avi");
  EXPECT_FALSE(last->next);
}

TEST(FindSwitchArgument, noBlankAfterTheSwitchGivesTheRestFromTheSwitch) {
  const auto arg = FindSwitchArgument("-ilap.avi", "-i");
  ASSERT_TRUE(arg);
  EXPECT_EQ(arg->text, "-ilap.avi");
  EXPECT_FALSE(arg->next);
}

TEST(FindSwitchArgument, unclosedQuoteRunsToTheEndAndAbsentSwitchIsNull) {
  const auto arg = FindSwitchArgument("-i \"a b.avi", "-i");
  ASSERT_TRUE(arg);
  EXPECT_EQ(arg->text, "a b.avi");
  EXPECT_FALSE(FindSwitchArgument("-e -s", "-i"));
  // The switch right at the end, and a trailing blank.
  EXPECT_EQ(FindSwitchArgument("-e -i", "-i")->text, "-i");
  EXPECT_EQ(FindSwitchArgument("-i ", "-i")->text, "");
}

TEST(FindSwitchArgument, longPathsAreNotCut) {
  const std::string path(600, 'p');
  EXPECT_EQ(FindSwitchArgument("-i " + path, "-i")->text, path);
}

TEST(HasSwitch, lettersInsideAFileNameCount) {
  EXPECT_TRUE(HasSwitch("-i /videos/run-s.avi", "-s"));
  EXPECT_FALSE(HasSwitch("-i /videos/run.avi", "-s"));
  EXPECT_FALSE(HasSwitch("-S", "-s"));
}

TEST(JoinCommandLine, quotesArgumentsWithBlanksSoTheyComeBackWhole) {
  const std::string line = JoinCommandLine({"-i", "/my runs/a.avi", "-e"});
  EXPECT_EQ(line, "-i \"/my runs/a.avi\" -e");
  EXPECT_EQ(FindSwitchArgument(line, "-i")->text, "/my runs/a.avi");
}

}  // namespace
}  // namespace viren
