#pragma once
// One serial port on the Win32 communications calls. Plain C++ without Qt, so
// it builds (and is checked) with any Windows compiler; the Qt-side backend
// forwards to it.
#include <cstdint>

namespace hv::win32 {

struct CommLineSettings {
  std::uint32_t baudRate = 9600;
  int dataBits = 8;   // 5..8
  int parity = 0;     // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int stopBits = 0;   // 0: 1, 1: 1.5, 2: 2
  bool dtr = true;
  int rts = 1;        // 0 off, 1 on, 2 RTS/CTS handshake
  bool xonXoff = false;
  std::uint32_t xonLimit = 512;
  std::uint32_t xoffLimit = 512;
  char xonChar = 0x11;
  char xoffChar = 0x13;
};

// Modem input lines, as the driver counts them.
enum : unsigned { CommCTS = 1, CommDSR = 2, CommRING = 4, CommRLSD = 8 };

class CommPort {
 public:
  CommPort() = default;
  CommPort(const CommPort&) = delete;
  CommPort& operator=(const CommPort&) = delete;
  ~CommPort() { close(); }

  // "\\.\COMn": read and write, no sharing, existing devices only, synchronous.
  bool open(const char* devicePath);
  void close();
  bool isOpen() const { return handle_ != nullptr; }

  bool setLineSettings(const CommLineSettings& settings);
  bool purge(bool input, bool output);
  bool setQueueSizes(std::uint32_t input, std::uint32_t output);
  // Reads return at once with what is queued; a write returns within about 10 ms.
  void setTimeouts();
  bool queueCounts(std::uint32_t* input, std::uint32_t* output);
  // Count read or written, -1 on failure.
  std::int64_t read(void* data, std::uint32_t count);
  std::int64_t write(const void* data, std::uint32_t count);
  bool modemStatus(unsigned* lines);

  static std::uint32_t tickCount();

 private:
  void* handle_ = nullptr;  // a valid HANDLE, or null while closed
};

}  // namespace hv::win32
