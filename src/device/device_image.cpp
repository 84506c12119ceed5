#include "device/device_image.h"

#include <algorithm>

namespace hv {

DeviceImageBytes& DeviceImage() {
  static DeviceImageBytes image{};
  return image;
}

namespace {
int nibblePair(const char* chars, qsizetype p) {
  return (int(quint8(chars[p + 1])) - 0x30) * 16 + (int(quint8(chars[p])) - 0x30);
}
}  // namespace

quint8 DecodeByte(const char* chars, qsizetype p) {
  const int v = nibblePair(chars, p);
  // Characters below 0x30 would give a negative value: treated as out of range too.
  return (v < 0 || v > 255) ? 0 : quint8(v);
}

quint16 DecodeWord(const char* chars, qsizetype p) {
  return quint16(nibblePair(chars, p) + 256 * nibblePair(chars, p + 2));
}

void DecodeImage(const char* chars, qsizetype first, qsizetype end, DeviceImageBytes& image) {
  if (end <= first) return;
  const qsizetype n = std::min<qsizetype>((end - first) / 2, DeviceImageSize);
  for (qsizetype i = 0; i < n; ++i) image[i] = quint8(nibblePair(chars, first + 2 * i));
}

quint16 ImageWord(int offset, const DeviceImageBytes& image) {
  auto at = [&](qint64 i) -> int { return (i >= 0 && i < DeviceImageSize) ? image[i] : 0; };
  return quint16(at(offset) + 256 * at(qint64(offset) + 1));
}

int ArchiveCountOffset(int kind, const DeviceImageBytes& image) {
  int offset = 0;
  for (int k = 0; k < kind && k < 3; ++k) offset += 2 + RecordSize * ImageWord(offset, image);
  return offset;
}

int ArchiveCount(int kind, const DeviceImageBytes& image) {
  return ImageWord(ArchiveCountOffset(kind, image), image);
}

int ArchiveRecordOffset(int kind, int index, const DeviceImageBytes& image) {
  return ArchiveCountOffset(kind, image) + 2 + RecordSize * index;
}

int DecodedImageLength(const DeviceImageBytes& image) {
  return ArchiveCountOffset(2, image) + 2 + RecordSize * ArchiveCount(2, image);
}

bool ImageIsEmpty(const DeviceImageBytes& image) {
  return ArchiveCount(0, image) == 0 && ArchiveCount(1, image) == 0 && ArchiveCount(2, image) == 0;
}

DeviceRecord::DeviceRecord(const quint8* bytes) { std::copy(bytes, bytes + RecordSize, bytes_.begin()); }

DeviceRecord ArchiveRecord(int kind, int index, const DeviceImageBytes& image) {
  const qint64 offset = ArchiveRecordOffset(kind, index, image);
  std::array<quint8, RecordSize> bytes{};
  for (int i = 0; i < RecordSize; ++i) {
    const qint64 at = offset + i;
    bytes[i] = (at >= 0 && at < DeviceImageSize) ? image[at] : 0;
  }
  return DeviceRecord(bytes.data());
}

void EncodeByte(quint8 value, char* out) {
  out[0] = char(0x30 + (value & 0x0F));
  out[1] = char(0x30 + (value >> 4));
}

void EncodeWord(quint16 value, char* out) {
  EncodeByte(quint8(value & 0xFF), out);
  EncodeByte(quint8(value >> 8), out + 2);
}

}  // namespace hv
