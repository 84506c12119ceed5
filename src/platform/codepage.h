#pragma once
// The 8-bit code pages of table and workbook files at their edge; QString
// inside. Windows-1251 is the program's own; the others are those a table
// from another program may be marked with.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <string>

namespace hv {

enum class CodePage {
  Windows1251,  // Cyrillic, Windows
  Dos866,       // Cyrillic, DOS
  Windows1252,  // Western, Windows
  Dos437,       // Western, DOS
};

// The code page's number, as in "1251".
int codePageNumber(CodePage page);

// The Unicode character a byte stands for; an unassigned byte gives U+FFFD.
char16_t toUnicode(CodePage page, unsigned char byte);

// Bytes to text. Never fails.
QString fromCodePage(CodePage page, QByteArrayView bytes);

// Bytes to UTF-8, appended to `out`: no QString between.
void appendUtf8(CodePage page, QByteArrayView bytes, std::string& out);

// Text to bytes; a character the code page cannot hold becomes '?'.
QByteArray toCodePage(CodePage page, QStringView text);

// Where the first character the code page cannot hold stands in `text`; -1
// when it holds them all.
qsizetype firstUnencodable(CodePage page, QStringView text);
// That character as text (a pair of surrogates stays whole); empty for -1.
QString unencodableAt(QStringView text, qsizetype at);
// "1252 (западноевропейская)": the number and what the code page is for, for messages.
QString codePageDescription(CodePage page);

inline QString fromCp1251(QByteArrayView bytes) { return fromCodePage(CodePage::Windows1251, bytes); }
inline QByteArray toCp1251(QStringView text) { return toCodePage(CodePage::Windows1251, text); }

}  // namespace hv
