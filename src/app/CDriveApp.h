#pragma once

#include <QApplication>
#include <memory>

namespace viren {

class CMainFrame;

// The application object: creates the frame and shows it; its first paint
// starts the engine.
class CDriveApp : public QApplication {
  Q_OBJECT
 public:
  CDriveApp(int& argc, char** argv);
  ~CDriveApp() override;

  bool InitInstance();
  CMainFrame* mainFrame() const { return frame_.get(); }

 private:
  std::unique_ptr<CMainFrame> frame_;
};

}  // namespace viren
