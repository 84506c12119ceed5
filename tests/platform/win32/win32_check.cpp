// Links the Windows pieces into one program, so that every Win32 call they
// make must resolve against the MinGW import libraries.
#include <cstdio>
#include <string>

#include "device/serial_backend.h"
#include "platform/file.h"
#include "platform/version_lookup.h"

int main(int argc, char** argv) {
  auto port = hv::createPlatformSerialBackend();
  const char* path = argc > 1 ? argv[1] : "\\\\.\\COM1";
  if (port->open(path)) {
    hv::SerialLineSettings settings;
    settings.stopBits = 2;
    settings.dtr = false;
    const bool ok = port->setLineSettings(settings) && port->purge(true, true) && port->setQueueSizes(4096, 4096);
    port->setTimeouts();
    std::uint32_t in = 0, out = 0;
    unsigned lines = 0;
    port->queueCounts(&in, &out);
    port->modemStatus(&lines);
    const unsigned char probe = 'Z';
    port->write(&probe, 1);
    unsigned char answer = 0;
    const std::uint32_t start = port->tickCount();
    while (port->read(&answer, 1) == 0 && port->tickCount() - start < 200) {
    }
    std::printf("%s: settings %s, answer %c\n", path, ok ? "applied" : "refused", answer ? answer : '-');
    port->close();
  } else {
    std::printf("%s: %s\n", path, port->lastError().text.c_str());
  }
  try {
    hv::ReplacementFile copy(argv[0] + std::string(".copy"));
    hv::File self = hv::File::openForReading(argv[0]);
    char head[2] = {};
    copy.file().writeAt(0, head, self.readAt(0, head, sizeof head));
    copy.commit(true).sync();
    hv::removeFile(argv[0] + std::string(".copy"));
  } catch (const hv::FileError& e) {
    std::printf("%s (%d: %s)\n", e.what(), e.code(), e.systemText().c_str());
  }
  std::printf("version %s\n", hv::lookUpFileVersion(argv[0], hv::win32VersionInfoCalls()).c_str());
  return 0;
}
