#include "device_test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "device/device_image.h"
#include "support/test_support.h"

namespace hv::test {

PtyPair::PtyPair() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
    return;
  }
  slavePath_ = QString::fromLocal8Bit(ptsname(master_));
  slave_ = ::open(ptsname(master_), O_RDWR | O_NOCTTY);
  termios t{};
  tcgetattr(slave_, &t);
  cfmakeraw(&t);
  tcsetattr(slave_, TCSANOW, &t);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
}

void PtyPair::write(const QByteArray& bytes) {
  qsizetype done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
    if (n > 0) done += n;
    else {
      pollfd p{master_, POLLOUT, 0};
      ::poll(&p, 1, 100);
    }
  }
}

QByteArray PtyPair::read(int atLeast, int timeoutMs) {
  QByteArray got;
  QElapsedTimer t;
  t.start();
  while (got.size() < atLeast && t.elapsed() < timeoutMs) {
    char buf[512];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n > 0) got.append(buf, n);
    else {
      pollfd p{master_, POLLIN, 0};
      ::poll(&p, 1, 10);
    }
  }
  return got;
}

void PtyPair::hangUp() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

void isolateComPorts() {
  for (int n = 1; n <= 38; ++n) setComPort(n, QStringLiteral("/nonexistent/hygrovan-com%1").arg(n));
}

void setComPort(int n, const QString& path) {
  qputenv(QStringLiteral("HYGROVAN_COM%1").arg(n).toLatin1().constData(), path.toLocal8Bit());
}

ExchangeLog::ExchangeLog(DownloadExchange& e) {
  clock.start();
  QObject::connect(&e, &DownloadExchange::statusTextChanged, [this](const QString& s) { statuses << s; });
  QObject::connect(&e, &DownloadExchange::progressChanged, [this](int v) { progress << v; });
  QObject::connect(&e, &DownloadExchange::modelNameChanged, [this](const QString& s) {
    model = s;
    if (!s.isEmpty()) acceptedAt << clock.elapsed();
  });
  QObject::connect(&e, &DownloadExchange::versionChanged, [this](const QString& s) { version = s; });
  QObject::connect(&e, &DownloadExchange::countsChanged, [this](const QString& s) {
    counts = s;
    countTexts << s;
  });
  QObject::connect(&e, &DownloadExchange::requestSent, [this](char c) {
    if (c == ArchiveRequest) archiveRequestAt << clock.elapsed();
  });
  QObject::connect(&e, &DownloadExchange::searchTextChanged, [this](const QString& s) { searchTexts << s; });
  QObject::connect(&e, &DownloadExchange::errorMessage,
                   [this](const QString& caption, const QString& text) { errors.append({caption, text}); });
  QObject::connect(&e, &DownloadExchange::finished, [this](int r) { result = r; });
}

int runExchange(DownloadExchange& exchange, ExchangeLog& log, int timeoutMs) {
  log.result = -1;
  QEventLoop loop;
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, [&] { loop.exit(-1); });
  auto c = QObject::connect(&exchange, &DownloadExchange::finished, &loop, [&](int r) { loop.exit(r); });
  deadline.start(timeoutMs);
  exchange.start();
  const int r = loop.exec();
  QObject::disconnect(c);
  if (r < 0) exchange.cancel();
  return r;
}

void spin(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

QByteArray identReply(int family, int type, int v3, int v5, int v7) {
  QByteArray s(kIdentifyReplyLength, '0');
  encodeByte(quint8(family), s.data());
  s[2] = char(0x30 + type);
  encodeByte(quint8(v3), s.data() + 3);
  encodeByte(quint8(v5), s.data() + 5);
  encodeByte(quint8(v7), s.data() + 7);
  return s;
}

QByteArray encodeCounts(int n1, int n2, int n3) {
  QByteArray s(12, '0');
  encodeWord(quint16(n1), s.data());
  encodeWord(quint16(n2), s.data() + 4);
  encodeWord(quint16(n3), s.data() + 8);
  return s;
}

QByteArray archiveStream(const QList<TestRecord>& records) {
  QByteArray s("S");
  for (int a = 0; a < 3; ++a) {
    char w[4];
    int n = 0;
    for (const auto& r : records) n += r.archive == a;
    encodeWord(quint16(n), w);
    s.append(w, 4);
    for (const auto& r : records) {
      if (r.archive != a) continue;
      for (quint16 v : {r.moisture, r.minimum, r.maximum}) {
        encodeWord(v, w);
        s.append(w, 4);
      }
      for (quint8 b : {r.material, r.individual, r.second, r.minute, r.hour, r.day, r.month, r.year}) {
        encodeByte(b, w);
        s.append(w, 2);
      }
    }
  }
  s.append('P');
  return s;
}

void feed(DownloadExchange& exchange, const QByteArray& block) {
  exchange.onBytes(reinterpret_cast<const quint8*>(block.constData()), quint32(block.size()));
}

}  // namespace hv::test
