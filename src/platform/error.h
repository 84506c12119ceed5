#pragma once
// The one exception type of the program: carries the text that the default
// error report shows.
#include <QString>
#include <stdexcept>

namespace hv {

class Error : public std::runtime_error {
 public:
  explicit Error(const QString& text) : std::runtime_error(text.toStdString()), text_(text) {}
  const QString& text() const { return text_; }

 private:
  QString text_;
};

// The text the default error report shows: a full stop is appended when the
// last character sorts after the full stop.
QString defaultErrorReportText(const QString& text);

// A stored value that is not a number, or not a date and time.
[[noreturn]] void throwInvalidFloat(const QString& value);
[[noreturn]] void throwInvalidDateTime(const QString& value);

// Why a system call failed with `code` (errno; GetLastError() on Windows) on
// `path`, in the user's words: "на диске нет места", "папка ... не найдена".
QString systemErrorReason(int code, const QString& path);

// Why writing `bytes` bytes to `path` failed, as the file system shows it
// once the attempt is over: a missing folder, a read-only file system, no
// right to write, not that much room left. Empty when none of these shows.
QString writeFailureReason(const QString& path, qint64 bytes);

// "Не удалось записать файл "path": reason." and `detail` (the system's or
// Qt's own words) on a second line.
QString writeErrorText(const QString& path, const QString& reason, const QString& detail);

}  // namespace hv
