// Arbitrary device images and stored date/time texts through the archive
// import, in both modes, against a real table file.
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "device/device_image.h"
#include "device/import/archive_import.h"
#include "device/import/record_text.h"
#include "platform/error.h"
#include "store/db_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static QTemporaryDir dir(QDir::temp().filePath(QStringLiteral("hv-import-fuzz-XXXXXX")));
  static const QString path = dir.filePath(QStringLiteral("f.db"));
  if (size < 19) return 0;
  // Bytes 1..10 and 11..18: the last stored row's DATE and TIME, as a hand edit might leave them.
  const QString date = QString::fromLatin1(reinterpret_cast<const char*>(data + 1), 10);
  const QString time = QString::fromLatin1(reinterpret_cast<const char*>(data + 11), 8);
  hv::TextToSeconds(date, time);

  auto image = std::make_unique<hv::DeviceImageBytes>();
  image->fill(0);
  const std::size_t n = std::min<std::size_t>(size - 19, hv::kDeviceImageSize);
  std::memcpy(image->data(), data + 19, n);
  // Keep each run short: a few hundred records at most.
  if (hv::checkImage(*image).isEmpty() && hv::decodedImageLength(*image) > 6 + 14 * 300) return 0;

  try {
    hv::TDbTable t;
    t.setFileName(path);
    t.createTable();
    t.open();
    t.setFiltered(true);
    t.append();
    t.setFieldInt(QStringLiteral("N"), 1);
    t.setFieldInt(QStringLiteral("N_ARC"), data[0] % 3);
    t.setFieldText(QStringLiteral("DATE"), date);
    t.setFieldText(QStringLiteral("TIME"), time);
    t.post();
    t.setFilter(QStringLiteral("N_ARC=0"));
    int reports = 0;
    const auto res = hv::ImportArchives(t, *image, data[0] & 4, [&](const hv::ArchiveImportResult& r) {
      ++reports;
      hv::appendReportText(r);
    });
    for (const auto& r : res)
      if (r.added + r.skipped > r.deviceCount || r.added < 0) __builtin_trap();
    if ((data[0] & 4) && reports != 3) __builtin_trap();
    t.close();
  } catch (const hv::Error&) {
    // A broken image is refused before any row is written.
  }
  return 0;
}
