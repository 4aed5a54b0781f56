// Hostile input: commands and parameters from other programs, records with
// any bytes, and a table that another program scribbled over.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <thread>

#include "ApiFakes.h"
#include "ApiTestSupport.h"
#include "api/ProgramInterface.h"
#include "core/CarState.h"
#include "core/EngineState.h"
#include "support/FakeUiHost.h"

namespace viren::api {
namespace {

int HostileInt(std::mt19937& rng) {
  static constexpr int kEdges[] = {
      0,     1,     -1,     2,          3,         8,         10,           11,
      12,    99,    100,    101,        102,       103,       -100,         -101,
      65535, 65536, -65536, 0x7FFF0003, INT32_MAX, INT32_MIN, INT32_MIN + 1};
  if (rng() % 2) return kEdges[rng() % std::size(kEdges)];
  return static_cast<int>(rng());
}

bool NumberIn(const std::string& call, const std::string& prefix, int low, int high) {
  if (call.rfind(prefix, 0) != 0) return true;
  const int n = std::stoi(call.substr(prefix.size()));
  return n >= low && n <= high;
}

class FuzzTest : public ::testing::Test {
 protected:
  test::ShmCleanup cleanup{test::UniqueShmPrefix()};
  test::FakeUiHost ui;
  EngineState state;
  CarState car;
  test::FakeDrive drive;
  test::FakeTarget target;
  ProgramInterface api{ui, state, car, drive, target, ShmTableOptions{cleanup.prefix()}};
  std::mt19937 rng{12345};
};

TEST_F(FuzzTest, anyCommandAndParameter_staysWithinWhatTheEngineAccepts) {
  ASSERT_TRUE(api.Start(true, 60000));
  static constexpr int kCodes[] = {
      COMMAND_DRIVE,        COMMAND_SOUND_REPEAT, COMMAND_SOUND_PREPARE,
      COMMAND_SOUND,        COMMAND_TARGET,       COMMAND_BALL,
      COMMAND_PROGRAM_FILE, COMMAND_EXTERNAL,     COMMAND_EXTERNAL_WINDOW};
  for (int i = 0; i < 20000; ++i) {
    const int code = rng() % 4 ? kCodes[rng() % std::size(kCodes)] : HostileInt(rng);
    const int parameter = HostileInt(rng);
    state.simulating = rng() % 2;
    state.controlRoboQ = rng() % 4 == 0;
    state.targetFollowing = rng() % 2;
    target.programCount = static_cast<int>(rng() % 4);
    if (code == COMMAND_PROGRAM_FILE) {
      std::string text(rng() % 64, '\0');
      for (char& c : text) c = static_cast<char>(rng());
      target.clipboard = rng() % 8 ? std::optional<std::string>(text) : std::nullopt;
    }
    api.Dispatch(code, parameter);
    ASSERT_GE(static_cast<int>(state.ballMode.load()), 0);
    ASSERT_LE(static_cast<int>(state.ballMode.load()), 3);
  }
  for (const auto& call : target.calls()) {
    EXPECT_TRUE(NumberIn(call, "PlaySound ", 0, 100)) << call;
    EXPECT_TRUE(NumberIn(call, "PrepareSound ", 0, 100)) << call;
    EXPECT_TRUE(NumberIn(call, "StopSound ", 0, 100)) << call;
    EXPECT_TRUE(NumberIn(call, "SetBallFollowing ", 0, 65535)) << call;
    if (call.rfind("RunProgramFile ", 0) == 0) {
      EXPECT_EQ(call.find('\0'), std::string::npos);
      EXPECT_GT(call.size(), std::string("RunProgramFile ").size());
    }
  }
  for (int c : drive.commands()) {
    EXPECT_GE(c, DRIVE_CHECK);
    EXPECT_LE(c, DRIVE_AUTO_OFF);
  }
}

TEST_F(FuzzTest, commandRecordsWithAnyBytes_areTakenOnlyWithStateOne) {
  ASSERT_TRUE(api.Start(true, 60000));
  // Once the polling thread's first pass is over, it sleeps for the interval.
  for (int i = 0; i < 3000 && api.pollCount() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_GT(api.pollCount(), 0);
  for (int i = 0; i < 2000; ++i) {
    InterfaceRecord r;
    for (auto& b : r) b = static_cast<std::byte>(rng());
    if (rng() % 3 == 0) r[0] = std::byte{RECORD_NEW};
    ASSERT_EQ(api.table().ShmWriteRecord(0, r, 1, 0, 0), SHM_OK);
    const bool taken = api.PollCommand();
    EXPECT_EQ(taken, r[0] == std::byte{RECORD_NEW});
    InterfaceRecord after{};
    ASSERT_EQ(api.table().ShmReadRecord(0, after, 1, 0, 0), SHM_OK);
    if (taken) r[0] = std::byte{RECORD_TAKEN};
    EXPECT_EQ(after, r);  // only the state byte ever changes
  }
}

TEST_F(FuzzTest, recordsDecodeAndEncodeBackToTheSameBytes) {
  for (int i = 0; i < 5000; ++i) {
    InterfaceRecord r{};
    for (auto& b : r) b = static_cast<std::byte>(rng());
    InterfaceRecord defined = r;
    for (int k : {1, 2, 3}) defined[k] = std::byte{0};
    EXPECT_EQ(EncodeCommand(DecodeCommand(r)), defined);
    EXPECT_EQ(EncodeQuad(DecodeQuad(r)), defined);
  }
}

TEST_F(FuzzTest, scribbledTable_neverLeadsOutsideWhatIsMapped) {
  ShmTable table(ShmTableOptions{cleanup.prefix()});
  ASSERT_TRUE(table.ShmAttachTable());
  const std::string tableFile = cleanup.prefix() + std::string(kShmTableName);
  // A real 12-byte block whose entry then claims to be huge.
  ShmTable holder(ShmTableOptions{cleanup.prefix()});
  ASSERT_TRUE(holder.ShmAttachTable());
  ASSERT_EQ(holder.ShmCreateBlock("Real", "", 12, 1), 0);
  std::string entry(76, '\0');
  std::memcpy(entry.data(), "Real", 4);
  const std::int32_t big = 30000;
  entry[66] = 1;
  std::memcpy(entry.data() + 68, &big, 4);
  std::memcpy(entry.data() + 72, &big, 4);
  test::ShmOverwrite(tableFile, 0, entry);
  EXPECT_EQ(table.ShmOpenBlock("Real"), SHM_SECTION_FAILED);
  // A name without its terminator matches nothing.
  std::string unterminated(76, '\0');
  std::memset(unterminated.data(), 'A', 32);
  unterminated[66] = 1;
  unterminated[68] = 12;
  unterminated[72] = 1;
  test::ShmOverwrite(tableFile, 76, unterminated);
  EXPECT_EQ(table.ShmOpenBlock(std::string(31, 'A')), SHM_INVALID);

  const std::set<int> allowed = {SHM_OK,         SHM_FAILED,         SHM_INVALID,
                                 SHM_TABLE_FULL, SHM_SECTION_FAILED, SHM_TIMEOUT,
                                 SHM_NOT_IN_USE, SHM_ABANDONED};
  std::vector<std::byte> buffer(64);
  for (int round = 0; round < 300; ++round) {
    std::string garbage(456, '\0');
    for (char& c : garbage) c = static_cast<char>(rng() % 4 ? 0 : rng());
    // Entries that look registered, with short printable names now and then.
    for (int e = 0; e < 6; ++e) {
      if (rng() % 2) {
        garbage[76 * e + 66] = 1;
        garbage[76 * e] = static_cast<char>('a' + rng() % 3);
        garbage[76 * e + 1] = '\0';
      }
    }
    test::ShmOverwrite(tableFile, 0, garbage);
    const std::string name(1, static_cast<char>('a' + rng() % 3));
    int r = 0;
    switch (rng() % 4) {
      case 0:
        r = table.ShmCreateBlock(name, rng() % 2 ? "" : "m" + name, static_cast<int>(rng() % 70),
                                 static_cast<int>(rng() % 3));
        break;
      case 1:
        r = table.ShmOpenBlock(name);
        break;
      case 2:
        r = table.ShmReleaseBlock(static_cast<int>(rng() % 8) - 1);
        break;
      default:
        r = table.ShmReadRecord(static_cast<int>(rng() % 6), buffer, static_cast<int>(rng() % 3),
                                rng() % 2 ? kUseBlockMutex : 0, 0);
        break;
    }
    if (r > 0 && r < kShmEntryCount) continue;
    EXPECT_TRUE(allowed.count(r)) << r;
  }
  table.ShmReleaseAll();
}

}  // namespace
}  // namespace viren::api
