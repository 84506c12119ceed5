#pragma once
// hygrovan-meter-sim as a child process of the test that starts it. The test
// stops it through this object (at the latest when the object goes), so no
// simulator outlives its test and nothing has to end simulators by name.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

namespace hv::test {

class Simulator {
 public:
  Simulator() = default;
  ~Simulator() { stop(); }
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Starts it (stopping one started before) and reads the port path that it
  // prints; false on failure.
  bool start(const QStringList& args);
  // Terminates it and waits; kills it when it does not end. The path stays
  // readable (a test may try the port the meter has gone from).
  void stop();
  QString path() const { return path_; }

 private:
  std::unique_ptr<QProcess> process_;
  QString path_;
};

}  // namespace hv::test
