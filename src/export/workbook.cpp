#include "export/workbook.h"

#include <algorithm>
#include <stdexcept>

#include "platform/codepage.h"

namespace hv {

namespace {

// Removes leading and trailing blanks and control characters.
QString trimBlanks(const QString& s) {
  qsizetype b = 0, e = s.size();
  while (b < e && s.at(b).unicode() <= 0x20) ++b;
  while (e > b && s.at(e - 1).unicode() <= 0x20) --e;
  return s.mid(b, e - b);
}

QString foldLineBreaks(QString text) {
  if (text.contains(QChar('\r'))) text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

}  // namespace

// --- TXlsRange ---------------------------------------------------------------

std::int64_t TXlsRange::slot() const {
  if (!sheet_) return -1;
  if (layout_ != sheet_->layout_) {
    slot_ = sheet_->findSlot(left_, top_, right_, bottom_);
    layout_ = sheet_->layout_;
  }
  return slot_;
}

std::uint32_t TXlsRange::liveSlot() const {
  const std::int64_t s = slot();
  if (s < 0) throw std::logic_error("the range was removed from its sheet");
  return static_cast<std::uint32_t>(s);
}

Value TXlsRange::getValue() const {
  const std::int64_t s = slot();
  return s < 0 ? Value() : sheet_->cells_.value(static_cast<std::uint32_t>(s));
}

void TXlsRange::setValue(const Value& v) {
  if (auto text = std::get_if<QString>(&v))
    setValue(*text);
  else
    sheet_->cells_.setValue(liveSlot(), v);
}

void TXlsRange::setValue(const QString& text) { setText(text); }

void TXlsRange::setText(QStringView text) {
  const std::uint32_t s = liveSlot();
  sheet_->cells_.setTextNumber(s, sheet_->textNumber(text));
}

void TXlsRange::setValue(const AnsiText& text) { setValue(fromCp1251(text.bytes)); }

const TXlsRangeFormat& TXlsRange::format() const {
  const std::int64_t s = slot();
  const SheetCells* cells = sheet_ ? &sheet_->cells_ : nullptr;
  if (!cells || s < 0) return SheetCells::defaultFormat();
  return cells->format(cells->formatId(static_cast<std::uint32_t>(s)));
}

TXlsRangeFormat& TXlsRange::format() { return sheet_->cells_.ensureFormat(liveSlot()); }

bool TXlsRange::hasFormat() const {
  const std::int64_t s = slot();
  return s >= 0 && sheet_->cells_.formatId(static_cast<std::uint32_t>(s)) != 0;
}

CellKind TXlsRange::getCellKind() const {
  const std::int64_t s = slot();
  if (s < 0) return CellKind::Text;
  const SheetCells& cells = sheet_->cells_;
  const auto i = static_cast<std::uint32_t>(s);
  if (!cells.format(cells.formatId(i)).Formula.isEmpty()) return CellKind::Formula;
  return cells.kind(i) == SheetCells::Kind::Number ? CellKind::Number : CellKind::Text;
}

// --- TXlsRanges --------------------------------------------------------------

std::size_t TXlsRanges::size() const { return sheet_->cells_.size(); }

TXlsRange TXlsRanges::operator[](std::size_t i) const { return sheet_->rangeAt(static_cast<std::uint32_t>(i)); }

// --- TXlsWorksheet -----------------------------------------------------------

namespace {
TextPool* newPoolUnless(TXlsWorkbook* workbook) { return workbook ? nullptr : new TextPool; }
}  // namespace

TXlsWorksheet::TXlsWorksheet(TXlsWorkbook* workbook)
    : workbook_(workbook),
      ownTexts_(newPoolUnless(workbook)),
      cells_(workbook ? workbook->texts() : *ownTexts_) {}

void TXlsWorksheet::setName(const QString& name) { name_ = trimBlanks(name.left(31)); }

int TXlsWorksheet::SheetIndex() const { return workbook_ ? workbook_->SheetIndex(this) : -1; }

TXlsRange TXlsWorksheet::rangeAt(std::uint32_t slot) const {
  auto* self = const_cast<TXlsWorksheet*>(this);
  return TXlsRange(self, cells_.left(slot), cells_.top(slot), cells_.right(slot), cells_.bottom(slot), slot, layout_);
}

std::int64_t TXlsWorksheet::findSlot(std::int32_t left, std::int32_t top, std::int32_t right,
                                     std::int32_t bottom) const {
  // Ranges never overlap, so the top-left cell names at most one of them.
  for (std::uint32_t i = cells_.firstFrom(top); i < cells_.size() && cells_.top(i) == top; ++i)
    if (cells_.left(i) == left) return cells_.right(i) == right && cells_.bottom(i) == bottom ? std::int64_t(i) : -1;
  return -1;
}

TXlsRange TXlsWorksheet::GetRange(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
  const std::uint32_t found = place(left, top, right, bottom);
  return TXlsRange(this, left, top, right, bottom, found, layout_);
}

std::uint32_t TXlsWorksheet::textNumber(QStringView text) {
  TextPool& pool = cells_.texts();
  if (text.contains(QChar('\r'))) return pool.intern(foldLineBreaks(text.toString()));
  return pool.intern(text);
}

void TXlsWorksheet::setCellText(std::int32_t column, std::int32_t row, std::uint32_t textNumber) {
  cells_.setTextNumber(place(column, row, column, row), textNumber);
}

void TXlsWorksheet::setCellTexts(std::int32_t row, std::int32_t firstColumn, const std::uint32_t* texts,
                                 std::uint32_t count) {
  if (count == 0) return;
  const std::int64_t lastColumn = std::int64_t(firstColumn) + count - 1;
  bool quick = maxRangeHeight_ <= 1 && cells_.size() > 0 && (row > tailTop_ || (row == tailTop_ && firstColumn > tailRight_)) &&
               firstColumn >= 0 && lastColumn < 255;
  for (std::uint32_t k = 0; quick && k < count; ++k)
    quick = texts[k] == kNoText || texts[k] <= SheetCells::kMaxInlineText;
  if (!quick) {
    for (std::uint32_t k = 0; k < count; ++k) {
      const std::int32_t column = firstColumn + std::int32_t(k);
      if (texts[k] == kNoText)
        addCell(column, row);
      else
        setCellText(column, row, texts[k]);
    }
    return;
  }
  cells_.appendTexts(static_cast<std::uint8_t>(firstColumn), row, texts, count);
  tailTop_ = row;
  tailRight_ = std::int32_t(lastColumn);
  usedArea_.firstColumn = std::min(usedArea_.firstColumn, firstColumn);
  usedArea_.lastColumn = std::max(usedArea_.lastColumn, std::int32_t(lastColumn));
  usedArea_.lastRow = std::max(usedArea_.lastRow, row);
}

void TXlsWorksheet::setCellValue(std::int32_t column, std::int32_t row, const Value& value) {
  const std::uint32_t i = place(column, row, column, row);
  if (const auto* text = std::get_if<QString>(&value))
    cells_.setTextNumber(i, textNumber(*text));
  else
    cells_.setValue(i, value);
}

void TXlsWorksheet::addCell(std::int32_t column, std::int32_t row) { place(column, row, column, row); }

std::uint32_t TXlsWorksheet::place(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
  // A single cell after every range, as sheets are mostly filled.
  if (left == right && top == bottom && maxRangeHeight_ <= 1 && cells_.size() > 0 &&
      (top > tailTop_ || (top == tailTop_ && left > tailRight_)) && left >= 0 && left < 255) {
    cells_.appendCell(static_cast<std::uint8_t>(left), top);
    tailTop_ = top;
    tailRight_ = left;
    usedArea_.firstColumn = std::min(usedArea_.firstColumn, left);
    usedArea_.lastColumn = std::max(usedArea_.lastColumn, left);
    usedArea_.lastRow = std::max(usedArea_.lastRow, top);
    return cells_.size() - 1;
  }
  const bool appends = top == bottom && maxRangeHeight_ <= 1 &&
                       (cells_.size() == 0 || top > tailTop_ || (top == tailTop_ && left > tailRight_));
  std::uint32_t found;
  if (appends) {
    found = cells_.size();
    cells_.insert(found, left, top, right, bottom);
    maxRangeHeight_ = 1;
  } else {
    found = placeRange(left, top, right, bottom);
  }
  if (cells_.size() > 0) {
    // The tail after a change anywhere: the last row's rightmost column.
    const std::uint32_t last = cells_.size() - 1;
    if (appends && found == last && top == tailTop_ && cells_.size() > 1) {
      tailRight_ = std::max(tailRight_, right);
    } else {
      tailTop_ = cells_.top(last);
      tailRight_ = cells_.right(last);
      for (std::uint32_t i = cells_.firstFrom(tailTop_); i < last; ++i) tailRight_ = std::max(tailRight_, cells_.right(i));
    }
  }

  if (usedArea_.isEmpty()) {
    usedArea_ = {left, top, right, bottom};
  } else {
    usedArea_.firstColumn = std::min(usedArea_.firstColumn, left);
    usedArea_.firstRow = std::min(usedArea_.firstRow, top);
    usedArea_.lastColumn = std::max(usedArea_.lastColumn, right);
    usedArea_.lastRow = std::max(usedArea_.lastRow, bottom);
  }
  return found;
}

std::uint32_t TXlsWorksheet::placeRange(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
  // Computed in 64 bits: a caller's extreme coordinates must not overflow.
  const std::int64_t from64 = static_cast<std::int64_t>(top) - maxRangeHeight_ + 1;
  const std::int32_t from = static_cast<std::int32_t>(std::max<std::int64_t>(from64, INT32_MIN));
  std::uint32_t i = cells_.firstFrom(from);
  std::int64_t found = -1;
  bool removed = false;
  std::uint32_t insertAt = i;
  while (i < cells_.size() && cells_.top(i) <= bottom) {
    const std::int32_t l = cells_.left(i), t = cells_.top(i), r = cells_.right(i), b = cells_.bottom(i);
    if (l == left && t == top && r == right && b == bottom) {
      found = i;
      break;
    }
    if (l <= right && r >= left && t <= bottom && b >= top) {
      cells_.erase(i);
      ++layout_;
      removed = true;
      if (insertAt > i) --insertAt;
      continue;
    }
    if (t <= top) insertAt = i + 1;
    ++i;
  }
  if (found < 0) {
    if (insertAt < cells_.size()) ++layout_;
    cells_.insert(insertAt, left, top, right, bottom);
    found = insertAt;
  }

  const std::int64_t height = static_cast<std::int64_t>(bottom) - top + 1;
  if (removed) {
    maxRangeHeight_ = static_cast<std::int32_t>(std::min<std::int64_t>(cells_.tallest(), INT32_MAX));
  } else if (height > maxRangeHeight_) {
    maxRangeHeight_ = static_cast<std::int32_t>(std::min<std::int64_t>(height, INT32_MAX));
  }
  return static_cast<std::uint32_t>(found);
}

// --- TXlsWorkbook ------------------------------------------------------------

TXlsWorkbook::TXlsWorkbook() : authorName_(QStringLiteral("Lindora")) {}

TXlsWorkbook::~TXlsWorkbook() = default;

void TXlsWorkbook::setAuthorName(const QString& name) { authorName_ = trimBlanks(name.left(66)); }

TXlsWorksheet& TXlsWorkbook::AddSheet() {
  sheets_.push_back(std::make_unique<TXlsWorksheet>(this));
  TXlsWorksheet& sheet = *sheets_.back();
  int n = static_cast<int>(sheets_.size());
  for (;;) {
    const QString candidate = QStringLiteral("Sheet%1").arg(n);
    const bool taken = std::any_of(sheets_.begin(), sheets_.end(), [&](const auto& s) {
      return s.get() != &sheet && s->Name().compare(candidate, Qt::CaseInsensitive) == 0;
    });
    if (!taken) {
      sheet.name_ = candidate;
      break;
    }
    ++n;
  }
  return sheet;
}

int TXlsWorkbook::SheetIndex(const TXlsWorksheet* sheet) const {
  for (std::size_t i = 0; i < sheets_.size(); ++i)
    if (sheets_[i].get() == sheet) return static_cast<int>(i);
  return -1;
}

}  // namespace hv
