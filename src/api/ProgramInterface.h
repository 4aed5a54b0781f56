#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <span>
#include <thread>

#include "api/InterfaceRecords.h"
#include "api/ShmTable.h"
#include "core/AutoResetEvent.h"
#include "core/Geometry.h"

namespace viren {
class UiHost;
class Settings;
class DriveCommander;
struct EngineState;
struct CarState;
}  // namespace viren

namespace viren::api {

class InterfaceTarget;

// The program interface for other programs: with "-s" it registers the four
// blocks "Command", "Position", "Status" and "Ball", polls "Command" on its own
// thread every COMM_INTERVAL ms and carries out each posted command on the
// engine, and writes the other three blocks whenever their data change.
//
// Start and Stop run on the window thread. The Publish calls may come from
// any thread at any time (they do nothing while the interface is inactive).
class ProgramInterface {
 public:
  ProgramInterface(UiHost& ui, EngineState& state, CarState& car, DriveCommander& drive,
                   InterfaceTarget& target, ShmTableOptions shmOptions = {});
  ~ProgramInterface();  // Stop
  ProgramInterface(const ProgramInterface&) = delete;
  ProgramInterface& operator=(const ProgramInterface&) = delete;

  // Start-up: without the interface flag nothing starts and the result is
  // true. Otherwise the blocks are created (MSG_SHM_CREATE_FAILED and false when that
  // fails; nothing is left registered) and the polling thread starts. A
  // running interface is stopped first.
  bool Start(bool interfaceFlag, int commIntervalMs);
  // The same with COMM_INTERVAL read from VIREN.ini.
  bool Start(bool interfaceFlag, const Settings& settings);
  // Shut-down: ends the polling thread (and waits for it), releases the
  // blocks and detaches an external window. Idempotent.
  void Stop();

  // The car's position, turn count and heading; in contour-box mode the box
  // around `contourPoints` (the frame analysis hands in its contour vertices;
  // without any, the box is the car's centre point).
  void PublishPosition(std::span<const Point> contourPoints = {});
  // The drive state word's low 16 bits.
  // The four values of the "Position" block as the frame analysis made them.
  void PublishPositionValues(const std::array<std::int16_t, 4>& values);
  void PublishStatus();
  void PublishBall(const Rect& ballRect);

  // Carries out one command as if posted (the polling thread's work; tests
  // call it directly), then publishes the status.
  void Dispatch(int code, int parameter);
  // One pass of the polling thread: takes a waiting command and carries it
  // out. True when there was one.
  bool PollCommand();

  // Passes the polling thread has made since the start (tests wait on it).
  int pollCount() const { return polls_; }
  bool active() const;
  bool contourBoxMode() const { return contourBox_; }
  int commIntervalMs() const { return intervalMs_; }
  // The table the blocks are registered in (tests look at it).
  ShmTable& table() { return *table_; }

 private:
  enum Slot { kCommand = 0, kPosition = 1, kStatus = 2, kBall = 3 };

  void Run();
  void Write(Slot slot, const InterfaceRecord& record);
  void ReleaseBlocks();
  // The command's work; false when the status is not to be published.
  bool CarryOut(int code, int parameter);
  bool DriveCommand(int parameter);
  void FollowTarget(int parameter);
  void SelectBallMode(int parameter);
  void RunProgramFromClipboard();
  void ExternalControl(int parameter);
  void SendDrive(int code);

  UiHost& ui_;
  EngineState& state_;
  CarState& car_;
  DriveCommander& drive_;
  InterfaceTarget& target_;
  std::unique_ptr<ShmTable> table_;
  std::array<std::atomic<int>, 4> blocks_{-1, -1, -1, -1};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> contourBox_{false};
  std::atomic<int> intervalMs_{100};
  std::atomic<int> polls_{0};
  AutoResetEvent wake_;
  std::thread thread_;
};

}  // namespace viren::api
