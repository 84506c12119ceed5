#pragma once
// The compact storage behind a worksheet's ranges: no object per cell. Each
// range has its left column and a 32-bit value word; top rows, shapes and
// formats are kept as runs of equal neighbours; texts are interned once per
// workbook. A sheet of the export (single cells of one look, row by row)
// costs about five bytes a cell.
#include <QString>
#include <QStringView>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "export/workbook_types.h"

namespace hv {

// An array in chunks of 2^Shift elements: it grows without copying and
// without doubling the memory it holds, and an element is found in two
// steps. Inserting and erasing in the middle move the elements after it.
template <typename T, int Shift = 12>
class ChunkedArray {
  static_assert(std::is_trivially_copyable_v<T>);
  static constexpr std::size_t kChunk = std::size_t(1) << Shift;
  static constexpr std::size_t kMask = kChunk - 1;

 public:
  std::size_t size() const { return size_; }
  T operator[](std::size_t i) const { return chunks_[i >> Shift][i & kMask]; }
  T& operator[](std::size_t i) { return chunks_[i >> Shift][i & kMask]; }
  T back() const { return (*this)[size_ - 1]; }

  void pushBack(T v) {
    if ((size_ >> Shift) == chunks_.size()) [[unlikely]] addChunk();
    (*this)[size_++] = v;
  }
  void append(const T* values, std::size_t n) {
    while (n > 0) {
      if ((size_ >> Shift) == chunks_.size()) addChunk();
      const std::size_t part = std::min(n, kChunk - (size_ & kMask));
      std::memcpy(&(*this)[size_], values, part * sizeof(T));
      size_ += part;
      values += part;
      n -= part;
    }
  }
  void insert(std::size_t i, T v) {
    pushBack(v);
    // Everything from i on moves up one place, a chunk's part at a time.
    for (std::size_t j = size_ - 1; j > i;) {
      const std::size_t lowest = std::max(i + 1, (j & ~kMask) + 1);
      if (lowest <= j) {
        std::memmove(&(*this)[lowest], &(*this)[lowest - 1], (j - lowest + 1) * sizeof(T));
        j = lowest - 1;
      }
      if (j > i) {
        (*this)[j] = (*this)[j - 1];  // across the chunks' border
        --j;
      }
    }
    (*this)[i] = v;
  }
  void erase(std::size_t i) {
    for (std::size_t j = i; j + 1 < size_;) {
      const std::size_t last = std::min(size_ - 1, j | kMask);
      if (j < last) {
        std::memmove(&(*this)[j], &(*this)[j + 1], (last - j) * sizeof(T));
        j = last;
      }
      if (j + 1 < size_) {
        (*this)[j] = (*this)[j + 1];
        ++j;
      }
    }
    --size_;
    if (chunks_.size() > (size_ >> Shift) + 1) chunks_.pop_back();
  }

 private:
  [[gnu::noinline]] void addChunk() { chunks_.emplace_back(new T[kChunk]); }

  std::vector<std::unique_ptr<T[]>> chunks_;
  std::size_t size_ = 0;
};

// A sequence of 32-bit values kept as runs of equal neighbours.
class RunList {
 public:
  struct Run {
    std::uint32_t start;
    std::uint32_t value;
  };

  std::uint32_t size() const { return size_; }
  std::uint32_t at(std::uint32_t i) const { return runs_[runIndex(i)].value; }
  // The run holding element i (i < size()); sequential look-ups are cheap.
  std::size_t runIndex(std::uint32_t i) const {
    if (hint_ < runs_.size() && runs_[hint_].start <= i && i < runEnd(hint_)) return hint_;
    return findRun(i);
  }
  std::uint32_t runEnd(std::size_t run) const { return run + 1 < runs_.size() ? runs_[run + 1].start : size_; }
  const std::vector<Run>& runs() const { return runs_; }

  void insert(std::uint32_t i, std::uint32_t value);  // i <= size()
  // insert(size(), value) n times, quicker.
  void push(std::uint32_t value, std::uint32_t n = 1) {
    if (runs_.empty() || runs_.back().value != value || UINT32_MAX - size_ < n) [[unlikely]]
      return pushRun(value, n);
    size_ += n;
  }
  void erase(std::uint32_t i);
  void set(std::uint32_t i, std::uint32_t value);

 private:
  std::size_t findRun(std::uint32_t i) const;
  void pushRun(std::uint32_t value, std::uint32_t n);  // push's way when a new run starts

