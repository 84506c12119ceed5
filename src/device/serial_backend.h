#pragma once
// What the serial port driver needs of the platform: one open port, its line
// settings, its queues, non-blocking reads and short writes, the modem lines
// and a millisecond clock. Each call maps onto one Win32 communications call
// (CreateFile, SetCommState, PurgeComm, SetupComm, SetCommTimeouts,
// ClearCommError, ReadFile, WriteFile, GetCommModemStatus, CloseHandle,
// GetTickCount); the Linux backend uses termios. Plain C++ without Qt, so the
// Windows backend builds and runs with nothing but the system's headers.
#include <cstdint>
#include <memory>
#include <string>

namespace hv {

enum class RtsControl { Off, On, Handshake };

struct SerialLineSettings {
  std::uint32_t baudRate = 9600;
  int dataBits = 8;   // 5..8
  int parity = 0;     // 0 none, 1 odd, 2 even, 3 mark, 4 space; never checked
  int stopBits = 0;   // 0: 1, 1: 1.5, 2: 2
  bool dtr = true;
  RtsControl rts = RtsControl::On;
  bool xonXoff = false;
  std::uint32_t xonLimit = 512;
  std::uint32_t xoffLimit = 512;
  char xonChar = 0x11;
  char xoffChar = 0x13;
};

// Modem input lines.
enum LineSignal : unsigned { lsCTS = 1, lsDSR = 2, lsRING = 4, lsRLSD = 8 };

// Why the last call on a port failed.
enum class SerialFault {
  None,
  NoSuchPort,    // the name leads to no device
  Busy,          // another program holds the port
  AccessDenied,  // no permission to read and write it
  LineLost,      // hung up or failing after it was opened (cable, adapter pulled)
  Other,
};

struct SerialError {
  SerialFault fault = SerialFault::None;
  int code = 0;      // errno or GetLastError()
  std::string text;  // the system's own text, UTF-8
};

class SerialBackend {
 public:
  virtual ~SerialBackend() = default;

  // Opens an existing port (its name in UTF-8) for reading and writing,
  // exclusively: a second open of the same port fails until this one is closed.
  virtual bool open(const std::string& portName) = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;

  virtual bool setLineSettings(const SerialLineSettings& settings) = 0;
  // Discards queued input and/or output.
  virtual bool purge(bool input, bool output) = 0;
  virtual bool setQueueSizes(std::uint32_t input, std::uint32_t output) = 0;
  // Reads return at once with what is queued; a write returns within about 10 ms.
  virtual void setTimeouts() = 0;
  // Bytes waiting in the input and output queues; false when the query fails,
  // also when the line has been hung up.
  virtual bool queueCounts(std::uint32_t* input, std::uint32_t* output) = 0;
  // Count read or written, -1 on failure.
  virtual std::int64_t read(void* data, std::uint32_t count) = 0;
  virtual std::int64_t write(const void* data, std::uint32_t count) = 0;
  // A set of LineSignal bits; false when the query fails.
  virtual bool modemStatus(unsigned* lines) = 0;

  // The failure of the last call that failed.
  virtual SerialError lastError() const = 0;

  // Monotonic milliseconds; wraps at 2^32, elapsed times are differences.
  virtual std::uint32_t tickCount() const = 0;
};

// The backend of the platform the program runs on.
std::unique_ptr<SerialBackend> createPlatformSerialBackend();

}  // namespace hv
