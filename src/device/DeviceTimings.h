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

// How long the transmitter is given for each acknowledgement byte; a
// transmitter that stays silent (unplugged) ends the frame instead of holding
// the sending thread forever.
struct RoboQTimings {
  std::chrono::milliseconds ackTimeout{500};
};

struct DeviceTimings {
  RelayTimings relay;
  RoboQTimings roboQ;
};

}  // namespace viren