  std::vector<Run> runs_;
  std::uint32_t size_ = 0;
  mutable std::size_t hint_ = 0;
};

// Texts stored once each, numbered from 0 (the empty text) in order of first use.
class TextPool {
 public:
  TextPool();
  TextPool(const TextPool&) = delete;
  TextPool& operator=(const TextPool&) = delete;

  std::uint32_t intern(QStringView text);
  QStringView text(std::uint32_t id) const { return {entries_[id].data, static_cast<qsizetype>(entries_[id].size)}; }
  // Asks the processor for text id's entry, or for its characters once the
  // entry is at hand: texts read in cell order lie all over the pool.
  void prefetch(std::uint32_t id, bool characters) const {
    if (characters)
      __builtin_prefetch(entries_[id].data);
    else
      __builtin_prefetch(&entries_[id]);
  }
  std::size_t count() const { return entries_.size(); }

 private:
  struct Entry {
    const char16_t* data;
    std::uint32_t size;
    std::uint32_t hash;
  };
  struct Bucket {
    std::uint32_t hash;
    std::uint32_t id;  // id + 1, 0 when free
  };
  const char16_t* store(QStringView text);
  void rehash(std::size_t buckets);

  std::vector<Entry> entries_;
  std::vector<Bucket> buckets_;
  std::vector<std::unique_ptr<char16_t[]>> blocks_;
  char16_t* open_ = nullptr;  // the block short texts go into
  std::size_t openUsed_ = 0;
};

// A range's rectangle where it is more than one cell.
struct CellShape {
  std::int32_t right = 0, bottom = 0;
  std::int64_t height = 1;
};

// The ranges of one sheet in their order (by top row, then as added).
class SheetCells {
 public:
  explicit SheetCells(TextPool& texts) : texts_(&texts) {}
  ~SheetCells();
  SheetCells(const SheetCells&) = delete;
  SheetCells& operator=(const SheetCells&) = delete;

  std::uint32_t size() const { return static_cast<std::uint32_t>(lefts_.size()); }
  std::int32_t left(std::uint32_t i) const {
    const std::uint8_t b = lefts_[i];
    return b != kWideLeft ? b : static_cast<std::int32_t>(wideLefts_.at(i));
  }
  std::int32_t top(std::uint32_t i) const { return static_cast<std::int32_t>(tops_.at(i)); }
  // 0 for a single cell, otherwise a number for shape().
  std::uint32_t shapeId(std::uint32_t i) const { return shapes_.at(i); }
  const CellShape& shape(std::uint32_t id) const { return shapeStore_[id - 1]; }
  std::int32_t right(std::uint32_t i) const {
    const std::uint32_t s = shapeId(i);
    return s == 0 ? left(i) : shape(s).right;
  }
  std::int32_t bottom(std::uint32_t i) const {
    const std::uint32_t s = shapeId(i);
    return s == 0 ? top(i) : shape(s).bottom;
  }
  // 0 for the default look, otherwise a number for format().
  std::uint32_t formatId(std::uint32_t i) const { return formats_.at(i); }
  const TXlsRangeFormat& format(std::uint32_t id) const;
  static const TXlsRangeFormat& defaultFormat();

  const RunList& tops() const { return tops_; }
  const RunList& shapes() const { return shapes_; }
  const RunList& formats() const { return formats_; }
  // The first cell whose top row is not less than `row`.
  std::uint32_t firstFrom(std::int32_t row) const;

  // --- values ---
  enum class Kind { Empty, Number, Text, Other };
  Kind kind(std::uint32_t i) const {
    const std::uint32_t w = values_[i];
    switch (wordKind(w)) {
      case kEmpty: return Kind::Empty;
      case kText: return Kind::Text;
      case kInt32:
      case kUInt8:
      case kInt16: return Kind::Number;
      default: return otherKind(w);
    }
  }
  // Whether the cell shows a text that is not empty (and so gets a shared string).
  bool showsText(std::uint32_t i) const {
    const std::uint32_t w = values_[i];
    if (w >> kKindShift == kText) return (w & kPayload) != 0;  // text number 0 is the empty text
    return w >> kKindShift >= kBool && otherShowsText(i);
  }
  Value value(std::uint32_t i) const;
  double number(std::uint32_t i) const;  // for Kind::Number
  QStringView text(std::uint32_t i) const;  // for Kind::Text
  // TextPool::prefetch for the text of cell i, if it has one.
  void prefetchText(std::uint32_t i, bool characters) const {
    const std::uint32_t w = values_[i];
    if (wordKind(w) == kText) texts_->prefetch(payload(w), characters);
  }
  void setValue(std::uint32_t i, const Value& v);
  void setText(std::uint32_t i, QStringView text);
  // A text of the pool by its number.
  void setTextNumber(std::uint32_t i, std::uint32_t number) {
    std::uint32_t& w = values_[i];
    if (number <= kPayload && wordKind(w) != kOther) [[likely]]
      w = word(kText, number);
    else
      setTextNumberAside(i, number);
  }
  TextPool& texts() const { return *texts_; }

