#include "editor/ui/DialogSupport.h"

#include <QApplication>
#include <QLineEdit>

#include "core/UiHost.h"

namespace viren {

KeyboardReturn::KeyboardReturn(QWidget* fallback) : window_(QApplication::activeWindow()) {
  if (!window_ && fallback) window_ = fallback->window();
}

KeyboardReturn::~KeyboardReturn() {
  if (window_ && window_->isVisible()) window_->activateWindow();
}

QString ControlName(int id) {
  return QStringLiteral("control%1").arg(id);
}

void ShowRefusal(UiHost& ui, QWidget* field, const DialogRefusal& refusal) {
  if (field) {
    field->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
  }
  // The integer checks are the dialogs' own warnings; the command rules are
  // the program's refusals.
  const bool integerCheck =
      refusal.messageId == MSG_ENTER_INTEGER || refusal.messageId == MSG_ENTER_INTEGER_BETWEEN;
  ui.Message(refusal.messageId, refusal.args, integerCheck ? MsgIcon::Exclamation : MsgIcon::Stop,
             MsgButtons::Ok);
}

bool ExchangeEdit(UiHost& ui, QLineEdit* edit, int minimum, int maximum, int control, int& value) {
  if (const auto refused =
          ExchangeInt(edit->text().toStdString(), minimum, maximum, control, value)) {
    ShowRefusal(ui, edit, *refused);
    return false;
  }
  return true;
}

}  // namespace viren
