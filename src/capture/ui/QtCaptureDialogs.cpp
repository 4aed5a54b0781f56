#include "capture/ui/QtCaptureDialogs.h"

#include <QFileDialog>
#include <QFileInfo>

#include "capture/ui/CCameraFormatDlg.h"

namespace viren {

const QString QtCaptureDialogs::kVideoFilter = QString::fromUtf8("画像ﾌｧｲﾙ (*.avi)");
const QString QtCaptureDialogs::kFolderFilter = QString::fromUtf8("連番ビットマップ (*.bmp)");

std::string QtCaptureDialogs::VideoSourceOf(const QString& chosenFile) {
  const QFileInfo info(chosenFile);
  if (info.suffix().compare(QStringLiteral("bmp"), Qt::CaseInsensitive) == 0)
    return info.absolutePath().toStdString();
  return info.absoluteFilePath().toStdString();
}

std::optional<std::string> QtCaptureDialogs::ChooseVideoFile() {
  QFileDialog dialog(parent_, QString(), lastFolder_);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::ReadOnly);
  dialog.setNameFilters({kVideoFilter, kFolderFilter});
  dialog.setDefaultSuffix(QStringLiteral("avi"));
  // A name typed without extension gets that of the filter in use.
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
    dialog.setDefaultSuffix(f == kFolderFilter ? QStringLiteral("bmp") : QStringLiteral("avi"));
  });
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  lastFolder_ = QFileInfo(chosen.front()).absolutePath();
  return VideoSourceOf(chosen.front());
}

std::optional<FrameSize> QtCaptureDialogs::ChooseCameraFormat(const std::string& cameraName,
                                                              const std::vector<FrameSize>& sizes,
                                                              FrameSize current) {
  CCameraFormatDlg dialog(cameraName, sizes, current, parent_);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.selectedSize();
}

}  // namespace viren
