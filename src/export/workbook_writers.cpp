#include "export/workbook_writers.h"

#include <QHash>
#include <QtEndian>
#include <algorithm>
#include <cstring>

#include "export/compound_file.h"
#include "platform/error.h"

namespace hv {

using namespace biff8;

namespace {

// Little-endian record data.
class Bytes {
 public:
  Bytes() = default;
  explicit Bytes(qsizetype reserve) { b_.reserve(reserve); }
  Bytes& u8(unsigned v) {
    b_.append(static_cast<char>(v & 0xFF));
    return *this;
  }
  Bytes& u16(unsigned v) {
    const char c[2] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
    b_.append(c, 2);
    return *this;
  }
  Bytes& u32(std::uint32_t v) {
    char c[4];
    for (int i = 0; i < 4; ++i) c[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    b_.append(c, 4);
    return *this;
  }
  Bytes& f64(double d) {
    std::uint64_t v;
    std::memcpy(&v, &d, 8);
    return u32(static_cast<std::uint32_t>(v)).u32(static_cast<std::uint32_t>(v >> 32));
  }
  Bytes& zeros(int n) {
    b_.append(n, '\0');
    return *this;
  }
  Bytes& utf16(const QString& s) {
    for (QChar c : s) u16(c.unicode());
    return *this;
  }
  Bytes& raw(const std::uint8_t* p, int n) {
    b_.append(reinterpret_cast<const char*>(p), n);
    return *this;
  }
  const QByteArray& data() const { return b_; }

 private:
  QByteArray b_;
};

// Bytes gathered for the stream: appending keeps its memory, so a row block
// or a string table record costs no allocation once the first is done.
class Chunk {
 public:
  char* grow(std::size_t n) {
    if (size_ + n > bytes_.size()) bytes_.resize(std::max(2 * bytes_.size(), size_ + n));
    char* p = bytes_.data() + size_;
    size_ += n;
    return p;
  }
  Chunk& append(const void* p, std::size_t n) {
    std::memcpy(grow(n), p, n);
    return *this;
  }
  Chunk& append(char c) { return append(&c, 1); }
  char* data() { return bytes_.data(); }
  const char* data() const { return bytes_.data(); }
  std::size_t size() const { return size_; }
  void clear() { size_ = 0; }

