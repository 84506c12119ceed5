#include "store/db_table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"
#include "store/dbf_file.h"
#include "store/mdx_file.h"
#include "store/sort_keys.h"
#include "store/table_errors.h"

namespace hv {

using namespace hv::store;

namespace {

QString sysError() { return QString::fromLocal8Bit(std::strerror(errno)); }

[[noreturn]] void fail(const QString& text) { throw hv::Error(text); }

void writeAllAt(int fd, const void* data, size_t length, std::uint64_t offset) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t n = ::pwrite(fd, p, length, off_t(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(QStringLiteral("Cannot write the table file: %1").arg(sysError()));
    }
    if (n == 0) fail(QStringLiteral("Cannot write the table file: no space"));
    p += n;
    length -= size_t(n);
    offset += std::uint64_t(n);
  }
}

void syncFolder(const QString& folder) {
  const int dfd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

// Writes `bytes` to a new file beside `path` and puts it in place with one
// rename, so that `path` is always either the old or the new file. Only the
// index file goes through here: it is rebuilt from the rows whenever it is
// missing or unreadable, so it is not forced to disk first.
void replaceFile(const QString& path, const QByteArray& bytes, bool durable) {
  const QFileInfo fi(path);
  QByteArray tmpl = QFile::encodeName(fi.absolutePath() + QStringLiteral("/.") + fi.fileName() + QStringLiteral(".XXXXXX"));
  const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) fail(QStringLiteral("Cannot write '%1': %2").arg(path, sysError()));
  try {
    writeAllAt(fd, bytes.constData(), size_t(bytes.size()), 0);
    if (durable && ::fsync(fd) != 0) fail(QStringLiteral("Cannot write '%1': %2").arg(path, sysError()));
    ::fchmod(fd, 0644);
    if (::rename(tmpl.constData(), QFile::encodeName(path).constData()) != 0)
      fail(QStringLiteral("Cannot write '%1': %2").arg(path, sysError()));
  } catch (...) {
    ::close(fd);
    ::unlink(tmpl.constData());
    throw;
  }
  ::close(fd);
  if (durable) syncFolder(fi.absolutePath());
}

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

KeyKind keyKindFor(const FieldInfo& f) {
  if (f.name == QLatin1String("DATE")) return KeyKind::Date;
  if (f.name == QLatin1String("W") || f.name == QLatin1String("W_MIN") || f.name == QLatin1String("W_MAX"))
    return KeyKind::Moisture;
  if (f.type == 'N' || f.type == 'F') return KeyKind::Integer;
  return KeyKind::Text;
}

bool validTagName(const QString& tag) {
  if (tag.isEmpty() || tag.size() > 10) return false;
  for (QChar c : tag)
    if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('_')) return false;
  return true;
}

struct SortItem {
  std::uint64_t k0, k1;
  std::uint32_t record;
};

std::uint64_t bigEndian(const char* p, int n) {
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | (i < n ? static_cast<unsigned char>(p[i]) : 0u);
  return v;
}

// Stable LSD radix sort on (k0, k1), 16 bits a pass; passes whose digit is
// the same in every item are skipped. Stable, so equal keys keep record order.
void radixSort(std::vector<SortItem>& items) {
  constexpr int kPasses = 8;
  auto digit = [](const SortItem& it, int pass) -> unsigned {
    const std::uint64_t word = pass < 4 ? it.k1 : it.k0;
    return unsigned(word >> (16 * (pass % 4))) & 0xFFFFu;
  };
  std::vector<std::uint32_t> counts(size_t(kPasses) * 65536, 0);
  for (const SortItem& it : items)
    for (int p = 0; p < kPasses; ++p) ++counts[size_t(p) * 65536 + digit(it, p)];
  std::vector<SortItem> other(items.size());
  for (int p = 0; p < kPasses; ++p) {
    std::uint32_t* c = counts.data() + size_t(p) * 65536;
    if (items.empty() || c[digit(items.front(), p)] == items.size()) continue;
    std::uint32_t sum = 0;
    for (int i = 0; i < 65536; ++i) {
      const std::uint32_t n = c[i];
      c[i] = sum;
      sum += n;
    }
    for (const SortItem& it : items) other[c[digit(it, p)]++] = it;
    items.swap(other);
  }
}

}  // namespace

struct TDbTable::Impl {
  struct Tag {
    QString name;
    int field = -1;
    bool descending = false;
    KeyDesc desc;
    std::vector<std::uint32_t> order;  // every record, deleted ones too, in tag order
    std::vector<char> sortedKeys;      // the keys in tag order, from the last sort until the .mdx is written
    bool dirty = true;
  };

  QString folder, name;
  bool readOnly = false;

  int fd = -1;
  const unsigned char* map = nullptr;
  size_t mapCapacity = 0;
  std::uint64_t fileSize = 0;
  TableLayout layout;
  std::uint32_t count = 0;
  int arcField = -1;
  mode_t fileMode = 0644;

  QString filterText;
  bool filtered = false;
  bool hasArc = false;
  int arcValue = 0;
  QString indexName;
  std::vector<Tag> tags;
  bool mdxDirty = false;

