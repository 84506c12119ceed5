#pragma once
// "Подготовка отчета": counts the pages being formed, with a cancel button.
#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QPushButton;

namespace hv::report {

class ProgressWindow : public QDialog {
  Q_OBJECT
 public:
  explicit ProgressWindow(QWidget* parent = nullptr);
  // Shows the page being formed and lets the window react; false once the
  // user has cancelled.
  bool step(int pass, int page);
  bool cancelled() const { return cancelled_; }
  QPushButton* cancelButton() const { return cancel_; }
  QString pageText() const;

 protected:
  void reject() override;  // Esc and the close box cancel as the button does

 private:
  QLabel* label_;
  QPushButton* cancel_;
  QElapsedTimer sinceEvents_;
  bool cancelled_ = false;
};

}  // namespace hv::report
