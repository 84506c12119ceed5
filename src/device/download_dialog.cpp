#include "device/download_dialog.h"

#include <QCloseEvent>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/ui.h"

namespace hv {

DownloadDialog::DownloadDialog(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setModal(true);
  setWindowTitle(QStringLiteral("Прием данных"));

  auto* layout = new QVBoxLayout(this);
  statusLabel_ = new QLabel(QStringLiteral("Ожидание готовности прибора ..."), this);
  QFont bold = statusLabel_->font();
  bold.setBold(true);
  statusLabel_->setFont(bold);
  statusLabel_->setAlignment(Qt::AlignCenter);
  layout->addWidget(statusLabel_);

  progressBar_ = new QProgressBar(this);
  progressBar_->setRange(0, 100);
  progressBar_->setValue(0);
  progressBar_->setTextVisible(false);
  layout->addWidget(progressBar_);

  infoBox_ = new QGroupBox(QStringLiteral("Информация"), this);
  auto* grid = new QGridLayout(infoBox_);
  modelLabel_ = new QLabel(infoBox_);
  versionLabel_ = new QLabel(infoBox_);
  countsLabel_ = new QLabel(infoBox_);
  grid->addWidget(new QLabel(QStringLiteral("Тип прибора:"), infoBox_), 0, 0);
  grid->addWidget(modelLabel_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Версия ПО:"), infoBox_), 1, 0);
  grid->addWidget(versionLabel_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("Количество записей:"), infoBox_), 2, 0);
  grid->addWidget(countsLabel_, 2, 1);
  grid->setColumnStretch(1, 1);
  layout->addWidget(infoBox_);

  searchLabel_ = new QLabel(this);
  searchLabel_->setAlignment(Qt::AlignCenter);
  layout->addWidget(searchLabel_);

  cancelButton_ = new QPushButton(QStringLiteral("Отмена"), this);
  cancelButton_->setAutoDefault(false);
  layout->addWidget(cancelButton_, 0, Qt::AlignHCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(cancelButton_, &QPushButton::clicked, this, [this] { exchange_.cancel(); });
  connect(&exchange_, &DownloadExchange::captionChanged, this, &QWidget::setWindowTitle);
  connect(&exchange_, &DownloadExchange::statusTextChanged, this, [this](const QString& text) {
    statusLabel_->setText(text);
    statusLabel_->adjustSize();
  });
  connect(&exchange_, &DownloadExchange::progressChanged, progressBar_, &QProgressBar::setValue);
  connect(&exchange_, &DownloadExchange::modelNameChanged, modelLabel_, &QLabel::setText);
  connect(&exchange_, &DownloadExchange::versionChanged, versionLabel_, &QLabel::setText);
  connect(&exchange_, &DownloadExchange::countsChanged, countsLabel_, &QLabel::setText);
  connect(&exchange_, &DownloadExchange::searchTextChanged, this, [this](const QString& text) {
    searchLabel_->setText(text);
    repaint();  // the search holds the message loop
  });
  connect(&exchange_, &DownloadExchange::errorMessage, this, [this](const QString& caption, const QString& text) {
    ui().message(this, caption, text, MsgIcon::Error, MsgButtons::Ok);
  });
  connect(&exchange_, &DownloadExchange::finished, this, &DownloadDialog::exchangeFinished);
}

DownloadDialog::~DownloadDialog() = default;

void DownloadDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  // Centred on the desktop, not on the main window.
  if (const QScreen* screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  // Start after the window is up, so a result never arrives before exec() waits for it.
  QTimer::singleShot(0, this, [this] {
    if (isVisible()) exchange_.start();
  });
}

void DownloadDialog::closeEvent(QCloseEvent* event) {
  // Only the end of the exchange closes the window.
  if (closing_)
    event->accept();
  else
    event->ignore();
}

void DownloadDialog::exchangeFinished(int result) {
  exchange_.stop();
  closing_ = true;
  done(result);
  closing_ = false;
}

}  // namespace hv
