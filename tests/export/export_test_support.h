#pragma once
// Helpers of the export tests: reading records back from a workbook stream and
// reading written files with Debian's xlrd and olefile.
#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <vector>

namespace hv {
class TXlsWorkbook;
}

namespace hv::test {

struct Record {
  std::uint16_t id = 0;
  QByteArray data;
  qsizetype offset = 0;  // of the record header in the stream
};
// Splits a stream into records; fails the running test on a broken stream.
std::vector<Record> parseRecords(const QByteArray& stream);
std::vector<Record> recordsWithId(const std::vector<Record>& records, std::uint16_t id);

// "09 08 10 00" -> bytes.
QByteArray hexBytes(const char* text);
std::uint16_t u16At(const QByteArray& b, qsizetype at);
std::uint32_t u32At(const QByteArray& b, qsizetype at);

// Reads a written file with olefile (its one stream, size and SHA-1) and xlrd
// (every sheet, every non-empty cell with type, value and XF number). Fails the
// running test when Python fails.
QJsonObject readBack(const QString& path);

// Compares what xlrd read with the workbook's ranges (single cells, default
// format): names, types, values, the XF number 21, and the stream with `stream`.
void expectReadBackMatches(const QJsonObject& read, const hv::TXlsWorkbook& book, const QByteArray& stream);

}  // namespace hv::test
