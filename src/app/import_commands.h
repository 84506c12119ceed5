#pragma once
// "Создать" and "Дополнить": the download dialog, then the import of the
// meter's archives into a new table or the open one.
#include <QString>

#include "device/device_image.h"

class QWidget;

namespace hv {

struct ArchiveImportResult;
class ArchivePages;
class DownloadDialog;
class TableDocument;

class ImportCommands {
 public:
  // Creates the download dialog; the file dialog starts in `dialogFolder`.
  ImportCommands(TableDocument& document, ArchivePages& pages, QWidget* parent,
                 const QString& dialogFolder);

  // "Создать": closes the open table, asks for the new file's name (with the
  // platform's question before an existing file is replaced), downloads,
  // creates.
  void createFromMeter();
  // "Дополнить": downloads and appends what the open table lacks, then saves.
  void appendFromMeter();
  // What "Дополнить" does after its download: on a big table beside the window.
  void appendDownload(const DeviceImageBytes& image);

  // A new table at `path` from a downloaded image; an empty image is
  // refused with "Архив прибора пуст!" and no file is touched.
  void Create_DB(const QString& path, const DeviceImageBytes& image);
  // A downloaded image into the open table: every record, or in append
  // mode the newer ones with a report box per archive.
  void flash2hygrovan(bool append, const DeviceImageBytes& image);

  DownloadDialog& downloadDialog() const { return *download_; }

 private:
  // The download dialog, modally; true when it ended with OK (its image holds the download).
  bool downloadFromMeter();
  // "Дополнение": what was added to one archive.
  void showAppendReport(const ArchiveImportResult& r);

  TableDocument& document_;
  ArchivePages& pages_;
  QWidget* parent_;
  QString dialogFolder_;
  DownloadDialog* download_;  // a child of the parent window
};

}  // namespace hv
