#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace viren {

// The command kinds of a driving program, as stored in the program file.
enum EventKind : std::uint8_t {
  EVENT_FREE = 0,
  EVENT_START = 1,
  EVENT_TIMER = 2,
  EVENT_CAR = 3,
  EVENT_HANDLE = 4,
  EVENT_POSITION = 5,
  EVENT_REPEAT = 6,
  EVENT_SOUND = 7,
  EVENT_END = 8,
  EVENT_BALL = 9,
};
inline constexpr int kEventKindCount = 10;

// Choices (the `option` byte) of the kinds that have them.
enum CarOption : std::uint8_t { CAR_STOP = 0, CAR_FORWARD = 1, CAR_REVERSE = 2 };
enum HandleOption : std::uint8_t { HANDLE_STRAIGHT = 0, HANDLE_LEFT = 1, HANDLE_RIGHT = 2 };
enum PositionOption : std::uint8_t {
  POSITION_LEAVE_COURSE = 0,
  POSITION_LEAVE_CAMERA = 1,
  POSITION_CAMERA_CENTRE = 2,
  POSITION_POINT = 3,
};
enum SoundOption : std::uint8_t { SOUND_STOP = 0, SOUND_ONCE = 1, SOUND_REPEAT = 2 };
enum BallOption : std::uint8_t { BALL_END = 0, BALL_FOLLOW = 1, BALL_AVOID = 2 };

// One command slot: 32 bytes, little-endian, the same in memory and in the
// program file, so records are copied byte for byte.
struct EventRecord {
  std::uint8_t kind = EVENT_FREE;
  std::uint8_t option = 0;
  std::uint8_t reserved1[2] = {0, 0};
  std::int16_t value1 = 0;
  std::int16_t value2 = 0;
  std::int16_t x = 0;  // top-left corner of the 40 x 40 box on the 640 x 480 canvas
  std::int16_t y = 0;
  std::int16_t next = -1;
  std::int16_t prev = -1;
  std::int16_t link = -1;
  std::int16_t repeatLeft = 0;  // countdown of a repeat during a run
  std::int16_t oldIndex = 0;    // index before the last compaction
  std::uint8_t reserved2[10] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
};

static_assert(sizeof(EventRecord) == 32, "a program record is 32 bytes in the file");
static_assert(offsetof(EventRecord, kind) == 0 && offsetof(EventRecord, option) == 1 &&
                  offsetof(EventRecord, value1) == 4 && offsetof(EventRecord, value2) == 6 &&
                  offsetof(EventRecord, x) == 8 && offsetof(EventRecord, y) == 10 &&
                  offsetof(EventRecord, next) == 12 && offsetof(EventRecord, prev) == 14 &&
                  offsetof(EventRecord, link) == 16 && offsetof(EventRecord, repeatLeft) == 18 &&
                  offsetof(EventRecord, oldIndex) == 20 && offsetof(EventRecord, reserved2) == 22,
              "program records are copied byte for byte to and from the file");
static_assert(std::endian::native == std::endian::little,
              "program files are little-endian and copied without conversion");

// Slots of a program: record 0 is the start command; at most 99 are in use.
inline constexpr int kProgramSlots = 100;
inline constexpr int kMaxCommands = 99;
inline constexpr int kCommandBoxSize = 40;

// A command whose wait takes time of its own: a loop that contains one cannot
// spin. Handle turns and ball commands do not count.
bool IsTimedCommand(const EventRecord& record);

// What the editor gives a newly inserted command of `kind`.
struct InsertionContext {
  bool roboQ = false;        // CONTROL_ROBOQ
  int escapeDistance = 100;  // [PM] EscapeDistance
  int cameraWidth = 640;     // capture width
};
EventRecord MakeInsertedRecord(EventKind kind, const InsertionContext& context);

// The start command as every program begins.
EventRecord MakeStartRecord();

}  // namespace viren
