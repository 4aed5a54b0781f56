#pragma once

#include <functional>
#include <span>

class QToolBar;
class QWidget;

namespace viren {

class ProgramEditor;

// The command toolbar's buttons, top to bottom: start, timer, car, handle,
// position, repeat, sound, end, ball.
std::span<const int> CommandToolbarButtons();

// The command toolbar "ｲﾍﾞﾝﾄ": a vertical column of 32 x 32 buttons with the
// command pictures, tool tips and status prompts, movable by its gripper,
// created hidden (the program view shows it). The window docks it at its
// left edge (addToolBar(Qt::LeftToolBarArea, bar)). A button calls
// `onCommand` with its command id; each action carries the id as data.
QToolBar* CreateCommandToolbar(QWidget* parent, std::function<void(int)> onCommand);

// Enables the buttons by the editor's rules (with the window's periodic
// update of its commands).
void UpdateCommandToolbar(QToolBar* toolbar, const ProgramEditor& editor);

}  // namespace viren
