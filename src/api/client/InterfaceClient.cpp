#include "api/client/InterfaceClient.h"

#include <chrono>
#include <thread>

namespace viren::client {

namespace {

enum Slot { kCommand = 0, kPosition = 1, kStatus = 2, kBall = 3 };
constexpr int kReadTimeoutMs = 1000;
constexpr auto kPollStep = std::chrono::milliseconds(5);

}  // namespace

InterfaceClient::InterfaceClient(std::string namePrefix)
    : table_(std::make_unique<api::ShmTable>(api::ShmTableOptions{std::move(namePrefix)})) {}

InterfaceClient::~InterfaceClient() {
  Close();
}

int InterfaceClient::Open() {
  Close();
  if (!table_->ShmAttachTable()) return api::SHM_FAILED;
  for (std::size_t i = 0; i < api::kInterfaceBlocks.size(); ++i) {
    const int index = table_->ShmOpenBlock(api::kInterfaceBlocks[i].name);
    if (index < 0) {
      Close();
      return index;
    }
    blocks_[i] = index;
  }
  open_ = true;
  return api::SHM_OK;
}

void InterfaceClient::Close() {
  for (int& index : blocks_) {
    if (index >= 0) table_->ShmReleaseBlock(index);
    index = -1;
  }
  table_->ShmReleaseAll();
  open_ = false;
}

std::optional<api::InterfaceRecord> InterfaceClient::Read(int slot) {
  if (blocks_[slot] < 0) return std::nullopt;
  api::InterfaceRecord bytes{};
  if (table_->ShmReadRecord(blocks_[slot], bytes, 1, 0, kReadTimeoutMs) != api::SHM_OK) {
    return std::nullopt;
  }
  return bytes;
}

std::optional<api::QuadRecord> InterfaceClient::ReadPosition() {
  auto bytes = Read(kPosition);
  if (!bytes) return std::nullopt;
  return api::DecodeQuad(*bytes);
}

std::optional<api::StatusRecord> InterfaceClient::ReadStatus() {
  auto bytes = Read(kStatus);
  if (!bytes) return std::nullopt;
  return api::DecodeStatus(*bytes);
}

std::optional<api::QuadRecord> InterfaceClient::ReadBall() {
  auto bytes = Read(kBall);
  if (!bytes) return std::nullopt;
  return api::DecodeQuad(*bytes);
}

std::optional<api::CommandRecord> InterfaceClient::ReadCommand() {
  auto bytes = Read(kCommand);
  if (!bytes) return std::nullopt;
  return api::DecodeCommand(*bytes);
}

int InterfaceClient::PostCommand(int code, int parameter, int waitMs) {
  const int index = blocks_[kCommand];
  if (index < 0) return api::SHM_FAILED;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        giveUp - std::chrono::steady_clock::now());
    const int lock =
        table_->ShmLockBlock(index, static_cast<int>(std::max<long long>(0, left.count())));
    if (lock == api::SHM_ABANDONED) continue;  // recovered; lock it again
    if (lock != api::SHM_OK) return lock;
    api::InterfaceRecord bytes{};
    int rc = table_->ShmReadRecord(index, bytes, 1, 0, kReadTimeoutMs);
    if (rc == api::SHM_OK && api::DecodeCommand(bytes).state != api::RECORD_NEW) {
      // Code and parameter first, the "new" mark last: a reader that does not
      // take the mutex never sees the mark with the old command.
      rc = table_->ShmWriteRecord(index, api::EncodeCommand({api::RECORD_EMPTY, code, parameter}),
                                  1, 0, kReadTimeoutMs);
      if (rc == api::SHM_OK) {
        rc = table_->ShmWriteRecord(index, api::EncodeCommand({api::RECORD_NEW, code, parameter}),
                                    1, 0, kReadTimeoutMs);
      }
      table_->ShmUnlockBlock(index);
      return rc;
    }
    table_->ShmUnlockBlock(index);
    if (rc != api::SHM_OK) return rc;
    if (std::chrono::steady_clock::now() >= giveUp) return api::SHM_TIMEOUT;
    std::this_thread::sleep_for(kPollStep);
  }
}

bool InterfaceClient::WaitCommandTaken(int timeoutMs) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto command = ReadCommand();
    if (command && command->state != api::RECORD_NEW) return true;
    if (std::chrono::steady_clock::now() >= giveUp) return false;
    std::this_thread::sleep_for(kPollStep);
  }
}

int InterfaceClient::WithdrawCommand() {
  const int index = blocks_[kCommand];
  if (index < 0) return api::SHM_FAILED;
  int lock = table_->ShmLockBlock(index, kReadTimeoutMs);
  if (lock == api::SHM_ABANDONED) lock = table_->ShmLockBlock(index, kReadTimeoutMs);
  if (lock != api::SHM_OK) return lock;
  api::InterfaceRecord bytes{};
  int rc = table_->ShmReadRecord(index, bytes, 1, 0, kReadTimeoutMs);
  if (rc == api::SHM_OK) {
    api::CommandRecord command = api::DecodeCommand(bytes);
    if (command.state == api::RECORD_NEW) {
      command.state = api::RECORD_EMPTY;
      rc = table_->ShmWriteRecord(index, api::EncodeCommand(command), 1, 0, kReadTimeoutMs);
    } else {
      rc = 1;
    }
  }
  table_->ShmUnlockBlock(index);
  return rc;
}

bool InterfaceClient::ServerPresent() {
  return open_ && table_->ShmHeldElsewhere(blocks_[kCommand]);
}

const char* ShmResultText(int result) {
  switch (result) {
    case api::SHM_OK:
      return "success";
    case api::SHM_FAILED:
      return "the shared-memory table could not be used";
    case api::SHM_INVALID:
      return "VIREN's program interface is not running (start VIREN with -s)";
    case api::SHM_TABLE_FULL:
      return "the shared-memory table is full";
    case api::SHM_SECTION_FAILED:
      return "a block could not be opened";
    case api::SHM_TIMEOUT:
      return "timed out";
    case api::SHM_NOT_IN_USE:
      return "the block is not registered";
    case api::SHM_ABANDONED:
      return "a block mutex was abandoned by a program that ended";
    default:
      return "unknown result";
  }
}

}  // namespace viren::client
