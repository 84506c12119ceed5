#include "store/db_table.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/file.h"
#include "store/index_tags.h"
#include "store/table_errors.h"
#include "store/table_file.h"
#include "store/table_view.h"

namespace hv {

using namespace hv::store;

namespace {

[[noreturn]] void fail(const QString& text) { throw hv::Error(text); }

// Running out of memory on a big table is an error like any other.
[[noreturn]] void noMemory() { throw TableOutOfMemoryError(QStringLiteral("Недостаточно памяти для таблицы.")); }

std::uint64_t word8(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

// Fields are mostly padding: eight bytes at a time first. A byte is blank
// when it is ' ' or NUL, that is when OR-ing 0x20 into it gives 0x20.
std::string_view trimBlanks(std::string_view s) {
  constexpr std::uint64_t kBlanks = 0x2020202020202020u;
  std::size_t n = s.size();
  while (n >= 8 && (word8(s.data() + n - 8) | kBlanks) == kBlanks) n -= 8;
  while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\0')) --n;
  return s.substr(0, n);
}

bool isAscii(std::string_view s) {
  std::size_t i = 0;
  std::uint64_t high = 0;
  for (; i + 8 <= s.size(); i += 8) high |= word8(s.data() + i);
  for (; i < s.size(); ++i) high |= static_cast<unsigned char>(s[i]);
  return (high & 0x8080808080808080u) == 0;
}

// A field's stored text without its padding (numbers are padded on the
// left); `bytes` is where the field starts.
std::string_view storedText(const FieldInfo& f, const char* bytes) {
  std::string_view v = trimBlanks(std::string_view(bytes, size_t(f.width)));
  if (f.type != 'C')
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
  return v;
}

std::optional<QString> decodeField(CodePage page, const FieldInfo& f, const char* record) {
  const std::string_view v = storedText(f, record + f.offset);
  if (v.empty()) return std::nullopt;
  return fromCodePage(page, QByteArrayView(v.data(), qsizetype(v.size())));
}

}  // namespace

struct TDbTable::Impl {
  QString folder, name;
  bool readOnly = false;

  TableFile file;
  IndexTags tags{file};
  TableView view{file};

  QString filterText;
  bool filtered = false;
  bool hasArc = false;
  int arcValue = 0;
  QString indexName;

  State state = State::Inactive;
  std::string buf;  // the row being edited or appended
  std::int64_t editRecord = -1;
  bool modified = false;
  QString closeProblem;
  std::uint64_t changes = 0;

  QString path() const { return folder.isEmpty() ? name : QDir(folder).filePath(name); }
  bool active() const { return file.isOpen(); }
  bool editing() const { return state == State::Edit || state == State::Insert; }

  void checkActive() const {
    if (!active()) fail(QStringLiteral("Таблица не открыта."));
  }
  void checkWritable() const {
    if (readOnly) fail(QStringLiteral("Таблица \"%1\" открыта только для чтения: изменить её нельзя.").arg(path()));
  }

  int fieldIndex(const QString& field) const {
    const int i = file.layout().indexOf(field);
    if (i < 0) fail(QStringLiteral("В таблице \"%1\" нет поля %2.").arg(path(), field));
    return i;
  }
  const FieldInfo& fieldInfo(const QString& field) const { return file.layout().fields[size_t(fieldIndex(field))]; }

  void applyFilter() { view.setFilter(filtered && hasArc, arcValue); }
  IndexTag* activeTag() { return indexName.isEmpty() ? nullptr : tags.find(indexName); }

