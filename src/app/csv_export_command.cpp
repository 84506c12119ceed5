#include "app/csv_export_command.h"

#include <QProgressDialog>

#include "app/archive_pages.h"
#include "app/table_document.h"
#include "export/csv_export.h"
#include "platform/settings.h"
#include "platform/ui.h"

namespace hv {

namespace {
const QString kPresetValue = QStringLiteral("Csv_preset");
const QString kArchivesValue = QStringLiteral("Csv_archives");
const QString kAllArchives = QStringLiteral("all");
const QString kArchiveOnView = QStringLiteral("shown");
// Steps of the progress bar; the rows of a big table are far more.
constexpr int kProgressSteps = 1000;
}  // namespace

CsvExportCommand::CsvExportCommand(TableDocument& document, ArchivePages& pages, SettingsKey& settings,
                                   QWidget* parent, const QString& dialogFolder)
    : document_(document), pages_(pages), settings_(settings), parent_(parent), dialogFolder_(dialogFolder) {}

void CsvExportCommand::run() {
  if (!document_.isOpen() || !document_.isActive()) return;
  CsvExportOptions initial;
  initial.preset = csvPresetFromKey(settings_.readString(kPresetValue), CsvPreset::Excel);
  initial.allArchives = settings_.readString(kArchivesValue) == kAllArchives;
  initial.archiveOnView = archiveCaption(pages_.shownKind());
  const std::optional<CsvExportOptions> chosen = ui().csvExportOptions(parent_, initial);
  if (!chosen) return;
  settings_.writeString(kPresetValue, csvPresetKey(chosen->preset));
  settings_.writeString(kArchivesValue, chosen->allArchives ? kAllArchives : kArchiveOnView);

  FileDialogRequest request;
  request.filter = csvExportDialogFilter();
  request.defaultExt = csvExportDefaultSuffix();
  request.fileName = proposedFileName(request.defaultExt);
  request.initialDir = dialogFolder_;
  // As the workbook: a file of that name is replaced; with all three archives
  // the chosen name is only the start of the files' names.
  request.overwritePrompt = false;
  const QString fileName = withDefaultExtension(ui().saveFileName(parent_, request), request.defaultExt);
  if (fileName.isEmpty()) return;

  std::vector<ArchiveKind> kinds;
  if (chosen->allArchives)
    kinds.assign(kArchiveKinds.begin(), kArchiveKinds.end());
  else
    kinds.push_back(pages_.shownKind());
  const std::vector<CsvTarget> targets = csvTargets(fileName, kinds);

  // The rows are read a batch at a time, the window answering between them;
  // the bar shows up once the export takes longer than a moment.
  QProgressDialog progress(QStringLiteral("Экспорт в CSV…"), QStringLiteral("Отмена"), 0, kProgressSteps, parent_);
  progress.setObjectName(QStringLiteral("csvExportProgress"));
  progress.setWindowTitle(csvExportCaption());
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(300);
  progress.setAutoReset(false);
  progress.setAutoClose(false);
  bool finished = false;
  try {
    finished = exportArchivesToCsv(document_.table(), targets, chosen->preset, [&](qint64 done, qint64 total) {
      progress.setValue(total > 0 ? int(done * kProgressSteps / total) : 0);
      return !progress.wasCanceled();
    });
  } catch (...) {
    progress.close();
    pages_.refresh();
    throw;
  }
  progress.close();
  pages_.refresh();
  if (!finished) return;
  QStringList names;
  for (const CsvTarget& t : targets) names << t.fileName;
  ui().message(parent_, csvExportCaption(), csvExportSuccessText(names), MsgIcon::Information, MsgButtons::Ok);
}

}  // namespace hv
