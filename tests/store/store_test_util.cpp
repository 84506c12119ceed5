#include "store_test_util.h"

#include "support/test_support.h"

namespace hv::test {

QString createTable(const QString& name) {
  TDbTable t;
  t.setFileName(testPath(name));
  t.createTable();
  return testPath(name);
}

QString tableWith(const std::vector<Row>& rows, const QString& name) {
  const QString path = testPath(name);
  writeTable(path, QList<Row>(rows.begin(), rows.end()));
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
