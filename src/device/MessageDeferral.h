#pragma once

#include <string>
#include <vector>

#include "core/UiHost.h"

namespace viren {

// Holds back the device layer's message boxes while this thread holds a lock
// another thread may need to answer them. A worker that shows a message box
// waits for the window thread; if the window thread is itself waiting for
// drive control's lock, neither would move. Messages raised on this thread
// while a deferral is alive are shown, in order, when the outermost deferral
// ends (after the lock it guards has been released).
class MessageDeferral {
 public:
  MessageDeferral();
  ~MessageDeferral();
  MessageDeferral(const MessageDeferral&) = delete;
  MessageDeferral& operator=(const MessageDeferral&) = delete;

  // Shows message `id` now, or when this thread's deferral ends.
  static void Show(UiHost& ui, int id, MsgIcon icon, std::vector<std::string> args = {});

 private:
  struct Pending {
    UiHost* ui;
    int id;
    MsgIcon icon;
    std::vector<std::string> args;
  };
  bool outermost_;
  std::vector<Pending> pending_;
};

}  // namespace viren
