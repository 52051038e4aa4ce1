// Draws the station's pictures: the application icon at the sizes the desktop
// asks for and the small picture at the bottom right of the main window.
// Run by hand when the design changes (target vantrel-make-icons); the PNG
// files it writes are kept in this folder.
//
//   vantrel-make-icons <output folder>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

// A square of rounded corners in deep blue, a white label with bars, a QR
// finder in the top right corner and the red reading line across.
QImage DrawIcon(int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.scale(size / 256.0, size / 256.0);

  QLinearGradient back(0, 0, 0, 256);
  back.setColorAt(0, QColor(0x1f, 0x4e, 0x8c));
  back.setColorAt(1, QColor(0x10, 0x2a, 0x52));
  p.setPen(Qt::NoPen);
  p.setBrush(back);
  p.drawRoundedRect(QRectF(8, 8, 240, 240), 44, 44);

  // The label.
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(36, 52, 184, 152), 14, 14);

  // Bars (a fixed pattern of widths, read left to right).
  static const int widths[] = {3, 1, 2, 1, 1, 3, 2, 1, 1, 2, 3, 1, 1, 2, 1, 3};
  double x = 52;
  p.setBrush(QColor(0x11, 0x11, 0x11));
  bool dark = true;
  for (int w : widths) {
    const double px = w * 4.5;
    if (dark) p.drawRect(QRectF(x, 68, px, 120));
    x += px;
    dark = !dark;
  }

  // A finder pattern over the label's top right corner.
  const QRectF finder(160, 30, 66, 66);
  p.setBrush(Qt::white);
  p.drawRect(finder.adjusted(-6, -6, 6, 6));
  p.setBrush(QColor(0x11, 0x11, 0x11));
  p.drawRect(finder);
  p.setBrush(Qt::white);
  p.drawRect(finder.adjusted(9.4, 9.4, -9.4, -9.4));
  p.setBrush(QColor(0x11, 0x11, 0x11));
  p.drawRect(finder.adjusted(18.8, 18.8, -18.8, -18.8));

  // The reading line.
  QPen red(QColor(0xe5, 0x2b, 0x2b));
  red.setWidthF(10);
  red.setCapStyle(Qt::RoundCap);
  p.setPen(red);
  p.drawLine(QPointF(24, 132), QPointF(232, 132));
  p.end();
  return img;
}

// The bottom right picture: a strip of bars above the program's name.
QImage DrawCorner() {
  const int w = 120, h = 40;
  QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1f, 0x4e, 0x8c));
  static const int widths[] = {2, 1, 1, 2, 3, 1, 1, 1, 2, 2, 1, 3, 1, 1, 2, 1, 3, 2, 1, 1, 2, 1, 1, 3,
                               1, 2, 2, 1, 1, 1, 3, 2, 1, 2, 1, 1, 2};
  int x = 4;
  bool dark = true;
  for (int bw : widths) {
    if (x + bw * 2 > w - 4) break;
    if (dark) p.drawRect(QRect(x, 3, bw * 2, 14));
    x += bw * 2;
    dark = !dark;
  }
  QFont font(QStringLiteral("Sans"));
  font.setPixelSize(17);
  font.setBold(true);
  font.setLetterSpacing(QFont::AbsoluteSpacing, 2.0);
  p.setFont(font);
  p.setPen(QColor(0x1f, 0x4e, 0x8c));
  p.drawText(QRect(0, 18, w, h - 18), Qt::AlignCenter, QStringLiteral("VANTREL"));
  p.end();
  return img;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: vantrel-make-icons <output folder>\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  for (int size : {16, 32, 48, 64, 128, 256}) {
    if (!DrawIcon(size).save(folder + QStringLiteral("/vantrel-%1.png").arg(size))) return 1;
  }
  if (!DrawCorner().save(folder + QStringLiteral("/corner.png"))) return 1;
  return 0;
}
