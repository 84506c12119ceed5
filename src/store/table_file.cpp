#include "store/table_file.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file.h"
#include "store/table_errors.h"

namespace hv::store {
namespace {

[[noreturn]] void fail(const QString& text) { throw hv::Error(text); }
[[noreturn]] void fail(const hv::FileError& e) { throw hv::Error(QString::fromUtf8(e.what())); }

std::string nativePath(const QString& path) { return path.toStdString(); }

[[noreturn]] void damaged(const QString& path, const QString& why) {
  throw TableDamagedError(QStringLiteral("Таблица \"%1\" повреждена: %2.").arg(path, why), why);
}

TableInUseError inUse(const QString& path) {
  return TableInUseError(QStringLiteral("Таблица \"%1\" открыта другой программой.").arg(path));
}

constexpr char kCutShort[] = "другая программа укоротила файл";

// Scans read this much at a time; single records come in aligned groups
// when walking in record order either way, so that reads are rare.
constexpr std::size_t kScanBytes = 64 * 1024;
constexpr std::uint32_t kGroupRecords = 32;
// Bytes after the last record kept for taking appends back; no table of
// ours has more than the end mark there.
constexpr std::uint64_t kMaxKeptTail = std::uint64_t(64) << 20;

}  // namespace

struct TableFile::Impl {
  hv::File file;
  QString path;
  bool readOnly = false;
  TableLayout layout;
  CodePage codePage = CodePage::Windows1251;
  std::uint32_t count = 0;
  std::uint64_t fileSize = 0;  // as we last left it
  // The bytes after the last record (the end mark, at most a record more),
  // once read or written by us; put back when an append fails.
  std::string tail;
  bool tailKnown = false;
  std::vector<char> group;     // records [groupFirst, groupFirst + groupCount)
  std::uint32_t groupFirst = 0, groupCount = 0;
  std::vector<char> run;
  // The header as we read or wrote it, and the file we opened.
  std::string header;
  hv::FileIdentity identity;
  WriteWatch* watch = nullptr;
  // Gone through `records` more; gives up when told to stop.
  void progress(std::uint64_t records) {
    if (!watch) return;
    watch->done += std::int64_t(records);
    if (watch->stop) throw TableWriteCancelled(QStringLiteral("Отменено: таблица \"%1\" не изменена.").arg(path));
  }
  // The file as it was at beginAppends().
  struct Appends {
    bool active = false;
    std::uint32_t count = 0;
    std::uint64_t size = 0;
    std::string header, tail;
  } appends;

  std::size_t recordLength() const { return std::size_t(layout.recordLength); }
  std::uint64_t offsetOf(std::uint32_t r) const { return std::uint64_t(layout.headerLength) + std::uint64_t(r) * recordLength(); }

  void checkRecord(std::uint32_t r) const {
    if (r >= count) fail(QStringLiteral("В таблице \"%1\" нет записи %2.").arg(path).arg(r + 1));
  }

  // The bytes must be there: fewer means someone cut the file short.
  void readExactly(std::uint64_t offset, char* out, std::size_t length) const {
    std::size_t got = 0;
    try {
      got = file.readAt(offset, out, length);
    } catch (const hv::FileError& e) {
      fail(e);
    }
    if (got != length) damaged(path, QString::fromUtf8(kCutShort));
  }

  void write(std::uint64_t offset, const void* data, std::size_t length) {
    try {
      file.writeAt(offset, data, length);
    } catch (const hv::FileError& e) {
      fail(e);
    }
  }

  // Header bytes we write go into our copy too.
  void writeHeader(std::size_t at, const void* bytes, std::size_t length) {
    write(at, bytes, length);
    if (at + length <= header.size()) header.replace(at, length, static_cast<const char*>(bytes), length);
  }

