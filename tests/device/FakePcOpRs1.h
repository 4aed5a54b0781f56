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
//
// What it models of a real transmitter: it reads the line one byte at a time
// and answers each step in order, never two at once and never out of turn.
// An exchange it has begun is kept for as long as it takes: it never gives up
// waiting for the rest, so a "t" sent while it waits for a channel byte is
// taken as that channel byte (the strictest case for the program; a
// transmitter that gives up by itself is only easier). Between exchanges,
// bytes other than "t" are ignored (counted as stray). A slow transmitter
// (busy, or behind a sluggish USB adapter) answers every byte late; one that
// is still starting up answers its first exchange late; an unplugged one with
// its adapter still in place takes bytes and answers nothing.
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
  // Every answer comes `delay` after the byte it answers (the last one also
  // after the transmit time), for the first `exchanges` exchanges only, then
  // promptly again.
  void SetAnswerDelay(std::chrono::milliseconds delay,
                      std::size_t exchanges = static_cast<std::size_t>(-1));
  // Stops acknowledging anything (unplugged transmitter that still takes bytes).
  void SetSilent(bool silent);

  std::vector<Frame> frames() const;
  std::size_t frameCount() const;
  // Bytes that arrived where a "t" was expected.
  std::size_t strayBytes() const;
  // Exchanges begun (each "t" taken while idle).
  std::size_t exchanges() const;
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
  std::chrono::milliseconds answerDelay_{0};
  std::size_t lateExchanges_ = 0;
  std::size_t exchanges_ = 0;
  Clock::time_point lastAnswer_{};  // when the latest queued answer goes out
  bool silent_ = false;
};

// The 7-bit code a slot pattern carries, read back slot by slot: -1 when the
// pattern is not a well-formed frame (leader, seven bits, three equal copies
// 80 bytes apart, nothing else lit).
int DecodeRoboQPattern(const std::array<std::uint8_t, 240>& pattern);

}  // namespace viren::test
