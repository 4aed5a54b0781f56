#include "core/AutoResetEvent.h"

#include <gtest/gtest.h>

#include <thread>

namespace viren {
namespace {

TEST(AutoResetEvent, oneSetLetsExactlyOneWaitThrough) {
  AutoResetEvent event;
  event.Set();
  event.Set();  // a second Set before anyone waits is not remembered twice
  EXPECT_TRUE(event.WaitFor(std::chrono::milliseconds(0)));
  EXPECT_FALSE(event.WaitFor(std::chrono::milliseconds(1)));
}

TEST(AutoResetEvent, wakesAWaiterOnAnotherThread) {
  AutoResetEvent event;
  std::thread waiter([&] { EXPECT_TRUE(event.WaitFor(std::chrono::seconds(10))); });
  event.Set();
  waiter.join();
}

}  // namespace
}  // namespace viren
