#include "app/pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace hv {
namespace {

void drawSheet(QPainter& p, const QColor& fill) {
  QPainterPath sheet;
  sheet.moveTo(4, 2);
  sheet.lineTo(14, 2);
  sheet.lineTo(19, 7);
  sheet.lineTo(19, 21);
  sheet.lineTo(4, 21);
  sheet.closeSubpath();
  p.setPen(QPen(QColor(60, 60, 60), 1));
  p.setBrush(fill);
  p.drawPath(sheet);
  p.drawLine(14, 2, 14, 7);
  p.drawLine(14, 7, 19, 7);
}

QPixmap picture(int index) {
  QPixmap pm(24, 24);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  switch (index) {
    case 0:  // new: a blank sheet with a star
      drawSheet(p, Qt::white);
      p.setPen(QPen(QColor(230, 160, 0), 2));
      p.drawLine(16, 14, 22, 20);
      p.drawLine(22, 14, 16, 20);
      break;
    case 1:  // open: a folder
      p.setPen(QPen(QColor(120, 90, 20), 1));
      p.setBrush(QColor(240, 200, 80));
      p.drawRect(2, 7, 20, 13);
      p.drawRect(2, 4, 8, 3);
      break;
    case 2:  // save: a floppy disk
      p.setPen(QPen(QColor(30, 40, 90), 1));
      p.setBrush(QColor(70, 90, 170));
      p.drawRect(3, 3, 18, 18);
      p.setBrush(Qt::white);
      p.drawRect(7, 3, 10, 7);
      p.setBrush(QColor(200, 200, 200));
      p.drawRect(6, 14, 12, 7);
      break;
    case 3:  // preview: a sheet and a magnifier
      drawSheet(p, Qt::white);
      p.setPen(QPen(QColor(40, 40, 40), 2));
      p.setBrush(QColor(180, 220, 255, 180));
      p.drawEllipse(QPointF(11, 13), 4.5, 4.5);
      p.drawLine(14, 16, 19, 21);
      break;
    case 4:  // print: a printer
      p.setPen(QPen(QColor(50, 50, 50), 1));
      p.setBrush(Qt::white);
      p.drawRect(7, 2, 10, 8);
      p.setBrush(QColor(150, 150, 150));
      p.drawRoundedRect(2, 9, 20, 9, 2, 2);
      p.setBrush(Qt::white);
      p.drawRect(7, 15, 10, 7);
      break;
    case 5:  // help: a question mark in a circle
      p.setPen(QPen(QColor(20, 70, 160), 1));
      p.setBrush(QColor(60, 120, 220));
      p.drawEllipse(2, 2, 20, 20);
      p.setPen(Qt::white);
      p.setFont(QFont(QStringLiteral("Liberation Sans"), 12, QFont::Bold));
      p.drawText(QRect(2, 2, 20, 20), Qt::AlignCenter, QStringLiteral("?"));
      break;
    default:  // delete: a red cross over a sheet
      drawSheet(p, Qt::white);
      p.setPen(QPen(QColor(200, 30, 30), 3));
      p.drawLine(7, 8, 17, 18);
      p.drawLine(17, 8, 7, 18);
      break;
  }
  return pm;
}

}  // namespace

QIcon commandPicture(int index) { return QIcon(picture(index)); }

QPixmap splashPicture() {
  QPixmap pm(400, 78);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 400, 78);
  g.setColorAt(0, QColor(24, 70, 120));
  g.setColorAt(1, QColor(40, 140, 110));
  p.fillRect(pm.rect(), g);
  // A stylised drop: the meter measures moisture.
  QPainterPath drop;
  drop.moveTo(38, 12);
  drop.cubicTo(52, 32, 58, 42, 58, 50);
  drop.arcTo(18, 30, 40, 40, 0, -180);
  drop.cubicTo(18, 42, 24, 32, 38, 12);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(170, 220, 255));
  p.drawPath(drop);
  p.setPen(Qt::white);
  p.setFont(QFont(QStringLiteral("Liberation Sans"), 24, QFont::Bold));
  p.drawText(QRect(80, 6, 310, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Hygrovan-RX3"));
  p.setFont(QFont(QStringLiteral("Liberation Sans"), 10));
  p.drawText(QRect(82, 44, 310, 24), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Обмен данными с влагомером"));
  return pm;
}

}  // namespace hv
