#pragma once
// Helpers shared by the table engine's tests.
#include <QString>
#include <QStringList>
#include <vector>

#include "store/db_table.h"
#include "support/measurement_table.h"

namespace hv::test {

// Creates `name` in the test folder and returns its path.
QString createTable(const QString& name = QStringLiteral("t.db"));
// Creates a table holding `rows` (closed afterwards).
QString tableWith(const std::vector<Row>& rows, const QString& name = QStringLiteral("t.db"));
// The ten fields of every row of the current view, in view order, nulls as "-".
QStringList viewRows(TDbTable& t);
// The N of every row of the current view.
std::vector<int> viewNumbers(TDbTable& t);

}  // namespace hv::test
