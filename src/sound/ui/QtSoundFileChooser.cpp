#include "sound/ui/SoundFileChooser.h"

#include <QFileDialog>
#include <QStringList>

namespace viren {

std::string QtSoundFileChooser::ChooseSoundFile(QWidget* parent) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QStringLiteral("wav"));
  dialog.setNameFilters({QStringLiteral("WAVEﾌｧｲﾙ (*.wav)"), QStringLiteral("MIDIﾌｧｲﾙ (*.mid)")});
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first().toStdString();
}

}  // namespace viren
