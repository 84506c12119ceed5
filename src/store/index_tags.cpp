#include "store/index_tags.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>

#include "platform/error.h"
#include "platform/file.h"
#include "store/mdx_file.h"
#include "store/row_schema.h"

namespace hv::store {

// Where a long piece of work reports how far it got and learns that it is
// to stop; both may be absent.
struct TagWork {
  struct Stopped {};
  const std::atomic<bool>* stop = nullptr;
  std::atomic<std::int64_t>* steps = nullptr;
  void advance(std::int64_t n) const {
    if (steps) steps->fetch_add(n, std::memory_order_relaxed);
    if (stop && stop->load(std::memory_order_relaxed)) throw Stopped{};
  }
};

namespace {

[[noreturn]] void fail(const QString& text) { throw hv::Error(text); }

// A field of the row sorts by the form its value is kept in; a numeric field
// by value, any other by its text.
KeyKind keyKindFor(const FieldInfo& f) {
  const std::optional<MeasurementField> field = measurementFieldNamed(f.name);
  const StoredForm form = field ? fieldSpec(*field).form : StoredForm::Text;
  if (form == StoredForm::Date) return KeyKind::Date;
  if (form == StoredForm::Moisture) return KeyKind::Moisture;
  if (f.type == 'N' || f.type == 'F') return KeyKind::Integer;
  if (form == StoredForm::NumberText) return KeyKind::NumberText;
  return KeyKind::Text;
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

QString indexPathFor(const QString& tablePath) {
  const QFileInfo fi(tablePath);
  const QString base = fi.fileName().contains(QLatin1Char('.')) ? fi.completeBaseName() : fi.fileName();
  const QString dir = tablePath.contains(QLatin1Char('/')) ? fi.path() + QLatin1Char('/') : QString();
  return dir + base + QStringLiteral(".mdx");
}

bool validTagName(const QString& tag) {
  if (tag.isEmpty() || tag.size() > 10) return false;
  for (QChar c : tag)
    if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('_')) return false;
  return true;
}

KeyDesc IndexTags::descFor(int field) const {
  const TableLayout& layout = file_.layout();
  const FieldInfo& f = layout.fields[size_t(field)];
  const KeyKind kind = keyKindFor(f);
  KeyField time;
  if (kind == KeyKind::Date) {
    const int t = layout.indexOf(fieldName(MeasurementField::Time));
    if (t >= 0) time = {layout.fields[size_t(t)].offset, layout.fields[size_t(t)].width};
  }
  return makeKeyDesc(kind, f.name, {f.offset, f.width}, time);
}

namespace {

// Keys of at most 16 bytes put into one 64-bit word with the record number
// below them, when they fit: each key byte becomes its rank among the
// values its position takes in this table, in as few bits as those need.
// The ranks keep the byte order, so the words sort as the keys do, and the
// record numbers below keep equal keys in record order in both directions.
class PackedKeys {
 public:
  PackedKeys(int length, std::uint32_t count) : length_(length), recordBits_(std::max(1, int(std::bit_width(count)))) {}
  void see(const char* key) {
    for (int p = 0; p < length_; ++p) seen_[p][static_cast<unsigned char>(key[p])] = 1;
  }
  // After every key was seen: false when they do not fit a word.
  bool plan() {
    int bits = 0;
    for (int p = 0; p < length_; ++p) {
      int n = 0;
      for (int v = 0; v < 256; ++v)
        if (seen_[p][v]) {
          rank_[p][v] = std::uint16_t(n);
          value_[p][n++] = char(v);
        }
      bits_[p] = n > 1 ? int(std::bit_width(unsigned(n - 1))) : 0;
      bits += bits_[p];
    }
    keyBits_ = bits;
    return keyBits_ + recordBits_ <= 64;
  }
  int keyBits() const { return keyBits_; }
  int recordBits() const { return recordBits_; }
  std::uint64_t pack(const char* key, std::uint32_t record, bool flip) const {
    std::uint64_t k = 0;
    for (int p = 0; p < length_; ++p) k = (k << bits_[p]) | rank_[p][static_cast<unsigned char>(key[p])];
    if (flip) k = ~k & keyMask();
    return (k << recordBits_) | record;
  }
  std::uint32_t record(std::uint64_t word) const { return std::uint32_t(word & ((std::uint64_t(1) << recordBits_) - 1)); }
  void unpack(std::uint64_t word, bool flip, char* key) const {
    std::uint64_t k = word >> recordBits_;
    if (flip) k = ~k & keyMask();
    for (int p = length_ - 1; p >= 0; --p) {
      key[p] = value_[p][k & ((std::uint64_t(1) << bits_[p]) - 1)];
      k >>= bits_[p];
    }
  }

