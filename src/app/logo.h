#pragma once
// The splash window (TForm5): a borderless picture for three seconds.
#include <QDialog>

class QLabel;
class QTimer;

class TForm5 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm5(QWidget* parent = nullptr);
  QTimer* Timer1 = nullptr;  // 3000 ms, started when shown
  QLabel* Image1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Timer1Timer();
};
