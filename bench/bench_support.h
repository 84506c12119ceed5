#pragma once
// Helpers the benchmark programs share: timing and writing a large
// measurement table straight in the file format.
#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "store/dbf_file.h"

namespace hv::bench {

// Wall time of one run of work.
inline double seconds(const std::function<void()>& work) {
  QElapsedTimer t;
  t.start();
  work();
  return t.nsecsElapsed() / 1e9;
}

// The best of several runs; prepare (if any) runs before each, untimed.
inline double bestOf(int runs, const std::function<void()>& prepare, const std::function<void()>& work) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    if (prepare) prepare();
    best = std::min(best, seconds(work));
  }
  return best;
}
inline double bestOf(int runs, const std::function<void()>& work) { return bestOf(runs, nullptr, work); }

// A measurement table of `rows` rows; row(i, widths) gives row i's field
// values in field order (each cut or padded to its width). Exits on failure.
inline void writeRawTable(const QString& path, int rows,
                          const std::function<QList<QByteArray>(int i, const std::vector<int>& widths)>& row) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    std::exit(1);
  }
  QByteArray head = hv::store::newMeasurementHeader();
  hv::store::putU32(reinterpret_cast<unsigned char*>(head.data()) + hv::store::kCountOffset, rows);
  f.write(head);
  std::vector<int> widths;
  for (const auto& d : hv::store::measurementFieldDefs()) widths.push_back(d.width);
  QByteArray chunk;
  for (int i = 0; i < rows; ++i) {
    const QList<QByteArray> fields = row(i, widths);
    chunk.append(' ');
    for (size_t c = 0; c < widths.size(); ++c)
      chunk.append(fields.value(int(c)).leftJustified(widths[c], ' ', true));
    if (chunk.size() > (1 << 22)) {
      f.write(chunk);
      chunk.clear();
    }
  }
  chunk.append(char(hv::store::kFileEnd));
  f.write(chunk);
}

}  // namespace hv::bench
