#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace viren::api {

class NamedMutex;
class SharedSection;

// The management table through which cooperating programs find each other's
// shared-memory blocks: six entries of 76 bytes, kept in the shared section
// "SMemoryDllManagementSystemTableName" and guarded by the named mutex
// "SMemoryDllManagementSystemMutexName". Programs written against the same
// layout read it byte for byte, so the layout below is fixed.
inline constexpr int kShmEntryCount = 6;
inline constexpr int kShmNameSize = 32;  // names are 1..31 characters plus terminator
inline constexpr int kShmTableLockTimeoutMs = 5000;
inline constexpr std::string_view kShmTableName = "SMemoryDllManagementSystemTableName";
inline constexpr std::string_view kShmTableMutexName = "SMemoryDllManagementSystemMutexName";

static_assert(std::endian::native == std::endian::little,
              "the table and the blocks are little-endian and copied byte for byte");

struct ShmTableEntry {
  char name[kShmNameSize];       // zero-terminated, zero-padded
  char mutexName[kShmNameSize];  // all zero when the block has no mutex
  std::int16_t hasMutex;         // 1: the block has its own mutex
  std::int16_t inUse;            // 1: registered, 0: free (the whole entry zero)
  std::int32_t recordSize;
  std::int32_t recordCount;
};
static_assert(sizeof(ShmTableEntry) == 76);
static_assert(offsetof(ShmTableEntry, mutexName) == 32);
static_assert(offsetof(ShmTableEntry, hasMutex) == 64);
static_assert(offsetof(ShmTableEntry, inUse) == 66);
static_assert(offsetof(ShmTableEntry, recordSize) == 68);
static_assert(offsetof(ShmTableEntry, recordCount) == 72);

struct ShmTableLayout {
  ShmTableEntry entries[kShmEntryCount];
};
static_assert(sizeof(ShmTableLayout) == 456);

// Results of the table operations: 0..5 an index (create, open), 0 success,
// negative as below.
enum ShmResult : int {
  SHM_OK = 0,
  SHM_FAILED = -1,          // table lock not had, local handles busy or missing, mapping failed
  SHM_INVALID = -2,         // bad or duplicate name, size, count, index, record; open: unknown
  SHM_TABLE_FULL = -3,      // no free entry
  SHM_SECTION_FAILED = -4,  // creating, opening or mapping the block's section or mutex failed
  SHM_TIMEOUT = -6,         // the block's mutex was not had in time
  SHM_NOT_IN_USE = -7,      // the entry is free
  SHM_ABANDONED = -8,       // the block's mutex was abandoned by a process that died holding it
};

// useBlockMutex value that locks the block's own mutex around a record copy;
// any other value copies without it.
inline constexpr int kUseBlockMutex = -1;

struct ShmTableOptions {
  // Put in front of every name given to the operating system (never into the
  // table), so that tests running side by side do not meet. Empty in the program.
  std::string namePrefix;
  int tableLockTimeoutMs = kShmTableLockTimeoutMs;
};

// One process's view of the table: its handle to the table, to the table
// lock, its local copy of the table and its handles to the blocks it holds.
// A program normally has one; a second one in the same process counts as
// another holder.
//
// Thread safe. Table operations (attach, create, open, release) are meant for
// one thread at start and end; record reads and writes may run on any number
// of threads at once and never take the table lock.
class ShmTable {
 public:
  explicit ShmTable(ShmTableOptions options = {});
  ~ShmTable();  // ShmReleaseAll
  ShmTable(const ShmTable&) = delete;
  ShmTable& operator=(const ShmTable&) = delete;

  // Opens (the first process: creates) the table and its lock.
  bool ShmAttachTable();

  // Registers and creates a block of recordCount records of recordSize bytes,
  // zero-filled; `mutexName` empty: the block has no mutex. Index or error.
  int ShmCreateBlock(std::string_view name, std::string_view mutexName, int recordSize,
                     int recordCount);
  // Opens a block that some process registered. Index or error.
  int ShmOpenBlock(std::string_view name);
  // Lets go of a block; the last holder anywhere removes it from the table.
  int ShmReleaseBlock(int index);

  // Copy one record (recordNumber 1..count) out of or into a block. `buffer`
  // must hold at least one record. timeoutMs < 0 waits without limit.
  int ShmReadRecord(int index, std::span<std::byte> buffer, int recordNumber, int useBlockMutex,
                    int timeoutMs);
  int ShmWriteRecord(int index, std::span<const std::byte> buffer, int recordNumber,
                     int useBlockMutex, int timeoutMs);

  // Closes every handle of this process (blocks and table). Blocks not
  // released first leave their entries to be cleared by the next table
  // operation anywhere that finds no holder.
  void ShmReleaseAll();

  // Holding a block's mutex across several record operations (a client that
  // posts a command, a test that dies holding it). Abandoned and time-out
  // results as for the record operations; after -8 the mutex is not held.
  int ShmLockBlock(int index, int timeoutMs);
  int ShmUnlockBlock(int index);

  // Whether a process other than this one holds the block (false also when
  // this process does not hold it). Takes the table lock.
  bool ShmHeldElsewhere(int index);

  // The shared table as it stands (read under the table lock); nullopt
  // when it cannot be read.
  std::optional<ShmTableLayout> ReadSharedTable();
  // This process's copy of an entry, as of its last table operation.
  ShmTableEntry LocalEntry(int index) const;

  // The operating-system name of a section or mutex: "/" + prefix + name.
  std::string PosixName(std::string_view name) const;

 private:
  struct Block;
  class TableLock;

  int CopyRecord(int index, std::byte* buffer, std::size_t bufferSize, int recordNumber,
                 int useBlockMutex, int timeoutMs, bool write);
  void ReadTable();
  void WriteTable();
  void ClearAbandonedEntries();
  void CloseBlock(int index);

  const ShmTableOptions options_;
  mutable std::mutex mutex_;  // guards everything below
  std::unique_ptr<SharedSection> table_;
  std::unique_ptr<NamedMutex> tableLock_;
  ShmTableLayout local_{};
  std::array<std::shared_ptr<Block>, kShmEntryCount> blocks_;
};

// The prefix in VIREN_SHM_PREFIX, for test runs of the whole program and its
// tools side by side; empty (the names exactly as other programs expect them)
// when unset or not made of letters, digits, '_', '-' and '.' (at most 64).
std::string ShmPrefixFromEnvironment();

// True for a name the table accepts: 1..31 bytes, none of them zero or '/'.
bool IsValidShmName(std::string_view name);

}  // namespace viren::api
