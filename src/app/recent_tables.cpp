#include "app/recent_tables.h"

#include <QFileInfo>

#include "platform/settings.h"

namespace hv {

namespace {
QString valueName(int n) {
  return QStringLiteral("Recent_%1").arg(n);
}

// One spelling per file, so that a table opened by two names is listed once.
QString normalised(const QString& path) {
  return QFileInfo(path).absoluteFilePath();
}
}  // namespace

RecentTables::RecentTables(SettingsKey& settings) : settings_(settings) {
  for (int n = 1; n <= kCount; ++n) {
    if (!settings_.hasValue(valueName(n))) continue;
    const QString path = settings_.readString(valueName(n));
    if (!path.isEmpty() && !paths_.contains(path)) paths_.append(path);
  }
}

void RecentTables::add(const QString& path) {
  const QString p = normalised(path);
  paths_.removeAll(p);
  paths_.prepend(p);
  while (paths_.size() > kCount) paths_.removeLast();
  store();
}

void RecentTables::remove(const QString& path) {
  if (paths_.removeAll(path) > 0) store();
}

void RecentTables::store() {
  for (int n = 1; n <= kCount; ++n) settings_.writeString(valueName(n), paths_.value(n - 1));
}

}  // namespace hv
