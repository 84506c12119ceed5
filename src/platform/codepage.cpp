#include "platform/codepage.h"

#include <array>
#include <unordered_map>

namespace hv {
namespace {

// Upper half of Windows-1251 (0x80..0xFF). 0x98 is unassigned.
constexpr std::array<char16_t, 64> kHigh80 = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};

const std::unordered_map<char16_t, unsigned char>& reverseTable() {
  static const auto table = [] {
    std::unordered_map<char16_t, unsigned char> m;
    for (int b = 0x80; b < 0x100; ++b) {
      const char16_t u = cp1251ToUnicode(static_cast<unsigned char>(b));
      if (u != 0xFFFD) m.emplace(u, static_cast<unsigned char>(b));
    }
    return m;
  }();
  return table;
}

}  // namespace

char16_t cp1251ToUnicode(unsigned char byte) {
  if (byte < 0x80) return byte;
  if (byte >= 0xC0) return static_cast<char16_t>(0x0410 + (byte - 0xC0));  // А..я
  return kHigh80[byte - 0x80];
}

QString fromCp1251(QByteArrayView bytes) {
  QString out;
  out.resize(bytes.size());
  QChar* dst = out.data();
  for (qsizetype i = 0; i < bytes.size(); ++i)
    dst[i] = QChar(cp1251ToUnicode(static_cast<unsigned char>(bytes[i])));
  return out;
}

QByteArray toCp1251(QStringView text) {
  QByteArray out;
  out.resize(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t u = text[i].unicode();
    if (u < 0x80) {
      out[i] = static_cast<char>(u);
    } else if (u >= 0x0410 && u <= 0x044F) {
      out[i] = static_cast<char>(0xC0 + (u - 0x0410));
    } else {
      const auto& rev = reverseTable();
      const auto it = rev.find(u);
      out[i] = it == rev.end() ? '?' : static_cast<char>(it->second);
    }
  }
  return out;
}

}  // namespace hv
