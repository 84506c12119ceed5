#include "app/about_box.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "platform/version.h"

namespace hv {

namespace {
QFont sansSerif(int pixels, bool bold = false) {
  QFont f(QStringLiteral("MS Sans Serif"));
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}
}  // namespace

AboutBox::AboutBox(QWidget* parent) : QDialog(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("О программе"));
  setFixedSize(515, 151);
  productLabel_ = new QLabel(QStringLiteral("Hygrovan-RX3"), this);
  productLabel_->setFont(sansSerif(16, true));
  productLabel_->setGeometry(12, 12, 491, 24);
  versionLabel_ = new QLabel(QStringLiteral("Версия 1.0"), this);
  versionLabel_->setFont(sansSerif(13));
  versionLabel_->setGeometry(12, 44, 491, 20);
  purposeLabel_ = new QLabel(QStringLiteral("Программа для передачи данных с прибора Hygrovan-RX3"), this);
  purposeLabel_->setFont(sansSerif(13));
  purposeLabel_->setGeometry(12, 70, 491, 20);
  okButton_ = new QPushButton(QStringLiteral("Ок"), this);
  okButton_->setFont(sansSerif(11));
  okButton_->setGeometry(515 - 12 - 75, 151 - 12 - 25, 75, 25);
  okButton_->setDefault(true);
  connect(okButton_, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
}

void AboutBox::showEvent(QShowEvent* event) {
  // The version is read anew at every showing.
  versionLabel_->setText(QStringLiteral("Версия ") + fileVersion(QCoreApplication::applicationFilePath()));
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
  QDialog::showEvent(event);
}

}  // namespace hv
