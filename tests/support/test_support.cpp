#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <stdexcept>

namespace hv::test {

QString g_testDir;  // set by the test main's listener

QString testDir() { return g_testDir; }
QString testPath(const QString& name) { return QDir(g_testDir).filePath(name); }

QString sourceDir() {
  const QString env = qEnvironmentVariable("HYGROVAN_SOURCE_DIR");
  return env.isEmpty() ? QStringLiteral(HYGROVAN_SOURCE_DIR_DEFAULT) : env;
}

QString binaryDir() {
  const QString env = qEnvironmentVariable("HYGROVAN_BINARY_DIR");
  return env.isEmpty() ? QStringLiteral(HYGROVAN_BINARY_DIR_DEFAULT) : env;
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) throw std::runtime_error("cannot write " + path.toStdString());
  f.write(bytes);
}

ProcessResult runProcess(const QString& program, const QStringList& args, int timeoutMs, const QByteArray& input) {
  QProcess p;
  p.start(program, args);
  ProcessResult r;
  if (!p.waitForStarted(10000)) {
    r.err = "failed to start " + program.toUtf8();
    return r;
  }
  if (!input.isEmpty()) p.write(input);
  p.closeWriteChannel();
  if (!p.waitForFinished(timeoutMs)) {
    p.kill();
    p.waitForFinished(5000);
    r.err = "timed out: " + program.toUtf8();
    return r;
  }
  r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = p.readAllStandardOutput();
  r.err = p.readAllStandardError();
  return r;
}

ProcessResult runPython(const QString& script, const QStringList& args, int timeoutMs) {
  QStringList a{QStringLiteral("-c"), script};
  a << args;
  return runProcess(QStringLiteral("/usr/bin/python3"), a, timeoutMs);
}

QString toolPath(const QString& name) { return QDir(binaryDir()).filePath(QStringLiteral("tools/") + name); }

}  // namespace hv::test
