#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "support/test_support.h"

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

TEST(Codepage, TheTablesOfOtherProgramsCodePagesAgreeWithPythonsCodecs) {
  const auto r = hv::test::runPython(R"(
import sys
for cp in ('cp1251', 'cp866', 'cp1252', 'cp437'):
    sys.stdout.buffer.write(bytes(range(256)).decode(cp, errors='replace').encode('utf-16-le'))
)");
  ASSERT_EQ(r.exitCode, 0) << r.err.constData();
  ASSERT_EQ(r.out.size(), 4 * 256 * 2);
  const hv::CodePage pages[] = {hv::CodePage::Windows1251, hv::CodePage::Dos866, hv::CodePage::Windows1252,
                                hv::CodePage::Dos437};
  for (int p = 0; p < 4; ++p) {
    for (int b = 0; b < 256; ++b) {
      const char16_t want = char16_t(quint8(r.out[(p * 256 + b) * 2]) | quint8(r.out[(p * 256 + b) * 2 + 1]) << 8);
      const QByteArray one(1, char(b));
      ASSERT_EQ(hv::fromCodePage(pages[p], one), QString(QChar(want))) << hv::codePageNumber(pages[p]) << " byte " << b;
      std::string utf8 = "x";
      hv::appendUtf8(pages[p], one, utf8);
      ASSERT_EQ(utf8, "x" + QString(QChar(want)).toStdString()) << hv::codePageNumber(pages[p]) << " byte " << b;
      if (want != 0xFFFD) {
        EXPECT_EQ(hv::toCodePage(pages[p], QString(QChar(want))), one) << hv::codePageNumber(pages[p]);
      }
    }
  }
  EXPECT_EQ(hv::toCodePage(hv::CodePage::Dos866, u"Ёлка №5 €"), QByteArray("\xF0\xAB\xAA\xA0 \xFC\x35 ?"));
}

}  // namespace
