#include "export/cell_store.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace hv {

// --- RunList -----------------------------------------------------------------

std::size_t RunList::findRun(std::uint32_t i) const {
  if (hint_ + 1 < runs_.size() && runs_[hint_ + 1].start <= i && i < runEnd(hint_ + 1)) return ++hint_;
  const auto it = std::upper_bound(runs_.begin(), runs_.end(), i, [](std::uint32_t v, const Run& r) { return v < r.start; });
  hint_ = static_cast<std::size_t>(it - runs_.begin()) - 1;
  return hint_;
}

void RunList::pushRun(std::uint32_t value, std::uint32_t n) {
  if (UINT32_MAX - size_ < n) throw std::bad_alloc();
  if (n == 0) return;
  if (runs_.empty() || runs_.back().value != value) runs_.push_back({size_, value});
  size_ += n;
}

void RunList::insert(std::uint32_t i, std::uint32_t value) {
  if (i == size_) return push(value);
  const std::size_t r = runIndex(i);
  for (std::size_t k = r + 1; k < runs_.size(); ++k) ++runs_[k].start;
  ++size_;
  if (runs_[r].value == value) return;
  const auto at = runs_.begin() + static_cast<std::ptrdiff_t>(r);
  if (runs_[r].start == i) {
    // The new element goes first: it joins the run before, or starts its own.
    if (r > 0 && runs_[r - 1].value == value) {
      runs_[r].start = i + 1;
    } else {
      runs_[r].start = i + 1;
      runs_.insert(at, Run{i, value});
    }
    return;
  }
  const Run tail{i + 1, runs_[r].value};
  runs_.insert(at + 1, {Run{i, value}, tail});
}

void RunList::erase(std::uint32_t i) {
  const std::size_t r = runIndex(i);
  for (std::size_t k = r + 1; k < runs_.size(); ++k) --runs_[k].start;
  --size_;
  if (runs_[r].start != runEnd(r)) return;
  runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(r));
  // The neighbours of the emptied run may now be one run.
  if (r > 0 && r < runs_.size() && runs_[r - 1].value == runs_[r].value)
    runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(r));
}

void RunList::set(std::uint32_t i, std::uint32_t value) {
  if (at(i) == value) return;
  erase(i);
  insert(i, value);
}

// --- TextPool ----------------------------------------------------------------

namespace {

constexpr std::size_t kTextBlock = 1 << 16;  // characters

// FNV-1a over the UTF-16 units with a final mix: quick for the short texts
// of a table, and the texts are no one's attack.
std::uint32_t textHash(QStringView text) {
  std::uint64_t h = 0xCBF29CE484222325u;
  for (QChar c : text) {
    h ^= c.unicode();
    h *= 0x100000001B3u;
  }
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9u;
  return static_cast<std::uint32_t>(h ^ h >> 32);
}

}  // namespace

TextPool::TextPool() {
  rehash(1024);
  intern(QStringView());
}

const char16_t* TextPool::store(QStringView text) {
  const std::size_t n = static_cast<std::size_t>(text.size());
  if (n == 0) return nullptr;
  char16_t* at;
  if (n > kTextBlock / 4) {
    // A long text gets a block of its own; the open block stays open.
    blocks_.emplace_back(new char16_t[n]);
    at = blocks_.back().get();
  } else {
    if (!open_ || kTextBlock - openUsed_ < n) {
      blocks_.emplace_back(new char16_t[kTextBlock]);
      open_ = blocks_.back().get();
      openUsed_ = 0;
    }
    at = open_ + openUsed_;
    openUsed_ += n;
  }
  std::memcpy(at, text.utf16(), n * sizeof(char16_t));
  return at;
}

void TextPool::rehash(std::size_t buckets) {
  buckets_.assign(buckets, Bucket{0, 0});
  const std::size_t mask = buckets - 1;
  for (std::size_t id = 0; id < entries_.size(); ++id) {
    std::size_t b = entries_[id].hash & mask;
    while (buckets_[b].id != 0) b = (b + 1) & mask;
    buckets_[b] = {entries_[id].hash, static_cast<std::uint32_t>(id + 1)};
  }
}

