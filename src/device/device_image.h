#pragma once
// The meter's memory image: the archives of a download decoded from the
// transfer encoding (each byte travels as two characters, 0x30 + low nibble,
// then 0x30 + high nibble).
#include <QtGlobal>
#include <array>

namespace hv {

constexpr int DeviceImageSize = 65536;
constexpr int RecordSize = 14;
// The three archives together never exceed what fits into the image.
constexpr int MaxDecodedImageLength = DeviceImageSize - 1;

using DeviceImageBytes = std::array<quint8, DeviceImageSize>;

// The program-wide image: starts as zeros, written only by a completed download.
DeviceImageBytes& DeviceImage();

// Byte at p and p+1 of the characters; a value outside 0..255 gives 0.
quint8 DecodeByte(const char* chars, qsizetype p);
// 16-bit number at p..p+3 (low byte first), without DecodeByte's cut-off.
quint16 DecodeWord(const char* chars, qsizetype p);
// Decodes the characters [first, end) pair by pair into the image from index 0;
// writes (end - first) / 2 bytes, never more than the image holds.
void DecodeImage(const char* chars, qsizetype first, qsizetype end, DeviceImageBytes& image = DeviceImage());

// Little-endian word at an offset of the image; bytes beyond the image read as 0.
quint16 ImageWord(int offset, const DeviceImageBytes& image = DeviceImage());

// Offsets of an archive's count and of its first record (kind 0 wood, 1 concrete, 2 bulk).
int ArchiveCountOffset(int kind, const DeviceImageBytes& image = DeviceImage());
int ArchiveCount(int kind, const DeviceImageBytes& image = DeviceImage());
int ArchiveRecordOffset(int kind, int index, const DeviceImageBytes& image = DeviceImage());
// 6 + 14 * (N1 + N2 + N3).
int DecodedImageLength(const DeviceImageBytes& image = DeviceImage());

bool ImageIsEmpty(const DeviceImageBytes& image = DeviceImage());

// One 14-byte archive entry.
class DeviceRecord {
 public:
  DeviceRecord() { bytes_.fill(0); }
  explicit DeviceRecord(const quint8* bytes);

  quint16 moisture() const { return word(0); }  // tenths of a percent
  quint16 minimum() const { return word(2); }
  quint16 maximum() const { return word(4); }
  // Both minimum and maximum 0xFFFF; otherwise a series.
  bool isSingle() const { return minimum() == 0xFFFF && maximum() == 0xFFFF; }
  quint8 materialCode() const { return bytes_[6]; }
  quint8 individualNumber() const { return bytes_[7]; }
  quint8 second() const { return bytes_[8]; }
  quint8 minute() const { return bytes_[9]; }
  quint8 hour() const { return bytes_[10]; }
  quint8 day() const { return bytes_[11]; }
  quint8 month() const { return bytes_[12]; }
  quint8 year() const { return bytes_[13]; }  // year minus 2000, as stored

  const std::array<quint8, RecordSize>& bytes() const { return bytes_; }

 private:
  quint16 word(int at) const { return quint16(bytes_[at] | (bytes_[at + 1] << 8)); }
  std::array<quint8, RecordSize> bytes_;
};

// Record `index` (from 0) of an archive; bytes beyond the image read as 0.
DeviceRecord ArchiveRecord(int kind, int index, const DeviceImageBytes& image = DeviceImage());

// The transfer encoding of bytes, for the simulator and the tests.
void EncodeByte(quint8 value, char* out);   // two characters
void EncodeWord(quint16 value, char* out);  // four characters

}  // namespace hv
