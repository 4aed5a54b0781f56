#pragma once

#include <string>

#include "program/EventRecord.h"
#include "program/ProgramFile.h"

namespace viren::test {

// The bytes of a program file: start, then the car driving (`carOption`,
// forward unless told), then a 59 s timer, so that a run is still going when
// a test stops it.
inline std::string DriveForwardProgram(int carOption = CAR_FORWARD) {
  EventRecord r[3];
  r[0].kind = EVENT_START;
  r[0].next = 1;
  r[1].kind = EVENT_CAR;
  r[1].option = static_cast<std::uint8_t>(carOption);
  r[1].prev = 0;
  r[1].next = 2;
  r[2].kind = EVENT_TIMER;
  r[2].value1 = 59;
  r[2].prev = 1;
  for (int i = 0; i < 3; ++i) {
    r[i].x = static_cast<std::int16_t>(16 + 56 * i);
    r[i].y = 16;
  }
  return EncodeProgramFile(r, 3);
}

}  // namespace viren::test
