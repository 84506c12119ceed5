#include "platform/error.h"

namespace hv {

QString defaultErrorReportText(const QString& text) {
  if (!text.isEmpty() && text.back() > QChar('.')) return text + QChar('.');
  return text;
}

void throwInvalidFloat(const QString& value) {
  throw Error(QStringLiteral("'%1' is not a valid floating point value").arg(value));
}

void throwInvalidDateTime(const QString& value) {
  throw Error(QStringLiteral("'%1' is not a valid date and time").arg(value));
}

}  // namespace hv