  // Per record: its N_ARC value, and kMetaDeleted when marked deleted; kept
  // in step with every write so that filtering never rereads the file.
  static constexpr std::uint32_t kMetaDeleted = 1u << 16;
  std::vector<std::uint32_t> meta;
  std::vector<std::uint32_t> view;
  bool viewDirty = true;  // the view must be built again (filter, order)
  // Rows deleted or moved out of the filter since the view was built stay in
  // it as holes until the next call that needs positions; deleting many rows
  // one by one then costs no more than deleting one.
  bool holes = false;
  std::vector<std::int32_t> posOf;  // record -> its place in the view, -1 when not in it
  std::int64_t cur = -1;  // record of the current row
  std::int64_t pos = -1;  // its place in the view
  bool eof = true, bof = true;

  State state = State::Inactive;
  std::string buf;
  std::int64_t editRecord = -1;
  bool modified = false;
  std::int64_t savedCur = -1, savedPos = -1;

  QString path() const { return folder.isEmpty() ? name : QDir(folder).filePath(name); }
  bool active() const { return fd >= 0; }
  bool filterOn() const { return filtered && hasArc; }

  void checkActive() const {
    if (!active()) fail(QStringLiteral("Cannot perform this operation on a closed dataset"));
  }
  void checkWritable() const {
    if (readOnly) fail(QStringLiteral("Cannot modify a read-only table"));
  }

  const char* record(std::uint32_t r) const {
    return reinterpret_cast<const char*>(map) + layout.headerLength + std::uint64_t(r) * std::uint64_t(layout.recordLength);
  }
  std::uint64_t recordOffset(std::uint32_t r) const {
    return std::uint64_t(layout.headerLength) + std::uint64_t(r) * std::uint64_t(layout.recordLength);
  }
  std::uint32_t metaOf(const char* rec) const {
    const FieldInfo& f = layout.fields[size_t(arcField)];
    const auto arc = std::uint16_t(parseInt16(std::string_view(rec + f.offset, size_t(f.width))));
    return arc | (rec[0] == char(kDeletedMark) ? kMetaDeleted : 0u);
  }
  void ensureMeta() {
    if (meta.size() > count) meta.clear();
    meta.reserve(count);
    for (std::uint32_t r = std::uint32_t(meta.size()); r < count; ++r) meta.push_back(metaOf(record(r)));
  }
  void updateMeta(std::uint32_t r) {
    if (r < meta.size()) meta[r] = metaOf(record(r));
  }
  bool passes(std::uint32_t r) const {
    const std::uint32_t m = meta[r];
    if (m & kMetaDeleted) return false;
    return !filterOn() || std::int16_t(std::uint16_t(m & 0xFFFF)) == arcValue;
  }

  int fieldIndex(const QString& field) const {
    const int i = layout.indexOf(field);
    if (i < 0) fail(QStringLiteral("Field '%1' not found").arg(field));
    return i;
  }

  // --- mapping ------------------------------------------------------------
  void mapFile() {
    const size_t page = size_t(::sysconf(_SC_PAGESIZE));
    size_t want = size_t(fileSize) + std::max<size_t>(size_t(fileSize) / 4, size_t(4) << 20);
    want = (want + page - 1) / page * page;
    void* m = ::mmap(nullptr, want, PROT_READ, MAP_SHARED, fd, 0);
    if (m == MAP_FAILED) fail(QStringLiteral("Cannot map the table file: %1").arg(sysError()));
    map = static_cast<const unsigned char*>(m);
    mapCapacity = want;
  }
  void unmapFile() {
    if (map) ::munmap(const_cast<unsigned char*>(map), mapCapacity);
    map = nullptr;
    mapCapacity = 0;
  }
  void ensureMapped() {
    if (fileSize <= mapCapacity) return;
    unmapFile();
    mapFile();
  }

  // --- order and view -------------------------------------------------------
  Tag* findTag(const QString& tag) {
    for (auto& t : tags)
      if (t.name.compare(tag, Qt::CaseInsensitive) == 0) return &t;
    return nullptr;
  }
  Tag* activeTag() { return indexName.isEmpty() ? nullptr : findTag(indexName); }

  KeyDesc descFor(int field) const {
    const FieldInfo& f = layout.fields[size_t(field)];
    const KeyKind kind = keyKindFor(f);
    KeyField time;
    if (kind == KeyKind::Date) {
      const int t = layout.indexOf(QStringLiteral("TIME"));
      if (t >= 0) time = {layout.fields[size_t(t)].offset, layout.fields[size_t(t)].width};
    }
    return makeKeyDesc(kind, f.name, {f.offset, f.width}, time);
  }

