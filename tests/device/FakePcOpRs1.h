#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "PtyPeer.h"

namespace viren::test {

// A PC-OP-RS1 infrared transmitter on a pseudo-terminal. It takes "t", a
// channel byte and 240 pattern bytes, acknowledging each step ("Y", "Y",
// "E"), and records every frame with the time its "t" arrived.
class FakePcOpRs1 : public PtyPeer {
 public:
  struct Frame {
    std::uint8_t channel = 0;
    std::array<std::uint8_t, 240> pattern{};
    Clock::time_point start;
  };

  FakePcOpRs1() { Start(); }
  ~FakePcOpRs1() override { Stop(); }

  // The last acknowledgement comes `duration` after the pattern: how long
  // the transmitter takes to play it.
  void SetTransmitTime(std::chrono::milliseconds duration);
  // Stops acknowledging anything (unplugged transmitter that still takes bytes).
  void SetSilent(bool silent);

  std::vector<Frame> frames() const;
  std::size_t frameCount() const;
  // Bytes that arrived where a "t" was expected.
  std::size_t strayBytes() const;
  bool WaitForFrames(std::size_t count, std::chrono::milliseconds timeout);

 protected:
  void OnBytes(std::string_view bytes) override;

 private:
  void Ack(char c, std::chrono::milliseconds delay);

  enum class Step { Idle, Channel, Pattern } step_ = Step::Idle;
  Frame current_;
  std::size_t filled_ = 0;
  std::vector<Frame> frames_;
  std::size_t stray_ = 0;
  std::chrono::milliseconds transmitTime_{0};
  bool silent_ = false;
};

// The 7-bit code a slot pattern carries, read back slot by slot: -1 when the
// pattern is not a well-formed frame (leader, seven bits, three equal copies
// 80 bytes apart, nothing else lit).
int DecodeRoboQPattern(const std::array<std::uint8_t, 240>& pattern);

}  // namespace viren::test
