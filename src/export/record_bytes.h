#pragma once
// How the workbook writer puts its records together: little-endian values
// one after another, either into room taken beforehand (BytePutter: the row
// blocks, where each record's length is known) or into a buffer that grows
// (RecordBytes: everything else). Both spell values the same way.
#include <QStringView>
#include <QtEndian>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace hv::biff8 {

class BytePutter {
 public:
  explicit BytePutter(char* at) : at_(at) {}

  BytePutter& u8(unsigned v) {
    *at_++ = static_cast<char>(v & 0xFF);
    return *this;
  }
  BytePutter& u16(unsigned v) {
    qToLittleEndian(static_cast<quint16>(v), at_);
    at_ += 2;
    return *this;
  }
  BytePutter& u32(std::uint32_t v) {
    qToLittleEndian(static_cast<quint32>(v), at_);
    at_ += 4;
    return *this;
  }
  BytePutter& f64(double d) {
    std::uint64_t v;
    std::memcpy(&v, &d, 8);
    return u32(static_cast<std::uint32_t>(v)).u32(static_cast<std::uint32_t>(v >> 32));
  }
  BytePutter& zeros(std::size_t n) {
    std::memset(at_, 0, n);
    at_ += n;
    return *this;
  }
  // The characters as UTF-16, without a length.
  BytePutter& utf16(QStringView s) {
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    return raw(s.utf16(), 2 * static_cast<std::size_t>(s.size()));
#else
    for (QChar c : s) u16(c.unicode());
    return *this;
#endif
  }
  BytePutter& raw(const void* p, std::size_t n) {
    std::memcpy(at_, p, n);
    at_ += n;
    return *this;
  }

 private:
  char* at_;
};

// Bytes gathered for the stream: clearing keeps the memory, so a row block or
// a string table record costs no allocation once the first is done.
class RecordBytes {
 public:
  // Room for n more bytes, to be filled through the putter.
  BytePutter put(std::size_t n) {
    if (size_ + n > bytes_.size()) bytes_.resize(std::max(2 * bytes_.size(), size_ + n));
    char* p = bytes_.data() + size_;
    size_ += n;
    return BytePutter(p);
  }
  // A whole record of `dataSize` bytes: its header put, its data to follow.
  BytePutter record(std::uint16_t id, std::size_t dataSize) {
    return put(4 + dataSize).u16(id).u16(static_cast<unsigned>(dataSize));
  }

  RecordBytes& u8(unsigned v) {
    put(1).u8(v);
    return *this;
  }
  RecordBytes& u16(unsigned v) {
    put(2).u16(v);
    return *this;
  }
  RecordBytes& u32(std::uint32_t v) {
    put(4).u32(v);
    return *this;
  }
  RecordBytes& f64(double d) {
    put(8).f64(d);
    return *this;
  }
  RecordBytes& zeros(std::size_t n) {
    put(n).zeros(n);
    return *this;
  }
  RecordBytes& utf16(QStringView s) {
    put(2 * static_cast<std::size_t>(s.size())).utf16(s);
    return *this;
  }
  RecordBytes& raw(const void* p, std::size_t n) {
    put(n).raw(p, n);
    return *this;
  }
  // A text as the format spells one: its character count in 16 or 8 bits,
  // the option byte 1 (two bytes a character), the characters.
  RecordBytes& string16(QStringView s) { return u16(static_cast<unsigned>(s.size())).u8(1).utf16(s); }
  RecordBytes& string8(QStringView s) { return u8(static_cast<unsigned>(s.size())).u8(1).utf16(s); }
  // A 16-bit value over two bytes put earlier, from the start.
  void setU16(std::size_t at, unsigned v) { BytePutter(bytes_.data() + at).u16(v); }

  const char* data() const { return bytes_.data(); }
  std::size_t size() const { return size_; }
  void clear() { size_ = 0; }

 private:
  std::vector<char> bytes_;
  std::size_t size_ = 0;
};

}  // namespace hv::biff8
