#pragma once
// "Оценка партии": the rows of one archive judged against a norm the user
// picks, with the figures, the verdicts, a histogram, and the protocol to
// print or save; and the editor of the norms, which live in the settings.
#include <QDialog>

#include "graphs/lot_protocol.h"

class QChart;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace hv {

class SettingsKey;

// One norm's fields; OK only when the norm makes sense.
class NormEditDialog : public QDialog {
  Q_OBJECT

 public:
  // taken: names of the other norms, which this one may not repeat.
  NormEditDialog(const LotNorm& norm, QStringList taken, QWidget* parent = nullptr);
  LotNorm norm() const { return norm_; }
  // Reads the fields; on a fault says it through the program's message box
  // and returns false, leaving the dialog open.
  bool take();
  void accept() override;

  QLineEdit* nameEdit() const { return name_; }
  QComboBox* archiveBox() const { return archive_; }
  // Fields in the order mean min, mean max, piece min, piece max, share, least count, margin.
  QLineEdit* numberEdit(int i) const { return numbers_[i]; }
  QPlainTextEdit* basisEdit() const { return basis_; }

 private:
  LotNorm norm_;
  QStringList taken_;
  QLineEdit* name_ = nullptr;
  QComboBox* archive_ = nullptr;
  QLineEdit* numbers_[7] = {};
  QPlainTextEdit* basis_ = nullptr;
};

class LotDialog : public QDialog {
  Q_OBJECT

 public:
  // settings: open, outliving the dialog; the norms are kept there.
  LotDialog(SettingsKey& settings, QWidget* parent = nullptr);

  // Loads the norms (saying which stored ones are refused), judges the rows
  // and shows the dialog modally.
  int assess(const LotSubject& subject);
  // The same without showing: for assess() and the tests.
  void prepare(const LotSubject& subject);

  // Picks the norm of that name among those of the archive; false when absent.
  bool selectNorm(const QString& name);
  const QList<LotNorm>& norms() const { return norms_; }
  const LotResult& result() const { return result_; }
  // The protocol of what the dialog shows now; printed: its date of printing.
  report::BuiltReport protocol(const QDateTime& printed) const;

  // The commands of the buttons.
  void addNorm();
  void copyNorm();
  void editNorm();
  void deleteNorm();
  void printProtocol();
  void saveProtocolPdf();

  QComboBox* normBox() const { return normBox_; }
  QLabel* verdictLabel() const { return verdict_; }
  QTableWidget* figuresTable() const { return figures_; }
  QTableWidget* criteriaTable() const { return criteria_; }
  QLabel* factsLabel() const { return facts_; }
  QChart* histogram() const { return chart_; }

 private:
  const LotNorm* currentNorm() const;
  void fillNormBox(const QString& select);
  void judge();
  // Runs the norm editor; true with *norm changed when the user confirmed.
  bool editInDialog(LotNorm* norm, const QString& keepName);
  void storeAll();

  SettingsKey& settings_;
  QList<LotNorm> norms_;      // every norm, of all archives
  QStringList refusedTexts_;  // stored norms refused at loading, kept as they are
  LotSubject subject_;
  LotResult result_;
  bool judged_ = false;
  QComboBox* normBox_ = nullptr;
  QLabel* normText_ = nullptr;
  QTableWidget* figures_ = nullptr;
  QTableWidget* criteria_ = nullptr;
  QLabel* verdict_ = nullptr;
  QLabel* facts_ = nullptr;
  QChart* chart_ = nullptr;
  QPushButton* copyButton_ = nullptr;
  QPushButton* editButton_ = nullptr;
  QPushButton* deleteButton_ = nullptr;
  QPushButton* printButton_ = nullptr;
  QPushButton* pdfButton_ = nullptr;
};

}  // namespace hv
