#include "platform/codepage.h"

#include <array>
#include <cstring>
#include <unordered_map>

namespace hv {
namespace {

// Windows-1251, 0x80..0xBF; 0xC0..0xFF are А..я in order. 0x98 is unassigned.
constexpr std::array<char16_t, 64> k1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};

// Windows-1252, 0x80..0x9F; 0xA0..0xFF are Latin-1. Five bytes are unassigned.
constexpr std::array<char16_t, 32> k1252Low = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,  // 88
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,  // 98
};

// 0xB0..0xDF of both DOS code pages: shades and box drawing.
constexpr std::array<char16_t, 48> kDosBoxes = {
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
};

// DOS 866, 0xF0..0xFF; 0x80..0xAF are А..п and 0xE0..0xEF р..я.
constexpr std::array<char16_t, 16> k866Last = {
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,  // F8
};

// DOS 437, 0x80..0xAF and 0xE0..0xFF.
constexpr std::array<char16_t, 48> k437Letters = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
};
constexpr std::array<char16_t, 32> k437Signs = {
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};

char16_t upperHalf(CodePage page, unsigned b) {
  switch (page) {
    case CodePage::Windows1251:
      return b >= 0xC0 ? char16_t(0x0410 + (b - 0xC0)) : k1251High[b - 0x80];
    case CodePage::Windows1252:
      return b >= 0xA0 ? char16_t(b) : k1252Low[b - 0x80];
    case CodePage::Dos866:
      if (b < 0xB0) return char16_t(0x0410 + (b - 0x80));
      if (b < 0xE0) return kDosBoxes[b - 0xB0];
      if (b < 0xF0) return char16_t(0x0440 + (b - 0xE0));
      return k866Last[b - 0xF0];
    case CodePage::Dos437:
      if (b < 0xB0) return k437Letters[b - 0x80];
      if (b < 0xE0) return kDosBoxes[b - 0xB0];
      return k437Signs[b - 0xE0];
  }
  return 0xFFFD;
}

using ReverseTable = std::unordered_map<char16_t, unsigned char>;

ReverseTable makeReverse(CodePage page) {
  ReverseTable m;
  for (unsigned b = 0x80; b < 0x100; ++b) {
    const char16_t u = upperHalf(page, b);
    if (u != 0xFFFD) m.emplace(u, static_cast<unsigned char>(b));
  }
  return m;
}

const ReverseTable& reverseTable(CodePage page) {
  static const std::array<ReverseTable, 4> tables = {makeReverse(CodePage::Windows1251), makeReverse(CodePage::Dos866),
                                                     makeReverse(CodePage::Windows1252), makeReverse(CodePage::Dos437)};
  return tables[static_cast<size_t>(page)];
}

}  // namespace

int codePageNumber(CodePage page) {
  switch (page) {
    case CodePage::Windows1251:
      return 1251;
    case CodePage::Dos866:
      return 866;
    case CodePage::Windows1252:
      return 1252;
    case CodePage::Dos437:
      return 437;
  }
  return 0;
}

char16_t toUnicode(CodePage page, unsigned char byte) { return byte < 0x80 ? char16_t(byte) : upperHalf(page, byte); }

QString fromCodePage(CodePage page, QByteArrayView bytes) {
  QString out;
  out.resize(bytes.size());
  QChar* dst = out.data();
  for (qsizetype i = 0; i < bytes.size(); ++i) dst[i] = QChar(toUnicode(page, static_cast<unsigned char>(bytes[i])));
  return out;
}

namespace {

// Each byte's character in UTF-8: its length, then up to three bytes (every
// character of these code pages lies in the Basic Multilingual Plane).
using Utf8Table = std::array<std::array<char, 4>, 256>;

Utf8Table makeUtf8Table(CodePage page) {
  Utf8Table t{};
  for (unsigned b = 0; b < 256; ++b) {
    const char16_t u = toUnicode(page, static_cast<unsigned char>(b));
    if (u < 0x80)
      t[b] = {1, char(u), 0, 0};
    else if (u < 0x800)
      t[b] = {2, char(0xC0 | u >> 6), char(0x80 | (u & 0x3F)), 0};
    else
      t[b] = {3, char(0xE0 | u >> 12), char(0x80 | ((u >> 6) & 0x3F)), char(0x80 | (u & 0x3F))};
  }
  return t;
}

}  // namespace

void appendUtf8(CodePage page, QByteArrayView bytes, std::string& out) {
  static const std::array<Utf8Table, 4> tables = {makeUtf8Table(CodePage::Windows1251), makeUtf8Table(CodePage::Dos866),
                                                  makeUtf8Table(CodePage::Windows1252), makeUtf8Table(CodePage::Dos437)};
  const Utf8Table& table = tables[static_cast<std::size_t>(page)];
  char buffer[3 * 64];
  for (qsizetype from = 0; from < bytes.size(); from += 64) {
    std::size_t used = 0;
    for (const char c : bytes.sliced(from, std::min<qsizetype>(64, bytes.size() - from))) {
      const std::array<char, 4>& u = table[static_cast<unsigned char>(c)];
      std::memcpy(buffer + used, &u[1], 3);
      used += static_cast<std::size_t>(u[0]);
    }
    out.append(buffer, used);
  }
}

QByteArray toCodePage(CodePage page, QStringView text) {
  QByteArray out;
  out.resize(text.size());
  const ReverseTable& reverse = reverseTable(page);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t u = text[i].unicode();
    if (u < 0x80) {
      out[i] = static_cast<char>(u);
    } else {
      const auto it = reverse.find(u);
      out[i] = it == reverse.end() ? '?' : static_cast<char>(it->second);
    }
  }
  return out;
}

qsizetype firstUnencodable(CodePage page, QStringView text) {
  const ReverseTable& reverse = reverseTable(page);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t u = text[i].unicode();
    if (u >= 0x80 && reverse.find(u) == reverse.end()) return i;
  }
  return -1;
}

QString unencodableAt(QStringView text, qsizetype at) {
  if (at < 0 || at >= text.size()) return {};
  const bool pair = text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate();
  return text.mid(at, pair ? 2 : 1).toString();
}

QString codePageDescription(CodePage page) {
  switch (page) {
    case CodePage::Windows1251:
      return QStringLiteral("1251 (кириллица Windows)");
    case CodePage::Dos866:
      return QStringLiteral("866 (кириллица DOS)");
    case CodePage::Windows1252:
      return QStringLiteral("1252 (западноевропейская Windows, без русских букв)");
    case CodePage::Dos437:
      return QStringLiteral("437 (английская DOS, без русских букв)");
  }
  return QString::number(codePageNumber(page));
}

}  // namespace hv
