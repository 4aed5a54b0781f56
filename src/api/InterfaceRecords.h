#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace viren::api {

// The four interface blocks other programs use to watch and drive the car:
// one 12-byte record each, little-endian, byte 0 a state byte. Byte offsets
// are fixed; programs written against them read the records directly.
inline constexpr int kInterfaceRecordSize = 12;
inline constexpr int kInterfaceRecordCount = 1;
using InterfaceRecord = std::array<std::byte, kInterfaceRecordSize>;

struct InterfaceBlockName {
  std::string_view name;
  std::string_view mutexName;
};
inline constexpr InterfaceBlockName kCommandBlock{"Command", "CMD"};
inline constexpr InterfaceBlockName kPositionBlock{"Position", "POS"};
inline constexpr InterfaceBlockName kStatusBlock{"Status", "STS"};
inline constexpr InterfaceBlockName kBallBlock{"Ball", "BAL"};
// The order the blocks are created in.
inline constexpr std::array<InterfaceBlockName, 4> kInterfaceBlocks{kCommandBlock, kPositionBlock,
                                                                    kStatusBlock, kBallBlock};

// State byte: a program posts a command with 1, the interface marks it 2 when
// it takes it; records the program writes carry 1.
enum RecordState : std::uint8_t { RECORD_EMPTY = 0, RECORD_NEW = 1, RECORD_TAKEN = 2 };

// Command codes a program posts to "Command", and the parameters of
// COMMAND_EXTERNAL; tools/python/viren_client.py repeats them, checked by a test.
enum InterfaceCommandCode : int {
  COMMAND_DRIVE = 1,             // parameter: a DriveCommand
  COMMAND_SOUND_REPEAT = 2,      // parameter: sound number
  COMMAND_SOUND_PREPARE = 3,     // parameter: sound number
  COMMAND_SOUND = 8,             // parameter: sound number played once, or -number to stop it
  COMMAND_TARGET = 10,           // parameter: y << 16 | x, or -1 to stop following
  COMMAND_BALL = 11,             // parameter: distance << 16 | ball mode
  COMMAND_PROGRAM_FILE = 12,     // the program file named by the clipboard's text
  COMMAND_EXTERNAL = 100,        // parameter: one of ExternalControl
  COMMAND_EXTERNAL_WINDOW = 102  // parameter: window to draw the camera picture into
};
enum ExternalControl : int {
  EXTERNAL_OFF = 0,
  EXTERNAL_ON = 1,
  EXTERNAL_STOP_PROGRAM = 10,
  EXTERNAL_START_PROGRAM = 11,
  EXTERNAL_CONTOUR_BOX = 103,
};

// "Command": offset 4 code, offset 8 parameter (signed 32-bit each).
struct CommandRecord {
  std::uint8_t state = RECORD_EMPTY;
  std::int32_t code = 0;
  std::int32_t parameter = 0;
  friend bool operator==(const CommandRecord&, const CommandRecord&) = default;
};

// "Position", "Ball" and the contour box: four 16-bit values at 4, 6, 8, 10.
// Position: x, y, turn count, heading in degrees. Contour box and Ball: left,
// top, right, bottom. Read as signed (a turn count may be negative); the
// contour box is meant as unsigned.
struct QuadRecord {
  std::uint8_t state = RECORD_EMPTY;
  std::array<std::int16_t, 4> values{};
  friend bool operator==(const QuadRecord&, const QuadRecord&) = default;
};

// "Status": the low 16 bits of the drive state word at offset 4.
struct StatusRecord {
  std::uint8_t state = RECORD_EMPTY;
  std::uint16_t driveState = 0;
  friend bool operator==(const StatusRecord&, const StatusRecord&) = default;
};

InterfaceRecord EncodeCommand(const CommandRecord& record);
CommandRecord DecodeCommand(const InterfaceRecord& bytes);
InterfaceRecord EncodeQuad(const QuadRecord& record);
QuadRecord DecodeQuad(const InterfaceRecord& bytes);
InterfaceRecord EncodeStatus(const StatusRecord& record);
StatusRecord DecodeStatus(const InterfaceRecord& bytes);

// Values wider than a field keep their low 16 bits, as the record stores them.
constexpr std::int16_t Low16(std::int64_t value) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFF));
}

// The heading other programs see: degrees 0..360, 0 pointing towards -x, 180
// towards +x, clockwise on screen; trunc((direction + 3.14159) * 180/3.14159).
// A direction that is not a finite number of sane size gives 0.
int HeadingDegrees(double carDirection);

}  // namespace viren::api
