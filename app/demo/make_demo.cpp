// Puts zint symbols into camera-sized frames for the demo replay: each symbol
// enlarged by a whole factor (nearest neighbour), centred on a light grey
// 640 x 480 frame with its name below. Run by make_demo.sh; the frames it
// writes are kept in this folder.
//
//   make_demo <symbol.png> <factor> <caption> <out.png>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 5) {
    std::fprintf(stderr, "usage: make_demo <symbol.png> <factor> <caption> <out.png>\n");
    return 2;
  }
  const QImage symbol(QString::fromLocal8Bit(argv[1]));
  const int factor = std::atoi(argv[2]);
  if (symbol.isNull() || factor < 1) return 1;
  const QImage big = symbol.convertToFormat(QImage::Format_RGB32)
                         .scaled(symbol.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
  QImage frame(640, 480, QImage::Format_RGB32);
  frame.fill(QColor(226, 226, 222));
  QPainter p(&frame);
  // A white card under the symbol, as a label on a box would be.
  const QRect card((640 - big.width()) / 2 - 24, (480 - big.height()) / 2 - 40, big.width() + 48,
                   big.height() + 80);
  p.fillRect(card, Qt::white);
  p.drawImage((640 - big.width()) / 2, (480 - big.height()) / 2 - 16, big);
  QFont font(QStringLiteral("Sans"));
  font.setPixelSize(16);
  p.setFont(font);
  p.setPen(QColor(90, 90, 90));
  p.drawText(QRect(card.left(), card.bottom() - 30, card.width(), 24), Qt::AlignCenter,
             QString::fromUtf8(argv[3]));
  p.end();
  return frame.save(QString::fromLocal8Bit(argv[4])) ? 0 : 1;
}
