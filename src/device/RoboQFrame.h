#pragma once

#include <array>
#include <cstdint>

namespace viren {

// The ROBO-Q's 7-bit code: speed x 32 + direction x 8 + band x 2, each field
// two bits; bit 0 is always 0.
int RoboQCode(int speed, int direction, int band);
// The code that stops the car: speed 0, direction 1.
inline int RoboQStopCode(int band) {
  return RoboQCode(0, 1, band);
}

// The infrared slot pattern the transmitter plays: 1920 slots, slot k is bit
// k % 8 (least significant first) of byte k / 8, a set bit lights the LED.
// A 10-slot leader, then per code bit from bit 6 down: 1 = 10 on, 5 off;
// 0 = 5 on, 5 off. The frame's bytes are repeated at bytes 80 and 160.
inline constexpr int kRoboQPatternBytes = 240;
inline constexpr int kRoboQCopyOffset = 80;

struct RoboQPattern {
  std::array<std::uint8_t, kRoboQPatternBytes> bytes{};
  int slots = 0;       // p: slots the frame spans, leader included
  int frameBytes = 0;  // n: bytes copied to the repeats, ceil(p / 8)
};

RoboQPattern BuildRoboQPattern(int code);

// The channel-selection byte for ROBOQ_CH: channels 1..4 are "1".."4"; 0 and
// anything else take channel "1".
std::uint8_t RoboQChannelByte(int channel);

}  // namespace viren
