#include "ui/KorvaneArt.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "config/Product.h"

namespace korvane {
namespace {

// A chip with pins and a rising bar chart on it: "inventory" and "benchmark" in one mark.
void PaintMark(QPainter& p, const QRectF& r) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const double s = r.width() / 64.0;
  p.translate(r.topLeft());
  p.scale(s, s);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(62, 88, 20));
  for (int i = 0; i < 4; ++i) {
    const double o = 14 + i * 10;
    p.drawRect(QRectF(o, 2, 4, 8));
    p.drawRect(QRectF(o, 54, 4, 8));
    p.drawRect(QRectF(2, o, 8, 4));
    p.drawRect(QRectF(54, o, 8, 4));
  }
  QLinearGradient g(0, 8, 0, 56);
  g.setColorAt(0, QColor(160, 200, 72));
  g.setColorAt(1, QColor(96, 134, 34));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(8, 8, 48, 48), 7, 7);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(17, 36, 7, 12));
  p.drawRect(QRectF(28.5, 28, 7, 20));
  p.drawRect(QRectF(40, 18, 7, 30));
  p.restore();
}

}  // namespace

QIcon KorvaneIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    PaintMark(p, QRectF(0, 0, size, size));
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

QPixmap HeaderLeftPicture() {
  QPixmap pm(300, 196);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 300, 0);
  g.setColorAt(0, QColor(88, 124, 30));
  g.setColorAt(1, QColor(128, 166, 56, 0));
  p.fillRect(QRect(0, 0, 300, 69), g);
  // The tab strip covers y 43..69, so the mark and the name stay above it.
  PaintMark(p, QRectF(8, 3, 36, 36));
  QFont f = p.font();
  f.setPixelSize(22);
  f.setBold(true);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRect(50, 1, 240, 26), Qt::AlignLeft | Qt::AlignVCenter, QLatin1String(kProductName));
  f.setPixelSize(11);
  f.setBold(false);
  p.setFont(f);
  p.setPen(QColor(235, 245, 215));
  p.drawText(QRect(52, 26, 200, 14), Qt::AlignLeft | Qt::AlignVCenter, QLatin1String(kProductVersion));
  return pm;
}

QPixmap HeaderRightPicture() {
  QPixmap pm(347, 69);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  // Thin circuit traces fading in from the left.
  for (int i = 0; i < 5; ++i) {
    QPainterPath path;
    const double y = 10 + i * 11;
    path.moveTo(40 + i * 25, y);
    path.lineTo(220 + i * 8, y);
    path.lineTo(240 + i * 8, y + 6);
    path.lineTo(347, y + 6);
    p.setPen(QPen(QColor(230, 242, 205, 60 + i * 25), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setBrush(QColor(230, 242, 205, 90 + i * 25));
    p.drawEllipse(QPointF(40 + i * 25, y), 2.5, 2.5);
  }
  return pm;
}

}  // namespace korvane
