// The main window's commands that need a dialog, a file chooser or another
// window: settings dialogs, the sound list, ball learning, photographs and
// colours of the layout and the car, the COM and camera menus, documentation.
#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QToolBar>
#include <QUrl>

#include "app/CControlDlg.h"
#include "app/CDriveView.h"
#include "app/CMainFrame.h"
#include "app/dialogs/CBorderDlg.h"
#include "app/dialogs/CCalibrationDlg.h"
#include "app/dialogs/CParamDlg.h"
#include "app/dialogs/CPositionDlg.h"
#include "app/dialogs/CSetComDlg.h"
#include "ball/BallSystem.h"
#include "ball/ui/CBallDlg.h"
#include "capture/CaptureSystem.h"
#include "commands/CommandTable.h"
#include "core/CommandIds.h"
#include "core/Messages.h"
#include "core/UiHost.h"
#include "device/CCarDevices.h"
#include "device/ComPortMap.h"
#include "editor/ProgramEditor.h"
#include "editor/ui/CommandToolbar.h"
#include "editor/ui/QtCommandDialogs.h"
#include "editor/ui/QtProgramFileDialogs.h"
#include "engine/CDriveSystem.h"
#include "engine/EngineFrames.h"
#include "layout/CourseLayout.h"
#include "program/ProgramFile.h"
#include "program/ProgramRunner.h"
#include "settings/Settings.h"
#include "simulation/Calibration.h"
#include "simulation/Simulator.h"
#include "sound/SoundSystem.h"
#include "sound/ui/CSoundDlg.h"
#include "sound/ui/SoundFileChooser.h"

namespace viren {
namespace {

QColor ToQColor(ColorRef c) {
  return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}
ColorRef FromQColor(const QColor& c) {
  return MakeColorRef(c.red(), c.green(), c.blue());
}

// Layout and car photographs: every picture format read, the bitmaps alone
// as the second choice.
const QString kPictureFilters =
    QString::fromUtf8("画像ファイル (*.bmp *.png *.jpg *.jpeg);;ﾋﾞｯﾄﾏｯﾌﾟﾌｧｲﾙ (*.bmp)");

}  // namespace

bool CMainFrame::OnWindowCommand(int id) {
  CDriveSystem& engine = view_->engine();
  if (const int port = ComPortOfCommand(id); port > 0 || id == ID_COM_NONE) {
    SelectComPort(port > 0 ? port : 0);
    return true;
  }
  switch (id) {
    case ID_COM_MORE: {
      // The dialog takes 10 and up: it opens at the port in use when that is
      // one of them, else at 10.
      // A cancelled dialog leaves the port as it was.
      const int current = engine.settings().ReadInt(keys::COM_NO);
      CSetComDlg dialog(current >= 10 ? current : 10, engine.ui(), this);
      if (dialog.exec() == QDialog::Accepted) SelectComPort(dialog.comNumber());
      return true;
    }
    case ID_PARAMETERS: {
      CParamDlg dialog(
          engine.settings(), engine.state(), engine.analyser(), engine.devices(), engine.layout(),
          engine.ui(), [this] { RebuildController(); }, this);
      dialog.exec();
      return true;
    }
    case ID_COURSE_RANGE: {
      CBorderDlg dialog(engine.layout(), engine.state(), this);
      connect(&dialog, &CBorderDlg::courseRangeChanged, view_, [this] {
        view_->engine().Start();
        view_->update();
      });
      dialog.exec();
      return true;
    }
    case ID_SOUND_SETTINGS: {
      QtSoundFileChooser chooser;
      CSoundDlg dialog(engine.sound(), engine.settings(), chooser, this);
      dialog.exec();
      return true;
    }
    case ID_BALL_LEARNING:
      delete ballDialog_;
      ballDialog_ = new CBallDlg(engine.ball(), QtPatternFileChooser(this), this);
      ballDialog_->show();
      return true;
    case ID_CAR_PHOTO_FILE:
    case ID_LAYOUT_PHOTO_FILE: {
      const bool car = id == ID_CAR_PHOTO_FILE;
      CourseLayout& layout = engine.layout();
      const QString initial =
          QString::fromStdString(car ? layout.CarFileDialogPath() : layout.LayoutFileDialogPath());
      const QString path = QFileDialog::getOpenFileName(this, {}, initial, kPictureFilters, nullptr,
                                                        QFileDialog::ReadOnly);
      if (path.isEmpty()) return true;
      if (car)
        layout.ChooseCarFile(path.toStdString());
      else
        layout.ChooseLayoutFile(path.toStdString());
      view_->update();
      return true;
    }
    case ID_CAR_COLOR:
    case ID_LAYOUT_COLOR: {
      const bool car = id == ID_CAR_COLOR;
      CourseLayout& layout = engine.layout();
      const QColor chosen =
          QColorDialog::getColor(ToQColor(car ? layout.carColor() : layout.layoutColor()), this);
      if (!chosen.isValid()) return true;
      if (car)
        layout.SetCarColor(FromQColor(chosen));
      else
        layout.SetLayoutColor(FromQColor(chosen));
      view_->update();
      return true;
    }
    case ID_DOCUMENTATION:
      ShowDocumentation();
      return true;
    case ID_EXPORT_PICTURE:
      ExportFlowchartPicture();
      return true;
    case ID_CALIBRATE:
      CalibrateSimulation();
      return true;
    default:
      return false;
  }
}

void CMainFrame::ExportFlowchartPicture() {
  if (view_->engine().state().viewMode != VIEW_PROGRAM) return;
  // Qt's own dialog, as for program files; the chosen type gives the name
  // its extension when none is typed.
  QFileDialog dialog(this);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  const QString png = QStringLiteral("PNG画像 (*.png)");
  const QString svg = QStringLiteral("SVG画像 (*.svg)");
  dialog.setNameFilters({png, svg});
  dialog.setDefaultSuffix(QStringLiteral("png"));
  connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, svg](const QString& filter) {
    dialog.setDefaultSuffix(filter == svg ? QStringLiteral("svg") : QStringLiteral("png"));
  });
  const std::string& program = view_->engine().programFiles().shownFile();
  if (!program.empty()) {
    const QFileInfo info(QString::fromStdString(program));
    dialog.setDirectory(info.absolutePath());
    dialog.selectFile(info.completeBaseName() + QStringLiteral(".png"));
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString path = dialog.selectedFiles().front();
  if (!view_->engine().editor().ExportPicture(path.toStdString()))
    QMessageBox::warning(this, windowTitle(),
                         QStringLiteral("画像を保存できませんでした。\n%1").arg(path));
}

