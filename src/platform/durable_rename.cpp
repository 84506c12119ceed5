#include "platform/durable_rename.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace hv {

int durableRename(const QString& from, const QString& to) {
#ifdef Q_OS_WIN
  const QString source = QDir::toNativeSeparators(from), target = QDir::toNativeSeparators(to);
  if (!MoveFileExW(reinterpret_cast<LPCWSTR>(source.utf16()), reinterpret_cast<LPCWSTR>(target.utf16()),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return static_cast<int>(GetLastError());
  return 0;
#else
  if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) return errno;
  // The new name is on disk only once its folder is. A file system that
  // cannot sync a folder still has the rename done: not an error.
  const int folder = ::open(QFile::encodeName(QFileInfo(to).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return 0;
#endif
}

}  // namespace hv
