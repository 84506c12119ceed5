#include "device/port_names.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace hv {

int comPortNumber(const QString& portName) {
  static const QRegularExpression re(QStringLiteral("^\\\\\\\\\\.\\\\COM([0-9]{1,3})$"),
                                     QRegularExpression::CaseInsensitiveOption);
  const auto m = re.match(portName);
  if (!m.hasMatch()) return 0;
  return m.captured(1).toInt();
}

QStringList orderSerialDevices(const QStringList& deviceNames) {
  static const char* const groups[] = {"ttyUSB", "ttyACM", "ttyS"};
  QStringList ordered;
  for (const char* prefix : groups) {
    const QString p = QString::fromLatin1(prefix);
    QList<QPair<int, QString>> found;
    for (const QString& name : deviceNames) {
      if (!name.startsWith(p)) continue;
      bool ok = false;
      const int n = name.mid(p.size()).toInt(&ok);
      if (ok && n >= 0) found.append({n, name});
    }
    std::sort(found.begin(), found.end());
    for (const auto& f : found) ordered.append(f.second);
  }
  return ordered;
}

namespace {
// A legacy UART node exists whether or not a chip sits behind it; the serial
// core reports type 0 for "no port here".
bool uartPresent(const QString& name) {
  QFile type(QStringLiteral("/sys/class/tty/%1/type").arg(name));
  if (!type.open(QIODevice::ReadOnly)) return true;
  return type.readAll().trimmed().toInt() != 0;
}
}  // namespace

QStringList presentSerialDevices() {
  const QStringList names = QDir(QStringLiteral("/dev"))
                                .entryList({QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*"),
                                            QStringLiteral("ttyS*")},
                                           QDir::System | QDir::Files | QDir::NoDotAndDotDot);
  QStringList paths;
  for (const QString& name : orderSerialDevices(names)) {
    if (name.startsWith(QLatin1String("ttyS")) && !uartPresent(name)) continue;
    paths.append(QStringLiteral("/dev/") + name);
  }
  return paths;
}

QString devicePathForPort(const QString& portName) {
  const int n = comPortNumber(portName);
  if (n <= 0) return portName;
  const QString env = qEnvironmentVariable(QStringLiteral("HYGROVAN_COM%1").arg(n).toLatin1().constData());
  if (!env.isEmpty()) return env;
  const QStringList present = presentSerialDevices();
  if (n <= present.size()) return present.at(n - 1);
  return QString();
}

}  // namespace hv
