#pragma once

#include <chrono>
#include <deque>
#include <string>
#include <vector>

#include "PtyPeer.h"

namespace viren::test {

// A relay I/O board on a pseudo-terminal: every command (text up to a
// carriage return) is recorded and answered as scripted, by default at once
// with "\r\nOK\r\n".
class FakeRelayBoard : public PtyPeer {
 public:
  struct Reply {
    enum Kind { Answer, Silent, Late, Pieces, Garbage, Vanish } kind = Answer;
    std::chrono::milliseconds delay{0};
    std::string text = "\r\nOK\r\n";
  };
  static Reply Answer() { return {}; }
  static Reply Silent() { return {Reply::Silent, {}, {}}; }
  static Reply Late(std::chrono::milliseconds delay) { return {Reply::Late, delay}; }
  // "\r\n" at once, "OK\r\n" after `gap`.
  static Reply Pieces(std::chrono::milliseconds gap) { return {Reply::Pieces, gap}; }
  static Reply Garbage(std::string text) { return {Reply::Garbage, {}, std::move(text)}; }
  static Reply Vanish() { return {Reply::Vanish, {}, {}}; }

  FakeRelayBoard() { Start(); }
  ~FakeRelayBoard() override { Stop(); }

  // The reply to the next command not yet scripted; afterwards `Default`.
  void Script(Reply reply);
  void SetDefault(Reply reply);

  std::vector<std::string> commands() const;
  bool WaitForCommands(std::size_t count, std::chrono::milliseconds timeout);

 protected:
  void OnBytes(std::string_view bytes) override;

 private:
  std::string partial_;
  std::vector<std::string> commands_;
  std::deque<Reply> script_;
  Reply default_;
};

}  // namespace viren::test
