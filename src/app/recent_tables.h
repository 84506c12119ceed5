#pragma once
// The tables opened or created last, newest first, kept with the other
// settings as "Recent_1".."Recent_5".
#include <QString>
#include <QStringList>

namespace hv {

class SettingsKey;

class RecentTables {
 public:
  static constexpr int kCount = 5;

  // Reads the list from the open key; empty values and repeats are skipped.
  explicit RecentTables(SettingsKey& settings);

  const QStringList& paths() const { return paths_; }
  // The path goes first (moved up when listed already); the oldest beyond
  // five falls off. Stored at once, so another window's next start sees it.
  void add(const QString& path);
  // Drops a path, as when its file is gone.
  void remove(const QString& path);

 private:
  void store();

  SettingsKey& settings_;
  QStringList paths_;
};

}  // namespace hv
