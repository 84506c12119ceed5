#pragma once
// Value and formatting types of the in-memory workbook.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <variant>

namespace hv {

// A colour: top bit clear is RGB with red in the low byte; top bit set refers to
// a system colour whose index is the low 24 bits.
using Color = std::uint32_t;

constexpr Color kBlack = 0x000000;
constexpr Color kWhite = 0xFFFFFF;
constexpr Color kSystemColorFlag = 0x80000000u;
constexpr Color kWindowText = kSystemColorFlag | 8;  // COLOR_WINDOWTEXT

constexpr Color rgbColor(int red, int green, int blue) {
  return static_cast<Color>((red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16);
}
constexpr bool isSystemColor(Color c) { return (c & kSystemColorFlag) != 0; }
// The RGB value a colour stands for now; system colours use the classic scheme
// (window text black, window white, ...), as there is no system palette here.
Color resolveColor(Color c);

// Fixed point with four decimals, as the currency kind of a variant.
struct Currency {
  std::int64_t scaled = 0;  // value × 10,000
  friend bool operator==(const Currency&, const Currency&) = default;
};

// A date as days since 30 December 1899 (fraction = time of day).
struct OleDate {
  double days = 0;
  friend bool operator==(const OleDate&, const OleDate&) = default;
};

// An 8-bit (Windows-1251) text; stored in a cell as the Unicode text it stands for.
struct AnsiText {
  QByteArray bytes;
};

// The variant value of a range: empty, integers, floats, currency, date, boolean, text.
using Value = std::variant<std::monostate, std::uint8_t, std::int16_t, std::int32_t, float, double, Currency,
                           OleDate, bool, QString>;

bool isEmptyValue(const Value& v);
bool isNumericValue(const Value& v);  // integer, floating point or currency
double numericValue(const Value& v);  // 0 for anything not numeric
QString valueText(const Value& v);    // the text a Text cell shows

struct TXlsBorder {
  hv::Color Color = kBlack;
  std::uint8_t LineStyle = 0;  // 0 none; 1..13 the file format's line styles
  friend bool operator==(const TXlsBorder&, const TXlsBorder&) = default;
};

// By position: 0 diagonal top-left to bottom-right, 1 diagonal bottom-left to
// top-right, 2 bottom, 3 left, 4 right, 5 top.
struct TXlsBorders {
  enum Position { DiagonalDown = 0, DiagonalUp = 1, Bottom = 2, Left = 3, Right = 4, Top = 5 };
  TXlsBorder items[6];
  TXlsBorder& operator[](int i) { return items[i]; }
  const TXlsBorder& operator[](int i) const { return items[i]; }
  friend bool operator==(const TXlsBorders&, const TXlsBorders&) = default;
};

struct TXlsFont {
  QString name = QStringLiteral("Arial");
  int size = 10;  // whole points
  hv::Color color = kBlack;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
  std::uint8_t charset = 1;  // default character set
  std::uint8_t pitch = 0;    // 0 default, 1 fixed, 2 variable
  // Same font: character set, colour, name (with case), pitch, size and style.
  // The screen height follows from the size and needs no comparison of its own.
  friend bool operator==(const TXlsFont&, const TXlsFont&) = default;
};

struct TXlsPageSetup {
  bool BlackAndWhite = false;
  QString LeftHeader, CenterHeader, RightHeader;
  QString LeftFooter, CenterFooter, RightFooter;
  bool CenterHorizontally = false;
  bool CenterVertically = false;
  bool PrintQualityLow = false;
  std::int32_t FirstPageNumber = 1;
  std::int32_t FitToPagesTall = 1;
  std::int32_t FitToPagesWide = 1;
  std::uint8_t PageOrder = 0;    // 1: across, then down
  std::uint8_t Orientation = 0;  // 0 portrait, otherwise landscape
  std::uint8_t PaperSize = 9;    // A4
  bool PrintGridLines = false;
  bool PrintHeaders = false;
  bool PrintNotes = false;
  double LeftMargin = 2.0, RightMargin = 2.0;  // inches
  double TopMargin = 2.5, BottomMargin = 2.5;
  double HeaderMargin = 0.0, FooterMargin = 0.0;
  std::int32_t Zoom = 100;
  std::int32_t Copies = 0;
  bool UseZoom = true;  // false: fit to FitToPagesWide × FitToPagesTall
};

// Everything a range carries besides its rectangle and value.
struct TXlsRangeFormat {
  TXlsBorders Borders;
  TXlsFont Font;
  std::uint8_t HorizontalAlignment = 0;  // 0 general .. 6 centre across selection
  std::uint8_t VerticalAlignment = 2;    // 0 top, 1 centre, 2 bottom, 3 justify
  bool WrapText = false;
  std::uint8_t Rotation = 0;
  QString NumberFormat;  // empty: General
  std::uint8_t FillPattern = 0;
  hv::Color FillColor = kBlack;
  hv::Color PatternColor = kBlack;
  QString Formula;
};

enum class CellKind { Text, Number, Formula };

}  // namespace hv