 private:
  std::uint64_t keyMask() const { return keyBits_ >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << keyBits_) - 1; }
  int length_;
  int recordBits_;
  int keyBits_ = 0;
  unsigned char seen_[16][256] = {};
  std::uint16_t rank_[16][256] = {};
  char value_[16][256] = {};
  int bits_[16] = {};
};

// Stable LSD radix sort of the n words at `words` on their bits [from,
// from + bits), 11 a pass, through `other` (as many words); passes whose
// digit is the same in every word are skipped. Returns where the sorted
// words ended up.
std::uint64_t* radixSortBits(std::uint64_t* words, std::uint64_t* other, std::size_t n, int from, int bits,
                             const TagWork& work) {
  constexpr int kDigit = 11;
  constexpr std::size_t kBuckets = std::size_t(1) << kDigit;
  const int passes = (bits + kDigit - 1) / kDigit;
  if (passes == 0 || n == 0) return words;
  std::vector<std::uint32_t> counts(std::size_t(passes) * kBuckets, 0);
  for (std::size_t i = 0; i < n; ++i)
    for (int p = 0; p < passes; ++p) ++counts[std::size_t(p) * kBuckets + ((words[i] >> (from + p * kDigit)) & (kBuckets - 1))];
  for (int p = 0; p < passes; ++p) {
    const int shift = from + p * kDigit;
    std::uint32_t* c = counts.data() + std::size_t(p) * kBuckets;
    if (c[(words[0] >> shift) & (kBuckets - 1)] == n) continue;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < kBuckets; ++i) {
      const std::uint32_t k = c[i];
      c[i] = sum;
      sum += k;
    }
    for (std::size_t i = 0; i < n; ++i) other[c[(words[i] >> shift) & (kBuckets - 1)]++] = words[i];
    std::swap(words, other);
    work.advance(0);
  }
  return words;
}

// Keys kept as they were sorted, as bytes or packed.
class ByteKeys : public SortedKeys {
 public:
  ByteKeys(std::vector<char> bytes, int length) : bytes_(std::move(bytes)), length_(std::size_t(length)) {}
  void keyAt(std::size_t position, char* out) const override {
    std::memcpy(out, bytes_.data() + position * length_, length_);
  }

 private:
  std::vector<char> bytes_;
  std::size_t length_;
};

class PackedKeysInOrder : public SortedKeys {
 public:
  PackedKeysInOrder(std::unique_ptr<PackedKeys> packing, std::vector<std::uint64_t> words, std::size_t first,
                    bool flip)
      : packing_(std::move(packing)), words_(std::move(words)), first_(first), flip_(flip) {}
  void keyAt(std::size_t position, char* out) const override {
    packing_->unpack(words_[first_ + position], flip_, out);
  }

