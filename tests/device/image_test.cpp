// The transfer encoding, the memory image, the material catalogue and the
// port names.
#include <gtest/gtest.h>

#include "device/device_image.h"
#include "device/materials.h"
#include "device/port_names.h"
#include "device_test_support.h"

using namespace hv;

namespace {

// Encodes bytes as the meter sends them.
QByteArray encode(const QByteArray& bytes) {
  QByteArray s(bytes.size() * 2, '0');
  for (int i = 0; i < bytes.size(); ++i) encodeByte(quint8(bytes[i]), s.data() + 2 * i);
  return s;
}

QByteArray record(quint16 w, quint16 mn, quint16 mx, quint8 material, quint8 ind) {
  QByteArray r(RecordSize, '\0');
  r[0] = char(w & 0xFF), r[1] = char(w >> 8);
  r[2] = char(mn & 0xFF), r[3] = char(mn >> 8);
  r[4] = char(mx & 0xFF), r[5] = char(mx >> 8);
  r[6] = char(material), r[7] = char(ind);
  r[8] = 5, r[9] = 6, r[10] = 7, r[11] = 8, r[12] = 9, r[13] = 24;
  return r;
}

QByteArray counted(int n) { return QByteArray(1, char(n & 0xFF)) + QByteArray(1, char(n >> 8)); }

}  // namespace

TEST(TransferEncoding, BytesAndWords) {
  char c[4];
  encodeByte(0xA7, c);
  EXPECT_EQ(c[0], 0x37);
  EXPECT_EQ(c[1], 0x3A);
  encodeWord(0x1234, c);
  EXPECT_EQ(QByteArray(c, 4), QByteArray("\x34\x33\x32\x31"));
  EXPECT_EQ(DecodeByte("\x3F\x3F", 0), 255);
  EXPECT_EQ(DecodeByte("\x30\x30", 0), 0);
  EXPECT_EQ(DecodeByte("\x35\x3A", 0), 0xA5);
  EXPECT_EQ(DecodeByte("xx\x37\x3A", 2), 0xA7);
  EXPECT_EQ(DecodeWord("\x34\x33\x32\x31", 0), 0x1234);
  // Beyond the data range: DecodeByte cuts off, DecodeWord does not.
  EXPECT_EQ(DecodeByte("0A", 0), 0);   // 0x11 * 16 > 255
  EXPECT_EQ(DecodeByte("/0", 0), 0);   // below 0x30
  EXPECT_EQ(DecodeWord("0A00", 0), 17 * 16);
}

TEST(DeviceImage, DecodeEmptyArchivesAndKeepTheRest) {
  DeviceImageBytes image{};
  image.fill(0xAB);
  const QByteArray chars = "S" + QByteArray(12, '0') + "P";
  DecodeImage(chars.constData(), 1, chars.size() - 1, image);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(image[i], 0) << i;
  EXPECT_EQ(image[6], 0xAB);  // beyond the decoded length: untouched
  EXPECT_TRUE(ImageIsEmpty(image));
  EXPECT_EQ(decodedImageLength(image), 6);
  // An odd character count decodes whole pairs only.
  DecodeImage("1232343", 0, 7, image);
  EXPECT_EQ(image[0], 0x21);
  EXPECT_EQ(image[1], 0x23);
  EXPECT_EQ(image[2], 0x43);
  EXPECT_EQ(image[3], 0);  // as the decode before left it
}

TEST(DeviceImage, ArchivePositionsFollowTheCounts) {
  DeviceImageBytes image{};
  // Wood empty, concrete with two records, bulk with one.
  const QByteArray bytes = counted(0) + counted(2) + record(10, 0xFFFF, 0xFFFF, 1, 0) +
                           record(0, 0xFFFF, 250, 2, 3) + counted(1) + record(77, 0xFFFF, 0xFFFF, 7, 0);
  const QByteArray chars = encode(bytes);
  DecodeImage(chars.constData(), 0, chars.size(), image);
  EXPECT_FALSE(ImageIsEmpty(image));
  EXPECT_EQ(archiveCountOffset(ArchiveKind::Concrete, image), 2);
  EXPECT_EQ(archiveCountOffset(ArchiveKind::Bulk, image), 4 + 28);
  EXPECT_EQ(archiveCount(ArchiveKind::Wood, image), 0);
  EXPECT_EQ(archiveCount(ArchiveKind::Concrete, image), 2);
  EXPECT_EQ(archiveCount(ArchiveKind::Bulk, image), 1);
  EXPECT_EQ(decodedImageLength(image), bytes.size());
  EXPECT_EQ(archiveRecordOffset(ArchiveKind::Concrete, 1, image), 4 + 14);

  const DeviceRecord single = archiveRecord(ArchiveKind::Concrete, 0, image);
  EXPECT_TRUE(single.isSingle());
  EXPECT_EQ(single.moisture(), 10);
  EXPECT_EQ(single.materialCode(), 1);
  EXPECT_EQ(single.second(), 5);
  EXPECT_EQ(single.year(), 24);
  // Minimum 0xFFFF with a real maximum is a series (minimum 6553.5 %).
  const DeviceRecord series = archiveRecord(ArchiveKind::Concrete, 1, image);
  EXPECT_FALSE(series.isSingle());
  EXPECT_EQ(series.minimum(), 0xFFFF);
  EXPECT_EQ(series.maximum(), 250);
  EXPECT_EQ(series.individualNumber(), 3);
  EXPECT_EQ(archiveRecord(ArchiveKind::Bulk, 0, image).moisture(), 77);

  // Empty wood and concrete: N3 at offset 4.
  DeviceImageBytes two{};
  const QByteArray onlyBulk = encode(counted(0) + counted(0) + counted(1) + record(5, 1, 2, 0, 0));
  DecodeImage(onlyBulk.constData(), 0, onlyBulk.size(), two);
  EXPECT_EQ(archiveCountOffset(ArchiveKind::Bulk, two), 4);
  EXPECT_EQ(archiveCount(ArchiveKind::Bulk, two), 1);
}

