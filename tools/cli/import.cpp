// hygrovan-cli import: a table file from an image written by `download
// --image`, created anew or extended by the records newer than its rows.
#include "import.h"

#include <QFile>
#include <memory>

#include "device/import/archive_import.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "store/table_backup.h"

namespace hv::cli {

namespace {
const QString kCreate = QStringLiteral("create");
const QString kAppend = QStringLiteral("append");
}  // namespace

void addImportTargetOptions(CommandLine& line) {
  line.addValueOption(kCreate, QStringLiteral("FILE.db"),
                      QStringLiteral("Создать этот файл таблицы (файл с тем же именем заменяется)."));
  line.addValueOption(kAppend, QStringLiteral("FILE.db"),
                      QStringLiteral("Дополнить эту таблицу измерениями новее ее строк."));
}

QString readImportTarget(const CommandLine& line, ImportTarget* target) {
  *target = {};
  const QStringList created = line.values(kCreate), appended = line.values(kAppend);
  if (created.size() + appended.size() > 1) return QStringLiteral("--create и --append не указываются вместе");
  target->append = !appended.isEmpty();
  target->file = target->append ? appended.value(0) : created.value(0);
  // Refused before the meter is asked or a file is touched.
  return target->file.isEmpty() ? QString() : companionNameConflict(target->file);
}

int importImage(const DeviceImageBytes& image, const ImportTarget& target) {
  try {
    FilePath table(target.file, target.append ? FilePath::Read : FilePath::Write);
    importIntoFile(table.path(), image, target.append, [](const QString& line) {
      out() << line << "\n";
      out().flush();
    }, !hasStrayBytes(target.file));
    if (QString why; !table.commit(&why)) throw Error(writeErrorText(target.file, writeFailureReason(target.file, 0), why));
  } catch (const std::exception& e) {
    return reportFailure(e);
  }
  return 0;
}

}  // namespace hv::cli

namespace {

int run(const QStringList& args) {
  hv::cli::CommandLine line(QStringLiteral("import"),
                            QStringLiteral("import --image IMAGE.bin --create FILE.db | --append FILE.db"),
                            QStringLiteral("Создает файл таблицы из образа памяти прибора, записанного командой "
                                           "download --image, или дополняет таблицу его новыми измерениями."));
  line.addValueOption(QStringLiteral("image"), QStringLiteral("IMAGE.bin"), QStringLiteral("Образ памяти прибора."));
  hv::cli::addImportTargetOptions(line);
  if (!line.parse(args)) return line.exitCode();
  if (!line.positional().isEmpty()) return line.usageError(QStringLiteral("лишний аргумент ") + line.positional()[0]);
  hv::cli::ImportTarget target;
  if (const QString why = hv::cli::readImportTarget(line, &target); !why.isEmpty()) return line.usageError(why);
  const QString imagePath = line.value(QStringLiteral("image"));
  if (imagePath.isEmpty() || target.file.isEmpty())
    return line.usageError(QStringLiteral("нужны --image и файл таблицы"));
  if (line.checkOutputs({target.file}, {imagePath})) return line.exitCode();

  const hv::FilePath imageFile(imagePath, hv::FilePath::Read);
  QFile in(imageFile.path());
  if (!in.open(QIODevice::ReadOnly)) {
    hv::cli::err() << QStringLiteral("Не удалось прочитать файл \"%1\": %2").arg(imagePath, in.errorString()) << "\n";
    return 1;
  }
  const QByteArray bytes = in.read(hv::kDeviceImageSize + 1);
  if (bytes.size() < 6 || bytes.size() > hv::kDeviceImageSize) {
    hv::cli::err()
        << QStringLiteral("%1 не является образом памяти прибора (байт: %2)\n").arg(imagePath).arg(bytes.size());
    return 1;
  }
  auto image = std::make_unique<hv::DeviceImageBytes>();
  image->fill(0);
  std::copy(bytes.begin(), bytes.end(), image->begin());
  if (!hv::checkImage(*image).isEmpty() || hv::decodedImageLength(*image) > bytes.size()) {
    hv::cli::err() << QStringLiteral("%1 короче, чем следует из числа записей в нем\n").arg(imagePath);
    return 1;
  }
  return hv::cli::importImage(*image, target);
}

hv::cli::Registration g_registration("import", "таблица из принятого образа памяти", &run);

}  // namespace
