#pragma once
// The per-user settings key "\Software\Brantel\Hygrovan\1.0" of HKEY_CURRENT_USER.
// On Windows it is the registry; elsewhere an INI file under the user's
// configuration folder ($XDG_CONFIG_HOME, read afresh at every open so tests
// can relocate it) that keeps the same key path and value names.
#include <QString>
#include <memory>

class QSettings;

namespace hv {

class SettingsKey {
 public:
  static constexpr const char* kKeyPath = "Software\\Brantel\\Hygrovan\\1.0";

  SettingsKey();
  ~SettingsKey();
  SettingsKey(const SettingsKey&) = delete;
  SettingsKey& operator=(const SettingsKey&) = delete;

  // Opens the key, creating it when missing. Stays open until destroyed.
  void open();
  bool isOpen() const { return settings_ != nullptr; }

  bool hasValue(const QString& name) const;
  QString readString(const QString& name) const;
  void writeString(const QString& name, const QString& value);
  void removeValue(const QString& name);

  // Where the values live on this platform (a file path, or the registry path).
  static QString location();

 private:
  std::unique_ptr<QSettings> settings_;
};

}  // namespace hv
