#pragma once
// The about box (Tform6).
#include <QDialog>

class QLabel;
class QPushButton;

class Tform6 : public QDialog {
  Q_OBJECT
 public:
  explicit Tform6(QWidget* parent = nullptr);
  QLabel* StaticText1 = nullptr;
  QLabel* StaticText2 = nullptr;
  QLabel* StaticText3 = nullptr;
  QPushButton* Button1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
};

extern Tform6* AboutBox;
