#pragma once
// The production index: the table's tags, each one field's order of every
// record, kept in step with the rows and written to the .mdx beside the
// table.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "store/sort_keys.h"
#include "store/table_file.h"

namespace hv::store {

struct IndexTag {
  QString name;
  int field = -1;
  bool descending = false;
  KeyDesc desc;
  std::vector<std::uint32_t> order;  // every record, deleted ones too, in tag order
  std::vector<char> sortedKeys;      // the keys in tag order, from the last sort until the .mdx is written
  bool dirty = true;                 // order must be sorted again
};

// The table's path with its extension replaced by ".mdx".
QString indexPathFor(const QString& tablePath);
// At most ten letters, digits or underscores.
bool validTagName(const QString& tag);

class IndexTags {
 public:
  explicit IndexTags(TableFile& file) : file_(file) {}

  // The tags of an index file left from an earlier opening, to be sorted
  // from the rows; an unusable index file is dropped and the flag cleared.
  void load();
  void clear();
  bool empty() const { return tags_.empty(); }
  QStringList names() const;
  IndexTag* find(const QString& name);
  // The tag's order, sorted first when out of step.
  const std::vector<std::uint32_t>& orderOf(IndexTag& tag);

  // Adds the tag, or replaces the one of that name, and writes the index
  // file. When that fails the tags stay as they were.
  void add(const QString& name, int field, bool descending);
  // False when there is no such tag. The index file goes with the last tag.
  bool remove(const QString& name);
  // Every tag goes, with the index file and the header's flag naming it.
  void removeAll();
  // Sorts every tag that is out of step and writes the index file when it
  // lags behind or is missing.
  void rebuild();
  // Every tag must be sorted again (the records were renumbered).
  void markAllDirty();
  // The index file lags behind the tags.
  bool behind() const { return behind_; }
  void writeFile();

  // A record was written: tags whose key changed are sorted again.
  void recordChanged(const char* before, const char* after);
  void recordAppended();

 private:
  QString path() const { return indexPathFor(file_.path()); }
  bool writesFile() const { return !file_.readOnly(); }
  KeyDesc descFor(int field) const;
  void sort(IndexTag& tag);
  void removeFile();

  TableFile& file_;
  std::vector<IndexTag> tags_;
  bool behind_ = false;
};

}  // namespace hv::store