 private:
  std::unique_ptr<PackedKeys> packing_;
  std::vector<std::uint64_t> words_;
  std::size_t first_;
  bool flip_;
};

// The tag's order from packed keys; false, with the tag as it was, when the
// keys do not fit a word. One block of memory serves the keys as read, the
// words packed from them in place and the radix sort's second half: fresh
// memory costs more than the sorting.
bool sortPacked(const TableFile& file, IndexTag& t, const TagWork& work) {
  const std::uint32_t count = file.count();
  const std::size_t recordLength = std::size_t(file.layout().recordLength);
  auto packed = std::make_unique<PackedKeys>(t.desc.length, count);
  std::vector<std::uint64_t> words(2 * std::size_t(count));
  // Key r in the 16 bytes at 16 r; word r, packed from it, in the 8 bytes at 8 r.
  char* keys = reinterpret_cast<char*>(words.data());
  std::vector<char> buffer;
  file.scanInto(0, count, buffer, [&](std::uint32_t first, std::uint32_t n, const char* bytes) {
    for (std::uint32_t r = first; r < first + n; ++r, bytes += recordLength) {
      char* k = keys + 16 * std::size_t(r);
      makeKey(t.desc, bytes, k);
      packed->see(k);
    }
    work.advance(n);
  });
  if (!packed->plan()) return false;
  for (std::uint32_t r = 0; r < count; ++r) {
    const std::uint64_t w = packed->pack(keys + 16 * std::size_t(r), r, t.descending);
    words[r] = w;
  }
  const std::uint64_t* sorted =
      radixSortBits(words.data(), words.data() + count, count, packed->recordBits(), packed->keyBits(), work);
  t.order.resize(count);
  for (std::uint32_t i = 0; i < count; ++i) t.order[i] = packed->record(sorted[i]);
  const std::size_t first = std::size_t(sorted - words.data());
  t.sortedKeys = std::make_shared<PackedKeysInOrder>(std::move(packed), std::move(words), first, t.descending);
  work.advance(count);
  return true;
}

// Sorts a tag that is out of step; reads the table through a buffer of its
// own, so it may run on another thread while the table is left alone.
void sortTag(const TableFile& file, IndexTag& t, const TagWork& work) {
  if (!t.dirty) return;
  const std::uint32_t count = file.count();
  const std::size_t recordLength = std::size_t(file.layout().recordLength);
  const int len = t.desc.length;
  const bool desc = t.descending;
  // Radix sorting pays off on big tables; small ones compare.
  const bool radix = len <= 16 && count >= 4096;
  if (radix && sortPacked(file, t, work)) {
    t.dirty = false;
    return;
  }
  std::vector<SortItem> items(count);
  std::vector<char> flat;
  if (len > 16) flat.resize(size_t(count) * size_t(len));
  std::vector<char> buffer;
  file.scanInto(0, count, buffer, [&](std::uint32_t first, std::uint32_t n, const char* bytes) {
    for (std::uint32_t r = first; r < first + n; ++r, bytes += recordLength) {
      char small[16] = {};
      char* k = len > 16 ? flat.data() + size_t(r) * size_t(len) : small;
      makeKey(t.desc, bytes, k);
      std::uint64_t k0 = bigEndian(k, len), k1 = bigEndian(k + 8, len - 8);
      if (desc && radix) {  // complemented keys sort the other way round
        k0 = ~k0;
        k1 = ~k1;
      }
      items[r] = {k0, k1, r};
    }
    if (!radix) work.advance(n);
  });
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
  std::vector<char> sortedKeys(size_t(count) * size_t(len));
  char* k = sortedKeys.data();
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
  t.sortedKeys = std::make_shared<ByteKeys>(std::move(sortedKeys), len);
  work.advance(count);
  t.dirty = false;
}

}  // namespace

void IndexTags::sort(IndexTag& t) { sortTag(file_, t, TagWork{}); }

const std::vector<std::uint32_t>& IndexTags::orderOf(IndexTag& tag) {
  sort(tag);
  return tag.order;
}

IndexTag* IndexTags::find(const QString& name) {
  for (auto& t : tags_)
    if (t.name.compare(name, Qt::CaseInsensitive) == 0) return &t;
  return nullptr;
}

QStringList IndexTags::names() const {
  QStringList out;
  for (const auto& t : tags_) out << t.name;
  return out;
}

void IndexTags::clear() {
  tags_.clear();
  behind_ = false;
  ++generation_;
}

void IndexTags::markAllDirty() {
  for (auto& t : tags_) t.dirty = true;
  behind_ = !tags_.empty();
  ++generation_;
}

void IndexTags::writeFile() {
  if (!writesFile()) return;
  if (tags_.empty()) {
    removeFile();
    return;
  }
  std::vector<const IndexTag*> tags;
  for (auto& t : tags_) {
    sort(t);
    tags.push_back(&t);
  }
  putInPlace(*writeAside(tags, TagWork{}));
}

