#include "api/ShmTable.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "ApiTestSupport.h"
#include "api/NamedMutex.h"

namespace viren::api {
namespace {

using test::ShmBytes;
using test::ShmCleanup;
using test::ShmExists;

std::vector<std::byte> Bytes(std::string_view text) {
  std::vector<std::byte> b(text.size());
  std::memcpy(b.data(), text.data(), text.size());
  return b;
}

class ShmTableTest : public ::testing::Test {
 protected:
  ShmCleanup cleanup{test::UniqueShmPrefix()};
  ShmTableOptions Options(int lockTimeoutMs = kShmTableLockTimeoutMs) {
    return {cleanup.prefix(), lockTimeoutMs};
  }
  std::string Prefixed(std::string_view name) { return cleanup.prefix() + std::string(name); }
};

TEST_F(ShmTableTest, createdEntry_laidOutByteForByteInTheSharedTable) {
  ShmTable table(Options());
  ASSERT_TRUE(table.ShmAttachTable());
  ASSERT_EQ(table.ShmCreateBlock("First", "", 4, 2), 0);
  ASSERT_EQ(table.ShmCreateBlock("Position", "POS", 12, 1), 1);

  const std::string raw = ShmBytes(Prefixed(kShmTableName));
  ASSERT_EQ(raw.size(), 456u);
  const char* e = raw.data() + 76;  // entry 1
  EXPECT_STREQ(e, "Position");
  EXPECT_EQ(std::string(e + 8, 24), std::string(24, '\0'));  // zero-padded
  EXPECT_STREQ(e + 32, "POS");
  auto i16 = [](const char* p) {
    return static_cast<int>(static_cast<std::int16_t>(static_cast<unsigned char>(p[0]) |
                                                      static_cast<unsigned char>(p[1]) << 8));
  };
  auto i32 = [](const char* p) {
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return v;
  };
  EXPECT_EQ(i16(e + 64), 1);  // has mutex
  EXPECT_EQ(i16(e + 66), 1);  // in use
  EXPECT_EQ(i32(e + 68), 12);
  EXPECT_EQ(i32(e + 72), 1);
  // An entry without a mutex keeps its mutex name and flag zero.
  EXPECT_EQ(std::string(raw.data() + 32, 34), std::string(34, '\0'));
  EXPECT_EQ(std::string(raw.data() + 2 * 76, 4 * 76), std::string(4 * 76, '\0'));
}

TEST_F(ShmTableTest, blockOfTwelveBytes_isATwelveByteSectionWithRecordOneAtZero) {
  ShmTable table(Options());
  ASSERT_TRUE(table.ShmAttachTable());
  const int index = table.ShmCreateBlock("Status", "STS", 12, 1);
  ASSERT_GE(index, 0);
  EXPECT_EQ(ShmBytes(Prefixed("Status")), std::string(12, '\0'));  // new sections are zero
  ASSERT_EQ(table.ShmWriteRecord(index, Bytes("abcdefghijkl"), 1, 0, 1000), SHM_OK);
  EXPECT_EQ(ShmBytes(Prefixed("Status")), "abcdefghijkl");

  ASSERT_GE(table.ShmCreateBlock("Multi", "", 3, 4), 0);
  const int multi = 1;
  ASSERT_EQ(table.ShmWriteRecord(multi, Bytes("xyz"), 3, 0, 0), SHM_OK);
  EXPECT_EQ(ShmBytes(Prefixed("Multi")), std::string(6, '\0') + "xyz" + std::string(3, '\0'));
}

TEST_F(ShmTableTest, invalidArguments_areRefusedWithMinusTwo) {
  ShmTable table(Options());
  ASSERT_TRUE(table.ShmAttachTable());
  const std::string name31(31, 'n');
  EXPECT_EQ(table.ShmCreateBlock(std::string(32, 'n'), "", 12, 1), SHM_INVALID);
  EXPECT_EQ(table.ShmCreateBlock("", "", 12, 1), SHM_INVALID);
  EXPECT_EQ(table.ShmCreateBlock("a/b", "", 12, 1), SHM_INVALID);
  EXPECT_EQ(table.ShmCreateBlock("Same", "Same", 12, 1), SHM_INVALID);
  EXPECT_EQ(table.ShmCreateBlock("Block", std::string(32, 'm'), 12, 1), SHM_INVALID);
  EXPECT_EQ(table.ShmCreateBlock("Zero", "", 0, 1), SHM_INVALID);
  EXPECT_EQ(table.ShmCreateBlock("Neg", "", 12, -1), SHM_INVALID);
  // 65537 is 1 as a 16-bit number: other programs would size the section
  // differently, so the value is refused.
  EXPECT_EQ(table.ShmCreateBlock("Wide", "", 65537, 1), SHM_INVALID);
  EXPECT_EQ(table.ShmCreateBlock(name31, "M1", 12, 1), 0);
  // Names already used as block or mutex names.
  EXPECT_EQ(table.ShmCreateBlock(name31, "", 12, 1), SHM_INVALID);
  EXPECT_EQ(table.ShmCreateBlock("M1", "", 12, 1), SHM_INVALID);
  EXPECT_EQ(table.ShmCreateBlock("Other", "M1", 12, 1), SHM_INVALID);
  EXPECT_EQ(table.ShmCreateBlock("Other", name31, 12, 1), SHM_INVALID);
  EXPECT_EQ(table.ShmOpenBlock("Unknown"), SHM_INVALID);
  EXPECT_EQ(table.ShmReleaseBlock(6), SHM_INVALID);
  EXPECT_EQ(table.ShmReleaseBlock(-1), SHM_INVALID);
}

TEST_F(ShmTableTest, recordAccess_checksIndexRecordBufferAndMutex) {
  ShmTable table(Options());
  ASSERT_TRUE(table.ShmAttachTable());
  ASSERT_EQ(table.ShmCreateBlock("One", "", 12, 1), 0);
  std::vector<std::byte> buffer(12);
  EXPECT_EQ(table.ShmReadRecord(0, buffer, 2, 0, 0), SHM_INVALID);
  EXPECT_EQ(table.ShmReadRecord(0, buffer, 0, 0, 0), SHM_INVALID);
  EXPECT_EQ(table.ShmReadRecord(6, buffer, 1, 0, 0), SHM_INVALID);
  EXPECT_EQ(table.ShmReadRecord(-1, buffer, 1, 0, 0), SHM_INVALID);
  EXPECT_EQ(table.ShmReadRecord(1, buffer, 1, 0, 0), SHM_INVALID);  // free entry: no records
  std::vector<std::byte> small(11);
  EXPECT_EQ(table.ShmReadRecord(0, small, 1, 0, 0), SHM_INVALID);
  EXPECT_EQ(table.ShmWriteRecord(0, small, 1, 0, 0), SHM_INVALID);
  // The block has no mutex to take.
  EXPECT_EQ(table.ShmReadRecord(0, buffer, 1, kUseBlockMutex, 0), SHM_INVALID);
  EXPECT_EQ(table.ShmReadRecord(0, buffer, 1, 5, 0), SHM_OK);  // any other value: no mutex
  // Without a handle of this process.
  ShmTable other(Options());
  ASSERT_TRUE(other.ShmAttachTable());
  EXPECT_EQ(other.ShmReadRecord(0, buffer, 1, 0, 0), SHM_INVALID);  // its copy is empty
  ASSERT_EQ(other.ShmCreateBlock("Two", "", 12, 1), 1);             // refreshes its copy
  EXPECT_EQ(other.ShmReadRecord(0, buffer, 1, 0, 0), SHM_FAILED);
}

TEST_F(ShmTableTest, openingTwiceInOneTable_isRefusedWithMinusOne) {
  ShmTable table(Options());
  ASSERT_TRUE(table.ShmAttachTable());
  ASSERT_EQ(table.ShmCreateBlock("Block", "BM", 12, 1), 0);
  EXPECT_EQ(table.ShmOpenBlock("Block"), SHM_FAILED);
}

TEST_F(ShmTableTest, lastHolderReleasing_removesEntrySectionAndMutex) {
  ShmTable creator(Options());
  ShmTable reader(Options());
  ASSERT_TRUE(creator.ShmAttachTable());
  ASSERT_TRUE(reader.ShmAttachTable());
  ASSERT_EQ(creator.ShmCreateBlock("Ball", "BAL", 12, 1), 0);
  ASSERT_EQ(reader.ShmOpenBlock("Ball"), 0);
  ASSERT_EQ(creator.ShmWriteRecord(0, Bytes("123456789012"), 1, kUseBlockMutex, 100), SHM_OK);
  std::vector<std::byte> got(12);
  ASSERT_EQ(reader.ShmReadRecord(0, got, 1, kUseBlockMutex, 100), SHM_OK);
  EXPECT_EQ(got, Bytes("123456789012"));

  EXPECT_EQ(creator.ShmReleaseBlock(0), SHM_OK);
  EXPECT_EQ(creator.ReadSharedTable()->entries[0].inUse, 1);  // the reader still holds it
  EXPECT_TRUE(ShmExists(Prefixed("Ball")));
  EXPECT_EQ(reader.ShmReleaseBlock(0), SHM_OK);
  EXPECT_EQ(creator.ReadSharedTable()->entries[0].inUse, 0);
  EXPECT_FALSE(ShmExists(Prefixed("Ball")));
  EXPECT_FALSE(ShmExists(Prefixed("BAL")));
  // The name is free again.
  EXPECT_EQ(creator.ShmCreateBlock("Ball", "BAL", 12, 1), 0);
}

TEST_F(ShmTableTest, blockNobodyHoldsAnyMore_isClearedByTheNextTableOperation) {
  ShmTable survivor(Options());
  ASSERT_TRUE(survivor.ShmAttachTable());
  {
    ShmTable gone(Options());
    ASSERT_TRUE(gone.ShmAttachTable());
    ASSERT_EQ(gone.ShmCreateBlock("Command", "CMD", 12, 1), 0);
    // Ends without releasing its block, like a program that crashed.
  }
  EXPECT_EQ(survivor.ReadSharedTable()->entries[0].inUse, 1);
  EXPECT_EQ(survivor.ShmOpenBlock("Command"), SHM_INVALID);  // nobody holds it: not registered
  EXPECT_EQ(survivor.ReadSharedTable()->entries[0].inUse, 0);
  EXPECT_FALSE(ShmExists(Prefixed("Command")));
  EXPECT_EQ(survivor.ShmCreateBlock("Command", "CMD", 12, 1), 0);
}

TEST_F(ShmTableTest, tableLockHeldElsewhere_timesOutWithMinusOne) {
  ShmTable table(Options(150));
  ASSERT_TRUE(table.ShmAttachTable());
  auto lock = NamedMutex::Open(table.PosixName(kShmTableMutexName));
  ASSERT_TRUE(lock);
  std::thread holder([&] {
    ASSERT_EQ(lock->Lock(1000), NamedMutex::LockResult::Locked);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    lock->Unlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(table.ShmCreateBlock("Late", "", 12, 1), SHM_FAILED);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(140));
  EXPECT_LT(waited, std::chrono::milliseconds(450));
  holder.join();
  EXPECT_EQ(table.ShmCreateBlock("Late", "", 12, 1), 0);
}

TEST_F(ShmTableTest, tableLockAbandoned_failsOnceThenWorks) {
  ShmTable table(Options());
  ASSERT_TRUE(table.ShmAttachTable());
  auto lock = NamedMutex::Open(table.PosixName(kShmTableMutexName));
  ASSERT_TRUE(lock);
  // A robust mutex whose owning thread ends is abandoned, as when its process dies.
  std::thread([&] { ASSERT_EQ(lock->Lock(1000), NamedMutex::LockResult::Locked); }).join();
  EXPECT_EQ(table.ShmCreateBlock("After", "", 12, 1), SHM_FAILED);
  EXPECT_EQ(table.ShmCreateBlock("After", "", 12, 1), 0);
}

TEST_F(ShmTableTest, manyProcessesAttachingAtOnce_shareOneTable) {
  constexpr int kTables = 6;
  std::vector<std::unique_ptr<ShmTable>> tables;
  for (int i = 0; i < kTables; ++i) tables.push_back(std::make_unique<ShmTable>(Options()));
  std::vector<int> results(kTables, -100);
  std::vector<std::thread> threads;
  for (int i = 0; i < kTables; ++i) {
    threads.emplace_back([&, i] {
      if (tables[i]->ShmAttachTable()) {
        results[i] =
            tables[i]->ShmCreateBlock("B" + std::to_string(i), "M" + std::to_string(i), 12, 1);
      }
    });
  }
  for (auto& t : threads) t.join();
  std::vector<bool> seen(kTables, false);
  for (int r : results) {
    ASSERT_GE(r, 0);
    ASSERT_LT(r, kTables);
    EXPECT_FALSE(seen[r]);
    seen[r] = true;
  }
  EXPECT_EQ(tables[0]->ShmCreateBlock("Seventh", "", 12, 1), SHM_TABLE_FULL);
}

TEST_F(ShmTableTest, heldElsewhere_followsTheOtherHolder) {
  ShmTable server(Options());
  ShmTable client(Options());
  ASSERT_TRUE(server.ShmAttachTable());
  ASSERT_TRUE(client.ShmAttachTable());
  ASSERT_EQ(server.ShmCreateBlock("Command", "CMD", 12, 1), 0);
  ASSERT_EQ(client.ShmOpenBlock("Command"), 0);
  EXPECT_TRUE(client.ShmHeldElsewhere(0));
  EXPECT_TRUE(client.ShmHeldElsewhere(0));  // asking does not lose the hold
  EXPECT_TRUE(server.ShmHeldElsewhere(0));
  server.ShmReleaseAll();
  EXPECT_FALSE(client.ShmHeldElsewhere(0));
  EXPECT_EQ(client.ShmReleaseBlock(0), SHM_OK);
  EXPECT_FALSE(ShmExists(Prefixed("Command")));
}

}  // namespace
}  // namespace viren::api
