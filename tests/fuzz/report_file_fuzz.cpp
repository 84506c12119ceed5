// Saved report files: any bytes either read as a report or are refused with
// hv::Error; what reads back must save to the same bytes.
#include <QByteArray>
#include <cstdint>
#include <cstdlib>

#include "platform/error.h"
#include "report/report_pages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  try {
    const hv::report::BuiltReport r = hv::report::deserializeReport(bytes);
    if (hv::report::serializeReport(r) != bytes) std::abort();
    (void)hv::report::findText(r, QStringLiteral("a"));
  } catch (const hv::Error&) {
  }
  return 0;
}