  // Builds the view again when needed, or closes its holes.
  void ensureView() try {
    if (!active() || !view.needsUpdate()) return;
    const std::vector<std::uint32_t>* order = nullptr;
    if (view.needsRebuild())
      if (IndexTag* t = activeTag()) order = &tags.orderOf(*t);
    view.update(order);
  } catch (const std::bad_alloc&) {
    noMemory();
  }
  // After the rows were rewritten in place (packed, renumbered): the tags
  // are sorted again and their file written, and the view is made anew from
  // what it knew of the records (see TableView::resetKeeping).
  void rowsRewritten(bool packed, const std::vector<bool>* dropped = nullptr) {
    tags.markAllDirty();
    view.resetKeeping(packed, dropped);
    if (!tags.empty()) tags.writeFile();
    ensureView();
  }
  // Positions are usable without closing the holes (bookmark lookups while
  // rows are deleted one after another).
  void ensureBuilt() {
    if (view.needsRebuild()) ensureView();
  }

  // Closes without writing anything.
  void discard() {
    file.close();
    state = State::Inactive;
    tags.clear();
    view.reset();
  }

  // fieldTextsAt over records[0..n), the sink's index counted from `base`.
  void readFields(const Bookmark* records, std::size_t n, std::size_t base, const QStringList& fields,
                  const FieldTextSink& sink);

  void checkBrowseMode(TDbTable* self) {
    if (editing()) {
      if (modified)
        self->post();
      else
        self->cancel();
    }
  }
};

TDbTable::TDbTable() : d_(std::make_unique<Impl>()) {}

TDbTable::~TDbTable() { close(); }

void TDbTable::setTableName(const QString& name) { d_->name = name; }
void TDbTable::setFilePath(const QString& folder) { d_->folder = folder; }
QString TDbTable::tableName() const { return d_->name; }
QString TDbTable::filePath() const { return d_->folder; }
void TDbTable::setFileName(const QString& fullPath) {
  const QFileInfo fi(fullPath);
  d_->folder = fi.path();
  d_->name = fi.fileName();
}
QString TDbTable::fileName() const { return d_->path(); }

QString TDbTable::mdxPathFor(const QString& dbPath) { return indexPathFor(dbPath); }

void TDbTable::setReadOnly(bool on) {
  if (active()) fail(QStringLiteral("Таблица уже открыта."));
  d_->readOnly = on;
}
bool TDbTable::readOnly() const { return d_->readOnly; }

void TDbTable::createTable() {
  if (active()) fail(QStringLiteral("Таблица уже открыта."));
  const QString path = d_->path();
  if (d_->name.isEmpty()) fail(QStringLiteral("Не задано имя таблицы."));
  checkCompanionNames(path);
  TableFile::create(path);
  try {
    removeFile(mdxPathFor(path).toStdString());
  } catch (const FileError&) {
    // The new table's header names no index: a leftover file is never read.
  }
}

void TDbTable::open() {
  if (active()) return;
  if (d_->name.isEmpty()) fail(QStringLiteral("Не задано имя таблицы."));
  checkCompanionNames(d_->path());
  d_->file.open(d_->path(), d_->readOnly);
  try {
    d_->tags.clear();
    try {
      d_->tags.load();
    } catch (const hv::Error&) {
      d_->tags.clear();
    }
    if (!d_->indexName.isEmpty() && !d_->tags.find(d_->indexName)) d_->indexName.clear();
    d_->state = State::Browse;
    d_->view.reset();
    d_->ensureView();
  } catch (const std::bad_alloc&) {
    d_->discard();  // a table too big to take in stays closed
    noMemory();
  } catch (...) {
    d_->discard();
    throw;
  }
}

void TDbTable::close() noexcept {
  if (!active()) return;
  if (d_->editing()) cancel();
  d_->closeProblem.clear();
  if (d_->tags.behind() && !d_->tags.empty()) {
    try {
      d_->tags.writeFile();
    } catch (const hv::Error& e) {
      // Left as it was: the next opening sorts the tags from the rows again.
      d_->closeProblem = e.text();
    } catch (const std::bad_alloc&) {
      d_->closeProblem = QStringLiteral("Недостаточно памяти, чтобы записать индексный файл.");
    } catch (const std::exception& e) {
      d_->closeProblem = QString::fromUtf8(e.what());
    }
  }
  d_->discard();
}

QString TDbTable::closeProblem() const { return d_->closeProblem; }

void TDbTable::removeIndexFile() {
  if (!active() || d_->readOnly) return;
  cancel();  // an edit not posted is given up, never written here
  d_->indexName.clear();
  d_->view.invalidate();
  d_->tags.removeAll();
}

std::uint64_t TDbTable::changeCount() const { return d_->changes; }

void TDbTable::checkUnchanged() {
  d_->checkActive();
  d_->file.checkIntact();
}

TableBackup TDbTable::writeBackup() {
  d_->checkActive();
  d_->checkWritable();
  d_->file.checkIntact();
  TableBackup backup;
  backup.path = backupPathFor(d_->path());
  try {
    backup.digest = d_->file.copyTo(backup.path);
  } catch (const FileError& e) {
    const QString why = QString::fromStdString(reasonTextOf(e, backup.path.toStdString()));
    fail(QStringLiteral("Не удалось записать резервную копию таблицы «%1» в файл «%2»: %3. Таблица не изменена.\n%4")
             .arg(d_->path(), backup.path, why, QString::fromUtf8(e.what())));
  }
  return backup;
}

void TDbTable::saveCopyAs(const QString& path, bool onlyEdited) {
  d_->checkActive();
  checkCompanionNames(path);
  const bool editing = d_->editing();
  try {
    d_->file.writeCopy(path, editing ? d_->buf.data() : nullptr, editing ? std::uint32_t(d_->editRecord) : 0,
                       onlyEdited);
  } catch (const FileError& e) {
    fail(QStringLiteral("Не удалось записать таблицу в файл «%1»: %2.\n%3")
             .arg(path, QString::fromStdString(reasonTextOf(e, path.toStdString())),
                  QString::fromStdString(e.systemText())));
  }
}

bool TDbTable::active() const { return d_->active(); }

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
    if (!ok) fail(QStringLiteral("Неподдерживаемый фильтр \"%1\".").arg(filter));
    has = true;
  }
  if (active()) d_->checkBrowseMode(this);
  d_->filterText = filter;
  d_->hasArc = has;
  d_->arcValue = value;
  d_->applyFilter();
}
void TDbTable::setFilter(const ArchiveFilter& filter) {
  if (active()) d_->checkBrowseMode(this);
  d_->filterText = filter.text();
  d_->hasArc = !filter.passesAll();
  d_->arcValue = filter.archive();
  d_->applyFilter();
}
QString TDbTable::filter() const { return d_->filterText; }
ArchiveFilter TDbTable::activeFilter() const {
  return d_->filtered && d_->hasArc ? ArchiveFilter(d_->arcValue) : ArchiveFilter();
}
void TDbTable::setFiltered(bool on) {
  if (active()) d_->checkBrowseMode(this);
  d_->filtered = on;
  d_->applyFilter();
}
bool TDbTable::filtered() const { return d_->filtered; }

