#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/UiHost.h"

namespace viren::test {

// Records every message and request, answers questions from a script (then
// with the default answer). Thread safe.
class FakeUiHost : public UiHost {
 public:
  struct Shown {
    int id;
    std::vector<std::string> args;
    MsgIcon icon;
    MsgButtons buttons;
  };

  MsgAnswer Message(int id, const std::vector<std::string>& args, MsgIcon icon,
                    MsgButtons buttons) override;
  bool AskAgreement() override;
  void PostCommand(int commandId) override;
  void RequestClose() override { ++closeRequests; }
  void SetStatusText(const std::string& text) override;
  // Answers at once with what SetClipboardText put there (nothing at first).
  void RequestClipboardText(std::function<void(std::optional<std::string>)> reply) override;
  void SetClipboardText(std::optional<std::string> text);

  void ScriptAnswer(MsgAnswer answer);
  void SetDefaultAnswer(MsgAnswer answer) { defaultAnswer_ = answer; }
  void SetAgreement(bool agree) { agree_ = agree; }

  std::vector<Shown> messages() const;
  std::vector<int> messageIds() const;
  std::vector<int> postedCommands() const;
  std::vector<std::string> statusTexts() const;

  std::atomic<int> closeRequests{0};
  std::atomic<int> agreementAsked{0};

 private:
  mutable std::mutex mutex_;
  std::vector<Shown> messages_;
  std::vector<int> commands_;
  std::vector<std::string> statusTexts_;
  std::optional<std::string> clipboard_;
  std::deque<MsgAnswer> script_;
  MsgAnswer defaultAnswer_ = MsgAnswer::No;
  bool agree_ = true;
};

}  // namespace viren::test
