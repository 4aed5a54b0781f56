#include "editor/ui/QtProgramFileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>

#include "editor/ui/DialogSupport.h"

namespace viren {

QString QtProgramFileDialogs::NameFilter() {
  const std::string_view filter = kProgramFileFilter.substr(0, kProgramFileFilter.find('|'));
  return QString::fromUtf8(filter.data(), static_cast<qsizetype>(filter.size()));
}

std::string QtProgramFileDialogs::Run(QFileDialog& dialog, const std::string& initialName,
                                      const std::string& initialFolder) {
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilter(NameFilter());
  dialog.setDefaultSuffix(QString::fromUtf8(kProgramFileExtension.data(),
                                            static_cast<qsizetype>(kProgramFileExtension.size())));
  if (!initialFolder.empty()) dialog.setDirectory(QString::fromStdString(initialFolder));
  if (!initialName.empty()) {
    const QFileInfo name(QString::fromStdString(initialName));
    if (name.dir().exists()) dialog.setDirectory(name.absolutePath());
    dialog.selectFile(name.fileName());
  }
  int result = QDialog::Rejected;
  {
    KeyboardReturn keyboard(parent_);
    result = dialog.exec();
  }
  if (result != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return {};
  return chosen.front().toStdString();
}

std::string QtProgramFileDialogs::ChooseProgramToOpen(const std::string& initialName,
                                                      const std::string& initialFolder) {
  QFileDialog dialog(parent_);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  return Run(dialog, initialName, initialFolder);
}

std::string QtProgramFileDialogs::ChooseProgramToSave(const std::string& initialName) {
  QFileDialog dialog(parent_);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // Qt's dialog asks before an existing file is replaced (no
  // DontConfirmOverwrite).
  return Run(dialog, initialName, {});
}

}  // namespace viren
