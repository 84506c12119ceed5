#include "platform/durable_rename.h"

#include "platform/file.h"

namespace hv {

int durableRename(const QString& from, const QString& to) {
  try {
    moveReplacing(from.toStdString(), to.toStdString(), true);
  } catch (const FileError& e) {
    return e.code();
  }
  return 0;
}

}  // namespace hv
