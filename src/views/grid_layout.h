#pragma once
// The stored column layout of an archive grid ("Table_1".."Table_3"): for
// every column its field, width, position, title sort state with its order
// number, footer state, options, colour, alignment and font, as text with
// CR LF line ends. Only the grid reads it back. No widgets.
#include <QColor>
#include <QList>
#include <QString>
#include <optional>

namespace hv {

enum class TitleState { None = 0, Up = 1, Down = 2 };  // tsSortedNone / tsSortedUp / tsSortedDown

enum class ColumnAlignment { Default = 0, Left = 1, Right = 2, Center = 3 };

struct ColumnLayout {
  QString fieldName;
  int width = 0;
  int level = 0;  // layout row (always 0 here: one title row)
  int index = 0;  // position within the row
  TitleState titleState = TitleState::None;
  int sortOrder = 0;    // order number of the title state (0 when none)
  int footerState = 0;  // footer aggregate (0: none; footers are written by the program)
  int options = 0;      // visual option bits
  QColor color;         // invalid = clNone (no colour of its own)
  ColumnAlignment alignment = ColumnAlignment::Default;
  QString font;         // QFont::toString() text; empty = the grid's font
  bool operator==(const ColumnLayout&) const = default;
};

// Text form, lines ended by CR LF.
QString writeLayout(const QList<ColumnLayout>& columns);
// Reads a text written by writeLayout (any line ends); throws hv::Error
// "Invalid stream format" with the line for anything else.
QList<ColumnLayout> readLayout(const QString& text);

// CR, LF and CR LF all become CR LF.
QString normaliseLineEnds(const QString& text);

}  // namespace hv
