// Takes a picture of the whole screen of the display it runs on (e.g. an
// Xvfb display that a station runs on) after a delay:
//
//   vantrel-screen-grab <delay ms> <out.png>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: vantrel-screen-grab <delay ms> <out.png>\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[2]);
  int status = 1;
  QTimer::singleShot(std::atoi(argv[1]), &app, [&] {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen && screen->grabWindow(0).save(out)) status = 0;
    app.quit();
  });
  app.exec();
  return status;
}
