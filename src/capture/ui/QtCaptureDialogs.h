#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "capture/CaptureDialogs.h"

class QFileDialog;

namespace viren {

// The capture's dialogs in the window program, modal over `parent`.
//
// File > open shows the file dialog with a filter for every video container
// GStreamer plays here, all of them first, then one each (avi first, the
// default extension), and "連番ビットマップ (*.bmp)". Choosing any
// bitmap plays the folder it lies in, as the frame dump wrote it; the
// dumped files are all alike, so picking one is the simplest way to point at
// their folder. The camera format is CCameraFormatDlg. Window thread.
class QtCaptureDialogs : public CaptureDialogs {
 public:
  explicit QtCaptureDialogs(QWidget* parent) : parent_(parent) {}

  std::optional<std::string> ChooseVideoFile() override;
  std::optional<FrameSize> ChooseCameraFormat(const std::string& cameraName,
                                              const std::vector<FrameSize>& sizes,
                                              FrameSize current, CameraControls* controls) override;

  static const QString kAllVideosFilter;  // every container below, offered first
  static const QString kVideoFilter;      // "画像ﾌｧｲﾙ (*.avi)"
  static const QString kFolderFilter;     // "連番ビットマップ (*.bmp)"
  // The open dialog's filters in order: all videos, avi, mp4, mkv, webm,
  // mov, numbered bitmaps.
  static QStringList VideoFilters();

  // What the open dialog's choice plays: the file itself, or the folder of
  // a bitmap.
  static std::string VideoSourceOf(const QString& chosenFile);

 private:
  QPointer<QWidget> parent_;
  QString lastFolder_;  // the dialog opens where the last choice was made
};

}  // namespace viren
