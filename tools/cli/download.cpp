// hygrovan-cli download: the download exchange against one port, without a
// port search; writes the decoded image.
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QSaveFile>
#include <QTimer>

#include "cli.h"
#include "device/device_image.h"
#include "device/download_exchange.h"
#include "import.h"

namespace {

int run(const QStringList& args) {
  QString port, image, table, targetError;
  bool append = false;
  int timeoutSeconds = 60;
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args.at(i);
    if (hv::cli::takeImportTarget(args, &i, &append, &table, &targetError)) {
      if (!targetError.isEmpty()) {
        hv::cli::err() << "download: " << targetError << "\n";
        return 2;
      }
    } else if ((a == QLatin1String("--port") || a == QLatin1String("--image") || a == QLatin1String("--timeout")) &&
        i + 1 < args.size()) {
      const QString v = args.at(++i);
      if (a == QLatin1String("--port")) port = v;
      else if (a == QLatin1String("--image")) image = v;
      else {
        bool ok = false;
        timeoutSeconds = v.toInt(&ok);
        if (!ok || timeoutSeconds <= 0) {
          hv::cli::err() << "download: bad --timeout " << v << "\n";
          return 2;
        }
      }
    } else {
      hv::cli::err() << "download: unexpected argument " << a << "\n";
      return 2;
    }
  }
  if (port.isEmpty() || (image.isEmpty() && table.isEmpty())) {
    hv::cli::err() << "usage: hygrovan-cli download --port PATH [--image OUT.bin] [--create FILE.db | --append "
                      "FILE.db] [--timeout SECONDS]\n";
    return 2;
  }

  hv::DownloadExchange exchange;
  exchange.setDefaultPort(port, false);
  QString failure;
  QEventLoop loop;
  QObject::connect(&exchange, &hv::DownloadExchange::errorMessage,
                   [&](const QString&, const QString& text) { failure = text; });
  QObject::connect(&exchange, &hv::DownloadExchange::finished, &loop, &QEventLoop::exit);
  // A silent device would keep the exchange waiting for ever.
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, [&] {
    failure = QStringLiteral("Прибор не ответил за %1 с.").arg(timeoutSeconds);
    exchange.cancel();
  });
  deadline.start(timeoutSeconds * 1000);
  QTimer::singleShot(0, &exchange, [&] { exchange.start(); });
  const int result = loop.exec();
  if (result != hv::mrOk) {
    hv::cli::err() << (failure.isEmpty() ? QStringLiteral("Прием данных прерван.") : failure) << "\n";
    return 1;
  }

  if (image.isEmpty()) return hv::cli::importImage(hv::DeviceImage(), append, table);
  QSaveFile out(image);
  const QByteArray bytes(reinterpret_cast<const char*>(hv::DeviceImage().data()), hv::DecodedImageLength());
  if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
    hv::cli::err() << "download: cannot write " << image << ": " << out.errorString() << "\n";
    return 1;
  }
  hv::cli::out() << "counts " << hv::ArchiveCount(0) << "/" << hv::ArchiveCount(1) << "/" << hv::ArchiveCount(2)
                 << ", " << bytes.size() << " bytes written to " << image << "\n";
  return table.isEmpty() ? 0 : hv::cli::importImage(hv::DeviceImage(), append, table);
}

hv::cli::Registration reg("download", "download --port PATH [--image OUT.bin] [--create FILE.db | --append FILE.db]   read the meter's archives into an image or a table",
                          &run);

}  // namespace
