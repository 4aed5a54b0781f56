#include "ball/PatternMatcher.h"
#include <gtest/gtest.h>
TEST(PatternMatcherTest, placeholder) { EXPECT_TRUE(viren::wh::SizesSupported(240, 320, 32)); }
