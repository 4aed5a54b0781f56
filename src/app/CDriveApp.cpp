#include "app/CDriveApp.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTranslator>

#include <cstdio>

#include "app/CMainFrame.h"
#include "core/DiagnosticLog.h"
#include "engine/CommandLine.h"
#include "platform/ShutdownSignals.h"

namespace viren {

bool InstallQtTranslations(QCoreApplication& app) {
  auto* translator = new QTranslator(&app);
  // The window's texts are Japanese whatever the desktop's language is.
  if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                        QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

CDriveApp::CDriveApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("VIREN"));
  setQuitOnLastWindowClosed(true);
  InstallQtTranslations(*this);
  signals_ = std::make_unique<ShutdownSignals>();
  if (signals_->fd() >= 0) {
    signalNotifier_ = std::make_unique<QSocketNotifier>(signals_->fd(), QSocketNotifier::Read);
    connect(signalNotifier_.get(), &QSocketNotifier::activated, this, [this] {
      if (signals_->TakeSignal() == 0) return;
      // Every event loop ends, also that of an open dialog; the frame and the
      // engine then go down in order as the application object is destroyed.
      QCoreApplication::exit(0);
    });
  }
}

CDriveApp::~CDriveApp() = default;

bool CDriveApp::InitInstance() {
  std::vector<std::string> args;
  const QStringList all = arguments();
  for (qsizetype i = 1; i < all.size(); ++i) {
    // "--log FILE" is ours, not the engine's: the log is open before it starts.
    if (all[i] == QStringLiteral("--log") && i + 1 < all.size()) {
      const std::string path = all[++i].toStdString();
      std::string error;
      if (!diag::Open(path, error))
        std::fprintf(stderr, "viren: --log %s: %s\n", path.c_str(), error.c_str());
      continue;
    }
    args.push_back(all[i].toStdString());
  }
  frame_ = std::make_unique<CMainFrame>(applicationDirPath().toStdString(), JoinCommandLine(args));
  frame_->show();
  return true;
}

}  // namespace viren
