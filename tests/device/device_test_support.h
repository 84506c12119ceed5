#pragma once
// Helpers of the device tests: pseudo-terminal pairs and the bytes of the
// meter's answers (the simulator is support/meter_simulator.h).
#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "device/download_exchange.h"
#include "support/meter_simulator.h"

namespace hv::test {

// A pseudo-terminal: the test plays the device on the master side.
class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  QString slavePath() const { return slavePath_; }
  bool ok() const { return master_ >= 0; }
  void write(const QByteArray& bytes);
  // What the program sent, waiting up to timeoutMs for at least `atLeast` bytes.
  QByteArray read(int atLeast = 1, int timeoutMs = 1000);
  int masterFd() const { return master_; }
  // Closes the device's end, as a pulled cable would.
  void hangUp();
  int slaveFd() const { return slave_; }

 private:
  int master_ = -1;
  int slave_ = -1;  // keeps the line up while the program's end is closed
  QString slavePath_;
};

// Points COM1..COM38 at paths that do not exist, so no test touches a real port.
void isolateComPorts();
void setComPort(int n, const QString& path);

// What an exchange reported.
struct ExchangeLog {
  explicit ExchangeLog(DownloadExchange& exchange);
  QStringList statuses;
  QList<int> progress;
  QString model, version, counts;
  QStringList countTexts;
  QStringList searchTexts;
  QList<QPair<QString, QString>> errors;  // caption, text
  int result = -1;
  QElapsedTimer clock;
  QList<qint64> acceptedAt;  // ms of each accepted identification
  QList<qint64> archiveRequestAt;  // ms of each N sent
};

// Runs the event loop until the exchange finishes; -1 on time-out.
int runExchange(DownloadExchange& exchange, ExchangeLog& log, int timeoutMs = 20000);
void spin(int ms);

QByteArray identReply(int family = 8, int type = 3, int v3 = 5, int v5 = 3, int v7 = 21);
struct TestRecord {
  int archive;
  quint16 moisture, minimum, maximum;
  quint8 material, individual, second, minute, hour, day, month, year;
};
// "S", the three archives in transfer encoding, "P".
QByteArray archiveStream(const QList<TestRecord>& records);
QByteArray encodeCounts(int n1, int n2, int n3);
void feed(DownloadExchange& exchange, const QByteArray& block);

}  // namespace hv::test