  // Before writing: a file another program put under the table's name, or
  // wrote over, is not written into, and neither is one cut short under us
  // (that would fill the gap with zeros and make its damage look like rows).
  void checkIntact() {
    bool otherFile = false;
    try {
      otherFile = !(hv::identityOf(nativePath(path)) == identity);
    } catch (const hv::FileError&) {
      otherFile = true;  // removed or renamed away
    }
    std::string now(header.size(), '\0');
    bool ownIntact = false;
    try {
      ownIntact = file.readAt(0, now.data(), now.size()) == now.size() && now == header;
    } catch (const hv::FileError&) {
    }
    if (otherFile)
      throw TableReplacedError(QStringLiteral("Файл таблицы изменён другой программой: под именем «%1» теперь другой "
                                              "файл или нет никакого. В него ничего не записано.")
                                   .arg(path),
                               ownIntact);
    if (!ownIntact)
      throw TableReplacedError(QStringLiteral("Файл таблицы изменён другой программой: «%1» записан заново, "
                                              "его заголовок уже не тот, что был прочитан. В него ничего не записано.")
                                   .arg(path),
                               false);
    std::uint64_t size = 0;
    try {
      size = file.size();
    } catch (const hv::FileError& e) {
      fail(e);
    }
    if (size < offsetOf(count)) damaged(path, QString::fromUtf8(kCutShort));
  }

  // The cached copy of record r follows a write.
  void updateGroup(std::uint32_t r, std::size_t at, const char* bytes, std::size_t length) {
    if (r >= groupFirst && r < groupFirst + groupCount)
      std::memcpy(group.data() + (r - groupFirst) * recordLength() + at, bytes, length);
  }

  void reset() {
    file.close();
    layout = {};
    count = 0;
    fileSize = 0;
    groupCount = 0;
    tailKnown = false;
    appends = {};
    header.clear();
    std::vector<char>().swap(group);
    std::vector<char>().swap(run);
  }
};

namespace {
constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87u;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Fu;
std::uint64_t rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }
}  // namespace

void ContentDigest::block(const char* bytes) {
  for (int i = 0; i < 4; ++i) {
    std::uint64_t w;
    std::memcpy(&w, bytes + 8 * i, 8);
    lanes_[i] = rotl(lanes_[i] + w * kPrime2, 31) * kPrime1;
  }
}

void ContentDigest::add(const char* bytes, std::size_t n) {
  length_ += n;
  if (carried_ > 0) {
    const std::size_t take = std::min(n, sizeof carry_ - carried_);
    std::memcpy(carry_ + carried_, bytes, take);
    carried_ += take;
    bytes += take;
    n -= take;
    if (carried_ < sizeof carry_) return;
    block(carry_);
    carried_ = 0;
  }
  for (; n >= sizeof carry_; bytes += sizeof carry_, n -= sizeof carry_) block(bytes);
  std::memcpy(carry_, bytes, n);
  carried_ = n;
}

QByteArray ContentDigest::result() const {
  ContentDigest last = *this;
  std::memset(last.carry_ + last.carried_, 0, sizeof carry_ - last.carried_);
  if (last.carried_ > 0) last.block(last.carry_);
  QByteArray out;
  for (std::uint64_t v : {last.lanes_[0], last.lanes_[1], last.lanes_[2], last.lanes_[3], length_})
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
  return out;
}

TableFile::TableFile() : d_(std::make_unique<Impl>()) {}
TableFile::~TableFile() { close(); }

void TableFile::create(const QString& path) {
  const std::string target = nativePath(path);
  // A file that someone holds open is not replaced under them.
  try {
    hv::File::openExclusive(target, hv::File::Access::Read);
  } catch (const hv::FileError& e) {
    if (e.reason() == hv::FileError::Reason::InUse) throw inUse(path);
  }
  QByteArray bytes = newMeasurementHeader();
  bytes.append(char(kFileEnd));
  try {
    hv::ReplacementFile out(target);
    out.file().writeAt(0, bytes.constData(), std::size_t(bytes.size()));
    out.commit(true);
  } catch (const hv::FileError& e) {
    fail(e);
  }
}