void TDbTable::refresh() {
  d_->checkActive();
  d_->checkBrowseMode(this);
  d_->view.invalidate();
  d_->ensureView();
}

void TDbTable::setIndexName(const QString& tag) {
  if (active()) d_->checkBrowseMode(this);
  d_->indexName = tag.trimmed();
  if (active() && !d_->indexName.isEmpty() && !d_->tags.find(d_->indexName)) d_->indexName.clear();
  d_->view.invalidate();
}
QString TDbTable::indexName() const { return d_->indexName; }

// --- counting and navigation --------------------------------------------

int TDbTable::recordCount() {
  if (!active()) return 0;
  d_->ensureView();
  return int(d_->view.size());
}

void TDbTable::first() {
  d_->checkActive();
  d_->checkBrowseMode(this);
  d_->ensureView();
  d_->view.first();
}

void TDbTable::last() {
  d_->checkActive();
  d_->checkBrowseMode(this);
  d_->ensureView();
  d_->view.last();
}

void TDbTable::next() {
  d_->checkActive();
  d_->checkBrowseMode(this);
  d_->ensureView();
  d_->view.next();
}

void TDbTable::prior() {
  d_->checkActive();
  d_->checkBrowseMode(this);
  d_->ensureView();
  d_->view.prior();
}

