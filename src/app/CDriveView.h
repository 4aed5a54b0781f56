#pragma once

#include <QWidget>
#include <memory>
#include <string>

namespace viren {

class CDriveSystem;
class UiHost;

// The main view. It owns the engine; its first paint starts it, and its
// destruction shuts it down.
class CDriveView : public QWidget {
  Q_OBJECT
 public:
  CDriveView(UiHost& ui, std::string moduleFolder, std::string commandLine,
             QWidget* parent = nullptr);
  ~CDriveView() override;

  CDriveSystem& engine() { return *engine_; }
  // True when the view handled the command.
  bool OnCommand(int commandId);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::unique_ptr<CDriveSystem> engine_;
};

}  // namespace viren
