#include "app/about.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "platform/version.h"

Tform6* AboutBox = nullptr;

namespace {
QFont sansSerif(int pixels, bool bold = false) {
  QFont f(QStringLiteral("MS Sans Serif"));
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}
}  // namespace

Tform6::Tform6(QWidget* parent) : QDialog(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("О программе"));
  setFixedSize(515, 151);
  StaticText1 = new QLabel(QStringLiteral("Hygrovan-RX3"), this);
  StaticText1->setFont(sansSerif(16, true));
  StaticText1->setGeometry(12, 12, 491, 24);
  StaticText3 = new QLabel(QStringLiteral("Версия 1.0"), this);
  StaticText3->setFont(sansSerif(13));
  StaticText3->setGeometry(12, 44, 491, 20);
  StaticText2 = new QLabel(QStringLiteral("Программа для передачи данных с прибора Hygrovan-RX3"), this);
  StaticText2->setFont(sansSerif(13));
  StaticText2->setGeometry(12, 70, 491, 20);
  Button1 = new QPushButton(QStringLiteral("Ок"), this);
  Button1->setFont(sansSerif(11));
  Button1->setGeometry(515 - 12 - 75, 151 - 12 - 25, 75, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
}

void Tform6::showEvent(QShowEvent* event) {
  FormShow();
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
  QDialog::showEvent(event);
}

// The version is read anew at every showing.
void Tform6::FormShow() {
  StaticText3->setText(QStringLiteral("Версия ") + hv::fileVersion(QCoreApplication::applicationFilePath()));
}
