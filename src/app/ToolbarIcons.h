#pragma once

#include <QIcon>

namespace viren {

// The 16 x 15 pictures of the main toolbar, drawn rather than shipped so they
// stay sharp and need no resource files.
QIcon ToolbarIcon(int commandId);

}  // namespace viren
