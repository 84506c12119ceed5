// hygrovan-cli download: the download exchange against one port, without a
// port search; writes the decoded image.
#include <QEventLoop>
#include <QSaveFile>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "cli.h"
#include "device/device_image.h"
#include "device/download_exchange.h"
#include "import.h"
#include "platform/error.h"
#include "platform/console.h"
#include "platform/file_names.h"
#include "store/archive_kind.h"

namespace {

// The meter answers a request within the exchange's 3 s reply time and then
// sends without pause; the wait is for silence, never for the whole transfer.
constexpr int kDefaultSilenceSeconds = 6;
constexpr int kProgressPeriodMs = 200;

// What the window's status line and progress bar say, as one line of text:
// the archive being received and its records so far.
QString progressText(const hv::DownloadExchange& exchange, const QString& status) {
  const qint64 recordChars = qint64(exchange.recordSize()) * 2;
  const auto& archives = exchange.archiveProgress();
  for (int k = int(archives.size()) - 1; k >= 0 && recordChars > 0; --k) {
    if (!archives[k].seen) continue;
    const qint64 expected = archives[k].charCount / recordChars;
    const qint64 received =
        std::clamp((exchange.receivedCount() - archives[k].dataStart) / recordChars, qint64(0), expected);
    return QStringLiteral("%1: %2 из %3 записей").arg(hv::archiveCaption(hv::archiveKindAt(k))).arg(received).arg(expected);
  }
  return status;
}

// Rewrites one line of standard error while the exchange runs.
class ProgressLine {
 public:
  explicit ProgressLine(hv::DownloadExchange& exchange) : exchange_(exchange) {
    QObject::connect(&exchange, &hv::DownloadExchange::statusTextChanged, [this](const QString& s) { status_ = s; });
    QObject::connect(&timer_, &QTimer::timeout, [this] { show(); });
    timer_.start(kProgressPeriodMs);
  }
  ~ProgressLine() {
    if (shown_.isEmpty()) return;
    show();
    hv::cli::err() << "\n";
    hv::cli::err().flush();
  }

