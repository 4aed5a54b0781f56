#include "app/CDriveApp.h"

#include "app/CMainFrame.h"
#include "engine/CommandLine.h"

namespace viren {

CDriveApp::CDriveApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("VIREN"));
  setQuitOnLastWindowClosed(true);
}

CDriveApp::~CDriveApp() = default;

bool CDriveApp::InitInstance() {
  std::vector<std::string> args;
  const QStringList all = arguments();
  for (qsizetype i = 1; i < all.size(); ++i) args.push_back(all[i].toStdString());
  frame_ = std::make_unique<CMainFrame>(applicationDirPath().toStdString(), JoinCommandLine(args));
  frame_->show();
  return true;
}

}  // namespace viren