void TableFile::open(const QString& path, bool readOnly) {
  close();
  hv::File f;
  try {
    f = hv::File::openExclusive(nativePath(path), readOnly ? hv::File::Access::Read : hv::File::Access::ReadWrite);
  } catch (const hv::FileError& e) {
    switch (e.reason()) {
      case hv::FileError::Reason::InUse:
        throw inUse(path);
      case hv::FileError::Reason::NotRegular:
        fail(QStringLiteral("Файл \"%1\" не является таблицей: это папка или устройство.").arg(path));
      case hv::FileError::Reason::ReadOnly:
      case hv::FileError::Reason::Denied:
        if (!readOnly)
          throw TableReadOnlyError(QStringLiteral("Таблица \"%1\" только для чтения: %2.\n%3")
                                       .arg(path, QString::fromStdString(hv::reasonTextOf(e.code(), nativePath(path))),
                                            QString::fromStdString(e.systemText())));
        fail(e);
      default:
        fail(e);
    }
  }
  try {
    const std::uint64_t size = f.size();
    std::vector<unsigned char> head(std::size_t(std::min<std::uint64_t>(size, 65536 + 64)));
    const std::size_t got = f.readAt(0, head.data(), head.size());
    d_->layout = parseHeader(head.data(), got, size);
    requireMeasurementFields(d_->layout);
    d_->codePage = codePageOfDriver(d_->layout.languageDriver);
    d_->fileSize = size;
    d_->header.assign(reinterpret_cast<const char*>(head.data()), std::size_t(d_->layout.headerLength));
    d_->identity = f.identity();
  } catch (const hv::FileError& e) {
    fail(e);
  } catch (const TableDamagedError& e) {
    damaged(path, e.why());
  } catch (const TableCodePageError& e) {
    throw TableCodePageError(QStringLiteral("Не удалось открыть таблицу \"%1\": %2.").arg(path, e.text()));
  }
  d_->file = std::move(f);
  d_->path = path;
  d_->readOnly = readOnly;
  d_->count = d_->layout.recordCount;
  d_->groupCount = 0;
}

void TableFile::close() noexcept {
  if (!d_->file.isOpen()) return;
  if (!d_->readOnly) {
    try {
      d_->file.sync();
    } catch (const hv::FileError&) {
      // Closing goes on: every write has reached the system already.
    }
  }
  d_->reset();
}

bool TableFile::isOpen() const { return d_->file.isOpen(); }
bool TableFile::readOnly() const { return d_->readOnly; }
const QString& TableFile::path() const { return d_->path; }
const TableLayout& TableFile::layout() const { return d_->layout; }
std::uint32_t TableFile::count() const { return d_->count; }
CodePage TableFile::codePage() const { return d_->codePage; }

const char* TableFile::record(std::uint32_t r) {
  const std::size_t length = d_->recordLength();
  if (r >= d_->groupFirst && r < d_->groupFirst + d_->groupCount) return d_->group.data() + (r - d_->groupFirst) * length;
  d_->checkRecord(r);
  // Near the last group read: walking in record order, read the next group.
  // Elsewhere (a tag's order): just this record.
  const bool near = r + kGroupRecords >= d_->groupFirst && r <= d_->groupFirst + 2 * kGroupRecords;
  const std::uint32_t first = near ? r / kGroupRecords * kGroupRecords : r;
  const std::uint32_t n = near ? std::min(kGroupRecords, d_->count - first) : 1;
  d_->group.resize(std::size_t(kGroupRecords) * length);
  d_->groupCount = 0;
  d_->readExactly(d_->offsetOf(first), d_->group.data(), n * length);
  d_->groupFirst = first;
  d_->groupCount = n;
  return d_->group.data() + (r - first) * length;
}

void TableFile::scan(std::uint32_t first, std::uint32_t end, const RecordRun& visit) {
  scanInto(first, end, d_->run, visit);
}

void TableFile::scanInto(std::uint32_t first, std::uint32_t end, std::vector<char>& buffer, const RecordRun& visit) const {
  const std::size_t length = d_->recordLength();
  const std::uint32_t perRun = std::uint32_t(std::max<std::size_t>(1, kScanBytes / length));
  end = std::min(end, d_->count);
  if (first >= end) return;
  buffer.resize(std::min<std::size_t>(perRun, end - first) * length);
  for (std::uint32_t r = first; r < end;) {
    const std::uint32_t n = std::min(perRun, end - r);
    d_->readExactly(d_->offsetOf(r), buffer.data(), n * length);
    visit(r, n, buffer.data());
    r += n;
  }
}

void TableFile::rewrite(std::uint32_t r, const char* record) {
  d_->checkRecord(r);
  d_->checkIntact();
  const std::size_t length = d_->recordLength();
  const std::string before(this->record(r), length);
  unsigned char date[3];
  todayBytes(date);
  const std::uint64_t at = d_->offsetOf(r);
  try {
    d_->write(at, record, length);
    d_->writeHeader(1, date, 3);
  } catch (...) {
    try {
      d_->file.writeAt(at, before.data(), length);
    } catch (const hv::FileError&) {
      // The first error is the one to report.
    }
    throw;
  }
  d_->updateGroup(r, 0, record, length);
}

