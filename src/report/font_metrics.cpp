#include "report/font_metrics.h"

#include <algorithm>
#include <array>

namespace hv::report {

namespace {

// Flat lookup over the characters a report normally holds; others go through
// the sorted list.
struct WidthTable {
  explicit WidthTable(const detail::GlyphWidths& g) : src(g) {
    flat.fill(-1);
    for (const auto& [c, w] : g.widths)
      if (c < flat.size()) flat[c] = w;
    const auto zero = std::find_if(g.widths.begin(), g.widths.end(), [](const auto& p) { return p.first == u'0'; });
    fallback = zero != g.widths.end() ? zero->second : g.unitsPerEm / 2;
  }
  int width(char16_t c) const {
    if (c < flat.size()) {
      const int w = flat[c];
      return w >= 0 ? w : fallback;
    }
    const auto it = std::lower_bound(src.widths.begin(), src.widths.end(), c,
                                     [](const std::pair<char16_t, int>& p, char16_t v) { return p.first < v; });
    return it != src.widths.end() && it->first == c ? it->second : fallback;
  }
  const detail::GlyphWidths& src;
  std::array<int, 0x460> flat;
  int fallback;
};

const WidthTable& table(const FontDesc& f) {
  static const WidthTable regular(detail::kRegular);
  static const WidthTable bold(detail::kBold);
  return f.bold ? bold : regular;
}

// Width of [from, to) of text in font units.
long long unitsOf(const WidthTable& t, const QString& text, qsizetype from, qsizetype to) {
  long long sum = 0;
  for (qsizetype i = from; i < to; ++i) sum += t.width(text[i].unicode());
  return sum;
}

}  // namespace

double textWidth(const QString& text, const FontDesc& font) {
  const WidthTable& t = table(font);
  return double(unitsOf(t, text, 0, text.size())) * font.pointSize / t.src.unitsPerEm;
}

double lineHeight(const FontDesc& font) {
  const WidthTable& t = table(font);
  return double(t.src.ascent + t.src.descent) * font.pointSize / t.src.unitsPerEm;
}

double fontAscent(const FontDesc& font) {
  const WidthTable& t = table(font);
  return double(t.src.ascent) * font.pointSize / t.src.unitsPerEm;
}

QStringList wrapText(const QString& text, double maxWidth, const FontDesc& font) {
  const WidthTable& t = table(font);
  // Work in font units to keep the sums exact.
  const double limit = maxWidth * t.src.unitsPerEm / font.pointSize + 1e-6;
  QStringList lines;
  for (const QString& para : text.split(QChar('\n'))) {
    QString line;
    long long lineW = 0;
    const qsizetype n = para.size();
    qsizetype i = 0;
    bool any = false;
    while (i < n) {
      // One word and the blanks before it.
      qsizetype ws = i;
      while (ws < n && para[ws] == QChar(' ')) ++ws;
      qsizetype we = ws;
      while (we < n && para[we] != QChar(' ')) ++we;
      const long long blanks = unitsOf(t, para, i, ws);
      const long long word = unitsOf(t, para, ws, we);
      if (line.isEmpty() && !any) {
        // Leading blanks of a paragraph are kept, as typed.
        line = para.mid(i, ws - i);
        lineW = blanks;
      } else if (lineW + blanks + word <= limit) {
        line += para.mid(i, ws - i);
        lineW += blanks;
      } else {
        lines.append(line);
        line.clear();
        lineW = 0;
      }
      if (lineW + word <= limit || we == ws) {
        line += para.mid(ws, we - ws);
        lineW += word;
      } else {
        // A word wider than the line on its own: break it where it must.
        for (qsizetype k = ws; k < we; ++k) {
          const int cw = t.width(para[k].unicode());
          if (lineW + cw > limit && !line.trimmed().isEmpty()) {
            lines.append(line);
            line.clear();
            lineW = 0;
          }
          line += para[k];
          lineW += cw;
        }
      }
      any = true;
      i = we;
    }
    lines.append(line);
  }
  return lines;
}

QString elideRight(const QString& line, double maxWidth, const FontDesc& font) {
  if (textWidth(line, font) <= maxWidth + 1e-9) return line;
  const QString dots = QString(QChar(0x2026));
  QString s = line;
  while (!s.isEmpty() && textWidth(s + dots, font) > maxWidth) s.chop(1);
  return s + dots;
}

}  // namespace hv::report
