#include "device/receive.h"

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

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setModal(true);
  setWindowTitle(QStringLiteral("Прием данных"));

  auto* layout = new QVBoxLayout(this);
  StaticText2 = new QLabel(QStringLiteral("Ожидание готовности прибора ..."), this);
  QFont bold = StaticText2->font();
  bold.setBold(true);
  StaticText2->setFont(bold);
  StaticText2->setAlignment(Qt::AlignCenter);
  layout->addWidget(StaticText2);

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  layout->addWidget(ProgressBar1);

  GroupBox1 = new QGroupBox(QStringLiteral("Информация"), this);
  auto* grid = new QGridLayout(GroupBox1);
  StaticText5 = new QLabel(GroupBox1);
  StaticText1 = new QLabel(GroupBox1);
  StaticText7 = new QLabel(GroupBox1);
  grid->addWidget(new QLabel(QStringLiteral("Тип прибора:"), GroupBox1), 0, 0);
  grid->addWidget(StaticText5, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Версия ПО:"), GroupBox1), 1, 0);
  grid->addWidget(StaticText1, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("Количество записей:"), GroupBox1), 2, 0);
  grid->addWidget(StaticText7, 2, 1);
  grid->setColumnStretch(1, 1);
  layout->addWidget(GroupBox1);

  Label1 = new QLabel(this);
  Label1->setAlignment(Qt::AlignCenter);
  layout->addWidget(Label1);

  Button1 = new QPushButton(QStringLiteral("Отмена"), this);
  Button1->setAutoDefault(false);
  layout->addWidget(Button1, 0, Qt::AlignHCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(Button1, &QPushButton::clicked, this, [this] { exchange_.cancel(); });
  connect(&exchange_, &hv::DownloadExchange::captionChanged, this, &QWidget::setWindowTitle);
  connect(&exchange_, &hv::DownloadExchange::statusTextChanged, this, [this](const QString& text) {
    StaticText2->setText(text);
    StaticText2->adjustSize();
  });
  connect(&exchange_, &hv::DownloadExchange::progressChanged, ProgressBar1, &QProgressBar::setValue);
  connect(&exchange_, &hv::DownloadExchange::modelNameChanged, StaticText5, &QLabel::setText);
  connect(&exchange_, &hv::DownloadExchange::versionChanged, StaticText1, &QLabel::setText);
  connect(&exchange_, &hv::DownloadExchange::countsChanged, StaticText7, &QLabel::setText);
  connect(&exchange_, &hv::DownloadExchange::searchTextChanged, this, [this](const QString& text) {
    Label1->setText(text);
    repaint();  // the search holds the message loop
  });
  connect(&exchange_, &hv::DownloadExchange::errorMessage, this, [this](const QString& caption, const QString& text) {
    hv::ui().message(this, caption, text, hv::MsgIcon::Error, hv::MsgButtons::Ok);
  });
  connect(&exchange_, &hv::DownloadExchange::finished, this, &TForm2::exchangeFinished);
}

TForm2::~TForm2() = default;

void TForm2::showEvent(QShowEvent* event) {
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

void TForm2::closeEvent(QCloseEvent* event) {
  // Only the end of the exchange closes the window.
  if (closing_) event->accept();
  else event->ignore();
}

void TForm2::exchangeFinished(int result) {
  exchange_.stop();
  closing_ = true;
  done(result);
  closing_ = false;
}
