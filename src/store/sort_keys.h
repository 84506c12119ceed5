#pragma once
// Sort keys of the index tags. Every key is a fixed-width byte string whose
// byte order is the row order; the same bytes go into the .mdx, and the
// dBase expression that yields them is written beside.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <string_view>

namespace hv::store {

enum class KeyKind {
  Text,        // the stored text (Windows-1251 bytes)
  Date,        // "dd.mm.yyyy" rearranged to yyyymmdd, then the row's TIME
  Integer,     // numeric field by value
  Moisture,    // decimal text with ',' or '.', by value, blanks first
  NumberText,  // whole number stored as text, by value, blanks first, "**" (past 99) last
};

struct KeyField {
  int offset = 0;  // within the record (the deletion byte is offset 0)
  int width = 0;
};

struct KeyDesc {
  KeyKind kind = KeyKind::Text;
  KeyField field;
  KeyField time;     // Date keys only
  QString fieldName;
  int length = 0;        // bytes of every key
  QByteArray expression;  // the dBase key expression
};

// Builds the key of one field. `timeField` is used by Date keys only.
KeyDesc makeKeyDesc(KeyKind kind, const QString& fieldName, KeyField field, KeyField timeField = {});

// Writes desc.length bytes of the key of one record into `out`.
void makeKey(const KeyDesc& desc, const char* record, char* out);

// A numeric field's value as the program reads it: a 16-bit signed integer,
// 0 when blank or unreadable.
int parseInt16(std::string_view text);

}  // namespace hv::store
