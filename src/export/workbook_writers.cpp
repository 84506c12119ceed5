#include "export/workbook_writers.h"

#include <QHash>
#include <algorithm>

#include "export/compound_file.h"
#include "platform/error.h"

namespace hv {

using namespace biff8;

namespace {

class CompoundStream : public WorkbookStream {
 public:
  explicit CompoundStream(CompoundFile& file) : file_(file) {}
  void write(const char* data, std::size_t size) override { file_.write(data, size); }
  std::uint64_t tell() const override { return file_.tell(); }
  void seek(std::uint64_t position) override { file_.seek(position); }
  void seekToEnd() override { file_.seekToEnd(); }

 private:
  CompoundFile& file_;
};

class MemoryStream : public WorkbookStream {
 public:
  void write(const char* data, std::size_t size) override {
    const qsizetype end = static_cast<qsizetype>(pos_ + size);
    if (end > bytes.size()) bytes.resize(end);
    std::memcpy(bytes.data() + pos_, data, size);
    pos_ = static_cast<std::uint64_t>(end);
  }
  std::uint64_t tell() const override { return pos_; }
  void seek(std::uint64_t position) override { pos_ = position; }
  void seekToEnd() override { pos_ = static_cast<std::uint64_t>(bytes.size()); }
  QByteArray bytes;

