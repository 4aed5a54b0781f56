#include "device/MessageDeferral.h"

namespace viren {

namespace {
thread_local MessageDeferral* tOutermost = nullptr;
}  // namespace

MessageDeferral::MessageDeferral() : outermost_(tOutermost == nullptr) {
  if (outermost_) tOutermost = this;
}

MessageDeferral::~MessageDeferral() {
  if (!outermost_) return;
  tOutermost = nullptr;
  for (const auto& p : pending_) p.ui->Message(p.id, p.args, p.icon, MsgButtons::Ok);
}

void MessageDeferral::Show(UiHost& ui, int id, MsgIcon icon, std::vector<std::string> args) {
  if (tOutermost) {
    tOutermost->pending_.push_back({&ui, id, icon, std::move(args)});
    return;
  }
  ui.Message(id, args, icon, MsgButtons::Ok);
}

}  // namespace viren