 private:
  std::vector<char> bytes_;
  std::size_t size_ = 0;
};

void putU16(char* p, unsigned v) { qToLittleEndian(static_cast<quint16>(v), p); }
void putU32(char* p, std::uint32_t v) { qToLittleEndian(static_cast<quint32>(v), p); }

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
    char pos[4];
    putU32(pos, static_cast<std::uint32_t>(sheetOffsets_[i].bof - globalsStart_));
    stream.seek(sheetOffsets_[i].boundSheetField);
    stream.write(pos, 4);
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
    Bytes d;
    const QString name = font.name.left(255);
    d.u16(static_cast<unsigned>(font.size * 20))
        .u16((font.italic ? 0x0002 : 0) | (font.strikeOut ? 0x0008 : 0))
        .u16(static_cast<unsigned>(colorIndex(font.color)))
        .u16(font.bold ? 1000 : 100)
        .u16(0)
        .u8(font.underline ? 1 : 0)
        .u8(font.pitch)
        .u8(font.charset)
        .u8(0)
        .u8(static_cast<unsigned>(name.size()))
        .u8(1)
        .utf16(name);
    fontRecords_.push_back(d.data());
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

void TBiff8Writer::writeRecord(std::uint16_t id, const QByteArray& data) {
  qsizetype offset = 0;
  do {
    const qsizetype n = std::min<qsizetype>(data.size() - offset, kMaxRecordData);
    char header[4];
    putU16(header, offset == 0 ? id : static_cast<std::uint16_t>(rtContinue));
    putU16(header + 2, static_cast<unsigned>(n));
    stream_->write(header, 4);
    if (n > 0) stream_->write(data.constData() + offset, static_cast<std::size_t>(n));
    offset += n;
  } while (offset < data.size());
}

void TBiff8Writer::writeGlobals(const TXlsWorkbook& workbook) {
  const auto u16 = [](unsigned v) { return Bytes().u16(v).data(); };
  writeRecord(rtBof, Bytes().u16(0x0600).u16(0x0005).u16(0x0DBB).u16(0x07CC).u32(0).u32(0x600).data());
  writeRecord(rtInterfaceHdr, u16(1252));
  writeRecord(rtMms, u16(0));
  writeRecord(rtInterfaceEnd, {});
  {
    // 112 bytes: the name as a string with its length and option byte (readers
    // expect them), then blanks. Up to 54 characters fit.
    const QString name = workbook.AuthorName().left(54);
    QByteArray access = Bytes().u16(static_cast<unsigned>(name.size())).u8(1).utf16(name).data();
    access.append(112 - access.size(), ' ');
    writeRecord(rtWriteAccess, access);
  }
  writeRecord(rtCodePage, u16(1252));
  writeRecord(rtDsf, u16(0));
  writeRecord(rtExcel9File, {});
  {
    Bytes tabs;
    for (int i = 0; i < workbook.SheetCount(); ++i) tabs.u16(static_cast<unsigned>(i + 1));
    writeRecord(rtTabId, tabs.data());
  }
  writeRecord(rtFnGroupCount, u16(14));
  writeRecord(rtWindowProtect, u16(0));
  writeRecord(rtProtect, u16(0));
  writeRecord(rtPassword, u16(0));
  writeRecord(rtProt4Rev, u16(0));
  writeRecord(rtProt4RevPass, u16(0));
  writeRecord(rtWindow1, Bytes().u16(360).u16(30).u16(7454).u16(6240).u16(0x0038).u16(0).u16(0).u16(1).u16(600).data());
  writeRecord(rtBackup, u16(0));
  writeRecord(rtHideObj, u16(0));
  writeRecord(rtDate1904, u16(0));
  writeRecord(rtPrecision, u16(1));
  writeRecord(rtRefreshAll, u16(0));
  writeRecord(rtBookBool, u16(0));
  for (const QByteArray& font : fontRecords_) writeRecord(rtFont, font);
  for (const NumberFormat& f : formatTable_)
    writeRecord(rtFormat, Bytes().u16(f.number).u16(static_cast<unsigned>(f.text.size())).u8(1).utf16(f.text).data());
  for (const XfBody& body : kStyleXfs) writeRecord(rtXf, Bytes().raw(body.data(), 20).data());
  for (const XfBody& body : xfTable_) writeRecord(rtXf, Bytes().raw(body.data(), 20).data());
  for (const auto& style : kStyles) writeRecord(rtStyle, Bytes().raw(style.data(), 4).data());
  if (paletteChanged_) {
    Bytes p;
    p.u16(56);
    for (Color c : palette_) p.u8(c & 0xFF).u8((c >> 8) & 0xFF).u8((c >> 16) & 0xFF).u8(0);
    writeRecord(rtPalette, p.data());
  }
  writeRecord(rtUsesElfs, u16(0));
  for (int i = 0; i < workbook.SheetCount(); ++i) {
    const QString& name = workbook.Sheets(i).Name();
    sheetOffsets_[i].boundSheetField = stream_->tell() + 4;
    writeRecord(rtBoundSheet, Bytes().u32(0).u16(0).u8(static_cast<unsigned>(name.size())).u8(1).utf16(name).data());
  }
  writeRecord(rtCountry, Bytes().u16(7).u16(7).data());
  if (stringCount_ > 0) writeSst(workbook);
  writeRecord(rtEof, {});
}

void TBiff8Writer::writeSst(const TXlsWorkbook& workbook) {
  // The string table with its CONTINUE records, built here in one piece:
  // an entry starts only where 5 data bytes are left, and a text split between
  // records goes on after the option byte 1.
  // Each finished record goes to the stream at once, so the table is never
  // held twice in memory.
  const std::uint64_t sstStart = stream_->tell();
  Chunk out;
  std::uint64_t flushed = 0;  // bytes of the table already written
  struct Bucket {
    std::uint32_t position;
    std::uint16_t offset;
  };
  std::vector<Bucket> buckets;
  buckets.reserve(stringCount_ / 8 + 1);

  qsizetype recordStart = 0;  // offset of the current record's header in `out`
  const auto recordUsed = [&]() { return static_cast<qsizetype>(out.size() - recordStart) - 4; };
  const auto finishRecord = [&]() {
    putU16(out.data() + recordStart + 2, static_cast<unsigned>(recordUsed()));
    stream_->write(out.data(), out.size());
    flushed += static_cast<std::uint64_t>(out.size());
    out.clear();
    recordStart = 0;
  };
  const auto beginRecord = [&](std::uint16_t id) {
    recordStart = out.size();
    char h[4];
    putU16(h, id);
    putU16(h + 2, 0);
    out.append(h, 4);
  };
  const auto append16 = [&](unsigned v) {
    char c[2];
    putU16(c, v);
    out.append(c, 2);
  };

  beginRecord(rtSst);
  char counts[8];
  putU32(counts, stringCount_);
  putU32(counts + 4, stringCount_);
  out.append(counts, 8);
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
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
      // Most texts fit the record whole.
      if (3 + 2 * s.size() <= kMaxRecordData - recordUsed()) {
        char* p = out.grow(3 + 2 * static_cast<std::size_t>(s.size()));
        putU16(p, static_cast<unsigned>(s.size()));
        p[2] = '\x01';
        std::memcpy(p + 3, s.utf16(), 2 * static_cast<std::size_t>(s.size()));
        continue;
      }
#endif
      append16(static_cast<unsigned>(s.size()));
      out.append('\x01');
      qsizetype done = 0;
      while (done < s.size()) {
        qsizetype room = (kMaxRecordData - recordUsed()) / 2;
        if (room == 0) {
          finishRecord();
          beginRecord(rtContinue);
          out.append('\x01');
          room = (kMaxRecordData - recordUsed()) / 2;
        }
        const qsizetype n = std::min(room, s.size() - done);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        out.append(s.utf16() + done, static_cast<std::size_t>(2 * n));
#else
        for (qsizetype k = 0; k < n; ++k) append16(s.at(done + k).unicode());
#endif
        done += n;
      }
    }
  }
  finishRecord();

