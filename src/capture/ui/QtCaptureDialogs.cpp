#include "capture/ui/QtCaptureDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

#include "capture/ui/CCameraFormatDlg.h"

namespace viren {

const QString QtCaptureDialogs::kAllVideosFilter =
    QString::fromUtf8("動画ファイル (*.avi *.mp4 *.mkv *.webm *.mov)");
const QString QtCaptureDialogs::kVideoFilter = QString::fromUtf8("画像ﾌｧｲﾙ (*.avi)");
const QString QtCaptureDialogs::kFolderFilter = QString::fromUtf8("連番ビットマップ (*.bmp)");

QStringList QtCaptureDialogs::VideoFilters() {
  return {kAllVideosFilter,
          kVideoFilter,
          QStringLiteral("MP4 (*.mp4)"),
          QStringLiteral("Matroska (*.mkv)"),
          QStringLiteral("WebM (*.webm)"),
          QStringLiteral("QuickTime (*.mov)"),
          kFolderFilter};
}

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
  dialog.setNameFilters(VideoFilters());
  dialog.setDefaultSuffix(QStringLiteral("avi"));
  // A name typed without extension gets that of the filter in use (the
  // first of its patterns: avi for all videos).
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
    const qsizetype dot = f.indexOf(QStringLiteral("*."));
    const qsizetype end = f.indexOf(QRegularExpression(QStringLiteral("[ )]")), dot);
    if (dot >= 0 && end > dot) dialog.setDefaultSuffix(f.mid(dot + 2, end - dot - 2));
  });
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  lastFolder_ = QFileInfo(chosen.front()).absolutePath();
  return VideoSourceOf(chosen.front());
}

std::optional<FrameSize> QtCaptureDialogs::ChooseCameraFormat(const std::string& cameraName,
                                                              const std::vector<FrameSize>& sizes,
                                                              FrameSize current,
                                                              CameraControls* controls) {
  CCameraFormatDlg dialog(cameraName, sizes, current, controls, parent_);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.selectedSize();
}

}  // namespace viren
