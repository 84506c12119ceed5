#pragma once
// The production index: the table's tags, each one field's order of every
// record, kept in step with the rows and written to the .mdx beside the
// table.
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "store/sort_keys.h"
#include "store/table_file.h"

namespace hv {
class ReplacementFile;
}

namespace hv::store {

// A tag's keys in its order, kept from its sort until the .mdx is written.
class SortedKeys {
 public:
  virtual ~SortedKeys() = default;
  virtual void keyAt(std::size_t position, char* out) const = 0;
};

struct IndexTag {
  QString name;
  int field = -1;
  bool descending = false;
  KeyDesc desc;
  std::vector<std::uint32_t> order;  // every record, deleted ones too, in tag order
  std::shared_ptr<const SortedKeys> sortedKeys;
  bool dirty = true;                 // order must be sorted again
};

// The table's path with its extension replaced by ".mdx".
QString indexPathFor(const QString& tablePath);
// At most ten letters, digits or underscores.
bool validTagName(const QString& tag);

class IndexTags;
struct TagWork;

// A tag added in three steps, so that sorting it and writing the index file
// can run on another thread: IndexTags::beginAdd() on the table's thread,
// run() on any thread while the table is neither written nor closed, then
// IndexTags::finishAdd() on the table's thread again. Until then the tags
// are as they were.
class TagBuild {
 public:
  ~TagBuild();
  TagBuild(const TagBuild&) = delete;
  TagBuild& operator=(const TagBuild&) = delete;
  // False when `stop` was set before it ended.
  bool run(const std::atomic<bool>& stop);
  // How far run() got, counted in the table's records: 0 up to total().
  std::int64_t done() const;
  std::int64_t total() const { return records_; }
  const QString& name() const { return tag_.name; }

 private:
  friend class IndexTags;
  explicit TagBuild(IndexTags& owner) : owner_(owner) {}

  IndexTags& owner_;
  IndexTag tag_;
  std::vector<IndexTag> stale_;               // other tags out of step, sorted here
  std::vector<const IndexTag*> written_;      // every tag of the new index file, in its order
  std::unique_ptr<ReplacementFile> file_;     // the new index file, not yet in place
  std::uint64_t generation_ = 0;              // of the tags at beginAdd()
  std::int64_t records_ = 0;
  std::int64_t steps_ = 1;
  std::atomic<std::int64_t> step_{0};
  bool ran_ = false;
};

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
  // add() in steps (see TagBuild). finishAdd() throws what add() would, and
  // does the work itself when the tags or the rows changed since beginAdd().
  std::unique_ptr<TagBuild> beginAdd(const QString& name, int field, bool descending);
  void finishAdd(TagBuild& build);
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
  // The index file of `tags` (all sorted) written beside its place.
  std::unique_ptr<ReplacementFile> writeAside(const std::vector<const IndexTag*>& tags, const TagWork& work) const;
  // Puts it in place; the tags are in step with it then.
  void putInPlace(ReplacementFile& file);
  void removeFile();
  friend class TagBuild;

  TableFile& file_;
  std::vector<IndexTag> tags_;
  bool behind_ = false;
  std::uint64_t generation_ = 0;  // counts changes of the tags
};

}  // namespace hv::store
