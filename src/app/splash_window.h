#pragma once
// The splash window: a borderless picture for three seconds.
#include <QDialog>

class QLabel;
class QTimer;

namespace hv {

class SplashWindow : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kShownMs = 3000;

  explicit SplashWindow(QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QTimer* timer_ = nullptr;  // started when shown; ends the modal loop
  QLabel* picture_ = nullptr;
};

}  // namespace hv
