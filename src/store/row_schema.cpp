#include "store/row_schema.h"

namespace hv {

QString fieldName(MeasurementField field) { return QString::fromLatin1(fieldSpec(field).name); }

QString fieldCaption(MeasurementField field) { return QString::fromUtf8(fieldSpec(field).caption); }

std::optional<MeasurementField> measurementFieldNamed(QStringView name) {
  const QStringView n = name.trimmed();
  for (MeasurementField f : kMeasurementFields)
    if (n.compare(QLatin1String(fieldSpec(f).name), Qt::CaseInsensitive) == 0) return f;
  return std::nullopt;
}

QStringList fieldNames(std::span<const MeasurementField> fields) {
  QStringList names;
  names.reserve(qsizetype(fields.size()));
  for (MeasurementField f : fields) names.append(fieldName(f));
  return names;
}

}  // namespace hv
