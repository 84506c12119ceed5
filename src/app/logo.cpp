#include "app/logo.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include "app/pictures.h"

TForm5::TForm5(QWidget* parent) : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setFixedSize(400, 77);
  Image1 = new QLabel(this);
  Image1->setGeometry(0, 0, 400, 78);
  Image1->setPixmap(hv::splashPicture());
  Timer1 = new QTimer(this);
  Timer1->setSingleShot(true);
  Timer1->setInterval(3000);
  connect(Timer1, &QTimer::timeout, this, &TForm5::Timer1Timer);
}

void TForm5::showEvent(QShowEvent* event) {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect r = screen->availableGeometry();
    move(r.center() - QPoint(width() / 2, height() / 2));
  }
  QDialog::showEvent(event);
  Timer1->start();
}

void TForm5::Timer1Timer() { done(QDialog::Accepted); }
