#pragma once

#include <QMainWindow>
#include <string>

namespace viren {

class CDriveView;
class QtUiHost;
class UiHost;

// The frame: menus, toolbar, status bar and the view. The close box and the
// keyboard close do nothing; the exit command is the only way out.
class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  // `uiOverride` replaces the window program's own dialogs (tests).
  CMainFrame(std::string moduleFolder, std::string commandLine, UiHost* uiOverride = nullptr);
  ~CMainFrame() override;

  CDriveView* view() const { return view_; }
  // Offers the command to the view first, then handles it here.
  void OnCommand(int commandId);
  // Closes the frame for real (exit command, failed start-up).
  void CloseFrame();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;

 private:
  void CreateMenus();
  void OnAppExit();
  void OnAppAbout();

  std::unique_ptr<QtUiHost> ownUi_;
  CDriveView* view_ = nullptr;
  bool closing_ = false;
};

}  // namespace viren
