#include "device/device_image.h"

#include <algorithm>

namespace hv {

namespace {
int nibblePair(const char* chars, std::ptrdiff_t p) {
  return (int(std::uint8_t(chars[p + 1])) - 0x30) * 16 + (int(std::uint8_t(chars[p])) - 0x30);
}
}  // namespace

std::uint8_t DecodeByte(const char* chars, std::ptrdiff_t p) {
  const int v = nibblePair(chars, p);
  // Characters below 0x30 would give a negative value: treated as out of range too.
  return (v < 0 || v > 255) ? 0 : std::uint8_t(v);
}

std::uint16_t DecodeWord(const char* chars, std::ptrdiff_t p) {
  return std::uint16_t(nibblePair(chars, p) + 256 * nibblePair(chars, p + 2));
}

void DecodeImage(const char* chars, std::ptrdiff_t first, std::ptrdiff_t end, DeviceImageBytes& image) {
  if (end <= first) return;
  const std::ptrdiff_t n = std::min<std::ptrdiff_t>((end - first) / 2, kDeviceImageSize);
  for (std::ptrdiff_t i = 0; i < n; ++i) image[i] = std::uint8_t(nibblePair(chars, first + 2 * i));
}

std::uint16_t ImageWord(int offset, const DeviceImageBytes& image) {
  auto at = [&](std::int64_t i) -> int { return (i >= 0 && i < kDeviceImageSize) ? image[i] : 0; };
  return std::uint16_t(at(offset) + 256 * at(std::int64_t(offset) + 1));
}

int archiveCountOffset(ArchiveKind kind, const DeviceImageBytes& image) {
  int offset = 0;
  for (int k = 0; k < archiveNumber(kind) && k < 3; ++k) offset += 2 + RecordSize * ImageWord(offset, image);
  return offset;
}

int archiveCount(ArchiveKind kind, const DeviceImageBytes& image) {
  return ImageWord(archiveCountOffset(kind, image), image);
}

int archiveRecordOffset(ArchiveKind kind, int index, const DeviceImageBytes& image) {
  return archiveCountOffset(kind, image) + 2 + RecordSize * index;
}

int decodedImageLength(const DeviceImageBytes& image) {
  return archiveCountOffset(ArchiveKind::Bulk, image) + 2 + RecordSize * archiveCount(ArchiveKind::Bulk, image);
}

bool ImageIsEmpty(const DeviceImageBytes& image) {
  return std::all_of(kArchiveKinds.begin(), kArchiveKinds.end(),
                     [&](ArchiveKind kind) { return archiveCount(kind, image) == 0; });
}

DeviceRecord::DeviceRecord(const std::uint8_t* bytes) { std::copy(bytes, bytes + RecordSize, bytes_.begin()); }

DeviceRecord archiveRecord(ArchiveKind kind, int index, const DeviceImageBytes& image) {
  const std::int64_t offset = archiveRecordOffset(kind, index, image);
  std::array<std::uint8_t, RecordSize> bytes{};
  for (int i = 0; i < RecordSize; ++i) {
    const std::int64_t at = offset + i;
    bytes[i] = (at >= 0 && at < kDeviceImageSize) ? image[at] : 0;
  }
  return DeviceRecord(bytes.data());
}

void encodeByte(std::uint8_t value, char* out) {
  out[0] = char(0x30 + (value & 0x0F));
  out[1] = char(0x30 + (value >> 4));
}

void encodeWord(std::uint16_t value, char* out) {
  encodeByte(std::uint8_t(value & 0xFF), out);
  encodeByte(std::uint8_t(value >> 8), out + 2);
}

}  // namespace hv
