#include "api/ShmTable.h"

#include <cstdlib>
#include <cstring>

#include "api/NamedMutex.h"
#include "api/SharedSection.h"
#include "core/DiagnosticLog.h"

namespace viren::api {

namespace {

// Names in the table are read bounded: a foreign writer may have left one
// without its terminator, and such a name matches nothing.
std::string_view FieldText(const char (&field)[kShmNameSize]) {
  return {field, strnlen(field, kShmNameSize)};
}

// Record size and count are 16-bit values to programs that share the table;
// only values that survive that narrowing are accepted, so that every
// process computes the same section size.
bool IsValidCount(int value) {
  return value > 0 && value <= INT16_MAX;
}

}  // namespace

bool IsValidShmName(std::string_view name) {
  if (name.empty() || name.size() >= static_cast<std::size_t>(kShmNameSize)) return false;
  if (name == "." || name == "..") return false;
  return name.find('\0') == std::string_view::npos && name.find('/') == std::string_view::npos;
}

std::string ShmPrefixFromEnvironment() {
  const char* value = std::getenv("VIREN_SHM_PREFIX");
  if (!value) return {};
  const std::string_view prefix(value);
  if (prefix.size() > 64) return {};
  for (char c : prefix) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == '-' || c == '.';
    if (!ok) return {};
  }
  return std::string(prefix);
}

struct ShmTable::Block {
  std::unique_ptr<SharedSection> section;
  std::unique_ptr<NamedMutex> mutex;
  std::mutex copyMutex;  // this process's threads copy one at a time
};

// The table lock for the length of one table operation. A lock abandoned by a
// process that died holding it is made good and given back: this operation
// fails (-1) and the next one goes ahead normally.
class ShmTable::TableLock {
 public:
  TableLock(NamedMutex* lock, int timeoutMs) : lock_(lock) {
    if (!lock_) return;
    switch (lock_->Lock(timeoutMs)) {
      case NamedMutex::LockResult::Locked:
        held_ = true;
        break;
      case NamedMutex::LockResult::Abandoned:
        lock_->Unlock();
        break;
      default:
        break;
    }
  }
  ~TableLock() {
    if (held_) lock_->Unlock();
  }
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;
  bool held() const { return held_; }

 private:
  NamedMutex* lock_;
  bool held_ = false;
};

ShmTable::ShmTable(ShmTableOptions options) : options_(std::move(options)) {}

ShmTable::~ShmTable() {
  std::lock_guard lock(mutex_);
  for (int i = 0; i < kShmEntryCount; ++i) CloseBlock(i);
  table_.reset();
  tableLock_.reset();
}

std::string ShmTable::PosixName(std::string_view name) const {
  std::string result = "/";
  result += options_.namePrefix;
  result += name;
  return result;
}

void ShmTable::CloseBlock(int index) {
  blocks_[static_cast<std::size_t>(index)].reset();
}

void ShmTable::ReadTable() {
  std::memcpy(&local_, table_->data(), sizeof local_);
}
void ShmTable::WriteTable() {
  std::memcpy(table_->data(), &local_, sizeof local_);
}

bool ShmTable::ShmAttachTable() {
  std::lock_guard lock(mutex_);
  for (int i = 0; i < kShmEntryCount; ++i) CloseBlock(i);
  table_.reset();
  tableLock_.reset();
  local_ = {};

  auto tableLock = NamedMutex::OpenOrCreate(PosixName(kShmTableMutexName));
  if (!tableLock) return false;
  // The table is created under its lock, so no process ever sees it half made.
  TableLock held(tableLock.get(), options_.tableLockTimeoutMs);
  if (!held.held()) return false;
  const std::string tableName = PosixName(kShmTableName);
  auto table = SharedSection::Open(tableName, sizeof(ShmTableLayout));
  if (!table) table = SharedSection::Create(tableName, sizeof(ShmTableLayout));
  if (!table) return false;
  table_ = std::move(table);
  tableLock_ = std::move(tableLock);
  return true;
}