std::uint32_t TextPool::intern(QStringView text) {
  const std::uint32_t hash = textHash(text);
  const std::size_t mask = buckets_.size() - 1;
  std::size_t b = hash & mask;
  for (; buckets_[b].id != 0; b = (b + 1) & mask) {
    if (buckets_[b].hash != hash) continue;
    const Entry& e = entries_[buckets_[b].id - 1];
    if (e.size == static_cast<std::uint32_t>(text.size()) && std::equal(text.begin(), text.end(), e.data))
      return buckets_[b].id - 1;
  }
  if (entries_.size() >= UINT32_MAX - 1 || static_cast<std::uint64_t>(text.size()) > UINT32_MAX) throw std::bad_alloc();
  const auto id = static_cast<std::uint32_t>(entries_.size());
  entries_.push_back({store(text), static_cast<std::uint32_t>(text.size()), hash});
  buckets_[b] = {hash, id + 1};
  if (entries_.size() * 2 > buckets_.size()) rehash(buckets_.size() * 2);
  return id;
}

// --- SheetCells --------------------------------------------------------------

namespace {

// Storage of values, shapes and formats: freed places are taken again first.
// Their numbers must fit a value word's payload.
constexpr std::uint32_t kMaxSlots = (1u << 28) - 1;

template <typename T>
std::uint32_t takeSlot(std::vector<T>& store, std::vector<std::uint32_t>& free, T value) {
  if (!free.empty()) {
    const std::uint32_t id = free.back();
    free.pop_back();
    store[id] = std::move(value);
    return id;
  }
  if (store.size() >= kMaxSlots) throw std::bad_alloc();
  store.push_back(std::move(value));
  return static_cast<std::uint32_t>(store.size() - 1);
}

}  // namespace

SheetCells::~SheetCells() = default;

const TXlsRangeFormat& SheetCells::defaultFormat() {
  static const TXlsRangeFormat f;
  return f;
}

const TXlsRangeFormat& SheetCells::format(std::uint32_t id) const {
  return id == 0 ? defaultFormat() : *formatStore_[id - 1];
}

std::uint32_t SheetCells::firstFrom(std::int32_t row) const {
  const auto& runs = tops_.runs();
  if (runs.empty() || static_cast<std::int32_t>(runs.back().value) < row) return size();
  // Cells come row by row, so the answer is nearly always the last run.
  if (runs.size() < 2 || static_cast<std::int32_t>(runs[runs.size() - 2].value) < row) return runs.back().start;
  const auto it = std::partition_point(runs.begin(), runs.end(),
                                       [row](const RunList::Run& r) { return static_cast<std::int32_t>(r.value) < row; });
  return it->start;
}

SheetCells::Kind SheetCells::otherKind(std::uint32_t w) const {
  if (wordKind(w) != kOther) return Kind::Other;
  const Value& v = otherValues_[payload(w)];
  if (std::holds_alternative<QString>(v)) return Kind::Text;
  return isNumericValue(v) ? Kind::Number : Kind::Other;
}

Value SheetCells::value(std::uint32_t i) const {
  const std::uint32_t w = values_[i];
  switch (wordKind(w)) {
    case kEmpty: return {};
    case kText: return texts_->text(payload(w)).toString();
    case kInt32: return inlineInt(w);
    case kUInt8: return static_cast<std::uint8_t>(payload(w));
    case kInt16: return static_cast<std::int16_t>(static_cast<std::uint16_t>(payload(w)));
    case kBool: return payload(w) != 0;
    default: return otherValues_[payload(w)];
  }
}

double SheetCells::number(std::uint32_t i) const {
  const std::uint32_t w = values_[i];
  switch (wordKind(w)) {
    case kInt32: return inlineInt(w);
    case kUInt8: return payload(w);
    case kInt16: return static_cast<std::int16_t>(static_cast<std::uint16_t>(payload(w)));
    case kOther: return numericValue(otherValues_[payload(w)]);
    default: return 0;
  }
}

QStringView SheetCells::text(std::uint32_t i) const {
  const std::uint32_t w = values_[i];
  if (wordKind(w) == kText) return texts_->text(payload(w));
  if (wordKind(w) == kOther)
    if (const auto* s = std::get_if<QString>(&otherValues_[payload(w)])) return *s;
  return {};
}

