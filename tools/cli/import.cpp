// hygrovan-cli import: a table file from an image written by `download
// --image`, created anew or extended by the records newer than its rows.
#include "import.h"

#include <QFile>
#include <memory>

#include "cli.h"
#include "device/import/archive_import.h"
#include "platform/error.h"

namespace hv::cli {

bool takeImportTarget(const QStringList& args, int* i, bool* append, QString* file, QString* error) {
  const QString& a = args.at(*i);
  if (a != QLatin1String("--create") && a != QLatin1String("--append")) return false;
  if (*i + 1 >= args.size()) {
    *error = a + QStringLiteral(" needs a table file");
    return true;
  }
  if (!file->isEmpty()) {
    *error = QStringLiteral("only one of --create and --append");
    return true;
  }
  *append = a == QLatin1String("--append");
  *file = args.at(++*i);
  return true;
}

int importImage(const DeviceImageBytes& image, bool append, const QString& file) {
  try {
    ImportIntoFile(file, image, append, [](const QString& line) {
      out() << line << "\n";
      out().flush();
    });
  } catch (const Error& e) {
    err() << e.text() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace hv::cli

namespace {

constexpr char kUsage[] = "import --image IMAGE.bin --create FILE.db | --append FILE.db";

int usage(const QString& why) {
  hv::cli::err() << "hygrovan-cli import: " << why << "\nUsage: hygrovan-cli " << kUsage << "\n";
  return 2;
}

int run(const QStringList& args) {
  QString imagePath, file, error;
  bool append = false;
  for (int i = 0; i < args.size(); ++i) {
    if (hv::cli::takeImportTarget(args, &i, &append, &file, &error)) {
      if (!error.isEmpty()) return usage(error);
    } else if (args.at(i) == QLatin1String("--image") && i + 1 < args.size()) {
      imagePath = args.at(++i);
    } else {
      return usage(QStringLiteral("unexpected argument ") + args.at(i));
    }
  }
  if (imagePath.isEmpty() || file.isEmpty()) return usage(QStringLiteral("--image and a table file are needed"));

  QFile in(imagePath);
  if (!in.open(QIODevice::ReadOnly)) {
    hv::cli::err() << "import: cannot read " << imagePath << ": " << in.errorString() << "\n";
    return 1;
  }
  const QByteArray bytes = in.read(hv::DeviceImageSize + 1);
  if (bytes.size() < 6 || bytes.size() > hv::DeviceImageSize) {
    hv::cli::err() << "import: " << imagePath << " is no device image (" << bytes.size() << " bytes)\n";
    return 1;
  }
  auto image = std::make_unique<hv::DeviceImageBytes>();
  image->fill(0);
  std::copy(bytes.begin(), bytes.end(), image->begin());
  if (!hv::CheckImage(*image).isEmpty() || hv::DecodedImageLength(*image) > bytes.size()) {
    hv::cli::err() << "import: " << imagePath << " is shorter than its record counts say\n";
    return 1;
  }
  return hv::cli::importImage(*image, append, file);
}

hv::cli::Registration reg(
    "import",
    "import --image IMAGE.bin --create FILE.db | --append FILE.db   a table file from a downloaded image",
    &run);

}  // namespace
