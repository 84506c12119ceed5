#include "views/grid_layout.h"

#include <QStringList>

#include "platform/error.h"

namespace hv {

namespace {

const char* titleStateName(TitleState s) {
  switch (s) {
    case TitleState::Up: return "tsSortedUp";
    case TitleState::Down: return "tsSortedDown";
    default: return "tsSortedNone";
  }
}

const char* alignmentName(ColumnAlignment a) {
  switch (a) {
    case ColumnAlignment::Left: return "taLeftJustify";
    case ColumnAlignment::Right: return "taRightJustify";
    case ColumnAlignment::Center: return "taCenter";
    default: return "taDefault";
  }
}

QString quoted(const QString& s) {
  QString q = s;
  q.replace(QChar('\''), QStringLiteral("''"));
  return QChar('\'') + q + QChar('\'');
}

[[noreturn]] void bad(int line) {
  throw Error(QStringLiteral("Сохранённое расположение столбцов повреждено (строка %1).").arg(line));
}

int toInt(const QString& v, int line, int lo, int hi) {
  bool ok = false;
  const int n = v.toInt(&ok);
  if (!ok || n < lo || n > hi) bad(line);
  return n;
}

QString unquoted(const QString& v, int line) {
  if (v.size() < 2 || v.front() != QChar('\'') || v.back() != QChar('\'')) bad(line);
  QString inner = v.mid(1, v.size() - 2);
  // Every quote inside must be doubled.
  QString out;
  for (qsizetype i = 0; i < inner.size(); ++i) {
    if (inner[i] == QChar('\'')) {
      if (i + 1 >= inner.size() || inner[i + 1] != QChar('\'')) bad(line);
      ++i;
    }
    out += inner[i];
  }
  return out;
}

}  // namespace

QString normaliseLineEnds(const QString& text) {
  QString s = text;
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QChar('\r'), QChar('\n'));
  s.replace(QChar('\n'), QStringLiteral("\r\n"));
  return s;
}

QString writeLayout(const QList<ColumnLayout>& columns) {
  QStringList l;
  l << QStringLiteral("object TLayoutStorage") << QStringLiteral("  Columns = <");
  for (const ColumnLayout& c : columns) {
    l << QStringLiteral("    item");
    l << QStringLiteral("      FieldName = %1").arg(quoted(c.fieldName));
    l << QStringLiteral("      Width = %1").arg(c.width);
    l << QStringLiteral("      Level = %1").arg(c.level);
    l << QStringLiteral("      Index = %1").arg(c.index);
    l << QStringLiteral("      TitleState = %1").arg(QLatin1String(titleStateName(c.titleState)));
    l << QStringLiteral("      SortOrder = %1").arg(c.sortOrder);
    l << QStringLiteral("      FooterState = %1").arg(c.footerState);
    l << QStringLiteral("      Options = %1").arg(c.options);
    l << QStringLiteral("      Color = %1")
             .arg(c.color.isValid() ? c.color.name(QColor::HexRgb) : QStringLiteral("clNone"));
    l << QStringLiteral("      Alignment = %1").arg(QLatin1String(alignmentName(c.alignment)));
    l << QStringLiteral("      Font = %1").arg(quoted(c.font));
    l << QStringLiteral("    end");
  }
  l << QStringLiteral("  >") << QStringLiteral("end");
  return l.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

QList<ColumnLayout> readLayout(const QString& text) {
  const QStringList lines = normaliseLineEnds(text).split(QStringLiteral("\r\n"));
  QList<ColumnLayout> columns;
  enum { Start, Object, Items, Item, Closed, Done } state = Start;
  ColumnLayout cur;
  int seen = 0;  // property bits present in the current item
  for (int n = 0; n < lines.size(); ++n) {
    const int lineNo = n + 1;
    const QString line = lines[n].trimmed();
    if (line.isEmpty()) continue;
    switch (state) {
      case Start:
        if (line != QLatin1String("object TLayoutStorage")) bad(lineNo);
        state = Object;
        break;
      case Object:
        if (line == QLatin1String("Columns = <")) {
          state = Items;
        } else if (line == QLatin1String("Columns = <>")) {
          state = Closed;
        } else {
          bad(lineNo);
        }
        break;
      case Items:
        if (line == QLatin1String("item")) {
          cur = ColumnLayout{};
          seen = 0;
          state = Item;
        } else if (line == QLatin1String(">")) {
          state = Closed;
        } else {
          bad(lineNo);
        }
        break;
      case Item: {
        if (line == QLatin1String("end")) {
          if (!(seen & 1)) bad(lineNo);  // a column without a field name
          columns.append(cur);
          state = Items;
          break;
        }
        const qsizetype eq = line.indexOf(QStringLiteral(" = "));
        if (eq <= 0) bad(lineNo);
        const QString key = line.left(eq);
        const QString v = line.mid(eq + 3);
        if (key == QLatin1String("FieldName")) {
          cur.fieldName = unquoted(v, lineNo);
          seen |= 1;
        } else if (key == QLatin1String("Width")) {
          cur.width = toInt(v, lineNo, 0, 100000);
        } else if (key == QLatin1String("Level")) {
          cur.level = toInt(v, lineNo, 0, 1000);
        } else if (key == QLatin1String("Index")) {
          cur.index = toInt(v, lineNo, 0, 1000);
        } else if (key == QLatin1String("TitleState")) {
          if (v == QLatin1String("tsSortedNone")) cur.titleState = TitleState::None;
          else if (v == QLatin1String("tsSortedUp")) cur.titleState = TitleState::Up;
          else if (v == QLatin1String("tsSortedDown")) cur.titleState = TitleState::Down;
          else bad(lineNo);
        } else if (key == QLatin1String("SortOrder")) {
          cur.sortOrder = toInt(v, lineNo, 0, 1000);
        } else if (key == QLatin1String("FooterState")) {
          cur.footerState = toInt(v, lineNo, 0, 1000);
        } else if (key == QLatin1String("Options")) {
          cur.options = toInt(v, lineNo, 0, 0x7fffffff);
        } else if (key == QLatin1String("Color")) {
          if (v == QLatin1String("clNone")) {
            cur.color = QColor();
          } else {
            if (v.size() != 7 || v[0] != QChar('#')) bad(lineNo);
            cur.color = QColor::fromString(v);
            if (!cur.color.isValid()) bad(lineNo);
          }
        } else if (key == QLatin1String("Alignment")) {
          if (v == QLatin1String("taDefault")) cur.alignment = ColumnAlignment::Default;
          else if (v == QLatin1String("taLeftJustify")) cur.alignment = ColumnAlignment::Left;
          else if (v == QLatin1String("taRightJustify")) cur.alignment = ColumnAlignment::Right;
          else if (v == QLatin1String("taCenter")) cur.alignment = ColumnAlignment::Center;
          else bad(lineNo);
        } else if (key == QLatin1String("Font")) {
          cur.font = unquoted(v, lineNo);
        } else {
          bad(lineNo);
        }
        break;
      }
      case Closed:
        if (line != QLatin1String("end")) bad(lineNo);
        state = Done;
        break;
      case Done:
        bad(lineNo);
    }
  }
  if (state != Done) bad(static_cast<int>(lines.size()));
  return columns;
}

}  // namespace hv