std::unique_ptr<ReplacementFile> IndexTags::writeAside(const std::vector<const IndexTag*>& tags,
                                                      const TagWork& work) const {
  const std::uint32_t count = file_.count();
  const std::size_t recordLength = std::size_t(file_.layout().recordLength);
  std::vector<MdxTagOut> out;
  std::vector<std::vector<char>> keysByRecord;  // for tags whose sorted keys went with an earlier write
  keysByRecord.reserve(tags.size());
  std::vector<char> buffer;
  for (const IndexTag* t : tags) {
    MdxTagOut o;
    o.name = t->name;
    o.expression = t->desc.expression;
    o.keyLength = t->desc.length;
    o.descending = t->descending;
    o.fieldKey = t->desc.kind == KeyKind::Text;
    o.order = &t->order;
    const KeyDesc desc = t->desc;
    const std::size_t len = std::size_t(desc.length);
    if (t->sortedKeys) {
      o.keyAt = [keys = t->sortedKeys](std::uint32_t i, char* k) { keys->keyAt(i, k); };
    } else {
      std::vector<char>& keys = keysByRecord.emplace_back(size_t(count) * len);
      file_.scanInto(0, count, buffer, [&](std::uint32_t first, std::uint32_t n, const char* bytes) {
        for (std::uint32_t r = first; r < first + n; ++r, bytes += recordLength) makeKey(desc, bytes, keys.data() + r * len);
      });
      const char* all = keys.data();
      o.key = [all, len](std::uint32_t r, char* k) { std::memcpy(k, all + r * len, len); };
    }
    out.push_back(std::move(o));
    work.advance(0);
  }
  const QByteArray bytes = buildMdx(QFileInfo(file_.path()).completeBaseName(), out);
  work.advance(std::int64_t(count) * std::int64_t(tags.size()));
  try {
    // Rebuilt from the rows whenever it is missing or unreadable, so it is
    // not forced to disk.
    auto replacement = std::make_unique<ReplacementFile>(path().toStdString());
    replacement->file().writeAt(0, bytes.constData(), std::size_t(bytes.size()));
    return replacement;
  } catch (const hv::FileError& e) {
    throw hv::Error(QString::fromUtf8(e.what()));
  }
}

void IndexTags::putInPlace(ReplacementFile& file) {
  try {
    file.commit(false);
  } catch (const hv::FileError& e) {
    throw hv::Error(QString::fromUtf8(e.what()));
  }
  behind_ = false;
  for (auto& t : tags_) t.sortedKeys.reset();
  if (!file_.layout().mdxFlag) file_.setIndexFlag(true);
}

void IndexTags::removeFile() {
  if (!writesFile()) return;
  if (file_.layout().mdxFlag) file_.setIndexFlag(false);
  try {
    hv::removeFile(path().toStdString());
  } catch (const hv::FileError&) {
    // The flag no longer names it: a leftover file is never read.
  }
  behind_ = false;
}

void IndexTags::load() {
  if (!file_.layout().mdxFlag) return;
  std::vector<MdxTagIn> found;
  bool readable = false;
  try {
    // Only a regular file, read no further than its header and the table's
    // rows can account for: anything else is a damaged index.
    const hv::File f = hv::File::openForReading(path().toStdString());
    MdxSource source;
    source.size = f.size();
    source.read = [&f](std::uint64_t offset, std::size_t length, unsigned char* out) {
      return f.readAt(offset, out, length) == length;
    };
    MdxLimits limits;
    // A tag holds every record; one from before a pack may hold more.
    limits.maxKeysPerTag = 2 * std::uint64_t(file_.count()) + 4096;
    limits.keys = false;
    found = readMdx(source, limits);
    readable = true;
  } catch (const hv::FileError&) {
  } catch (const hv::Error&) {
  } catch (const std::bad_alloc&) {
  }
  if (!readable) {
    // The flag promises an index we cannot use: open without it.
    if (writesFile()) file_.setIndexFlag(false);
    return;
  }
  const TableLayout& layout = file_.layout();
  for (const auto& in : found) {
    if (!validTagName(in.name) || find(in.name)) continue;
    for (size_t i = 0; i < layout.fields.size(); ++i) {
      const KeyDesc desc = descFor(int(i));
      if (desc.expression == in.expression) {
        tags_.push_back({in.name, int(i), in.descending, desc, {}, {}, true});
        ++generation_;
        // Left behind by a process that stopped before writing it again.
        if (in.records.size() != file_.count()) behind_ = true;
        break;
      }
    }
  }
}

void IndexTags::add(const QString& name, int field, bool descending) {
  const std::unique_ptr<TagBuild> build = beginAdd(name, field, descending);
  const std::atomic<bool> never{false};
  build->run(never);
  finishAdd(*build);
}

std::unique_ptr<TagBuild> IndexTags::beginAdd(const QString& name, int field, bool descending) {
  IndexTag* existing = find(name);
  if (!existing && tags_.size() >= size_t(kMdxMaxTags)) fail(QStringLiteral("Слишком много индексов."));
  // Built aside, so that a tag the index file cannot take leaves the tags
  // as they were.
  std::unique_ptr<TagBuild> b(new TagBuild(*this));
  b->tag_.name = existing ? existing->name : name;
  b->tag_.field = field;
  b->tag_.descending = descending;
  b->tag_.desc = descFor(field);
  b->generation_ = generation_;
  b->records_ = file_.count();
  // Tags out of step are sorted beside too, into copies: the table's
  // thread may sort its own meanwhile.
  for (const auto& t : tags_)
    if (t.dirty && &t != existing) b->stale_.push_back({t.name, t.field, t.descending, t.desc, {}, {}, true});
  std::size_t stale = 0;
  for (const auto& t : tags_) {
    if (&t == existing)
      b->written_.push_back(&b->tag_);
    else
      b->written_.push_back(t.dirty ? &b->stale_[stale++] : &t);
  }
  if (!existing) b->written_.push_back(&b->tag_);
  const std::int64_t sorted = 1 + std::int64_t(b->stale_.size());
  const std::int64_t written = writesFile() ? std::int64_t(b->written_.size()) : 0;
  b->steps_ = std::max<std::int64_t>(1, b->records_ * (2 * sorted + written));
  return b;
}