namespace {

// The language the desktop shows its messages in, as the C library picks it:
// LC_ALL, LC_MESSAGES, then LANG; LANGUAGE's first entry stands over them
// unless that locale is C. Nothing set: Qt's idea of the system.
bool DesktopReadsJapanese() {
  QString locale;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    locale = qEnvironmentVariable(name);
    if (!locale.isEmpty()) break;
  }
  const QString first = qEnvironmentVariable("LANGUAGE").section(':', 0, 0);
  const bool plainC = locale == "C" || locale.startsWith("C.") || locale == "POSIX";
  if (!first.isEmpty() && !plainC) return first.startsWith("ja");
  if (!locale.isEmpty()) return locale.startsWith("ja");
  return QLocale::system().language() == QLocale::Japanese;
}

}  // namespace

void CMainFrame::ShowDocumentation() {
  CDriveSystem& engine = view_->engine();
  const QString folder = QString::fromStdString(engine.settings().moduleFolder() + "/doc/");
  // The guide in the desktop's language, else the other one (each links to the other).
  const bool japanese = DesktopReadsJapanese();
  QString path = folder + (japanese ? "index.ja.html" : "index.html");
  if (!QFileInfo::exists(path)) path = folder + (japanese ? "index.html" : "index.ja.html");
  QUrl target = QUrl::fromLocalFile(path);
  if (QFileInfo::exists(path)) {
    // The desktop's viewer gets a second chance before the failure is shown.
    if (QDesktopServices::openUrl(target)) return;
  } else {
    if (engine.ui().Message(MSG_DOCUMENTATION_MISSING, {}, MsgIcon::None, MsgButtons::YesNo) !=
        MsgAnswer::Yes)
      return;
    // The online address; without one configured the open below fails with MSG_HELP_FAILED.
    target = QUrl(QString::fromStdString(engine.settings().ReadString(keys::DOC_URL)));
  }
  if (target.isEmpty() || !QDesktopServices::openUrl(target))
    engine.ui().Message(MSG_HELP_FAILED, {}, MsgIcon::None, MsgButtons::Ok);
}

