// hygrovan-cli assess: a lot of rows of one archive judged against a norm, as
// the lot assessment dialog judges it; optionally its protocol as a PDF.
// Exit status: 0 the lot conforms, 1 it does not or has too few pieces, 2 any
// error, so that scripts can act on it.
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <iterator>

#include "cli.h"
#include "graphs/lot_protocol.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/regional.h"
#include "platform/settings.h"
#include "report/report_pages.h"
#include "store/db_table.h"
#include "table_args.h"
#include "views/lot_norm.h"
#include "views/selection_stats.h"

namespace {

constexpr int kError = 2;

struct NumberOption {
  const char* name;
  const char* description;
};
const NumberOption kLimits[] = {
    {"mean-min", "Нижняя граница среднего по партии, %."},
    {"mean-max", "Верхняя граница среднего по партии, %."},
    {"piece-min", "Нижняя граница для отдельного значения, %."},
    {"piece-max", "Верхняя граница для отдельного значения, %."},
    {"share", "Наименьшая доля значений в границах для отдельного значения, % (без неё — все значения)."},
    {"min-count", "Наименьшее число измерений."},
    {"margin", "Запас на погрешность прибора, п. п.: сужает каждую границу."},
};

// A number written with a point or a comma.
std::optional<double> parseNumber(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  const std::string_view view(utf8.constData(), size_t(utf8.size()));
  if (auto v = hv::tryParseRegionalFloat(view, QChar('.'))) return v;
  return hv::tryParseRegionalFloat(view, QChar(','));
}

// The norm the options name or make; an empty text, or why they cannot.
QString normFromOptions(const hv::cli::CommandLine& line, hv::ArchiveKind archive, hv::LotNorm* norm) {
  bool anyLimit = false;
  for (const NumberOption& o : kLimits) anyLimit = anyLimit || line.isSet(QString::fromLatin1(o.name));
  if (line.isSet(QStringLiteral("norm"))) {
    if (anyLimit) return QStringLiteral("--norm и границы вместе не задаются");
    const QString name = line.value(QStringLiteral("norm"));
    hv::SettingsKey settings;
    settings.open();
    const hv::StoredNorms stored = hv::readNorms(settings);
    for (const QString& why : stored.refused) hv::cli::err() << why << '\n';
    for (const hv::LotNorm& n : stored.norms) {
      if (n.name != name) continue;
      if (n.archive != archive)
        return QStringLiteral("норма «%1» относится к архиву «%2», а не «%3»")
            .arg(name, hv::archiveCaption(n.archive), hv::archiveCaption(archive));
      *norm = n;
      return {};
    }
    QStringList names;
    for (const hv::LotNorm& n : stored.norms) names.append(QStringLiteral("«%1»").arg(n.name));
    return QStringLiteral("нормы «%1» нет; сохранены: %2")
        .arg(name, names.isEmpty() ? QStringLiteral("ни одной") : names.join(QStringLiteral(", ")));
  }
  if (!anyLimit) return QStringLiteral("нужна --norm ИМЯ или хотя бы одна граница");
  hv::LotNorm n;
  n.name = QStringLiteral("Границы из командной строки");
  n.archive = archive;
  std::optional<double> v[std::size(kLimits)];
  for (size_t i = 0; i < std::size(kLimits); ++i) {
    const QString name = QString::fromLatin1(kLimits[i].name);
    if (!line.isSet(name)) continue;
    v[i] = parseNumber(line.value(name));
    if (!v[i]) return QStringLiteral("--%1 должно быть числом, а не «%2»").arg(name, line.value(name));
  }
  n.meanMin = v[0];
  n.meanMax = v[1];
  n.pieceMin = v[2];
  n.pieceMax = v[3];
  n.share = v[4];
  if (v[5]) {
    if (*v[5] != std::floor(*v[5]) || *v[5] < 1 || *v[5] > 1e9)
      return QStringLiteral("--min-count должно быть целым числом не меньше 1");
    n.minCount = int(*v[5]);
  }
  n.margin = v[6].value_or(0);
  if (const QString problem = hv::normProblem(n); !problem.isEmpty()) return problem;
  *norm = n;
  return {};
}

// Hundredths are what the windows show; a script gets the same.
double rounded(double v) { return std::round(v * 100) / 100; }

QJsonValue jsonNumber(double v, bool present) { return present && std::isfinite(v) ? QJsonValue(rounded(v)) : QJsonValue(); }

QString textNumber(double v, bool present) {
  return present && std::isfinite(v) ? hv::formatFigure(v, QChar('.')) : QStringLiteral("-");
}

void printText(const hv::LotAssessment& a) {
  const hv::SelectionFigures& f = a.figures;
  auto& o = hv::cli::out();
  o << "n\t" << f.n << '\n'
    << "mean\t" << textNumber(f.mean, f.n > 0) << '\n'
    << "sd\t" << textNumber(f.sd, f.n > 1) << '\n'
    << "min\t" << textNumber(f.min, f.n > 0) << '\n'
    << "max\t" << textNumber(f.max, f.n > 0) << '\n'
    << "inside_share\t" << textNumber(f.insideShare(), f.n > 0) << '\n'
    << "series\t" << f.series << '\n'
    << "skipped\t" << f.skipped << '\n';
  for (const hv::Criterion& c : a.criteria) {
    const QString key = hv::criterionKey(c.kind);
    o << key << ".limit\t" << hv::formatFigure(c.limit, QChar('.')) << '\n'
      << key << ".value\t" << textNumber(c.value, f.n > 0 || c.kind == hv::CriterionKind::MinCount) << '\n'
      << key << '\t' << (c.passed ? "passed" : "failed") << '\n';
  }
  o << "verdict\t" << hv::verdictKey(a.verdict) << '\n';
}

void printJson(const hv::LotAssessment& a) {
  const hv::SelectionFigures& f = a.figures;
  QJsonObject o;
  o.insert(QStringLiteral("n"), f.n);
  o.insert(QStringLiteral("mean"), jsonNumber(f.mean, f.n > 0));
  o.insert(QStringLiteral("sd"), jsonNumber(f.sd, f.n > 1));
  o.insert(QStringLiteral("min"), jsonNumber(f.min, f.n > 0));
  o.insert(QStringLiteral("max"), jsonNumber(f.max, f.n > 0));
  o.insert(QStringLiteral("inside_share"), jsonNumber(f.insideShare(), f.n > 0));
  o.insert(QStringLiteral("series"), f.series);
  o.insert(QStringLiteral("skipped"), f.skipped);
  o.insert(QStringLiteral("verdict"), hv::verdictKey(a.verdict));
  QJsonArray criteria;
  for (const hv::Criterion& c : a.criteria) {
    QJsonObject item;
    item.insert(QStringLiteral("name"), hv::criterionKey(c.kind));
    item.insert(QStringLiteral("limit"), rounded(c.limit));
    item.insert(QStringLiteral("value"), jsonNumber(c.value, f.n > 0 || c.kind == hv::CriterionKind::MinCount));
    item.insert(QStringLiteral("passed"), c.passed);
    criteria.append(item);
  }
  o.insert(QStringLiteral("criteria"), criteria);
  hv::cli::out() << QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) << '\n';
}