// A registered block that no process holds any more belongs to programs that
// ended without releasing it (killed, crashed). It is cleared, as the
// operating system would have dropped it with its last handle.
void ShmTable::ClearAbandonedEntries() {
  bool changed = false;
  for (int i = 0; i < kShmEntryCount; ++i) {
    ShmTableEntry& e = local_.entries[i];
    if (e.inUse == 0 || blocks_[static_cast<std::size_t>(i)]) continue;
    const std::string_view name = FieldText(e.name);
    if (IsValidShmName(name)) {
      const std::string posixName = PosixName(name);
      const auto holders = SharedSection::Probe(posixName);
      if (holders == SharedSection::Holders::Some) continue;
      if (holders == SharedSection::Holders::None) SharedSection::Remove(posixName);
    }
    const std::string_view mutexName = FieldText(e.mutexName);
    if (e.hasMutex != 0 && IsValidShmName(mutexName)) NamedMutex::Remove(PosixName(mutexName));
    diag::Info("shared memory: entry {} (\"{}\") cleared, no process holds it any more", i,
               IsValidShmName(name) ? name : std::string_view("?"));
    e = ShmTableEntry{};
    changed = true;
  }
  if (changed) WriteTable();
}

int ShmTable::ShmCreateBlock(std::string_view name, std::string_view mutexName, int recordSize,
                             int recordCount) {
  std::lock_guard lock(mutex_);
  if (!table_ || !tableLock_) return SHM_FAILED;
  TableLock held(tableLock_.get(), options_.tableLockTimeoutMs);
  if (!held.held()) return SHM_FAILED;
  ReadTable();
  ClearAbandonedEntries();

  if (!IsValidShmName(name)) return SHM_INVALID;
  const bool withMutex = !mutexName.empty();
  if (withMutex && (!IsValidShmName(mutexName) || mutexName == name)) return SHM_INVALID;
  for (const ShmTableEntry& e : local_.entries) {
    if (e.inUse == 0) continue;
    const std::string_view usedName = FieldText(e.name);
    const std::string_view usedMutex = e.hasMutex != 0 ? FieldText(e.mutexName) : "";
    if (usedName == name || (!usedMutex.empty() && usedMutex == name)) return SHM_INVALID;
    if (withMutex && (usedName == mutexName || usedMutex == mutexName)) return SHM_INVALID;
  }
  if (!IsValidCount(recordSize) || !IsValidCount(recordCount)) return SHM_INVALID;

  int index = -1;
  for (int i = 0; i < kShmEntryCount && index < 0; ++i) {
    if (local_.entries[i].inUse == 0) index = i;
  }
  if (index < 0) return SHM_TABLE_FULL;
  if (blocks_[static_cast<std::size_t>(index)]) return SHM_FAILED;

  auto block = std::make_shared<Block>();
  const std::string posixName = PosixName(name);
  block->section = SharedSection::Create(
      posixName, static_cast<std::size_t>(recordSize) * static_cast<std::size_t>(recordCount));
  if (!block->section) return SHM_SECTION_FAILED;
  if (withMutex) {
    block->mutex = NamedMutex::Create(PosixName(mutexName));
    if (!block->mutex) {
      block->section.reset();
      SharedSection::Remove(posixName);
      return SHM_SECTION_FAILED;
    }
  }

  ShmTableEntry& e = local_.entries[index];
  e = ShmTableEntry{};
  std::memcpy(e.name, name.data(), name.size());
  if (withMutex) {
    std::memcpy(e.mutexName, mutexName.data(), mutexName.size());
    e.hasMutex = 1;
  }
  e.recordSize = recordSize;
  e.recordCount = recordCount;
  e.inUse = 1;
  WriteTable();
  blocks_[static_cast<std::size_t>(index)] = std::move(block);
  return index;
}

