#include "support/FakeUiHost.h"

namespace viren::test {

MsgAnswer FakeUiHost::Message(int id, const std::vector<std::string>& args, MsgIcon icon,
                              MsgButtons buttons) {
  std::lock_guard lock(mutex_);
  messages_.push_back({id, args, icon, buttons});
  if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  if (!script_.empty()) {
    const MsgAnswer a = script_.front();
    script_.pop_front();
    return a;
  }
  return defaultAnswer_;
}

bool FakeUiHost::AskAgreement() {
  ++agreementAsked;
  std::lock_guard lock(mutex_);
  return agree_;
}

void FakeUiHost::PostCommand(int commandId) {
  std::lock_guard lock(mutex_);
  commands_.push_back(commandId);
}

void FakeUiHost::SetStatusText(const std::string& text) {
  std::lock_guard lock(mutex_);
  statusTexts_.push_back(text);
}

std::vector<std::string> FakeUiHost::statusTexts() const {
  std::lock_guard lock(mutex_);
  return statusTexts_;
}

void FakeUiHost::RequestClipboardText(std::function<void(std::optional<std::string>)> reply) {
  std::optional<std::string> text;
  {
    std::lock_guard lock(mutex_);
    text = clipboard_;
  }
  reply(std::move(text));
}

void FakeUiHost::SetClipboardText(std::optional<std::string> text) {
  std::lock_guard lock(mutex_);
  clipboard_ = std::move(text);
}

void FakeUiHost::ScriptAnswer(MsgAnswer answer) {
  std::lock_guard lock(mutex_);
  script_.push_back(answer);
}

std::vector<FakeUiHost::Shown> FakeUiHost::messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<int> FakeUiHost::messageIds() const {
  std::lock_guard lock(mutex_);
  std::vector<int> ids;
  for (const auto& m : messages_) ids.push_back(m.id);
  return ids;
}

std::vector<int> FakeUiHost::postedCommands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

}  // namespace viren::test
