#include "report/print_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "platform/ui.h"
#include "report/report_pages.h"

namespace hv::report {

PrintDialog::PrintDialog(int pageCount, const QStringList& printers, QWidget* parent)
    : QDialog(parent), pageCount_(pageCount) {
  setObjectName(QStringLiteral("ReportPrintDialog"));
  setWindowTitle(QStringLiteral("Печать"));
  auto* layout = new QVBoxLayout(this);

  auto* printerBox = new QGroupBox(QStringLiteral("Принтер"), this);
  auto* pl = new QVBoxLayout(printerBox);
  printer_ = new QComboBox(printerBox);
  printer_->setObjectName(QStringLiteral("printer"));
  printer_->addItems(printers);
  printer_->addItem(pdfEntryText());
  pl->addWidget(printer_);
  if (printers.isEmpty()) {
    auto* note = new QLabel(QStringLiteral("Принтеры не установлены. Отчет можно напечатать в файл PDF."), printerBox);
    note->setObjectName(QStringLiteral("noPrinterNote"));
    note->setWordWrap(true);
    pl->addWidget(note);
  }
  layout->addWidget(printerBox);

  auto* pagesBox = new QGroupBox(QStringLiteral("Страницы"), this);
  auto* gl = new QVBoxLayout(pagesBox);
  all_ = new QRadioButton(QStringLiteral("Все"), pagesBox);
  all_->setObjectName(QStringLiteral("allPages"));
  all_->setChecked(true);
  auto* rl = new QHBoxLayout;
  range_ = new QRadioButton(QStringLiteral("Страницы:"), pagesBox);
  range_->setObjectName(QStringLiteral("pageRange"));
  pages_ = new QLineEdit(pagesBox);
  pages_->setObjectName(QStringLiteral("pages"));
  pages_->setPlaceholderText(QStringLiteral("1,3,5-12"));
  rl->addWidget(range_);
  rl->addWidget(pages_);
  gl->addWidget(all_);
  gl->addLayout(rl);
  auto* hint = new QLabel(QStringLiteral("Номера страниц и диапазоны через запятую, например 1,3,5-12"), pagesBox);
  hint->setWordWrap(true);
  gl->addWidget(hint);
  connect(pages_, &QLineEdit::textEdited, this, [this] { range_->setChecked(true); });
  layout->addWidget(pagesBox);

  auto* copiesBox = new QGroupBox(QStringLiteral("Копии"), this);
  auto* cl = new QFormLayout(copiesBox);
  copies_ = new QSpinBox(copiesBox);
  copies_->setObjectName(QStringLiteral("copies"));
  copies_->setRange(1, 999);
  copies_->setValue(1);
  collate_ = new QCheckBox(QStringLiteral("Разобрать по копиям"), copiesBox);
  collate_->setObjectName(QStringLiteral("collate"));
  collate_->setChecked(true);
  cl->addRow(QStringLiteral("Число копий:"), copies_);
  cl->addRow(collate_);
  layout->addWidget(copiesBox);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
  connect(buttons, &QDialogButtonBox::accepted, this, &PrintDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &PrintDialog::reject);
  layout->addWidget(buttons);
}

void PrintDialog::accept() {
  PrintChoice c;
  QString error;
  c.pages = parsePageRanges(range_->isChecked() ? pages_->text() : QString(), pageCount_, &error);
  if (c.pages.isEmpty()) {
    ui().message(this, QStringLiteral("Ошибка"), error, MsgIcon::Error, MsgButtons::Ok);
    pages_->setFocus();
    return;
  }
  c.printer = printer_->currentIndex() == printer_->count() - 1 ? QString() : printer_->currentText();
  c.copies = copies_->value();
  c.collate = collate_->isChecked();
  choice_ = c;
  QDialog::accept();
}

}  // namespace hv::report
