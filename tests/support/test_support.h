#pragma once
// Shared helpers for the tests. Every test runs in a fresh folder of its own,
// which is also its working folder and its XDG_CONFIG_HOME.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <ostream>

// Whether AddressSanitizer is built in (GCC and clang tell it differently): it
// reserves more address space than any memory limit a test sets allows.
#if defined(__SANITIZE_ADDRESS__)
#define HV_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HV_TEST_ASAN 1
#endif
#endif
#ifndef HV_TEST_ASAN
#define HV_TEST_ASAN 0
#endif

// Readable QString values in test failure messages (GoogleTest looks for this name).
// NOLINTNEXTLINE(readability-identifier-naming)
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace hv::test {

// The folder of the running test (fresh, removed after the test).
QString testDir();
// A path inside the test folder.
QString testPath(const QString& name);

QString sourceDir();  // the project's source folder
QString binaryDir();  // the build folder

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);

struct ProcessResult {
  int exitCode = -1;
  QByteArray out;
  QByteArray err;
};
// Runs a program and waits (at most timeoutMs).
ProcessResult runProcess(const QString& program, const QStringList& args, int timeoutMs = 60000,
                         const QByteArray& input = {});
// Runs Debian's /usr/bin/python3 on a script given as text.
ProcessResult runPython(const QString& script, const QStringList& args = {}, int timeoutMs = 120000);
// The path of one of our built tools ("hygrovan-cli", "hygrovan-meter-sim").
QString toolPath(const QString& name);

}  // namespace hv::test