bool TDbTable::eof() const {
  if (!active()) return true;
  d_->ensureView();
  return d_->view.eof();
}
bool TDbTable::bof() const {
  if (!active()) return true;
  d_->ensureView();
  return d_->view.bof();
}
bool TDbTable::isEmpty() { return recordCount() == 0; }

int TDbTable::rowIndex() const {
  if (!active()) return -1;
  d_->ensureView();
  return int(d_->view.position());
}

void TDbTable::moveToRow(int row) {
  d_->checkActive();
  d_->checkBrowseMode(this);
  d_->ensureView();
  d_->view.moveTo(row);
}

TDbTable::Bookmark TDbTable::bookmark() const {
  if (!active()) return -1;
  if (d_->state == State::Insert) return d_->editRecord;
  d_->ensureView();
  return d_->view.current();
}

bool TDbTable::gotoBookmark(Bookmark b) {
  d_->checkActive();
  d_->checkBrowseMode(this);
  d_->ensureBuilt();
  return d_->view.gotoRecord(b);
}

TDbTable::Bookmark TDbTable::bookmarkAtRow(int row) {
  if (!active()) return -1;
  d_->ensureView();
  if (row < 0 || size_t(row) >= d_->view.size()) return -1;
  return d_->view.recordAt(size_t(row));
}

std::optional<QString> TDbTable::fieldTextAt(Bookmark b, const QString& field) {
  d_->checkActive();
  const FieldInfo& f = d_->fieldInfo(field);
  if (d_->editing() && b == d_->editRecord) return decodeField(d_->file.codePage(), f, d_->buf.data());
  if (b < 0 || b >= std::int64_t(d_->file.count())) return std::nullopt;
  return decodeField(d_->file.codePage(), f, d_->file.record(std::uint32_t(b)));
}

void TDbTable::fieldTextsAt(const std::vector<Bookmark>& records, const QStringList& fields, const FieldTextSink& sink) {
  d_->checkActive();
  d_->readFields(records.data(), records.size(), 0, fields, sink);
}

