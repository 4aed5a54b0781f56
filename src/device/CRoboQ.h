#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "device/DeviceInterfaces.h"
#include "device/DeviceTimings.h"
#include "platform/SerialPort.h"

namespace viren {

class Settings;
struct EngineState;
class CRelayBoard;

// The ROBO-Q micro robot car, driven by infrared code frames sent through a
// PC-OP-RS1 transmitter on a serial port. Drive commands only change the
// sending state (speed, direction, sending or not); one sending thread turns
// it into frames and repeats them while the car is to move, then sends one
// stop frame.
//
// Thread safe. At most one sending thread exists at any time: a new one is
// started only after the previous one has been joined.
class CRoboQ : public DriveOutput {
 public:
  // `speedLevel` is drive control's SpeedLevel, shared with it.
  CRoboQ(Settings& settings, EngineState& state, std::atomic<int>& speedLevel, CRelayBoard& relay,
         RoboQTimings timings = {});
  ~CRoboQ() override;
  CRoboQ(const CRoboQ&) = delete;
  CRoboQ& operator=(const CRoboQ&) = delete;

  // Opens COM_NO for the transmitter. False when ROBO-Q mode is off, no port
  // is configured or it cannot be opened. The relay board counts as not
  // connected afterwards in every case.
  bool RoboQOpen();
  // Stops the sending thread (after its stop frame) and closes the port.
  void RoboQClose();
  // 0 stop, 1 start sending, 3/4/5 straight/left/right, 6/7 speed 3/2;
  // others are ignored. True when nothing is open.
  bool RoboQOutput(int code);

  bool Output(int code) override { return RoboQOutput(code); }

  // Told whenever isOpen() changes. Any thread; null detaches.
  void SetConnectionListener(ConnectionListener* listener) { listener_ = listener; }

  bool isOpen() const { return open_.load(); }
  bool sending() const { return sending_.load(); }
  // Open, and the last frame was acknowledged (true until one is not).
  bool answering() const { return open_.load() && answering_.load(); }
  int direction() const { return direction_.load(); }  // 0 straight, 1 right, 2 left
  int band() const { return band_.load(); }
  // A band chosen while the transmitter is open: the next frame carries it.
  void SetBand(int band) { band_ = band & 3; }
  std::string portPath() const;
  // The most sending threads ever alive at once (1 when all is well).
  int maxConcurrentSenders() const { return maxActive_.load(); }

  // Builds the frame for (band, speed, direction) and transmits it; false when
  // the transmitter did not acknowledge. Sending thread only.
  bool BuildRoboQFrame(int band, int speed, int direction);

 private:
  void RoboQSendLoop();
  void StopSenderLocked();  // control lock held
  bool AwaitAck();
  void SetOpen(bool open);
  // Waits `duration` unless the port is being closed; false when closing.
  bool PauseFor(std::chrono::milliseconds duration);

  Settings& settings_;
  EngineState& state_;
  std::atomic<int>& speedLevel_;
  CRelayBoard& relay_;
  const RoboQTimings timings_;

  mutable std::mutex controlMutex_;  // open, close, starting the thread
  SerialPort port_;                  // the sending thread's while it runs
  std::string path_;
  std::thread sender_;

  std::atomic<bool> open_{false};
  std::atomic<bool> sending_{false};
  std::atomic<bool> answering_{true};
  std::atomic<int> band_{0};
  std::atomic<int> channel_{0};
  std::atomic<int> direction_{0};
  std::atomic<int> active_{0};
  std::atomic<int> maxActive_{0};
  std::atomic<ConnectionListener*> listener_{nullptr};

  std::mutex pauseMutex_;
  std::condition_variable pauseCv_;
  bool closing_ = false;  // under pauseMutex_
};

}  // namespace viren
