// hygrovan-cli import: a table file from an image written by `download
// --image`, created anew or extended by the records newer than its rows.
#include "import.h"

#include <QFile>
#include <memory>

#include "device/import/archive_import.h"
#include "platform/error.h"
#include "platform/file_names.h"

namespace hv::cli {

namespace {
const QString kCreate = QStringLiteral("create");
const QString kAppend = QStringLiteral("append");
}  // namespace

void addImportTargetOptions(CommandLine& line) {
  line.addValueOption(kCreate, QStringLiteral("FILE.db"),
                      QStringLiteral("Create this table file (replacing one of that name)."));
  line.addValueOption(kAppend, QStringLiteral("FILE.db"),
                      QStringLiteral("Add to this table the measurements newer than its rows."));
}

QString readImportTarget(const CommandLine& line, ImportTarget* target) {
  *target = {};
  const QStringList created = line.values(kCreate), appended = line.values(kAppend);
  if (created.size() + appended.size() > 1) return QStringLiteral("only one of --create and --append");
  target->append = !appended.isEmpty();
  target->file = target->append ? appended.value(0) : created.value(0);
  return {};
}

int importImage(const DeviceImageBytes& image, const ImportTarget& target) {
  try {
    FilePath table(target.file, target.append ? FilePath::Read : FilePath::Write);
    importIntoFile(table.path(), image, target.append, [](const QString& line) {
      out() << line << "\n";
      out().flush();
    });
    if (QString why; !table.commit(&why)) throw Error(QStringLiteral("Cannot write %1: %2").arg(target.file, why));
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
                            QStringLiteral("Makes a table file from a meter image written by 'download --image', "
                                           "or adds its newer measurements to one."));
  line.addValueOption(QStringLiteral("image"), QStringLiteral("IMAGE.bin"), QStringLiteral("The meter image to read."));
  hv::cli::addImportTargetOptions(line);
  if (!line.parse(args)) return line.exitCode();
  if (!line.positional().isEmpty())
    return line.usageError(QStringLiteral("unexpected argument ") + line.positional()[0]);
  hv::cli::ImportTarget target;
  if (const QString why = hv::cli::readImportTarget(line, &target); !why.isEmpty()) return line.usageError(why);
  const QString imagePath = line.value(QStringLiteral("image"));
  if (imagePath.isEmpty() || target.file.isEmpty())
    return line.usageError(QStringLiteral("--image and a table file are needed"));
  if (line.checkOutputs({target.file}, {imagePath})) return line.exitCode();

  const hv::FilePath imageFile(imagePath, hv::FilePath::Read);
  QFile in(imageFile.path());
  if (!in.open(QIODevice::ReadOnly)) {
    hv::cli::err() << "Cannot read " << imagePath << ": " << in.errorString() << "\n";
    return 1;
  }
  const QByteArray bytes = in.read(hv::kDeviceImageSize + 1);
  if (bytes.size() < 6 || bytes.size() > hv::kDeviceImageSize) {
    hv::cli::err() << imagePath << " is no device image (" << bytes.size() << " bytes)\n";
    return 1;
  }
  auto image = std::make_unique<hv::DeviceImageBytes>();
  image->fill(0);
  std::copy(bytes.begin(), bytes.end(), image->begin());
  if (!hv::checkImage(*image).isEmpty() || hv::decodedImageLength(*image) > bytes.size()) {
    hv::cli::err() << imagePath << " is shorter than its record counts say\n";
    return 1;
  }
  return hv::cli::importImage(*image, target);
}

hv::cli::Registration g_registration("import", "a table file from a downloaded image", &run);

}  // namespace