int run(const QStringList& args) {
  hv::cli::CommandLine line(
      QStringLiteral("assess"),
      QStringLiteral("assess FILE.db --archive K [--sort FIELD [--desc]] [--rows LIST] (--norm ИМЯ | "
                     "[--mean-min X] [--mean-max X] [--piece-min X] [--piece-max X] [--share P] [--min-count N] "
                     "[--margin M]) [--json] [--pdf OUT.pdf]"),
      QStringLiteral("Оценивает партию — строки одного архива — по норме, как окно «Оценка партии». Выводит "
                     "показатели и выводы по критериям строками «имя<TAB>значение» или одним объектом JSON. "
                     "Вывод предназначен для программ: имена латиницей, числа с десятичной точкой при любых "
                     "региональных настройках. Код завершения: 0 — партия соответствует, 1 — не соответствует "
                     "или измерений недостаточно, 2 — ошибка."));
  hv::cli::TableArgsRules rules;
  rules.maxArchive = 2;
  rules.archiveRequired = true;
  rules.rowsOptional = true;
  hv::cli::addTableOptions(line, rules);
  line.addValueOption(QStringLiteral("norm"), QStringLiteral("ИМЯ"),
                      QStringLiteral("Норма из сохранённых в настройках пользователя, по названию."));
  for (const NumberOption& o : kLimits)
    line.addValueOption(QString::fromLatin1(o.name), QStringLiteral("X"), QString::fromUtf8(o.description));
  line.addFlag(QStringLiteral("json"),
               QStringLiteral("Вывести один объект JSON: ключи «n», «mean», «sd», «min», «max», «inside_share», "
                              "«series», «skipped», «verdict» («conforms», «fails» или «too_few») и «criteria»."));
  line.addValueOption(QStringLiteral("pdf"), QStringLiteral("OUT.pdf"),
                      QStringLiteral("Записать протокол оценки партии в файл PDF."));
  if (!line.parse(args)) return line.exitCode();
  hv::cli::TableArgs a;
  if (const QString why = hv::cli::readTableArgs(line, rules, &a); !why.isEmpty()) return line.usageError(why);
  const QList<int>& rows = a.rows;
  const hv::ArchiveKind archive = hv::archiveKindAt(a.archive);
  hv::LotNorm norm;
  if (const QString why = normFromOptions(line, archive, &norm); !why.isEmpty()) return line.usageError(why);
  const QString pdfName = line.value(QStringLiteral("pdf"));
  if (line.isSet(QStringLiteral("pdf")) && line.checkOutputs({pdfName}, {a.files[0]})) return line.exitCode();

  try {
    hv::LotSubject subject;
    subject.tableFile = a.files[0];
    subject.archive = archive;
    subject.wholeArchive = rows.isEmpty();
    {
      hv::cli::ReadOnlyTable view(a, hv::archiveTag(archive));
      hv::TDbTable& table = view.table();
      const int count = table.recordCount();
      if (count == 0) throw hv::Error(QStringLiteral("В архиве «%1» нет строк").arg(hv::archiveCaption(archive)));
      QList<hv::TDbTable::Bookmark> records;
      for (int p : hv::cli::distinctPositions(rows)) {  // a row listed twice is one piece
        if (p >= count)
          throw hv::Error(QStringLiteral("Строки %1 нет: строк в архиве «%2»: %3")
                              .arg(p + 1)
                              .arg(hv::archiveCaption(archive))
                              .arg(count));
        records.append(table.bookmarkAtRow(p));
      }
      subject.rows = hv::readLotRows(table, records);
    }
    const hv::LotResult result = hv::evaluateLot(subject, norm);
    if (line.isSet(QStringLiteral("pdf"))) {
      hv::FilePath pdf(pdfName, hv::FilePath::Write);
      hv::report::savePdf(
          hv::lotProtocol(subject, norm, result, QDateTime::currentDateTime(), hv::decimalSeparator()), pdf.path());
      if (QString why; !pdf.commit(&why))
        throw hv::Error(QStringLiteral("Не удалось записать файл %1: %2").arg(pdfName, why));
    }
    if (line.isSet(QStringLiteral("json")))
      printJson(result.assessment);
    else
      printText(result.assessment);
    return result.assessment.verdict == hv::Verdict::Conforms ? 0 : 1;
  } catch (const std::exception& e) {
    hv::cli::reportFailure(e);
    return kError;
  }
}

hv::cli::Registration g_registration("assess", "оценка партии по норме (код 0/1/2, протокол в PDF)", &run);

}  // namespace
