#include "ConsoleUiHost.h"

#include <cstdio>

#include "core/Messages.h"

namespace viren {

MsgAnswer ConsoleUiHost::Message(int id, const std::vector<std::string>& args, MsgIcon,
                                 MsgButtons buttons) {
  const std::string text = FormatMessage(id, args);
  MsgAnswer answer = MsgAnswer::Ok;
  switch (buttons) {
    case MsgButtons::Ok:
      answer = MsgAnswer::Ok;
      break;
    case MsgButtons::OkCancel:
      answer = answerYes_ ? MsgAnswer::Ok : MsgAnswer::Cancel;
      break;
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
      answer = answerYes_ ? MsgAnswer::Yes : MsgAnswer::No;
      break;
  }
  std::lock_guard lock(mutex_);
  std::fprintf(stderr, "[%d] %s\n", id, text.c_str());
  if (buttons != MsgButtons::Ok)
    std::fprintf(stderr, "[%d] answered %s\n", id,
                 answer == MsgAnswer::Yes || answer == MsgAnswer::Ok ? "yes" : "no");
  std::fflush(stderr);
  return answer;
}

bool ConsoleUiHost::AskAgreement() {
  std::lock_guard lock(mutex_);
  std::fprintf(stderr, "[disclaimer] answered %s\n", answerYes_ ? "yes" : "no");
  std::fflush(stderr);
  return answerYes_;
}

void ConsoleUiHost::SetStatusText(const std::string& text) {
  if (text.empty()) return;
  std::lock_guard lock(mutex_);
  std::fprintf(stderr, "[status] %s\n", text.c_str());
  std::fflush(stderr);
}

void ConsoleUiHost::PostCommand(int commandId) {
  std::lock_guard lock(mutex_);
  commands_.push_back(commandId);
}

std::optional<int> ConsoleUiHost::TakeCommand() {
  std::lock_guard lock(mutex_);
  if (commands_.empty()) return std::nullopt;
  const int id = commands_.front();
  commands_.pop_front();
  return id;
}

void ConsoleUiHost::RunOnWindowThread(std::function<void()> work) {
  std::lock_guard lock(mutex_);
  work_.push_back(std::move(work));
}

std::function<void()> ConsoleUiHost::TakeWork() {
  std::lock_guard lock(mutex_);
  if (work_.empty()) return {};
  std::function<void()> work = std::move(work_.front());
  work_.pop_front();
  return work;
}

}  // namespace viren