int ShmTable::ShmOpenBlock(std::string_view name) {
  std::lock_guard lock(mutex_);
  if (!table_ || !tableLock_) return SHM_FAILED;
  TableLock held(tableLock_.get(), options_.tableLockTimeoutMs);
  if (!held.held()) return SHM_FAILED;
  ReadTable();
  ClearAbandonedEntries();

  if (!IsValidShmName(name)) return SHM_INVALID;
  int index = -1;
  for (int i = 0; i < kShmEntryCount && index < 0; ++i) {
    const ShmTableEntry& e = local_.entries[i];
    if (e.inUse != 0 && FieldText(e.name) == name) index = i;
  }
  if (index < 0) return SHM_INVALID;
  if (blocks_[static_cast<std::size_t>(index)]) return SHM_FAILED;

  const ShmTableEntry& e = local_.entries[index];
  if (e.recordSize <= 0 || e.recordCount <= 0) return SHM_SECTION_FAILED;
  auto block = std::make_shared<Block>();
  // The section must hold every record the entry promises, whoever wrote it.
  block->section =
      SharedSection::Open(PosixName(name), static_cast<std::size_t>(e.recordSize) *
                                               static_cast<std::size_t>(e.recordCount));
  if (!block->section) return SHM_SECTION_FAILED;
  if (e.hasMutex != 0) {
    const std::string_view mutexName = FieldText(e.mutexName);
    if (!IsValidShmName(mutexName)) return SHM_SECTION_FAILED;
    block->mutex = NamedMutex::Open(PosixName(mutexName));
    if (!block->mutex) return SHM_SECTION_FAILED;
  }
  blocks_[static_cast<std::size_t>(index)] = std::move(block);
  return index;
}

int ShmTable::ShmReleaseBlock(int index) {
  std::lock_guard lock(mutex_);
  if (!table_ || !tableLock_) return SHM_FAILED;
  TableLock held(tableLock_.get(), options_.tableLockTimeoutMs);
  if (!held.held()) return SHM_FAILED;
  ReadTable();
  if (index < 0 || index >= kShmEntryCount) return SHM_INVALID;
  CloseBlock(index);

  ShmTableEntry& e = local_.entries[index];
  if (e.inUse == 0) return SHM_OK;
  const std::string_view name = FieldText(e.name);
  if (IsValidShmName(name)) {
    const std::string posixName = PosixName(name);
    const auto holders = SharedSection::Probe(posixName);
    if (holders == SharedSection::Holders::Some) return SHM_OK;  // another process holds it
    if (holders == SharedSection::Holders::None) SharedSection::Remove(posixName);
  }
  const std::string_view mutexName = FieldText(e.mutexName);
  if (e.hasMutex != 0 && IsValidShmName(mutexName)) NamedMutex::Remove(PosixName(mutexName));
  e = ShmTableEntry{};
  WriteTable();
  return SHM_OK;
}

void ShmTable::ShmReleaseAll() {
  std::lock_guard lock(mutex_);
  for (int i = 0; i < kShmEntryCount; ++i) CloseBlock(i);
}

int ShmTable::ShmReadRecord(int index, std::span<std::byte> buffer, int recordNumber,
                            int useBlockMutex, int timeoutMs) {
  return CopyRecord(index, buffer.data(), buffer.size(), recordNumber, useBlockMutex, timeoutMs,
                    false);
}

int ShmTable::ShmWriteRecord(int index, std::span<const std::byte> buffer, int recordNumber,
                             int useBlockMutex, int timeoutMs) {
  // The buffer is only read from when writing.
  return CopyRecord(index, const_cast<std::byte*>(buffer.data()), buffer.size(), recordNumber,
                    useBlockMutex, timeoutMs, true);
}

