#pragma once
// Helpers the benchmark programs share: timing, peak memory and writing a
// large measurement table straight in the file format.
#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "store/dbf_file.h"
#include "store/row_schema.h"

namespace hv::bench {

// The baselines of the export benchmarks: the same number of bytes written
// and synced, as plainly as the system allows.
inline void writeAndSync(const QString& path, const QByteArray& buffer) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  for (qsizetype at = 0; at < buffer.size();) {
    const ssize_t n = ::write(fd, buffer.constData() + at, static_cast<size_t>(buffer.size() - at));
    if (n <= 0) break;
    at += n;
  }
  ::fsync(fd);
  ::close(fd);
}

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

// Processor time of this process, to tell the work from waiting on a busy machine.
inline double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Peak resident memory of this process so far, in bytes (getrusage).
inline long peakResident() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss * 1024L;
}

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
  for (hv::MeasurementField field : hv::kMeasurementFields) widths.push_back(hv::fieldSpec(field).width);
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
