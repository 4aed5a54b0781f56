#include "app/CDriveView.h"

#include <QPaintEvent>

#include "engine/CDriveSystem.h"

namespace viren {

CDriveView::CDriveView(UiHost& ui, std::string moduleFolder, std::string commandLine,
                       QWidget* parent)
    : QWidget(parent),
      engine_(std::make_unique<CDriveSystem>(ui, std::move(moduleFolder), std::move(commandLine))) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::ArrowCursor);
  setAutoFillBackground(true);
}

CDriveView::~CDriveView() {
  engine_->Shutdown();
}

QSize CDriveView::sizeHint() const {
  return {engine_->state().clientWidth, engine_->state().clientHeight};
}

bool CDriveView::OnCommand(int commandId) {
  return engine_->OnCommand(commandId);
}

void CDriveView::paintEvent(QPaintEvent*) {
  engine_->Start();
}

}  // namespace viren