std::uint32_t TableFile::append(const char* record) {
  d_->checkIntact();
  const std::size_t length = d_->recordLength();
  // Record and end mark first, the count last: a kill in between leaves the
  // old, valid file with a few bytes beyond its last record.
  const std::uint64_t at = d_->offsetOf(d_->count);
  if (!d_->tailKnown) {
    d_->tail.assign(d_->fileSize > at ? std::size_t(std::min<std::uint64_t>(d_->fileSize - at, length + 1)) : 0, '\0');
    try {
      d_->tail.resize(d_->file.readAt(at, d_->tail.data(), d_->tail.size()));
    } catch (const hv::FileError& e) {
      fail(e);
    }
    d_->tailKnown = true;
  }
  std::string data(record, length);
  data.push_back(char(kFileEnd));
  unsigned char head[7];
  todayBytes(head);
  putU32(head + 3, d_->count + 1);
  try {
    d_->write(at, data.data(), data.size());
    d_->writeHeader(1, head, sizeof head);
  } catch (...) {
    // Put the file back as it was.
    try {
      d_->file.resize(d_->fileSize);
      if (!d_->tail.empty()) d_->file.writeAt(at, d_->tail.data(), d_->tail.size());
    } catch (const hv::FileError&) {
    }
    throw;
  }
  // Beyond the new end mark lie the old bytes, if any reached that far.
  d_->tailKnown = d_->fileSize <= at + data.size();
  d_->tail.assign(1, char(kFileEnd));
  d_->fileSize = std::max<std::uint64_t>(d_->fileSize, at + data.size());
  return d_->count++;
}

void TableFile::markDeleted(std::uint32_t r) {
  d_->checkRecord(r);
  d_->checkIntact();
  const char mark = char(kDeletedMark);
  d_->write(d_->offsetOf(r), &mark, 1);
  d_->updateGroup(r, 0, &mark, 1);
}

void TableFile::setIndexFlag(bool on) {
  d_->checkIntact();
  const unsigned char b = on ? 1 : 0;
  d_->writeHeader(kMdxFlagOffset, &b, 1);
  d_->layout.mdxFlag = on;
}

void TableFile::pack(const std::function<bool(std::uint32_t r)>& dropped) {
  replaceRecords([&](std::uint32_t r, char* record) {
    return record[0] != char(kDeletedMark) && !(dropped && dropped(r));
  });
}

void TableFile::rewriteAll(const std::function<void(std::uint32_t r, char* record)>& change) {
  replaceRecords([&](std::uint32_t r, char* record) {
    change(r, record);
    return true;
  });
}

void TableFile::replaceRecords(const std::function<bool(std::uint32_t r, char* record)>& keep) {
  d_->checkIntact();
  const std::size_t length = d_->recordLength();
  std::uint32_t live = 0;
  hv::File replaced;
  std::string buffer(std::size_t(d_->layout.headerLength), '\0');
  try {
    hv::ReplacementFile out(nativePath(d_->path));
    d_->readExactly(0, buffer.data(), buffer.size());
    unsigned char head[7];
    todayBytes(head);
    std::string header = buffer;
    std::uint64_t written = 0;
    auto flush = [&] {
      out.file().writeAt(written, buffer.data(), buffer.size());
      written += buffer.size();
      buffer.clear();
    };
    scan(0, d_->count, [&](std::uint32_t first, std::uint32_t n, const char* bytes) {
      for (std::uint32_t i = 0; i < n; ++i, bytes += length) {
        const std::size_t at = buffer.size();
        buffer.append(bytes, length);
        if (keep(first + i, buffer.data() + at))
          ++live;
        else
          buffer.resize(at);
      }
      if (buffer.size() >= (std::size_t(1) << 20)) flush();
      d_->progress(n);
    });
    buffer.push_back(char(kFileEnd));
    flush();
    putU32(head + 3, live);
    out.file().writeAt(1, head, sizeof head);
    header.replace(1, sizeof head, reinterpret_cast<const char*>(head), sizeof head);
    d_->progress(0);
    if (d_->watch) d_->watch->committed = true;
    replaced = out.commit(true, &d_->file);
    d_->header = header;
  } catch (const hv::FileError& e) {
    fail(e);
  }
  d_->file = std::move(replaced);
  try {
    d_->identity = d_->file.identity();
  } catch (const hv::FileError& e) {
    fail(e);
  }
  d_->count = live;
  d_->layout.recordCount = live;
  d_->fileSize = d_->offsetOf(live) + 1;
  d_->groupCount = 0;
  d_->tailKnown = false;
}

