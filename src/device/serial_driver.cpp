#include "device/serial_driver.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace hv {

namespace {
constexpr quint32 kMinQueue = 128;
constexpr quint32 kMaxQueue = 8192;
quint32 clampQueue(quint32 v) { return std::clamp(v, kMinQueue, kMaxQueue); }
}  // namespace

TSerialPortDriver::TSerialPortDriver(QObject* parent) : TSerialPortDriver(createPlatformSerialBackend(), parent) {}

TSerialPortDriver::TSerialPortDriver(std::unique_ptr<SerialBackend> backend, QObject* parent)
    : QObject(parent), backend_(std::move(backend)) {
  receiveBuffer_.assign(inBufSize_, 0);
  pollTimer_.setTimerType(Qt::PreciseTimer);
  connect(&pollTimer_, &QTimer::timeout, this, &TSerialPortDriver::poll);
  drainTimer_.setSingleShot(true);
  drainTimer_.setTimerType(Qt::PreciseTimer);
  connect(&drainTimer_, &QTimer::timeout, this, &TSerialPortDriver::poll);
}

TSerialPortDriver::~TSerialPortDriver() { ClosePort(); }

quint32 TSerialPortDriver::baudRateBits(TBaudRate rate) {
  static const quint32 bits[] = {0,    110,   300,   600,   1200,  2400,   4800,   9600,
                                 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
  return (rate >= baud110 && rate <= baud256000) ? bits[rate] : 0;
}

bool TSerialPortDriver::IsOpen() const { return backend_->isOpen(); }

bool TSerialPortDriver::applySettings() {
  if (!IsOpen()) return false;
  SerialLineSettings s;
  s.baudRate = baudRateValue_;
  s.dataBits = int(dataBits_) + 5;
  s.parity = int(parity_);
  s.stopBits = int(stopBits_);
  s.dtr = EnableDTROnOpen;
  s.rts = hwFlow_ == hwNone ? RtsControl::Off : hwFlow_ == hwNoneRtsOn ? RtsControl::On : RtsControl::Handshake;
  s.xonXoff = swFlow_ == swXonXoff;
  s.xonLimit = inBufSize_ / 4;
  s.xoffLimit = inBufSize_ / 4;
  if (!backend_->setLineSettings(s)) return false;
  if (!PurgeBuffers(true, true)) return false;
  return backend_->setQueueSizes(inBufSize_, outBufSize_);
}

void TSerialPortDriver::reapplyIfOpen() {
  if (IsOpen()) applySettings();
}

bool TSerialPortDriver::OpenPort() {
  if (IsOpen()) return true;
  if (!backend_->open(portName_.toStdString())) {
    lastError_ = backend_->lastError();
    return false;
  }
  if (!applySettings()) {
    lastError_ = backend_->lastError();
    ClosePort();
    return false;
  }
  lastError_ = {};
  backend_->setTimeouts();
  pollTimer_.start(pollingDelay_);
  return true;
}

void TSerialPortDriver::ClosePort() {
  if (!IsOpen()) return;
  pollTimer_.stop();
  drainTimer_.stop();
  draining_ = false;
  backend_->close();
}

quint32 TSerialPortDriver::WriteData(const void* data, quint32 count) { return WriteData(data, count, OutputTimeout); }

quint32 TSerialPortDriver::WriteData(const void* data, quint32 count, quint32 timeoutMs) {
  if (!IsOpen()) return 0;
  const quint8* p = static_cast<const quint8*>(data);
  quint32 sent = 0;
  quint32 noted = backend_->tickCount();
  while (sent < count) {
    bool wrote = false;
    const quint32 free = OutputFreeSpace();
    if (free > 0) {
      if (CheckLineStatus && LineStatus() == 0) break;
      const qint64 n = backend_->write(p + sent, std::min(count - sent, free));
      if (n > 0) {
        sent += quint32(n);
        noted = backend_->tickCount();
        wrote = true;
      }
    }
    // Unsigned difference: right across a wrap of the counter.
    if (!wrote && quint32(backend_->tickCount() - noted) > timeoutMs) break;
  }
  return sent;
}

bool TSerialPortDriver::WriteByte(quint8 byte) { return WriteData(&byte, 1, OutputTimeout) == 1; }

quint32 TSerialPortDriver::ReadData(void* data, quint32 count) {
  if (!IsOpen()) return 0;
  quint8* p = static_cast<quint8*>(data);
  ++pollSuspension_;
  quint32 got = 0;
  quint32 noted = backend_->tickCount();
  while (got < count) {
    const quint32 queued = InputCount();
    if (queued > 0) {
      const qint64 n = backend_->read(p + got, std::min(count - got, queued));
      if (n > 0) {
        got += quint32(n);
        noted = backend_->tickCount();
        continue;
      }
    }
    if (quint32(backend_->tickCount() - noted) > InputTimeout) break;
  }
  --pollSuspension_;
  return got;
}

bool TSerialPortDriver::ReadByte(quint8& byte) { return ReadData(&byte, 1) == 1; }

quint32 TSerialPortDriver::InputCount() {
  quint32 in = 0, out = 0;
  if (!IsOpen() || !backend_->queueCounts(&in, &out)) return 0;
  return in;
}

quint32 TSerialPortDriver::OutputFreeSpace() {
  quint32 in = 0, out = 0;
  if (!IsOpen() || !backend_->queueCounts(&in, &out)) return 0;
  return out >= outBufSize_ ? 0 : outBufSize_ - out;
}

unsigned TSerialPortDriver::LineStatus() {
  unsigned lines = 0;
  if (!IsOpen() || !backend_->modemStatus(&lines)) return 0;
  return lines;
}

bool TSerialPortDriver::PurgeBuffers(bool input, bool output) {
  if (!IsOpen() || !backend_->purge(input, output)) return false;
  packetStartSet_ = false;
  return true;
}

bool TSerialPortDriver::waitForQuietLine(quint32 quietMs, quint32 limitMs) {
  if (!PurgeBuffers(true, false)) return false;
  ++pollSuspension_;
  const quint32 start = backend_->tickCount();
  quint32 lastSeen = start;
  bool quiet = false;
  quint8 scrap[256];
  while (IsOpen()) {
    quint32 in = 0, out = 0;
    if (!backend_->queueCounts(&in, &out)) {
      if (backend_->lastError().fault == SerialFault::LineLost) lineLost();
      break;
    }
    const quint32 now = backend_->tickCount();
    if (in > 0) {
      if (backend_->read(scrap, std::min<quint32>(in, sizeof scrap)) < 0) {
        lineLost();
        break;
      }
      lastSeen = now;
    } else if (quint32(now - lastSeen) >= quietMs) {
      quiet = true;
      break;
    }
    if (quint32(now - start) >= limitMs) break;
    if (in == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  --pollSuspension_;
  return quiet;
}

void TSerialPortDriver::lineLost() {
  if (!IsOpen()) return;
  lastError_ = backend_->lastError();
  ClosePort();
  if (onLineLost) onLineLost(this, lastError_);
}

void TSerialPortDriver::setPort(TPortNumber value) {
  if (IsOpen()) return;
  port_ = value;
  if (value >= portCOM1 && value <= portCOM16) portName_ = QStringLiteral("\\\\.\\COM%1").arg(int(value));
}

void TSerialPortDriver::setPortName(const QString& value) {
  if (IsOpen()) return;
  portName_ = value;
  port_ = portCustom;
}

void TSerialPortDriver::setBaudRate(TBaudRate value) {
  baudRate_ = value;
  if (value != baudCustom) baudRateValue_ = baudRateBits(value);
  reapplyIfOpen();
}

void TSerialPortDriver::setBaudRateValue(quint32 value) {
  baudRateValue_ = value;
  baudRate_ = baudCustom;
  reapplyIfOpen();
}

void TSerialPortDriver::setDataBits(TDataBits value) {
  dataBits_ = value;
  reapplyIfOpen();
}

void TSerialPortDriver::setStopBits(TStopBits value) {
  stopBits_ = value;
  reapplyIfOpen();
}

void TSerialPortDriver::setParity(TParity value) {
  parity_ = value;
  reapplyIfOpen();
}

void TSerialPortDriver::setHwFlow(THwFlowControl value) {
  hwFlow_ = value;
  reapplyIfOpen();
}

void TSerialPortDriver::setSwFlow(TSwFlowControl value) {
  swFlow_ = value;
  reapplyIfOpen();
}

void TSerialPortDriver::setInBufSize(quint32 value) {
  if (IsOpen()) return;
  inBufSize_ = clampQueue(value);
  receiveBuffer_.assign(inBufSize_, 0);
}

void TSerialPortDriver::setOutBufSize(quint32 value) {
  if (IsOpen()) return;
  outBufSize_ = clampQueue(value);
}

void TSerialPortDriver::setPollingDelay(quint16 value) {
  value = std::max<quint16>(value, 5);
  if (value == pollingDelay_) return;
  const bool running = IsOpen();
  if (running) pollTimer_.stop();
  pollingDelay_ = value;
  if (running) pollTimer_.start(pollingDelay_);
}

void TSerialPortDriver::poll() {
  if (!IsOpen() || pollSuspension_ > 0) return;
  quint32 in = 0, out = 0;
  if (!backend_->queueCounts(&in, &out)) {
    if (backend_->lastError().fault == SerialFault::LineLost) lineLost();
    return;
  }
  if (PacketSize > 0) {
    pollPackets(in);
    return;
  }
  if (in == 0) {
    draining_ = false;
    return;
  }
  // Never more than the buffer, whatever the port says is queued.
  const qint64 n = backend_->read(receiveBuffer_.data(), std::min<quint32>(in, inBufSize_));
  if (n < 0) lineLost();
  if (n <= 0) return;
  if (OnReceiveData) OnReceiveData(this, receiveBuffer_.data(), quint32(n));
  // A block of half a buffer or more means a line far faster than the poll
  // (a pseudo-terminal, a USB adapter's burst). Then ticks follow closely,
  // at once while more is queued and a few ms apart otherwise, until a tick
  // finds the line quiet, so a backlog never waits whole poll periods.
  if (!IsOpen() || pollSuspension_ > 0) return;
  if (quint32(n) >= inBufSize_ / 2) draining_ = true;
  if (!draining_) return;
  quint32 more = 0;
  drainTimer_.start(backend_->queueCounts(&more, &out) && more > 0 ? 0 : kDrainTickMs);
}

void TSerialPortDriver::pollPackets(quint32 queued) {
  const quint32 size = std::min<quint32>(quint32(PacketSize), inBufSize_);
  // Whole packets go out one event each; the handler may close the port.
  while (queued >= size && IsOpen()) {
    const qint64 n = backend_->read(receiveBuffer_.data(), size);
    if (n <= 0) return;
    packetStartSet_ = false;
    queued -= quint32(n);
    if (OnReceivePacket) OnReceivePacket(this, receiveBuffer_.data(), quint32(n));
  }
  if (!IsOpen() || queued == 0) {
    packetStartSet_ = false;
    return;
  }
  const quint32 now = backend_->tickCount();
  if (!packetStartSet_) {
    packetStartSet_ = true;
    packetStart_ = now;
    return;
  }
  if (PacketTimeout < 0 || quint32(now - packetStart_) <= quint32(PacketTimeout)) return;
  packetStartSet_ = false;
  const qint64 n = backend_->read(receiveBuffer_.data(), std::min(queued, size));
  if (n > 0 && PacketMode == packetPass && OnReceivePacket) OnReceivePacket(this, receiveBuffer_.data(), quint32(n));
}

}  // namespace hv
