#pragma once
// The print dialog: printer, copies, collation and the pages to print. With
// no printer installed it still offers printing to a PDF file.
#include <QDialog>
#include <QList>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace hv::report {

struct PrintChoice {
  QString printer;  // empty: print to a PDF file
  int copies = 1;
  bool collate = true;
  QList<int> pages;  // 1-based, in the order to print
};

class PrintDialog : public QDialog {
  Q_OBJECT
 public:
  // printers: the installed printers, the default one first (empty: none).
  PrintDialog(int pageCount, const QStringList& printers, QWidget* parent = nullptr);
  PrintChoice choice() const { return choice_; }

  static QString pdfEntryText() { return QStringLiteral("Печать в файл PDF"); }

 public slots:
  void accept() override;  // checks the page list first

 private:
  int pageCount_;
  QComboBox* printer_;
  QSpinBox* copies_;
  QCheckBox* collate_;
  QRadioButton* all_;
  QRadioButton* range_;
  QLineEdit* pages_;
  PrintChoice choice_;
};

}  // namespace hv::report
