#pragma once

#include <string_view>

#include <QIcon>

namespace moraven {

// The picture of an action's menu entry and tool button: the desktop icon theme's icon when the theme has
// one, else a picture of Qt's own style, so that no tool button is ever blank. An empty icon for actions
// that have no picture.
QIcon actionIcon(std::string_view actionName);

}  // namespace moraven
