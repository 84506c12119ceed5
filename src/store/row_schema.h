#pragma once
// The measurement row: its ten fields in file order, each with its dBase
// name, type, width and decimals, the caption the grids, the printout and the
// workbook put above it, and the form its value is kept in. The one place the
// row's layout is spelled out; each view keeps only its own column widths,
// alignments and order.
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <span>

namespace hv {

enum class MeasurementField { N, NArc, Date, Time, W, WMin, WMax, Material, NInd, Comment };

// The form a field's value is kept in (see store/stored_values.h).
enum class StoredForm {
  Integer,     // a numeric field
  Date,        // "dd.mm.yyyy"
  Time,        // "hh:mm:ss"
  Moisture,    // tenths of a percent as "12,5" or "12.5"
  NumberText,  // a whole number as text, "**" past 99
  Text,
};

struct FieldSpec {
  const char* name;
  char type;  // 'N' or 'C'
  int width;
  int decimals;
  const char* caption;  // UTF-8; N_ARC is shown nowhere and has none
  StoredForm form;
};

inline constexpr std::array<MeasurementField, 10> kMeasurementFields = {
    MeasurementField::N,   MeasurementField::NArc,    MeasurementField::Date,     MeasurementField::Time,
    MeasurementField::W,   MeasurementField::WMin,    MeasurementField::WMax,     MeasurementField::Material,
    MeasurementField::NInd, MeasurementField::Comment};

// The values a grid keeps with each selected row, in SelectedRow's order.
inline constexpr std::array<MeasurementField, 5> kSelectedRowFields = {
    MeasurementField::W, MeasurementField::WMin, MeasurementField::WMax, MeasurementField::Date,
    MeasurementField::Time};

namespace detail {
inline constexpr FieldSpec kFieldSpecs[] = {
    {"N", 'N', 4, 0, "N", StoredForm::Integer},
    {"N_ARC", 'N', 4, 0, "", StoredForm::Integer},
    {"DATE", 'C', 10, 0, "Дата", StoredForm::Date},
    {"TIME", 'C', 8, 0, "Время", StoredForm::Time},
    {"W", 'C', 6, 0, "W, %", StoredForm::Moisture},
    {"W_MIN", 'C', 6, 0, "Wmin, %", StoredForm::Moisture},
    {"W_MAX", 'C', 6, 0, "Wmax, %", StoredForm::Moisture},
    {"MATERIAL", 'C', 50, 0, "Материал", StoredForm::Text},
    {"N_IND", 'C', 2, 0, "№ индивид. зависимости", StoredForm::NumberText},
    {"COMMENT", 'C', 50, 0, "Примечание", StoredForm::Text},
};
}  // namespace detail

constexpr const FieldSpec& fieldSpec(MeasurementField field) {
  return detail::kFieldSpecs[static_cast<int>(field)];
}

QString fieldName(MeasurementField field);
QString fieldCaption(MeasurementField field);
// The field of that name (blanks around and case ignored, as the file's own
// field names are); nothing for a field outside the row.
std::optional<MeasurementField> measurementFieldNamed(QStringView name);
QStringList fieldNames(std::span<const MeasurementField> fields);

}  // namespace hv