TEST(DeviceImage, ReadsNeverLeaveTheImage) {
  DeviceImageBytes image{};
  image.fill(0xFF);  // counts of 65535 everywhere
  EXPECT_EQ(ImageWord(kDeviceImageSize - 1, image), 0xFF);  // the byte after the end reads as 0
  EXPECT_EQ(ImageWord(-5, image), 0);
  const DeviceRecord far = archiveRecord(ArchiveKind::Bulk, 65534, image);
  EXPECT_EQ(far.moisture(), 0);
}

TEST(MaterialCatalogue, ListsAndLookups) {
  EXPECT_EQ(WoodStandardMaterials().size(), 15);
  EXPECT_EQ(WoodIndividualMaterials().size(), 15);
  EXPECT_EQ(ConcreteStandardMaterials().size(), 13);
  EXPECT_EQ(ConcreteIndividualMaterials().size(), 14);
  EXPECT_EQ(BulkStandardMaterials().size(), 8);
  EXPECT_EQ(BulkIndividualMaterials().size(), 13);

  EXPECT_EQ(MaterialName(ArchiveKind::Wood, 0, 0), QStringLiteral("Сосна 420 кг/м.куб."));
  EXPECT_EQ(MaterialName(ArchiveKind::Wood, 5, 0), QStringLiteral("Древесина"));
  EXPECT_EQ(MaterialName(ArchiveKind::Wood, 0, 14), QStringLiteral("Липа"));
  EXPECT_EQ(MaterialName(ArchiveKind::Concrete, 0, 12), QStringLiteral("Цементно-песчаный раствор"));
  EXPECT_EQ(MaterialName(ArchiveKind::Concrete, 255, 13), QStringLiteral("Пенобетон"));
  EXPECT_EQ(MaterialName(ArchiveKind::Bulk, 0, 7), QStringLiteral("Зола"));
  EXPECT_EQ(MaterialName(ArchiveKind::Bulk, 1, 12), QStringLiteral("Крупа"));

  // The grade letters: Cyrillic Em in rows 0..2, Latin M in row 3.
  const QString row3 = MaterialName(ArchiveKind::Bulk, 0, 3);
  EXPECT_EQ(row3, QStringLiteral("Отсев M2.8"));
  EXPECT_EQ(row3.at(6).unicode(), 0x004D);
  EXPECT_EQ(MaterialName(ArchiveKind::Bulk, 0, 0).at(6).unicode(), 0x041C);

  // Beyond a list: the code in digits, never a neighbour's text.
  EXPECT_EQ(MaterialName(ArchiveKind::Bulk, 0, 8), QStringLiteral("8"));
  EXPECT_EQ(MaterialName(ArchiveKind::Wood, 1, 15), QStringLiteral("15"));
  EXPECT_EQ(MaterialName(ArchiveKind::Concrete, 0, 255), QStringLiteral("255"));
  EXPECT_EQ(MaterialName(archiveKindAt(3), 0, 0), QStringLiteral("0"));

  int longest = 0;
  for (ArchiveKind kind : kArchiveKinds)
    for (int ind : {0, 1})
      for (const QString& s : materialList(kind, ind)) longest = qMax(longest, int(s.size()));
  EXPECT_EQ(longest, 29);
}

TEST(PortNames, MappingAndOrder) {
  EXPECT_EQ(comPortNumber(QStringLiteral("\\\\.\\COM1")), 1);
  EXPECT_EQ(comPortNumber(QStringLiteral("\\\\.\\com38")), 38);
  EXPECT_EQ(comPortNumber(QStringLiteral("COM3")), 0);
  EXPECT_EQ(comPortNumber(QStringLiteral("/dev/ttyS0")), 0);

  EXPECT_EQ(orderSerialDevices({"ttyS10", "ttyS2", "ttyACM0", "ttyUSB11", "ttyUSB2", "tty0", "ttyS0"}),
            QStringList({"ttyUSB2", "ttyUSB11", "ttyACM0", "ttyS0", "ttyS2", "ttyS10"}));

  test::setComPort(7, QStringLiteral("/tmp/somewhere"));
  EXPECT_EQ(devicePathForPort(QStringLiteral("\\\\.\\COM7")), QStringLiteral("/tmp/somewhere"));
  qunsetenv("HYGROVAN_COM7");
  const QStringList present = presentSerialDevices();
  EXPECT_EQ(devicePathForPort(QStringLiteral("\\\\.\\COM7")), present.size() >= 7 ? present.at(6) : QString());
  EXPECT_EQ(devicePathForPort(QStringLiteral("/dev/pts/3")), QStringLiteral("/dev/pts/3"));
}
