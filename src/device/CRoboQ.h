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
class UiHost;
struct EngineState;
class CRelayBoard;

// The ROBO-Q micro robot car, driven by infrared code frames sent through a
// PC-OP-RS1 transmitter on a serial port. Drive commands only change the
// sending state (speed, direction, sending or not); one sending thread turns
// it into frames and repeats them while the car is to move, then sends one
// stop frame.
//
// Every exchange with the transmitter ("t", channel byte, pattern, one answer
// each) is kept in step: when an answer does not come in time, the next
// exchange waits until the line has been quiet, discards what came late and
// completes an exchange the transmitter may still be holding, and only then
// sends its "t". A transmitter that stops answering is reported once (message
// MSG_DEVICE_NO_ANSWER) and tried again at the pace of those quiet waits.
//
// Thread safe. At most one sending thread exists at any time: forward while
// the thread is finishing its stop frame lets that thread carry on, and a new
// one is started only after the previous one has been joined.
class CRoboQ : public DriveOutput {
 public:
  // `speedLevel` is drive control's SpeedLevel, shared with it.
  CRoboQ(Settings& settings, EngineState& state, UiHost& ui, std::atomic<int>& speedLevel,
         CRelayBoard& relay, RoboQTimings timings = {});
  ~CRoboQ() override;
  CRoboQ(const CRoboQ&) = delete;
  CRoboQ& operator=(const CRoboQ&) = delete;

  // Opens COM_NO for the transmitter. False when ROBO-Q mode is off, no port
  // is configured or it cannot be opened. The relay board counts as not
  // connected afterwards in every case.
  bool RoboQOpen();
  // Stops the sending thread and closes the port. A transmitter that answers
  // gets the frame in progress finished and the stop frame; one that does not
  // is not waited for beyond the answer already awaited.
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

  // Builds the frame for (band, speed, direction) and transmits it, first
  // bringing the line back in step when an earlier exchange went unanswered;
  // false when the transmitter did not acknowledge. Sending thread only.
  bool BuildRoboQFrame(int band, int speed, int direction);

 private:
  void RoboQSendLoop();
  void StopSenderLocked();  // control lock held
  // Writes one step of the exchange and waits for its answer. Without it the
  // line is out of step, the transmitter still expecting `stillExpected`
  // bytes of this exchange should it have taken the step.
  bool Step(const std::uint8_t* bytes, std::size_t count, int stillExpected);
  bool AwaitAnswer();
  // Waits for quiet, discards late answers and completes the exchange the
  // transmitter may hold. False when the port is closing.
  bool Resynchronise();
  // Reads and discards until nothing has come for `quiet`: the bytes that
  // came, or -1 when the port is closing.
  int DrainUntilQuiet(std::chrono::milliseconds quiet);
  void NoteAnswered(bool answered);
  void SetOpen(bool open);
  // Waits `duration` unless the port is being closed; false when closing.
  bool PauseFor(std::chrono::milliseconds duration);

  Settings& settings_;
  EngineState& state_;
  UiHost& ui_;
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

  // Whether a sending thread runs and has not yet decided to end; forward
  // and the thread's decision take this lock, so a forward that comes while
  // the thread sends its stop frame is never lost.
  std::mutex runMutex_;
  bool running_ = false;  // under runMutex_

  // The sending thread's own (threads follow one another after a join; the
  // port's opening resets them while none runs).
  bool outOfStep_ = false;  // an answer did not come in time
  int stillExpected_ = 0;   // bytes of that exchange the transmitter may await
  bool reported_ = false;   // MSG_DEVICE_NO_ANSWER shown since the last answered frame

  std::mutex pauseMutex_;
  std::condition_variable pauseCv_;
  std::atomic<bool> closing_{false};  // written under pauseMutex_
};

}  // namespace viren
