#pragma once
// Workbook writers: TBiff8Writer saves a workbook as an Excel 97 file (a
// compound document with one "Workbook" stream in BIFF8 records).
#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <exception>
#include <map>
#include <unordered_map>
#include <vector>

#include "export/biff8_types.h"
#include "export/record_bytes.h"
#include "export/workbook.h"

namespace hv {

class TCustomWorkbookWriter {
 public:
  virtual ~TCustomWorkbookWriter() = default;
  virtual void Save(const TXlsWorkbook& workbook, const QString& fileName);
};

// Where the writer puts the workbook stream: the compound file, or memory.
class WorkbookStream {
 public:
  virtual ~WorkbookStream() = default;
  virtual void write(const char* data, std::size_t size) = 0;
  virtual std::uint64_t tell() const = 0;
  virtual void seek(std::uint64_t position) = 0;
  virtual void seekToEnd() = 0;
};

// A save given up on request: nothing was put under the file's name.
class SaveCancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "save cancelled"; }
};

class TBiff8Writer : public TCustomWorkbookWriter {
 public:
  // For a save beside the window: `rowsWritten` (if set) counts the rows
  // below each sheet's first as they are written, and `stop` (if set) ends
  // the save at the next block of rows with SaveCancelled.
  void watch(std::atomic<qint64>* rowsWritten, const std::atomic<bool>* stop) {
    rowsWritten_ = rowsWritten;
    stop_ = stop;
  }

  // Writes the file (replacing one of that name). Throws hv::Error:
  // "StgCreateDocFile error %d", "CreateStream error %d", the system's error
  // text for a failed write, or a clear text for a sheet too large for the format.
  void Save(const TXlsWorkbook& workbook, const QString& fileName) override;

  // The bytes of the "Workbook" stream for this workbook.
  QByteArray streamBytes(const TXlsWorkbook& workbook);

  // Throws when a sheet holds cells beyond row 65,535 or column 255, or before
  // row or column 0: their numbers would not fit the cell records.
  static void checkFits(const TXlsWorkbook& workbook);

 private:
  // Neighbouring ranges of one sheet with the same format and shape: they
  // share their font, number format and cell format.
  struct Stretch {
    std::uint32_t end = 0;  // one past its last range
    std::uint32_t formatId = 0;
    bool single = true;
    std::int32_t font = 0;
    std::int32_t numberFormat = 0;
    std::int32_t xf = 0;
  };
  struct SheetOffset {
    std::uint64_t bof = 0;
    std::uint64_t boundSheetField = 0;
  };

  class RowBlockWriter;

  void writeWorkbook(const TXlsWorkbook& workbook, WorkbookStream& stream);
  void reset(const TXlsWorkbook& workbook);
  void buildTables(const TXlsWorkbook& workbook);
  int colorIndex(Color color);
  biff8::XfBody xfBody(const TXlsRangeFormat& f, const Stretch& stretch);

  // The data of the next record, empty; written by writeRecord.
  biff8::RecordBytes& data();
  // A record with no data, or with `data` (in CONTINUE records beyond the
  // first one's room).
  void writeRecord(std::uint16_t id);
  void writeRecord(std::uint16_t id, const biff8::RecordBytes& data);

  // The globals: workbook settings, fonts, formats, styles, palette, sheet
  // list and the shared-string table (writeSst, in biff8_cells.cpp).
  void writeGlobals(const TXlsWorkbook& workbook);
  void writeSst(const TXlsWorkbook& workbook);

  // A worksheet, its records in file order.
  void writeSheet(const TXlsWorkbook& workbook, int sheetIndex);
  // BOF, and INDEX with room for the row blocks' DBCELL positions; returns
  // where INDEX starts.
  std::uint64_t writeSheetHead(const TXlsWorksheet& sheet);
  void writeCalculationSettings();
  void writeSheetSettings(const TXlsWorksheet& sheet);  // printing flags, row height, page breaks
  void writePageSettings(const TXlsPageSetup& page);    // header, footer, margins, SETUP
  void writeColumns(const TXlsWorksheet& sheet);
  void writeDimensions(const TXlsArea& used);
  // The cells in row blocks (biff8_cells.cpp); the blocks' DBCELL positions.
  std::vector<std::uint32_t> writeRowBlocks(const TXlsWorkbook& workbook, int sheetIndex);
  void patchIndex(std::uint64_t indexPosition, const std::vector<std::uint32_t>& dbCells);
  void writeWindow(int sheetIndex);
  void writeMergedCells(const TXlsWorksheet& sheet);

  WorkbookStream* stream_ = nullptr;
  std::atomic<qint64>* rowsWritten_ = nullptr;
  const std::atomic<bool>* stop_ = nullptr;
  biff8::RecordBytes data_;  // of the record being put together
  std::vector<std::vector<Stretch>> stretches_;  // per sheet
  std::vector<TXlsFont> fontTable_;
  std::vector<biff8::RecordBytes> fontRecords_;
  std::vector<biff8::NumberFormat> formatTable_;
  std::vector<biff8::XfBody> xfTable_;
  std::map<biff8::XfBody, int> xfNumbers_;
  std::vector<Color> palette_;
  std::vector<Color> usedColors_;
  std::unordered_map<Color, int> colorNumbers_;
  bool paletteChanged_ = false;
  std::vector<SheetOffset> sheetOffsets_;
  std::uint64_t globalsStart_ = 0;
  // Shared strings: one per cell that shows a text, numbered in range order.
  std::uint32_t stringCount_ = 0;
  std::vector<std::uint32_t> firstString_;  // per sheet
};

}  // namespace hv
