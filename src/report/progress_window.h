#pragma once
// "Подготовка отчета": counts the pages being formed, with a cancel button.
// Printing and writing files show it too, under their own caption, counting
// the pages sent out of all of them.
#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QPushButton;

namespace hv::report {

class ProgressWindow : public QDialog {
  Q_OBJECT
 public:
  explicit ProgressWindow(QWidget* parent = nullptr,
                          const QString& caption = QStringLiteral("Подготовка отчета"));
  // Shows the page being formed and lets the window react; false once the
  // user has cancelled.
  bool step(int pass, int page);
  // "Страница N из M" for the page going out (done + 1) and lets the windows
  // react; false once the user has cancelled.
  bool pageOut(int done, int total);
  // "Строка N из M" of rows read; the same otherwise.
  bool rowsDone(int done, int total);
  bool cancelled() const { return cancelled_; }
  QPushButton* cancelButton() const { return cancel_; }
  QString pageText() const;

 protected:
  void reject() override;  // Esc and the close box cancel as the button does

 private:
  QLabel* label_;
  QPushButton* cancel_;
  void letWindowsReact(bool now);
  QElapsedTimer sinceEvents_;
  bool cancelled_ = false;
};

}  // namespace hv::report
