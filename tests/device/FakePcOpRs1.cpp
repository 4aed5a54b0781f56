#include "FakePcOpRs1.h"

#include <algorithm>

namespace viren::test {

void FakePcOpRs1::SetTransmitTime(std::chrono::milliseconds duration) {
  std::lock_guard lock(mutex_);
  transmitTime_ = duration;
}

void FakePcOpRs1::SetAnswerDelay(std::chrono::milliseconds delay, std::size_t exchanges) {
  std::lock_guard lock(mutex_);
  answerDelay_ = delay;
  lateExchanges_ = exchanges;
}

std::size_t FakePcOpRs1::exchanges() const {
  std::lock_guard lock(mutex_);
  return exchanges_;
}

void FakePcOpRs1::SetSilent(bool silent) {
  std::lock_guard lock(mutex_);
  silent_ = silent;
}

std::vector<FakePcOpRs1::Frame> FakePcOpRs1::frames() const {
  std::lock_guard lock(mutex_);
  return frames_;
}

std::size_t FakePcOpRs1::frameCount() const {
  std::lock_guard lock(mutex_);
  return frames_.size();
}

std::size_t FakePcOpRs1::strayBytes() const {
  std::lock_guard lock(mutex_);
  return stray_;
}

bool FakePcOpRs1::WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) {
  return WaitUntil([&] { return frames_.size() >= count; }, timeout);
}

void FakePcOpRs1::Ack(char c, std::chrono::milliseconds delay) {
  if (silent_) return;
  if (exchanges_ <= lateExchanges_) delay += answerDelay_;
  // Answers leave in turn: none overtakes a late one still queued.
  const auto now = Clock::now();
  const auto due = std::max(now + delay, lastAnswer_);
  lastAnswer_ = due;
  SendAfterLocked(std::string(1, c), std::chrono::ceil<std::chrono::milliseconds>(due - now));
}

void FakePcOpRs1::OnBytes(std::string_view bytes) {
  for (char ch : bytes) {
    const auto b = static_cast<std::uint8_t>(ch);
    switch (step_) {
      case Step::Idle:
        if (b != 't') {
          ++stray_;
          break;
        }
        current_ = Frame{};
        current_.start = Clock::now();
        ++exchanges_;
        step_ = Step::Channel;
        Ack('Y', std::chrono::milliseconds(0));
        break;
      case Step::Channel:
        current_.channel = b;
        filled_ = 0;
        step_ = Step::Pattern;
        Ack('Y', std::chrono::milliseconds(0));
        break;
      case Step::Pattern:
        current_.pattern[filled_++] = b;
        if (filled_ == current_.pattern.size()) {
          frames_.push_back(current_);
          step_ = Step::Idle;
          Ack('E', transmitTime_);
        }
        break;
    }
  }
}

int DecodeRoboQPattern(const std::array<std::uint8_t, 240>& pattern) {
  auto lit = [&](int k) { return (pattern[k / 8] >> (k % 8)) & 1; };
  auto run = [&](int from, int value) {
    int k = from;
    while (k < 640 && lit(k) == value) ++k;
    return k - from;
  };
  if (run(0, 1) < 10) return -1;
  // The leader and a following 0 bit join into one 15-slot run.
  int p = 10;
  int code = 0;
  for (int bit = 6; bit >= 0; --bit) {
    const int on = run(p, 1);
    const int off = run(p + on, 0);
    if (on == 10 && off >= 5) {
      code |= 1 << bit;
      p += 15;
    } else if (on == 5 && off >= 5) {
      p += 10;
    } else {
      return -1;
    }
  }
  for (int k = p; k < 640; ++k)
    if (lit(k)) return -1;
  const int n = (p + 7) / 8;
  for (int copy : {80, 160}) {
    if (!std::equal(pattern.begin(), pattern.begin() + n, pattern.begin() + copy)) return -1;
    for (int i = copy + n; i < copy + 80 && i < 240; ++i)
      if (pattern[i] != 0) return -1;
  }
  return code;
}

}  // namespace viren::test
