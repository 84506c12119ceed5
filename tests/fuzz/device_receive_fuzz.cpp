// Arbitrary blocks into the download's receive handler: identification,
// counts, progress, end and decoding must never leave their buffers, and an
// accepted stream must decode to the image its counts describe.
#include <QCoreApplication>
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
  e.FormShow();
  if (mode & 1) {
    // Straight to the archive phase, as after an accepted identification.
    static const char ident[] = "8033353120000";
    e.SerialPort1ReceiveData(reinterpret_cast<const quint8*>(ident), 13);
    if (e.running()) e.Timer2Timer();
  }
  const int repeat = (mode & 2) ? 80 : 1;  // long streams reach the buffer's end
  int result = hv::mrNone;
  QObject::connect(&e, &hv::DownloadExchange::finished, [&](int r) { result = r; });
  while (size > 0 && e.running()) {
    size_t n = data[0];
    ++data;
    --size;
    if (n == 0 || n > size) n = size;
    if (n == 0) break;
    for (int i = 0; i < repeat && e.running(); ++i) e.SerialPort1ReceiveData(data, quint32(n));
    if ((mode & 4) && e.running() && e.Timer2().isActive()) e.Timer2Timer();
    data += n;
    size -= n;
  }
  QObject::disconnect(&e, &hv::DownloadExchange::finished, nullptr, nullptr);
  if (result == hv::mrOk && hv::DecodedImageLength() > hv::MaxDecodedImageLength) std::abort();
  if (e.ReceivedCount() > hv::DownloadExchange::ReceiveBufferSize) std::abort();
  if (e.running()) e.Button1Click();
  return 0;
}
