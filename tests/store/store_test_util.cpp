#include "store_test_util.h"

#include <QFile>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/error.h"
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

int inChildWithLittleMemory(const std::function<int()>& body, std::uint64_t spare) {
#if HV_TEST_ASAN
  (void)body;
  (void)spare;
  return kNoMemoryLimit;
#else
  const pid_t child = ::fork();
  if (child == 0) {
    QFile status(QStringLiteral("/proc/self/status"));
    std::uint64_t used = 0;
    if (status.open(QIODevice::ReadOnly))
      for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmSize:")) used = line.mid(7).trimmed().split(' ').first().toULongLong() * 1024;
    const rlimit limit{used + spare, used + spare};
    if (used == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(3);
    int code = 0;
    try {
      code = body();
    } catch (const hv::Error&) {
      code = 2;
    }
    ::_exit(code);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
}

}  // namespace hv::test
