#include "store/sort_keys.h"

#include <cstring>

#include "store/stored_values.h"

namespace hv::store {
namespace {

// A field's bytes, or blanks where the field is shorter than asked.
void copyPadded(const char* record, KeyField f, int from, int count, char* out) {
  if (from + count <= f.width) {
    std::memcpy(out, record + f.offset + from, size_t(count));
    return;
  }
  for (int i = 0; i < count; ++i) {
    const int at = from + i;
    out[i] = at < f.width ? record[f.offset + at] : ' ';
  }
}

// Right-aligned decimal digits of a non-negative value, blanks on the left.
void putRight(std::uint64_t v, char* out, int width) {
  int i = width - 1;
  do {
    out[i--] = char('0' + v % 10);
    v /= 10;
  } while (v > 0 && i >= 0);
  while (i >= 0) out[i--] = ' ';
}

bool isBlank(std::string_view s) {
  for (char c : s)
    if (c != ' ' && c != '\0') return false;
  return true;
}

}  // namespace

int parseInt16(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\0')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  std::int64_t v = 0;
  int digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    if (digits < 18) v = v * 10 + (s[i] - '0');
    ++digits;
    ++i;
  }
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(negative ? -v : v));
}

KeyDesc makeKeyDesc(KeyKind kind, const QString& name, KeyField field, KeyField time) {
  KeyDesc k;
  k.kind = kind;
  k.field = field;
  k.time = time;
  k.fieldName = name;
  const QByteArray n = name.toLatin1();
  switch (kind) {
    case KeyKind::Text:
      k.length = field.width;
      k.expression = n;
      break;
    case KeyKind::Date:
      // Independent of SET DATE, unlike DTOS(CTOD(DATE)); equal for "dd.mm.yyyy".
      k.length = 8 + time.width;
      k.expression = "SUBSTR(" + n + ",7,4)+SUBSTR(" + n + ",4,2)+SUBSTR(" + n + ",1,2)+TIME";
      break;
    case KeyKind::Integer:
      // Offset so that negative values keep their order as right-aligned text.
      k.length = 6;
      k.expression = "STR(" + n + "+100000,6)";
      break;
    case KeyKind::Moisture:
      k.length = 12;
      k.expression = "IIF(EMPTY(" + n + "),SPACE(12),STR(VAL(STRTRAN(" + n + ",\",\",\".\"))+100000,12,3))";
      break;
    case KeyKind::NumberText:
      // The import writes "**" for a number too wide for the field: 100 or more.
      k.length = 6;
      k.expression = "IIF(EMPTY(" + n + "),SPACE(6),STR(IIF(" + n + "=\"**\",100,VAL(" + n + "))+100000,6))";
      break;
  }
  return k;
}

void makeKey(const KeyDesc& k, const char* record, char* out) {
  const std::string_view value(record + k.field.offset, static_cast<size_t>(k.field.width));
  switch (k.kind) {
    case KeyKind::Text:
      copyPadded(record, k.field, 0, k.length, out);
      break;
    case KeyKind::Date:
      copyPadded(record, k.field, 6, 4, out);
      copyPadded(record, k.field, 3, 2, out + 4);
      copyPadded(record, k.field, 0, 2, out + 6);
      copyPadded(record, k.time, 0, k.time.width, out + 8);
      break;
    case KeyKind::Integer:
      putRight(std::uint64_t(parseInt16(value) + 100000), out, 6);
      break;
    case KeyKind::NumberText: {
      if (isBlank(value)) {
        std::memset(out, ' ', 6);
        break;
      }
      const bool wide = value.size() >= 2 && value[0] == '*' && value[1] == '*';
      putRight(std::uint64_t((wide ? 100 : parseInt16(value)) + 100000), out, 6);
      break;
    }
    case KeyKind::Moisture: {
      if (isBlank(value)) {
        std::memset(out, ' ', 12);
        break;
      }
      // Clamped so that the text always fits the twelve bytes.
      std::int64_t v = parseDecimalMilli(value) + 100000000;
      if (v < 0) v = 0;
      if (v > 99999999999LL) v = 99999999999LL;  // 8 digits before the point
      putRight(std::uint64_t(v / 1000), out, 8);
      out[8] = '.';
      out[9] = char('0' + v / 100 % 10);
      out[10] = char('0' + v / 10 % 10);
      out[11] = char('0' + v % 10);
      break;
    }
  }
}

}  // namespace hv::store
