#pragma once
// The in-memory workbook: a workbook owns its sheets, a sheet owns rectangular
// ranges of cells, each range with one value and one set of formatting attributes.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "export/workbook_types.h"

namespace hv {

class TXlsWorkbook;
class TXlsWorksheet;

// Everything a range carries besides its rectangle and value. Allocated only
// when a range is formatted, so that a large sheet of plain cells stays small.
struct TXlsRangeFormat {
  TXlsBorders Borders;
  TXlsFont Font;
  std::uint8_t HorizontalAlignment = 0;  // 0 general .. 6 centre across selection
  std::uint8_t VerticalAlignment = 2;    // 0 top, 1 centre, 2 bottom, 3 justify
  bool WrapText = false;
  std::uint8_t Rotation = 0;
  QString NumberFormat;  // empty: General
  std::uint8_t FillPattern = 0;
  hv::Color FillColor = clBlack;
  hv::Color PatternColor = clBlack;
  QString Formula;
};

class TXlsRange {
 public:
  TXlsRange(TXlsWorksheet* sheet, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom)
      : sheet_(sheet), left_(left), top_(top), right_(right), bottom_(bottom) {}

  TXlsWorksheet* Sheet() const { return sheet_; }
  std::int32_t Left() const { return left_; }
  std::int32_t Top() const { return top_; }
  std::int32_t Right() const { return right_; }
  std::int32_t Bottom() const { return bottom_; }
  bool isSingleCell() const { return left_ == right_ && top_ == bottom_; }

  const Value& GetValue() const { return value_; }
  // Text values are stored with every CR LF pair folded into one LF; 8-bit text
  // is read as Windows-1251.
  void SetValue(const Value& v);
  void SetValue(const QString& text);
  void SetValue(const AnsiText& text);

  // The formatting attributes; reading through a const range never allocates.
  const TXlsRangeFormat& Format() const;
  TXlsRangeFormat& Format();
  bool hasFormat() const { return format_ != nullptr; }

  CellKind GetCellKind() const;

 private:
  TXlsWorksheet* sheet_;
  std::int32_t left_, top_, right_, bottom_;
  Value value_;
  std::unique_ptr<TXlsRangeFormat> format_;
};

// A sheet's handle on one of its ranges (the sheet owns the range).
class TXlsRangeRef {
 public:
  explicit TXlsRangeRef(TXlsRange* range) : range_(range) {}
  TXlsRange* get() const { return range_; }
  TXlsRange* operator->() const { return range_; }
  TXlsRange& operator*() const { return *range_; }

 private:
  TXlsRange* range_;
};

struct TXlsColumnWidth {
  std::uint16_t column = 0;
  std::uint16_t width = 0;  // 1/256 of a character width
};

struct TXlsRowHeight {
  std::int32_t row = 0;
  std::uint16_t height = 0;  // twentieths of a point
};

struct TXlsImage {
  QByteArray data;  // a picture; the export adds none
};

// Pictures of a sheet; clearing releases them.
using TXlsImages = std::vector<std::unique_ptr<TXlsImage>>;

struct TXlsArea {
  std::int32_t firstColumn = -1, firstRow = -1, lastColumn = -1, lastRow = -1;
  bool isEmpty() const { return firstRow < 0; }
};

class TXlsWorksheet {
 public:
  explicit TXlsWorksheet(TXlsWorkbook* workbook);
  TXlsWorksheet(const TXlsWorksheet&) = delete;
  TXlsWorksheet& operator=(const TXlsWorksheet&) = delete;

  TXlsWorkbook* Workbook() const { return workbook_; }
  const QString& Name() const { return name_; }
  // Keeps the first 31 characters, then trims blanks and control characters.
  void SetName(const QString& name);
  int SheetIndex() const;

  // The range of exactly this rectangle: an existing one, or a new one after
  // every range that overlaps the rectangle has been removed.
  TXlsRange& GetRange(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);

  // In order of top row, then as added; the ranges stay where they are in memory.
  const std::vector<TXlsRangeRef>& Ranges() const { return ranges_; }
  const TXlsArea& UsedArea() const { return usedArea_; }
  std::int32_t MaxRangeHeight() const { return maxRangeHeight_; }

  // Index of the first range whose top row is not less than `row`.
  std::size_t firstRangeFrom(std::int32_t row) const;

  TXlsPageSetup PageSetup;
  TXlsImages Images;
  std::vector<TXlsColumnWidth> ColumnWidths;
  std::vector<TXlsRowHeight> RowHeights;
  std::vector<std::uint16_t> PageBreaks;

 private:
  friend class TXlsWorkbook;
  TXlsWorkbook* workbook_;
  QString name_;
  TXlsRange* newRange(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
  void freeRange(TXlsRange* range);

  std::vector<TXlsRangeRef> ranges_;
  // Ranges live in blocks: a sheet of a million cells is a few hundred
  // allocations, not a million. Removed slots are reused.
  using RangeSlot = std::optional<TXlsRange>;
  std::vector<std::unique_ptr<RangeSlot[]>> blocks_;
  std::size_t usedInLastBlock_ = 0;
  std::vector<TXlsRange*> freeRanges_;
  TXlsArea usedArea_;
  std::int32_t maxRangeHeight_ = 0;
};

class TXlsWorkbook {
 public:
  TXlsWorkbook();
  ~TXlsWorkbook();
  TXlsWorkbook(const TXlsWorkbook&) = delete;
  TXlsWorkbook& operator=(const TXlsWorkbook&) = delete;

  const QString& AuthorName() const { return authorName_; }
  // Keeps the first 66 characters, then trims blanks and control characters.
  void SetAuthorName(const QString& name);

  // A new sheet named "Sheet<n>", appended.
  TXlsWorksheet& AddSheet();
  int SheetCount() const { return static_cast<int>(sheets_.size()); }
  TXlsWorksheet& Sheets(int index) { return *sheets_.at(index); }
  const TXlsWorksheet& Sheets(int index) const { return *sheets_.at(index); }
  int SheetIndex(const TXlsWorksheet* sheet) const;

 private:
  QString authorName_;
  std::vector<std::unique_ptr<TXlsWorksheet>> sheets_;
};

}  // namespace hv
