#pragma once
// The in-memory workbook: a workbook owns its sheets, a sheet owns rectangular
// ranges of cells, each range with one value and one set of formatting attributes.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "export/cell_store.h"
#include "export/workbook_types.h"

namespace hv {

class TXlsWorkbook;
class TXlsWorksheet;

// A handle on one range of a sheet (the sheet owns the range). A range is
// known by its rectangle, so a handle stays good while other ranges come and
// go; once its own range is removed it reads as empty, and writing through it
// throws std::logic_error.
class TXlsRange {
 public:
  TXlsRange() = default;

  TXlsWorksheet* sheet() const { return sheet_; }
  std::int32_t left() const { return left_; }
  std::int32_t top() const { return top_; }
  std::int32_t right() const { return right_; }
  std::int32_t bottom() const { return bottom_; }
  bool isSingleCell() const { return left_ == right_ && top_ == bottom_; }

  Value getValue() const;
  // Text values are stored with every CR LF pair folded into one LF; 8-bit text
  // is read as Windows-1251.
  void setValue(const Value& v);
  void setValue(const QString& text);
  void setValue(const AnsiText& text);
  // A text value from anywhere; only a text with a CR is copied on its way in.
  void setText(QStringView text);

  // The formatting attributes. Reading through a const handle never allocates;
  // the non-const form gives the range a format of its own to change.
  const TXlsRangeFormat& format() const;
  TXlsRangeFormat& format();
  bool hasFormat() const;

  CellKind getCellKind() const;

  // The same range: same sheet and rectangle.
  friend bool operator==(const TXlsRange& a, const TXlsRange& b) {
    return a.sheet_ == b.sheet_ && a.left_ == b.left_ && a.top_ == b.top_ && a.right_ == b.right_ &&
           a.bottom_ == b.bottom_;
  }

 private:
  friend class TXlsWorksheet;
  TXlsRange(TXlsWorksheet* sheet, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
            std::uint32_t slot, std::uint64_t layout)
      : sheet_(sheet), left_(left), top_(top), right_(right), bottom_(bottom), slot_(slot), layout_(layout) {}
  // The range's place among the sheet's ranges, or -1 when it was removed.
  std::int64_t slot() const;
  std::uint32_t liveSlot() const;  // throws when removed

  TXlsWorksheet* sheet_ = nullptr;
  std::int32_t left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
  mutable std::int64_t slot_ = -1;
  mutable std::uint64_t layout_ = 0;  // the sheet's layout when slot_ was found
};

// The ranges of a sheet in their order, as handles.
class TXlsRanges {
 public:
  explicit TXlsRanges(const TXlsWorksheet* sheet) : sheet_(sheet) {}
  std::size_t size() const;
  bool empty() const { return size() == 0; }
  TXlsRange operator[](std::size_t i) const;

  class iterator {
   public:
    using value_type = TXlsRange;
    using difference_type = std::ptrdiff_t;
    iterator(const TXlsRanges* ranges, std::size_t i) : ranges_(ranges), i_(i) {}
    TXlsRange operator*() const { return (*ranges_)[i_]; }
    iterator& operator++() {
      ++i_;
      return *this;
    }
    bool operator==(const iterator& o) const { return i_ == o.i_; }

   private:
    const TXlsRanges* ranges_;
    std::size_t i_;
  };
  iterator begin() const { return {this, 0}; }
  iterator end() const { return {this, size()}; }

 private:
  const TXlsWorksheet* sheet_;
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

  TXlsWorkbook* workbook() const { return workbook_; }
  const QString& Name() const { return name_; }
  // Keeps the first 31 characters, then trims blanks and control characters.
  void setName(const QString& name);
  int SheetIndex() const;

  // The range of exactly this rectangle: an existing one, or a new one after
  // every range that overlaps the rectangle has been removed.
  TXlsRange GetRange(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);

  // Sheets filled cell by cell, row by row, without handles: the same as
  // GetRange(column, row, column, row) and setting its value, quicker.
  // textNumber() gives a text's number among the cell texts of the sheet's
  // workbook (CR LF folded as setValue does), good for all its sheets.
  std::uint32_t textNumber(QStringView text);
  void setCellText(std::int32_t column, std::int32_t row, std::uint32_t textNumber);
  // Cells firstColumn, firstColumn + 1, ... of `row` at once: texts[k] a
  // number from textNumber(), or kNoText for a blank cell.
  static constexpr std::uint32_t kNoText = SheetCells::kNoText;
  void setCellTexts(std::int32_t row, std::int32_t firstColumn, const std::uint32_t* texts, std::uint32_t count);
  void setCellValue(std::int32_t column, std::int32_t row, const Value& value);
  void addCell(std::int32_t column, std::int32_t row);  // a blank one

  // In order of top row, then as added.
  TXlsRanges Ranges() const { return TXlsRanges(this); }
  const TXlsArea& UsedArea() const { return usedArea_; }
  std::int32_t MaxRangeHeight() const { return maxRangeHeight_; }

  // The ranges' storage, for the writer.
  const SheetCells& cells() const { return cells_; }

  TXlsPageSetup PageSetup;
  TXlsImages Images;
  std::vector<TXlsColumnWidth> ColumnWidths;
  std::vector<TXlsRowHeight> RowHeights;
  std::vector<std::uint16_t> PageBreaks;

 private:
  friend class TXlsWorkbook;
  friend class TXlsRange;
  friend class TXlsRanges;
  // The place of the range of exactly this rectangle, or -1.
  std::int64_t findSlot(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) const;
  TXlsRange rangeAt(std::uint32_t slot) const;
  // The place of the range of exactly that rectangle, existing or new.
  std::uint32_t place(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
  // place's search where the range does not simply go last.
  std::uint32_t placeRange(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);

  TXlsWorkbook* workbook_;
  QString name_;
  std::unique_ptr<TextPool> ownTexts_;  // for a sheet without workbook
  SheetCells cells_;
  // Changes whenever ranges move to other places (not when one is appended).
  std::uint64_t layout_ = 0;
  TXlsArea usedArea_;
  std::int32_t maxRangeHeight_ = 0;
  // The last row holding ranges and the rightmost column used in it: a range
  // of one row beyond both, while all ranges are one row high, goes at the end
  // without a search.
  std::int32_t tailTop_ = 0, tailRight_ = 0;
};

class TXlsWorkbook {
 public:
  TXlsWorkbook();
  ~TXlsWorkbook();
  TXlsWorkbook(const TXlsWorkbook&) = delete;
  TXlsWorkbook& operator=(const TXlsWorkbook&) = delete;

  const QString& AuthorName() const { return authorName_; }
  // Keeps the first 66 characters, then trims blanks and control characters.
  void setAuthorName(const QString& name);

  // A new sheet named "Sheet<n>", appended.
  TXlsWorksheet& AddSheet();
  int SheetCount() const { return static_cast<int>(sheets_.size()); }
  TXlsWorksheet& Sheets(int index) { return *sheets_.at(index); }
  const TXlsWorksheet& Sheets(int index) const { return *sheets_.at(index); }
  int SheetIndex(const TXlsWorksheet* sheet) const;

  // The texts of all cells, each stored once.
  TextPool& texts() { return texts_; }
  const TextPool& texts() const { return texts_; }

 private:
  QString authorName_;
  TextPool texts_;
  std::vector<std::unique_ptr<TXlsWorksheet>> sheets_;
};

}  // namespace hv
