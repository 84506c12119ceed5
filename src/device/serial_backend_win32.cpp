// The serial backend on Windows: the program's port names ("\\.\COMn") are
// device paths there already.
#include "device/serial_backend.h"
#include "device/serial_port_win32.h"

namespace hv {

namespace {

class Win32SerialBackend : public SerialBackend {
 public:
  bool open(const QString& portName) override { return port_.open(portName.toLocal8Bit().constData()); }
  void close() override { port_.close(); }
  bool isOpen() const override { return port_.isOpen(); }

  bool setLineSettings(const SerialLineSettings& s) override {
    win32::CommLineSettings c;
    c.baudRate = s.baudRate;
    c.dataBits = s.dataBits;
    c.parity = s.parity;
    c.stopBits = s.stopBits;
    c.dtr = s.dtr;
    c.rts = s.rts == RtsControl::Off ? 0 : s.rts == RtsControl::On ? 1 : 2;
    c.xonXoff = s.xonXoff;
    c.xonLimit = s.xonLimit;
    c.xoffLimit = s.xoffLimit;
    c.xonChar = s.xonChar;
    c.xoffChar = s.xoffChar;
    return port_.setLineSettings(c);
  }
  bool purge(bool input, bool output) override { return port_.purge(input, output); }
  bool setQueueSizes(quint32 input, quint32 output) override { return port_.setQueueSizes(input, output); }
  void setTimeouts() override { port_.setTimeouts(); }
  bool queueCounts(quint32* input, quint32* output) override {
    std::uint32_t in = 0, out = 0;
    if (!port_.queueCounts(&in, &out)) return false;
    *input = in;
    *output = out;
    return true;
  }
  qint64 read(void* data, quint32 count) override { return port_.read(data, count); }
  qint64 write(const void* data, quint32 count) override { return port_.write(data, count); }
  bool modemStatus(unsigned* lines) override {
    unsigned l = 0;
    if (!port_.modemStatus(&l)) return false;
    unsigned r = 0;
    if (l & win32::CommCTS) r |= lsCTS;
    if (l & win32::CommDSR) r |= lsDSR;
    if (l & win32::CommRING) r |= lsRING;
    if (l & win32::CommRLSD) r |= lsRLSD;
    *lines = r;
    return true;
  }
  quint32 tickCount() const override { return win32::CommPort::tickCount(); }

 private:
  win32::CommPort port_;
};

}  // namespace

std::unique_ptr<SerialBackend> createPlatformSerialBackend() { return std::make_unique<Win32SerialBackend>(); }

}  // namespace hv
