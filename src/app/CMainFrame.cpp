#include "app/CMainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <vector>

#include "app/CCheckDock.h"
#include "app/CControlDlg.h"
#include "app/CDriveView.h"
#include "app/QtUiHost.h"
#include "app/ToolbarIcons.h"
#include "app/dialogs/CPositionDlg.h"
#include "ball/ui/CBallDlg.h"
#include "capture/CaptureSystem.h"
#include "capture/ui/QtCaptureDialogs.h"
#include "commands/CommandTable.h"
#include "core/CommandIds.h"
#include "core/Messages.h"
#include "device/CCarDevices.h"
#include "editor/ProgramEditor.h"
#include "editor/ui/CommandToolbar.h"
#include "editor/ui/QtCommandDialogs.h"
#include "editor/ui/QtProgramFileDialogs.h"
#include "engine/CDriveSystem.h"
#include "engine/EngineFrames.h"
#include "program/ProgramFile.h"
#include "program/ProgramRunner.h"
#include "settings/Settings.h"
#include "simulation/RunTrack.h"

namespace viren {
namespace {

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A command's string-table entry holds the status-bar prompt, a line break,
// and the tool tip.
QString PromptOf(int id) {
  return Utf8(MessageText(id)).section('\n', 0, 0);
}
QString ToolTipOf(int id) {
  return Utf8(MessageText(id)).section('\n', 1, 1);
}

// How often the enabling and check marks follow the engine's state.
constexpr int kCommandUpdateMs = 200;

}  // namespace

CMainFrame::CMainFrame(std::string moduleFolder, std::string commandLine, UiHost* uiOverride,
                       EngineOptions options)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint) {
  UiHost* ui = uiOverride;
  if (ui == nullptr) {
    ownUi_ = std::make_unique<QtUiHost>();
    ownUi_->AttachFrame(this);
    ui = ownUi_.get();
  }
  view_ = new CDriveView(*ui, std::move(moduleFolder), std::move(commandLine), this,
                         std::move(options));
  setCentralWidget(view_);
  view_->installEventFilter(this);
  CreateMenus();
  CreateToolbar();
  if (cameraMenu_) connect(cameraMenu_, &QMenu::aboutToShow, this, &CMainFrame::RefreshCameraMenu);
  connect(view_, &CDriveView::viewMenuRequested, this, &CMainFrame::ShowViewMenu);
  connect(view_, &CDriveView::commandRequested, this, &CMainFrame::OnCommand);
  connect(view_, &CDriveView::selectionMoved, this, &CMainFrame::UpdateCommands);
  CreateEditorWindows(*ui);
  checkDock_ = new CCheckDock(this);
  addDockWidget(Qt::RightDockWidgetArea, checkDock_);
  checkDock_->hide();
  connect(checkDock_, &CCheckDock::commandChosen, this, [this](int command) {
    if (view_->engine().state().viewMode != VIEW_PROGRAM) OnCommand(ID_VIEW_PROGRAM);
    view_->engine().editor().SelectCommand(command);
    view_->update();
  });
  captureDialogs_ = std::make_unique<QtCaptureDialogs>(this);
  view_->engine().frames().SetCaptureDialogs(captureDialogs_.get());
  statusBar()->showMessage(Utf8(MessageText(MSG_READY)));
  runStatus_ = new QLabel(this);
  runStatus_->setObjectName(QStringLiteral("runStatus"));
  statusBar()->addPermanentWidget(runStatus_);
  runStatus_->hide();
  UpdateTitle();
  runReport_ = new QLabel(this);
  runReport_->setObjectName(QStringLiteral("runReport"));
  // The report never widens the frame, which follows the view's size.
  runReport_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  statusBar()->addWidget(runReport_, 1);
  // A menu's or a button's prompt ends with an empty message: the frame says
  // it is ready again, unless a run report now stands there.
  connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& text) {
    if (text.isEmpty() && runReport_->text().isEmpty())
      statusBar()->showMessage(Utf8(MessageText(MSG_READY)));
  });
  linkLabel_ = new QLabel(this);
  linkLabel_->setObjectName(QStringLiteral("linkHealth"));
  statusBar()->addPermanentWidget(linkLabel_);
  resize(sizeHint());

  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &CMainFrame::EmergencyStop);

  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, this, &CMainFrame::UpdateCommands);
  timer->start(kCommandUpdateMs);
}