void TDbTable::Impl::readFields(const Bookmark* records, std::size_t n, std::size_t base, const QStringList& fields,
                                const FieldTextSink& sink) try {
  std::vector<const FieldInfo*> info;
  info.reserve(size_t(fields.size()));
  for (const QString& field : fields) info.push_back(&fieldInfo(field));
  const std::uint32_t count = file.count();
  const bool editingNow = editing();
  const CodePage page = file.codePage();
  std::string converted;
  // Hands out the fields of records[i]; `fieldAt(k)` is where field k's bytes
  // start, null for no record. As decodeField, without a QString.
  const auto handOut = [&](size_t i, const auto& fieldAt) {
    for (int k = 0; k < int(info.size()); ++k) {
      const char* bytes = fieldAt(size_t(k));
      const std::string_view v = bytes ? storedText(*info[size_t(k)], bytes) : std::string_view();
      if (v.empty()) {
        sink(base + i, k, std::nullopt);
      } else if (isAscii(v)) {
        sink(base + i, k, v);  // every code page we read agrees with UTF-8 on ASCII
      } else {
        converted.clear();
        appendUtf8(page, QByteArrayView(v.data(), qsizetype(v.size())), converted);
        sink(base + i, k, converted);
      }
    }
  };
  const auto inRecord = [&](const char* record) {
    return [&info, record](size_t k) { return record ? record + info[k]->offset : nullptr; };
  };

  // The asked records in record order, read in one pass over the file.
  const auto readable = [&](Bookmark r) {
    return r >= 0 && r < std::int64_t(count) && !(editingNow && r == editRecord);
  };
  // Asked in record order, every one a record: handed out as read. Else
  // their fields are gathered first, then handed out in the order asked.
  bool direct = true;
  for (std::size_t i = 0; i < n && direct; ++i) direct = readable(records[i]) && (i == 0 || records[i - 1] < records[i]);
  // Otherwise each as its record number above its index into `records`.
  std::vector<std::uint64_t> wanted;
  if (!direct) {
    wanted.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i)
      if (readable(records[i])) wanted.push_back(std::uint64_t(records[i]) << 32 | i);
    std::sort(wanted.begin(), wanted.end());
  }
  const std::size_t wantedCount = direct ? n : wanted.size();
  const auto recordOf = [&](std::size_t w) { return direct ? std::uint32_t(records[w]) : std::uint32_t(wanted[w] >> 32); };
  const auto indexOf = [&](std::size_t w) { return direct ? std::uint32_t(w) : std::uint32_t(wanted[w]); };
  std::size_t width = 0;
  std::vector<std::size_t> at;  // where each field starts in a gathered record
  for (const FieldInfo* f : info) {
    at.push_back(width);
    width += size_t(f->width);
  }
  std::vector<char> gathered(direct ? 0 : n * width);
  const std::size_t recordLength = size_t(file.layout().recordLength);
  // Records close together come in one read; a wide gap starts another.
  const std::uint32_t reach = std::uint32_t(std::max<size_t>(1, (256 * 1024) / recordLength));
  constexpr std::uint32_t kGap = 64;
  for (size_t w = 0; w < wantedCount;) {
    const std::uint32_t first = recordOf(w);
    size_t end = w + 1;
    while (end < wantedCount && recordOf(end) - first < reach && recordOf(end) - recordOf(end - 1) <= kGap) ++end;
    file.scan(first, recordOf(end - 1) + 1, [&](std::uint32_t runFirst, std::uint32_t n, const char* bytes) {
      for (; w < end && recordOf(w) < runFirst + n; ++w) {
        const char* rec = bytes + size_t(recordOf(w) - runFirst) * recordLength;
        const std::uint32_t i = indexOf(w);
        if (direct) {
          handOut(i, inRecord(rec));
          continue;
        }
        for (size_t k = 0; k < info.size(); ++k)
          std::memcpy(gathered.data() + i * width + at[k], rec + info[k]->offset, size_t(info[k]->width));
      }
    });
  }
  if (direct) return;
  std::vector<bool> read(n, false);
  for (std::size_t w = 0; w < wantedCount; ++w) read[indexOf(w)] = true;
  for (size_t i = 0; i < n; ++i) {
    if (read[i])
      handOut(i, [&](size_t k) { return gathered.data() + i * width + at[k]; });
    else
      handOut(i, inRecord(editingNow && records[i] == editRecord ? buf.data() : nullptr));
  }
} catch (const std::bad_alloc&) {
  noMemory();
}

// --- reads that move nothing ---------------------------------------------

std::vector<TDbTable::Bookmark> TDbTable::rowsOf(const ArchiveFilter& filter, const QString& tag) try {
  std::vector<Bookmark> rows;
  if (!active()) return rows;
  const QString name = tag.trimmed();
  IndexTag* order = name.isEmpty() ? nullptr : d_->tags.find(name);
  if (filter == activeFilter() && order == d_->activeTag()) {
    // What the view shows, rows moved by an edit still where it shows them.
    d_->ensureView();
    rows.reserve(d_->view.size());
    for (std::size_t i = 0; i < d_->view.size(); ++i) rows.push_back(d_->view.recordAt(i));
    return rows;
  }
  d_->view.recordsOf(!filter.passesAll(), filter.archive(), order ? &d_->tags.orderOf(*order) : nullptr, rows);
  return rows;
} catch (const std::bad_alloc&) {
  noMemory();
}

int TDbTable::rowCount(const ArchiveFilter& filter) try {
  if (!active()) return 0;
  return int(d_->view.countOf(!filter.passesAll(), filter.archive()));
} catch (const std::bad_alloc&) {
  noMemory();
}

