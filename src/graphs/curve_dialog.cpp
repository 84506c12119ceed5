#include "graphs/curve_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "platform/ui.h"

namespace hv {

CurveDialog::CurveDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("CurveDialog"));
  setWindowTitle(QStringLiteral("Построение графиков"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setModal(true);
  setFixedSize(253, 180);

  curveBox_ = new QGroupBox(QStringLiteral("Выберете графики"), this);
  curveBox_->setGeometry(8, 8, 237, 121);
  wBox_ = new QCheckBox(curveCaption(Curve::W), curveBox_);
  wMinBox_ = new QCheckBox(curveCaption(Curve::WMin), curveBox_);
  wMaxBox_ = new QCheckBox(curveCaption(Curve::WMax), curveBox_);
  int top = 26;
  for (QCheckBox* box : {wBox_, wMinBox_, wMaxBox_}) {
    box->setGeometry(16, top, 200, 22);
    top += 30;
    box->setChecked(false);
    connect(box, &QCheckBox::toggled, this, [this] { updateBuildButton(); });
  }
  wBox_->setObjectName(QStringLiteral("wBox"));
  wMinBox_->setObjectName(QStringLiteral("wMinBox"));
  wMaxBox_->setObjectName(QStringLiteral("wMaxBox"));

  buildButton_ = new QPushButton(QStringLiteral("Построить"), this);
  buildButton_->setObjectName(QStringLiteral("buildButton"));
  buildButton_->setGeometry(width() - 8 - 91, height() - 8 - 25, 91, 25);
  buildButton_->setDefault(true);
  connect(buildButton_, &QPushButton::clicked, this, [this] { build(); });
  updateBuildButton();
}

CurveChoice CurveDialog::curves() const {
  return {wBox_->isChecked(), wMinBox_->isChecked(), wMaxBox_->isChecked()};
}

void CurveDialog::reject() {
  done(mrCancel);
}

void CurveDialog::updateBuildButton() {
  buildButton_->setEnabled(curves().any());
}

void CurveDialog::build() {
  done(curves().any() ? mrOk : mrCancel);
}

void CurveDialog::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
    updateBuildButton();
  }
  QDialog::showEvent(event);
}

}  // namespace hv
