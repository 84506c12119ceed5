#include "support/meter_simulator.h"

#include <QElapsedTimer>

#include "support/test_support.h"

namespace hv::test {

bool Simulator::start(const QStringList& args) {
  stop();
  process_ = std::make_unique<QProcess>();
  process_->start(toolPath(QStringLiteral("hygrovan-meter-sim")), args);
  if (!process_->waitForStarted(5000)) return false;
  QElapsedTimer t;
  t.start();
  while (!process_->canReadLine() && t.elapsed() < 5000) process_->waitForReadyRead(100);
  path_ = QString::fromLocal8Bit(process_->readLine()).trimmed();
  return !path_.isEmpty();
}

void Simulator::stop() {
  if (!process_) return;
  if (process_->state() != QProcess::NotRunning) {
    process_->terminate();  // to its own pid
    if (!process_->waitForFinished(3000)) {
      process_->kill();
      process_->waitForFinished(3000);
    }
  }
  process_.reset();
}

}  // namespace hv::test
