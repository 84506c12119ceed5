#pragma once
// TForm4: the curve dialog. Created once at start-up; the boxes keep their
// state for the whole run.
#include <QDialog>

#include "graphs/chart_data.h"

class QCheckBox;
class QGroupBox;
class QPushButton;

class TForm4 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm4(QWidget* parent = nullptr);

  // The chosen curves: W = CheckBox6, Wmin = CheckBox7, Wmax = CheckBox1.
  hv::CurveChoice curves() const;

  // Closing by the close box (or Escape) gives mrCancel.
  void reject() override;

  void FormCreate();
  void FormShow();
  void CheckBox10Click();
  void Button1Click();

  QGroupBox* GroupBox1 = nullptr;
  QCheckBox* CheckBox6 = nullptr;
  QCheckBox* CheckBox7 = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QPushButton* Button1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
};
