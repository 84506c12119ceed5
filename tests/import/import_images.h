#pragma once
// Hand-built device images and readers of the rows an import wrote.
#include <QList>
#include <QString>
#include <array>
#include <memory>
#include <optional>

#include "device/device_image.h"
#include "store/db_table.h"

namespace hv::test {

struct Rec {
  quint16 w = 0, wMin = 0xFFFF, wMax = 0xFFFF;
  quint8 material = 0, individual = 0;
  quint8 second = 0, minute = 0, hour = 12, day = 1, month = 1, year = 7;
};

// A record at a given day of January 2007, minute by minute.
inline Rec at(int day, int minute, quint16 w = 125) {
  Rec r;
  r.w = w;
  r.day = quint8(day);
  r.minute = quint8(minute);
  return r;
}

inline std::unique_ptr<DeviceImageBytes> makeImage(const std::array<QList<Rec>, 3>& archives) {
  auto image = std::make_unique<DeviceImageBytes>();
  image->fill(0xEE);  // what an earlier download left: never read
  int pos = 0;
  auto put = [&](quint8 b) { (*image)[pos++] = b; };
  auto word = [&](quint16 w) {
    put(quint8(w & 0xFF));
    put(quint8(w >> 8));
  };
  for (const QList<Rec>& records : archives) {
    word(quint16(records.size()));
    for (const Rec& r : records) {
      word(r.w);
      word(r.wMin);
      word(r.wMax);
      for (quint8 b : {r.material, r.individual, r.second, r.minute, r.hour, r.day, r.month, r.year}) put(b);
    }
  }
  return image;
}

inline QByteArray imageBytes(const DeviceImageBytes& image) {
  return QByteArray(reinterpret_cast<const char*>(image.data()), decodedImageLength(image));
}

struct StoredRow {
  int n = 0, arc = 0;
  std::optional<QString> date, time, w, wMin, wMax, material, nInd, comment;
};

// The rows of one archive in record order; the table's filter is left on it.
inline QList<StoredRow> rowsOf(TDbTable& t, int kind) {
  QList<StoredRow> rows;
  t.setFilter(QStringLiteral("N_ARC=%1").arg(kind));
  t.refresh();
  for (t.first(); !t.eof(); t.next()) {
    StoredRow r;
    r.n = t.fieldInt(QStringLiteral("N"));
    r.arc = t.fieldInt(QStringLiteral("N_ARC"));
    r.date = t.fieldText(QStringLiteral("DATE"));
    r.time = t.fieldText(QStringLiteral("TIME"));
    r.w = t.fieldText(QStringLiteral("W"));
    r.wMin = t.fieldText(QStringLiteral("W_MIN"));
    r.wMax = t.fieldText(QStringLiteral("W_MAX"));
    r.material = t.fieldText(QStringLiteral("MATERIAL"));
    r.nInd = t.fieldText(QStringLiteral("N_IND"));
    r.comment = t.fieldText(QStringLiteral("COMMENT"));
    rows << r;
  }
  return rows;
}

inline QList<int> numbersOf(const QList<StoredRow>& rows) {
  QList<int> n;
  for (const StoredRow& r : rows) n << r.n;
  return n;
}

}  // namespace hv::test