  void sortTag(Tag& t) {
    if (!t.dirty) return;
    const int len = t.desc.length;
    const bool desc = t.descending;
    // Radix sorting pays off on big tables; small ones compare.
    const bool radix = len <= 16 && count >= 4096;
    std::vector<SortItem> items(count);
    std::vector<char> flat;
    if (len > 16) flat.resize(size_t(count) * size_t(len));
    for (std::uint32_t r = 0; r < count; ++r) {
      char small[16] = {};
      char* k = len > 16 ? flat.data() + size_t(r) * size_t(len) : small;
      makeKey(t.desc, record(r), k);
      std::uint64_t k0 = bigEndian(k, len), k1 = bigEndian(k + 8, len - 8);
      if (desc && radix) {  // complemented keys sort the other way round
        k0 = ~k0;
        k1 = ~k1;
      }
      items[r] = {k0, k1, r};
    }
    if (radix) {
      radixSort(items);
    } else {
      auto compare = [&](const SortItem& a, const SortItem& b) {
        if (a.k0 != b.k0) return a.k0 < b.k0 ? -1 : 1;
        if (a.k1 != b.k1) return a.k1 < b.k1 ? -1 : 1;
        if (len <= 16) return 0;
        return std::memcmp(flat.data() + size_t(a.record) * size_t(len) + 16,
                           flat.data() + size_t(b.record) * size_t(len) + 16, size_t(len - 16));
      };
      // Equal keys keep record order in both directions.
      std::sort(items.begin(), items.end(), [&](const SortItem& a, const SortItem& b) {
        const int c = compare(a, b);
        if (c != 0) return desc ? c > 0 : c < 0;
        return a.record < b.record;
      });
    }
    t.order.resize(count);
    // The index file is written in tag order: its keys are kept here so that
    // writing it does not revisit the records in random order.
    t.sortedKeys.resize(size_t(count) * size_t(len));
    char* k = t.sortedKeys.data();
    for (std::uint32_t i = 0; i < count; ++i, k += len) {
      const SortItem& it = items[i];
      t.order[i] = it.record;
      if (len > 16) {
        std::memcpy(k, flat.data() + size_t(it.record) * size_t(len), size_t(len));
      } else {
        const bool flipped = desc && radix;
        const std::uint64_t k0 = flipped ? ~it.k0 : it.k0, k1 = flipped ? ~it.k1 : it.k1;
        for (int b = 0; b < len; ++b) k[b] = char(b < 8 ? k0 >> (56 - 8 * b) : k1 >> (56 - 8 * (b - 8)));
      }
    }
    t.dirty = false;
  }

  void indexPositions() {
    posOf.assign(count, -1);
    for (size_t i = 0; i < view.size(); ++i) posOf[view[i]] = std::int32_t(i);
  }

  // Builds the view again when needed, or closes its holes; the current
  // record stays current while it is in the view, else the first row is.
  void ensureView() {
    if (!active() || (!viewDirty && !holes)) return;
    ensureMeta();
    if (viewDirty) {
      view.clear();
      if (Tag* t = activeTag()) {
        sortTag(*t);
        for (std::uint32_t r : t->order)
          if (r < count && passes(r)) view.push_back(r);
      } else {
        view.reserve(filterOn() ? count / 2 : count);
        for (std::uint32_t r = 0; r < count; ++r)
          if (passes(r)) view.push_back(r);
      }
    } else {
      view.erase(std::remove_if(view.begin(), view.end(), [&](std::uint32_t r) { return !passes(r); }), view.end());
    }
    viewDirty = false;
    holes = false;
    indexPositions();
    pos = cur >= 0 && cur < std::int64_t(count) ? posOf[size_t(cur)] : -1;
    if (pos < 0) {
      pos = view.empty() ? -1 : 0;
      cur = view.empty() ? std::int64_t(-1) : std::int64_t(view[0]);
      bof = true;
      eof = view.empty();
    }
  }

  // Positions are usable without closing the holes (bookmark lookups while
  // rows are deleted one after another).
  void ensureBuilt() {
    if (viewDirty) ensureView();
  }

  void setPos(std::int64_t p) {
    pos = p;
    cur = p >= 0 && p < std::int64_t(view.size()) ? std::int64_t(view[size_t(p)]) : std::int64_t(-1);
  }

  // The current row left the view: the next row becomes current, or the
  // previous one at the end.
  void leaveCurrentRow() {
    holes = true;
    std::int64_t p = pos + 1;
    while (p < std::int64_t(view.size()) && !passes(view[size_t(p)])) ++p;
    if (p >= std::int64_t(view.size())) {
      p = pos - 1;
      while (p >= 0 && !passes(view[size_t(p)])) --p;
    }
    setPos(p);
    bof = eof = p < 0;
  }

  // --- the production index file ------------------------------------------
  QString mdxPath() const { return TDbTable::mdxPathFor(path()); }
  bool writesIndexFile() const { return !readOnly; }

  void setMdxFlag(bool on) {
    const unsigned char b = on ? 1 : 0;
    writeAllAt(fd, &b, 1, kMdxFlagOffset);
    layout.mdxFlag = on;
  }

  void writeMdx() {
    if (!writesIndexFile()) return;
    if (tags.empty()) {
      removeMdx();
      return;
    }
    std::vector<MdxTagOut> out;
    for (auto& t : tags) {
      sortTag(t);
      MdxTagOut o;
      o.name = t.name;
      o.expression = t.desc.expression;
      o.keyLength = t.desc.length;
      o.descending = t.descending;
      o.fieldKey = t.desc.kind == KeyKind::Text;
      o.order = &t.order;
      const KeyDesc desc = t.desc;
      if (t.sortedKeys.size() == size_t(count) * size_t(desc.length))
        o.sortedKeys = t.sortedKeys.data();
      else
        o.key = [this, desc](std::uint32_t r, char* k) { makeKey(desc, record(r), k); };
      out.push_back(std::move(o));
    }
    replaceFile(mdxPath(), buildMdx(QFileInfo(path()).completeBaseName(), out), false);
    for (auto& t : tags) std::vector<char>().swap(t.sortedKeys);
    if (!layout.mdxFlag) setMdxFlag(true);
    mdxDirty = false;
  }

