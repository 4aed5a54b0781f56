// The table between two real processes: the helper (ShmHelper.cpp) is the
// other program.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "ApiTestSupport.h"
#include "api/ShmTable.h"

namespace viren::api {
namespace {

using test::HelperProcess;
using test::ShmCleanup;
using test::ShmExists;

std::vector<std::byte> Bytes(std::string_view text) {
  std::vector<std::byte> b(text.size());
  std::memcpy(b.data(), text.data(), text.size());
  return b;
}

class CrossProcessTest : public ::testing::Test {
 protected:
  ShmCleanup cleanup{test::UniqueShmPrefix()};
  ShmTable table{ShmTableOptions{cleanup.prefix()}};
  HelperProcess other{cleanup.prefix()};

  void SetUp() override {
    ASSERT_TRUE(table.ShmAttachTable());
    ASSERT_EQ(other.Ask("attach"), "1");
  }
  bool Registered(int index) { return table.ReadSharedTable()->entries[index].inUse == 1; }
};

TEST_F(CrossProcessTest, otherProcessReadsWhatWeWroteAndWritesBack) {
  ASSERT_EQ(table.ShmCreateBlock("Position", "POS", 12, 1), 0);
  ASSERT_EQ(table.ShmWriteRecord(0, Bytes("hello world!"), 1, 0, 1000), SHM_OK);
  ASSERT_EQ(other.AskInt("open Position"), 0);
  EXPECT_EQ(other.Ask("read 0 1 -1 1000"), "0 68656c6c6f20776f726c6421");
  EXPECT_EQ(other.AskInt("write 0 1 414243444546474849505152 -1 1000"), 0);
  std::vector<std::byte> got(12);
  ASSERT_EQ(table.ShmReadRecord(0, got, 1, kUseBlockMutex, 1000), SHM_OK);
  EXPECT_EQ(got, Bytes("ABCDEFGHIPQR"));
}

TEST_F(CrossProcessTest, nameRegisteredByAnotherProcess_cannotBeCreatedAgain) {
  ASSERT_EQ(other.AskInt("create Command CMD 12 1"), 0);
  EXPECT_EQ(table.ShmCreateBlock("Command", "CMD2", 12, 1), SHM_INVALID);
  EXPECT_EQ(table.ShmCreateBlock("Other", "CMD", 12, 1), SHM_INVALID);
  EXPECT_EQ(other.AskInt("create Command CMD 12 1"), SHM_INVALID);
  EXPECT_EQ(table.ShmOpenBlock("Command"), 0);
}

TEST_F(CrossProcessTest, seventhBlock_findsNoFreeEntry) {
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(other.AskInt("create H" + std::to_string(i) + " - 12 1"), i);
  }
  for (int i = 3; i < 6; ++i)
    ASSERT_EQ(table.ShmCreateBlock("T" + std::to_string(i), "", 12, 1), i);
  EXPECT_EQ(table.ShmCreateBlock("Seventh", "", 12, 1), SHM_TABLE_FULL);
  EXPECT_EQ(other.AskInt("create Seventh - 12 1"), SHM_TABLE_FULL);
  // Releasing one frees its entry for the next.
  EXPECT_EQ(other.AskInt("release 1"), 0);
  EXPECT_EQ(table.ShmCreateBlock("Seventh", "", 12, 1), 1);
}

TEST_F(CrossProcessTest, releasedWhileAnotherHoldsIt_staysUntilTheLastHolderReleases) {
  ASSERT_EQ(table.ShmCreateBlock("Status", "STS", 12, 1), 0);
  ASSERT_EQ(other.AskInt("open Status"), 0);
  EXPECT_EQ(table.ShmReleaseBlock(0), SHM_OK);
  EXPECT_TRUE(Registered(0));
  EXPECT_TRUE(ShmExists(cleanup.prefix() + "Status"));
  EXPECT_EQ(other.Ask("read 0 1 0 0"), "0 000000000000000000000000");  // still usable there
  EXPECT_EQ(other.AskInt("release 0"), 0);
  EXPECT_FALSE(Registered(0));
  EXPECT_FALSE(ShmExists(cleanup.prefix() + "Status"));
  EXPECT_FALSE(ShmExists(cleanup.prefix() + "STS"));
}

TEST_F(CrossProcessTest, killedHolder_leavesTheLastRemainingHolderToRemoveIt) {
  ASSERT_EQ(table.ShmCreateBlock("Ball", "BAL", 12, 1), 0);
  ASSERT_EQ(other.AskInt("open Ball"), 0);
  other.Kill();
  EXPECT_EQ(table.ShmReleaseBlock(0), SHM_OK);
  EXPECT_FALSE(Registered(0));
  EXPECT_FALSE(ShmExists(cleanup.prefix() + "Ball"));
}

TEST_F(CrossProcessTest, killedSoleHolder_leavesTheNameFreeForTheNextStart) {
  ASSERT_EQ(other.AskInt("create Command CMD 12 1"), 0);
  ASSERT_EQ(other.AskInt("write 0 1 010000000100000005000000 0 0"), 0);
  other.Kill();
  // The program that is started again registers its block afresh, zero-filled.
  ASSERT_EQ(table.ShmCreateBlock("Command", "CMD", 12, 1), 0);
  std::vector<std::byte> got(12);
  ASSERT_EQ(table.ShmReadRecord(0, got, 1, kUseBlockMutex, 100), SHM_OK);
  EXPECT_EQ(got, std::vector<std::byte>(12));
}

TEST_F(CrossProcessTest, killedWhileHoldingTheBlockMutex_nextLockerSeesAbandonedThenLocks) {
  ASSERT_EQ(table.ShmCreateBlock("Command", "CMD", 12, 1), 0);
  ASSERT_EQ(other.AskInt("open Command"), 0);
  ASSERT_EQ(other.AskInt("lock 0 1000"), 0);
  other.Kill();
  std::vector<std::byte> got(12);
  EXPECT_EQ(table.ShmReadRecord(0, got, 1, kUseBlockMutex, 1000), SHM_ABANDONED);
  EXPECT_EQ(table.ShmReadRecord(0, got, 1, kUseBlockMutex, 1000), SHM_OK);
  EXPECT_EQ(table.ShmWriteRecord(0, got, 1, kUseBlockMutex, 1000), SHM_OK);
}

TEST_F(CrossProcessTest, mutexHeldByAnotherProcess_timesOutWithMinusSix) {
  ASSERT_EQ(table.ShmCreateBlock("Command", "CMD", 12, 1), 0);
  ASSERT_EQ(other.AskInt("open Command"), 0);
  ASSERT_EQ(other.AskInt("lock 0 1000"), 0);
  std::vector<std::byte> got(12);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(table.ShmReadRecord(0, got, 1, kUseBlockMutex, 150), SHM_TIMEOUT);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(140));
  EXPECT_LT(waited, std::chrono::milliseconds(1000));
  // Without the mutex the record is still there to copy.
  EXPECT_EQ(table.ShmReadRecord(0, got, 1, 0, 150), SHM_OK);
  EXPECT_EQ(other.AskInt("unlock 0"), 0);
  EXPECT_EQ(table.ShmReadRecord(0, got, 1, kUseBlockMutex, 150), SHM_OK);
}

}  // namespace
}  // namespace viren::api
