// Stored column layouts and moisture texts come from outside the program:
// reading them must refuse bad input cleanly. What reads back must also
// write back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/error.h"
#include "views/grid_layout.h"
#include "views/selection_stats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  (void)hv::tryParseRegionalFloat(bytes, QChar(','));
  (void)hv::tryParseRegionalFloat(bytes, QChar(0x066B));
  const QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(size));
  try {
    const QList<hv::ColumnLayout> cols = hv::readLayout(text);
    if (hv::readLayout(hv::writeLayout(cols)) != cols) std::abort();
  } catch (const hv::Error&) {
  }
  return 0;
}
