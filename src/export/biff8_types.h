#pragma once
// Record numbers and fixed contents of the Excel 97 (BIFF8) workbook stream.
#include <QString>
#include <array>
#include <cstdint>

#include "export/workbook_types.h"

namespace hv::biff8 {

enum RecordId : std::uint16_t {
  rtFormula = 0x0006,
  rtEof = 0x000A,
  rtCalcCount = 0x000C,
  rtCalcMode = 0x000D,
  rtPrecision = 0x000E,
  rtRefMode = 0x000F,
  rtDelta = 0x0010,
  rtIteration = 0x0011,
  rtProtect = 0x0012,
  rtPassword = 0x0013,
  rtHeader = 0x0014,
  rtFooter = 0x0015,
  rtWindowProtect = 0x0019,
  rtHorizontalPageBreaks = 0x001B,
  rtSelection = 0x001D,
  rtDate1904 = 0x0022,
  rtLeftMargin = 0x0026,
  rtRightMargin = 0x0027,
  rtTopMargin = 0x0028,
  rtBottomMargin = 0x0029,
  rtPrintHeaders = 0x002A,
  rtPrintGridLines = 0x002B,
  rtFont = 0x0031,
  rtContinue = 0x003C,
  rtWindow1 = 0x003D,
  rtBackup = 0x0040,
  rtCodePage = 0x0042,
  rtDefColWidth = 0x0055,
  rtWriteAccess = 0x005C,
  rtSaveRecalc = 0x005F,
  rtColInfo = 0x007D,
  rtGuts = 0x0080,
  rtWsBool = 0x0081,
  rtGridSet = 0x0082,
  rtHCenter = 0x0083,
  rtVCenter = 0x0084,
  rtBoundSheet = 0x0085,
  rtCountry = 0x008C,
  rtHideObj = 0x008D,
  rtPalette = 0x0092,
  rtFnGroupCount = 0x009C,
  rtSetup = 0x00A1,
  rtMulBlank = 0x00BE,
  rtMms = 0x00C1,
  rtDbCell = 0x00D7,
  rtBookBool = 0x00DA,
  rtXf = 0x00E0,
  rtInterfaceHdr = 0x00E1,
  rtInterfaceEnd = 0x00E2,
  rtMergedCells = 0x00E5,
  rtSst = 0x00FC,
  rtLabelSst = 0x00FD,
  rtExtSst = 0x00FF,
  rtTabId = 0x013D,
  rtUsesElfs = 0x0160,
  rtDsf = 0x0161,
  rtProt4Rev = 0x01AF,
  rtRefreshAll = 0x01B7,
  rtProt4RevPass = 0x01BC,
  rtExcel9File = 0x01C0,
  rtDimensions = 0x0200,
  rtBlank = 0x0201,
  rtNumber = 0x0203,
  rtRow = 0x0208,
  rtIndex = 0x020B,
  rtDefaultRowHeight = 0x0225,
  rtWindow2 = 0x023E,
  rtStyle = 0x0293,
  rtBof = 0x0809,
  rtFormat = 0x041E,
};

// Most data bytes one record may hold; longer data goes on in CONTINUE records.
constexpr int kMaxRecordData = 8224;
constexpr int kRowBlockSize = 32;
constexpr int kMaxMergedAreasPerRecord = 1024;
// Row and column numbers of cell records are 16 and 8 bits wide.
constexpr std::int32_t kMaxRows = 65536;
constexpr std::int32_t kMaxColumns = 256;

using XfBody = std::array<std::uint8_t, 20>;

// The 15 style XF records 0..14 (data bytes only).
extern const std::array<XfBody, 15> kStyleXfs;
// The fixed cell XF records 15..20.
extern const std::array<XfBody, 6> kFixedCellXfs;
// The six built-in STYLE records, data bytes only.
extern const std::array<std::array<std::uint8_t, 4>, 6> kStyles;

struct NumberFormat {
  std::uint16_t number;
  QString text;
};
// The eight built-in currency and accounting formats, in file order.
const std::array<NumberFormat, 8>& builtInNumberFormats();
constexpr std::uint16_t kFirstCustomFormat = 50;

// The published default palette, colour numbers 8..63.
extern const std::array<Color, 56> kDefaultPalette;
// The sixteen colours that a palette change never replaces.
extern const std::array<Color, 16> kStandardColors;

}  // namespace hv::biff8