bool TDbTable::readRows(const std::vector<Bookmark>& rows, const QStringList& fields, const FieldTextSink& sink,
                        const BatchDone& batchDone) {
  d_->checkActive();
  for (std::size_t first = 0; first < rows.size(); first += kReadBatchRows) {
    const std::size_t n = std::min(kReadBatchRows, rows.size() - first);
    d_->readFields(rows.data() + first, n, first, fields, sink);
    if (batchDone && !batchDone(first + n)) return false;
  }
  return true;
}

// --- the current row ----------------------------------------------------

std::optional<QString> TDbTable::fieldText(const QString& field) const {
  d_->checkActive();
  const FieldInfo& f = d_->fieldInfo(field);
  if (d_->editing()) return decodeField(d_->file.codePage(), f, d_->buf.data());
  d_->ensureView();
  if (d_->view.current() < 0) return std::nullopt;
  return decodeField(d_->file.codePage(), f, d_->file.record(std::uint32_t(d_->view.current())));
}

int TDbTable::fieldInt(const QString& field) const {
  const std::optional<QString> text = fieldText(field);
  if (!text) return 0;
  const FieldInfo& f = d_->fieldInfo(field);
  if (f.type != 'C') {
    const QByteArray raw = text->toLatin1();
    return parseInt16(std::string_view(raw.constData(), size_t(raw.size())));
  }
  bool ok = false;
  const int v = text->trimmed().toInt(&ok);
  if (!ok) fail(QStringLiteral("Значение \"%1\" не является целым числом.").arg(*text));
  return v;
}

TDbTable::State TDbTable::state() const { return d_->state; }

void TDbTable::append() {
  d_->checkActive();
  d_->checkBrowseMode(this);
  d_->view.saveCursor();
  d_->buf.assign(size_t(d_->file.layout().recordLength), ' ');
  d_->editRecord = d_->file.count();
  d_->modified = false;
  d_->state = State::Insert;
}

void TDbTable::edit() {
  d_->checkActive();
  if (d_->editing()) return;
  d_->ensureView();
  if (d_->view.current() < 0) fail(QStringLiteral("В таблице нет текущей строки."));
  const char* rec = d_->file.record(std::uint32_t(d_->view.current()));
  d_->buf.assign(rec, size_t(d_->file.layout().recordLength));
  d_->editRecord = d_->view.current();
  d_->modified = false;
  d_->state = State::Edit;
}

void TDbTable::setFieldText(const QString& field, const QString& value) {
  d_->checkActive();
  if (!d_->editing()) fail(QStringLiteral("Строка таблицы не редактируется."));
  const FieldInfo& f = d_->fieldInfo(field);
  if (f.type != 'C') {
    const QString t = value.trimmed();
    if (t.isEmpty()) {
      std::memset(d_->buf.data() + f.offset, ' ', size_t(f.width));
      d_->modified = true;
      return;
    }
    bool ok = false;
    const int v = t.toInt(&ok);
    if (!ok) fail(QStringLiteral("Значение \"%1\" не является целым числом.").arg(value));
    setFieldInt(field, v);
    return;
  }
  // Always in the file's own code page: one file, one encoding.
  const QByteArray bytes = toCodePage(d_->file.codePage(), value).left(f.width);
  char* dst = d_->buf.data() + f.offset;
  std::memset(dst, ' ', size_t(f.width));
  std::memcpy(dst, bytes.constData(), size_t(bytes.size()));
  d_->modified = true;
}

void TDbTable::setFieldInt(const QString& field, int value) {
  d_->checkActive();
  if (!d_->editing()) fail(QStringLiteral("Строка таблицы не редактируется."));
  const FieldInfo& f = d_->fieldInfo(field);
  const QByteArray text = QByteArray::number(value);
  if (text.size() > f.width)
    fail(QStringLiteral("Число %1 не помещается в поле %2 таблицы \"%3\": в нём не больше %4 знаков.")
             .arg(value)
             .arg(f.name, d_->path())
             .arg(f.width));
  char* dst = d_->buf.data() + f.offset;
  std::memset(dst, ' ', size_t(f.width));
  if (f.type == 'C')
    std::memcpy(dst, text.constData(), size_t(text.size()));
  else
    std::memcpy(dst + f.width - text.size(), text.constData(), size_t(text.size()));
  d_->modified = true;
}