  void removeMdx() {
    if (!writesIndexFile()) return;
    if (layout.mdxFlag) setMdxFlag(false);
    ::unlink(QFile::encodeName(mdxPath()).constData());
    mdxDirty = false;
  }

  // Tags found in an .mdx left from an earlier session are rebuilt from the rows.
  void loadTags() {
    if (!layout.mdxFlag) return;
    const QString mdx = mdxPath();
    std::vector<MdxTagIn> found;
    bool readable = false;
    QFile f(mdx);
    if (f.open(QIODevice::ReadOnly)) {
      try {
        found = readMdx(f.readAll());
        readable = true;
      } catch (const hv::Error&) {
      }
    }
    if (!readable) {
      // The flag promises an index we cannot use: open without it.
      if (!readOnly) setMdxFlag(false);
      return;
    }
    for (const auto& in : found) {
      if (!validTagName(in.name) || findTag(in.name)) continue;
      for (size_t i = 0; i < layout.fields.size(); ++i) {
        const KeyDesc desc = descFor(int(i));
        if (desc.expression == in.expression) {
          tags.push_back({in.name, int(i), in.descending, desc, {}, {}, true});
          // Left behind by a process that stopped before writing it again.
          if (in.records.size() != count) mdxDirty = true;
          break;
        }
      }
    }
  }

  // --- editing --------------------------------------------------------------
  void checkBrowseMode(TDbTable* self) {
    if (state == State::Edit || state == State::Insert) {
      if (modified)
        self->post();
      else
        self->cancel();
    }
  }

  void markChanged(const std::string& before, const std::string& after, bool inserted) {
    for (auto& t : tags) {
      if (t.dirty) continue;
      bool changed = inserted;
      if (!changed) {
        std::vector<char> a(size_t(t.desc.length) + 1), b(size_t(t.desc.length) + 1);
        makeKey(t.desc, before.data(), a.data());
        makeKey(t.desc, after.data(), b.data());
        changed = std::memcmp(a.data(), b.data(), size_t(t.desc.length)) != 0;
      }
      if (changed) {
        t.dirty = true;
        mdxDirty = true;
      }
    }
  }
};

TDbTable::TDbTable() : d(std::make_unique<Impl>()) {}

TDbTable::~TDbTable() {
  try {
    close();
  } catch (...) {
  }
}

void TDbTable::setTableName(const QString& name) { d->name = name; }
void TDbTable::setFilePath(const QString& folder) { d->folder = folder; }
QString TDbTable::tableName() const { return d->name; }
QString TDbTable::filePath() const { return d->folder; }
void TDbTable::setFileName(const QString& fullPath) {
  const QFileInfo fi(fullPath);
  d->folder = fi.path();
  d->name = fi.fileName();
}
QString TDbTable::fileName() const { return d->path(); }

QString TDbTable::mdxPathFor(const QString& dbPath) {
  const QFileInfo fi(dbPath);
  const QString base = fi.fileName().contains(QLatin1Char('.')) ? fi.completeBaseName() : fi.fileName();
  const QString dir = dbPath.contains(QLatin1Char('/')) ? fi.path() + QLatin1Char('/') : QString();
  return dir + base + QStringLiteral(".mdx");
}

void TDbTable::setReadOnly(bool on) {
  if (active()) fail(QStringLiteral("Cannot perform this operation on an open dataset"));
  d->readOnly = on;
}
bool TDbTable::readOnly() const { return d->readOnly; }

void TDbTable::createTable() {
  if (active()) fail(QStringLiteral("Cannot perform this operation on an open dataset"));
  const QString path = d->path();
  if (d->name.isEmpty()) fail(QStringLiteral("No table name"));
  // A file that someone holds open is not replaced under them.
  const int old = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (old >= 0) {
    const bool busy = ::flock(old, LOCK_EX | LOCK_NB) != 0;
    ::close(old);
    if (busy) throw TableInUseError(QStringLiteral("Table '%1' is in use").arg(path));
  }
  QByteArray bytes = newMeasurementHeader();
  bytes.append(char(kFileEnd));
  replaceFile(path, bytes, true);
  ::unlink(QFile::encodeName(mdxPathFor(path)).constData());
}

