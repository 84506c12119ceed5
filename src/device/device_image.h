#pragma once
// The meter's memory image: the archives of a download decoded from the
// transfer encoding (each byte travels as two characters, 0x30 + low nibble,
// then 0x30 + high nibble). Plain C++ without Qt: the Windows tests decode with it too.
#include <cstddef>
#include <cstdint>
#include <array>

#include "store/archive_kind_value.h"

namespace hv {

constexpr int kDeviceImageSize = 65536;
constexpr int RecordSize = 14;
// The three archives together never exceed what fits into the image.
constexpr int kMaxDecodedImageLength = kDeviceImageSize - 1;

using DeviceImageBytes = std::array<std::uint8_t, kDeviceImageSize>;

// Byte at p and p+1 of the characters; a value outside 0..255 gives 0.
std::uint8_t DecodeByte(const char* chars, std::ptrdiff_t p);
// 16-bit number at p..p+3 (low byte first), without DecodeByte's cut-off.
std::uint16_t DecodeWord(const char* chars, std::ptrdiff_t p);
// Decodes the characters [first, end) pair by pair into the image from index 0;
// writes (end - first) / 2 bytes, never more than the image holds.
void DecodeImage(const char* chars, std::ptrdiff_t first, std::ptrdiff_t end, DeviceImageBytes& image);

// Little-endian word at an offset of the image; bytes beyond the image read as 0.
std::uint16_t ImageWord(int offset, const DeviceImageBytes& image);

// Offsets of an archive's count and of its first record.
int archiveCountOffset(ArchiveKind kind, const DeviceImageBytes& image);
int archiveCount(ArchiveKind kind, const DeviceImageBytes& image);
int archiveRecordOffset(ArchiveKind kind, int index, const DeviceImageBytes& image);
// 6 + 14 * (N1 + N2 + N3).
int decodedImageLength(const DeviceImageBytes& image);

bool ImageIsEmpty(const DeviceImageBytes& image);

// One 14-byte archive entry.
class DeviceRecord {
 public:
  DeviceRecord() { bytes_.fill(0); }
  explicit DeviceRecord(const std::uint8_t* bytes);

  std::uint16_t moisture() const { return word(0); }  // tenths of a percent
  std::uint16_t minimum() const { return word(2); }
  std::uint16_t maximum() const { return word(4); }
  // Both minimum and maximum 0xFFFF; otherwise a series.
  bool isSingle() const { return minimum() == 0xFFFF && maximum() == 0xFFFF; }
  std::uint8_t materialCode() const { return bytes_[6]; }
  std::uint8_t individualNumber() const { return bytes_[7]; }
  std::uint8_t second() const { return bytes_[8]; }
  std::uint8_t minute() const { return bytes_[9]; }
  std::uint8_t hour() const { return bytes_[10]; }
  std::uint8_t day() const { return bytes_[11]; }
  std::uint8_t month() const { return bytes_[12]; }
  std::uint8_t year() const { return bytes_[13]; }  // year minus 2000, as stored

  const std::array<std::uint8_t, RecordSize>& bytes() const { return bytes_; }

 private:
  std::uint16_t word(int at) const { return std::uint16_t(bytes_[at] | (bytes_[at + 1] << 8)); }
  std::array<std::uint8_t, RecordSize> bytes_;
};

// Record `index` (from 0) of an archive; bytes beyond the image read as 0.
DeviceRecord archiveRecord(ArchiveKind kind, int index, const DeviceImageBytes& image);

// The transfer encoding of bytes, for the simulator and the tests.
void encodeByte(std::uint8_t value, char* out);   // two characters
void encodeWord(std::uint16_t value, char* out);  // four characters

}  // namespace hv
