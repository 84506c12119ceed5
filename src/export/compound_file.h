#pragma once
// CompoundFile: a compound document (the published OLE2 structured-storage
// format, version 3, 512-byte sectors) holding one stream.
//
// The stream is written straight to a temporary file in the target's folder
// (unnamed while it is written, where the system allows: a killed export
// leaves nothing behind); release() adds the allocation tables and directory,
// syncs the file to disk and only then puts it in the target's place. A failed
// or abandoned export therefore leaves any earlier file of that name as it
// was, never a half-written one.
//
// Full buffers go to the file on a thread of its own, one at a time, so the
// next bytes are made while the system copies the last ones.
#include <QSaveFile>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace hv {

class CompoundFile {
 public:
  CompoundFile() = default;
  ~CompoundFile();  // an unreleased file is removed
  CompoundFile(const CompoundFile&) = delete;
  CompoundFile& operator=(const CompoundFile&) = delete;

  // Creates the file, replacing an existing one on release.
  // Throws hv::Error "StgCreateDocFile error %d" (the system error number).
  void create(const QString& fileName);
  // Creates the one stream of the root storage. Throws "CreateStream error %d".
  void createStream(const QString& name);

  // Stream operations; a failure throws hv::Error with the system's error text.
  void write(const void* data, std::size_t size);
  std::uint64_t tell() const { return pos_; }
  void seek(std::uint64_t position);
  void seekToEnd() { pos_ = size_; }
  std::uint64_t size() const { return size_; }

  // Completes the file and puts it in place. Throws like write().
  void release();
  // Gives the file up; the target is left untouched.
  void discard();

  // The short hidden name the finished file has for a moment beside `target`
  // before it takes the target's place; any temporary of ours for `target`
  // starts with it.
  static QString temporaryName(const QString& target);

  // Streams below this size live in the mini stream.
  static constexpr std::uint64_t kMiniStreamCutoff = 4096;
  // Version 3 files keep stream sizes below 2 GiB.
  static constexpr std::uint64_t kMaxStreamSize = 0x7FFFFE00u;

 private:
  void flush();
  void writeAt(std::uint64_t fileOffset, const void* data, std::size_t size);
  QString tryWriteAt(std::uint64_t fileOffset, const void* data, std::size_t size);
  [[noreturn]] void fail(const QString& text);
  // A write that failed: the text names the file and why.
  [[noreturn]] void failWrite(const QString& detail);
  // The writing thread: hands it a buffer, waits until it has written it
  // (throwing its failure), and makes it end.
  void writeLater(std::uint64_t fileOffset, const char* data, std::size_t size);
  void waitForWriter();
  void stopWriter() noexcept;
  void writerLoop();

  std::unique_ptr<QSaveFile> file_;
  QString target_;
  QString streamName_;
  bool hasStream_ = false;
  std::uint64_t pos_ = 0;
  std::uint64_t size_ = 0;
  std::unique_ptr<char[]> buffer_;  // stream bytes from bufferStart_ not yet in the file
  std::size_t bufferUsed_ = 0;
  std::uint64_t bufferStart_ = 0;
  std::unique_ptr<char[]> spare_;  // the buffer the writing thread may have

  std::thread writer_;
  std::mutex writerMutex_;
  std::condition_variable writerChanged_;
  struct Pending {
    std::uint64_t fileOffset = 0;
    const char* data = nullptr;
    std::size_t size = 0;
  } pending_;
  bool writing_ = false, stopping_ = false;
  QString writerError_;
};

}  // namespace hv
