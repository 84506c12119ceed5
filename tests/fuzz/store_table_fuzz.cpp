// Arbitrary bytes as a table file (and as its index file): open, read every
// row, sort by every field both ways. Only hv::Error may come out.
#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <unistd.h>

#include "platform/error.h"
#include "store/db_table.h"
#include "store/mdx_file.h"

namespace {

const QString& folder() {
  static const QString dir = [] {
    const QString d = QDir::tempPath() + QStringLiteral("/hv_store_fuzz_%1").arg(::getpid());
    QDir().mkpath(d);
    return d;
  }();
  return dir;
}

// A new file each time: rewriting a truncated one makes some file systems
// flush it to disk on close, which would slow every run down.
void writeBytes(const QString& path, const QByteArray& bytes) {
  QFile::remove(path);
  QFile f(path);
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  try {
    (void)hv::store::readMdx(bytes);
  } catch (const hv::Error&) {
  }
  const QString db = folder() + QStringLiteral("/f.db");
  writeBytes(db, bytes);
  writeBytes(hv::TDbTable::mdxPathFor(db), bytes);
  hv::TDbTable t;
  t.setFileName(db);
  t.setReadOnly(true);
  try {
    t.open();
  } catch (const hv::Error&) {
    return 0;
  }
  try {
    for (t.first(); !t.eof(); t.next())
      for (const QString& f : hv::measurementFields()) (void)t.fieldText(f);
    t.setFilter(QStringLiteral("N_ARC=1"));
    t.setFiltered(true);
    for (const QString& f : hv::measurementFields()) {
      for (bool descending : {false, true}) {
        t.addIndex(QStringLiteral("tab1"), f, descending);
        t.setIndexName(QStringLiteral("tab1"));
        for (int row = 0; row < t.recordCount(); ++row) (void)t.fieldTextAt(t.bookmarkAtRow(row), f);
      }
    }
  } catch (const hv::Error&) {
  }
  return 0;
}
