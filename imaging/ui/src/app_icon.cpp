#include "vantrel/app_icon.h"

#include <QFile>

// A static library's resources are registered by hand, once, from outside
// any namespace (the registration function is a global one).
static void RegisterPictures() { Q_INIT_RESOURCE(vantrel_pictures); }

namespace vantrel::ui {

namespace {
void EnsureResources() {
  static const bool done = [] {
    RegisterPictures();
    return true;
  }();
  (void)done;
}
}  // namespace

QIcon ApplicationIcon() {
  EnsureResources();
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/vantrel/icons/vantrel-%1.png").arg(size), QSize(size, size));
  return icon;
}

QPixmap ApplicationPixmap(int size) { return ApplicationIcon().pixmap(size, size); }

QPixmap CornerPicture() {
  EnsureResources();
  return QPixmap(QStringLiteral(":/vantrel/icons/corner.png"));
}

}  // namespace vantrel::ui