 private:
  void show() {
    const QString text = progressText(exchange_, status_);
    if (text == shown_) return;
    hv::cli::err() << "\r" << text.leftJustified(shown_.size());
    hv::cli::err().flush();
    shown_ = text;
  }
  hv::DownloadExchange& exchange_;
  QTimer timer_;
  QString status_, shown_;
};

int run(const QStringList& args) {
  hv::cli::CommandLine line(
      QStringLiteral("download"),
      QStringLiteral(
          "download --port PATH [--image OUT.bin] [--create FILE.db | --append FILE.db] [--timeout SECONDS]"),
      QStringLiteral("Принимает архивы прибора через последовательный порт PATH в образ памяти и/или в файл "
                     "таблицы. Ход приема выводится в стандартный поток ошибок, если это терминал."));
  line.addValueOption(QStringLiteral("port"), QStringLiteral("PATH"), QStringLiteral("Последовательный порт прибора."));
  line.addValueOption(QStringLiteral("image"), QStringLiteral("OUT.bin"),
                      QStringLiteral("Записать сюда образ памяти прибора."));
  hv::cli::addImportTargetOptions(line);
  line.addValueOption(QStringLiteral("timeout"), QStringLiteral("SECONDS"),
                      QStringLiteral("Прекратить прием, если прибор молчит столько секунд (%1). Идущая передача "
                                     "не прерывается.")
                          .arg(kDefaultSilenceSeconds));
  if (!line.parse(args)) return line.exitCode();
  if (!line.positional().isEmpty()) return line.usageError(QStringLiteral("лишний аргумент ") + line.positional()[0]);
  hv::cli::ImportTarget target;
  if (const QString why = hv::cli::readImportTarget(line, &target); !why.isEmpty()) return line.usageError(why);
  const QString port = line.value(QStringLiteral("port"));
  const QString image = line.value(QStringLiteral("image"));
  if (port.isEmpty() || (image.isEmpty() && target.file.isEmpty()))
    return line.usageError(QStringLiteral("нужны --port и образ памяти или файл таблицы"));
  int silenceSeconds = kDefaultSilenceSeconds;
  if (line.isSet(QStringLiteral("timeout"))) {
    bool ok = false;
    silenceSeconds = line.value(QStringLiteral("timeout")).toInt(&ok);
    if (!ok || silenceSeconds <= 0 || silenceSeconds > 24 * 3600)
      return line.usageError(QStringLiteral("--timeout: нужно число секунд"));
  }
  QStringList outputs;
  if (!image.isEmpty()) outputs.append(image);
  if (!target.file.isEmpty()) outputs.append(target.file);
  if (line.checkOutputs(outputs, {port})) return line.exitCode();

  hv::DownloadExchange exchange;
  const hv::FilePath portPath(port, hv::FilePath::Read);
  exchange.setDefaultPort(portPath.path(), false);
  QString failure;
  QEventLoop loop;
  QObject::connect(&exchange, &hv::DownloadExchange::errorMessage,
                   [&](const QString&, const QString& text) { failure = text; });
  QObject::connect(&exchange, &hv::DownloadExchange::finished, &loop, &QEventLoop::exit);
  // A silent meter would keep the exchange waiting for ever. Every character
  // heard and every request sent starts the wait afresh.
  QTimer silence;
  silence.setSingleShot(true);
  silence.setInterval(silenceSeconds * 1000);
  QObject::connect(&silence, &QTimer::timeout, [&] {
    failure = QStringLiteral("Прибор не ответил за %1 с.").arg(silenceSeconds);
    exchange.cancel();
  });
  hv::TSerialPortDriver& serial = exchange.serialPort();
  serial.OnReceiveData = [&silence, deliver = serial.OnReceiveData](hv::TSerialPortDriver* sender, const quint8* data,
                                                                    quint32 size) {
    silence.start();
    deliver(sender, data, size);
  };
  QObject::connect(&exchange, &hv::DownloadExchange::requestSent, &silence, qOverload<>(&QTimer::start));
  int result = hv::mrCancel;
  {
    std::unique_ptr<ProgressLine> progress;
    if (hv::standardErrorIsTerminal()) progress = std::make_unique<ProgressLine>(exchange);
    silence.start();
    QTimer::singleShot(0, &exchange, [&] { exchange.start(); });
    result = loop.exec();
  }
  if (result != hv::mrOk) {
    hv::cli::err() << (failure.isEmpty() ? QStringLiteral("Прием данных прерван.") : failure) << "\n";
    return 1;
  }

  const hv::DeviceImageBytes& downloaded = exchange.image();
  if (!image.isEmpty()) {
    hv::FilePath imagePath(image, hv::FilePath::Write);
    QSaveFile out(imagePath.path());
    const QByteArray bytes(reinterpret_cast<const char*>(downloaded.data()), hv::decodedImageLength(downloaded));
    QString why;
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit() ||
        !imagePath.commit(&why)) {
      hv::cli::err() << hv::writeErrorText(image, hv::writeFailureReason(image, bytes.size() + 1),
                                           why.isEmpty() ? out.errorString() : why)
                     << "\n";
      return 1;
    }
    hv::cli::out() << QStringLiteral("Записей в архивах: %1/%2/%3; в %4 записано байт: %5\n")
                          .arg(hv::archiveCount(hv::ArchiveKind::Wood, downloaded))
                          .arg(hv::archiveCount(hv::ArchiveKind::Concrete, downloaded))
                          .arg(hv::archiveCount(hv::ArchiveKind::Bulk, downloaded))
                          .arg(image)
                          .arg(bytes.size());
  }
  return target.file.isEmpty() ? 0 : hv::cli::importImage(downloaded, target);
}

hv::cli::Registration g_registration("download", "прием архивов прибора в образ памяти или в таблицу", &run);

}  // namespace
