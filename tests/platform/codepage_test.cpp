#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace {

TEST(Codepage, EveryByteRoundTripsExceptTheUnassignedOne) {
  for (int b = 0; b < 256; ++b) {
    const QByteArray one(1, static_cast<char>(b));
    const QString text = hv::fromCp1251(one);
    ASSERT_EQ(text.size(), 1);
    if (b == 0x98) {
      EXPECT_EQ(text.at(0).unicode(), 0xFFFD);
      continue;
    }
    EXPECT_EQ(hv::toCp1251(text), one) << "byte " << b;
  }
}

TEST(Codepage, CyrillicLettersAndSigns) {
  EXPECT_EQ(hv::fromCp1251(QByteArray("\xC0\xFF\xA8\xB8\xB9", 5)), QStringLiteral("АяЁё№"));
  EXPECT_EQ(hv::toCp1251(QStringLiteral("Отсев M2.8")), QByteArray("\xCE\xF2\xF1\xE5\xE2 M2.8"));
  // A character outside the code page cannot be stored and becomes '?'.
  EXPECT_EQ(hv::toCp1251(QStringLiteral("a\u4E2Db")), QByteArray("a?b"));
}

}  // namespace
