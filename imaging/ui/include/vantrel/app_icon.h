// The station's own pictures, from the Qt resource of the kit: the
// application icon (resource 128) and the picture at the bottom right of the
// main window (resource 134).
#ifndef VANTREL_APP_ICON_H
#define VANTREL_APP_ICON_H

#include <QIcon>
#include <QPixmap>

namespace vantrel::ui {

QIcon ApplicationIcon();
// The icon at size x size pixels.
QPixmap ApplicationPixmap(int size);
QPixmap CornerPicture();

}  // namespace vantrel::ui

#endif
