#include "editor/ui/CommandToolbar.h"

#include <QAction>
#include <QIcon>
#include <QPixmap>
#include <QToolBar>
#include <array>

#include "core/Messages.h"
#include "editor/EditorPictures.h"
#include "editor/ProgramEditor.h"
#include "editor/ui/DialogSupport.h"

namespace viren {
namespace {

constexpr std::array<int, 9> kButtons = {ID_INSERT_START,    ID_INSERT_TIMER,    ID_INSERT_CAR,
                                         ID_INSERT_STEERING, ID_INSERT_POSITION, ID_INSERT_REPEAT,
                                         ID_INSERT_SOUND,    ID_INSERT_END,      ID_INSERT_BALL};

// "status prompt\ntool tip" of the buttons the string table leaves without.
const char* OwnPrompt(int id) {
  switch (id) {
    case ID_INSERT_CAR:
      return "車操作を定義\n車操作";
    case ID_INSERT_STEERING:
      return "ハンドル操作を定義\nハンドル操作";
    case ID_INSERT_POSITION:
      return "車位置を定義\n車位置";
    case ID_INSERT_REPEAT:
      return "繰返し回数を定義\n繰返し";
    case ID_INSERT_BALL:
      return "ボール認識制御を定義\nボール認識制御";
    default:
      return "";
  }
}

}  // namespace

std::span<const int> CommandToolbarButtons() {
  return kButtons;
}

QToolBar* CreateCommandToolbar(QWidget* parent, std::function<void(int)> onCommand) {
  auto* bar = new QToolBar(Utf8(MessageText(MSG_EVENT_TOOLBAR)), parent);
  bar->setObjectName(QStringLiteral("commandToolbar"));
  bar->setOrientation(Qt::Vertical);
  bar->setIconSize(QSize(kIconSize, kIconSize));
  bar->setMovable(true);
  bar->setFloatable(true);
  bar->setAllowedAreas(Qt::AllToolBarAreas);
  const QImage strip = DrawIconStrip();
  for (size_t k = 0; k < kButtons.size(); ++k) {
    const int id = kButtons[k];
    // The string table holds "status prompt\ntool tip" for the buttons that have them.
    QString entry = Utf8(MessageText(id));
    if (entry.isEmpty()) entry = QString::fromUtf8(OwnPrompt(id));
    auto* action = new QAction(QIcon(QPixmap::fromImage(CommandPicture(strip, int(k) + 1))),
                               entry.section('\n', 1, 1), bar);
    action->setData(id);
    action->setObjectName(QStringLiteral("command%1").arg(id));
    if (!entry.isEmpty()) {
      action->setStatusTip(entry.section('\n', 0, 0));
      action->setToolTip(entry.section('\n', 1, 1));
    }
    QObject::connect(action, &QAction::triggered, bar, [onCommand, id] {
      if (onCommand) onCommand(id);
    });
    bar->addAction(action);
  }
  bar->hide();
  return bar;
}

void UpdateCommandToolbar(QToolBar* toolbar, const ProgramEditor& editor) {
  for (QAction* action : toolbar->actions()) {
    const int id = action->data().toInt();
    if (id != 0) action->setEnabled(editor.IsCommandEnabled(id));
  }
}

}  // namespace viren
