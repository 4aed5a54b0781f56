#include "settings/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "settings/Settings.h"
#include "support/TestDir.h"

namespace viren {
namespace {

TEST(AtomicFile, crashBetweenWriteAndRenameLeavesTheOldFileWhole) {
  test::TestDir dir;
  const std::string old = "[VIEW]\r\nDIFF_LEVEL=50\r\n";
  dir.Write("option.ini", old);

  // The writer dies where a power cut would hurt most: new text on disk,
  // not yet renamed over the old file.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Settings s;
    s.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
    WriteFileAtomically(dir.File("option.ini"), "[VIEW]\r\nDIFF_LEVEL=99\r\n", [] { ::_exit(3); });
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 3);

  EXPECT_EQ(dir.Read("option.ini"), old);
}

TEST(AtomicFile, replacesWholeAndLeavesNoTemporaryFiles) {
  test::TestDir dir;
  dir.Write("a.ini", std::string(10000, 'o'));
  ASSERT_TRUE(WriteFileAtomically(dir.File("a.ini"), "short"));
  EXPECT_EQ(dir.Read("a.ini"), "short");
  int files = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1);
}

TEST(AtomicFile, unwritableFolderFailsAndReportsIt) {
  if (::geteuid() == 0) {
    // root writes anywhere; a missing folder fails for everyone.
    EXPECT_FALSE(WriteFileAtomically("/nonexistent-folder/option.ini", "x"));
    return;
  }
  test::TestDir dir;
  std::filesystem::permissions(
      dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_FALSE(WriteFileAtomically(dir.File("option.ini"), "x"));
  std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
}

}  // namespace
}  // namespace viren
