// Arbitrary blocks into the download's receive handler: identification,
// counts, progress, end and decoding must never leave their buffers, and an
// accepted stream must decode to the image its counts describe.
#include <QCoreApplication>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "device/device_image.h"
#include "device/download_exchange.h"

namespace {
// Both live until the process ends: libFuzzer leaves through exit(), after
// which Qt's objects must not be torn down.
QCoreApplication* g_app = nullptr;
hv::DownloadExchange* g_exchange = nullptr;
int g_argc = 1;
char g_name[] = "device_receive_fuzz";
char* g_argv[] = {g_name, nullptr};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // No real port: every COM name points nowhere.
  for (int n = 1; n <= 38; ++n)
    qputenv(QByteArray("HYGROVAN_COM") + QByteArray::number(n), "/nonexistent/hygrovan-fuzz");
  g_app = new QCoreApplication(g_argc, g_argv);
  g_exchange = new hv::DownloadExchange;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  hv::DownloadExchange& e = *g_exchange;
  const uint8_t mode = data[0];
  ++data;
  --size;
  e.start();
  if (mode & (1 | 8)) {
    // Straight to the archive phase, as after an accepted identification.
    static const char ident[] = "8033353120000";
    e.onBytes(reinterpret_cast<const quint8*>(ident), 13);
    if (e.running()) e.onRequestDelay();
  }
  const int repeat = (mode & 2) ? 80 : 1;  // long streams reach the buffer's end
  int result = hv::mrNone;
  QObject::connect(&e, &hv::DownloadExchange::finished, [&](int r) { result = r; });
  if (mode & 8) {
    // The input as image bytes in a well-formed stream: the counts decide.
    QByteArray stream(1, 'S');
    stream.resize(1 + 2 * qsizetype(size));
    for (size_t i = 0; i < size; ++i) hv::encodeByte(data[i], stream.data() + 1 + 2 * i);
    stream.append('P');
    const qsizetype block = (mode >> 4) * 97 + 1;
    for (qsizetype at = 0; at < stream.size() && e.running(); at += block)
      e.onBytes(reinterpret_cast<const quint8*>(stream.constData() + at),
                               quint32(std::min(block, stream.size() - at)));
    QObject::disconnect(&e, &hv::DownloadExchange::finished, nullptr, nullptr);
    if (result == hv::mrOk && size_t(hv::decodedImageLength(e.image())) != size) std::abort();
    if (e.running()) e.cancel();
    return 0;
  }
  while (size > 0 && e.running()) {
    size_t n = data[0];
    ++data;
    --size;
    if (n == 0 || n > size) n = size;
    if (n == 0) break;
    for (int i = 0; i < repeat && e.running(); ++i) e.onBytes(data, quint32(n));
    if ((mode & 4) && e.running() && e.requestDelayTimer().isActive()) e.onRequestDelay();
    data += n;
    size -= n;
  }
  QObject::disconnect(&e, &hv::DownloadExchange::finished, nullptr, nullptr);
  if (result == hv::mrOk && hv::decodedImageLength(e.image()) > hv::kMaxDecodedImageLength) std::abort();
  if (e.receivedCount() > hv::DownloadExchange::kReceiveBufferSize) std::abort();
  if (e.running()) e.cancel();
  return 0;
}
