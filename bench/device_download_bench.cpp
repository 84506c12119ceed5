// Download speed over a pseudo-terminal against the meter simulator.
// (a) a full meter (4,680 records) unpaced: time from N to mrOk, and the
//     receive handler's CPU time per block, against a plain reader of the
//     same stream and a plain copy-and-scan of the same blocks;
// (b) 200 records at the real line rate: the whole download against the
//     line time of its characters, and against a plain paced reader.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "device/device_image.h"
#include "device/download_exchange.h"

namespace {

QString simulatorPath() {
  const QString env = qEnvironmentVariable("HYGROVAN_BINARY_DIR");
  const QString bin = env.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/..") : env;
  return QDir(bin).filePath(QStringLiteral("tools/hygrovan-meter-sim"));
}

struct Sim {
  QProcess process;
  QString path;
  bool start(const QStringList& args) {
    process.start(simulatorPath(), args);
    if (!process.waitForStarted(5000)) return false;
    QElapsedTimer t;
    t.start();
    while (!process.canReadLine() && t.elapsed() < 5000) process.waitForReadyRead(100);
    path = QString::fromLocal8Bit(process.readLine()).trimmed();
    return !path.isEmpty();
  }
  ~Sim() {
    process.terminate();
    process.waitForFinished(3000);
  }
};

double threadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Download {
  int result = -1;
  double startToEndMs = 0;  // FormShow to the result
  double nToEndMs = 0;      // N sent to the result
  std::vector<int> blockSizes;
  double handlerCpuMs = 0;
  int woodCount = 0;  // records of the wood archive in the image
};

Download runDownload(const QString& port) {
  Download d;
  hv::DownloadExchange e;
  e.setDefaultPort(port, false);
  // Time the handler itself, block by block.
  e.serialPort().OnReceiveData = [&](hv::TSerialPortDriver*, const quint8* data, quint32 size) {
    d.blockSizes.push_back(int(size));
    const double c0 = threadCpuMs();
    e.onBytes(data, size);
    d.handlerCpuMs += threadCpuMs() - c0;
  };
  QElapsedTimer clock;
  qint64 nAt = -1;
  QObject::connect(&e, &hv::DownloadExchange::requestSent, [&](char c) {
    if (c == hv::ArchiveRequest) {
      nAt = clock.nsecsElapsed();
      d.blockSizes.clear();
      d.handlerCpuMs = 0;
    }
  });
  QEventLoop loop;
  QObject::connect(&e, &hv::DownloadExchange::finished, &loop, &QEventLoop::exit);
  QTimer::singleShot(300000, &loop, [&] { loop.exit(-1); });
  clock.start();
  e.start();
  d.result = loop.exec();
  const qint64 end = clock.nsecsElapsed();
  d.startToEndMs = end / 1e6;
  d.nToEndMs = nAt < 0 ? 0 : (end - nAt) / 1e6;
  d.woodCount = hv::archiveCount(hv::ArchiveKind::Wood, e.image());
  return d;
}

// The same exchange by a plain blocking reader: V, 13 characters, N, up to P.
// Returns ms from N to P (and fills the stream length).
double plainRead(const QString& path, qint64* chars, double* fromVms) {
  const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
  if (fd < 0) return -1;
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  tcflush(fd, TCIOFLUSH);
  QElapsedTimer clock;
  clock.start();
  auto readUntil = [&](auto done) {
    std::vector<char> buf(65536);
    qint64 got = 0;
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 10000) <= 0) return qint64(-1);
      const ssize_t n = ::read(fd, buf.data(), buf.size());
      if (n <= 0) return qint64(-1);
      got += n;
      if (done(buf.data(), n, got)) return got;
    }
  };
  const char v = 'V';
  if (::write(fd, &v, 1) != 1) return -1;
  readUntil([](const char*, ssize_t, qint64 got) { return got >= 13; });
  const qint64 identMs = clock.elapsed();
  const char n = 'N';
  const qint64 nAt = clock.nsecsElapsed();
  if (::write(fd, &n, 1) != 1) return -1;
  *chars = readUntil([](const char* b, ssize_t len, qint64) { return std::memchr(b, 'P', size_t(len)) != nullptr; });
  const double ms = (clock.nsecsElapsed() - nAt) / 1e6;
  *fromVms = identMs + ms;
  ::close(fd);
  return ms;
}

