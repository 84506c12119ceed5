#pragma once
// One exchange with the meter: port (and port search), probe, identification,
// archive request, the archive stream and its decoding into the DeviceImage.
// Widget-free: the download dialog and `hygrovan-cli download` both drive it
// and show what its signals report.
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <array>
#include <memory>

#include "device/serial_driver.h"
#include "platform/ui.h"  // ModalResult only

namespace hv {

// Protocol characters.
constexpr char IdentifyRequest = 'V';
constexpr char ArchiveRequest = 'N';
constexpr char ProbeByte = 'Z';
constexpr char StartMarker = 'S';
constexpr char EndMarker = 'P';
constexpr int IdentifyReplyLength = 13;

// "Hygrovan-RX3W" ... for device types 1..7; empty for others.
QString ModelName(int deviceType);
// Version bytes at positions 3, 5, 7 of the reply -> "21.03.05".
QString FormatVersion(quint8 at3, quint8 at5, quint8 at7);
// "\\.\COM1" ... "\\.\COM38".
const QStringList& PortNames();

struct ArchiveProgressEntry {
  bool Seen = false;
  qint64 CharCount = 0;
  qint64 DataStart = 0;
};

class DownloadExchange : public QObject {
  Q_OBJECT
 public:
  static constexpr int ReceiveBufferSize = 262144;
  static constexpr int ReplyTimeoutMs = 3000;
  static constexpr int RequestDelayMs = 1000;

  explicit DownloadExchange(QObject* parent = nullptr);
  ~DownloadExchange() override;

  TSerialPortDriver& SerialPort1() { return *serial_; }
  QTimer& Timer1() { return timer1_; }
  QTimer& Timer2() { return timer2_; }

  // The default port and whether a port that can't be opened starts the
  // search over PortNames (the dialog: "\\.\COM1", yes; the cli: its path, no).
  void setDefaultPort(const QString& portName, bool searchPorts);

  // The handlers.
  void FormShow();
  void FormClose();
  void Button1Click();
  void Timer1Timer();
  void Timer2Timer();
  void SerialPort1ReceiveData(const quint8* data, quint32 size);
  bool Com_Connect();
  // First position of a character among the received ones, or -1.
  qsizetype FindChar(char c) const;

  // Exchange state, readable for the windows and the tests.
  qsizetype ReceivedCount() const { return receivedCount_; }
  char LastCommand() const { return lastCommand_; }
  bool EndSeen() const { return endSeen_; }
  quint8 FamilyCode() const { return familyCode_; }
  quint8 DeviceType() const { return deviceType_; }
  QString SoftwareVersion() const { return softwareVersion_; }
  int RecordSize() const { return recordSize_; }
  const std::array<ArchiveProgressEntry, 3>& ArchiveProgress() const { return archiveProgress_; }
  bool running() const { return running_; }
  int modalResult() const { return modalResult_; }

 signals:
  void captionChanged(const QString& text);
  void statusTextChanged(const QString& text);   // StaticText2
  void progressChanged(int value);               // ProgressBar1, 0..100
  void modelNameChanged(const QString& text);    // StaticText5
  void versionChanged(const QString& text);      // StaticText1
  void countsChanged(const QString& text);       // StaticText7
  // Label1; the window repaints at once, since the search holds the loop.
  void searchTextChanged(const QString& text);
  // A modal box with one OK button and the error icon. The polling is stopped
  // while it is open, so no block is handled meanwhile.
  void errorMessage(const QString& caption, const QString& text);
  // A request went to the device ('V', 'N' or the probe 'Z').
  void requestSent(char request);
  // The exchange is over: mrOk (the DeviceImage is filled) or mrCancel.
  void finished(int modalResult);

 private:
  void resetReceiveState();
  void setProgress(int value);
  void identify();
  void updateProgress();
  void readCounts();
  void endOfStream();
  // Refuses the exchange: port closed, image untouched, box, mrCancel.
  void refuse(const QString& caption, const QString& text);
  void finish(int result);
  void send(char request);
  // Checks the stream between the markers; an empty text when it is sound.
  QString checkStream(qsizetype first, qsizetype end) const;

  std::unique_ptr<TSerialPortDriver> serial_;
  QTimer timer1_;
  QTimer timer2_;
  QString defaultPort_;
  bool searchPorts_ = true;

  std::unique_ptr<char[]> receiveBuffer_;
  qsizetype receivedCount_ = 0;
  char lastCommand_ = IdentifyRequest;
  bool endSeen_ = false;
  bool portFound_ = false;
  quint8 familyCode_ = 0;
  quint8 deviceType_ = 0;
  QString softwareVersion_;
  int recordSize_ = 0;
  std::array<ArchiveProgressEntry, 3> archiveProgress_{};
  QString counts_;
  bool running_ = false;
  int modalResult_ = mrNone;
  int progress_ = 0;
};

// The refusal texts of malformed streams.
namespace download_text {
QString overflow();
QString noStartMarker();
QString oddLength();
QString badCharacter();
QString countsMismatch();
}  // namespace download_text

}  // namespace hv