void TableFile::checkIntact() { d_->checkIntact(); }

void TableFile::watch(WriteWatch* watch) { d_->watch = watch; }

void TableFile::beginAppends() {
  d_->checkIntact();
  Impl::Appends a;
  a.active = true;
  a.count = d_->count;
  a.header = d_->header;
  try {
    a.size = d_->file.size();
    const std::uint64_t at = d_->offsetOf(d_->count);
    a.tail.resize(std::size_t(a.size > at ? std::min(a.size - at, kMaxKeptTail) : 0));
    a.tail.resize(d_->file.readAt(at, a.tail.data(), a.tail.size()));
  } catch (const hv::FileError& e) {
    fail(e);
  }
  d_->appends = std::move(a);
}

void TableFile::endAppends() { d_->appends = {}; }

void TableFile::rollBackAppends() {
  if (!d_->appends.active) return;
  Impl::Appends a = std::move(d_->appends);
  d_->appends = {};
  // Not into a file another program has put in its place.
  d_->checkIntact();
  try {
    d_->file.resize(a.size);
    d_->file.writeAt(d_->offsetOf(a.count), a.tail.data(), a.tail.size());
    d_->file.writeAt(0, a.header.data(), a.header.size());
    d_->file.sync();
  } catch (const hv::FileError& e) {
    fail(e);
  }
  d_->header = a.header;
  d_->count = a.count;
  d_->layout.recordCount = a.count;
  d_->layout.mdxFlag = static_cast<unsigned char>(a.header[kMdxFlagOffset]) != 0;
  d_->fileSize = a.size;
  d_->groupCount = 0;
  d_->tailKnown = false;
}

QByteArray TableFile::copyTo(const QString& target) {
  d_->checkIntact();
  ContentDigest digest;
  hv::ReplacementFile out(nativePath(target));
  const std::uint64_t size = d_->file.size();
  const std::size_t length = std::max<std::size_t>(1, d_->recordLength());
  std::vector<char> chunk(std::size_t(1) << 20);
  for (std::uint64_t at = 0; at < size;) {
    const std::size_t n = d_->file.readAt(at, chunk.data(), std::size_t(std::min<std::uint64_t>(chunk.size(), size - at)));
    if (n == 0) damaged(d_->path, QString::fromUtf8(kCutShort));
    out.file().writeAt(at, chunk.data(), n);
    digest.add(chunk.data(), n);
    at += n;
    d_->progress(n / length);
  }
  out.commit(true);
  return digest.result();
}

void TableFile::writeCopy(const QString& target, const char* edited, std::uint32_t editedAt, bool onlyEdited) {
  const std::size_t length = d_->recordLength();
  hv::ReplacementFile out(nativePath(target));
  std::string bytes = d_->header;
  std::uint32_t n = 0;
  const auto add = [&](const char* record) {
    bytes.append(record, length);
    ++n;
  };
  if (onlyEdited) {
    if (edited) add(edited);
  } else {
    scan(0, d_->count, [&](std::uint32_t first, std::uint32_t runLength, const char* records) {
      for (std::uint32_t i = 0; i < runLength; ++i, records += length)
        add(edited && first + i == editedAt ? edited : records);
    });
    if (edited && editedAt >= d_->count) add(edited);
  }
  bytes.push_back(char(kFileEnd));
  unsigned char head[7];
  todayBytes(head);
  putU32(head + 3, n);
  bytes.replace(1, sizeof head, reinterpret_cast<const char*>(head), sizeof head);
  bytes[kMdxFlagOffset] = 0;  // no index goes with the copy
  out.file().writeAt(0, bytes.data(), bytes.size());
  out.commit(true);
}

}  // namespace hv::store
