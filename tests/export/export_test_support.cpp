#include "export_test_support.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <map>

#include "export/workbook.h"
#include "support/test_support.h"

namespace hv::test {

std::uint16_t u16At(const QByteArray& b, qsizetype at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b.at(at)) | static_cast<unsigned char>(b.at(at + 1)) << 8);
}

std::uint32_t u32At(const QByteArray& b, qsizetype at) {
  return u16At(b, at) | static_cast<std::uint32_t>(u16At(b, at + 2)) << 16;
}

std::vector<Record> parseRecords(const QByteArray& stream) {
  std::vector<Record> out;
  qsizetype at = 0;
  while (at < stream.size()) {
    if (at + 4 > stream.size()) {
      ADD_FAILURE() << "record header cut off at " << at;
      return out;
    }
    const std::uint16_t id = u16At(stream, at);
    const std::uint16_t size = u16At(stream, at + 2);
    if (at + 4 + size > stream.size()) {
      ADD_FAILURE() << "record data cut off at " << at;
      return out;
    }
    out.push_back({id, stream.mid(at + 4, size), at});
    at += 4 + size;
  }
  return out;
}

std::vector<Record> recordsWithId(const std::vector<Record>& records, std::uint16_t id) {
  std::vector<Record> out;
  for (const Record& r : records)
    if (r.id == id) out.push_back(r);
  return out;
}

QByteArray hexBytes(const char* text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

QJsonObject readBack(const QString& path) {
  static const char* script = R"PY(
import sys, json, hashlib, olefile, xlrd
path = sys.argv[1]
out = {}
assert olefile.isOleFile(path), "not a compound file"
ole = olefile.OleFileIO(path)
out["streams"] = ["/".join(s) for s in ole.listdir(streams=True, storages=True)]
data = ole.openstream("Workbook").read()
out["size"] = ole.get_size("Workbook")
out["sha1"] = hashlib.sha1(data).hexdigest()
ole.close()
book = xlrd.open_workbook(path, formatting_info=True)
sheets = []
for sh in book.sheets():
    cells = []
    for r in range(sh.nrows):
        for c, cell in enumerate(sh.row(r)):
            if cell.ctype == xlrd.XL_CELL_EMPTY:
                continue
            cells.append([r, c, cell.ctype, cell.value, cell.xf_index])
    sheets.append({"name": sh.name, "cells": cells})
out["sheets"] = sheets
out["fonts"] = [[f.name, f.height, f.weight, f.colour_index] for f in book.font_list]
out["xfs"] = len(book.xf_list)
print(json.dumps(out))
)PY";
  const ProcessResult r = runPython(QString::fromUtf8(script), {path});
  if (r.exitCode != 0) {
    ADD_FAILURE() << "python failed: " << r.err.toStdString();
    return {};
  }
  return QJsonDocument::fromJson(r.out).object();
}

void expectReadBackMatches(const QJsonObject& read, const hv::TXlsWorkbook& book, const QByteArray& stream) {
  EXPECT_EQ(read.value("streams").toArray(), QJsonArray{QStringLiteral("Workbook")});
  EXPECT_EQ(read.value("size").toInteger(), stream.size());
  EXPECT_EQ(read.value("sha1").toString(),
            QString::fromLatin1(QCryptographicHash::hash(stream, QCryptographicHash::Sha1).toHex()));
  const QJsonArray sheets = read.value("sheets").toArray();
  ASSERT_EQ(sheets.size(), book.SheetCount());
  for (int s = 0; s < book.SheetCount(); ++s) {
    const hv::TXlsWorksheet& sheet = book.Sheets(s);
    const QJsonObject got = sheets.at(s).toObject();
    EXPECT_EQ(got.value("name").toString(), sheet.Name());
    std::map<std::pair<int, int>, QJsonArray> cells;
    for (const QJsonValue& c : got.value("cells").toArray()) {
      const QJsonArray a = c.toArray();
      cells[{a.at(0).toInt(), a.at(1).toInt()}] = a;
    }
    EXPECT_EQ(cells.size(), sheet.Ranges().size()) << "sheet " << s;
    for (const auto& range : sheet.Ranges()) {
      const auto it = cells.find({range.top(), range.left()});
      if (it == cells.end()) {
        ADD_FAILURE() << "no cell at " << range.top() << "," << range.left();
        continue;
      }
      const QJsonArray& a = it->second;
      const hv::Value& v = range.getValue();
      if (hv::isNumericValue(v)) {
        EXPECT_EQ(a.at(2).toInt(), 2) << "number at " << range.top() << "," << range.left();
        EXPECT_DOUBLE_EQ(a.at(3).toDouble(), hv::numericValue(v));
      } else if (hv::valueText(v).isEmpty()) {
        EXPECT_EQ(a.at(2).toInt(), 6) << "blank at " << range.top() << "," << range.left();
      } else {
        EXPECT_EQ(a.at(2).toInt(), 1) << "text at " << range.top() << "," << range.left();
        EXPECT_EQ(a.at(3).toString(), hv::valueText(v));
      }
      if (!range.hasFormat()) {
        EXPECT_EQ(a.at(4).toInt(), 21);
      }
    }
  }
}

}  // namespace hv::test
