#include "export/workbook.h"

#include <algorithm>

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

const TXlsRangeFormat& defaultRangeFormat() {
  static const TXlsRangeFormat f;
  return f;
}

}  // namespace

// --- TXlsRange ---------------------------------------------------------------

void TXlsRange::SetValue(const Value& v) {
  if (auto text = std::get_if<QString>(&v)) {
    value_ = foldLineBreaks(*text);
  } else {
    value_ = v;
  }
}

void TXlsRange::SetValue(const QString& text) { value_ = foldLineBreaks(text); }

void TXlsRange::SetValue(const AnsiText& text) { value_ = foldLineBreaks(fromCp1251(text.bytes)); }

const TXlsRangeFormat& TXlsRange::Format() const { return format_ ? *format_ : defaultRangeFormat(); }

TXlsRangeFormat& TXlsRange::Format() {
  if (!format_) format_ = std::make_unique<TXlsRangeFormat>();
  return *format_;
}

CellKind TXlsRange::GetCellKind() const {
  if (format_ && !format_->Formula.isEmpty()) return CellKind::Formula;
  if (isNumericValue(value_)) return CellKind::Number;
  return CellKind::Text;
}

// --- TXlsWorksheet -----------------------------------------------------------

TXlsWorksheet::TXlsWorksheet(TXlsWorkbook* workbook) : workbook_(workbook) {}

void TXlsWorksheet::SetName(const QString& name) { name_ = trimBlanks(name.left(31)); }

int TXlsWorksheet::SheetIndex() const { return workbook_ ? workbook_->SheetIndex(this) : -1; }

std::size_t TXlsWorksheet::firstRangeFrom(std::int32_t row) const {
  // Cells come row by row, so the answer is nearly always among the last few.
  std::size_t i = ranges_.size();
  for (int steps = 0; steps < 16 && i > 0; ++steps) {
    if (ranges_[i - 1]->Top() < row) return i;
    --i;
  }
  auto it = std::partition_point(ranges_.begin(), ranges_.end(), [row](const auto& r) { return r->Top() < row; });
  return static_cast<std::size_t>(it - ranges_.begin());
}

TXlsRange& TXlsWorksheet::GetRange(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
  // Computed in 64 bits: a caller's extreme coordinates must not overflow.
  const std::int64_t from64 = static_cast<std::int64_t>(top) - maxRangeHeight_ + 1;
  const std::int32_t from = static_cast<std::int32_t>(std::max<std::int64_t>(from64, INT32_MIN));
  std::size_t i = firstRangeFrom(from);
  TXlsRange* result = nullptr;
  bool removed = false;
  std::size_t insertAt = i;
  while (i < ranges_.size() && ranges_[i]->Top() <= bottom) {
    TXlsRange& r = *ranges_[i];
    if (r.Left() == left && r.Top() == top && r.Right() == right && r.Bottom() == bottom) {
      result = &r;
      break;
    }
    const bool overlaps = r.Left() <= right && r.Right() >= left && r.Top() <= bottom && r.Bottom() >= top;
    if (overlaps) {
      freeRange(ranges_[i].get());
      ranges_.erase(ranges_.begin() + static_cast<std::ptrdiff_t>(i));
      removed = true;
      if (insertAt > i) --insertAt;
      continue;
    }
    if (r.Top() <= top) insertAt = i + 1;
    ++i;
  }
  if (!result) {
    result = newRange(left, top, right, bottom);
    ranges_.insert(ranges_.begin() + static_cast<std::ptrdiff_t>(insertAt), TXlsRangeRef(result));
  }

  const std::int64_t height = static_cast<std::int64_t>(bottom) - top + 1;
  if (removed) {
    std::int64_t tallest = 1;
    for (const auto& r : ranges_) tallest = std::max<std::int64_t>(tallest, static_cast<std::int64_t>(r->Bottom()) - r->Top() + 1);
    maxRangeHeight_ = static_cast<std::int32_t>(std::min<std::int64_t>(tallest, INT32_MAX));
  } else if (height > maxRangeHeight_) {
    maxRangeHeight_ = static_cast<std::int32_t>(std::min<std::int64_t>(height, INT32_MAX));
  }

  if (usedArea_.isEmpty()) {
    usedArea_ = {left, top, right, bottom};
  } else {
    usedArea_.firstColumn = std::min(usedArea_.firstColumn, left);
    usedArea_.firstRow = std::min(usedArea_.firstRow, top);
    usedArea_.lastColumn = std::max(usedArea_.lastColumn, right);
    usedArea_.lastRow = std::max(usedArea_.lastRow, bottom);
  }
  return *result;
}

namespace {
constexpr std::size_t kRangeBlock = 4096;
}

TXlsRange* TXlsWorksheet::newRange(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
  if (!freeRanges_.empty()) {
    TXlsRange* range = freeRanges_.back();
    freeRanges_.pop_back();
    *range = TXlsRange(this, left, top, right, bottom);
    return range;
  }
  if (blocks_.empty() || usedInLastBlock_ == kRangeBlock) {
    blocks_.push_back(std::make_unique<RangeSlot[]>(kRangeBlock));
    usedInLastBlock_ = 0;
  }
  return &blocks_.back()[usedInLastBlock_++].emplace(this, left, top, right, bottom);
}

void TXlsWorksheet::freeRange(TXlsRange* range) {
  *range = TXlsRange(this, 0, 0, 0, 0);  // lets its text and format go now
  freeRanges_.push_back(range);
}

// --- TXlsWorkbook ------------------------------------------------------------

TXlsWorkbook::TXlsWorkbook() : authorName_(QStringLiteral("Lindora")) {}

TXlsWorkbook::~TXlsWorkbook() = default;

void TXlsWorkbook::SetAuthorName(const QString& name) { authorName_ = trimBlanks(name.left(66)); }

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
