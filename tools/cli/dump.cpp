// hygrovan-cli dump: prints a table's live rows as tab-separated UTF-8 text.
#include <string>

#include "cli.h"
#include "store/db_table.h"
#include "store/row_schema.h"
#include "store/stored_values.h"
#include "table_args.h"

namespace {

// A field's value in the output's machine form: moisture with the decimal
// point and the date as ISO 8601, whatever locale wrote the table; anything
// else, and a value those cannot read, as stored.
void appendMachineText(std::string& line, hv::MeasurementField field, std::string_view stored) {
  const hv::StoredForm form = hv::fieldSpec(field).form;
  if (form == hv::StoredForm::Moisture && hv::appendMoistureWith(line, stored, '.')) return;
  if (form == hv::StoredForm::Date) {
    const std::optional<hv::ClockReading> day = hv::readStoredClock(stored, std::string_view("0:00"));
    if (day && day->onCalendar()) {
      hv::appendIsoDate(line, *day);
      return;
    }
  }
  line.append(stored);
}

int run(const QStringList& args) {
  hv::cli::CommandLine line(
      QStringLiteral("dump"), QStringLiteral("dump FILE.db [--archive K] [--sort FIELD [--desc]]"),
      QStringLiteral("Выводит строки таблицы, по одной в строке. Вывод предназначен для программ: "
                     "кодировка UTF-8, поля разделены табуляцией, значения полей — как они записаны в "
                     "таблице, но влажность с десятичной точкой при любых региональных настройках, а дата "
                     "в виде ГГГГ-ММ-ДД (ISO 8601)."));
  const hv::cli::TableArgsRules rules;
  hv::cli::addTableOptions(line, rules);
  if (!line.parse(args)) return line.exitCode();
  hv::cli::TableArgs a;
  if (const QString why = hv::cli::readTableArgs(line, rules, &a); !why.isEmpty()) return line.usageError(why);

  try {
    hv::cli::ReadOnlyTable view(a, QStringLiteral("dump"));
    hv::TDbTable& table = view.table();
    const QStringList& fields = hv::measurementFields();
    auto& out = hv::cli::out();
    // The rows the arguments ask for, read a batch at a time.
    std::string row;
    table.readRows(table.rowsOf(table.activeFilter(), table.indexName()), fields,
                   [&](std::size_t, int f, std::optional<std::string_view> text) {
                     if (f) row.push_back('\t');
                     if (text) appendMachineText(row, hv::kMeasurementFields[std::size_t(f)], *text);
                     if (f == fields.size() - 1) {
                       row.push_back('\n');
                       out << QString::fromUtf8(row.data(), qsizetype(row.size()));
                       row.clear();
                     }
                   });
    table.close();
  } catch (const std::exception& e) {
    return hv::cli::reportFailure(e);
  }
  return 0;
}

hv::cli::Registration g_registration("dump", "строки таблицы (вывод для программ)", &run);

}  // namespace