int ShmTable::CopyRecord(int index, std::byte* buffer, std::size_t bufferSize, int recordNumber,
                         int useBlockMutex, int timeoutMs, bool write) {
  std::shared_ptr<Block> block;
  std::int32_t recordSize = 0;
  {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= kShmEntryCount) return SHM_INVALID;
    const ShmTableEntry& e = local_.entries[index];
    if (recordNumber <= 0 || recordNumber > e.recordCount) return SHM_INVALID;
    if (e.inUse == 0) return SHM_NOT_IN_USE;
    block = blocks_[static_cast<std::size_t>(index)];
    if (!block) return SHM_FAILED;
    recordSize = e.recordSize;
  }
  // The record must lie inside what is mapped and inside the caller's buffer,
  // whatever the table claims.
  if (recordSize <= 0) return SHM_SECTION_FAILED;
  if (bufferSize < static_cast<std::size_t>(recordSize)) return SHM_INVALID;
  const std::size_t offset =
      static_cast<std::size_t>(recordNumber - 1) * static_cast<std::size_t>(recordSize);
  if (offset + static_cast<std::size_t>(recordSize) > block->section->size()) {
    return SHM_SECTION_FAILED;
  }

  const bool locking = useBlockMutex == kUseBlockMutex;
  if (locking) {
    if (!block->mutex) return SHM_INVALID;
    switch (block->mutex->Lock(timeoutMs)) {
      case NamedMutex::LockResult::Locked:
        break;
      case NamedMutex::LockResult::TimedOut:
        return SHM_TIMEOUT;
      case NamedMutex::LockResult::Abandoned:
        // The record may be half-written by the process that died; report it
        // and leave the mutex free, so the next call locks normally.
        block->mutex->Unlock();
        return SHM_ABANDONED;
      case NamedMutex::LockResult::Failed:
        return SHM_FAILED;
    }
  }
  {
    std::lock_guard copyLock(block->copyMutex);
    std::byte* record = block->section->data() + offset;
    if (write) {
      std::memcpy(record, buffer, static_cast<std::size_t>(recordSize));
    } else {
      std::memcpy(buffer, record, static_cast<std::size_t>(recordSize));
    }
  }
  if (locking) block->mutex->Unlock();
  return SHM_OK;
}

int ShmTable::ShmLockBlock(int index, int timeoutMs) {
  std::shared_ptr<Block> block;
  {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= kShmEntryCount) return SHM_INVALID;
    if (local_.entries[index].inUse == 0) return SHM_NOT_IN_USE;
    block = blocks_[static_cast<std::size_t>(index)];
  }
  if (!block) return SHM_FAILED;
  if (!block->mutex) return SHM_INVALID;
  switch (block->mutex->Lock(timeoutMs)) {
    case NamedMutex::LockResult::Locked:
      return SHM_OK;
    case NamedMutex::LockResult::TimedOut:
      return SHM_TIMEOUT;
    case NamedMutex::LockResult::Abandoned:
      block->mutex->Unlock();
      return SHM_ABANDONED;
    case NamedMutex::LockResult::Failed:
      break;
  }
  return SHM_FAILED;
}

int ShmTable::ShmUnlockBlock(int index) {
  std::shared_ptr<Block> block;
  {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= kShmEntryCount) return SHM_INVALID;
    block = blocks_[static_cast<std::size_t>(index)];
  }
  if (!block) return SHM_FAILED;
  if (!block->mutex) return SHM_INVALID;
  return block->mutex->Unlock() ? SHM_OK : SHM_FAILED;
}

bool ShmTable::ShmHeldElsewhere(int index) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= kShmEntryCount || !tableLock_) return false;
  const auto& block = blocks_[static_cast<std::size_t>(index)];
  if (!block) return false;
  TableLock held(tableLock_.get(), options_.tableLockTimeoutMs);
  // Without the table lock the answer cannot be had safely; say "held" so
  // that nobody gives up on a peer for a lock that was merely busy.
  if (!held.held()) return true;
  return block->section->HeldElsewhere();
}

std::optional<ShmTableLayout> ShmTable::ReadSharedTable() {
  std::lock_guard lock(mutex_);
  if (!table_ || !tableLock_) return std::nullopt;
  TableLock held(tableLock_.get(), options_.tableLockTimeoutMs);
  if (!held.held()) return std::nullopt;
  ShmTableLayout copy;
  std::memcpy(&copy, table_->data(), sizeof copy);
  return copy;
}

ShmTableEntry ShmTable::LocalEntry(int index) const {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= kShmEntryCount) return {};
  return local_.entries[index];
}

}  // namespace viren::api
