#include "device/serial_port_win32.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace hv::win32 {

bool CommPort::open(const char* devicePath) {
  if (handle_) return true;
  HANDLE h = CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return false;
  handle_ = h;
  return true;
}

void CommPort::close() {
  if (!handle_) return;
  CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

bool CommPort::setLineSettings(const CommLineSettings& s) {
  if (!handle_) return false;
  if (s.dataBits < 5 || s.dataBits > 8 || s.parity < 0 || s.parity > 4 || s.stopBits < 0 || s.stopBits > 2)
    return false;
  // Built from zero: everything not named here (DSR flow and sensitivity, null
  // stripping, error replacement, abort on error, parity checking) stays off.
  DCB dcb;
  ZeroMemory(&dcb, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = s.baudRate;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fDtrControl = s.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
  switch (s.rts) {
    case 0: dcb.fRtsControl = RTS_CONTROL_DISABLE; break;
    case 2:
      dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
      dcb.fOutxCtsFlow = TRUE;
      break;
    default: dcb.fRtsControl = RTS_CONTROL_ENABLE; break;
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
  return SetCommState(static_cast<HANDLE>(handle_), &dcb) != FALSE;
}

bool CommPort::purge(bool input, bool output) {
  if (!handle_) return false;
  DWORD flags = 0;
  if (input) flags |= PURGE_RXABORT | PURGE_RXCLEAR;
  if (output) flags |= PURGE_TXABORT | PURGE_TXCLEAR;
  return PurgeComm(static_cast<HANDLE>(handle_), flags) != FALSE;
}

bool CommPort::setQueueSizes(std::uint32_t input, std::uint32_t output) {
  if (!handle_) return false;
  return SetupComm(static_cast<HANDLE>(handle_), input, output) != FALSE;
}

void CommPort::setTimeouts() {
  if (!handle_) return;
  COMMTIMEOUTS t;
  ZeroMemory(&t, sizeof t);
  t.ReadIntervalTimeout = 1;
  t.ReadTotalTimeoutMultiplier = 0;
  t.ReadTotalTimeoutConstant = 1;
  t.WriteTotalTimeoutMultiplier = 0;
  t.WriteTotalTimeoutConstant = 10;
  SetCommTimeouts(static_cast<HANDLE>(handle_), &t);  // a refusal changes nothing we rely on
}

bool CommPort::queueCounts(std::uint32_t* input, std::uint32_t* output) {
  if (!handle_) return false;
  DWORD errors = 0;
  COMSTAT stat;
  ZeroMemory(&stat, sizeof stat);
  if (!ClearCommError(static_cast<HANDLE>(handle_), &errors, &stat)) return false;
  if (input) *input = stat.cbInQue;
  if (output) *output = stat.cbOutQue;
  return true;
}

std::int64_t CommPort::read(void* data, std::uint32_t count) {
  if (!handle_) return -1;
  DWORD done = 0;
  if (!ReadFile(static_cast<HANDLE>(handle_), data, count, &done, nullptr)) return -1;
  return done;
}

std::int64_t CommPort::write(const void* data, std::uint32_t count) {
  if (!handle_) return -1;
  DWORD done = 0;
  // A write that times out fails but still reports what went out.
  if (!WriteFile(static_cast<HANDLE>(handle_), data, count, &done, nullptr) && done == 0) return -1;
  return done;
}

bool CommPort::modemStatus(unsigned* lines) {
  if (!handle_) return false;
  DWORD status = 0;
  if (!GetCommModemStatus(static_cast<HANDLE>(handle_), &status)) return false;
  unsigned r = 0;
  if (status & MS_CTS_ON) r |= CommCTS;
  if (status & MS_DSR_ON) r |= CommDSR;
  if (status & MS_RING_ON) r |= CommRING;
  if (status & MS_RLSD_ON) r |= CommRLSD;
  *lines = r;
  return true;
}

std::uint32_t CommPort::tickCount() { return GetTickCount(); }

}  // namespace hv::win32