bool SheetCells::otherShowsText(std::uint32_t i) const {
  switch (kind(i)) {
    case Kind::Text: return !text(i).isEmpty();
    case Kind::Other: return !valueText(value(i)).isEmpty();
    default: return false;
  }
}

void SheetCells::releaseValue(std::uint32_t w) {
  if (wordKind(w) != kOther) return;
  otherValues_[payload(w)] = Value();
  freeValues_.push_back(payload(w));
}

void SheetCells::setText(std::uint32_t i, QStringView text) { setTextNumber(i, texts_->intern(text)); }

void SheetCells::setTextNumberAside(std::uint32_t i, std::uint32_t number) {
  const std::uint32_t w = number <= kPayload
                              ? word(kText, number)
                              : word(kOther, takeSlot(otherValues_, freeValues_, Value(texts_->text(number).toString())));
  releaseValue(values_[i]);
  values_[i] = w;
}

void SheetCells::setValue(std::uint32_t i, const Value& v) {
  if (const auto* s = std::get_if<QString>(&v)) return setText(i, *s);
  std::uint32_t w;
  if (std::holds_alternative<std::monostate>(v)) {
    w = word(kEmpty, 0);
  } else if (const auto* p = std::get_if<std::uint8_t>(&v)) {
    w = word(kUInt8, *p);
  } else if (const auto* p = std::get_if<std::int16_t>(&v)) {
    w = word(kInt16, static_cast<std::uint16_t>(*p));
  } else if (const auto* p = std::get_if<std::int32_t>(&v); p && *p >= kInlineMin && *p <= kInlineMax) {
    w = word(kInt32, static_cast<std::uint32_t>(*p));
  } else if (const auto* p = std::get_if<bool>(&v)) {
    w = word(kBool, *p ? 1 : 0);
  } else {
    w = word(kOther, takeSlot(otherValues_, freeValues_, v));
  }
  releaseValue(values_[i]);
  values_[i] = w;
}

void SheetCells::insert(std::uint32_t i, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
  std::uint32_t shape = 0;
  if (right != left || bottom != top)
    shape = 1 + takeSlot(shapeStore_, freeShapes_, CellShape{right, bottom, std::int64_t(bottom) - top + 1});
  const bool narrow = left >= 0 && left < kWideLeft;
  const std::uint8_t leftByte = narrow ? static_cast<std::uint8_t>(left) : kWideLeft;
  const std::uint32_t wideLeft = narrow ? 0 : static_cast<std::uint32_t>(left);
  if (i == size()) {
    // Cells mostly come in order.
    lefts_.pushBack(leftByte);
    wideLefts_.push(wideLeft);
    values_.pushBack(word(kEmpty, 0));
    tops_.push(static_cast<std::uint32_t>(top));
    shapes_.push(shape);
    formats_.push(0);
    return;
  }
  lefts_.insert(i, leftByte);
  wideLefts_.insert(i, wideLeft);
  values_.insert(i, word(kEmpty, 0));
  tops_.insert(i, static_cast<std::uint32_t>(top));
  shapes_.insert(i, shape);
  formats_.insert(i, 0);
}

void SheetCells::erase(std::uint32_t i) {
  releaseValue(values_[i]);
  if (const std::uint32_t s = shapeId(i)) freeShapes_.push_back(s - 1);
  if (const std::uint32_t f = formatId(i)) {
    formatStore_[f - 1].reset();
    freeFormats_.push_back(f - 1);
  }
  lefts_.erase(i);
  wideLefts_.erase(i);
  values_.erase(i);
  tops_.erase(i);
  shapes_.erase(i);
  formats_.erase(i);
}

TXlsRangeFormat& SheetCells::ensureFormat(std::uint32_t i) {
  if (const std::uint32_t f = formatId(i)) return *formatStore_[f - 1];
  const std::uint32_t id = takeSlot(formatStore_, freeFormats_, std::make_unique<TXlsRangeFormat>());
  formats_.set(i, id + 1);
  return *formatStore_[id];
}

std::int64_t SheetCells::tallest() const {
  std::int64_t result = 1;
  for (const RunList::Run& r : shapes_.runs())
    if (r.value != 0) result = std::max(result, shape(r.value).height);
  return result;
}

}  // namespace hv