void CMainFrame::RefreshCameraMenu() {
  if (!cameraMenu_) return;
  // The cameras found at start-up follow "なし".
  for (QAction* action : cameraMenu_->actions())
    if (action->property("camera").toBool()) {
      cameraMenu_->removeAction(action);
      action->deleteLater();
    }
  const int selected = view_->engine().state().cameraIndex;
  for (const CameraMenuItem& item : view_->engine().capture().cameraMenu()) {
    QAction* action = cameraMenu_->addAction(QString::fromStdString(item.name));
    action->setProperty("camera", true);
    if (item.commandId >= ID_CAMERA_FIRST && item.commandId <= ID_CAMERA_LAST) {
      const int id = item.commandId;
      action->setCheckable(true);
      action->setChecked(selected == id - ID_CAMERA_NONE);
      connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    } else {
      action->setEnabled(false);  // beyond the fourth camera: no command
    }
  }
}

CMainFrame::~CMainFrame() {
  // The engine shuts down with the view; nobody may wait on our dialogs then.
  if (ownUi_) ownUi_->BeginShutdown();
  // Windows that hold on to the engine's parts go before the engine does.
  delete ballDialog_;
  ballDialog_ = nullptr;
  delete controller_;
  controller_ = nullptr;
  positionWindow_.reset();
  delete view_;
  view_ = nullptr;
}

QAction* CMainFrame::MakeAction(int id, const QString& text) {
  auto* action = new QAction(text, this);
  action->setData(id);
  action->setStatusTip(PromptOf(id));
  if (const QString tip = ToolTipOf(id); !tip.isEmpty()) action->setToolTip(tip);
  action->setCheckable(IsCheckCommand(id));
  connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
  actions_.emplace(id, action);
  return action;
}

void CMainFrame::CreateMenus() {
  std::vector<QMenu*> open;  // the popup at each depth
  for (const MenuEntry& e : MainMenu()) {
    open.resize(static_cast<size_t>(e.depth));
    QMenu* parent = e.depth == 0 ? nullptr : open.back();
    if (e.popup) {
      QMenu* menu = parent ? parent->addMenu(Utf8(e.text)) : menuBar()->addMenu(Utf8(e.text));
      open.push_back(menu);
      if (e.id == POPUP_CAMERA) cameraMenu_ = menu;
      if (e.id == POPUP_COM_PORT)
        connect(menu, &QMenu::aboutToShow, this, [this] {
          // Each port shows the device it stands for on this machine.
          for (int port = 1; port <= 9; ++port)
            if (QAction* a = ActionFor(ComPortCommand(port)))
              a->setText(QString::fromStdString(view_->engine().devices().ComPortLabel(port)));
        });
      continue;
    }
    if (e.id == 0) {
      parent->addSeparator();
      continue;
    }
    parent->addAction(MakeAction(e.id, Utf8(e.text)));
  }
  connect(ActionFor(ID_VIEW_TOOLBAR), &QAction::triggered, this,
          [this](bool on) { toolbar_->setVisible(on); });
  connect(ActionFor(ID_VIEW_STATUS_BAR), &QAction::triggered, this,
          [this](bool on) { statusBar()->setVisible(on); });

  // Accelerators: undo, redo, unlink, copy and paste; the framework's pane
  // keys exist but do nothing.
  auto shortcut = [this](const QKeySequence& keys, int id) {
    auto* s = new QShortcut(keys, this);
    connect(s, &QShortcut::activated, this, [this, id] {
      if (QAction* a = ActionFor(id); a && a->isEnabled()) OnCommand(id);
    });
  };
  // The program file commands' usual keys, shown beside their menu items.
  // Only the menu's actions exist yet, so the toolbar's carry no second copy.
  ActionFor(ID_FILE_OPEN)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  ActionFor(ID_FILE_SAVE)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  ActionFor(ID_FILE_NEW)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
  // Zoom of the program view: Ctrl with plus (also on the = key, where plus
  // needs Shift), minus, and 0 for the whole flowchart.
  ActionFor(ID_ZOOM_IN)
      ->setShortcuts(
          {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  ActionFor(ID_ZOOM_OUT)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
  ActionFor(ID_ZOOM_FIT)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
  // Copy and paste of commands with their usual keys (Ctrl+X stays the
  // unlink command's; cut is in the Edit menu), and Ctrl+D to duplicate.
  ActionFor(ID_EDIT_COPY)
      ->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)});
  ActionFor(ID_EDIT_PASTE)
      ->setShortcuts(
          {QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)});
  ActionFor(ID_DUPLICATE)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), ID_UNDO);
  shortcut(QKeySequence(Qt::ALT | Qt::Key_Backspace), ID_UNDO);
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_Y), ID_REDO);
  // The Delete key deletes the selected command, asking as the menu does.
  shortcut(QKeySequence(Qt::Key_Delete), ID_DELETE_COMMAND);
  shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), ID_REDO);
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_X), ID_UNLINK);
  shortcut(QKeySequence(Qt::SHIFT | Qt::Key_Delete), ID_UNLINK);
}

