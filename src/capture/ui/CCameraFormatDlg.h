#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QDialog>

#include "capture/CaptureTypes.h"

class QListWidget;
class QPushButton;

namespace viren {

// The camera-format dialog: a modal list of the picture sizes the camera
// offers ("320 x 240", smallest first) under the camera's name, OK and
// キャンセル. A double click on a size is OK. Window thread.
class CCameraFormatDlg : public QDialog {
 public:
  // `current` is preselected when the camera offers it, else the first size.
  // A camera that cannot list its sizes (it reports ranges only) is offered
  // the common sizes and `current`.
  CCameraFormatDlg(const std::string& cameraName, const std::vector<FrameSize>& sizes,
                   FrameSize current, QWidget* parent = nullptr);

  // The sizes as listed, in list order.
  const std::vector<FrameSize>& listedSizes() const { return sizes_; }
  // The selected size; nullopt when none is selected.
  std::optional<FrameSize> selectedSize() const;

  QListWidget* sizeList() const { return list_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }

  // The text of a size in the list, "320 x 240".
  static QString SizeText(FrameSize size);

 private:
  std::vector<FrameSize> sizes_;
  QListWidget* list_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace viren
