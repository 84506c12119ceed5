#pragma once
// The compact storage behind a worksheet's ranges: no object per cell. Each
// range has its left column and a 32-bit value word; top rows, shapes and
// formats are kept as runs of equal neighbours; texts are interned once per
// workbook. A sheet of the export (single cells of one look, row by row)
// costs about five bytes a cell.
#include <QString>
#include <QStringView>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "export/workbook_types.h"

namespace hv {

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
  void erase(std::uint32_t i);
  void set(std::uint32_t i, std::uint32_t value);

 private:
  std::size_t findRun(std::uint32_t i) const;

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
  Kind kind(std::uint32_t i) const;
  // Whether the cell shows a text that is not empty (and so gets a shared string).
  bool showsText(std::uint32_t i) const {
    const std::uint32_t w = values_[i];
    if (w >> kKindShift == kText) return (w & kPayload) != 0;  // text number 0 is the empty text
    return w >> kKindShift >= kBool && otherShowsText(i);
  }
  Value value(std::uint32_t i) const;
  double number(std::uint32_t i) const;  // for Kind::Number
  QStringView text(std::uint32_t i) const;  // for Kind::Text
  void setValue(std::uint32_t i, const Value& v);
  void setText(std::uint32_t i, QStringView text);

  // --- changes ---
  void insert(std::uint32_t i, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
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

  void releaseValue(std::uint32_t word);
  bool otherShowsText(std::uint32_t i) const;

  TextPool* texts_;
  // Deques grow without copying and without doubling the memory they hold.
  // A left column outside 0..254 is kept in wideLefts_, its byte marked.
  static constexpr std::uint8_t kWideLeft = 255;
  std::deque<std::uint8_t> lefts_;
  RunList wideLefts_;
  std::deque<std::uint32_t> values_;  // value words
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
