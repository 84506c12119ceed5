// TBiff8Writer's records of the cells, which take nearly all of a big
// workbook's time: the shared-string table of the globals and the row blocks
// of a worksheet (ROW records, then the cells' records, then a DBCELL).
#include <algorithm>
#include <unordered_map>

#include "export/workbook_writers.h"

namespace hv {

using namespace biff8;

void TBiff8Writer::writeSst(const TXlsWorkbook& workbook) {
  // The string table with its CONTINUE records, built here in one piece:
  // an entry starts only where 5 data bytes are left, and a text split between
  // records goes on after the option byte 1.
  // Each finished record goes to the stream at once, so the table is never
  // held twice in memory.
  const std::uint64_t sstStart = stream_->tell();
  RecordBytes out;
  std::uint64_t flushed = 0;  // bytes of the table already written
  struct Bucket {
    std::uint32_t position;
    std::uint16_t offset;
  };
  std::vector<Bucket> buckets;
  buckets.reserve(stringCount_ / 8 + 1);

  std::size_t recordStart = 0;  // offset of the current record's header in `out`
  const auto recordUsed = [&]() { return static_cast<qsizetype>(out.size() - recordStart) - 4; };
  const auto finishRecord = [&]() {
    out.setU16(recordStart + 2, static_cast<unsigned>(recordUsed()));
    stream_->write(out.data(), out.size());
    flushed += static_cast<std::uint64_t>(out.size());
    out.clear();
    recordStart = 0;
  };
  const auto beginRecord = [&](std::uint16_t id) {
    recordStart = out.size();
    out.u16(id).u16(0);  // its length once it is full
  };

  beginRecord(rtSst);
  out.u32(stringCount_).u32(stringCount_);
  std::uint32_t entry = 0;
  QString converted;  // the text of a value that is not a text
  for (int sheet = 0; sheet < workbook.SheetCount(); ++sheet) {
    const SheetCells& cells = workbook.Sheets(sheet).cells();
    for (std::uint32_t c = 0; c < cells.size(); ++c) {
      // Fetched ahead: the entry two steps before its characters.
      if (c + 16 < cells.size()) cells.prefetchText(c + 16, false);
      if (c + 8 < cells.size()) cells.prefetchText(c + 8, true);
      if (!cells.showsText(c)) continue;
      QStringView s;
      if (cells.kind(c) == SheetCells::Kind::Text) {
        s = cells.text(c);
      } else {
        converted = valueText(cells.value(c));
        s = converted;
      }
      if (kMaxRecordData - recordUsed() < 5) {
        finishRecord();
        beginRecord(rtContinue);
      }
      if (entry++ % 8 == 0)
        buckets.push_back({static_cast<std::uint32_t>(sstStart + flushed + static_cast<std::uint64_t>(out.size()) - globalsStart_),
                           static_cast<std::uint16_t>(out.size() - recordStart)});
      // Most texts fit the record whole.
      if (3 + 2 * s.size() <= kMaxRecordData - recordUsed()) {
        out.put(3 + 2 * static_cast<std::size_t>(s.size())).u16(static_cast<unsigned>(s.size())).u8(1).utf16(s);
        continue;
      }
      out.u16(static_cast<unsigned>(s.size())).u8(1);
      qsizetype done = 0;
      while (done < s.size()) {
        qsizetype room = (kMaxRecordData - recordUsed()) / 2;
        if (room == 0) {
          finishRecord();
          beginRecord(rtContinue);
          out.u8(1);
          room = (kMaxRecordData - recordUsed()) / 2;
        }
        const qsizetype n = std::min(room, s.size() - done);
        out.utf16(s.mid(done, n));
        done += n;
      }
    }
  }
  finishRecord();

  // Sized at once and let go afterwards: a big table's index runs to megabytes.
  RecordBytes ext;
  BytePutter entries = ext.put(2 + 8 * buckets.size()).u16(8);
  for (const Bucket& b : buckets) entries.u32(b.position).u16(b.offset).zeros(2);
  writeRecord(rtExtSst, ext);
}

// One worksheet's row blocks: up to 32 rows each, their ROW records, then
// the records of their cells, then a DBCELL that points back at both.
class TBiff8Writer::RowBlockWriter {
 public:
  RowBlockWriter(TBiff8Writer& writer, const TXlsWorksheet& sheet, int sheetIndex);
  // Every block of the used area; the DBCELL positions, counted from the
  // globals' BOF.
  std::vector<std::uint32_t> write();

 private:
  void writeBlock(std::int32_t first, std::int32_t last);
  void writeRow(std::int32_t row);
  // Range i's records in `row`: its value (string number `string` for a
  // text) in its top row, then blanks for the rest of its width.
  void writeRange(std::uint32_t i, std::int32_t row, bool topRow, std::int64_t string);
  const Stretch& stretchOf(std::uint32_t i);

