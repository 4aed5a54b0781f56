#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QDialog>

#include "capture/CameraControls.h"
#include "capture/CaptureTypes.h"

class QListWidget;
class QPushButton;
class QWidget;

namespace viren {

// The camera settings dialog: a modal list of the picture sizes the camera
// offers ("320 x 240", smallest first) under the camera's name, OK and
// キャンセル; a double click on a size is OK. Beside the list, the camera's
// own controls (a slider with a number, a check box or a choice each, under
// the device's names), applied to the camera as they change, and
// "既定値に戻す" to put them all back to the camera's defaults. A camera
// without controls shows the list alone. Window thread.
class CCameraFormatDlg : public QDialog {
 public:
  // `current` is preselected when the camera offers it, else the first size.
  // A camera that cannot list its sizes (it reports ranges only) is offered
  // the common sizes and `current`.
  CCameraFormatDlg(const std::string& cameraName, const std::vector<FrameSize>& sizes,
                   FrameSize current, CameraControls* controls = nullptr,
                   QWidget* parent = nullptr);

  // The sizes as listed, in list order.
  const std::vector<FrameSize>& listedSizes() const { return sizes_; }
  // The selected size; nullopt when none is selected.
  std::optional<FrameSize> selectedSize() const;

  QListWidget* sizeList() const { return list_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }
  // The widget of a control ("control_" and its id in 8 hex digits): a
  // QSpinBox, QCheckBox or QComboBox; null when the camera has no such one.
  QWidget* controlWidget(std::uint32_t id) const;
  QPushButton* resetButton() const { return reset_; }

  // The text of a size in the list, "320 x 240".
  static QString SizeText(FrameSize size);

 private:
  std::vector<FrameSize> sizes_;
  QListWidget* list_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* reset_ = nullptr;
  CameraControls* controls_ = nullptr;

  QWidget* MakeControlsPanel();
  // Shows the camera's values and which controls an automatic mode governs.
  void RefreshControls();
  void ApplyControl(std::uint32_t id, int value);
};

}  // namespace viren