void TDbTable::post() try {
  d_->checkActive();
  if (!d_->editing()) return;
  d_->checkWritable();
  ++d_->changes;
  d_->buf[0] = char(kLiveMark);
  if (d_->state == State::Insert) {
    const std::uint32_t r = d_->file.append(d_->buf.data());
    d_->state = State::Browse;
    d_->tags.recordAppended();
    d_->view.recordAppended(r, d_->buf.data());
  } else {
    const std::uint32_t r = std::uint32_t(d_->editRecord);
    const std::string before(d_->file.record(r), d_->buf.size());
    d_->file.rewrite(r, d_->buf.data());
    d_->state = State::Browse;
    d_->tags.recordChanged(before.data(), d_->buf.data());
    d_->view.recordRewritten(r, d_->buf.data());
  }
  d_->modified = false;
  d_->editRecord = -1;
} catch (const std::bad_alloc&) {
  d_->view.invalidate();  // the row may be in the file but not yet in the view
  noMemory();
}

void TDbTable::cancel() {
  if (!d_->editing()) return;
  if (d_->state == State::Insert) d_->view.restoreCursor();
  d_->state = State::Browse;
  d_->modified = false;
  d_->editRecord = -1;
}

void TDbTable::deleteRecord() {
  d_->checkActive();
  if (d_->state == State::Insert) {
    cancel();
    return;
  }
  d_->checkBrowseMode(this);
  d_->checkWritable();
  d_->ensureBuilt();
  if (d_->view.current() < 0 || d_->view.position() < 0)
    fail(QStringLiteral("В таблице нет строк."));
  ++d_->changes;
  d_->file.markDeleted(std::uint32_t(d_->view.current()));
  d_->view.currentDeleted();
}

void TDbTable::pack() try {
  d_->checkActive();
  d_->checkBrowseMode(this);
  d_->checkWritable();
  ++d_->changes;
  d_->file.pack();
  d_->rowsRewritten(true);
} catch (const std::bad_alloc&) {
  noMemory();
}

void TDbTable::packWithout(const std::vector<Bookmark>& records) try {
  d_->checkActive();
  d_->checkBrowseMode(this);
  d_->checkWritable();
  d_->ensureBuilt();
  std::vector<bool> dropped(d_->file.count(), false);
  for (Bookmark b : records)
    if (d_->view.gotoRecord(b)) dropped[size_t(b)] = true;
  ++d_->changes;
  d_->file.pack([&dropped](std::uint32_t r) { return r < dropped.size() && dropped[r]; });
  d_->rowsRewritten(true, &dropped);
} catch (const std::bad_alloc&) {
  noMemory();
}

void TDbTable::watchWrites(store::WriteWatch* watch) { d_->file.watch(watch); }

int TDbTable::fieldWidth(const QString& field) const { return d_->fieldInfo(field).width; }

int TDbTable::fieldMaximum(const QString& field) const {
  const FieldInfo& f = d_->fieldInfo(field);
  int digits = f.decimals > 0 ? f.width - f.decimals - 1 : f.width;
  int max = 0;
  for (; digits > 0 && max < 100000000; --digits) max = max * 10 + 9;
  return std::min(max, 32767);  // read back as a 16-bit number
}

CodePage TDbTable::codePage() const {
  d_->checkActive();
  return d_->file.codePage();
}

