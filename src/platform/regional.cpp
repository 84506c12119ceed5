#include "platform/regional.h"

#include <QLocale>

namespace hv {
namespace {
QChar g_override;
}

QChar decimalSeparator() {
  if (!g_override.isNull()) return g_override;
  const QString env = qEnvironmentVariable("HYGROVAN_DECIMAL_SEPARATOR");
  if (env.size() == 1) return env.at(0);
  const QString sep = QLocale::system().decimalPoint();
  return sep.isEmpty() ? QChar('.') : sep.at(0);
}

void setDecimalSeparatorOverride(QChar separator) { g_override = separator; }

}  // namespace hv
