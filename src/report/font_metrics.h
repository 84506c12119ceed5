#pragma once
// Text measurement for report layout. Widths come from built-in advance
// tables of Arial-compatible metrics, so layout needs no font system (and no
// GUI application) and wraps the same on every machine.
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace hv::report {

struct FontDesc {
  QString family = QStringLiteral("Arial");
  double pointSize = 10;
  bool bold = false;
  bool operator==(const FontDesc&) const = default;
};

namespace detail {
struct GlyphWidths {
  int unitsPerEm;
  int ascent;
  int descent;
  std::vector<std::pair<char16_t, int>> widths;  // sorted by character
};
extern const GlyphWidths kRegular;
extern const GlyphWidths kBold;
}  // namespace detail

// Widths and heights in points (1/72 inch).
double textWidth(const QString& text, const FontDesc& font);
double lineHeight(const FontDesc& font);  // ascent + descent
double fontAscent(const FontDesc& font);

// Breaks text into lines no wider than maxWidth: at explicit line breaks, at
// blanks, and inside a word only when the word alone is too wide.
QStringList wrapText(const QString& text, double maxWidth, const FontDesc& font);

// Shortens a line with a trailing ellipsis until it fits maxWidth.
QString elideRight(const QString& line, double maxWidth, const FontDesc& font);

}  // namespace hv::report
