#include "graphs/param_graf.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "platform/ui.h"

TForm4::TForm4(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("CurveDialog"));
  setWindowTitle(QStringLiteral("Построение графиков"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setModal(true);
  setFixedSize(253, 180);

  GroupBox1 = new QGroupBox(QStringLiteral("Выберете графики"), this);
  GroupBox1->setGeometry(8, 8, 237, 121);
  CheckBox6 = new QCheckBox(hv::curveCaption(hv::Curve::W), GroupBox1);
  CheckBox7 = new QCheckBox(hv::curveCaption(hv::Curve::WMin), GroupBox1);
  CheckBox1 = new QCheckBox(hv::curveCaption(hv::Curve::WMax), GroupBox1);
  int top = 26;
  for (QCheckBox* box : {CheckBox6, CheckBox7, CheckBox1}) {
    box->setGeometry(16, top, 200, 22);
    top += 30;
    connect(box, &QCheckBox::toggled, this, [this] { CheckBox10Click(); });
  }
  CheckBox6->setObjectName(QStringLiteral("CheckBox6"));
  CheckBox7->setObjectName(QStringLiteral("CheckBox7"));
  CheckBox1->setObjectName(QStringLiteral("CheckBox1"));

  Button1 = new QPushButton(QStringLiteral("Построить"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(width() - 8 - 91, height() - 8 - 25, 91, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

  FormCreate();
}

hv::CurveChoice TForm4::curves() const {
  return {CheckBox6->isChecked(), CheckBox7->isChecked(), CheckBox1->isChecked()};
}

void TForm4::reject() { done(hv::mrCancel); }

void TForm4::FormCreate() {
  for (QCheckBox* box : {CheckBox6, CheckBox7, CheckBox1}) box->setChecked(false);
  CheckBox10Click();
}

void TForm4::FormShow() { CheckBox10Click(); }

void TForm4::CheckBox10Click() { Button1->setEnabled(curves().any()); }

void TForm4::Button1Click() { done(curves().any() ? hv::mrOk : hv::mrCancel); }

void TForm4::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
    FormShow();
  }
  QDialog::showEvent(event);
}
