// Links the Windows pieces into one program, so that every Win32 call they
// make must resolve against the MinGW import libraries.
#include <cstdio>

#include "device/serial_port_win32.h"
#include "platform/version_lookup.h"

int main(int argc, char** argv) {
  hv::win32::CommPort port;
  const char* path = argc > 1 ? argv[1] : "\\\\.\\COM1";
  if (port.open(path)) {
    hv::win32::CommLineSettings settings;
    settings.stopBits = 2;
    settings.dtr = false;
    const bool ok = port.setLineSettings(settings) && port.purge(true, true) && port.setQueueSizes(4096, 4096);
    port.setTimeouts();
    std::uint32_t in = 0, out = 0;
    unsigned lines = 0;
    port.queueCounts(&in, &out);
    port.modemStatus(&lines);
    const unsigned char probe = 'Z';
    port.write(&probe, 1);
    unsigned char answer = 0;
    const std::uint32_t start = hv::win32::CommPort::tickCount();
    while (port.read(&answer, 1) == 0 && hv::win32::CommPort::tickCount() - start < 200) {
    }
    std::printf("%s: settings %s, answer %c\n", path, ok ? "applied" : "refused", answer ? answer : '-');
    port.close();
  }
  std::printf("version %s\n", hv::lookUpFileVersion(argv[0], hv::win32VersionInfoCalls()).c_str());
  return 0;
}
