#include "app/QtUiHost.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <memory>

#include "app/CAgreementDlg.h"
#include "app/CDriveView.h"
#include "app/CMainFrame.h"
#include "app/ExternalWindow.h"
#include "core/Messages.h"
#include "editor/ui/DialogSupport.h"

namespace viren {
namespace {

bool OnGuiThread() {
  return QThread::currentThread() == qApp->thread();
}

MsgAnswer NegativeAnswer(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::Ok:
      return MsgAnswer::Ok;
    case MsgButtons::OkCancel:
      return MsgAnswer::Cancel;
    default:
      return MsgAnswer::No;
  }
}

}  // namespace

QtUiHost::~QtUiHost() {
  BeginShutdown();
}

void QtUiHost::AttachFrame(CMainFrame* frame) {
  frame_ = frame;
}

void QtUiHost::BeginShutdown() {
  {
    std::lock_guard lock(mutex_);
    shuttingDown_ = true;
  }
  answered_.notify_all();
}

MsgAnswer QtUiHost::ShowMessageBox(QWidget* parent, int id, const std::vector<std::string>& args,
                                   MsgIcon icon, MsgButtons buttons) {
  QMessageBox box(parent);
  box.setWindowTitle(QString::fromUtf8(kAppTitle.data(), static_cast<int>(kAppTitle.size())));
  box.setText(QString::fromStdString(FormatMessage(id, args)));
  switch (icon) {
    case MsgIcon::Stop:
      box.setIcon(QMessageBox::Critical);
      break;
    case MsgIcon::Exclamation:
      box.setIcon(QMessageBox::Warning);
      break;
    case MsgIcon::Question:
      box.setIcon(QMessageBox::Question);
      break;
    case MsgIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case MsgIcon::None:
      box.setIcon(QMessageBox::NoIcon);
      break;
  }
  QPushButton* ok = nullptr;
  QPushButton* cancel = nullptr;
  QPushButton* yes = nullptr;
  QPushButton* no = nullptr;
  switch (buttons) {
    case MsgButtons::Ok:
      ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
      break;
    case MsgButtons::OkCancel:
      ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
      cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
      break;
    case MsgButtons::YesNoCancel:
      cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
      [[fallthrough]];
    case MsgButtons::YesNo:
      yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
      no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
      break;
  }
  {
    KeyboardReturn keyboard(parent);
    box.exec();
  }
  const auto* clicked = box.clickedButton();
  if (clicked == ok && ok) return MsgAnswer::Ok;
  if (clicked == yes && yes) return MsgAnswer::Yes;
  if (clicked == no && no) return MsgAnswer::No;
  if (clicked == cancel && cancel) return MsgAnswer::Cancel;
  return NegativeAnswer(buttons);
}

