#include "export/compound_file.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/durable_rename.h"
#include "platform/error.h"
#include "platform/file.h"

namespace hv {

namespace {

constexpr std::uint32_t kFreeSect = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
constexpr std::uint32_t kDifSect = 0xFFFFFFFC;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::uint32_t kSectorSize = 512;
constexpr std::uint32_t kMiniSectorSize = 64;
constexpr std::uint32_t kEntriesPerSector = kSectorSize / 4;
constexpr std::uint32_t kHeaderDifatEntries = 109;
constexpr std::size_t kFlushSize = 1 << 19;

void put16(std::vector<char>& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}
void put32(std::vector<char>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void put64(std::vector<char>& b, std::size_t at, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t sectorsFor(std::uint64_t bytes, std::uint32_t sectorSize) {
  return static_cast<std::uint32_t>((bytes + sectorSize - 1) / sectorSize);
}

// One 128-byte directory entry.
void putEntry(std::vector<char>& b, std::size_t at, const QString& name, std::uint8_t type, std::uint32_t child,
              std::uint32_t start, std::uint64_t size) {
  std::fill(b.begin() + at, b.begin() + at + 128, 0);
  for (qsizetype i = 0; i < name.size(); ++i) put16(b, at + 2 * i, name.at(i).unicode());
  put16(b, at + 64, static_cast<std::uint16_t>(name.isEmpty() ? 0 : (name.size() + 1) * 2));
  b[at + 66] = static_cast<char>(type);
  b[at + 67] = static_cast<char>(type == 0 ? 0 : 1);  // black
  put32(b, at + 68, kNoStream);
  put32(b, at + 72, kNoStream);
  put32(b, at + 76, child);
  put32(b, at + 116, start);
  put64(b, at + 120, size);
}

}  // namespace

CompoundFile::~CompoundFile() { discard(); }

void CompoundFile::fail(const QString& text) {
  discard();
  throw Error(text);
}

void CompoundFile::failWrite(const QString& detail) {
  // The bytes the file took before the write failed come free again once it
  // is gone: room for fewer than that means the disk was full.
  const qint64 needed = file_ ? std::max(file_->size(), qint64(kSectorSize + size_)) + 1 : 0;
  const QString target = target_;
  discard();
  throw Error(writeErrorText(target, writeFailureReason(target, needed), detail));
}

QString CompoundFile::temporaryName(const QString& target) {
  const QFileInfo info(target);
  const QByteArray tag = QCryptographicHash::hash(info.fileName().toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
  return info.absolutePath() + QStringLiteral("/.hygrovan-") + QString::fromLatin1(tag);
}

void CompoundFile::create(const QString& fileName) {
  discard();
  // The code as the format's own writers give it, and why in the user's words under it.
  const auto createError = [&fileName](int e) {
    QString why = writeFailureReason(fileName, 0);
    if (why.isEmpty()) why = qt_error_string(e);
    return Error(QStringLiteral("StgCreateDocFile error %1\nНе удалось создать файл \"%2\": %3.")
                     .arg(e)
                     .arg(QDir::toNativeSeparators(fileName), why));
  };
  if (fileName.isEmpty()) throw createError(ENOENT);
  const QFileInfo info(fileName);
  if (info.isDir()) throw createError(EISDIR);
  const QFileInfo folder(info.absolutePath());
  if (!folder.isDir()) throw createError(folder.exists() ? ENOTDIR : ENOENT);
  // Replacing a file we may not write would bypass its protection.
  if (info.exists() && !info.isWritable()) throw createError(EACCES);

  // What an export killed after finishing its file, or on a system without
  // unnamed files, left for this target goes first.
  const QString temp = temporaryName(info.absoluteFilePath());
  const QString tempName = QFileInfo(temp).fileName();
  QDir dir(info.absolutePath());
  for (const QString& stale : dir.entryList({tempName, tempName + QStringLiteral(".??????")},
                                            QDir::Files | QDir::Hidden | QDir::System))
    dir.remove(stale);

  auto file = std::make_unique<QSaveFile>(temp);
  errno = 0;
  if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) throw createError(errno != 0 ? errno : EACCES);
  // The new file keeps the permissions of the one it replaces.
  if (info.exists() && !file->setPermissions(info.permissions())) {
    file->cancelWriting();
    throw createError(EACCES);
  }
  file_ = std::move(file);
  target_ = info.absoluteFilePath();
  hasStream_ = false;
  pos_ = size_ = bufferStart_ = 0;
  bufferUsed_ = 0;
  if (!buffer_) buffer_.reset(new char[2 * kFlushSize]);
  if (!spare_) spare_.reset(new char[2 * kFlushSize]);
  writerError_.clear();
  stopping_ = false;
  writer_ = std::thread([this] { writerLoop(); });
}

void CompoundFile::createStream(const QString& name) {
  const auto streamError = [](int e) { return Error(QStringLiteral("CreateStream error %1").arg(e)); };
  if (!file_) throw streamError(EBADF);
  if (hasStream_) throw streamError(EEXIST);
  if (name.isEmpty() || name.size() > 31) throw streamError(ENAMETOOLONG);
  streamName_ = name;
  hasStream_ = true;
}

QString CompoundFile::tryWriteAt(std::uint64_t fileOffset, const void* data, std::size_t size) {
  const auto at = static_cast<qint64>(fileOffset);
  if (file_->pos() != at && !file_->seek(at)) return file_->errorString();
  // A short write is retried: the system says why only when nothing goes.
  const char* p = static_cast<const char*>(data);
  for (auto left = static_cast<qint64>(size); left > 0;) {
    const qint64 n = file_->write(p, left);
    if (n <= 0) return file_->errorString();
    p += n;
    left -= n;
  }
  return {};
}

void CompoundFile::writeAt(std::uint64_t fileOffset, const void* data, std::size_t size) {
  waitForWriter();
  if (const QString error = tryWriteAt(fileOffset, data, size); !error.isEmpty()) failWrite(error);
}

void CompoundFile::writerLoop() {
  std::unique_lock lock(writerMutex_);
  for (;;) {
    writerChanged_.wait(lock, [this] { return writing_ || stopping_; });
    if (!writing_) return;
    const Pending job = pending_;
    lock.unlock();
    QString error = tryWriteAt(job.fileOffset, job.data, job.size);
    // The disk gets to work while the rest is made: the sync at release waits less.
    if (error.isEmpty()) startWriteBack(file_->handle(), job.fileOffset, job.size);
    lock.lock();
    writerError_ = std::move(error);
    writing_ = false;
    writerChanged_.notify_all();
  }
}

void CompoundFile::writeLater(std::uint64_t fileOffset, const char* data, std::size_t size) {
  waitForWriter();
  const std::lock_guard lock(writerMutex_);
  pending_ = {fileOffset, data, size};
  writing_ = true;
  writerChanged_.notify_all();
}

void CompoundFile::waitForWriter() {
  QString error;
  {
    std::unique_lock lock(writerMutex_);
    writerChanged_.wait(lock, [this] { return !writing_; });
    error.swap(writerError_);
  }
  if (!error.isEmpty()) failWrite(error);
}

void CompoundFile::stopWriter() noexcept {
  if (!writer_.joinable()) return;
  {
    const std::lock_guard lock(writerMutex_);
    stopping_ = true;
    writerChanged_.notify_all();
  }
  writer_.join();  // after the buffer in hand is written
}

void CompoundFile::flush() {
  if (bufferUsed_ == 0) return;
  // The buffer goes to the writing thread; the spare one, written by now, is filled next.
  writeLater(kSectorSize + bufferStart_, buffer_.get(), bufferUsed_);
  buffer_.swap(spare_);
  bufferUsed_ = 0;
}

void CompoundFile::write(const void* data, std::size_t size) {
  if (!file_ || !hasStream_) fail(qt_error_string(EBADF));
  if (size == 0) return;
  if (pos_ + size > kMaxStreamSize)
    fail(writeErrorText(target_, QStringLiteral("книга больше, чем вмещает файл Excel 97"), qt_error_string(EFBIG)));
  // Patches of bytes already flushed, and writes after a jump, start a new buffer.
  if (bufferUsed_ > 0 && (pos_ < bufferStart_ || pos_ > bufferStart_ + bufferUsed_)) flush();
  if (size >= kFlushSize) {
    flush();
    writeAt(kSectorSize + pos_, data, size);
  } else {
    // Below kFlushSize bytes held, so this fits the buffer's twice that.
    if (bufferUsed_ == 0) bufferStart_ = pos_;
    const std::size_t offset = pos_ - bufferStart_;
    std::memcpy(buffer_.get() + offset, data, size);
    bufferUsed_ = std::max(bufferUsed_, offset + size);
  }
  pos_ += size;
  size_ = std::max(size_, pos_);
  if (bufferUsed_ >= kFlushSize) flush();
}

void CompoundFile::seek(std::uint64_t position) {
  if (!file_ || !hasStream_) fail(qt_error_string(EBADF));
  if (position > kMaxStreamSize) fail(qt_error_string(EINVAL));
  pos_ = position;
}

void CompoundFile::release() {
  if (!file_) return;
  flush();

  // Sector layout: the stream's bytes from sector 0 on (as the mini stream when
  // the stream is small), then the directory, the mini allocation table, the
  // allocation table and the extra DIFAT sectors.
  const bool mini = size_ > 0 && size_ < kMiniStreamCutoff;
  const std::uint32_t miniSectors = mini ? sectorsFor(size_, kMiniSectorSize) : 0;
  const std::uint64_t rootSize = std::uint64_t(miniSectors) * kMiniSectorSize;
  const std::uint32_t dataSectors = mini ? sectorsFor(rootSize, kSectorSize) : sectorsFor(size_, kSectorSize);
  const std::uint32_t dirSector = dataSectors;
  const std::uint32_t miniFatSectors = mini ? 1 : 0;
  const std::uint32_t firstFat = dirSector + 1 + miniFatSectors;
  std::uint32_t fatSectors = 1, difatSectors = 0;
  for (;;) {
    difatSectors = fatSectors > kHeaderDifatEntries ? (fatSectors - kHeaderDifatEntries + 126) / 127 : 0;
    const std::uint32_t total = firstFat + fatSectors + difatSectors;
    const std::uint32_t needed = (total + kEntriesPerSector - 1) / kEntriesPerSector;
    if (needed <= fatSectors) break;
    fatSectors = needed;
  }
  const std::uint32_t firstDifat = firstFat + fatSectors;
  const std::uint32_t totalSectors = firstDifat + difatSectors;

  // Everything after the stream's bytes, in one piece: padding, directory,
  // mini allocation table, allocation table, DIFAT.
  const std::uint64_t tailStart = kSectorSize + size_;
  const std::uint64_t tailEnd = kSectorSize + std::uint64_t(totalSectors) * kSectorSize;
  std::vector<char> tail(tailEnd - tailStart, 0);
  const auto sectorAt = [&](std::uint32_t sector) {
    return static_cast<std::size_t>(kSectorSize + std::uint64_t(sector) * kSectorSize - tailStart);
  };

  const std::size_t dir = sectorAt(dirSector);
  const std::uint32_t streamStart = size_ == 0 ? kEndOfChain : 0;
  putEntry(tail, dir, QStringLiteral("Root Entry"), 5, 1, mini ? 0 : kEndOfChain, rootSize);
  putEntry(tail, dir + 128, streamName_, 2, kNoStream, streamStart, size_);
  putEntry(tail, dir + 256, QString(), 0, kNoStream, 0, 0);
  putEntry(tail, dir + 384, QString(), 0, kNoStream, 0, 0);

  if (mini) {
    const std::size_t mf = sectorAt(dirSector + 1);
    for (std::uint32_t i = 0; i < kEntriesPerSector; ++i)
      put32(tail, mf + 4 * i, i + 1 < miniSectors ? i + 1 : (i + 1 == miniSectors ? kEndOfChain : kFreeSect));
  }

  const std::size_t fat = sectorAt(firstFat);
  for (std::uint32_t s = 0; s < fatSectors * kEntriesPerSector; ++s) {
    std::uint32_t v = kFreeSect;
    if (s < dataSectors) v = s + 1 < dataSectors ? s + 1 : kEndOfChain;
    else if (s == dirSector || (mini && s == dirSector + 1)) v = kEndOfChain;
    else if (s >= firstFat && s < firstDifat) v = kFatSect;
    else if (s >= firstDifat && s < totalSectors) v = kDifSect;
    put32(tail, fat + 4 * std::size_t(s), v);
  }

  for (std::uint32_t d = 0; d < difatSectors; ++d) {
    const std::size_t at = sectorAt(firstDifat + d);
    for (std::uint32_t i = 0; i < 127; ++i) {
      const std::uint32_t f = kHeaderDifatEntries + d * 127 + i;
      put32(tail, at + 4 * i, f < fatSectors ? firstFat + f : kFreeSect);
    }
    put32(tail, at + 508, d + 1 < difatSectors ? firstDifat + d + 1 : kEndOfChain);
  }

  std::vector<char> header(kSectorSize, 0);
  static const unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(header.data(), signature, 8);
  put16(header, 24, 0x003E);  // minor version
  put16(header, 26, 0x0003);  // major version 3
  put16(header, 28, 0xFFFE);  // little endian
  put16(header, 30, 9);       // 512-byte sectors
  put16(header, 32, 6);       // 64-byte mini sectors
  put32(header, 44, fatSectors);
  put32(header, 48, dirSector);
  put32(header, 56, static_cast<std::uint32_t>(kMiniStreamCutoff));
  put32(header, 60, mini ? dirSector + 1 : kEndOfChain);
  put32(header, 64, miniFatSectors);
  put32(header, 68, difatSectors ? firstDifat : kEndOfChain);
  put32(header, 72, difatSectors);
  for (std::uint32_t i = 0; i < kHeaderDifatEntries; ++i)
    put32(header, 76 + 4 * i, i < fatSectors ? firstFat + i : kFreeSect);

  writeAt(tailStart, tail.data(), tail.size());
  writeAt(0, header.data(), header.size());
  stopWriter();
  // On disk before it takes the target's place: commit() syncs the file and
  // gives it its (short, hidden) name.
  if (!file_->commit()) failWrite(file_->errorString());
  const QString temp = file_->fileName();
  file_.reset();
  if (const int e = durableRename(temp, target_)) {
    QFile::remove(temp);
    throw Error(writeErrorText(target_, systemErrorReason(e, target_), qt_error_string(e)));
  }
  hasStream_ = false;
}

void CompoundFile::discard() {
  stopWriter();
  if (file_) {
    file_->cancelWriting();
    file_.reset();  // an unnamed file is gone with it, a named one is removed
  }
  hasStream_ = false;
  bufferUsed_ = 0;
}

}  // namespace hv
