#pragma once

#include <QIcon>
#include <QImage>
#include <QSize>

namespace tavi {

// The application icon: a sheet of writing with a red mark, at any size. Draws no text, so
// it needs no running application.
QImage DrawAppIcon(int size);
// The application icon in the usual sizes.
QIcon AppIcon();

// The images of the toolbar buttons, 36 x 19 pixels each.
constexpr QSize kToolBarImageSize(36, 19);
// The image of a toolbar command; empty for a command without one.
QIcon ToolBarIcon(int command);

}  // namespace tavi