// Copying and scanning the same blocks once, as the least a receiver does.
double copyAndScanMs(const std::vector<int>& sizes, int rounds) {
  std::vector<char> source(8192, '5');
  std::vector<char> target(300000);
  volatile size_t found = 0;
  const double c0 = threadCpuMs();
  for (int r = 0; r < rounds; ++r) {
    size_t at = 0;
    for (int s : sizes) {
      if (at + size_t(s) > target.size()) at = 0;
      std::memcpy(target.data() + at, source.data(), size_t(s));
      found = found + (std::memchr(target.data() + at, 'P', size_t(s)) != nullptr);
      at += size_t(s);
    }
  }
  return (threadCpuMs() - c0) / rounds;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  constexpr double kCharMs = 11.0 * 1000.0 / 9600.0;

  // (a) a full meter, unpaced.
  {
    Sim sim;
    if (!sim.start({"--generate", "1560,1560,1560", "--seed", "3"})) {
      std::fprintf(stderr, "cannot start %s\n", qPrintable(simulatorPath()));
      return 1;
    }
    qint64 chars = 0;
    double fromV = 0;
    const double plainMs = plainRead(sim.path, &chars, &fromV);
    const Download d = runDownload(sim.path);
    if (d.result != hv::mrOk || d.woodCount != 1560) {
      std::fprintf(stderr, "full download failed (%d)\n", d.result);
      return 1;
    }
    const double perBlockUs = d.blockSizes.empty() ? 0 : d.handlerCpuMs * 1000.0 / double(d.blockSizes.size());
    const double baselineUs = copyAndScanMs(d.blockSizes, 200) * 1000.0 / double(d.blockSizes.size());
    std::printf("full archive, 4680 records, %lld characters, unpaced\n", static_cast<long long>(chars));
    std::printf("  N to mrOk:              %8.1f ms   (goal < 500 ms; line time %.0f ms)\n", d.nToEndMs,
                double(chars) * kCharMs);
    std::printf("  plain reader N to P:    %8.1f ms   ratio download/plain %.2f\n", plainMs, d.nToEndMs / plainMs);
    std::printf("  blocks:                 %8zu       mean %.0f characters\n", d.blockSizes.size(),
                double(chars) / double(std::max<size_t>(1, d.blockSizes.size())));
    std::printf("  handler CPU per block:  %8.2f us   copy+scan baseline %.2f us, ratio %.2f\n", perBlockUs,
                baselineUs, baselineUs > 0 ? perBlockUs / baselineUs : 0.0);
  }

  // (b) 200 records at the line rate.
  {
    Sim sim;
    if (!sim.start({"--generate", "200,0,0", "--seed", "5", "--pace"})) return 1;
    qint64 chars = 0;
    double plainFromV = 0;
    plainRead(sim.path, &chars, &plainFromV);
    const Download d = runDownload(sim.path);
    if (d.result != hv::mrOk) {
      std::fprintf(stderr, "paced download failed (%d)\n", d.result);
      return 1;
    }
    const double lineMs = double(chars + 13) * kCharMs;
    const double overhead = d.startToEndMs - lineMs;
    std::printf("200 records, %lld characters, paced at 9600 baud, 11 bits\n", static_cast<long long>(chars));
    std::printf("  line time (V reply + stream): %8.1f ms\n", lineMs);
    std::printf("  plain paced reader V to P:    %8.1f ms   (no request delay)\n", plainFromV);
    std::printf("  download V to mrOk:           %8.1f ms   ratio to line time %.3f\n", d.startToEndMs,
                d.startToEndMs / lineMs);
    std::printf("  added to the line time:       %8.1f ms   (goal <= 1000 ms delay + 50 ms poll = 1050 ms)\n",
                overhead);
    std::printf("  added beyond the plain reader:%8.1f ms\n", d.startToEndMs - plainFromV);
  }
  return 0;
}
