#pragma once

#include <QApplication>
#include <memory>

class QSocketNotifier;

namespace viren {

class CMainFrame;
class ShutdownSignals;

// Loads Qt's own Japanese texts (the buttons and labels of the file dialog,
// the standard message boxes) into `app`, so they speak the language of the
// rest of the window. False when the translation is not installed: Qt's
// dialogs stay in English then.
bool InstallQtTranslations(QCoreApplication& app);

// The application object: creates the frame and shows it; its first paint
// starts the engine. SIGTERM, SIGINT and SIGHUP end the program as the exit
// command does (without the question about saving the driving program, which
// nobody would be there to answer).
class CDriveApp : public QApplication {
  Q_OBJECT
 public:
  CDriveApp(int& argc, char** argv);
  ~CDriveApp() override;

  bool InitInstance();
  CMainFrame* mainFrame() const { return frame_.get(); }

 private:
  // Destroyed in reverse: the frame (and with it the engine's shut-down)
  // first, while signals are still caught.
  std::unique_ptr<ShutdownSignals> signals_;
  std::unique_ptr<QSocketNotifier> signalNotifier_;
  std::unique_ptr<CMainFrame> frame_;
};

}  // namespace viren