void IndexTags::finishAdd(TagBuild& b) {
  if (!b.ran_ || b.generation_ != generation_ || b.records_ != std::int64_t(file_.count())) {
    // The tags or the rows changed meanwhile: what was built no longer fits.
    b.file_.reset();
    add(b.tag_.name, b.tag_.field, b.tag_.descending);
    return;
  }
  if (b.file_) {
    try {
      b.file_->commit(false);
    } catch (const hv::FileError& e) {
      throw hv::Error(QString::fromUtf8(e.what()));
    }
  }
  for (auto& s : b.stale_) {
    IndexTag* t = find(s.name);
    if (!t || !t->dirty) continue;
    t->order = std::move(s.order);
    t->dirty = false;
  }
  IndexTag* existing = find(b.tag_.name);
  std::optional<IndexTag> previous;
  if (existing) {
    previous = std::move(*existing);
    *existing = std::move(b.tag_);
  } else {
    tags_.push_back(std::move(b.tag_));
  }
  ++generation_;
  // A table we do not write keeps its tags in memory only.
  behind_ = !b.file_;
  for (auto& t : tags_) t.sortedKeys.reset();
  if (!b.file_ || file_.layout().mdxFlag) return;
  try {
    file_.setIndexFlag(true);
  } catch (...) {
    // The index file holds the new tag and so lags behind the tags put back.
    if (previous)
      *find(previous->name) = std::move(*previous);
    else
      tags_.pop_back();
    behind_ = true;
    throw;
  }
}

TagBuild::~TagBuild() = default;

bool TagBuild::run(const std::atomic<bool>& stop) {
  const TagWork work{&stop, &step_};
  try {
    sortTag(owner_.file_, tag_, work);
    for (auto& s : stale_) sortTag(owner_.file_, s, work);
    if (owner_.writesFile()) file_ = owner_.writeAside(written_, work);
  } catch (const TagWork::Stopped&) {
    file_.reset();
    return false;
  }
  ran_ = true;
  return true;
}

std::int64_t TagBuild::done() const {
  const std::int64_t step = std::min(step_.load(std::memory_order_relaxed), steps_);
  return records_ > 0 ? std::int64_t(double(step) / double(steps_) * double(records_)) : 0;
}

bool IndexTags::remove(const QString& name) {
  const auto it = std::find_if(tags_.begin(), tags_.end(),
                               [&](const IndexTag& t) { return t.name.compare(name, Qt::CaseInsensitive) == 0; });
  if (it == tags_.end()) return false;
  tags_.erase(it);
  ++generation_;
  behind_ = true;
  if (tags_.empty())
    removeFile();
  else
    writeFile();
  return true;
}

void IndexTags::removeAll() {
  tags_.clear();
  ++generation_;
  removeFile();
}

void IndexTags::rebuild() {
  // The tags follow every posted row (sorted again when a change reached
  // them), so rebuilding sorts what is out of step and writes the index file
  // when it lags behind or is missing.
  for (auto& t : tags_) sort(t);
  if (!tags_.empty() && (behind_ || !QFile::exists(path()))) writeFile();
}

void IndexTags::recordChanged(const char* before, const char* after) {
  ++generation_;
  for (auto& t : tags_) {
    if (t.dirty) continue;
    std::vector<char> a(size_t(t.desc.length) + 1), b(size_t(t.desc.length) + 1);
    makeKey(t.desc, before, a.data());
    makeKey(t.desc, after, b.data());
    if (std::memcmp(a.data(), b.data(), size_t(t.desc.length)) != 0) {
      t.dirty = true;
      behind_ = true;
    }
  }
}

void IndexTags::recordAppended() {
  ++generation_;
  for (auto& t : tags_) {
    if (t.dirty) continue;
    t.dirty = true;
    behind_ = true;
  }
}

}  // namespace hv::store
