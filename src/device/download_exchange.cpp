#include "device/download_exchange.h"

#include <algorithm>
#include <cstring>

#include "device/port_access.h"

namespace hv {

namespace download_text {
QString overflow() { return QStringLiteral("Ответ прибора слишком длинный. Данные не приняты."); }
QString noStartMarker() { return QStringLiteral("В ответе прибора нет начала архива. Данные не приняты."); }
QString oddLength() { return QStringLiteral("Ответ прибора содержит нечетное число знаков. Данные не приняты."); }
QString badCharacter() { return QStringLiteral("Ответ прибора содержит недопустимый знак. Данные не приняты."); }
QString countsMismatch() {
  return QStringLiteral("Число записей в ответе прибора не совпадает с его длиной. Данные не приняты.");
}

QString openFailure(const QString& portName, const SerialError& error) {
  const QString system = QString::fromStdString(error.text);
  QString reason;
  switch (error.fault) {
    case SerialFault::AccessDenied:
      // Says which group grants access; empty when the refusal was not noted.
      reason = portAccessAdvice();
      if (reason.isEmpty()) reason = QStringLiteral("Нет прав на чтение и запись порта (%1).").arg(system);
      break;
    case SerialFault::Busy: reason = QStringLiteral("Порт занят другой программой (%1).").arg(system); break;
    case SerialFault::NoSuchPort: reason = QStringLiteral("Такого порта нет (%1).").arg(system); break;
    case SerialFault::None: break;
    default: reason = system + QLatin1Char('.'); break;
  }
  const QString head = QStringLiteral("Не удалось открыть порт %1.").arg(portName);
  return reason.isEmpty() ? head : head + QLatin1Char('\n') + reason;
}

QString lineLost(const SerialError& error) {
  return QStringLiteral("Связь с прибором потеряна (%1). Данные не приняты.").arg(QString::fromStdString(error.text));
}

QString busyPorts(const QStringList& ports) {
  return (ports.size() == 1 ? QStringLiteral("Порт %1 занят другой программой.")
                            : QStringLiteral("Порты %1 заняты другими программами."))
      .arg(ports.join(QStringLiteral(", ")));
}
}  // namespace download_text

namespace {
const QString kWaitingText = QStringLiteral("Ожидание готовности прибора ...");
const QString kReceivingText = QStringLiteral("Идет прием информации ...");
const QString kNotFoundText =
    QStringLiteral("Прибор не обнаружен! Проверте правильность подключения согласно инструкции!");
const QString kWrongDeviceText = QStringLiteral("Вы подключили не тот прибор !");
const QString kErrorCaption = QStringLiteral("Ошибка");
const QString kStandardErrorCaption = QStringLiteral("Error");
const QString kDefaultPort = QStringLiteral("\\\\.\\COM1");
constexpr int kAcceptedFamily = 8;
}  // namespace

QString modelName(int deviceType) {
  static const char* const names[] = {"Hygrovan-RX3W",  "Hygrovan-RX3C",  "Hygrovan-RX3WC", "Hygrovan-RX3B",
                                      "Hygrovan-RX3WB", "Hygrovan-RX3CB", "Hygrovan-RX3U"};
  return (deviceType >= 1 && deviceType <= 7) ? QString::fromLatin1(names[deviceType - 1]) : QString();
}

QString FormatVersion(quint8 at3, quint8 at5, quint8 at7) {
  auto two = [](quint8 v) { return v < 10 ? QStringLiteral("0%1").arg(v) : QString::number(v); };
  return two(at7) + QLatin1Char('.') + two(at5) + QLatin1Char('.') + two(at3);
}

const QStringList& PortNames() {
  static const QStringList names = [] {
    QStringList list;
    for (int n = 1; n <= 38; ++n) list.append(QStringLiteral("\\\\.\\COM%1").arg(n));
    return list;
  }();
  return names;
}

DownloadExchange::DownloadExchange(QObject* parent)
    : QObject(parent),
      serial_(std::make_unique<TSerialPortDriver>()),
      defaultPort_(kDefaultPort),
      receiveBuffer_(new char[kReceiveBufferSize]()),
      image_(std::make_unique<DeviceImageBytes>()) {
  // The line settings of the meter: 9600 8N2, DTR off, RTS on, 4 KB queues.
  serial_->setPortName(kDefaultPort);
  serial_->setStopBits(stop2);
  serial_->setInBufSize(4096);
  serial_->setOutBufSize(4096);
  serial_->EnableDTROnOpen = false;
  serial_->OnReceiveData = [this](TSerialPortDriver*, const quint8* data, quint32 size) {
    onBytes(data, size);
  };
  // A pulled cable or adapter ends the exchange at once, not at some deadline.
  serial_->onLineLost = [this](TSerialPortDriver*, const SerialError& error) {
    if (running_) refuse(kErrorCaption, download_text::lineLost(error));
  };
  // The protocol's delays are exact seconds, not the coarse timers' +-5 %.
  replyTimer_.setTimerType(Qt::PreciseTimer);
  requestDelayTimer_.setTimerType(Qt::PreciseTimer);
  replyTimer_.setSingleShot(true);
  requestDelayTimer_.setSingleShot(true);
  requestDelayTimer_.setInterval(kRequestDelayMs);
  connect(&replyTimer_, &QTimer::timeout, this, &DownloadExchange::onReplyTimeout);
  connect(&requestDelayTimer_, &QTimer::timeout, this, &DownloadExchange::onRequestDelay);
}

DownloadExchange::~DownloadExchange() = default;

void DownloadExchange::setDefaultPort(const QString& portName, bool searchPorts) {
  defaultPort_ = portName;
  searchPorts_ = searchPorts;
}

void DownloadExchange::resetReceiveState() {
  receivedCount_ = 0;
  endSeen_ = false;
}

void DownloadExchange::setProgress(int value) {
  progress_ = std::clamp(value, 0, 100);
  emit progressChanged(progress_);
}

void DownloadExchange::start() {
  requestDelayTimer_.stop();
  requestDelayTimer_.setInterval(kRequestDelayMs);
  // Every exchange ends with the port closed; a name set while open would be ignored.
  serial_->ClosePort();
  serial_->setPortName(defaultPort_);
  running_ = true;
  modalResult_ = mrNone;
  resetReceiveState();
  setProgress(0);
  counts_.clear();
  emit countsChanged(QString());
  emit modelNameChanged(QString());
  emit versionChanged(QString());
  emit statusTextChanged(kWaitingText);
  emit captionChanged(QStringLiteral("Прием данных"));
  clearRefusedPorts();
  busyPorts_.clear();
  if (!serial_->OpenPort()) {
    // Without a search there is nothing to wait for: say at once why.
    if (!searchPorts_) {
      refuse(kErrorCaption, download_text::openFailure(defaultPort_, serial_->lastError()));
      return;
    }
    noteBusyPort(defaultPort_);
  }
  if (!requestIdentification()) return;
  replyTimer_.start(kReplyTimeoutMs);
}

bool DownloadExchange::requestIdentification() {
  lastCommand_ = IdentifyRequest;
  // Characters still coming from an earlier answer (a download cut short a
  // moment ago) would be taken for the reply: the line is let go quiet first.
  // A meter that keeps sending is interrupted by the request itself, after
  // which its answer is let go by as well and the request sent once more.
  if (serial_->IsOpen() && !serial_->waitForQuietLine(kQuietLineMs, kQuietLineLimitMs) && running_) {
    serial_->WriteByte(quint8(IdentifyRequest));
    serial_->waitForQuietLine(kQuietLineMs, kQuietLineLimitMs);
  }
  if (!running_) return false;  // the line was lost meanwhile
  send(IdentifyRequest);
  return true;
}

void DownloadExchange::noteBusyPort(const QString& name) {
  if (serial_->lastError().fault == SerialFault::Busy && !busyPorts_.contains(name)) busyPorts_.append(name);
}

void DownloadExchange::stop() {
  replyTimer_.stop();
  requestDelayTimer_.stop();
  if (running_) {
    serial_->ClosePort();
    running_ = false;
  }
}

void DownloadExchange::cancel() {
  resetReceiveState();
  setProgress(0);
  serial_->ClosePort();
  finish(mrCancel);
}

bool DownloadExchange::probePort() {
  send(ProbeByte);
  quint8 answer = 0;
  if (serial_->ReadByte(answer) && answer == quint8(ProbeByte)) portFound_ = true;
  return portFound_;
}

void DownloadExchange::onReplyTimeout() {
  replyTimer_.stop();
  if (!running_) return;
  // An open port is waited on without a further time-out.
  if (serial_->OpenPort()) return;
  if (!searchPorts_) {
    refuse(kErrorCaption, download_text::openFailure(defaultPort_, serial_->lastError()));
    return;
  }
  for (const QString& name : PortNames()) {
    serial_->ClosePort();
    serial_->setPortName(name);
    emit searchTextChanged(QStringLiteral("Поиск прибора....ComPort №") + name);
    const bool open = serial_->OpenPort();
    if (!open) noteBusyPort(name);
    resetReceiveState();
    setProgress(0);
    if (open) probePort();
    if (portFound_) {
      emit searchTextChanged(QStringLiteral("Прибор найден ComPort №") + name);
      portFound_ = false;
      if (requestIdentification()) replyTimer_.start(kReplyTimeoutMs);
      return;
    }
  }
  serial_->ClosePort();
  serial_->setPortName(kDefaultPort);
  resetReceiveState();
  setProgress(0);
  running_ = false;
  emit errorMessage(kErrorCaption, kNotFoundText);
  // Ports that exist but refused us are the likeliest cause: name them.
  if (const QString advice = portAccessAdvice(); !advice.isEmpty()) emit errorMessage(kErrorCaption, advice);
  if (!busyPorts_.isEmpty()) emit errorMessage(kErrorCaption, download_text::busyPorts(busyPorts_));
  finish(mrCancel);
  emit searchTextChanged(QString());
}

void DownloadExchange::onRequestDelay() {
  requestDelayTimer_.stop();
  if (!running_) return;
  lastCommand_ = ArchiveRequest;
  send(ArchiveRequest);
  receivedCount_ = 0;
}

qsizetype DownloadExchange::findChar(char c) const {
  const void* at = std::memchr(receiveBuffer_.get(), c, size_t(receivedCount_));
  return at ? static_cast<const char*>(at) - receiveBuffer_.get() : -1;
}

void DownloadExchange::onBytes(const quint8* data, quint32 size) {
  if (!running_ || size == 0) return;
  if (qint64(receivedCount_) + size > kReceiveBufferSize) {
    refuse(kErrorCaption, download_text::overflow());
    return;
  }
  std::memcpy(receiveBuffer_.get() + receivedCount_, data, size);
  for (quint32 i = 0; i < size; ++i) {
    switch (char(data[i])) {
      case EndMarker:
        endSeen_ = true;
        break;
      case StartMarker:
        replyTimer_.stop();
        break;
      case ProbeByte:
        // The meter restarted: what came so far, and the rest of this block, is dropped.
        replyTimer_.stop();
        requestDelayTimer_.stop();
        receivedCount_ = 0;
        endSeen_ = false;
        requestIdentification();
        return;
      default:
        break;
    }
  }
  receivedCount_ += size;

  if (lastCommand_ == IdentifyRequest && receivedCount_ >= kIdentifyReplyLength) {
    identify();
    if (!running_) return;
  }
  updateProgress();
  if (lastCommand_ == ArchiveRequest) readCounts();
  if (endSeen_) endOfStream();
}

void DownloadExchange::identify() {
  const qsizetype p = receivedCount_ - kIdentifyReplyLength;
  const char* c = receiveBuffer_.get();
  familyCode_ = DecodeByte(c, p);
  deviceType_ = quint8(quint8(c[p + 2]) - 0x30);
  softwareVersion_ = FormatVersion(DecodeByte(c, p + 3), DecodeByte(c, p + 5), DecodeByte(c, p + 7));
  if (familyCode_ != kAcceptedFamily || deviceType_ < 1 || deviceType_ > 7) {
    refuse(kStandardErrorCaption, kWrongDeviceText);
    return;
  }
  replyTimer_.stop();
  emit modelNameChanged(modelName(deviceType_));
  emit versionChanged(softwareVersion_);
  endSeen_ = false;
  for (auto& e : archiveProgress_) e.seen = false;
  emit statusTextChanged(kReceivingText);
  recordSize_ = hv::RecordSize;
  requestDelayTimer_.start(kRequestDelayMs);
}

void DownloadExchange::updateProgress() {
  bool any = false;
  qint64 value = 0;
  for (const auto& e : archiveProgress_) {
    if (!e.seen) continue;
    any = true;
    value = e.charCount == 0 ? 100 : (qint64(receivedCount_) - e.dataStart) * 100 / e.charCount;
  }
  if (any) setProgress(int(std::clamp<qint64>(value, 0, 100)));
}

void DownloadExchange::readCounts() {
  const qsizetype start = findChar(StartMarker);
  if (start < 0) return;
  const char* c = receiveBuffer_.get();
  auto& wood = archiveProgress_[0];
  auto& concrete = archiveProgress_[1];
  auto& bulk = archiveProgress_[2];
  // A count is read only once all four of its characters have arrived.
  auto read = [&](ArchiveProgressEntry& e, qint64 s) {
    if (s + 4 > receivedCount_) return false;
    const quint16 n = DecodeWord(c, s);
    e.charCount = qint64(n) * recordSize_ * 2;
    e.dataStart = s + 4;
    e.seen = true;
    counts_ = counts_.isEmpty() || &e == &wood ? QString::number(n) : counts_ + QLatin1Char('/') + QString::number(n);
    emit countsChanged(counts_);
    return true;
  };
  if (!wood.seen && receivedCount_ >= 6) read(wood, start + 1);
  if (wood.seen && !concrete.seen && receivedCount_ > wood.charCount + 9)
    read(concrete, start + 1 + 4 + wood.charCount);
  if (concrete.seen && !bulk.seen && receivedCount_ > wood.charCount + concrete.charCount + 13)
    read(bulk, start + 1 + 4 + wood.charCount + 4 + concrete.charCount);
}

QString DownloadExchange::checkStream(qsizetype first, qsizetype end) const {
  const qsizetype length = end - first;
  if (length % 2 != 0) return download_text::oddLength();
  const char* c = receiveBuffer_.get();
  for (qsizetype i = first; i < end; ++i) {
    if (quint8(c[i]) < 0x30 || quint8(c[i]) > 0x3F) return download_text::badCharacter();
  }
  const qint64 bytes = length / 2;
  qint64 offset = 0;
  for ([[maybe_unused]] ArchiveKind kind : kArchiveKinds) {
    if (offset + 2 > bytes) return download_text::countsMismatch();
    offset += 2 + qint64(hv::RecordSize) * DecodeWord(c, first + 2 * offset);
  }
  if (offset != bytes) return download_text::countsMismatch();
  if (bytes > kMaxDecodedImageLength) return download_text::overflow();
  return QString();
}

void DownloadExchange::endOfStream() {
  endSeen_ = false;
  const qsizetype start = findChar(StartMarker);
  const qsizetype end = findChar(EndMarker);
  if (start < 0 || end < start) {
    refuse(kErrorCaption, download_text::noStartMarker());
    return;
  }
  const QString problem = checkStream(start + 1, end);
  if (!problem.isEmpty()) {
    refuse(kErrorCaption, problem);
    return;
  }
  serial_->ClosePort();
  DecodeImage(receiveBuffer_.get(), start + 1, end, *image_);
  finish(mrOk);
}

void DownloadExchange::refuse(const QString& caption, const QString& text) {
  // Closing the port stops the polling, so the box's own message loop can't
  // bring further blocks into this handler.
  replyTimer_.stop();
  requestDelayTimer_.stop();
  serial_->ClosePort();
  endSeen_ = false;
  running_ = false;
  emit errorMessage(caption, text);
  finish(mrCancel);
}

void DownloadExchange::send(char request) {
  serial_->WriteByte(quint8(request));
  emit requestSent(request);
}

void DownloadExchange::finish(int result) {
  replyTimer_.stop();
  requestDelayTimer_.stop();
  running_ = false;
  modalResult_ = result;
  emit finished(result);
}

}  // namespace hv
