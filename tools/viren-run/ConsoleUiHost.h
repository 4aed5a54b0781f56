#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <optional>

#include "core/UiHost.h"

namespace viren {

// The engine's user on a console: every message box is printed to stderr as
// "[<id>] <text>", status-bar texts as "[status] <text>", every question and the disclaimer get the
// one answer given on the command line, and posted commands wait in a queue for the run loop.
class ConsoleUiHost final : public UiHost {
 public:
  explicit ConsoleUiHost(bool answerYes) : answerYes_(answerYes) {}

  MsgAnswer Message(int id, const std::vector<std::string>& args, MsgIcon icon,
                    MsgButtons buttons) override;
  bool AskAgreement() override;
  void PostCommand(int commandId) override;
  void RequestClose() override { closeRequested_ = true; }
  // Printed as "[status] <text>" (an empty text clears the pane: not printed).
  void SetStatusText(const std::string& text) override;

  bool closeRequested() const { return closeRequested_; }
  std::optional<int> TakeCommand();

 private:
  const bool answerYes_;
  std::atomic<bool> closeRequested_{false};
  std::mutex mutex_;  // message output and the command queue
  std::deque<int> commands_;
};

}  // namespace viren
