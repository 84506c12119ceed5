#pragma once
// Helpers shared by the table engine's tests.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
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

// Runs `body` in a child process whose address space may grow by `spare`
// bytes only; returns its exit code (2 when hv::Error escaped), 128 + the
// signal when it was killed (an abort), or kNoMemoryLimit where no such limit
// can be set (the address sanitizer reserves far more).
constexpr int kNoMemoryLimit = -1;
int inChildWithLittleMemory(const std::function<int()>& body, std::uint64_t spare = std::uint64_t(512) << 20);

}  // namespace hv::test
