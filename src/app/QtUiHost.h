#pragma once

#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "core/UiHost.h"

class QWidget;

namespace viren {

class CMainFrame;

// UiHost for the window program. Message boxes are shown on the GUI thread; a
// worker thread that asks waits for the answer, and is let go with "No" /
// "Cancel" once the window program shuts down, so shut-down can never wait on
// a worker that waits on the GUI.
class QtUiHost final : public UiHost {
 public:
  QtUiHost() = default;
  ~QtUiHost() override;

  // The frame that dialogs are parented to and close requests go to.
  void AttachFrame(CMainFrame* frame);
  // From now on every waiting or later worker request gets the negative answer.
  void BeginShutdown();

  MsgAnswer Message(int id, const std::vector<std::string>& args, MsgIcon icon,
                    MsgButtons buttons) override;
  void ShowNotice(int id, MsgIcon icon) override;
  bool AskAgreement() override;
  void PostCommand(int commandId) override;
  void RequestClose() override;
  void SetStatusText(const std::string& text) override;
  void FitFrameToClient(int width, int height) override;
  void ShowCommandToolbar(bool visible) override;
  void RepaintView() override;
  bool CreateController() override;
  void RepaintControllerButton(int button) override;
  void RequestClipboardText(std::function<void(std::optional<std::string>)> reply) override;
  void RunOnWindowThread(std::function<void()> work) override;
  ExternalWindowResult AttachExternalWindow(std::uint32_t windowId) override;

  // The message box itself; GUI thread only.
  static MsgAnswer ShowMessageBox(QWidget* parent, int id, const std::vector<std::string>& args,
                                  MsgIcon icon, MsgButtons buttons);

 private:
  QPointer<CMainFrame> frame_;
  std::atomic<bool> shuttingDown_{false};
  std::mutex mutex_;
  std::condition_variable answered_;
};

}  // namespace viren
