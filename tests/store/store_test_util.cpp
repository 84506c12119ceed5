#include "store_test_util.h"

#include "support/test_support.h"

namespace hv::test {

QString createTable(const QString& name) {
  TDbTable t;
  t.setFileName(testPath(name));
  t.createTable();
  return testPath(name);
}

void appendRow(TDbTable& t, const Row& r) {
  t.append();
  t.setFieldInt(QStringLiteral("N"), r.n);
  t.setFieldInt(QStringLiteral("N_ARC"), r.arc);
  const std::pair<const char*, const QString*> texts[] = {
      {"DATE", &r.date},   {"TIME", &r.time},         {"W", &r.w},         {"W_MIN", &r.wmin},
      {"W_MAX", &r.wmax},  {"MATERIAL", &r.material}, {"N_IND", &r.nind}, {"COMMENT", &r.comment}};
  for (const auto& [field, value] : texts)
    if (!value->isEmpty()) t.setFieldText(QString::fromLatin1(field), *value);
  t.post();
}

QString tableWith(const std::vector<Row>& rows, const QString& name) {
  const QString path = createTable(name);
  TDbTable t;
  t.setFileName(path);
  t.open();
  for (const Row& r : rows) appendRow(t, r);
  t.close();
  return path;
}

QStringList viewRows(TDbTable& t) {
  QStringList out;
  for (int row = 0; row < t.recordCount(); ++row) {
    const auto b = t.bookmarkAtRow(row);
    QStringList cells;
    for (const QString& f : measurementFields()) cells << t.fieldTextAt(b, f).value_or(QStringLiteral("-"));
    out << cells.join(QLatin1Char('|'));
  }
  return out;
}

std::vector<int> viewNumbers(TDbTable& t) {
  std::vector<int> out;
  for (int row = 0; row < t.recordCount(); ++row)
    out.push_back(t.fieldTextAt(t.bookmarkAtRow(row), QStringLiteral("N")).value_or(QStringLiteral("0")).toInt());
  return out;
}

}  // namespace hv::test
