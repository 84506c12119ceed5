#include "views/lot_norm.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

#include "platform/settings.h"

namespace hv {

namespace {

// The mean and the share are computed; a limit met exactly must not fail on
// a binary remainder.
constexpr double kSlack = 1e-9;

const QString kCountValue = QStringLiteral("Norms");
QString normValueName(int i) { return QStringLiteral("Norm_") + QString::number(i + 1); }

std::optional<double> plus(std::optional<double> v, double d) {
  if (v) return *v + d;
  return std::nullopt;
}

}  // namespace

QString normProblem(const LotNorm& n) {
  for (const std::optional<double>& v : {n.meanMin, n.meanMax, n.pieceMin, n.pieceMax, n.share})
    if (v && !std::isfinite(*v)) return QStringLiteral("одно из значений не является числом");
  if (n.name.trimmed().isEmpty()) return QStringLiteral("не задано название");
  if (archiveNumber(n.archive) < 0 || archiveNumber(n.archive) > 2) return QStringLiteral("неизвестный архив");
  if (!n.meanMin && !n.meanMax && !n.pieceMin && !n.pieceMax && !n.share && !n.minCount)
    return QStringLiteral("не задано ни одного критерия");
  if (n.meanMin && n.meanMax && *n.meanMin > *n.meanMax)
    return QStringLiteral("нижняя граница среднего выше верхней");
  if (n.pieceMin && n.pieceMax && *n.pieceMin > *n.pieceMax)
    return QStringLiteral("нижняя граница для отдельного значения выше верхней");
  if (n.share && (*n.share < 0 || *n.share > 100)) return QStringLiteral("доля должна быть от 0 до 100 %");
  if (n.share && !n.pieceMin && !n.pieceMax)
    return QStringLiteral("доля задана без границ для отдельного значения");
  if (n.minCount && *n.minCount < 1) return QStringLiteral("наименьшее число измерений должно быть не меньше 1");
  if (!std::isfinite(n.margin) || n.margin < 0) return QStringLiteral("запас не может быть отрицательным");
  const std::optional<double> meanLow = judgedMeanMin(n), meanHigh = judgedMeanMax(n);
  if (meanLow && meanHigh && *meanLow > *meanHigh + kSlack)
    return QStringLiteral("с учётом запаса нижняя граница среднего выше верхней");
  const PieceRange piece = pieceRange(n);
  if (piece.lower && piece.upper && *piece.lower > *piece.upper + kSlack)
    return QStringLiteral("с учётом запаса нижняя граница для отдельного значения выше верхней");
  return {};
}

PieceRange pieceRange(const LotNorm& n) { return PieceRange{plus(n.pieceMin, n.margin), plus(n.pieceMax, -n.margin)}; }
std::optional<double> judgedMeanMin(const LotNorm& n) { return plus(n.meanMin, n.margin); }
std::optional<double> judgedMeanMax(const LotNorm& n) { return plus(n.meanMax, -n.margin); }

std::optional<double> judgedShare(const LotNorm& n) {
  if (!n.pieceMin && !n.pieceMax) return std::nullopt;
  return n.share.value_or(100.0);
}

QString verdictText(Verdict v) {
  switch (v) {
    case Verdict::Conforms:
      return QStringLiteral("Соответствует");
    case Verdict::Fails:
      return QStringLiteral("Не соответствует");
    case Verdict::TooFew:
      break;
  }
  return QStringLiteral("Недостаточно измерений");
}

QString verdictKey(Verdict v) {
  switch (v) {
    case Verdict::Conforms:
      return QStringLiteral("conforms");
    case Verdict::Fails:
      return QStringLiteral("fails");
    case Verdict::TooFew:
      break;
  }
  return QStringLiteral("too_few");
}

QString criterionKey(CriterionKind kind) {
  switch (kind) {
    case CriterionKind::MinCount:
      return QStringLiteral("min_count");
    case CriterionKind::MeanMin:
      return QStringLiteral("mean_min");
    case CriterionKind::MeanMax:
      return QStringLiteral("mean_max");
    case CriterionKind::InsideShare:
      break;
  }
  return QStringLiteral("inside_share");
}

QString criterionCaption(CriterionKind kind) {
  switch (kind) {
    case CriterionKind::MinCount:
      return QStringLiteral("Число измерений не менее");
    case CriterionKind::MeanMin:
      return QStringLiteral("Среднее не ниже, %");
    case CriterionKind::MeanMax:
      return QStringLiteral("Среднее не выше, %");
    case CriterionKind::InsideShare:
      break;
  }
  return QStringLiteral("Доля в пределах не менее, %");
}

LotAssessment assessLot(const SelectionFigures& f, const LotNorm& norm) {
  LotAssessment a;
  a.figures = f;
  if (norm.minCount) a.criteria.append({CriterionKind::MinCount, double(*norm.minCount), double(f.n), f.n >= *norm.minCount});
  if (const auto low = judgedMeanMin(norm))
    a.criteria.append({CriterionKind::MeanMin, *low, f.mean, f.n > 0 && f.mean >= *low - kSlack});
  if (const auto high = judgedMeanMax(norm))
    a.criteria.append({CriterionKind::MeanMax, *high, f.mean, f.n > 0 && f.mean <= *high + kSlack});
  if (const auto share = judgedShare(norm))
    a.criteria.append({CriterionKind::InsideShare, *share, f.insideShare(), f.n > 0 && f.insideShare() >= *share - kSlack});
  bool all = true;
  for (const Criterion& c : a.criteria) all = all && c.passed;
  if (f.n == 0 || (norm.minCount && f.n < *norm.minCount))
    a.verdict = Verdict::TooFew;
  else
    a.verdict = all ? Verdict::Conforms : Verdict::Fails;
  return a;
}

QString normToText(const LotNorm& n) {
  QJsonObject o;
  o.insert(QStringLiteral("name"), n.name);
  o.insert(QStringLiteral("archive"), archiveNumber(n.archive));
  auto put = [&](const char* key, const std::optional<double>& v) {
    if (v) o.insert(QString::fromLatin1(key), *v);
  };
  put("mean_min", n.meanMin);
  put("mean_max", n.meanMax);
  put("piece_min", n.pieceMin);
  put("piece_max", n.pieceMax);
  put("share", n.share);
  if (n.minCount) o.insert(QStringLiteral("min_count"), *n.minCount);
  o.insert(QStringLiteral("margin"), n.margin);
  o.insert(QStringLiteral("basis"), n.basis);
  return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

std::optional<LotNorm> normFromText(const QString& text, QString* why) {
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
  if (error.error != QJsonParseError::NoError || !doc.isObject()) {
    *why = QStringLiteral("запись повреждена");
    return std::nullopt;
  }
  const QJsonObject o = doc.object();
  LotNorm n;
  bool typesOk = true;
  auto number = [&](const char* key) -> std::optional<double> {
    const QJsonValue v = o.value(QString::fromLatin1(key));
    if (v.isUndefined() || v.isNull()) return std::nullopt;
    if (!v.isDouble()) typesOk = false;
    return v.toDouble();
  };
  n.name = o.value(QStringLiteral("name")).toString();
  const std::optional<double> archive = number("archive");
  n.meanMin = number("mean_min");
  n.meanMax = number("mean_max");
  n.pieceMin = number("piece_min");
  n.pieceMax = number("piece_max");
  n.share = number("share");
  const std::optional<double> count = number("min_count");
  n.margin = number("margin").value_or(0);
  n.basis = o.value(QStringLiteral("basis")).toString();
  if (!typesOk) {
    *why = QStringLiteral("одно из значений не является числом");
    return std::nullopt;
  }
  if (!archive || (*archive != 0 && *archive != 1 && *archive != 2)) {
    *why = QStringLiteral("неизвестный архив");
    return std::nullopt;
  }
  n.archive = archiveKindAt(int(*archive));
  if (count) {
    if (*count != std::floor(*count) || *count < 1 || *count > 1e9) {
      *why = QStringLiteral("наименьшее число измерений должно быть целым и не меньше 1");
      return std::nullopt;
    }
    n.minCount = int(*count);
  }
  if (QString problem = normProblem(n); !problem.isEmpty()) {
    *why = problem;
    return std::nullopt;
  }
  return n;
}

QList<LotNorm> exampleNorms() {
  const QString basis = QStringLiteral(
      "Пример для настройки: значения условные. Перед применением сверьте их с действующим стандартом "
      "или договором поставки, которые относятся к этой партии, и исправьте.");
  LotNorm timber;
  timber.name = QStringLiteral("Пример: пиломатериалы после камерной сушки");
  timber.archive = ArchiveKind::Wood;
  timber.meanMin = 10;
  timber.meanMax = 14;
  timber.pieceMin = 8;
  timber.pieceMax = 16;
  timber.share = 90;
  timber.minCount = 10;
  timber.basis = basis;
  LotNorm screed;
  screed.name = QStringLiteral("Пример: стяжка перед укладкой покрытия");
  screed.archive = ArchiveKind::Concrete;
  screed.pieceMax = 4;
  screed.share = 100;
  screed.minCount = 3;
  screed.margin = 0.5;
  screed.basis = basis;
  LotNorm bulk;
  bulk.name = QStringLiteral("Пример: сыпучий материал на приёмке");
  bulk.archive = ArchiveKind::Bulk;
  bulk.meanMax = 14;
  bulk.minCount = 5;
  bulk.basis = basis;
  return {timber, screed, bulk};
}

StoredNorms loadNorms(SettingsKey& settings) {
  if (!settings.hasValue(kCountValue)) storeNorms(settings, exampleNorms());
  return readNorms(settings);
}

StoredNorms readNorms(const SettingsKey& settings) {
  StoredNorms out;
  if (!settings.hasValue(kCountValue)) {
    out.norms = exampleNorms();
    return out;
  }
  bool ok = false;
  const int count = settings.readString(kCountValue).toInt(&ok);
  for (int i = 0; ok && i < count && i < 10'000; ++i) {
    const QString text = settings.readString(normValueName(i));
    QString why;
    std::optional<LotNorm> n = normFromText(text, &why);
    if (n) {
      for (const LotNorm& other : out.norms)
        if (other.name == n->name) why = QStringLiteral("норма с таким названием уже есть");
      if (why.isEmpty()) {
        out.norms.append(*n);
        continue;
      }
    }
    // Named by what it calls itself when that can be read, else by its place.
    QString name = QJsonDocument::fromJson(text.toUtf8()).object().value(QStringLiteral("name")).toString();
    const QString shown = name.trimmed().isEmpty() ? QStringLiteral("№%1").arg(i + 1) : QStringLiteral("«%1»").arg(name);
    out.refused.append(QStringLiteral("Норма %1 не загружена: %2.").arg(shown, why));
    out.refusedTexts.append(text);
  }
  return out;
}

void storeNorms(SettingsKey& settings, const QList<LotNorm>& norms, const QStringList& kept) {
  bool ok = false;
  const int before = settings.readString(kCountValue).toInt(&ok);
  QStringList texts;
  for (const LotNorm& n : norms) texts.append(normToText(n));
  texts += kept;
  for (int i = 0; i < texts.size(); ++i) settings.writeString(normValueName(i), texts[i]);
  for (int i = int(texts.size()); ok && i < before; ++i) settings.removeValue(normValueName(i));
  settings.writeString(kCountValue, QString::number(texts.size()));
}

QString formatFigure(double v, QChar separator, int decimals) {
  QString s = QString::number(v, 'f', decimals);
  if (s.contains(QChar('.'))) {
    while (s.endsWith(QChar('0'))) s.chop(1);
    if (s.endsWith(QChar('.'))) s.chop(1);
  }
  if (s == QLatin1String("-0")) s = QStringLiteral("0");
  if (separator != QChar('.')) s.replace(QChar('.'), separator);
  return s;
}

}  // namespace hv
