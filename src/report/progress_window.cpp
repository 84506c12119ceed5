#include "report/progress_window.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <chrono>
#include <exception>
#include <thread>

namespace hv::report {

ProgressWindow::ProgressWindow(QWidget* parent, const QString& caption) : QDialog(parent) {
  setObjectName(QStringLiteral("ReportProgress"));
  setWindowTitle(caption);
  setWindowModality(Qt::ApplicationModal);
  auto* layout = new QVBoxLayout(this);
  label_ = new QLabel(QStringLiteral("Страница 1"), this);
  label_->setMinimumWidth(240);
  label_->setAlignment(Qt::AlignCenter);
  cancel_ = new QPushButton(QStringLiteral("Отмена"), this);
  layout->addWidget(label_);
  layout->addWidget(cancel_, 0, Qt::AlignHCenter);
  connect(cancel_, &QPushButton::clicked, this, [this] { cancelled_ = true; });
  sinceEvents_.start();
}

void ProgressWindow::reject() { cancelled_ = true; }

QString ProgressWindow::pageText() const { return label_->text(); }

bool ProgressWindow::step(int pass, int page) {
  // Pass 1 forms the pages; pass 2 fills them. Counting once is enough for the user.
  if (pass == 1) label_->setText(QStringLiteral("Страница %1").arg(page));
  letWindowsReact(page == 1);
  return !cancelled_;
}

bool ProgressWindow::pageOut(int done, int total) {
  label_->setText(QStringLiteral("Страница %1 из %2").arg(std::min(done + 1, total)).arg(total));
  letWindowsReact(done == 0);
  return !cancelled_;
}

bool ProgressWindow::rowsDone(int done, int total) {
  label_->setText(text_ ? text_(done, total) : QStringLiteral("Строка %1 из %2").arg(done).arg(total));
  letWindowsReact(done == 0);
  return !cancelled_;
}

void ProgressWindow::runBeside(const std::function<void()>& work, const std::function<qint64()>& done, qint64 total,
                               std::atomic<bool>& stop) {
  std::exception_ptr failure;
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    finished = true;
  });
  show();
  while (!finished) {
    if (!rowsDone(int(done()), int(total))) stop = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  worker.join();
  if (failure) std::rethrow_exception(failure);
}

void ProgressWindow::letWindowsReact(bool now) {
  // The work runs on the one UI thread in steps of a page: let the windows
  // paint and the cancel button work, but not so often that it slows the work.
  if (now || sinceEvents_.elapsed() >= 30) {
    QApplication::processEvents();
    sinceEvents_.restart();
  }
}

}  // namespace hv::report
