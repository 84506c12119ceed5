#pragma once
// Measurement tables for the tests, written through our engine.
#include <QString>
#include <QStringList>

#include "store/db_table.h"

namespace hv::test {

struct Row {
  int n = 0;
  int arc = 0;
  QString date, time, w, wMin, wMax, material, nInd, comment;
};

// Appends one row to an open table; empty texts stay blank.
inline void appendRow(TDbTable& t, const Row& r) {
  t.append();
  t.setFieldInt(QStringLiteral("N"), r.n);
  t.setFieldInt(QStringLiteral("N_ARC"), r.arc);
  auto set = [&](const char* f, const QString& v) {
    if (!v.isEmpty()) t.setFieldText(QString::fromLatin1(f), v);
  };
  set("DATE", r.date);
  set("TIME", r.time);
  set("W", r.w);
  set("W_MIN", r.wMin);
  set("W_MAX", r.wMax);
  set("MATERIAL", r.material);
  set("N_IND", r.nInd);
  set("COMMENT", r.comment);
  t.post();
}

// Creates the table file and appends the rows in order; the table is left closed.
inline void writeTable(const QString& path, const QList<Row>& rows) {
  TDbTable t;
  t.setFileName(path);
  t.createTable();
  t.open();
  for (const Row& r : rows) appendRow(t, r);
  t.close();
}

inline Row single(int n, int arc, const char* date, const char* time, const char* w) {
  Row r;
  r.n = n;
  r.arc = arc;
  r.date = QString::fromLatin1(date);
  r.time = QString::fromLatin1(time);
  r.w = QString::fromLatin1(w);
  r.material = QStringLiteral("Сосна");
  return r;
}

inline Row ranged(int n, int arc, const char* date, const char* time, const char* lo, const char* hi) {
  Row r = single(n, arc, date, time, "");
  r.wMin = QString::fromLatin1(lo);
  r.wMax = QString::fromLatin1(hi);
  return r;
}

// The values of one field over the rows of the current view, in view order.
inline QStringList column(TDbTable& t, const QString& field) {
  QStringList out;
  const int n = t.recordCount();
  for (int i = 0; i < n; ++i) out << t.fieldTextAt(t.bookmarkAtRow(i), field).value_or(QString()).trimmed();
  return out;
}

}  // namespace hv::test
