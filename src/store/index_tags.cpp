#include "store/index_tags.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/error.h"
#include "platform/file.h"
#include "store/mdx_file.h"
#include "store/row_schema.h"

namespace hv::store {
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

void IndexTags::sort(IndexTag& t) {
  if (!t.dirty) return;
  const std::uint32_t count = file_.count();
  const std::size_t recordLength = std::size_t(file_.layout().recordLength);
  const int len = t.desc.length;
  const bool desc = t.descending;
  // Radix sorting pays off on big tables; small ones compare.
  const bool radix = len <= 16 && count >= 4096;
  std::vector<SortItem> items(count);
  std::vector<char> flat;
  if (len > 16) flat.resize(size_t(count) * size_t(len));
  file_.scan(0, count, [&](std::uint32_t first, std::uint32_t n, const char* bytes) {
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
}

void IndexTags::markAllDirty() {
  for (auto& t : tags_) t.dirty = true;
  behind_ = !tags_.empty();
}

void IndexTags::writeFile() {
  if (!writesFile()) return;
  if (tags_.empty()) {
    removeFile();
    return;
  }
  const std::uint32_t count = file_.count();
  const std::size_t recordLength = std::size_t(file_.layout().recordLength);
  std::vector<MdxTagOut> out;
  std::vector<std::vector<char>> keysByRecord;  // for tags whose sorted keys went with an earlier write
  keysByRecord.reserve(tags_.size());
  for (auto& t : tags_) {
    sort(t);
    MdxTagOut o;
    o.name = t.name;
    o.expression = t.desc.expression;
    o.keyLength = t.desc.length;
    o.descending = t.descending;
    o.fieldKey = t.desc.kind == KeyKind::Text;
    o.order = &t.order;
    const KeyDesc desc = t.desc;
    const std::size_t len = std::size_t(desc.length);
    if (t.sortedKeys.size() == size_t(count) * len) {
      o.sortedKeys = t.sortedKeys.data();
    } else {
      std::vector<char>& keys = keysByRecord.emplace_back(size_t(count) * len);
      file_.scan(0, count, [&](std::uint32_t first, std::uint32_t n, const char* bytes) {
        for (std::uint32_t r = first; r < first + n; ++r, bytes += recordLength) makeKey(desc, bytes, keys.data() + r * len);
      });
      const char* all = keys.data();
      o.key = [all, len](std::uint32_t r, char* k) { std::memcpy(k, all + r * len, len); };
    }
    out.push_back(std::move(o));
  }
  const QByteArray bytes = buildMdx(QFileInfo(file_.path()).completeBaseName(), out);
  try {
    // Rebuilt from the rows whenever it is missing or unreadable, so it is
    // not forced to disk.
    hv::ReplacementFile replacement(path().toStdString());
    replacement.file().writeAt(0, bytes.constData(), std::size_t(bytes.size()));
    replacement.commit(false);
  } catch (const hv::FileError& e) {
    throw hv::Error(QString::fromUtf8(e.what()));
  }
  behind_ = false;
  for (auto& t : tags_) std::vector<char>().swap(t.sortedKeys);
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
        // Left behind by a process that stopped before writing it again.
        if (in.records.size() != file_.count()) behind_ = true;
        break;
      }
    }
  }
}

void IndexTags::add(const QString& name, int field, bool descending) {
  IndexTag* existing = find(name);
  if (!existing && tags_.size() >= size_t(kMdxMaxTags)) fail(QStringLiteral("Слишком много индексов."));
  // Built aside, so that a tag the index file cannot take leaves the tags
  // as they were.
  IndexTag tag;
  tag.name = existing ? existing->name : name;
  tag.field = field;
  tag.descending = descending;
  tag.desc = descFor(field);
  sort(tag);
  std::optional<IndexTag> previous;
  if (existing) {
    previous = std::move(*existing);
    *existing = std::move(tag);
  } else {
    tags_.push_back(std::move(tag));
  }
  const bool wasBehind = behind_;
  behind_ = true;
  try {
    writeFile();
  } catch (...) {
    // When only the header flag failed, the index file holds the new tag
    // and so lags behind the tags put back.
    const bool replaced = !behind_;
    if (previous)
      *find(name) = std::move(*previous);
    else
      tags_.pop_back();
    behind_ = wasBehind || replaced;
    throw;
  }
}

bool IndexTags::remove(const QString& name) {
  const auto it = std::find_if(tags_.begin(), tags_.end(),
                               [&](const IndexTag& t) { return t.name.compare(name, Qt::CaseInsensitive) == 0; });
  if (it == tags_.end()) return false;
  tags_.erase(it);
  behind_ = true;
  if (tags_.empty())
    removeFile();
  else
    writeFile();
  return true;
}

void IndexTags::removeAll() {
  tags_.clear();
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
  for (auto& t : tags_) {
    if (t.dirty) continue;
    t.dirty = true;
    behind_ = true;
  }
}

}  // namespace hv::store
