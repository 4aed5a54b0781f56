#pragma once

#include <memory>
#include <optional>
#include <string>

#include "api/InterfaceRecords.h"
#include "api/ShmTable.h"

namespace viren::client {

// A program's end of VIREN's program interface: opens the four blocks VIREN
// registered when started with "-s", reads "Position", "Status" and "Ball",
// and posts commands to "Command".
//
//   viren::client::InterfaceClient car;
//   if (car.Open() == 0) {
//     car.PostCommand(api::COMMAND_DRIVE, DRIVE_FORWARD);
//     if (auto p = car.ReadPosition()) ...  // p->values: x, y, turns, heading
//   }
//
// One object is used by one thread at a time.
class InterfaceClient {
 public:
  // `namePrefix` must match the prefix VIREN was given (empty normally).
  explicit InterfaceClient(std::string namePrefix = {});
  ~InterfaceClient();
  InterfaceClient(const InterfaceClient&) = delete;
  InterfaceClient& operator=(const InterfaceClient&) = delete;

  // Attaches to the table and opens the four blocks: 0, or the first failing
  // table result (-2: VIREN's program interface is not running).
  int Open();
  // Lets go of the blocks (VIREN keeps them while it runs).
  void Close();
  bool isOpen() const { return open_; }

  // The records as they stand; nullopt when they cannot be read. A state byte
  // of 0 means VIREN has not written the record yet.
  std::optional<api::QuadRecord> ReadPosition();
  std::optional<api::StatusRecord> ReadStatus();
  std::optional<api::QuadRecord> ReadBall();
  std::optional<api::CommandRecord> ReadCommand();

  // Posts a command under the "CMD" mutex once the previous one was taken,
  // waiting up to `waitMs` for that: 0, -6 when the previous command was not
  // taken in time, or another table result.
  int PostCommand(int code, int parameter, int waitMs = 1000);
  // Waits until VIREN has taken the last posted command; false on time-out.
  bool WaitCommandTaken(int timeoutMs);
  // Takes back a posted command VIREN has not taken yet (marks it empty under
  // the "CMD" mutex): 0 when withdrawn, 1 when it had been taken already,
  // or a table result. VIREN takes commands without the mutex, so one it has
  // just read may still be carried out; the caller reads the state afterwards.
  int WithdrawCommand();

  // Whether VIREN still holds its blocks (false once it has ended).
  bool ServerPresent();

 private:
  std::optional<api::InterfaceRecord> Read(int slot);

  std::unique_ptr<api::ShmTable> table_;
  int blocks_[4] = {-1, -1, -1, -1};
  bool open_ = false;
};

// Text for a result of the table operations.
const char* ShmResultText(int result);

}  // namespace viren::client
