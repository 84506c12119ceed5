// The serial backend on the Win32 communications calls. The program's port
// names ("\\.\COMn") are device paths there already.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "device/serial_backend.h"

namespace hv {

namespace {

std::string utf8(const wchar_t* text, int length) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? size_t(n) : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
  return out;
}

// The system's text for an error code, without its line break.
std::string systemText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = n > 0 ? utf8(buffer, int(n)) : "error " + std::to_string(code);
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

SerialFault openFault(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_NAME: return SerialFault::NoSuchPort;
    // A port that another program holds answers "access denied"; Windows has
    // no per-user rights on COM ports.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return SerialFault::Busy;
    default: return SerialFault::Other;
  }
}

class Win32SerialBackend : public SerialBackend {
 public:
  ~Win32SerialBackend() override { close(); }

  bool open(const std::string& portName) override {
    if (handle_ != INVALID_HANDLE_VALUE) return true;
    // Read and write, no sharing (a second open fails), existing devices
    // only, plain synchronous I/O.
    const HANDLE h = CreateFileA(portName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return fail(openFault(GetLastError()));
    handle_ = h;
    return true;
  }

  void close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

  bool isOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

  bool setLineSettings(const SerialLineSettings& s) override {
    if (!isOpen()) return false;
    if (s.dataBits < 5 || s.dataBits > 8 || s.parity < 0 || s.parity > 4 || s.stopBits < 0 || s.stopBits > 2) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return fail(SerialFault::Other);
    }
    // Built from zero: everything not named here (DSR flow and sensitivity,
    // null stripping, error replacement, abort on error, parity checking)
    // stays off.
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = s.baudRate;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fDtrControl = s.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    switch (s.rts) {
      case RtsControl::Off: dcb.fRtsControl = RTS_CONTROL_DISABLE; break;
      case RtsControl::Handshake:
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        dcb.fOutxCtsFlow = TRUE;
        break;
      case RtsControl::On: dcb.fRtsControl = RTS_CONTROL_ENABLE; break;
    }
    dcb.fOutX = s.xonXoff ? TRUE : FALSE;
    dcb.fInX = s.xonXoff ? TRUE : FALSE;
    // The limits are 16-bit in the DCB; the queue never exceeds 8192 bytes.
    dcb.XonLim = static_cast<WORD>(s.xonLimit > 0xFFFF ? 0xFFFF : s.xonLimit);
    dcb.XoffLim = static_cast<WORD>(s.xoffLimit > 0xFFFF ? 0xFFFF : s.xoffLimit);
    dcb.ByteSize = static_cast<BYTE>(s.dataBits);
    dcb.Parity = static_cast<BYTE>(s.parity);      // NOPARITY .. SPACEPARITY
    dcb.StopBits = static_cast<BYTE>(s.stopBits);  // ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS
    dcb.XonChar = s.xonChar;
    dcb.XoffChar = s.xoffChar;
    return SetCommState(handle_, &dcb) || fail(SerialFault::Other);
  }

  bool purge(bool input, bool output) override {
    if (!isOpen()) return false;
    DWORD flags = 0;
    if (input) flags |= PURGE_RXABORT | PURGE_RXCLEAR;
    if (output) flags |= PURGE_TXABORT | PURGE_TXCLEAR;
    return PurgeComm(handle_, flags) || fail(SerialFault::Other);
  }

  bool setQueueSizes(std::uint32_t input, std::uint32_t output) override {
    if (!isOpen()) return false;
    return SetupComm(handle_, input, output) || fail(SerialFault::Other);
  }

  void setTimeouts() override {
    if (!isOpen()) return;
    COMMTIMEOUTS t;
    ZeroMemory(&t, sizeof t);
    t.ReadIntervalTimeout = 1;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = 1;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = 10;
    SetCommTimeouts(handle_, &t);  // a refusal changes nothing we rely on
  }

  // A port whose device went away (a USB adapter pulled) fails these calls.
  bool queueCounts(std::uint32_t* input, std::uint32_t* output) override {
    if (!isOpen()) return false;
    DWORD errors = 0;
    COMSTAT stat;
    ZeroMemory(&stat, sizeof stat);
    if (!ClearCommError(handle_, &errors, &stat)) return fail(SerialFault::LineLost);
    if (input) *input = stat.cbInQue;
    if (output) *output = stat.cbOutQue;
    return true;
  }

  std::int64_t read(void* data, std::uint32_t count) override {
    if (!isOpen()) return -1;
    DWORD done = 0;
    if (!ReadFile(handle_, data, count, &done, nullptr)) {
      fail(SerialFault::LineLost);
      return -1;
    }
    return done;
  }

  std::int64_t write(const void* data, std::uint32_t count) override {
    if (!isOpen()) return -1;
    DWORD done = 0;
    // A write that times out fails but still reports what went out.
    if (!WriteFile(handle_, data, count, &done, nullptr) && done == 0) {
      if (GetLastError() == ERROR_TIMEOUT) return 0;
      fail(SerialFault::LineLost);
      return -1;
    }
    return done;
  }

  bool modemStatus(unsigned* lines) override {
    if (!isOpen()) return false;
    DWORD status = 0;
    if (!GetCommModemStatus(handle_, &status)) return fail(SerialFault::Other);
    unsigned r = 0;
    if (status & MS_CTS_ON) r |= lsCTS;
    if (status & MS_DSR_ON) r |= lsDSR;
    if (status & MS_RING_ON) r |= lsRING;
    if (status & MS_RLSD_ON) r |= lsRLSD;
    *lines = r;
    return true;
  }

  SerialError lastError() const override { return error_; }

  std::uint32_t tickCount() const override { return GetTickCount(); }

 private:
  // Notes the calling thread's last error; always false.
  bool fail(SerialFault fault) {
    const DWORD code = GetLastError();
    error_ = {fault, int(code), systemText(code)};
    return false;
  }

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  SerialError error_;
};

}  // namespace

std::unique_ptr<SerialBackend> createPlatformSerialBackend() { return std::make_unique<Win32SerialBackend>(); }

}  // namespace hv
