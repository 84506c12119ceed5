#include "app/splash_window.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include "app/pictures.h"

namespace hv {

SplashWindow::SplashWindow(QWidget* parent) : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setFixedSize(400, 77);
  picture_ = new QLabel(this);
  picture_->setGeometry(0, 0, 400, 78);
  picture_->setPixmap(splashPicture());
  timer_ = new QTimer(this);
  timer_->setSingleShot(true);
  // A coarse timer may fire up to 5% early; the splash stays its full time.
  timer_->setTimerType(Qt::PreciseTimer);
  timer_->setInterval(kShownMs);
  connect(timer_, &QTimer::timeout, this, [this] { done(QDialog::Accepted); });
}

void SplashWindow::showEvent(QShowEvent* event) {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect r = screen->availableGeometry();
    move(r.center() - QPoint(width() / 2, height() / 2));
  }
  QDialog::showEvent(event);
  timer_->start();
}

}  // namespace hv
