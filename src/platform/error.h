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

// "'%s' is not a valid floating point value"
[[noreturn]] void throwInvalidFloat(const QString& value);
// "'%s' is not a valid date and time"
[[noreturn]] void throwInvalidDateTime(const QString& value);

}  // namespace hv
