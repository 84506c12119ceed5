#include "graphs/lot_dialog.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "platform/error.h"
#include "platform/regional.h"
#include "platform/settings.h"
#include "platform/ui.h"
#include "report/report_ui.h"

namespace hv {

namespace {

const QString kCaption = QStringLiteral("Оценка партии");

QString shownNumber(const std::optional<double>& v) {
  return v ? formatFigure(*v, decimalSeparator(), 4) : QString();
}

// A number typed with the user's separator or a point; blank is "not set".
bool readNumber(const QString& text, std::optional<double>* out) {
  const QByteArray utf8 = text.trimmed().toUtf8();
  if (utf8.isEmpty()) {
    *out = std::nullopt;
    return true;
  }
  const std::string_view view(utf8.constData(), size_t(utf8.size()));
  *out = tryParseRegionalFloat(view, decimalSeparator());
  if (!*out) *out = tryParseRegionalFloat(view, QChar('.'));
  return out->has_value();
}

QTableWidget* makeTable(const QStringList& headers, QWidget* parent) {
  auto* t = new QTableWidget(0, int(headers.size()), parent);
  t->setHorizontalHeaderLabels(headers);
  t->verticalHeader()->hide();
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->setSelectionMode(QAbstractItemView::NoSelection);
  t->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  return t;
}

void setRow(QTableWidget* t, int row, const QStringList& texts) {
  if (t->rowCount() <= row) t->setRowCount(row + 1);
  for (int c = 0; c < texts.size(); ++c) t->setItem(row, c, new QTableWidgetItem(texts[c]));
}

void fillHistogramChart(QChart* chart, const Histogram& h, const LotNorm* norm) {
  chart->removeAllSeries();
  for (QAbstractAxis* axis : chart->axes()) {
    chart->removeAxis(axis);
    delete axis;
  }
  if (h.counts.isEmpty()) return;
  auto* top = new QLineSeries;
  auto* base = new QLineSeries;
  int most = 1;
  top->append(h.start, 0);
  for (int i = 0; i < h.counts.size(); ++i) {
    top->append(h.start + i * h.width, h.counts[i]);
    top->append(h.start + (i + 1) * h.width, h.counts[i]);
    most = std::max(most, h.counts[i]);
  }
  top->append(h.end(), 0);
  base->append(h.start, 0);
  base->append(h.end(), 0);
  auto* bars = new QAreaSeries(top, base);
  bars->setName(QStringLiteral("Число измерений"));
  bars->setColor(QColor(120, 160, 210));
  bars->setBorderColor(QColor(40, 70, 120));
  auto* x = new QValueAxis;
  x->setRange(h.start, h.end());
  x->setTitleText(QStringLiteral("W, %"));
  auto* y = new QValueAxis;
  y->setRange(0, most + 1);
  y->setLabelFormat(QStringLiteral("%d"));
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  chart->addSeries(bars);
  bars->attachAxis(x);
  bars->attachAxis(y);
  if (!norm) return;
  auto mark = [&](std::optional<double> v, const QString& name, const QPen& pen, bool first) {
    if (!v) return;
    auto* line = new QLineSeries;
    line->setName(name);
    line->setPen(pen);
    line->append(*v, 0);
    line->append(*v, most + 1);
    chart->addSeries(line);
    line->attachAxis(x);
    line->attachAxis(y);
    if (!first)
      for (QLegendMarker* m : chart->legend()->markers(line)) m->setVisible(false);
  };
  const PieceRange piece = pieceRange(*norm);
  const QString pieceName = QStringLiteral("Границы для отдельного значения");
  const QString meanName = QStringLiteral("Границы среднего");
  const QPen piecePen(QColor(200, 30, 30), 2);
  QPen meanPen(QColor(30, 120, 30), 2);
  meanPen.setStyle(Qt::DashLine);
  mark(piece.lower, pieceName, piecePen, true);
  mark(piece.upper, pieceName, piecePen, !piece.lower);
  mark(judgedMeanMin(*norm), meanName, meanPen, true);
  mark(judgedMeanMax(*norm), meanName, meanPen, !judgedMeanMin(*norm));
}

}  // namespace

// ---------------------------------------------------------------- the norm editor

NormEditDialog::NormEditDialog(const LotNorm& norm, QStringList taken, QWidget* parent)
    : QDialog(parent), norm_(norm), taken_(std::move(taken)) {
  setObjectName(QStringLiteral("NormEditDialog"));
  setWindowTitle(QStringLiteral("Норма"));
  auto* form = new QFormLayout;
  name_ = new QLineEdit(norm.name, this);
  form->addRow(QStringLiteral("Название:"), name_);
  archive_ = new QComboBox(this);
  for (ArchiveKind kind : kArchiveKinds) archive_->addItem(archiveCaption(kind));
  archive_->setCurrentIndex(archiveNumber(norm.archive));
  form->addRow(QStringLiteral("Архив:"), archive_);
  const std::optional<double> count = norm.minCount ? std::optional<double>(*norm.minCount) : std::nullopt;
  const std::optional<double> values[7] = {norm.meanMin, norm.meanMax, norm.pieceMin, norm.pieceMax,
                                           norm.share,   count,        norm.margin};
  const QString labels[7] = {QStringLiteral("Среднее не ниже, %:"),
                             QStringLiteral("Среднее не выше, %:"),
                             QStringLiteral("Отдельное значение не ниже, %:"),
                             QStringLiteral("Отдельное значение не выше, %:"),
                             QStringLiteral("Доля в пределах не менее, %:"),
                             QStringLiteral("Наименьшее число измерений:"),
                             QStringLiteral("Запас на погрешность, п. п.:")};
  for (int i = 0; i < 7; ++i) {
    numbers_[i] = new QLineEdit(shownNumber(values[i]), this);
    numbers_[i]->setPlaceholderText(i == 6 ? QStringLiteral("0") : QStringLiteral("не задано"));
    form->addRow(labels[i], numbers_[i]);
  }
  basis_ = new QPlainTextEdit(norm.basis, this);
  basis_->setFixedHeight(70);
  form->addRow(QStringLiteral("Основание:"), basis_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("ОК"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  resize(460, sizeHint().height());
}

bool NormEditDialog::take() {
  LotNorm n;
  n.name = name_->text().trimmed();
  n.archive = archiveKindAt(std::clamp(archive_->currentIndex(), 0, 2));
  n.basis = basis_->toPlainText().trimmed();
  std::optional<double> v[7];
  QString problem;
  for (int i = 0; i < 7 && problem.isEmpty(); ++i) {
    if (!readNumber(numbers_[i]->text(), &v[i]))
      problem = QStringLiteral("«%1» — не число").arg(numbers_[i]->text().trimmed());
  }
  if (problem.isEmpty()) {
    n.meanMin = v[0];
    n.meanMax = v[1];
    n.pieceMin = v[2];
    n.pieceMax = v[3];
    n.share = v[4];
    if (v[5] && (*v[5] != std::floor(*v[5]) || *v[5] < 1 || *v[5] > 1e9))
      problem = QStringLiteral("наименьшее число измерений должно быть целым и не меньше 1");
    else if (v[5])
      n.minCount = int(*v[5]);
    n.margin = v[6].value_or(0);
  }
  if (problem.isEmpty()) problem = normProblem(n);
  if (problem.isEmpty() && taken_.contains(n.name)) problem = QStringLiteral("норма с таким названием уже есть");
  if (!problem.isEmpty()) {
    ui().message(this, QStringLiteral("Норма"), QStringLiteral("Норма не сохранена: %1.").arg(problem),
                 MsgIcon::Error, MsgButtons::Ok);
    return false;
  }
  norm_ = n;
  return true;
}

void NormEditDialog::accept() {
  if (take()) QDialog::accept();
}

// ---------------------------------------------------------------- the assessment

LotDialog::LotDialog(SettingsKey& settings, QWidget* parent) : QDialog(parent), settings_(settings) {
  setObjectName(QStringLiteral("LotDialog"));
  setWindowTitle(kCaption);
  setSizeGripEnabled(true);
  resize(900, 680);

  normBox_ = new QComboBox(this);
  normBox_->setObjectName(QStringLiteral("normBox"));
  normBox_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  auto* add = new QPushButton(QStringLiteral("Добавить..."), this);
  copyButton_ = new QPushButton(QStringLiteral("Копировать..."), this);
  editButton_ = new QPushButton(QStringLiteral("Изменить..."), this);
  deleteButton_ = new QPushButton(QStringLiteral("Удалить"), this);
  connect(add, &QPushButton::clicked, this, [this] { runCommand([this] { addNorm(); }); });
  connect(copyButton_, &QPushButton::clicked, this, [this] { runCommand([this] { copyNorm(); }); });
  connect(editButton_, &QPushButton::clicked, this, [this] { runCommand([this] { editNorm(); }); });
  connect(deleteButton_, &QPushButton::clicked, this, [this] { runCommand([this] { deleteNorm(); }); });
  connect(normBox_, &QComboBox::currentIndexChanged, this, [this] {
    if (judged_) runCommand([this] { judge(); });
  });
  auto* normRow = new QHBoxLayout;
  normRow->addWidget(new QLabel(QStringLiteral("Норма:"), this));
  normRow->addWidget(normBox_, 1);
  for (QPushButton* b : {add, copyButton_, editButton_, deleteButton_}) normRow->addWidget(b);

  normText_ = new QLabel(this);
  normText_->setWordWrap(true);
  figures_ = makeTable({QStringLiteral("Показатель"), QStringLiteral("Значение")}, this);
  figures_->setObjectName(QStringLiteral("figuresTable"));
  criteria_ = makeTable(
      {QStringLiteral("Критерий"), QStringLiteral("Граница"), QStringLiteral("Значение"), QStringLiteral("Вывод")},
      this);
  criteria_->setObjectName(QStringLiteral("criteriaTable"));
  verdict_ = new QLabel(this);
  verdict_->setObjectName(QStringLiteral("verdictLabel"));
  QFont big = verdict_->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.3);
  verdict_->setFont(big);
  facts_ = new QLabel(this);
  facts_->setObjectName(QStringLiteral("factsLabel"));
  facts_->setWordWrap(true);

  chart_ = new QChart;
  chart_->setTitle(QStringLiteral("Распределение значений"));
  auto* chartView = new QChartView(chart_, this);
  chartView->setRenderHint(QPainter::Antialiasing);
  chartView->setMinimumHeight(240);

  printButton_ = new QPushButton(QStringLiteral("Печать"), this);
  pdfButton_ = new QPushButton(QStringLiteral("Сохранить в PDF..."), this);
  auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
  connect(printButton_, &QPushButton::clicked, this, [this] { runCommand([this] { printProtocol(); }); });
  connect(pdfButton_, &QPushButton::clicked, this, [this] { runCommand([this] { saveProtocolPdf(); }); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch(1);
  for (QPushButton* b : {printButton_, pdfButton_, close}) {
    b->setAutoDefault(false);
    buttonRow->addWidget(b);
  }

  auto* tables = new QHBoxLayout;
  tables->addWidget(figures_, 2);
  tables->addWidget(criteria_, 3);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(normRow);
  layout->addWidget(normText_);
  layout->addLayout(tables, 1);
  layout->addWidget(verdict_);
  layout->addWidget(chartView, 2);
  layout->addWidget(facts_);
  layout->addLayout(buttonRow);
}

int LotDialog::assess(const LotSubject& subject) {
  if (!runCommand([&] { prepare(subject); })) return mrCancel;
  return exec();
}

void LotDialog::prepare(const LotSubject& subject) {
  if (subject.rows.isEmpty())
    throw Error(QStringLiteral("В архиве «%1» нет строк для оценки").arg(archiveCaption(subject.archive)));
  const StoredNorms stored = loadNorms(settings_);
  norms_ = stored.norms;
  refusedTexts_ = stored.refusedTexts;
  if (!stored.refused.isEmpty())
    ui().message(this, kCaption, stored.refused.join(QChar('\n')), MsgIcon::Warning, MsgButtons::Ok);
  subject_ = subject;
  setWindowTitle(kCaption + QStringLiteral(" — ") + lotRowsCaption(subject));
  judged_ = false;
  fillNormBox(QString());
  judge();
  judged_ = true;
}

const LotNorm* LotDialog::currentNorm() const {
  const QString name = normBox_->currentText();
  for (const LotNorm& n : norms_)
    if (n.archive == subject_.archive && n.name == name && normBox_->currentIndex() >= 0) return &n;
  return nullptr;
}

bool LotDialog::selectNorm(const QString& name) {
  const int i = normBox_->findText(name);
  if (i < 0) return false;
  normBox_->setCurrentIndex(i);
  return true;
}

void LotDialog::fillNormBox(const QString& select) {
  const bool was = judged_;
  judged_ = false;  // one judging after the list is filled, not one per item
  normBox_->clear();
  for (const LotNorm& n : norms_)
    if (n.archive == subject_.archive) normBox_->addItem(n.name);
  if (!select.isEmpty()) selectNorm(select);
  judged_ = was;
}

void LotDialog::judge() {
  const LotNorm* norm = currentNorm();
  const QChar sep = decimalSeparator();
  // With no norm the figures still show; there is nothing to judge.
  result_ = evaluateLot(subject_, norm ? *norm : LotNorm{});
  const SelectionFigures& f = result_.assessment.figures;
  const QString dash = QStringLiteral("—");
  if (norm) {
    QStringList parts;
    if (norm->meanMin || norm->meanMax)
      parts << QStringLiteral("среднее %1–%2 %")
                   .arg(norm->meanMin ? formatFigure(*norm->meanMin, sep) : QStringLiteral("…"),
                        norm->meanMax ? formatFigure(*norm->meanMax, sep) : QStringLiteral("…"));
    if (norm->pieceMin || norm->pieceMax)
      parts << QStringLiteral("отдельное значение %1–%2 %")
                   .arg(norm->pieceMin ? formatFigure(*norm->pieceMin, sep) : QStringLiteral("…"),
                        norm->pieceMax ? formatFigure(*norm->pieceMax, sep) : QStringLiteral("…"));
    if (norm->margin > 0) parts << QStringLiteral("запас %1 п. п.").arg(formatFigure(norm->margin, sep));
    normText_->setText(parts.join(QStringLiteral("; ")) + QStringLiteral(". Основание: ") +
                       (norm->basis.isEmpty() ? QStringLiteral("не указано") : norm->basis));
  } else {
    normText_->setText(QStringLiteral("Норм для архива «%1» нет: добавьте норму.").arg(archiveCaption(subject_.archive)));
  }
  const bool range = norm && pieceRange(*norm).any();
  figures_->setRowCount(0);
  const QList<std::pair<QString, QString>> rows = {
      {QStringLiteral("Число измерений n"), QString::number(f.n)},
      {QStringLiteral("Среднее, %"), f.n ? formatFigure(f.mean, sep) : dash},
      {QStringLiteral("Стандартное отклонение σ, п. п."), std::isnan(f.sd) ? dash : formatFigure(f.sd, sep)},
      {QStringLiteral("Наименьшее, %"), f.n ? formatFigure(f.min, sep) : dash},
      {QStringLiteral("Наибольшее, %"), f.n ? formatFigure(f.max, sep) : dash},
      {QStringLiteral("Доля в пределах, %"), range && f.n ? formatFigure(f.insideShare(), sep, 1) : dash},
  };
  for (int i = 0; i < rows.size(); ++i) setRow(figures_, i, {rows[i].first, rows[i].second});
  criteria_->setRowCount(0);
  if (norm) {
    for (int i = 0; i < result_.assessment.criteria.size(); ++i) {
      const Criterion& c = result_.assessment.criteria[i];
      const bool count = c.kind == CriterionKind::MinCount;
      setRow(criteria_, i,
             {criterionCaption(c.kind), count ? QString::number(int(c.limit)) : formatFigure(c.limit, sep),
              count ? QString::number(int(c.value)) : (f.n ? formatFigure(c.value, sep) : dash),
              c.passed ? QStringLiteral("выполнен") : QStringLiteral("не выполнен")});
    }
    verdict_->setText(QStringLiteral("Заключение: ") + verdictText(result_.assessment.verdict));
  } else {
    verdict_->setText(QStringLiteral("Заключение: норма не выбрана"));
  }
  facts_->setText(
      QStringLiteral("Материалы: %1. Период: %2. Серий, учтённых по середине диапазона: %3. Строк без значения "
                     "(пропущено): %4.")
          .arg(result_.materials.isEmpty() ? QStringLiteral("не указаны") : result_.materials.join(QStringLiteral(", ")),
               result_.firstDate.isEmpty() ? QStringLiteral("не указан")
                                           : result_.firstDate + QStringLiteral(" – ") + result_.lastDate)
          .arg(f.series)
          .arg(f.skipped));
  fillHistogramChart(chart_, lotHistogram(result_.pieces, norm ? *norm : LotNorm{}), norm);
  for (QPushButton* b : {copyButton_, editButton_, deleteButton_, printButton_, pdfButton_}) b->setEnabled(norm != nullptr);
}

report::BuiltReport LotDialog::protocol(const QDateTime& printed) const {
  const LotNorm* norm = currentNorm();
  if (!norm) throw Error(QStringLiteral("Норма не выбрана"));
  return lotProtocol(subject_, *norm, result_, printed, decimalSeparator());
}

bool LotDialog::editInDialog(LotNorm* norm, const QString& keepName) {
  QStringList taken;
  for (const LotNorm& n : norms_)
    if (n.name != keepName) taken.append(n.name);
  NormEditDialog editor(*norm, taken, this);
  if (editor.exec() != QDialog::Accepted) return false;
  *norm = editor.norm();
  return true;
}

void LotDialog::storeAll() { storeNorms(settings_, norms_, refusedTexts_); }

void LotDialog::addNorm() {
  LotNorm n;
  n.archive = subject_.archive;
  if (!editInDialog(&n, QString())) return;
  norms_.append(n);
  storeAll();
  fillNormBox(n.name);
  judge();
}

void LotDialog::copyNorm() {
  const LotNorm* current = currentNorm();
  if (!current) return;
  LotNorm n = *current;
  n.name += QStringLiteral(" (копия)");
  if (!editInDialog(&n, QString())) return;
  norms_.append(n);
  storeAll();
  fillNormBox(n.name);
  judge();
}

void LotDialog::editNorm() {
  const LotNorm* current = currentNorm();
  if (!current) return;
  const qsizetype at = current - norms_.constData();
  LotNorm n = *current;
  if (!editInDialog(&n, n.name)) return;
  norms_[at] = n;
  storeAll();
  fillNormBox(n.name);
  judge();
}

void LotDialog::deleteNorm() {
  const LotNorm* current = currentNorm();
  if (!current) return;
  if (ui().message(this, kCaption, QStringLiteral("Удалить норму «%1»?").arg(current->name), MsgIcon::Question,
                   MsgButtons::YesNo) != MsgResult::Yes)
    return;
  norms_.removeAt(current - norms_.constData());
  storeAll();
  fillNormBox(QString());
  judge();
}

void LotDialog::printProtocol() {
  printBuiltReport(this, protocol(QDateTime::currentDateTime()));
}

void LotDialog::saveProtocolPdf() {
  const report::BuiltReport built = protocol(QDateTime::currentDateTime());
  FileDialogRequest request;
  request.caption = QStringLiteral("Сохранить протокол");
  request.filter = QStringLiteral("Документ PDF|*.pdf");
  request.defaultExt = QStringLiteral(".pdf");
  // Beside the report's "table.pdf", the protocol is "table_протокол.pdf".
  request.fileName = proposedFileName(QStringLiteral("_протокол.pdf"), QStringLiteral("Протокол оценки партии.pdf"));
  const QString path = withDefaultExtension(ui().saveFileName(this, request), request.defaultExt);
  if (path.isEmpty()) return;
  savePdfWithProgress(this, request.caption, built, path);
}

}  // namespace hv
