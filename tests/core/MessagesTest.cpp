#include "core/Messages.h"

#include <gtest/gtest.h>

namespace viren {
namespace {

TEST(Messages, argumentsReplaceTheirPlaceholdersOnly) {
  EXPECT_EQ(FormatMessage(129, {"/opt/viren/VIREN.ini"}),
            "ファイル[/opt/viren/VIREN.ini]が見つかりません");
  EXPECT_EQ(FormatMessage(130, {"EVENT", "LINK_COLOR"}),
            "INIファイル設定エラー:Section = \"EVENT\" Key = \"LINK_COLOR\"");
  // A missing argument leaves its placeholder; a lone % stays.
  EXPECT_EQ(FormatText("%1 and %2 at 100%", {"a"}), "a and %2 at 100%");
  // An argument that itself holds %2 is not expanded again.
  EXPECT_EQ(FormatText("%1-%2", {"%2", "b"}), "%2-b");
}

TEST(Messages, everyStartupMessageHasItsText) {
  for (int id : {128, 129, 130, 131, 132, 134, 135, 136, 139, 142, 183, 187})
    EXPECT_FALSE(MessageText(id).empty()) << id;
  EXPECT_EQ(MessageText(131), MessageText(139));
  EXPECT_TRUE(MessageText(1).empty());
}

}  // namespace
}  // namespace viren