void TDbTable::open() {
  if (active()) return;
  const QString path = d->path();
  if (d->name.isEmpty()) fail(QStringLiteral("No table name"));
  const int fd = ::open(QFile::encodeName(path).constData(), (d->readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
  if (fd < 0) fail(QStringLiteral("Cannot open table '%1': %2").arg(path, sysError()));
  try {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) fail(QStringLiteral("'%1' is not a table file").arg(path));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) throw TableInUseError(QStringLiteral("Table '%1' is in use").arg(path));
    const std::uint64_t size = std::uint64_t(st.st_size);
    std::vector<unsigned char> head(size_t(std::min<std::uint64_t>(size, 65536 + 64)));
    size_t got = 0;
    while (got < head.size()) {
      const ssize_t n = ::pread(fd, head.data() + got, head.size() - got, off_t(got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += size_t(n);
    }
    TableLayout layout = parseHeader(head.data(), got, size);
    requireMeasurementFields(layout);
    d->fd = fd;
    d->fileMode = st.st_mode & 07777;
    d->fileSize = size;
    d->layout = layout;
    d->count = layout.recordCount;
    d->arcField = layout.indexOf(QStringLiteral("N_ARC"));
    d->mapFile();
  } catch (...) {
    d->unmapFile();
    d->fd = -1;
    ::close(fd);
    throw;
  }
  d->tags.clear();
  d->meta.clear();
  d->mdxDirty = false;
  try {
    d->loadTags();
  } catch (const hv::Error&) {
    d->tags.clear();
  }
  if (!d->indexName.isEmpty() && !d->findTag(d->indexName)) d->indexName.clear();
  d->state = State::Browse;
  d->cur = -1;
  d->viewDirty = true;
  d->ensureView();
}

void TDbTable::close() {
  if (!active()) return;
  if (d->state == State::Edit || d->state == State::Insert) cancel();
  QString error;
  if (d->mdxDirty && !d->tags.empty()) {
    try {
      d->writeMdx();
    } catch (const hv::Error& e) {
      error = e.text();
    }
  }
  if (!d->readOnly) ::fdatasync(d->fd);
  d->unmapFile();
  ::close(d->fd);
  d->fd = -1;
  d->state = State::Inactive;
  d->tags.clear();
  d->meta.clear();
  d->view.clear();
  d->posOf.clear();
  d->holes = false;
  d->viewDirty = true;
  d->cur = d->pos = -1;
  d->eof = d->bof = true;
  if (!error.isEmpty()) fail(error);
}

bool TDbTable::active() const { return d->active(); }

// --- filter and order ---------------------------------------------------

void TDbTable::setFilter(const QString& filter) {
  const QString text = filter.trimmed();
  bool has = false;
  int value = 0;
  if (!text.isEmpty()) {
    const int eq = text.indexOf(QLatin1Char('='));
    bool ok = false;
    if (eq > 0 && text.left(eq).trimmed().compare(QLatin1String("N_ARC"), Qt::CaseInsensitive) == 0)
      value = text.mid(eq + 1).trimmed().toInt(&ok);
    if (!ok) fail(QStringLiteral("Unsupported filter '%1'").arg(filter));
    has = true;
  }
  if (active()) d->checkBrowseMode(this);
  d->filterText = filter;
  d->hasArc = has;
  d->arcValue = value;
  d->viewDirty = true;
}
QString TDbTable::filter() const { return d->filterText; }
void TDbTable::setFiltered(bool on) {
  if (active()) d->checkBrowseMode(this);
  d->filtered = on;
  d->viewDirty = true;
}
bool TDbTable::filtered() const { return d->filtered; }

void TDbTable::refresh() {
  d->checkActive();
  d->checkBrowseMode(this);
  d->viewDirty = true;
  d->ensureView();
}

void TDbTable::setIndexName(const QString& tag) {
  if (active()) d->checkBrowseMode(this);
  d->indexName = tag.trimmed();
  if (active() && !d->indexName.isEmpty() && !d->findTag(d->indexName)) d->indexName.clear();
  d->viewDirty = true;
}
QString TDbTable::indexName() const { return d->indexName; }

// --- counting and navigation --------------------------------------------

int TDbTable::recordCount() {
  if (!active()) return 0;
  d->ensureView();
  return int(d->view.size());
}

void TDbTable::first() {
  d->checkActive();
  d->checkBrowseMode(this);
  d->ensureView();
  d->setPos(d->view.empty() ? -1 : 0);
  d->bof = true;
  d->eof = d->view.empty();
}

void TDbTable::last() {
  d->checkActive();
  d->checkBrowseMode(this);
  d->ensureView();
  d->setPos(std::int64_t(d->view.size()) - 1);
  d->eof = true;
  d->bof = d->view.empty();
}

void TDbTable::next() {
  d->checkActive();
  d->checkBrowseMode(this);
  d->ensureView();
  if (d->pos + 1 < std::int64_t(d->view.size())) {
    d->setPos(d->pos + 1);
    d->bof = d->eof = false;
  } else {
    d->eof = true;
  }
}

void TDbTable::prior() {
  d->checkActive();
  d->checkBrowseMode(this);
  d->ensureView();
  if (d->pos > 0) {
    d->setPos(d->pos - 1);
    d->bof = d->eof = false;
  } else {
    d->bof = true;
  }
}

bool TDbTable::eof() const {
  if (!active()) return true;
  d->ensureView();
  return d->eof;
}
bool TDbTable::bof() const {
  if (!active()) return true;
  d->ensureView();
  return d->bof;
}
bool TDbTable::isEmpty() { return recordCount() == 0; }

int TDbTable::rowIndex() const {
  if (!active()) return -1;
  d->ensureView();
  return int(d->pos);
}

void TDbTable::moveToRow(int row) {
  d->checkActive();
  d->checkBrowseMode(this);
  d->ensureView();
  if (d->view.empty()) return;
  d->setPos(std::clamp<std::int64_t>(row, 0, std::int64_t(d->view.size()) - 1));
  d->bof = d->eof = false;
}

TDbTable::Bookmark TDbTable::bookmark() const {
  if (!active()) return -1;
  if (d->state == State::Insert) return d->editRecord;
  d->ensureView();
  return d->cur;
}

bool TDbTable::gotoBookmark(Bookmark b) {
  d->checkActive();
  d->checkBrowseMode(this);
  d->ensureBuilt();
  if (b < 0 || b >= std::int64_t(d->count) || size_t(b) >= d->posOf.size()) return false;
  const std::int32_t p = d->posOf[size_t(b)];
  if (p < 0 || !d->passes(std::uint32_t(b))) return false;
  d->setPos(p);
  d->bof = d->eof = false;
  return true;
}

TDbTable::Bookmark TDbTable::bookmarkAtRow(int row) {
  if (!active()) return -1;
  d->ensureView();
  if (row < 0 || size_t(row) >= d->view.size()) return -1;
  return d->view[size_t(row)];
}

namespace {

std::optional<QString> decodeField(const FieldInfo& f, const char* rec) {
  std::string_view v = trimBlanks(std::string_view(rec + f.offset, size_t(f.width)));
  if (f.type != 'C')
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
  if (v.empty()) return std::nullopt;
  return fromCp1251(QByteArrayView(v.data(), qsizetype(v.size())));
}

}  // namespace

std::optional<QString> TDbTable::fieldTextAt(Bookmark b, const QString& field) {
  d->checkActive();
  const FieldInfo& f = d->layout.fields[size_t(d->fieldIndex(field))];
  if ((d->state == State::Edit || d->state == State::Insert) && b == d->editRecord) return decodeField(f, d->buf.data());
  if (b < 0 || b >= std::int64_t(d->count)) return std::nullopt;
  return decodeField(f, d->record(std::uint32_t(b)));
}

void TDbTable::fieldTextsAt(const std::vector<Bookmark>& records, const QStringList& fields, const FieldTextSink& sink) {
  d->checkActive();
  std::vector<const FieldInfo*> info;
  info.reserve(size_t(fields.size()));
  for (const QString& field : fields) info.push_back(&d->layout.fields[size_t(d->fieldIndex(field))]);
  // A big batch touches most of the file: have its pages mapped in one go
  // rather than one fault at a time. Only a hint; failure changes nothing.
  if (records.size() > 4096 && d->map && d->fileSize > 0) {
#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22
#endif
    void* start = const_cast<unsigned char*>(d->map);
    if (::madvise(start, size_t(d->fileSize), MADV_POPULATE_READ) != 0) ::madvise(start, size_t(d->fileSize), MADV_WILLNEED);
  }
  const bool editing = d->state == State::Edit || d->state == State::Insert;
  QByteArray converted;
  for (size_t i = 0; i < records.size(); ++i) {
    const Bookmark b = records[i];
    const char* rec = nullptr;
    if (editing && b == d->editRecord)
      rec = d->buf.data();
    else if (b >= 0 && b < std::int64_t(d->count))
      rec = d->record(std::uint32_t(b));
    for (int k = 0; k < int(info.size()); ++k) {
      if (!rec) {
        sink(i, k, std::nullopt);
        continue;
      }
      // As decodeField, without a QString for blank or plain ASCII values.
      const FieldInfo& f = *info[size_t(k)];
      std::string_view v = trimBlanks(std::string_view(rec + f.offset, size_t(f.width)));
      if (f.type != 'C')
        while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
      if (v.empty()) {
        sink(i, k, std::nullopt);
        continue;
      }
      if (std::all_of(v.begin(), v.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        sink(i, k, v);  // Windows-1251 and UTF-8 agree on ASCII
        continue;
      }
      converted = fromCp1251(QByteArrayView(v.data(), qsizetype(v.size()))).toUtf8();
      sink(i, k, std::string_view(converted.constData(), size_t(converted.size())));
    }
  }
}

// --- the current row ----------------------------------------------------

std::optional<QString> TDbTable::fieldText(const QString& field) const {
  d->checkActive();
  const FieldInfo& f = d->layout.fields[size_t(d->fieldIndex(field))];
  if (d->state == State::Edit || d->state == State::Insert) return decodeField(f, d->buf.data());
  d->ensureView();
  if (d->cur < 0) return std::nullopt;
  return decodeField(f, d->record(std::uint32_t(d->cur)));
}

int TDbTable::fieldInt(const QString& field) const {
  const std::optional<QString> text = fieldText(field);
  if (!text) return 0;
  const FieldInfo& f = d->layout.fields[size_t(d->fieldIndex(field))];
  if (f.type != 'C') {
    const QByteArray raw = text->toLatin1();
    return parseInt16(std::string_view(raw.constData(), size_t(raw.size())));
  }
  bool ok = false;
  const int v = text->trimmed().toInt(&ok);
  if (!ok) fail(QStringLiteral("'%1' is not a valid integer value").arg(*text));
  return v;
}

TDbTable::State TDbTable::state() const { return d->state; }

void TDbTable::append() {
  d->checkActive();
  d->checkBrowseMode(this);
  d->savedCur = d->cur;
  d->savedPos = d->pos;
  d->buf.assign(size_t(d->layout.recordLength), ' ');
  d->editRecord = d->count;
  d->modified = false;
  d->state = State::Insert;
}

void TDbTable::edit() {
  d->checkActive();
  if (d->state == State::Edit || d->state == State::Insert) return;
  d->ensureView();
  if (d->cur < 0) fail(QStringLiteral("Cannot edit: the table has no current row"));
  const char* rec = d->record(std::uint32_t(d->cur));
  d->buf.assign(rec, size_t(d->layout.recordLength));
  d->editRecord = d->cur;
  d->modified = false;
  d->state = State::Edit;
}

void TDbTable::setFieldText(const QString& field, const QString& value) {
  d->checkActive();
  if (d->state != State::Edit && d->state != State::Insert) fail(QStringLiteral("Dataset not in edit or insert mode"));
  const FieldInfo& f = d->layout.fields[size_t(d->fieldIndex(field))];
  if (f.type != 'C') {
    const QString t = value.trimmed();
    if (t.isEmpty()) {
      std::memset(d->buf.data() + f.offset, ' ', size_t(f.width));
      d->modified = true;
      return;
    }
    bool ok = false;
    const int v = t.toInt(&ok);
    if (!ok) fail(QStringLiteral("'%1' is not a valid integer value").arg(value));
    setFieldInt(field, v);
    return;
  }
  const QByteArray bytes = toCp1251(value).left(f.width);
  char* dst = d->buf.data() + f.offset;
  std::memset(dst, ' ', size_t(f.width));
  std::memcpy(dst, bytes.constData(), size_t(bytes.size()));
  d->modified = true;
}

void TDbTable::setFieldInt(const QString& field, int value) {
  d->checkActive();
  if (d->state != State::Edit && d->state != State::Insert) fail(QStringLiteral("Dataset not in edit or insert mode"));
  const FieldInfo& f = d->layout.fields[size_t(d->fieldIndex(field))];
  const QByteArray text = QByteArray::number(value);
  if (text.size() > f.width) fail(QStringLiteral("Value %1 is out of range for field '%2'").arg(value).arg(f.name));
  char* dst = d->buf.data() + f.offset;
  std::memset(dst, ' ', size_t(f.width));
  if (f.type == 'C')
    std::memcpy(dst, text.constData(), size_t(text.size()));
  else
    std::memcpy(dst + f.width - text.size(), text.constData(), size_t(text.size()));
  d->modified = true;
}

void TDbTable::post() {
  d->checkActive();
  if (d->state != State::Edit && d->state != State::Insert) return;
  d->checkWritable();
  d->buf[0] = char(kLiveMark);
  unsigned char date[3];
  todayBytes(date);
  if (d->state == State::Insert) {
    // Record and end mark first, the count last: a kill in between leaves the
    // old, valid file with a few bytes beyond its last record.
    const std::uint64_t at = d->recordOffset(d->count);
    const std::uint64_t keep = d->fileSize > at ? std::min<std::uint64_t>(d->fileSize - at, std::uint64_t(d->buf.size()) + 1) : 0;
    const std::string saved(reinterpret_cast<const char*>(d->map) + at, size_t(keep));
    std::string data = d->buf;
    data.push_back(char(kFileEnd));
    unsigned char head[7];
    std::memcpy(head, date, 3);
    putU32(head + 3, d->count + 1);
    try {
      writeAllAt(d->fd, data.data(), data.size(), at);
      writeAllAt(d->fd, head, sizeof head, 1);
    } catch (...) {
      // Put the file back as it was.
      if (::ftruncate(d->fd, off_t(d->fileSize)) == 0 && !saved.empty()) {
        try {
          writeAllAt(d->fd, saved.data(), saved.size(), at);
        } catch (...) {
        }
      }
      throw;
    }
    d->fileSize = std::max<std::uint64_t>(d->fileSize, at + data.size());
    d->ensureMapped();
    const std::uint32_t r = d->count++;
    if (d->meta.size() == r) d->meta.push_back(d->metaOf(d->record(r)));
    d->state = State::Browse;
    d->markChanged({}, d->buf, true);
    if (d->viewDirty) {
      d->cur = r;
    } else if (d->meta.size() > r && d->passes(r)) {
      // Shown at the end of the view until the next refresh puts it in its place.
      d->view.push_back(r);
      d->posOf.push_back(std::int32_t(d->view.size() - 1));
      d->setPos(std::int64_t(d->view.size()) - 1);
    } else {
      if (!d->viewDirty) d->posOf.push_back(-1);
      // Not in this view: stay where we were.
      d->cur = d->savedCur;
      d->pos = d->savedPos;
    }
  } else {
    const std::uint32_t r = std::uint32_t(d->editRecord);
    const std::uint64_t at = d->recordOffset(r);
    const std::string before(d->record(r), size_t(d->layout.recordLength));
    try {
      writeAllAt(d->fd, d->buf.data(), d->buf.size(), at);
      writeAllAt(d->fd, date, 3, 1);
    } catch (...) {
      try {
        writeAllAt(d->fd, before.data(), before.size(), at);
      } catch (...) {
      }
      throw;
    }
    d->updateMeta(r);
    d->state = State::Browse;
    d->markChanged(before, d->buf, false);
    // A changed key moves the row at the next refresh; a row that left the
    // filter leaves the view now.
    d->cur = r;
    if (!d->viewDirty && d->meta.size() > r && !d->passes(r) && d->pos >= 0 && d->pos < std::int64_t(d->view.size()) &&
        d->view[size_t(d->pos)] == r)
      d->leaveCurrentRow();
  }
  d->modified = false;
  d->editRecord = -1;
  d->bof = d->eof = d->cur < 0;
}

void TDbTable::cancel() {
  if (d->state != State::Edit && d->state != State::Insert) return;
  if (d->state == State::Insert) {
    d->cur = d->savedCur;
    d->pos = d->savedPos;
  }
  d->state = State::Browse;
  d->modified = false;
  d->editRecord = -1;
}

void TDbTable::deleteRecord() {
  d->checkActive();
  if (d->state == State::Insert) {
    cancel();
    return;
  }
  d->checkBrowseMode(this);
  d->checkWritable();
  d->ensureBuilt();
  if (d->cur < 0 || d->pos < 0) fail(QStringLiteral("Cannot perform this operation on an empty dataset"));
  const unsigned char mark = kDeletedMark;
  writeAllAt(d->fd, &mark, 1, d->recordOffset(std::uint32_t(d->cur)));
  d->ensureMeta();
  d->updateMeta(std::uint32_t(d->cur));
  d->leaveCurrentRow();
}

void TDbTable::pack() {
  d->checkActive();
  d->checkBrowseMode(this);
  d->checkWritable();
  const QString path = d->path();
  const QFileInfo fi(path);
  QByteArray tmpl = QFile::encodeName(fi.absolutePath() + QStringLiteral("/.") + fi.fileName() + QStringLiteral(".XXXXXX"));
  const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) fail(QStringLiteral("Cannot pack '%1': %2").arg(path, sysError()));
  std::uint32_t live = 0;
  try {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) fail(QStringLiteral("Cannot pack '%1': %2").arg(path, sysError()));
    const size_t recLen = size_t(d->layout.recordLength);
    std::string out;
    out.reserve(std::max<size_t>(1 << 20, recLen * 2));
    out.assign(reinterpret_cast<const char*>(d->map), size_t(d->layout.headerLength));
    std::uint64_t written = 0;
    auto flush = [&] {
      writeAllAt(fd, out.data(), out.size(), written);
      written += out.size();
      out.clear();
    };
    for (std::uint32_t r = 0; r < d->count; ++r) {
      const char* rec = d->record(r);
      if (rec[0] == char(kDeletedMark)) continue;
      out.append(rec, recLen);
      ++live;
      if (out.size() >= (1u << 20)) flush();
    }
    out.push_back(char(kFileEnd));
    flush();
    unsigned char head[7];
    todayBytes(head);
    putU32(head + 3, live);
    writeAllAt(fd, head, sizeof head, 1);
    if (::fsync(fd) != 0) fail(QStringLiteral("Cannot pack '%1': %2").arg(path, sysError()));
    ::fchmod(fd, d->fileMode);
    if (::rename(tmpl.constData(), QFile::encodeName(path).constData()) != 0)
      fail(QStringLiteral("Cannot pack '%1': %2").arg(path, sysError()));
    syncFolder(fi.absolutePath());
  } catch (...) {
    ::close(fd);
    ::unlink(tmpl.constData());
    throw;
  }
  d->unmapFile();
  ::close(d->fd);
  d->fd = fd;
  d->count = live;
  d->layout.recordCount = live;
  d->fileSize = d->recordOffset(live) + 1;
  d->meta.clear();
  d->mapFile();
  for (auto& t : d->tags) t.dirty = true;
  d->viewDirty = true;
  d->cur = -1;
  if (!d->tags.empty()) d->writeMdx();
  d->ensureView();
}

// --- production index ---------------------------------------------------

void TDbTable::addIndex(const QString& tag, const QString& field, bool descending) {
  d->checkActive();
  if (!validTagName(tag)) fail(QStringLiteral("Invalid index tag name '%1'").arg(tag));
  const int f = d->fieldIndex(field);
  d->checkBrowseMode(this);
  Impl::Tag* t = d->findTag(tag);
  if (!t) {
    if (d->tags.size() >= size_t(kMdxMaxTags)) fail(QStringLiteral("Too many index tags"));
    d->tags.push_back({});
    t = &d->tags.back();
    t->name = tag;
  }
  t->field = f;
  t->descending = descending;
  t->desc = d->descFor(f);
  t->dirty = true;
  t->order.clear();
  d->sortTag(*t);
  d->mdxDirty = true;
  d->writeMdx();
  if (d->activeTag() == t) d->viewDirty = true;
}

void TDbTable::deleteIndex(const QString& tag) {
  d->checkActive();
  const auto it = std::find_if(d->tags.begin(), d->tags.end(),
                               [&](const Impl::Tag& t) { return t.name.compare(tag, Qt::CaseInsensitive) == 0; });
  if (it == d->tags.end()) return;
  d->checkBrowseMode(this);
  if (d->indexName.compare(tag, Qt::CaseInsensitive) == 0) {
    d->indexName.clear();
    d->viewDirty = true;
  }
  d->tags.erase(it);
  if (d->tags.empty())
    d->removeMdx();
  else
    d->writeMdx();
}

void TDbTable::rebuildIndexes() {
  d->checkActive();
  d->checkBrowseMode(this);
  // The tags follow every posted row (sorted again when a change reached
  // them), so rebuilding sorts what is out of step and writes the index file
  // when it lags behind or is missing.
  for (auto& t : d->tags) d->sortTag(t);
  if (!d->tags.empty() && (d->mdxDirty || !QFile::exists(d->mdxPath()))) d->writeMdx();
  d->viewDirty = true;
}

QStringList TDbTable::tagNames() const {
  QStringList names;
  for (const auto& t : d->tags) names << t.name;
  return names;
}

}  // namespace hv