void TDbTable::numberRecords(const QString& field, const std::vector<Bookmark>& records) try {
  d_->checkActive();
  d_->checkBrowseMode(this);
  d_->checkWritable();
  const FieldInfo& f = d_->fieldInfo(field);
  if (std::int64_t(records.size()) > fieldMaximum(field))
    fail(QStringLiteral("Номер %1 не помещается в поле %2 таблицы «%3»: оно вмещает номера не больше %4.")
             .arg(records.size())
             .arg(f.name, d_->path())
             .arg(fieldMaximum(field)));
  std::vector<int> number(d_->file.count(), 0);
  for (size_t i = 0; i < records.size(); ++i)
    if (records[i] >= 0 && records[i] < std::int64_t(number.size())) number[size_t(records[i])] = int(i + 1);
  ++d_->changes;
  d_->file.rewriteAll([&](std::uint32_t r, char* record) {
    if (number[r] == 0) return;
    QByteArray text = QByteArray::number(number[r]);
    if (f.decimals > 0) text += '.' + QByteArray(f.decimals, '0');
    char* dst = record + f.offset;
    std::memset(dst, ' ', size_t(f.width));
    std::memcpy(dst + f.width - text.size(), text.constData(), size_t(text.size()));
  });
  d_->rowsRewritten(false);
} catch (const std::bad_alloc&) {
  noMemory();
}

void TDbTable::beginAppends() {
  d_->checkActive();
  d_->checkBrowseMode(this);
  d_->checkWritable();
  d_->file.beginAppends();
}

void TDbTable::endAppends() { d_->file.endAppends(); }

void TDbTable::rollBackAppends() {
  if (!active()) return;
  cancel();
  ++d_->changes;
  // The rows in memory follow the file whatever the file did.
  const auto follow = [this] {
    d_->tags.markAllDirty();
    d_->view.reset();
  };
  try {
    d_->file.rollBackAppends();
  } catch (...) {
    follow();
    throw;
  }
  follow();
  d_->ensureView();
}

// --- production index ---------------------------------------------------

void TDbTable::addIndex(const QString& tag, const QString& field, bool descending) {
  const std::unique_ptr<IndexBuild> build = beginAddIndex(tag, field, descending);
  const std::atomic<bool> never{false};
  build->run(never);
  finishAddIndex(*build);
}

TDbTable::IndexBuild::IndexBuild() = default;
TDbTable::IndexBuild::~IndexBuild() = default;

bool TDbTable::IndexBuild::run(const std::atomic<bool>& stop) try {
  return build_->run(stop);
} catch (const std::bad_alloc&) {
  noMemory();
}

std::int64_t TDbTable::IndexBuild::done() const { return build_->done(); }
std::int64_t TDbTable::IndexBuild::total() const { return build_->total(); }

std::unique_ptr<TDbTable::IndexBuild> TDbTable::beginAddIndex(const QString& tag, const QString& field,
                                                               bool descending) try {
  d_->checkActive();
  if (!validTagName(tag)) fail(QStringLiteral("Недопустимое имя индекса \"%1\".").arg(tag));
  const int f = d_->fieldIndex(field);
  d_->checkBrowseMode(this);
  auto build = std::make_unique<IndexBuild>();
  build->build_ = d_->tags.beginAdd(tag, f, descending);
  return build;
} catch (const std::bad_alloc&) {
  noMemory();
}

void TDbTable::finishAddIndex(IndexBuild& build) try {
  d_->checkActive();
  d_->checkBrowseMode(this);
  const QString name = build.build_->name();
  d_->tags.finishAdd(*build.build_);
  if (d_->activeTag() && d_->activeTag()->name.compare(name, Qt::CaseInsensitive) == 0) d_->view.invalidate();
} catch (const std::bad_alloc&) {
  noMemory();
}

void TDbTable::deleteIndex(const QString& tag) try {
  d_->checkActive();
  if (!d_->tags.find(tag)) return;
  d_->checkBrowseMode(this);
  if (d_->indexName.compare(tag, Qt::CaseInsensitive) == 0) {
    d_->indexName.clear();
    d_->view.invalidate();
  }
  d_->tags.remove(tag);
} catch (const std::bad_alloc&) {
  noMemory();
}

void TDbTable::rebuildIndexes() try {
  d_->checkActive();
  d_->checkBrowseMode(this);
  d_->tags.rebuild();
  d_->view.invalidate();
} catch (const std::bad_alloc&) {
  noMemory();
}

QStringList TDbTable::tagNames() const { return d_->tags.names(); }

}  // namespace hv
