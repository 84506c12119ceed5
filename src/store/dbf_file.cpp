#include "store/dbf_file.h"

#include <QDate>
#include <cstring>

#include "store/row_schema.h"
#include "store/table_errors.h"

namespace hv::store {
namespace {

[[noreturn]] void damaged(const QString& why) { tableDamaged(why); }

}  // namespace

CodePage codePageOfDriver(unsigned char driver) {
  switch (driver) {
    case 0x00:  // unmarked: the program's own
    case kLanguageDriver1251:
      return CodePage::Windows1251;
    case 0x26:
    case 0x65:
      return CodePage::Dos866;
    case 0x03:
    case 0x57:
    case 0x58:
    case 0x59:
      return CodePage::Windows1252;
    case 0x01:
      return CodePage::Dos437;
    default:
      throw hv::TableCodePageError(QStringLiteral("кодовая страница таблицы (драйвер языка 0x%1) не поддерживается: "
                                     "читаются таблицы в кодовых страницах 1251, 866, 1252 и 437")
                          .arg(QString::number(driver, 16).toUpper().rightJustified(2, QLatin1Char('0'))));
  }
}

void tableDamaged(const QString& why) { throw hv::TableDamagedError(why, why); }

void putU16(unsigned char* p, unsigned v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
void putU32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
unsigned getU16(const unsigned char* p) { return p[0] | (unsigned(p[1]) << 8); }
std::uint32_t getU32(const unsigned char* p) {
  return p[0] | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

int TableLayout::indexOf(const QString& name) const {
  const QString up = name.trimmed().toUpper();
  for (size_t i = 0; i < fields.size(); ++i)
    if (fields[i].name == up) return static_cast<int>(i);
  return -1;
}

void todayBytes(unsigned char out[3]) {
  const QDate d = QDate::currentDate();
  out[0] = static_cast<unsigned char>(d.year() - 1900);
  out[1] = static_cast<unsigned char>(d.month());
  out[2] = static_cast<unsigned char>(d.day());
}

QByteArray newMeasurementHeader() {
  const int headerLength = kFileHeaderSize + kDescriptorSize * int(kMeasurementFields.size()) + 1;
  int recordLength = 1;
  for (MeasurementField f : kMeasurementFields) recordLength += fieldSpec(f).width;
  QByteArray h(headerLength, '\0');
  auto* p = reinterpret_cast<unsigned char*>(h.data());
  p[0] = 0x03;
  todayBytes(p + 1);
  putU32(p + kCountOffset, 0);
  putU16(p + 8, headerLength);
  putU16(p + 10, recordLength);
  p[kMdxFlagOffset] = 0;
  p[kLanguageDriverOffset] = kLanguageDriver1251;
  for (size_t i = 0; i < kMeasurementFields.size(); ++i) {
    const FieldSpec& field = fieldSpec(kMeasurementFields[i]);
    unsigned char* d = p + kFileHeaderSize + kDescriptorSize * i;
    std::memcpy(d, field.name, std::strlen(field.name));
    d[11] = static_cast<unsigned char>(field.type);
    d[16] = static_cast<unsigned char>(field.width);
    d[17] = static_cast<unsigned char>(field.decimals);
  }
  p[headerLength - 1] = kHeaderEnd;
  return h;
}

TableLayout parseHeader(const unsigned char* p, std::size_t available, std::uint64_t fileSize) {
  if (fileSize < kFileHeaderSize + 1 || available < kFileHeaderSize) damaged(QStringLiteral("файл слишком короткий"));
  // dBase III/IV tables: 0x03, or 0x83/0x8B with a memo file we never need.
  if ((p[0] & 0x07) != 0x03) damaged(QStringLiteral("это не таблица dBase"));
  TableLayout t;
  t.recordCount = getU32(p + kCountOffset);
  t.headerLength = static_cast<int>(getU16(p + 8));
  t.recordLength = static_cast<int>(getU16(p + 10));
  t.mdxFlag = p[kMdxFlagOffset] != 0;
  t.languageDriver = p[kLanguageDriverOffset];
  if (t.headerLength < kFileHeaderSize + kDescriptorSize + 1) damaged(QStringLiteral("неверная длина заголовка"));
  if (std::uint64_t(t.headerLength) > fileSize || std::size_t(t.headerLength) > available)
    damaged(QStringLiteral("заголовок выходит за конец файла"));
  if (t.recordLength < 2) damaged(QStringLiteral("неверная длина записи"));

  int pos = kFileHeaderSize;
  int recordOffset = 1;
  for (;;) {
    if (pos >= t.headerLength) damaged(QStringLiteral("список полей не завершён"));
    if (p[pos] == kHeaderEnd) break;
    if (pos + kDescriptorSize > t.headerLength - 1) damaged(QStringLiteral("список полей не завершён"));
    const unsigned char* d = p + pos;
    int nameLength = 0;
    while (nameLength < 11 && d[nameLength] != 0) ++nameLength;
    FieldInfo f;
    f.name = QString::fromLatin1(reinterpret_cast<const char*>(d), nameLength).trimmed().toUpper();
    f.type = static_cast<char>(d[11]);
    f.width = d[16];
    f.decimals = d[17];
    f.offset = recordOffset;
    if (f.name.isEmpty()) damaged(QStringLiteral("у поля нет имени"));
    if (f.width < 1) damaged(QStringLiteral("у поля %1 нет ширины").arg(f.name));
    if (t.indexOf(f.name) >= 0) damaged(QStringLiteral("поле %1 встречается дважды").arg(f.name));
    recordOffset += f.width;
    if (recordOffset > t.recordLength) damaged(QStringLiteral("поля не умещаются в длину записи"));
    t.fields.push_back(f);
    pos += kDescriptorSize;
  }
  if (t.fields.empty()) damaged(QStringLiteral("нет полей"));
  // Some dBase III writers put one zero byte after the terminator; anything
  // else between the field list and the records is a header length that
  // disagrees with the fields.
  const int extra = t.headerLength - (pos + 1);
  if (extra > 1 || (extra == 1 && p[pos + 1] != 0)) damaged(QStringLiteral("длина заголовка не согласуется с полями"));
  if (recordOffset != t.recordLength) damaged(QStringLiteral("длина записи не согласуется с полями"));
  const std::uint64_t need = std::uint64_t(t.headerLength) + std::uint64_t(t.recordCount) * std::uint64_t(t.recordLength);
  if (need > fileSize) damaged(QStringLiteral("число записей выходит за конец файла"));
  if (t.recordCount > 0x7FFFFFF0u) damaged(QStringLiteral("слишком много записей"));
  return t;
}

void requireMeasurementFields(const TableLayout& t) {
  for (MeasurementField field : kMeasurementFields) {
    const int i = t.indexOf(fieldName(field));
    if (i < 0) damaged(QStringLiteral("нет поля %1").arg(fieldName(field)));
    const FieldInfo& f = t.fields[size_t(i)];
    const bool numeric = fieldSpec(field).type == 'N';
    if (numeric ? (f.type != 'N' && f.type != 'F') : f.type != 'C')
      damaged(QStringLiteral("у поля %1 не тот тип").arg(f.name));
    if (numeric && f.width > 20) damaged(QStringLiteral("поле %1 слишком широкое").arg(f.name));
  }
}

}  // namespace hv::store
