// The serial devices' side of the conversation: relay command texts built from
// any RELAY_ID, the board's replies arriving in any pieces, and the ROBO-Q
// infrared frames for any settings, read back slot by slot.
#include <initializer_list>

#include "FuzzSupport.h"
#include "core/DriveTypes.h"
#include "device/RelayCommands.h"
#include "device/RoboQFrame.h"

using namespace viren;

namespace {

void CheckCommandText(const std::string& text) {
  if (text.empty()) return;
  // One command, one carriage return at its end, nothing else the board
  // could take as a separator.
  FUZZ_CHECK(text.back() == '\r');
  for (std::size_t i = 0; i + 1 < text.size(); ++i)
    FUZZ_CHECK(static_cast<unsigned char>(text[i]) >= 0x20 && text[i] != 0x7F);
  FUZZ_CHECK(text == "AT\r" || (text.rfind("PC", 0) == 0 && (text.size() - 3) % 3 == 0));
}

// The code a frame carries, decoded from its slots as the car would: a leader
// of 10 lit slots running straight into the first bit, then per bit 10 lit
// (1) or 5 lit (0), each followed by 5 dark.
int DecodeFrame(const RoboQPattern& p) {
  auto lit = [&](int slot) { return (p.bytes[slot / 8] >> (slot % 8)) & 1; };
  int slot = 0;
  int code = 0;
  for (int bit = 6; bit >= 0; --bit) {
    int on = bit == 6 ? -10 : 0;
    while (slot < p.slots && lit(slot)) ++on, ++slot;
    int off = 0;
    while (slot < p.slots && !lit(slot)) ++off, ++slot;
    FUZZ_CHECK((on == 10 || on == 5) && off == 5);
    code |= (on == 10 ? 1 : 0) << bit;
  }
  FUZZ_CHECK(slot == p.slots);
  for (; slot < p.frameBytes * 8; ++slot) FUZZ_CHECK(!lit(slot));
  return code;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input(data, size);
  const std::string_view relayIds = input.Text(12);
  const bool fourWheel = input.Bool();
  for (int code : std::initializer_list<int>{DRIVE_CHECK, DRIVE_STOP, DRIVE_FORWARD, DRIVE_REVERSE,
                                             DRIVE_STRAIGHT, DRIVE_LEFT, DRIVE_RIGHT,
                                             DRIVE_TURBO_ON, DRIVE_TURBO_OFF, input.Take<int>()})
    CheckCommandText(RelayCommandText(code, relayIds, fourWheel));

  // A reply gathered over the polls: once it is an acknowledgement, more
  // bytes after it do not take that back.
  std::string reply;
  bool acknowledged = false;
  while (!input.empty() && input.remaining() > 8) {
    reply.append(input.Text(16));
    const bool now = IsRelayAcknowledgement(reply);
    FUZZ_CHECK(!acknowledged || now);
    acknowledged = now;
    if (now) FUZZ_CHECK(reply.compare(2, 2, "OK") == 0);
  }

  const int speed = input.Range(-1, 4);
  const int direction = input.Range(-1, 4);
  const int band = input.Range(-1, 4);
  const int code = RoboQCode(speed, direction, band);
  FUZZ_CHECK(code >= 0 && code < 128 && (code & 1) == 0);
  const RoboQPattern pattern = BuildRoboQPattern(code);
  FUZZ_CHECK(pattern.slots > 0 && pattern.frameBytes == (pattern.slots + 7) / 8);
  FUZZ_CHECK(pattern.frameBytes <= kRoboQCopyOffset);
  FUZZ_CHECK(DecodeFrame(pattern) == code);
  for (int i = 0; i < pattern.frameBytes; ++i) {
    FUZZ_CHECK(pattern.bytes[kRoboQCopyOffset + i] == pattern.bytes[i]);
    FUZZ_CHECK(pattern.bytes[2 * kRoboQCopyOffset + i] == pattern.bytes[i]);
  }
  const std::uint8_t channel = RoboQChannelByte(input.Take<int>());
  FUZZ_CHECK(channel >= '1' && channel <= '4');
  return 0;
}
