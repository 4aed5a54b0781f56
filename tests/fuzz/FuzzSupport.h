#pragma once

// What every fuzz target shares: reading typed values from the input, a check
// that fails loudly in any build, and a user who answers every message.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/UiHost.h"

// Defined by each target; libFuzzer calls it, and so does the corpus replay
// of the ordinary build.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// An invariant the code promises. Aborts in every build type, so a corpus
// replay under GCC without sanitizers still fails on a wrong result.
#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

namespace viren::fuzz {

// Takes values from the front of the input; past its end every value is 0 and
// every run of bytes is empty, so a short input is as valid as a long one.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::size_t remaining() const { return size_ - pos_; }
  bool empty() const { return pos_ >= size_; }

  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  bool Bool() { return Byte() & 1; }
  template <typename T>
  T Take() {
    T value{};
    const std::size_t n = std::min(sizeof(T), remaining());
    if (n > 0) std::memcpy(&value, data_ + pos_, n);
    pos_ += n;
    return value;
  }
  // An integer in [low, high].
  int Range(int low, int high) {
    const std::uint32_t span = static_cast<std::uint32_t>(high - low) + 1;
    return low + static_cast<int>(Take<std::uint16_t>() % span);
  }
  // Up to `max` bytes, as many as the next byte says.
  std::string_view Text(std::size_t max) {
    const std::size_t n = std::min<std::size_t>({Byte(), max, remaining()});
    std::string_view text(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return text;
  }
  std::span<const std::uint8_t> Rest() {
    std::span<const std::uint8_t> rest(data_ + pos_, remaining());
    pos_ = size_;
    return rest;
  }
  std::string_view RestText() {
    auto rest = Rest();
    return {reinterpret_cast<const char*>(rest.data()), rest.size()};
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Counts the messages and answers each with its first button.
class CountingUiHost : public UiHost {
 public:
  MsgAnswer Message(int id, const std::vector<std::string>&, MsgIcon, MsgButtons buttons) override {
    ids.push_back(id);
    return buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel ? MsgAnswer::Yes
                                                                              : MsgAnswer::Ok;
  }
  bool AskAgreement() override { return true; }
  void PostCommand(int) override {}
  void RequestClose() override {}

  std::vector<int> ids;
};

}  // namespace viren::fuzz
