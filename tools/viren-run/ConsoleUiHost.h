#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "core/UiHost.h"

namespace viren {

// The engine's user on a console: every message box is printed to stderr as
// "[<id>] <text>", status-bar texts as "[status] <text>", every question and the disclaimer get the
// one answer given on the command line, and posted commands wait in a queue for the run loop.
class ConsoleUiHost final : public UiHost {
 public:
  ConsoleUiHost(bool answerYes, std::optional<std::string> clipboard = std::nullopt)
      : answerYes_(answerYes), clipboard_(std::move(clipboard)) {}

  MsgAnswer Message(int id, const std::vector<std::string>& args, MsgIcon icon,
                    MsgButtons buttons) override;
  bool AskAgreement() override;
  void PostCommand(int commandId) override;
  void RequestClose() override { closeRequested_ = true; }
  // Printed as "[status] <text>" (an empty text clears the pane: not printed).
  void SetStatusText(const std::string& text) override;
  void RequestClipboardText(std::function<void(std::optional<std::string>)> reply) override {
    reply(clipboard_);
  }
  // Queued for the run loop, as the window program's event loop would.
  void RunOnWindowThread(std::function<void()> work) override;

  bool closeRequested() const { return closeRequested_; }
  std::optional<int> TakeCommand();
  // The oldest work queued by RunOnWindowThread, or none.
  std::function<void()> TakeWork();

 private:
  const bool answerYes_;
  const std::optional<std::string> clipboard_;
  std::atomic<bool> closeRequested_{false};
  std::mutex mutex_;  // message output and the command queue
  std::deque<int> commands_;
  std::deque<std::function<void()>> work_;
};

}  // namespace viren
