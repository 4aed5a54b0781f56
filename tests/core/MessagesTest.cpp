#include "core/Messages.h"

#include <gtest/gtest.h>

namespace viren {
namespace {

TEST(Messages, argumentsReplaceTheirPlaceholdersOnly) {
  EXPECT_EQ(FormatMessage(MSG_FILE_NOT_FOUND, {"/opt/viren/VIREN.ini"}),
            "ファイル[/opt/viren/VIREN.ini]が見つかりません");
  EXPECT_EQ(FormatMessage(MSG_SETTING_ERROR, {"EVENT", "LINK_COLOR"}),
            "INIファイル設定エラー:Section = \"EVENT\" Key = \"LINK_COLOR\"");
  // A missing argument leaves its placeholder; a lone % stays.
  EXPECT_EQ(FormatText("%1 and %2 at 100%", {"a"}), "a and %2 at 100%");
  // An argument that itself holds %2 is not expanded again.
  EXPECT_EQ(FormatText("%1-%2", {"%2", "b"}), "%2-b");
}

TEST(Messages, everyStartupMessageHasItsText) {
  for (int id : {MSG_APP_TITLE, MSG_FILE_NOT_FOUND, MSG_SETTING_ERROR, MSG_CAPTURE_INIT_FAILED,
                 MSG_VIDEO_LIBRARY_FAILED, MSG_NO_CAMERA_SIMULATE, MSG_CONTROLLER_INIT_FAILED,
                 MSG_LAYOUT_INIT_FAILED, MSG_ANALYSIS_INIT_FAILED, MSG_DEVICE_INIT_FAILED,
                 MSG_SOUND_INIT_FAILED, MSG_INTERFACE_INIT_FAILED})
    EXPECT_FALSE(MessageText(id).empty()) << id;
  EXPECT_EQ(MessageText(MSG_CAPTURE_INIT_FAILED), MessageText(MSG_ANALYSIS_INIT_FAILED));
  EXPECT_TRUE(MessageText(1).empty());
}

}  // namespace
}  // namespace viren
