#include "platform/console.h"

#include <QByteArray>
#include <QtGlobal>
#include <cstdio>
#ifdef _WIN32
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace hv {

bool standardErrorIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) == 1;
#endif
}

void prepareRuntimeFolder() {
#ifndef _WIN32
  if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
  const QByteArray dir = "/tmp/runtime-" + QByteArray::number(::getuid());
  ::mkdir(dir.constData(), 0700);
  qputenv("XDG_RUNTIME_DIR", dir);
#endif
}

}  // namespace hv