void CMainFrame::CreateToolbar() {
  toolbar_ = addToolBar(QStringLiteral("main"));
  toolbar_->setIconSize(QSize(16, 15));
  toolbar_->setMovable(true);
  // The frame fits the picture, not the toolbar: on a picture narrower than
  // the toolbar its last buttons fold behind the extension button rather than
  // leave an empty strip beside the picture.
  toolbar_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  for (int id : MainToolbar()) {
    if (id == 0) {
      toolbar_->addSeparator();
      continue;
    }
    QAction* action = MakeAction(id, PromptOf(id));
    action->setIcon(ToolbarIcon(id));
    toolbar_->addAction(action);
  }
}

void CMainFrame::EmergencyStop() {
  if (view_) view_->engine().EmergencyStop();
}

QString CMainFrame::linkHealthText() const {
  return linkLabel_ ? linkLabel_->text() : QString();
}

QAction* CMainFrame::ActionFor(int commandId) const {
  const auto it = actions_.find(commandId);
  return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::ShowCheckAndReport() {
  CDriveSystem& engine = view_->engine();
  // While the list is open it follows the program's edits.
  if (checkDock_->isVisible() && !engine.editor().CheckMarksCurrent()) engine.CheckProgramNow();
  if (engine.checkNumber() != shownCheck_) {
    shownCheck_ = engine.checkNumber();
    checkDock_->ShowFindings(engine.lastCheck());
    checkDock_->show();
  }
  RunTrack& track = engine.runTrack();
  if (track.reportNumber() != shownReport_) {
    shownReport_ = track.reportNumber();
    // It stays in the status bar; messages and prompts cover it only while
    // they are shown.
    runReport_->setText(QString::fromStdString(FormatRunReport(track.LastReport())));
    statusBar()->clearMessage();
    runReport_->show();
  }
}

void CMainFrame::ShowRunStatus() {
  CDriveSystem& engine = view_->engine();
  if (!engine.state().autoDriving) {
    runClock_.invalidate();
    runStatus_->hide();
    return;
  }
  // The run's time counts from when the window first saw it running.
  if (!runClock_.isValid()) runClock_.start();
  const int command = engine.runner().CurrentCommand();
  const int kind = command >= 0 ? engine.program().Record(command).kind : 0;
  runStatus_->setText(QString::fromStdString(FormatRunStatus(command, kind, runClock_.elapsed())));
  runStatus_->show();
  view_->FollowRunningCommand(command);
}

void CMainFrame::UpdateCommands() {
  if (!view_) return;
  ShowCheckAndReport();
  ShowRunStatus();
  CommandContext context = view_->engine().CommandContextNow();
  context.toolbarVisible = toolbar_->isVisible();
  context.statusBarVisible = statusBar()->isVisible();
  // The car's link, so that a board that stopped answering is seen at once.
  switch (view_->engine().devices().linkHealth()) {
    case LinkHealth::NoDevice:
      linkLabel_->setText(QStringLiteral("デバイス未接続"));
      break;
    case LinkHealth::Connected:
      linkLabel_->setText(QStringLiteral("デバイス接続中"));
      break;
    case LinkHealth::NotAnswering:
      linkLabel_->setText(QStringLiteral("デバイス応答なし"));
      break;
    case LinkHealth::Simulating:
      linkLabel_->setText(QStringLiteral("シミュレーション中"));
      break;
  }
  if (commandToolbar_) UpdateCommandToolbar(commandToolbar_, view_->engine().editor());
  for (auto& [id, action] : actions_) {
    const CommandUpdate u = EvaluateCommand(id, context);
    action->setEnabled(u.enabled);
    if (action->isCheckable()) action->setChecked(u.checked);
  }
  UpdateTitle();
}

void CMainFrame::UpdateTitle() {
  CDriveSystem& engine = view_->engine();
  const std::string& file = engine.programFiles().shownFile();
  const QString name =
      file.empty() ? QStringLiteral("無題") : QFileInfo(QString::fromStdString(file)).fileName();
  // "[*]" becomes the modified mark while setWindowModified is on.
  const QString title = name + QStringLiteral("[*] - ") + Utf8(MessageText(MSG_APP_TITLE));
  if (windowTitle() != title) setWindowTitle(title);
  setWindowModified(engine.program().modified);
}

void CMainFrame::OnCommand(int commandId) {
  if (view_ && view_->OnCommand(commandId)) {
    UpdateCommands();
    return;
  }
  switch (commandId) {
    case ID_APP_EXIT:
      OnAppExit();
      break;
    case ID_APP_ABOUT:
      OnAppAbout();
      break;
    default:
      OnWindowCommand(commandId);
      break;
  }
}

void CMainFrame::FitFrameToClient(int width, int height) {
  if (!view_ || (view_->width() == width && view_->height() == height)) return;
  view_->setFixedSize(width, height);
  adjustSize();
}

bool CMainFrame::CreateController() {
  CDriveSystem& engine = view_->engine();
  EngineState& state = engine.state();
  delete controller_;
  controller_ = new CControlDlg(engine.devices().drive(), engine.controllerActions(), this);
  const SkinType skin = state.controlRoboQ ? SkinType::RoboQ : SkinType::Normal;
  if (!positionsRestored_) RestoreFramePosition();
  QPoint corner = ViewCorner();
  controllerFollowsView_ = true;
  if (const std::string saved = engine.settings().ReadString(keys::CONTROL_POSITION);
      !saved.empty()) {
    const SettingPair p = ParseSettingPair(saved);
    corner = QPoint(p.first, p.second);
    controllerFollowsView_ = false;
  }
  controller_->LoadSkin(engine.settings(), engine.settings().moduleFolder(), skin, engine.ui(),
                        state.enableTurbo, state.fourWheel(), corner);
  if (controller_->turboMissing()) state.enableTurbo = false;
  controller_->SetEscapeAction([this] { EmergencyStop(); });
  // A skin with a missing picture (MSG_CONTROLLER_PICTURE_FAILED shown) still shows what it has.
  controller_->show();
  return true;
}

QPoint CMainFrame::ViewCorner() const {
  return view_->mapToGlobal(QPoint(view_->width(), view_->height()));
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && event->type() == QEvent::Resize) {
    // After the frame has followed the view's new size.
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (controller_ && view_ && controllerFollowsView_) controller_->PlaceAt(ViewCorner());
        },
        Qt::QueuedConnection);
  }
  return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::ShowCommandToolbar(bool visible) {
  if (!commandToolbar_ || commandToolbar_->isVisible() == visible) return;
  commandToolbar_->setVisible(visible);
  // The frame fits the view again: no empty strip where the toolbar was.
  if (!visible)
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (!commandToolbar_->isVisible() && !isMaximized() && !isFullScreen()) adjustSize();
        },
        Qt::QueuedConnection);
}

