#include "export/workbook_types.h"

#include <QDate>
#include <QDateTime>
#include <cmath>

#include "platform/regional.h"

namespace hv {

Color resolveColor(Color c) {
  if (!isSystemColor(c)) return c;
  // The classic Windows scheme for the colours a workbook may refer to.
  switch (c & 0xFFFFFF) {
    case 1: return rgbColor(0, 128, 128);     // desktop
    case 2: return rgbColor(0, 0, 128);       // active caption
    case 3: return rgbColor(128, 128, 128);   // inactive caption
    case 4: return rgbColor(192, 192, 192);   // menu
    case 5: return kWhite;                   // window
    case 9: return kWhite;                   // caption text
    case 12: return rgbColor(128, 128, 128);  // application workspace
    case 13: return rgbColor(0, 0, 128);      // highlight
    case 14: return kWhite;                  // highlight text
    case 15: return rgbColor(192, 192, 192);  // button face
    case 16: return rgbColor(128, 128, 128);  // button shadow
    case 17: return rgbColor(128, 128, 128);  // grey text
    case 20: return kWhite;                  // button highlight
    case 24: return rgbColor(255, 255, 225);  // tooltip background
    default: return kBlack;                  // window text, menu text, button text, ...
  }
}

bool isEmptyValue(const Value& v) { return std::holds_alternative<std::monostate>(v); }

bool isNumericValue(const Value& v) {
  return std::holds_alternative<std::uint8_t>(v) || std::holds_alternative<std::int16_t>(v) ||
         std::holds_alternative<std::int32_t>(v) || std::holds_alternative<float>(v) ||
         std::holds_alternative<double>(v) || std::holds_alternative<Currency>(v);
}

double numericValue(const Value& v) {
  if (auto p = std::get_if<std::uint8_t>(&v)) return *p;
  if (auto p = std::get_if<std::int16_t>(&v)) return *p;
  if (auto p = std::get_if<std::int32_t>(&v)) return *p;
  if (auto p = std::get_if<float>(&v)) return *p;
  if (auto p = std::get_if<double>(&v)) return *p;
  if (auto p = std::get_if<Currency>(&v)) return static_cast<double>(p->scaled) / 10000.0;
  return 0;
}

namespace {

QString floatText(double d) {
  QString s = QString::number(d, 'g', 15);
  return s.replace(QChar('.'), decimalSeparator());
}

}  // namespace

QString valueText(const Value& v) {
  if (auto p = std::get_if<QString>(&v)) return *p;
  if (std::holds_alternative<std::monostate>(v)) return {};
  if (auto p = std::get_if<bool>(&v)) return *p ? QStringLiteral("True") : QStringLiteral("False");
  if (auto p = std::get_if<OleDate>(&v)) {
    const double whole = std::floor(p->days);
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(whole));
    const qint64 ms = std::llround((p->days - whole) * 86400000.0);
    QString text = date.toString(QStringLiteral("dd.MM.yyyy"));
    if (ms != 0) text += QChar(' ') + QTime(0, 0).addMSecs(static_cast<int>(ms)).toString(QStringLiteral("hh:mm:ss"));
    return text;
  }
  if (auto p = std::get_if<Currency>(&v)) {
    const double d = static_cast<double>(p->scaled) / 10000.0;
    return floatText(d);
  }
  if (auto p = std::get_if<float>(&v)) return floatText(*p);
  if (auto p = std::get_if<double>(&v)) return floatText(*p);
  return QString::number(static_cast<qint64>(numericValue(v)));
}

}  // namespace hv
