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
  for (const auto& p : pending_) ShowMessage(*p.ui, p.id, p.icon);
}

void MessageDeferral::Show(UiHost& ui, int id, MsgIcon icon) {
  if (tOutermost) {
    tOutermost->pending_.push_back({&ui, id, icon});
    return;
  }
  ShowMessage(ui, id, icon);
}

}  // namespace viren
