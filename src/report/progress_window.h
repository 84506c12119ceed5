#pragma once
// "Подготовка отчета": counts the pages being formed, with a cancel button.
// Printing and writing files show it too, under their own caption, counting
// the pages sent out of all of them.
#include <QDialog>
#include <QElapsedTimer>
#include <atomic>
#include <functional>

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
  // Runs `work` on a thread of its own, shown, while the windows keep
  // answering: "Строка N из M" with N = done() and M = total. "Отмена" sets
  // `stop`, which the work is to heed. Returns when the work has ended,
  // rethrowing what it threw.
  void runBeside(const std::function<void()>& work, const std::function<qint64()>& done, qint64 total,
                 std::atomic<bool>& stop);
  // What rowsDone (and so runBeside) shows in place of "Строка N из M";
  // called on the window's thread, where it may also change the window.
  void setProgressText(const std::function<QString(qint64 done, qint64 total)>& text) { text_ = text; }
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
  std::function<QString(qint64, qint64)> text_;
};

}  // namespace hv::report