  TBiff8Writer& writer_;
  const TXlsWorksheet& sheet_;
  const SheetCells& cells_;
  const std::vector<Stretch>& stretches_;
  std::size_t stretch_ = 0;  // the stretch of the range last written
  std::unordered_map<std::int32_t, std::uint16_t> heights_;
  const std::vector<RunList::Run>& topRuns_;
  std::size_t topRun_ = 0;
  const bool oneRowHigh_;
  // String numbers follow the ranges' order, the cells of a row go by column.
  std::uint32_t counted_ = 0;  // ranges whose strings are numbered
  std::uint32_t nextString_;
  std::vector<std::int64_t> rowStrings_;
  std::vector<std::uint32_t> rowRanges_;  // the ranges crossing a row, by column
  RecordBytes rowRecords_;
  RecordBytes cellRecords_;
  std::vector<std::size_t> rowCellStart_;  // per row of the block: its first cell record in cellRecords_
};

std::vector<std::uint32_t> TBiff8Writer::writeRowBlocks(const TXlsWorkbook& workbook, int sheetIndex) {
  return RowBlockWriter(*this, workbook.Sheets(sheetIndex), sheetIndex).write();
}

TBiff8Writer::RowBlockWriter::RowBlockWriter(TBiff8Writer& writer, const TXlsWorksheet& sheet, int sheetIndex)
    : writer_(writer),
      sheet_(sheet),
      cells_(sheet.cells()),
      stretches_(writer.stretches_[sheetIndex]),
      topRuns_(sheet.cells().tops().runs()),
      oneRowHigh_(sheet.MaxRangeHeight() <= 1),
      nextString_(writer.firstString_[sheetIndex]) {
  for (const TXlsRowHeight& h : sheet.RowHeights) heights_.emplace(h.row, h.height);
}

std::vector<std::uint32_t> TBiff8Writer::RowBlockWriter::write() {
  const TXlsArea& used = sheet_.UsedArea();
  std::vector<std::uint32_t> dbCells;
  WorkbookStream& stream = *writer_.stream_;
  for (std::int32_t first = used.firstRow; first <= used.lastRow; first += kRowBlockSize) {
    const std::uint64_t blockStart = stream.tell();
    writeBlock(first, std::min(used.lastRow, first + kRowBlockSize - 1));
    stream.write(rowRecords_.data(), rowRecords_.size());
    stream.write(cellRecords_.data(), cellRecords_.size());
    const std::uint64_t dbCellPosition = stream.tell();
    // The first offset counts from the block's second ROW record, each
    // further one from the first cell of the row before.
    const std::size_t rowCount = rowCellStart_.size();
    RecordBytes& dbCell = writer_.data()
                              .u32(static_cast<std::uint32_t>(dbCellPosition - blockStart))
                              .u16(static_cast<unsigned>(20 * rowCount + rowCellStart_[0] - 20));
    for (std::size_t i = 1; i < rowCount; ++i) dbCell.u16(static_cast<unsigned>(rowCellStart_[i] - rowCellStart_[i - 1]));
    writer_.writeRecord(rtDbCell, dbCell);
    dbCells.push_back(static_cast<std::uint32_t>(dbCellPosition - writer_.globalsStart_));
    if (writer_.rowsWritten_) {
      const std::int32_t last = std::min(used.lastRow, first + kRowBlockSize - 1);
      writer_.rowsWritten_->fetch_add(std::max(0, last - std::max(first, 1) + 1), std::memory_order_relaxed);
    }
    if (writer_.stop_ && writer_.stop_->load(std::memory_order_relaxed)) throw SaveCancelled();
  }
  return dbCells;
}

void TBiff8Writer::RowBlockWriter::writeBlock(std::int32_t first, std::int32_t last) {
  cellRecords_.clear();
  rowRecords_.clear();
  rowCellStart_.clear();
  for (std::int32_t row = first; row <= last; ++row) writeRow(row);
}

void TBiff8Writer::RowBlockWriter::writeRow(std::int32_t row) {
  const SheetCells& cells = cells_;
  // The ranges whose top row this is: [rowFirst, rowEnd). Rows are never
  // negative here, and each row's ranges are one run of tops.
  while (topRun_ < topRuns_.size() && static_cast<std::int32_t>(topRuns_[topRun_].value) < row) ++topRun_;
  const bool hasTop = topRun_ < topRuns_.size() && static_cast<std::int32_t>(topRuns_[topRun_].value) == row;
  const std::uint32_t rowFirst = topRun_ < topRuns_.size() ? topRuns_[topRun_].start : cells.size();
  const std::uint32_t rowEnd = hasTop ? cells.tops().runEnd(topRun_) : rowFirst;
  for (; counted_ < rowFirst; ++counted_)
    if (cells.showsText(counted_)) ++nextString_;
  // Ranges one row high in order of column are written in their own order;
  // anything else is gathered and sorted by column.
  bool inOrder = oneRowHigh_;
  for (std::int32_t i = std::int32_t(rowFirst) + 1, before = inOrder && rowEnd > rowFirst ? cells.left(rowFirst) : 0;
       inOrder && i < std::int32_t(rowEnd); ++i) {
    const std::int32_t left = cells.left(std::uint32_t(i));
    inOrder = before < left;
    before = left;
  }
  if (!inOrder) {
    rowStrings_.clear();
    for (std::uint32_t i = rowFirst; i < rowEnd; ++i)
      rowStrings_.push_back(cells.showsText(i) ? std::int64_t(nextString_++) : -1);
    counted_ = rowEnd;
    rowRanges_.clear();
    const std::int64_t from = static_cast<std::int64_t>(row) - sheet_.MaxRangeHeight() + 1;
    for (std::uint32_t i = cells.firstFrom(static_cast<std::int32_t>(std::max<std::int64_t>(from, INT32_MIN)));
         i < cells.size() && cells.top(i) <= row; ++i)
      if (cells.bottom(i) >= row) rowRanges_.push_back(i);
    const auto byLeft = [&](std::uint32_t a, std::uint32_t b) { return cells.left(a) < cells.left(b); };
    if (!std::is_sorted(rowRanges_.begin(), rowRanges_.end(), byLeft))
      std::stable_sort(rowRanges_.begin(), rowRanges_.end(), byLeft);
  }
  const bool anyRange = inOrder ? rowEnd > rowFirst : !rowRanges_.empty();
  const std::uint32_t firstRange = inOrder ? rowFirst : (anyRange ? rowRanges_.front() : 0);
  const std::uint32_t lastRange = inOrder ? rowEnd - 1 : (anyRange ? rowRanges_.back() : 0);
  const auto height = heights_.empty() ? heights_.end() : heights_.find(row);
  rowRecords_.record(rtRow, 16)
      .u16(static_cast<unsigned>(row))
      .u16(anyRange ? static_cast<unsigned>(cells.left(firstRange)) : 0)
      .u16(anyRange ? static_cast<unsigned>(cells.right(lastRange) + 1) : 0)
      .u16(height != heights_.end() ? height->second : 255)
      .u32(0)
      .u32(height != heights_.end() ? 0x40 : 0);

  rowCellStart_.push_back(cellRecords_.size());
  if (inOrder) {
    for (std::uint32_t i = rowFirst; i < rowEnd; ++i)
      writeRange(i, row, true, cells.showsText(i) ? std::int64_t(nextString_++) : -1);
    counted_ = rowEnd;
  } else {
    for (std::uint32_t i : rowRanges_) {
      const bool topRow = cells.top(i) == row;
      writeRange(i, row, topRow, topRow ? rowStrings_[i - rowFirst] : -1);
    }
  }
}

const TBiff8Writer::Stretch& TBiff8Writer::RowBlockWriter::stretchOf(std::uint32_t i) {
  if (stretches_[stretch_].end <= i || (stretch_ > 0 && stretches_[stretch_ - 1].end > i))
    stretch_ = static_cast<std::size_t>(
        std::upper_bound(stretches_.begin(), stretches_.end(), i,
                         [](std::uint32_t v, const Stretch& s) { return v < s.end; }) -
        stretches_.begin());
  return stretches_[stretch_];
}

void TBiff8Writer::RowBlockWriter::writeRange(std::uint32_t i, std::int32_t row, bool topRow, std::int64_t string) {
  const Stretch& st = stretchOf(i);
  const auto xf = static_cast<unsigned>(st.xf);
  const std::int32_t left = cells_.left(i), right = st.single ? left : cells_.right(i);
  std::int32_t next = left;
  if (topRow) {
    if (cells_.kind(i) == SheetCells::Kind::Number) {
      cellRecords_.record(rtNumber, 14)
          .u16(static_cast<unsigned>(row))
          .u16(static_cast<unsigned>(left))
          .u16(xf)
          .f64(cells_.number(i));
      next = left + 1;
    } else if (string >= 0) {
      cellRecords_.record(rtLabelSst, 10)
          .u16(static_cast<unsigned>(row))
          .u16(static_cast<unsigned>(left))
          .u16(xf)
          .u32(static_cast<std::uint32_t>(string));
      next = left + 1;
    }
  }
  if (next < right) {
    const auto columns = static_cast<std::size_t>(right - next + 1);
    BytePutter blanks = cellRecords_.record(rtMulBlank, 6 + 2 * columns);
    blanks.u16(static_cast<unsigned>(row)).u16(static_cast<unsigned>(next));
    for (std::size_t c = 0; c < columns; ++c) blanks.u16(xf);
    blanks.u16(static_cast<unsigned>(right));
  } else if (next == right) {
    cellRecords_.record(rtBlank, 6).u16(static_cast<unsigned>(row)).u16(static_cast<unsigned>(next)).u16(xf);
  }
}

}  // namespace hv
