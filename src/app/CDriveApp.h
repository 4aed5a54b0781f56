#pragma once

#include <QApplication>
#include <memory>

namespace viren {

class CMainFrame;

// Loads Qt's own Japanese texts (the buttons and labels of the file dialog,
// the standard message boxes) into `app`, so they speak the language of the
// rest of the window. False when the translation is not installed: Qt's
// dialogs stay in English then.
bool InstallQtTranslations(QCoreApplication& app);

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