  // --- changes ---
  void insert(std::uint32_t i, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
  // insert(size(), left, top, left, top) for a left column below 255, quicker.
  void appendCell(std::uint8_t left, std::int32_t top) {
    lefts_.pushBack(left);
    wideLefts_.push(0);
    values_.pushBack(word(kEmpty, 0));
    tops_.push(static_cast<std::uint32_t>(top));
    shapes_.push(0);
    formats_.push(0);
  }
  // The same for the cells of columns left .. left + n - 1 of one row, each
  // holding text number texts[k] (at most kMaxInlineText), or blank for kNoText.
  static constexpr std::uint32_t kNoText = UINT32_MAX;
  static constexpr std::uint32_t kMaxInlineText = (1u << 28) - 1;
  void appendTexts(std::uint8_t left, std::int32_t top, const std::uint32_t* texts, std::uint32_t n) {
    constexpr std::uint32_t kPiece = 64;
    for (std::uint32_t from = 0; from < n; from += kPiece) {
      std::uint8_t lefts[kPiece];
      std::uint32_t words[kPiece];
      const std::uint32_t m = std::min(kPiece, n - from);
      for (std::uint32_t k = 0; k < m; ++k) {
        lefts[k] = static_cast<std::uint8_t>(left + from + k);
        words[k] = texts[from + k] == kNoText ? word(kEmpty, 0) : word(kText, texts[from + k]);
      }
      lefts_.append(lefts, m);
      values_.append(words, m);
    }
    wideLefts_.push(0, n);
    tops_.push(static_cast<std::uint32_t>(top), n);
    shapes_.push(0, n);
    formats_.push(0, n);
  }
  void erase(std::uint32_t i);
  TXlsRangeFormat& ensureFormat(std::uint32_t i);
  // Largest bottom - top + 1 over the ranges (1 when all are single cells or none).
  std::int64_t tallest() const;

 private:
  // A value word: the kind in the top four bits, the rest its payload.
  enum WordKind : std::uint32_t {
    kEmpty = 0,
    kText = 1,   // payload: text number in the pool
    kInt32 = 2,  // payload: a 32-bit integer that fits 28 bits
    kUInt8 = 3,
    kInt16 = 4,
    kBool = 5,
    kOther = 6,  // payload: place in otherValues_
  };
  static constexpr int kKindShift = 28;
  static_assert(kMaxInlineText == (1u << kKindShift) - 1);
  static constexpr std::uint32_t kPayload = (1u << kKindShift) - 1;
  static constexpr std::int32_t kInlineMin = -(1 << (kKindShift - 1));
  static constexpr std::int32_t kInlineMax = (1 << (kKindShift - 1)) - 1;
  static constexpr std::uint32_t word(WordKind kind, std::uint32_t payload) {
    return kind << kKindShift | (payload & kPayload);
  }
  static constexpr WordKind wordKind(std::uint32_t w) { return static_cast<WordKind>(w >> kKindShift); }
  static constexpr std::uint32_t payload(std::uint32_t w) { return w & kPayload; }
  static constexpr std::int32_t inlineInt(std::uint32_t w) {
    // Sign-extends the 28-bit payload.
    return static_cast<std::int32_t>(payload(w) << (32 - kKindShift)) >> (32 - kKindShift);
  }

  Kind otherKind(std::uint32_t word) const;
  void setTextNumberAside(std::uint32_t i, std::uint32_t number);
  void releaseValue(std::uint32_t word);
  bool otherShowsText(std::uint32_t i) const;

  TextPool* texts_;
  // A left column outside 0..254 is kept in wideLefts_, its byte marked.
  static constexpr std::uint8_t kWideLeft = 255;
  ChunkedArray<std::uint8_t> lefts_;
  RunList wideLefts_;
  ChunkedArray<std::uint32_t> values_;  // value words
  RunList tops_;
  RunList shapes_;
  RunList formats_;
  std::vector<CellShape> shapeStore_;
  std::vector<std::uint32_t> freeShapes_;
  std::vector<std::unique_ptr<TXlsRangeFormat>> formatStore_;
  std::vector<std::uint32_t> freeFormats_;
  std::vector<Value> otherValues_;
  std::vector<std::uint32_t> freeValues_;
};

}  // namespace hv
