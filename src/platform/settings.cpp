#include "platform/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace hv {

namespace {
#ifndef Q_OS_WIN
// The group inside the file mirrors the registry key path.
const QString kGroup = QStringLiteral("Software/Brantel/Hygrovan/1.0");
#endif
}  // namespace

SettingsKey::SettingsKey() = default;
SettingsKey::~SettingsKey() = default;

QString SettingsKey::location() {
#ifdef Q_OS_WIN
  return QStringLiteral("HKEY_CURRENT_USER\\") + QString::fromLatin1(kKeyPath);
#else
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
  return base + QStringLiteral("/Brantel/Hygrovan.conf");
#endif
}

void SettingsKey::open() {
#ifdef Q_OS_WIN
  settings_ = std::make_unique<QSettings>(location(), QSettings::NativeFormat);
#else
  const QString path = location();
  QDir().mkpath(QFileInfo(path).absolutePath());
  settings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
  settings_->beginGroup(kGroup);
#endif
}

bool SettingsKey::hasValue(const QString& name) const {
  return settings_ && settings_->contains(name);
}

QString SettingsKey::readString(const QString& name) const {
  return settings_ ? settings_->value(name).toString() : QString();
}

void SettingsKey::writeString(const QString& name, const QString& value) {
  if (!settings_) return;
  settings_->setValue(name, value);
  settings_->sync();
}

void SettingsKey::removeValue(const QString& name) {
  if (!settings_) return;
  settings_->remove(name);
  settings_->sync();
}

}  // namespace hv
