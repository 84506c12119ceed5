#include "report/progress_window.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace hv::report {

ProgressWindow::ProgressWindow(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ReportProgress"));
  setWindowTitle(QStringLiteral("Подготовка отчета"));
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
  // The build runs on the one UI thread: let the window paint and the cancel
  // button work, but not so often that it slows the build.
  if (page == 1 || sinceEvents_.elapsed() >= 30) {
    QApplication::processEvents();
    sinceEvents_.restart();
  }
  return !cancelled_;
}

}  // namespace hv::report
