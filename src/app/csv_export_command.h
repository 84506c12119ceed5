#pragma once
// "Экспорт в CSV…": the archive on view, or all three, as CSV text for office
// suites and analysis tools. The choices of its dialog are kept in the settings.
#include <QString>

class QWidget;

namespace hv {

class ArchivePages;
class SettingsKey;
class TableDocument;

class CsvExportCommand {
 public:
  // The file dialog starts in `dialogFolder`.
  CsvExportCommand(TableDocument& document, ArchivePages& pages, SettingsKey& settings, QWidget* parent,
                   const QString& dialogFolder);

  // The options, the file name, the files with progress and "Отмена", the
  // success box. Nothing without an open table.
  void run();

 private:
  TableDocument& document_;
  ArchivePages& pages_;
  SettingsKey& settings_;
  QWidget* parent_;
  QString dialogFolder_;
};

}  // namespace hv
