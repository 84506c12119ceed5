#pragma once
// Windows-1251 at the edge of the table and workbook files; QString inside.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace hv {

// The Unicode character a Windows-1251 byte stands for (0x98, unassigned, maps to U+FFFD).
char16_t cp1251ToUnicode(unsigned char byte);

// Bytes to text. Never fails.
QString fromCp1251(QByteArrayView bytes);

// Text to bytes; a character the code page cannot hold becomes '?'.
QByteArray toCp1251(QStringView text);

}  // namespace hv