void CMainFrame::CalibrateSimulation() {
  CDriveSystem& engine = view_->engine();
  CalibrationRun run(engine.clock(), engine.devices().drive(), engine.carState());
  engine.frames().SetFrameObserver([&run] { run.OnFrame(); });
  const int stepMs = engine.simulator().settings().speedMs;
  run.Start();
  CCalibrationDlg dialog(run, stepMs, this);
  const bool keep = dialog.exec() == QDialog::Accepted;
  // Ended early (Cancel, Esc, closing) the run lets go of the car itself.
  run.Cancel();
  run.Wait();
  engine.frames().SetFrameObserver(nullptr);
  const CalibrationResult result = run.Result();
  if (!keep || !result.valid) return;
  if (!StoreCalibration(engine.settings(), result, stepMs)) return;  // the settings said why
  // The simulation reads its steps when it starts.
  const bool simulating = engine.state().simulating;
  if (simulating) engine.simulator().ToggleSimulation();
  engine.simulator().LoadSimulationSettings(engine.settings());
  if (simulating) engine.simulator().ToggleSimulation();
  engine.ui().SetStatusText(
      QStringLiteral("シミュレーションの車を較正しました: 速度 %1 px/秒、回転半径 %2 px")
          .arg(result.speed, 0, 'f', 1)
          .arg(result.radius(), 0, 'f', 1)
          .toStdString());
}

void CMainFrame::SelectComPort(int port) {
  CDriveSystem& engine = view_->engine();
  const std::string missing = MissingComDevice(engine.settings(), port);
  if (missing.empty()) {
    engine.devices().SelectComPort(port);
    return;
  }
  // The number is kept (the device may be plugged in later), but the user
  // learns which device was looked for, once, rather than why it failed to open.
  engine.devices().KeepComPortForLater(port);
  engine.ui().Message(MSG_PORT_HAS_NO_DEVICE, {std::to_string(port), missing}, MsgIcon::Exclamation,
                      MsgButtons::Ok);
}

void CMainFrame::RebuildController() {
  CDriveSystem& engine = view_->engine();
  if (engine.state().autoDriving) engine.runner().StopAutoDriving();
  CreateController();
}

void CMainFrame::ShowViewMenu(QPoint globalPosition) {
  QMenu menu(this);
  const CommandContext context = view_->engine().CommandContextNow();
  for (const MenuEntry& e : ViewMenu()) {
    const int id = e.id;
    QAction* action = menu.addAction(QString::fromUtf8(e.text));
    const CommandUpdate u = EvaluateCommand(id, context);
    action->setEnabled(u.enabled);
    action->setCheckable(true);
    action->setChecked(u.checked);
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
  }
  menu.exec(globalPosition);
}

namespace {

// The position window's OK and Cancel end the editor's position definition.
class EditorPositionOwner final : public PositionDefinitionOwner {
 public:
  explicit EditorPositionOwner(ProgramEditor& editor) : editor_(editor) {}
  void EndPositionDefinition(bool accept) override { editor_.EndPositionDefinition(accept); }

 private:
  ProgramEditor& editor_;
};

}  // namespace

void CMainFrame::CreateEditorWindows(UiHost& ui) {
  ProgramEditor& editor = view_->engine().editor();
  commandToolbar_ = CreateCommandToolbar(this, [this](int id) { OnCommand(id); });
  addToolBar(Qt::LeftToolBarArea, commandToolbar_);
  commandToolbar_->hide();
  commandDialogs_ = std::make_unique<QtCommandDialogs>(ui, this);
  commandDialogs_->SetSoundListEditor([this] {
    CDriveSystem& engine = view_->engine();
    QWidget* over = QApplication::activeModalWidget();
    QtSoundFileChooser chooser;
    CSoundDlg dialog(engine.sound(), engine.settings(), chooser, over ? over : this);
    dialog.exec();
    return engine.sound().soundCount();
  });
  positionOwner_ = std::make_unique<EditorPositionOwner>(editor);
  PositionDefinitionOwner* owner = positionOwner_.get();
  positionWindow_ = std::make_unique<QtPositionWindow>(
      [owner](QWidget* parent) {
        auto* dialog = new CPositionDlg(*owner, parent);
        dialog->Begin();
        return dialog;
      },
      [&editor](bool accept) { editor.EndPositionDefinition(accept); }, this);
  view_->engine().SetEditorDialogs(commandDialogs_.get(), positionWindow_.get());
  programFileDialogs_ = std::make_unique<QtProgramFileDialogs>(this);
  view_->engine().programFiles().SetDialogs(programFileDialogs_.get());
}

}  // namespace viren
