#pragma once

#include <chrono>

namespace viren {

// How long the board is given to answer: pollCount checks pollInterval apart
// (about 5 s). While it does not answer it is tried again every
// retryInterval. At close, every wait on it ends within closingWait, so a
// silent board cannot hold up the program's end. Tests shorten them.
struct RelayTimings {
  std::chrono::milliseconds pollInterval{100};
  int pollCount{50};
  std::chrono::milliseconds retryInterval{1000};
  std::chrono::milliseconds closingWait{1000};
};

// How long the transmitter is given for each answer. Its slowest answer in
// normal work is the last one, given once it has played the pattern: the 240
// bytes take 21 ms on the line at 115200 baud, and the 1920 slots of the
// pattern, each a fraction of a millisecond, play in well under a second; a
// USB serial adapter adds some tens of milliseconds. 2.5 s covers that with
// room for a transmitter that is slow but sure (up to two seconds an answer),
// and still ends the wait on one that is unplugged.
//
// When an answer did not come in time, the line must then stay quiet for
// quietTime before the next exchange begins: an answer that was on its way
// arrives within it and is discarded instead of being taken for the next
// exchange's. It also paces the retries on a transmitter that stays silent.
struct RoboQTimings {
  std::chrono::milliseconds ackTimeout{2500};
  std::chrono::milliseconds quietTime{5000};
};

struct DeviceTimings {
  RelayTimings relay;
  RoboQTimings roboQ;
};

}  // namespace viren