  QByteArray ext(2 + 8 * static_cast<qsizetype>(buckets.size()), '\0');
  putU16(ext.data(), 8);
  char* at = ext.data() + 2;
  for (const Bucket& b : buckets) {
    putU32(at, b.position);
    putU16(at + 4, b.offset);
    at += 8;
  }
  writeRecord(rtExtSst, ext);
}

void TBiff8Writer::writeSheet(const TXlsWorkbook& workbook, int sheetIndex) {
  const TXlsWorksheet& sheet = workbook.Sheets(sheetIndex);
  const TXlsPageSetup& page = sheet.PageSetup;
  const TXlsArea& used = sheet.UsedArea();
  const bool empty = used.isEmpty();
  const auto u16 = [](unsigned v) { return Bytes().u16(v).data(); };
  const auto f64 = [](double v) { return Bytes().f64(v).data(); };
  const int blocks = empty ? 0 : (used.lastRow - used.firstRow + kRowBlockSize) / kRowBlockSize;

  writeRecord(rtBof, Bytes().u16(0x0600).u16(0x0010).u16(0x0DBB).u16(0x07CC).zeros(8).data());
  const std::uint64_t indexPos = stream_->tell();
  {
    Bytes index;
    index.u32(0).u32(empty ? 0 : static_cast<std::uint32_t>(used.firstRow));
    index.u32(empty ? 0 : static_cast<std::uint32_t>(used.lastRow + 1)).u32(0);
    index.zeros(4 * blocks);
    writeRecord(rtIndex, index.data());
  }
  writeRecord(rtCalcMode, u16(1));
  writeRecord(rtCalcCount, u16(100));
  writeRecord(rtRefMode, u16(1));
  writeRecord(rtIteration, u16(0));
  writeRecord(rtDelta, f64(0.001));
  writeRecord(rtSaveRecalc, u16(1));
  writeRecord(rtPrintHeaders, u16(page.PrintHeaders ? 1 : 0));
  writeRecord(rtPrintGridLines, u16(page.PrintGridLines ? 1 : 0));
  writeRecord(rtGridSet, u16(1));
  writeRecord(rtGuts, Bytes().zeros(8).data());
  writeRecord(rtDefaultRowHeight, Bytes().u16(0).u16(255).data());
  if (!sheet.PageBreaks.empty()) {
    Bytes breaks;
    breaks.u16(static_cast<unsigned>(sheet.PageBreaks.size()));
    for (std::uint16_t row : sheet.PageBreaks) breaks.u16(row).u16(0).u16(255);
    writeRecord(rtHorizontalPageBreaks, breaks.data());
  }
  writeRecord(rtWsBool, u16(page.UseZoom ? 0x04C1 : 0x05C1));
  for (const auto& [id, text] : {std::pair{rtHeader, headerText(page.LeftHeader, page.CenterHeader, page.RightHeader)},
                                 std::pair{rtFooter, headerText(page.LeftFooter, page.CenterFooter, page.RightFooter)}}) {
    if (text.isEmpty())
      writeRecord(id, {});
    else
      writeRecord(id, Bytes().u16(static_cast<unsigned>(text.size())).u8(1).utf16(text).data());
  }
  writeRecord(rtHCenter, u16(page.CenterHorizontally ? 1 : 0));
  writeRecord(rtVCenter, u16(page.CenterVertically ? 1 : 0));
  writeRecord(rtLeftMargin, f64(page.LeftMargin));
  writeRecord(rtRightMargin, f64(page.RightMargin));
  writeRecord(rtTopMargin, f64(page.TopMargin));
  writeRecord(rtBottomMargin, f64(page.BottomMargin));
  {
    unsigned options = 0;
    if (page.PageOrder == 1) options |= 0x0001;
    if (page.Orientation == 0) options |= 0x0002;
    if (page.BlackAndWhite) options |= 0x0008;
    if (page.PrintQualityLow) options |= 0x0010;
    if (page.PrintNotes) options |= 0x0020;
    if (page.FirstPageNumber != 1) options |= 0x0080;
    writeRecord(rtSetup, Bytes()
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
                             .u16(static_cast<unsigned>(page.Copies))
                             .data());
  }
  writeRecord(rtDefColWidth, u16(8));
  for (const TXlsColumnWidth& c : sheet.ColumnWidths)
    writeRecord(rtColInfo, Bytes().u16(c.column).u16(c.column).u16(c.width).u16(0).u16(0).u16(0).data());
  if (empty) {
    writeRecord(rtDimensions, Bytes().zeros(14).data());
  } else {
    writeRecord(rtDimensions, Bytes()
                                  .u32(static_cast<std::uint32_t>(used.firstRow))
                                  .u32(static_cast<std::uint32_t>(used.lastRow + 1))
                                  .u16(static_cast<unsigned>(used.firstColumn))
                                  .u16(static_cast<unsigned>(used.lastColumn + 1))
                                  .u16(0)
                                  .data());
  }

  // Row blocks.
  std::vector<std::uint32_t> dbCells;
  if (!empty) {
    std::unordered_map<std::int32_t, std::uint16_t> heights;
    for (const TXlsRowHeight& h : sheet.RowHeights) heights.emplace(h.row, h.height);
    const SheetCells& cells = sheet.cells();
    const std::vector<Stretch>& stretches = stretches_[sheetIndex];
    std::size_t stretch = 0;
    const auto stretchOf = [&](std::uint32_t i) -> const Stretch& {
      if (stretches[stretch].end <= i || (stretch > 0 && stretches[stretch - 1].end > i))
        stretch = static_cast<std::size_t>(
            std::upper_bound(stretches.begin(), stretches.end(), i, [](std::uint32_t v, const Stretch& s) { return v < s.end; }) -
            stretches.begin());
      return stretches[stretch];
    };
    const std::vector<RunList::Run>& topRuns = cells.tops().runs();
    std::size_t topRun = 0;
    const bool oneRowHigh = sheet.MaxRangeHeight() <= 1;
    // String numbers follow the ranges' order, the cells of a row go by column.
    std::uint32_t counted = 0, nextString = firstString_[sheetIndex];
    std::vector<std::int64_t> rowStrings;
    std::vector<std::uint32_t> rowRanges;  // the ranges crossing a row, by column
    Chunk cellRecords;
    Chunk rowRecords;
    std::vector<qsizetype> rowCellStart;

    // Range i's records in `row`: its value (string number `string` for a
    // text) in its top row, then blanks for the rest of its width.
    const auto writeRange = [&](std::uint32_t i, std::int32_t row, bool topRow, std::int64_t string) {
      const Stretch& st = stretchOf(i);
      const auto xf = static_cast<unsigned>(st.xf);
      const std::int32_t left = cells.left(i), right = st.single ? left : cells.right(i);
      std::int32_t next = left;
      if (topRow) {
        if (cells.kind(i) == SheetCells::Kind::Number) {
          char* p = cellRecords.grow(18);
          putU16(p, rtNumber);
          putU16(p + 2, 14);
          putU16(p + 4, static_cast<unsigned>(row));
          putU16(p + 6, static_cast<unsigned>(left));
          putU16(p + 8, xf);
          const double d = cells.number(i);
          std::uint64_t bits;
          std::memcpy(&bits, &d, 8);
          putU32(p + 10, static_cast<std::uint32_t>(bits));
          putU32(p + 14, static_cast<std::uint32_t>(bits >> 32));
          next = left + 1;
        } else if (string >= 0) {
          char* p = cellRecords.grow(14);
          putU16(p, rtLabelSst);
          putU16(p + 2, 10);
          putU16(p + 4, static_cast<unsigned>(row));
          putU16(p + 6, static_cast<unsigned>(left));
          putU16(p + 8, xf);
          putU32(p + 10, static_cast<std::uint32_t>(string));
          next = left + 1;
        }
      }
      if (next < right) {
        Bytes mul;
        mul.u16(static_cast<unsigned>(row)).u16(static_cast<unsigned>(next));
        for (std::int32_t c = next; c <= right; ++c) mul.u16(xf);
        mul.u16(static_cast<unsigned>(right));
        char h[4];
        putU16(h, rtMulBlank);
        putU16(h + 2, static_cast<unsigned>(mul.data().size()));
        cellRecords.append(h, 4).append(mul.data().constData(), static_cast<std::size_t>(mul.data().size()));
      } else if (next == right) {
        char* p = cellRecords.grow(10);
        putU16(p, rtBlank);
        putU16(p + 2, 6);
        putU16(p + 4, static_cast<unsigned>(row));
        putU16(p + 6, static_cast<unsigned>(next));
        putU16(p + 8, xf);
      }
    };

    for (std::int32_t blockFirst = used.firstRow; blockFirst <= used.lastRow; blockFirst += kRowBlockSize) {
      const std::int32_t blockLast = std::min(used.lastRow, blockFirst + kRowBlockSize - 1);
      const std::uint64_t blockStart = stream_->tell();
      cellRecords.clear();
      rowRecords.clear();
      rowCellStart.clear();
      for (std::int32_t row = blockFirst; row <= blockLast; ++row) {
        // The ranges whose top row this is: [rowFirst, rowEnd). Rows are
        // never negative here, and each row's ranges are one run of tops.
        while (topRun < topRuns.size() && static_cast<std::int32_t>(topRuns[topRun].value) < row) ++topRun;
        const bool hasTop = topRun < topRuns.size() && static_cast<std::int32_t>(topRuns[topRun].value) == row;
        const std::uint32_t rowFirst = topRun < topRuns.size() ? topRuns[topRun].start : cells.size();
        const std::uint32_t rowEnd = hasTop ? cells.tops().runEnd(topRun) : rowFirst;
        for (; counted < rowFirst; ++counted)
          if (cells.showsText(counted)) ++nextString;
        // Ranges one row high in order of column are written in their own
        // order; anything else is gathered and sorted by column.
        bool inOrder = oneRowHigh;
        for (std::int32_t i = std::int32_t(rowFirst) + 1, before = inOrder && rowEnd > rowFirst ? cells.left(rowFirst) : 0;
             inOrder && i < std::int32_t(rowEnd); ++i) {
          const std::int32_t left = cells.left(std::uint32_t(i));
          inOrder = before < left;
          before = left;
        }
        if (!inOrder) {
          rowStrings.clear();
          for (std::uint32_t i = rowFirst; i < rowEnd; ++i)
            rowStrings.push_back(cells.showsText(i) ? std::int64_t(nextString++) : -1);
          counted = rowEnd;
          rowRanges.clear();
          const std::int64_t from = static_cast<std::int64_t>(row) - sheet.MaxRangeHeight() + 1;
          for (std::uint32_t i = cells.firstFrom(static_cast<std::int32_t>(std::max<std::int64_t>(from, INT32_MIN)));
               i < cells.size() && cells.top(i) <= row; ++i)
            if (cells.bottom(i) >= row) rowRanges.push_back(i);
          const auto byLeft = [&](std::uint32_t a, std::uint32_t b) { return cells.left(a) < cells.left(b); };
          if (!std::is_sorted(rowRanges.begin(), rowRanges.end(), byLeft))
            std::stable_sort(rowRanges.begin(), rowRanges.end(), byLeft);
        }
        const bool anyRange = inOrder ? rowEnd > rowFirst : !rowRanges.empty();
        const std::uint32_t firstRange = inOrder ? rowFirst : (anyRange ? rowRanges.front() : 0);
        const std::uint32_t lastRange = inOrder ? rowEnd - 1 : (anyRange ? rowRanges.back() : 0);
        const auto height = heights.empty() ? heights.end() : heights.find(row);
        char* rec = rowRecords.grow(20);
        putU16(rec, rtRow);
        putU16(rec + 2, 16);
        putU16(rec + 4, static_cast<unsigned>(row));
        putU16(rec + 6, anyRange ? static_cast<unsigned>(cells.left(firstRange)) : 0);
        putU16(rec + 8, anyRange ? static_cast<unsigned>(cells.right(lastRange) + 1) : 0);
        putU16(rec + 10, height != heights.end() ? height->second : 255);
        putU32(rec + 12, 0);
        putU32(rec + 16, height != heights.end() ? 0x40 : 0);

        rowCellStart.push_back(static_cast<qsizetype>(cellRecords.size()));
        if (inOrder) {
          for (std::uint32_t i = rowFirst; i < rowEnd; ++i)
            writeRange(i, row, true, cells.showsText(i) ? std::int64_t(nextString++) : -1);
          counted = rowEnd;
        } else {
          for (std::uint32_t i : rowRanges) {
            const bool topRow = cells.top(i) == row;
            writeRange(i, row, topRow, topRow ? rowStrings[i - rowFirst] : -1);
          }
        }
      }
      stream_->write(rowRecords.data(), rowRecords.size());
      stream_->write(cellRecords.data(), cellRecords.size());
      const std::uint64_t dbCellPos = stream_->tell();
      const qsizetype rowCount = static_cast<qsizetype>(rowCellStart.size());
      QByteArray db(4 + 2 * rowCount, '\0');
      putU32(db.data(), static_cast<std::uint32_t>(dbCellPos - blockStart));
      // The first offset counts from the block's second ROW record, each
      // further one from the first cell of the row before.
      putU16(db.data() + 4, static_cast<unsigned>(20 * rowCount + rowCellStart[0] - 20));
      for (qsizetype i = 1; i < rowCount; ++i)
        putU16(db.data() + 4 + 2 * i, static_cast<unsigned>(rowCellStart[i] - rowCellStart[i - 1]));
      writeRecord(rtDbCell, db);
      dbCells.push_back(static_cast<std::uint32_t>(dbCellPos - globalsStart_));
    }
    // INDEX again, now with the DBCELL positions.
    Bytes positions;
    for (std::uint32_t p : dbCells) positions.u32(p);
    stream_->seek(indexPos + 4 + 16);
    if (!dbCells.empty()) stream_->write(positions.data().constData(), static_cast<std::size_t>(positions.data().size()));
    stream_->seekToEnd();
  }

  writeRecord(rtWindow2, Bytes()
                             .u16(sheetIndex == 0 ? 0x06B6 : 0x04B6)
                             .u16(0)
                             .u16(0)
                             .u32(64)
                             .u16(0)
                             .u16(0)
                             .zeros(4)
                             .data());
  writeRecord(rtSelection, Bytes().u8(3).u16(0).u16(0).u16(0).u16(1).u16(0).u16(0).u8(0).u8(0).data());

  // One area per range of more than one cell, in range order.
  std::vector<std::uint32_t> merged;
  for (const RunList::Run& r : sheet.cells().shapes().runs())
    if (r.value != 0) merged.push_back(r.start);
  const SheetCells& cells = sheet.cells();
  for (std::size_t first = 0; first < merged.size(); first += kMaxMergedAreasPerRecord) {
    const std::size_t n = std::min<std::size_t>(kMaxMergedAreasPerRecord, merged.size() - first);
    Bytes m;
    m.u16(static_cast<unsigned>(n));
    for (std::size_t i = first; i < first + n; ++i)
      m.u16(static_cast<unsigned>(cells.top(merged[i])))
          .u16(static_cast<unsigned>(cells.bottom(merged[i])))
          .u16(static_cast<unsigned>(cells.left(merged[i])))
          .u16(static_cast<unsigned>(cells.right(merged[i])));
    writeRecord(rtMergedCells, m.data());
  }
  writeRecord(rtEof, {});
}

}  // namespace hv
