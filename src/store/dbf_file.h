#pragma once
// The dBase table file's header: building a new one and reading one from
// outside, trusting none of its fields.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "platform/codepage.h"

namespace hv::store {

constexpr int kFileHeaderSize = 32;
constexpr int kDescriptorSize = 32;
constexpr unsigned char kHeaderEnd = 0x0D;
constexpr unsigned char kFileEnd = 0x1A;
constexpr unsigned char kLiveMark = ' ';
constexpr unsigned char kDeletedMark = '*';
// Language driver "Russian Windows": the table's text is code page 1251.
constexpr unsigned char kLanguageDriver1251 = 0xC9;
constexpr int kMdxFlagOffset = 28;
constexpr int kLanguageDriverOffset = 29;
constexpr int kCountOffset = 4;

struct FieldInfo {
  QString name;  // upper case
  char type = 'C';
  int offset = 0;  // within the record; the deletion byte is offset 0
  int width = 0;
  int decimals = 0;
};

struct TableLayout {
  int headerLength = 0;
  int recordLength = 0;
  std::uint32_t recordCount = 0;
  bool mdxFlag = false;
  unsigned char languageDriver = 0;
  std::vector<FieldInfo> fields;
  int indexOf(const QString& name) const;  // -1 when missing
};

// Header, descriptors and terminator of an empty measurement table dated today
// (no records, no end byte).
QByteArray newMeasurementHeader();

// Checks the header of a file of `fileSize` bytes whose first bytes are `head`
// (at least the whole header when the file has one). Throws hv::Error naming
// the damage; the returned layout is safe to use against a file of that size.
TableLayout parseHeader(const unsigned char* head, std::size_t available, std::uint64_t fileSize);

// The code page a language-driver byte names: Windows 1251 (and unmarked
// tables, 0), DOS 866, Windows 1252 and DOS 437. Throws hv::Error naming the
// byte for any other.
CodePage codePageOfDriver(unsigned char driver);

// Throws hv::Error saying the table file is damaged, and why.
[[noreturn]] void tableDamaged(const QString& why);

// The ten fields must be present with their types; throws hv::Error otherwise.
void requireMeasurementFields(const TableLayout& layout);

// Today's date as the header stores it (year since 1900, month, day).
void todayBytes(unsigned char out[3]);

void putU16(unsigned char* p, unsigned v);
void putU32(unsigned char* p, std::uint32_t v);
unsigned getU16(const unsigned char* p);
std::uint32_t getU32(const unsigned char* p);

}  // namespace hv::store
