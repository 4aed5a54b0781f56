#include "app/CMainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

#include "app/CDriveView.h"
#include "app/QtUiHost.h"
#include "core/CommandIds.h"
#include "core/Messages.h"

namespace viren {

CMainFrame::CMainFrame(std::string moduleFolder, std::string commandLine, UiHost* uiOverride)
    : QMainWindow(nullptr,
                  Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint) {
  UiHost* ui = uiOverride;
  if (ui == nullptr) {
    ownUi_ = std::make_unique<QtUiHost>();
    ownUi_->AttachFrame(this);
    ui = ownUi_.get();
  }
  setWindowTitle(QString::fromUtf8(MessageText(128).data()));
  view_ = new CDriveView(*ui, std::move(moduleFolder), std::move(commandLine), this);
  setCentralWidget(view_);
  CreateMenus();
  statusBar()->showMessage(QString::fromUtf8(MessageText(57345).data()));
  resize(sizeHint());
}

CMainFrame::~CMainFrame() {
  // The engine shuts down with the view; nobody may wait on our dialogs then.
  if (ownUi_) ownUi_->BeginShutdown();
  delete view_;
  view_ = nullptr;
}

void CMainFrame::CreateMenus() {
  auto add = [this](QMenu* menu, const char* text, int id) {
    QAction* action = menu->addAction(QString::fromUtf8(text));
    action->setData(id);
    action->setStatusTip(QString::fromUtf8(MessageText(id).data()).section('\n', 0, 0));
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    return action;
  };
  QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
  add(file, "アプリケーションの終了(&X)", ID_APP_EXIT);
  QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
  add(help, "VIRENのバージョン情報(&A)...", ID_APP_ABOUT);
}

void CMainFrame::OnCommand(int commandId) {
  if (view_ && view_->OnCommand(commandId)) return;
  switch (commandId) {
    case ID_APP_EXIT: OnAppExit(); break;
    case ID_APP_ABOUT: OnAppAbout(); break;
    default: break;
  }
}

void CMainFrame::OnAppExit() { CloseFrame(); }

void CMainFrame::OnAppAbout() {
  QMessageBox::about(this, QStringLiteral("VIRENのバージョン情報"),
                     QStringLiteral("VIREN Version 1.0\n\n赤外線カー自動制御システム\n"
                                    "Copyright (C) VIREN developers"));
}

void CMainFrame::CloseFrame() {
  closing_ = true;
  close();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  // Only the exit command closes the frame: the driving program must be offered
  // for saving and the capture stopped first.
  if (closing_)
    event->accept();
  else
    event->ignore();
}

void CMainFrame::focusInEvent(QFocusEvent*) {
  if (view_) view_->setFocus();
}

}  // namespace viren