MsgAnswer QtUiHost::Message(int id, const std::vector<std::string>& args, MsgIcon icon,
                            MsgButtons buttons) {
  if (OnGuiThread()) return ShowMessageBox(frame_, id, args, icon, buttons);

  // A worker asks: the GUI thread shows the box and hands the answer back.
  struct Request {
    bool done = false;
    MsgAnswer answer = MsgAnswer::Ok;
  };
  auto request = std::make_shared<Request>();
  {
    std::lock_guard lock(mutex_);
    if (shuttingDown_) return NegativeAnswer(buttons);
  }
  QMetaObject::invokeMethod(
      qApp,
      [this, request, id, args, icon, buttons] {
        const MsgAnswer answer = shuttingDown_ ? NegativeAnswer(buttons)
                                               : ShowMessageBox(frame_, id, args, icon, buttons);
        {
          std::lock_guard lock(mutex_);
          request->answer = answer;
          request->done = true;
        }
        answered_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(mutex_);
  answered_.wait(lock, [&] { return request->done || shuttingDown_; });
  return request->done ? request->answer : NegativeAnswer(buttons);
}

void QtUiHost::ShowNotice(int id, MsgIcon icon) {
  if (shuttingDown_) return;
  QMetaObject::invokeMethod(
      qApp,
      [this, id, icon] {
        if (!shuttingDown_) ShowMessageBox(frame_, id, {}, icon, MsgButtons::Ok);
      },
      Qt::QueuedConnection);
}

bool QtUiHost::AskAgreement() {
  CAgreementDlg dialog(frame_);
  return dialog.exec() == QDialog::Accepted && dialog.choice() == 0;
}

void QtUiHost::PostCommand(int commandId) {
  QPointer<CMainFrame> frame = frame_;
  QMetaObject::invokeMethod(
      qApp,
      [frame, commandId] {
        if (frame) frame->OnCommand(commandId);
      },
      Qt::QueuedConnection);
}

void QtUiHost::RequestClose() {
  QPointer<CMainFrame> frame = frame_;
  QMetaObject::invokeMethod(
      qApp,
      [frame] {
        if (frame) frame->CloseFrame();
      },
      Qt::QueuedConnection);
}

void QtUiHost::SetStatusText(const std::string& text) {
  // A settings write that fails on a worker thread warns here too.
  QPointer<CMainFrame> frame = frame_;
  const QString message = QString::fromStdString(text);
  auto show = [frame, message] {
    if (frame) frame->statusBar()->showMessage(message);
  };
  if (OnGuiThread())
    show();
  else
    QMetaObject::invokeMethod(qApp, show, Qt::QueuedConnection);
}

void QtUiHost::FitFrameToClient(int width, int height) {
  QPointer<CMainFrame> frame = frame_;
  QMetaObject::invokeMethod(
      qApp,
      [frame, width, height] {
        if (frame) frame->FitFrameToClient(width, height);
      },
      Qt::QueuedConnection);
}

bool QtUiHost::CreateController() {
  return frame_ && frame_->CreateController();
}

void QtUiHost::RepaintControllerButton(int button) {
  QPointer<CMainFrame> frame = frame_;
  QMetaObject::invokeMethod(
      qApp,
      [frame, button] {
        if (frame) frame->RepaintControllerButton(button);
      },
      Qt::QueuedConnection);
}

void QtUiHost::RequestClipboardText(std::function<void(std::optional<std::string>)> reply) {
  QMetaObject::invokeMethod(
      qApp,
      [reply = std::move(reply)] {
        const QString text = QGuiApplication::clipboard()->text();
        if (text.isEmpty())
          reply(std::nullopt);
        else
          reply(text.toStdString());
      },
      Qt::QueuedConnection);
}

void QtUiHost::RunOnWindowThread(std::function<void()> work) {
  // Tied to the frame: work still queued when the frame goes is dropped.
  QObject* context = frame_ ? static_cast<QObject*>(frame_.data()) : qApp;
  QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

ExternalWindowResult QtUiHost::AttachExternalWindow(std::uint32_t windowId) {
  QPointer<CMainFrame> frame = frame_;
  if (windowId == 0) {
    QMetaObject::invokeMethod(
        qApp,
        [frame] {
          if (frame) frame->view()->DetachExternalWindow();
        },
        Qt::QueuedConnection);
    return ExternalWindowResult::Detached;
  }
  ExternalWindowResult result = ExternalWindowResult::NotSupported;
  // Looked up here, so the caller learns at once whether it exists.
  std::shared_ptr<ExternalWindow> window = ExternalWindow::Open(windowId, result);
  if (!window) return result;
  QMetaObject::invokeMethod(
      qApp,
      [frame, window] {
        if (frame) frame->view()->AttachExternalWindow(window);
      },
      Qt::QueuedConnection);
  return ExternalWindowResult::Attached;
}

void QtUiHost::ShowCommandToolbar(bool visible) {
  QPointer<CMainFrame> frame = frame_;
  QMetaObject::invokeMethod(
      qApp,
      [frame, visible] {
        if (frame) frame->ShowCommandToolbar(visible);
      },
      Qt::QueuedConnection);
}

void QtUiHost::RepaintView() {
  QPointer<CMainFrame> frame = frame_;
  QMetaObject::invokeMethod(
      qApp,
      [frame] {
        if (frame && frame->view()) frame->view()->update();
      },
      Qt::QueuedConnection);
}

}  // namespace viren
