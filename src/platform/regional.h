#pragma once
// Regional settings the program reads: the decimal separator.
#include <QChar>
#include <QString>

namespace hv {

// The user's decimal separator (from the system locale, unless overridden).
QChar decimalSeparator();

// Tests and the command-line tool pin the separator; a null QChar restores the locale's.
void setDecimalSeparatorOverride(QChar separator);

}  // namespace hv
