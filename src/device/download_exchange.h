#pragma once
// One exchange with the meter: port (and port search), probe, identification,
// archive request, the archive stream and its decoding into the memory image
// the exchange owns. Widget-free: the download dialog and `hygrovan-cli
// download` both drive it and show what its signals report.
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <array>
#include <memory>

#include "device/device_image.h"
#include "device/serial_driver.h"
#include "platform/dialog_types.h"

namespace hv {

// Protocol characters.
constexpr char IdentifyRequest = 'V';
constexpr char ArchiveRequest = 'N';
constexpr char ProbeByte = 'Z';
constexpr char StartMarker = 'S';
constexpr char EndMarker = 'P';
constexpr int kIdentifyReplyLength = 13;

// "Hygrovan-RX3W" ... for device types 1..7; empty for others.
QString modelName(int deviceType);
// Version bytes at positions 3, 5, 7 of the reply -> "21.03.05".
QString FormatVersion(quint8 at3, quint8 at5, quint8 at7);
// "\\.\COM1" ... "\\.\COM38".
const QStringList& PortNames();

// How far one archive of the stream has come.
struct ArchiveProgressEntry {
  bool seen = false;       // its count has been read
  qint64 charCount = 0;    // characters of its records: count * 14 * 2
  qint64 dataStart = 0;    // position of its first record character
};

class DownloadExchange : public QObject {
  Q_OBJECT
 public:
  static constexpr int kReceiveBufferSize = 262144;
  static constexpr int kReplyTimeoutMs = 3000;
  static constexpr int kRequestDelayMs = 1000;
  // Before an identification request the line must have been quiet this
  // long; it is waited for at most kQuietLineLimitMs.
  static constexpr quint32 kQuietLineMs = 100;
  static constexpr quint32 kQuietLineLimitMs = 1000;

  explicit DownloadExchange(QObject* parent = nullptr);
  ~DownloadExchange() override;

  TSerialPortDriver& serialPort() { return *serial_; }
  QTimer& replyTimer() { return replyTimer_; }
  QTimer& requestDelayTimer() { return requestDelayTimer_; }

  // The default port and whether a port that can't be opened starts the
  // search over PortNames (the dialog: "\\.\COM1", yes; the cli: its path, no).
  void setDefaultPort(const QString& portName, bool searchPorts);

  // Opens the port and asks the device to identify itself.
  void start();
  // Stops both timers and, while an exchange runs, closes the port.
  void stop();
  // "Отмена": the exchange ends with mrCancel, the image untouched.
  void cancel();
  // No reply within kReplyTimeoutMs of an identification request: waits on the
  // port if it opens now, otherwise searches the ports (when allowed).
  void onReplyTimeout();
  // A second after the identification: the archive request.
  void onRequestDelay();
  // One block of characters from the port.
  void onBytes(const quint8* data, quint32 size);
  // Sends the probe byte and waits briefly for its echo.
  bool probePort();
  // First position of a character among the received ones, or -1.
  qsizetype findChar(char c) const;

  // Exchange state, readable for the windows and the tests.
  qsizetype receivedCount() const { return receivedCount_; }
  char lastCommand() const { return lastCommand_; }
  bool endSeen() const { return endSeen_; }
  quint8 familyCode() const { return familyCode_; }
  quint8 deviceType() const { return deviceType_; }
  QString softwareVersion() const { return softwareVersion_; }
  int recordSize() const { return recordSize_; }
  const std::array<ArchiveProgressEntry, 3>& archiveProgress() const { return archiveProgress_; }
  bool running() const { return running_; }
  int modalResult() const { return modalResult_; }

  // The meter's memory image of the last download that ended with mrOk:
  // zeros before one, and as it was after a cancelled or refused exchange.
  // A download writes only the bytes it decodes.
  const DeviceImageBytes& image() const { return *image_; }
  DeviceImageBytes& image() { return *image_; }

 signals:
  void captionChanged(const QString& text);
  void statusTextChanged(const QString& text);  // waiting / receiving
  void progressChanged(int value);              // of the archive being received, 0..100
  void modelNameChanged(const QString& text);
  void versionChanged(const QString& text);
  void countsChanged(const QString& text);      // the three archives' record counts as far as read
  // The port being searched; the window repaints at once, since the search
  // holds the loop.
  void searchTextChanged(const QString& text);
  // A modal box with one OK button and the error icon. The polling is stopped
  // while it is open, so no block is handled meanwhile.
  void errorMessage(const QString& caption, const QString& text);
  // A request went to the device ('V', 'N' or the probe 'Z').
  void requestSent(char request);
  // The exchange is over: mrOk (image() holds the download) or mrCancel.
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
  // Lets the line go quiet and sends V; false when the line was lost meanwhile.
  bool requestIdentification();
  // Notes a port of the search that another program holds.
  void noteBusyPort(const QString& name);
  // Checks the stream between the markers; an empty text when it is sound.
  QString checkStream(qsizetype first, qsizetype end) const;

  std::unique_ptr<TSerialPortDriver> serial_;
  QTimer replyTimer_;
  QTimer requestDelayTimer_;
  QString defaultPort_;
  bool searchPorts_ = true;
  QStringList busyPorts_;  // held by other programs, named after a fruitless search

  std::unique_ptr<char[]> receiveBuffer_;
  std::unique_ptr<DeviceImageBytes> image_;
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
// "Не удалось открыть порт …" and the reason.
QString openFailure(const QString& portName, const SerialError& error);
// The line was hung up or failed during the exchange.
QString lineLost(const SerialError& error);
// After "Прибор не обнаружен!…": the ports of the search held by other programs.
QString busyPorts(const QStringList& ports);
}  // namespace download_text

}  // namespace hv