void CMainFrame::RepaintControllerButton(int button) {
  if (controller_) controller_->RepaintButton(button);
}

void CMainFrame::OnAppExit() {
  // The driving program is offered for saving first; the capture stops with
  // the engine's shut-down.
  if (!view_->engine().programFiles().ConfirmSaveIfModified()) return;
  SavePositions();
  CloseFrame();
}

void CMainFrame::RestoreFramePosition() {
  positionsRestored_ = true;
  const std::string saved = view_->engine().settings().ReadString(keys::FRAME_POSITION);
  if (saved.empty()) return;
  const SettingPair p = ParseSettingPair(saved);
  const QPoint at(p.first, p.second);
  // A place on no screen (a second monitor unplugged, a smaller desktop) is
  // not returned to.
  if (QGuiApplication::screenAt(at)) move(at);
}

void CMainFrame::SavePositions() {
  const Settings& settings = view_->engine().settings();
  if (settings.optionFile().empty()) return;  // start-up never ran
  auto save = [&settings](const SettingKey& key, QPoint at) {
    const std::string text = std::to_string(at.x()) + "," + std::to_string(at.y());
    if (settings.ReadString(key) != text) settings.WritePair(key, at.x(), at.y());
  };
  save(keys::FRAME_POSITION, pos());
  if (controller_) save(keys::CONTROL_POSITION, controller_->pos());
}

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
