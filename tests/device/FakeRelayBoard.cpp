#include "FakeRelayBoard.h"

namespace viren::test {

void FakeRelayBoard::Script(Reply reply) {
  std::lock_guard lock(mutex_);
  script_.push_back(std::move(reply));
}

void FakeRelayBoard::SetDefault(Reply reply) {
  std::lock_guard lock(mutex_);
  default_ = std::move(reply);
}

std::vector<std::string> FakeRelayBoard::commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

bool FakeRelayBoard::WaitForCommands(std::size_t count, std::chrono::milliseconds timeout) {
  return WaitUntil([&] { return commands_.size() >= count; }, timeout);
}

void FakeRelayBoard::OnBytes(std::string_view bytes) {
  using std::chrono::milliseconds;
  for (char c : bytes) {
    partial_ += c;
    if (c != '\r') continue;
    commands_.push_back(partial_);
    partial_.clear();
    Reply r = default_;
    if (!script_.empty()) {
      r = std::move(script_.front());
      script_.pop_front();
    }
    switch (r.kind) {
      case Reply::Answer:
      case Reply::Garbage:
        SendAfterLocked(r.text, milliseconds(0));
        break;
      case Reply::Late:
        SendAfterLocked(r.text, r.delay);
        break;
      case Reply::Pieces:
        SendAfterLocked("\r\n", milliseconds(0));
        SendAfterLocked("OK\r\n", r.delay);
        break;
      case Reply::Silent:
        break;
      case Reply::Vanish:
        VanishAfterLocked(milliseconds(0));
        break;
    }
  }
}

}  // namespace viren::test
