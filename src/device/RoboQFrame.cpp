#include "device/RoboQFrame.h"

#include <algorithm>

namespace viren {

int RoboQCode(int speed, int direction, int band) {
  return ((speed & 3) << 5) | ((direction & 3) << 3) | ((band & 3) << 1);
}

RoboQPattern BuildRoboQPattern(int code) {
  RoboQPattern pattern;
  auto light = [&pattern](int from, int count) {
    for (int k = from; k < from + count; ++k)
      pattern.bytes[k / 8] = static_cast<std::uint8_t>(pattern.bytes[k / 8] | (1u << (k % 8)));
  };
  light(0, 10);
  int p = 10;
  for (int bit = 6; bit >= 0; --bit) {
    if (code & (1 << bit)) {
      light(p, 10);
      p += 15;
    } else {
      light(p, 5);
      p += 10;
    }
  }
  pattern.slots = p;
  pattern.frameBytes = (p + 7) / 8;
  const auto first = pattern.bytes.begin();
  std::copy(first, first + pattern.frameBytes, first + kRoboQCopyOffset);
  std::copy(first, first + pattern.frameBytes, first + 2 * kRoboQCopyOffset);
  return pattern;
}

std::uint8_t RoboQChannelByte(int channel) {
  if (channel >= 1 && channel <= 4) return static_cast<std::uint8_t>('0' + channel);
  return '1';
}

}  // namespace viren
