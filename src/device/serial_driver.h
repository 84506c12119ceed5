#pragma once
// The serial port driver: owns one port, writes its line settings, sends
// synchronously and hands received bytes to OnReceiveData from a poll timer
// on the GUI thread. Failures are reported through results, never thrown.
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "device/serial_backend.h"

namespace hv {

enum TPortNumber {
  portCustom, portCOM1, portCOM2, portCOM3, portCOM4, portCOM5, portCOM6, portCOM7, portCOM8,
  portCOM9, portCOM10, portCOM11, portCOM12, portCOM13, portCOM14, portCOM15, portCOM16
};
enum TBaudRate {
  baudCustom, baud110, baud300, baud600, baud1200, baud2400, baud4800, baud9600, baud14400,
  baud19200, baud38400, baud56000, baud57600, baud115200, baud128000, baud256000
};
enum TDataBits { data5, data6, data7, data8 };
enum TStopBits { stop1, stop1Half, stop2 };
enum TParity { parityNone, parityOdd, parityEven, parityMark, paritySpace };
enum THwFlowControl { hwNone, hwNoneRtsOn, hwRtsCts };
enum TSwFlowControl { swNone, swXonXoff };
enum TPacketMode { packetDiscard, packetPass };

class TSerialPortDriver;
using TReceiveDataEvent = std::function<void(TSerialPortDriver* sender, const quint8* dataPtr, quint32 dataSize)>;
using TReceivePacketEvent = std::function<void(TSerialPortDriver* sender, const quint8* packet, quint32 dataSize)>;
// The line was hung up or failed while open; the port is closed already.
using TLineLostEvent = std::function<void(TSerialPortDriver* sender, const SerialError& error)>;

class TSerialPortDriver : public QObject {
  Q_OBJECT
 public:
  explicit TSerialPortDriver(QObject* parent = nullptr);
  // With a backend of the caller's choice (tests).
  TSerialPortDriver(std::unique_ptr<SerialBackend> backend, QObject* parent = nullptr);
  ~TSerialPortDriver() override;

  // Operations.
  bool OpenPort();
  void ClosePort();
  bool IsOpen() const;
  quint32 WriteData(const void* data, quint32 count);
  quint32 WriteData(const void* data, quint32 count, quint32 timeoutMs);
  bool WriteByte(quint8 byte);
  quint32 ReadData(void* data, quint32 count);
  bool ReadByte(quint8& byte);
  quint32 InputCount();
  quint32 OutputFreeSpace();
  unsigned LineStatus();  // LineSignal bits
  bool PurgeBuffers(bool input, bool output);
  // Discards queued input, then reads and drops whatever still comes until
  // the line has been quiet for quietMs, giving up after limitMs. True when
  // it went quiet; false when it kept talking, or was lost, or is closed.
  bool waitForQuietLine(quint32 quietMs, quint32 limitMs);
  // Why the last OpenPort failed, or why the line was lost.
  SerialError lastError() const { return lastError_; }

  // Properties.
  TPortNumber Port() const { return port_; }
  void setPort(TPortNumber value);
  QString PortName() const { return portName_; }
  void setPortName(const QString& value);
  TBaudRate BaudRate() const { return baudRate_; }
  void setBaudRate(TBaudRate value);
  quint32 BaudRateValue() const { return baudRateValue_; }
  void setBaudRateValue(quint32 value);
  TDataBits DataBits() const { return dataBits_; }
  void setDataBits(TDataBits value);
  TStopBits StopBits() const { return stopBits_; }
  void setStopBits(TStopBits value);
  TParity Parity() const { return parity_; }
  void setParity(TParity value);
  THwFlowControl HwFlow() const { return hwFlow_; }
  void setHwFlow(THwFlowControl value);
  TSwFlowControl SwFlow() const { return swFlow_; }
  void setSwFlow(TSwFlowControl value);
  quint32 InBufSize() const { return inBufSize_; }
  void setInBufSize(quint32 value);
  quint32 OutBufSize() const { return outBufSize_; }
  void setOutBufSize(quint32 value);
  quint16 PollingDelay() const { return pollingDelay_; }
  void setPollingDelay(quint16 value);

  // Plain fields: a change takes effect at the next use.
  qint16 PacketSize = -1;
  qint32 PacketTimeout = -1;
  TPacketMode PacketMode = packetDiscard;
  bool EnableDTROnOpen = true;
  quint16 OutputTimeout = 500;
  quint32 InputTimeout = 200;
  bool CheckLineStatus = false;
  TReceiveDataEvent OnReceiveData;
  TReceivePacketEvent OnReceivePacket;
  TLineLostEvent onLineLost;

  // Speed in bits/s of a TBaudRate other than baudCustom.
  static quint32 baudRateBits(TBaudRate rate);

  // The poll tick itself (the timer calls it; tests may too).
  void poll();
  int pollSuspension() const { return pollSuspension_; }
  SerialBackend& backend() { return *backend_; }

 private:
  bool applySettings();
  void reapplyIfOpen();
  void pollPackets(quint32 queued);
  // Closes the port after a failure of the line and raises onLineLost.
  void lineLost();

  std::unique_ptr<SerialBackend> backend_;
  QTimer pollTimer_;
  QTimer drainTimer_;  // extra ticks while a backlog is coming in
  bool draining_ = false;
  static constexpr int kDrainTickMs = 5;
  std::vector<quint8> receiveBuffer_;
  int pollSuspension_ = 0;
  SerialError lastError_;
  bool packetStartSet_ = false;
  quint32 packetStart_ = 0;

  TPortNumber port_ = portCOM2;
  QString portName_ = QStringLiteral("\\\\.\\COM2");
  TBaudRate baudRate_ = baud9600;
  quint32 baudRateValue_ = 9600;
  TDataBits dataBits_ = data8;
  TStopBits stopBits_ = stop1;
  TParity parity_ = parityNone;
  THwFlowControl hwFlow_ = hwNoneRtsOn;
  TSwFlowControl swFlow_ = swNone;
  quint32 inBufSize_ = 2048;
  quint32 outBufSize_ = 2048;
  quint16 pollingDelay_ = 50;
};

}  // namespace hv