 private:
  std::uint64_t pos_ = 0;
};


QString headerText(const QString& left, const QString& center, const QString& right) {
  QString t;
  if (!left.isEmpty()) t += QStringLiteral("&L") + left;
  if (!center.isEmpty()) t += QStringLiteral("&C") + center;
  if (!right.isEmpty()) t += QStringLiteral("&R") + right;
  return t;
}

}  // namespace

void TCustomWorkbookWriter::Save(const TXlsWorkbook&, const QString&) {}

void TBiff8Writer::checkFits(const TXlsWorkbook& workbook) {
  for (int i = 0; i < workbook.SheetCount(); ++i) {
    const TXlsWorksheet& sheet = workbook.Sheets(i);
    const TXlsArea& a = sheet.UsedArea();
    if (a.isEmpty()) continue;
    if (a.firstRow < 0 || a.firstColumn < 0 || a.lastRow >= kMaxRows || a.lastColumn >= kMaxColumns)
      throw Error(QStringLiteral("Лист \"%1\" не помещается в книгу Excel: в листе не более %2 строк и %3 столбцов")
                      .arg(sheet.Name())
                      .arg(kMaxRows)
                      .arg(kMaxColumns));
  }
}

void TBiff8Writer::Save(const TXlsWorkbook& workbook, const QString& fileName) {
  checkFits(workbook);
  CompoundFile file;  // removed again unless released
  file.create(fileName);
  file.createStream(QStringLiteral("Workbook"));
  CompoundStream stream(file);
  writeWorkbook(workbook, stream);
  file.release();
}

QByteArray TBiff8Writer::streamBytes(const TXlsWorkbook& workbook) {
  MemoryStream stream;
  writeWorkbook(workbook, stream);
  return stream.bytes;
}

void TBiff8Writer::writeWorkbook(const TXlsWorkbook& workbook, WorkbookStream& stream) {
  stream_ = &stream;
  reset(workbook);
  buildTables(workbook);
  globalsStart_ = stream.tell();
  writeGlobals(workbook);
  for (int i = 0; i < workbook.SheetCount(); ++i) {
    sheetOffsets_[i].bof = stream.tell();
    writeSheet(workbook, i);
  }
  for (int i = 0; i < workbook.SheetCount(); ++i) {
    char position[4];
    BytePutter(position).u32(static_cast<std::uint32_t>(sheetOffsets_[i].bof - globalsStart_));
    stream.seek(sheetOffsets_[i].boundSheetField);
    stream.write(position, 4);
  }
  stream.seekToEnd();
  // The tables live for one save only.
  stretches_.clear();
  stream_ = nullptr;
}

void TBiff8Writer::reset(const TXlsWorkbook& workbook) {
  palette_.assign(kDefaultPalette.begin(), kDefaultPalette.end());
  paletteChanged_ = false;
  usedColors_.clear();
  colorNumbers_.clear();
  stretches_.assign(static_cast<std::size_t>(workbook.SheetCount()), {});
  fontTable_.clear();
  fontRecords_.clear();
  formatTable_.clear();
  xfTable_.clear();
  xfNumbers_.clear();
  stringCount_ = 0;
  firstString_.assign(static_cast<std::size_t>(workbook.SheetCount()), 0);
  sheetOffsets_.assign(workbook.SheetCount(), SheetOffset{});
}

int TBiff8Writer::colorIndex(Color color) {
  const Color rgb = resolveColor(color);
  // Once a colour is in UsedColors its palette entry is never replaced, so its
  // number can be remembered.
  if (auto it = colorNumbers_.find(rgb); it != colorNumbers_.end()) return it->second;
  if (std::find(usedColors_.begin(), usedColors_.end(), rgb) == usedColors_.end()) usedColors_.push_back(rgb);
  int result = 8;
  if (auto it = std::find(palette_.begin(), palette_.end(), rgb); it != palette_.end()) {
    result = 8 + static_cast<int>(it - palette_.begin());
  } else {
    for (std::size_t i = 0; i < palette_.size(); ++i) {
      const Color c = palette_[i];
      const bool standard = std::find(kStandardColors.begin(), kStandardColors.end(), c) != kStandardColors.end();
      const bool used = std::find(usedColors_.begin(), usedColors_.end(), c) != usedColors_.end();
      if (!standard && !used) {
        palette_[i] = rgb;
        paletteChanged_ = true;
        result = 8 + static_cast<int>(i);
        break;
      }
    }
    if (result == 8) return result;  // nothing may be replaced; not remembered
  }
  colorNumbers_.emplace(rgb, result);
  return result;
}

XfBody TBiff8Writer::xfBody(const TXlsRangeFormat& f, const Stretch& entry) {
  const auto borderColor = [&](int position) {
    const TXlsBorder& b = f.Borders[position];
    return b.LineStyle != 0 ? colorIndex(b.Color) : 0;
  };
  const int left = borderColor(TXlsBorders::Left);
  const int right = borderColor(TXlsBorders::Right);
  const int top = borderColor(TXlsBorders::Top);
  const int bottom = borderColor(TXlsBorders::Bottom);
  const TXlsBorder& down = f.Borders[TXlsBorders::DiagonalDown];
  const TXlsBorder& up = f.Borders[TXlsBorders::DiagonalUp];
  const TXlsBorder* diagonal = down.LineStyle ? &down : (up.LineStyle ? &up : nullptr);
  const int diagonalColor = diagonal ? colorIndex(diagonal->Color) : 0;
  const int fill = colorIndex(f.FillColor);
  const int pattern = colorIndex(f.PatternColor);

  XfBody b{};
  b[0] = entry.font & 0xFF;
  b[1] = (entry.font >> 8) & 0xFF;
  b[2] = entry.numberFormat & 0xFF;
  b[3] = (entry.numberFormat >> 8) & 0xFF;
  b[4] = 0x01;  // locked, parent style 0
  b[5] = 0x00;
  b[6] = static_cast<std::uint8_t>((f.HorizontalAlignment & 0x07) | (f.WrapText ? 0x08 : 0) |
                                   ((f.VerticalAlignment & 0x03) << 4));
  b[7] = f.Rotation;
  const unsigned attr = 0x7C00 | (entry.single ? 0 : 0x0020);
  b[8] = attr & 0xFF;
  b[9] = attr >> 8;
  const unsigned lines = (f.Borders[TXlsBorders::Left].LineStyle & 0x0F) |
                         (f.Borders[TXlsBorders::Right].LineStyle & 0x0F) << 4 |
                         (f.Borders[TXlsBorders::Top].LineStyle & 0x0F) << 8 |
                         (f.Borders[TXlsBorders::Bottom].LineStyle & 0x0F) << 12;
  b[10] = lines & 0xFF;
  b[11] = lines >> 8;
  const unsigned sides = (left & 0x7F) | (right & 0x7F) << 7 | (down.LineStyle ? 0x4000u : 0u) |
                         (up.LineStyle ? 0x8000u : 0u);
  b[12] = sides & 0xFF;
  b[13] = sides >> 8;
  const std::uint32_t more = static_cast<std::uint32_t>(top & 0x7F) | static_cast<std::uint32_t>(bottom & 0x7F) << 7 |
                             static_cast<std::uint32_t>(diagonalColor & 0x7F) << 14 |
                             static_cast<std::uint32_t>(diagonal ? diagonal->LineStyle & 0x0F : 0) << 21 |
                             static_cast<std::uint32_t>(f.FillPattern & 0x3F) << 26;
  for (int i = 0; i < 4; ++i) b[14 + i] = (more >> (8 * i)) & 0xFF;
  const unsigned colours = (fill & 0x7F) | (pattern & 0x7F) << 7;
  b[18] = colours & 0xFF;
  b[19] = colours >> 8;
  return b;
}

void TBiff8Writer::buildTables(const TXlsWorkbook& workbook) {
  // Stretches of ranges with one format and one shape, in range order.
  for (int s = 0; s < workbook.SheetCount(); ++s) {
    const SheetCells& cells = workbook.Sheets(s).cells();
    const RunList& formats = cells.formats();
    const RunList& shapes = cells.shapes();
    std::size_t f = 0, g = 0;
    for (std::uint32_t at = 0; at < cells.size();) {
      const std::uint32_t formatEnd = formats.runEnd(f), shapeEnd = shapes.runEnd(g);
      Stretch stretch;
      stretch.end = std::min(formatEnd, shapeEnd);
      stretch.formatId = formats.runs()[f].value;
      stretch.single = shapes.runs()[g].value == 0;
      stretches_[s].push_back(stretch);
      at = stretch.end;
      if (at == formatEnd) ++f;
      if (at == shapeEnd) ++g;
    }
  }

  // Fonts: four standard ones, then every new font of the ranges. The format
  // has no font number 4.
  TXlsFont standard;
  standard.color = kWindowText;
  fontTable_.assign(4, standard);
  const auto fontNumber = [](std::size_t entry) { return static_cast<std::int32_t>(entry < 4 ? entry : entry + 1); };
  for (int s = 0; s < workbook.SheetCount(); ++s) {
    const SheetCells& cells = workbook.Sheets(s).cells();
    for (Stretch& stretch : stretches_[s]) {
      const TXlsFont& font = cells.format(stretch.formatId).Font;
      auto it = std::find(fontTable_.begin(), fontTable_.end(), font);
      if (it == fontTable_.end()) {
        fontTable_.push_back(font);
        it = fontTable_.end() - 1;
      }
      stretch.font = fontNumber(static_cast<std::size_t>(it - fontTable_.begin()));
    }
  }
  for (const TXlsFont& font : fontTable_) {
    fontRecords_.emplace_back()
        .u16(static_cast<unsigned>(font.size * 20))
        .u16((font.italic ? 0x0002 : 0) | (font.strikeOut ? 0x0008 : 0))
        .u16(static_cast<unsigned>(colorIndex(font.color)))
        .u16(font.bold ? 1000 : 100)
        .u16(0)
        .u8(font.underline ? 1 : 0)
        .u8(font.pitch)
        .u8(font.charset)
        .u8(0)
        .string8(QStringView(font.name).left(255));
  }

  // Number formats: the eight built-in ones, then each new text from 50 on.
  const auto& builtIn = builtInNumberFormats();
  formatTable_.assign(builtIn.begin(), builtIn.end());
  QHash<QString, std::uint16_t> formatNumbers;
  for (const auto& f : formatTable_) formatNumbers.insert(f.text.toCaseFolded(), f.number);
  std::uint16_t nextFormat = kFirstCustomFormat;
  for (int s = 0; s < workbook.SheetCount(); ++s) {
    const SheetCells& cells = workbook.Sheets(s).cells();
    for (Stretch& stretch : stretches_[s]) {
      const QString& text = cells.format(stretch.formatId).NumberFormat;
      if (text.isEmpty()) continue;
      const QString key = text.toCaseFolded();
      auto it = formatNumbers.constFind(key);
      if (it == formatNumbers.constEnd()) {
        formatTable_.push_back({nextFormat, text});
        it = formatNumbers.insert(key, nextFormat++);
      }
      stretch.numberFormat = it.value();
    }
  }

  // Cell formats: the six fixed bodies, then each new body of a range.
  for (const XfBody& body : kFixedCellXfs) {
    xfNumbers_.emplace(body, 15 + static_cast<int>(xfTable_.size()));
    xfTable_.push_back(body);
  }
  for (int s = 0; s < workbook.SheetCount(); ++s) {
    const SheetCells& cells = workbook.Sheets(s).cells();
    for (Stretch& stretch : stretches_[s]) {
      const XfBody body = xfBody(cells.format(stretch.formatId), stretch);
      auto it = xfNumbers_.find(body);
      if (it == xfNumbers_.end()) {
        it = xfNumbers_.emplace(body, 15 + static_cast<int>(xfTable_.size())).first;
        xfTable_.push_back(body);
      }
      stretch.xf = it->second;
    }
  }

  // Shared strings: one entry per cell showing a text; equal texts are not shared.
  for (int s = 0; s < workbook.SheetCount(); ++s) {
    const SheetCells& cells = workbook.Sheets(s).cells();
    firstString_[s] = stringCount_;
    for (std::uint32_t i = 0; i < cells.size(); ++i)
      if (cells.showsText(i)) ++stringCount_;
  }
}

RecordBytes& TBiff8Writer::data() {
  data_.clear();
  return data_;
}

void TBiff8Writer::writeRecord(std::uint16_t id) {
  writeRecord(id, data());
}

void TBiff8Writer::writeRecord(std::uint16_t id, const RecordBytes& data) {
  // Data beyond one record's room goes on in CONTINUE records.
  std::size_t offset = 0;
  do {
    const std::size_t n = std::min<std::size_t>(data.size() - offset, kMaxRecordData);
    char header[4];
    BytePutter(header).u16(offset == 0 ? id : static_cast<std::uint16_t>(rtContinue)).u16(static_cast<unsigned>(n));
    stream_->write(header, 4);
    if (n > 0) stream_->write(data.data() + offset, n);
    offset += n;
  } while (offset < data.size());
}

void TBiff8Writer::writeGlobals(const TXlsWorkbook& workbook) {
  writeRecord(rtBof, data().u16(0x0600).u16(0x0005).u16(0x0DBB).u16(0x07CC).u32(0).u32(0x600));
  writeRecord(rtInterfaceHdr, data().u16(1252));
  writeRecord(rtMms, data().u16(0));
  writeRecord(rtInterfaceEnd);
  {
    // 112 bytes: the name as a string with its length and option byte (readers
    // expect them), then blanks. Up to 54 characters fit.
    RecordBytes& access = data().string16(workbook.AuthorName().left(54));
    while (access.size() < 112) access.u8(' ');
    writeRecord(rtWriteAccess, access);
  }
  writeRecord(rtCodePage, data().u16(1252));
  writeRecord(rtDsf, data().u16(0));
  writeRecord(rtExcel9File);
  {
    RecordBytes& tabs = data();
    for (int i = 0; i < workbook.SheetCount(); ++i) tabs.u16(static_cast<unsigned>(i + 1));
    writeRecord(rtTabId, tabs);
  }
  writeRecord(rtFnGroupCount, data().u16(14));
  writeRecord(rtWindowProtect, data().u16(0));
  writeRecord(rtProtect, data().u16(0));
  writeRecord(rtPassword, data().u16(0));
  writeRecord(rtProt4Rev, data().u16(0));
  writeRecord(rtProt4RevPass, data().u16(0));
  writeRecord(rtWindow1, data().u16(360).u16(30).u16(7454).u16(6240).u16(0x0038).u16(0).u16(0).u16(1).u16(600));
  writeRecord(rtBackup, data().u16(0));
  writeRecord(rtHideObj, data().u16(0));
  writeRecord(rtDate1904, data().u16(0));
  writeRecord(rtPrecision, data().u16(1));
  writeRecord(rtRefreshAll, data().u16(0));
  writeRecord(rtBookBool, data().u16(0));
  for (const RecordBytes& font : fontRecords_) writeRecord(rtFont, font);
  for (const NumberFormat& f : formatTable_) writeRecord(rtFormat, data().u16(f.number).string16(f.text));
  for (const XfBody& body : kStyleXfs) writeRecord(rtXf, data().raw(body.data(), body.size()));
  for (const XfBody& body : xfTable_) writeRecord(rtXf, data().raw(body.data(), body.size()));
  for (const auto& style : kStyles) writeRecord(rtStyle, data().raw(style.data(), 4));
  if (paletteChanged_) {
    RecordBytes& p = data().u16(56);
    for (Color c : palette_) p.u8(c & 0xFF).u8((c >> 8) & 0xFF).u8((c >> 16) & 0xFF).u8(0);
    writeRecord(rtPalette, p);
  }
  writeRecord(rtUsesElfs, data().u16(0));
  for (int i = 0; i < workbook.SheetCount(); ++i) {
    sheetOffsets_[i].boundSheetField = stream_->tell() + 4;
    writeRecord(rtBoundSheet, data().u32(0).u16(0).string8(workbook.Sheets(i).Name()));
  }
  writeRecord(rtCountry, data().u16(7).u16(7));
  if (stringCount_ > 0) writeSst(workbook);
  writeRecord(rtEof);
}

// A worksheet's records in file order: its head, the settings, the cells in
// row blocks (biff8_cells.cpp), the window and the merged areas.
void TBiff8Writer::writeSheet(const TXlsWorkbook& workbook, int sheetIndex) {
  const TXlsWorksheet& sheet = workbook.Sheets(sheetIndex);
  const std::uint64_t indexPosition = writeSheetHead(sheet);
  writeCalculationSettings();
  writeSheetSettings(sheet);
  writePageSettings(sheet.PageSetup);
  writeColumns(sheet);
  writeDimensions(sheet.UsedArea());
  if (!sheet.UsedArea().isEmpty()) patchIndex(indexPosition, writeRowBlocks(workbook, sheetIndex));
  writeWindow(sheetIndex);
  writeMergedCells(sheet);
  writeRecord(rtEof);
}

std::uint64_t TBiff8Writer::writeSheetHead(const TXlsWorksheet& sheet) {
  const TXlsArea& used = sheet.UsedArea();
  const bool empty = used.isEmpty();
  const int blocks = empty ? 0 : (used.lastRow - used.firstRow + kRowBlockSize) / kRowBlockSize;
  writeRecord(rtBof, data().u16(0x0600).u16(0x0010).u16(0x0DBB).u16(0x07CC).zeros(8));
  // The row blocks' DBCELL positions are filled in once they are written.
  const std::uint64_t indexPosition = stream_->tell();
  writeRecord(rtIndex, data()
                           .u32(0)
                           .u32(empty ? 0 : static_cast<std::uint32_t>(used.firstRow))
                           .u32(empty ? 0 : static_cast<std::uint32_t>(used.lastRow + 1))
                           .u32(0)
                           .zeros(4 * static_cast<std::size_t>(blocks)));
  return indexPosition;
}

void TBiff8Writer::writeCalculationSettings() {
  writeRecord(rtCalcMode, data().u16(1));
  writeRecord(rtCalcCount, data().u16(100));
  writeRecord(rtRefMode, data().u16(1));
  writeRecord(rtIteration, data().u16(0));
  writeRecord(rtDelta, data().f64(0.001));
  writeRecord(rtSaveRecalc, data().u16(1));
}

void TBiff8Writer::writeSheetSettings(const TXlsWorksheet& sheet) {
  const TXlsPageSetup& page = sheet.PageSetup;
  writeRecord(rtPrintHeaders, data().u16(page.PrintHeaders ? 1 : 0));
  writeRecord(rtPrintGridLines, data().u16(page.PrintGridLines ? 1 : 0));
  writeRecord(rtGridSet, data().u16(1));
  writeRecord(rtGuts, data().zeros(8));
  writeRecord(rtDefaultRowHeight, data().u16(0).u16(255));
  if (!sheet.PageBreaks.empty()) {
    RecordBytes& breaks = data().u16(static_cast<unsigned>(sheet.PageBreaks.size()));
    for (std::uint16_t row : sheet.PageBreaks) breaks.u16(row).u16(0).u16(255);
    writeRecord(rtHorizontalPageBreaks, breaks);
  }
  writeRecord(rtWsBool, data().u16(page.UseZoom ? 0x04C1 : 0x05C1));
}

void TBiff8Writer::writePageSettings(const TXlsPageSetup& page) {
  for (const auto& [id, text] : {std::pair{rtHeader, headerText(page.LeftHeader, page.CenterHeader, page.RightHeader)},
                                 std::pair{rtFooter, headerText(page.LeftFooter, page.CenterFooter, page.RightFooter)}}) {
    if (text.isEmpty())
      writeRecord(id);
    else
      writeRecord(id, data().string16(text));
  }
  writeRecord(rtHCenter, data().u16(page.CenterHorizontally ? 1 : 0));
  writeRecord(rtVCenter, data().u16(page.CenterVertically ? 1 : 0));
  writeRecord(rtLeftMargin, data().f64(page.LeftMargin));
  writeRecord(rtRightMargin, data().f64(page.RightMargin));
  writeRecord(rtTopMargin, data().f64(page.TopMargin));
  writeRecord(rtBottomMargin, data().f64(page.BottomMargin));
  unsigned options = 0;
  if (page.PageOrder == 1) options |= 0x0001;
  if (page.Orientation == 0) options |= 0x0002;
  if (page.BlackAndWhite) options |= 0x0008;
  if (page.PrintQualityLow) options |= 0x0010;
  if (page.PrintNotes) options |= 0x0020;
  if (page.FirstPageNumber != 1) options |= 0x0080;
  writeRecord(rtSetup, data()
                           .u16(page.PaperSize)
                           .u16(static_cast<unsigned>(page.Zoom))
                           .u16(static_cast<unsigned>(page.FirstPageNumber))
                           .u16(static_cast<unsigned>(page.FitToPagesWide))
                           .u16(static_cast<unsigned>(page.FitToPagesTall))
                           .u16(options)
                           .u16(0)
                           .u16(0)
                           .f64(page.HeaderMargin)
                           .f64(page.FooterMargin)
                           .u16(static_cast<unsigned>(page.Copies)));
}

void TBiff8Writer::writeColumns(const TXlsWorksheet& sheet) {
  writeRecord(rtDefColWidth, data().u16(8));
  for (const TXlsColumnWidth& c : sheet.ColumnWidths)
    writeRecord(rtColInfo, data().u16(c.column).u16(c.column).u16(c.width).u16(0).u16(0).u16(0));
}

void TBiff8Writer::writeDimensions(const TXlsArea& used) {
  if (used.isEmpty()) {
    writeRecord(rtDimensions, data().zeros(14));
    return;
  }
  writeRecord(rtDimensions, data()
                                .u32(static_cast<std::uint32_t>(used.firstRow))
                                .u32(static_cast<std::uint32_t>(used.lastRow + 1))
                                .u16(static_cast<unsigned>(used.firstColumn))
                                .u16(static_cast<unsigned>(used.lastColumn + 1))
                                .u16(0));
}

void TBiff8Writer::patchIndex(std::uint64_t indexPosition, const std::vector<std::uint32_t>& dbCells) {
  RecordBytes& positions = data();
  for (std::uint32_t p : dbCells) positions.u32(p);
  // After the record's header and its four fixed fields.
  stream_->seek(indexPosition + 4 + 16);
  if (positions.size() > 0) stream_->write(positions.data(), positions.size());
  stream_->seekToEnd();
}

void TBiff8Writer::writeWindow(int sheetIndex) {
  writeRecord(rtWindow2,
              data().u16(sheetIndex == 0 ? 0x06B6 : 0x04B6).u16(0).u16(0).u32(64).u16(0).u16(0).zeros(4));
  writeRecord(rtSelection, data().u8(3).u16(0).u16(0).u16(0).u16(1).u16(0).u16(0).u8(0).u8(0));
}

void TBiff8Writer::writeMergedCells(const TXlsWorksheet& sheet) {
  // One area per range of more than one cell, in range order.
  const SheetCells& cells = sheet.cells();
  std::vector<std::uint32_t> merged;
  for (const RunList::Run& r : cells.shapes().runs())
    if (r.value != 0) merged.push_back(r.start);
  for (std::size_t first = 0; first < merged.size(); first += kMaxMergedAreasPerRecord) {
    const std::size_t n = std::min<std::size_t>(kMaxMergedAreasPerRecord, merged.size() - first);
    RecordBytes& areas = data().u16(static_cast<unsigned>(n));
    for (std::size_t i = first; i < first + n; ++i)
      areas.u16(static_cast<unsigned>(cells.top(merged[i])))
          .u16(static_cast<unsigned>(cells.bottom(merged[i])))
          .u16(static_cast<unsigned>(cells.left(merged[i])))
          .u16(static_cast<unsigned>(cells.right(merged[i])));
    writeRecord(rtMergedCells, areas);
  }
}

}  // namespace hv
