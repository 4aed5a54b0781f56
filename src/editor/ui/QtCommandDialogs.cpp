#include "editor/ui/QtCommandDialogs.h"

#include <QDialog>

#include "editor/ui/CEventDlg.h"
#include "editor/ui/CTimeDlg.h"

namespace viren {

bool QtCommandDialogs::RunTimeDialog(int& seconds, int& tenths, const CommandDialogContext&) {
  CTimeDlg dlg(seconds, tenths, ui_, parent_);
  if (dlg.exec() != QDialog::Accepted) return false;
  seconds = dlg.seconds();
  tenths = dlg.tenths();
  return true;
}

bool QtCommandDialogs::RunEventDialog(EventKind kind, EventDialogValues& values,
                                      const CommandDialogContext& context) {
  CEventDlg dlg(kind, values, context, ui_, parent_);
  dlg.SetSoundListEditor(editSoundList_);
  if (dlg.exec() != QDialog::Accepted) return false;
  values = dlg.values();
  return true;
}

QtPositionWindow::~QtPositionWindow() {
  Close();
}

void QtPositionWindow::Open() {
  Close();
  if (!factory_) return;
  dialog_ = factory_(parent_);
  if (!dialog_) return;
  dialog_->setModal(false);
  QObject::connect(dialog_, &QDialog::finished, dialog_, [this](int result) {
    // The window goes first, so that ending the definition finds it closed.
    Close();
    if (onEnd_) onEnd_(result == QDialog::Accepted);
  });
  dialog_->show();
}

void QtPositionWindow::Close() {
  if (!dialog_) return;
  QDialog* dialog = dialog_;
  dialog_ = nullptr;
  dialog->disconnect();
  QObject::disconnect(dialog, nullptr, nullptr, nullptr);
  dialog->hide();
  dialog->deleteLater();
}

}  // namespace viren
