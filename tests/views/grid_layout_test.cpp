// The stored column layout: what is written reads back, anything else is refused.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "platform/error.h"
#include "views/grid_layout.h"

namespace {

QList<hv::ColumnLayout> sample() {
  hv::ColumnLayout a;
  a.fieldName = QStringLiteral("N");
  a.width = 76;
  a.index = 0;
  hv::ColumnLayout b;
  b.fieldName = QStringLiteral("W");
  b.width = 120;
  b.index = 3;
  b.titleState = hv::TitleState::Down;
  b.sortOrder = 1;
  b.color = QColor(0x12, 0xab, 0xef);
  b.alignment = hv::ColumnAlignment::Right;
  b.font = QStringLiteral("Liberation Sans,9,-1,5,400,0,0,0,0,0,0,0,0,0,0,1,'quoted'");
  b.options = 5;
  b.footerState = 2;
  return {a, b};
}

TEST(GridLayout, WritesCrLfAndReadsItselfBack) {
  const QString text = hv::writeLayout(sample());
  EXPECT_TRUE(text.startsWith(QStringLiteral("object TLayoutStorage\r\n")));
  EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("[^\r]\n"))));
  EXPECT_TRUE(text.contains(QStringLiteral("Color = clNone")));
  EXPECT_EQ(hv::readLayout(text), sample());
  // Line ends changed on the way (an editor, another platform) are normalised.
  QString lf = text;
  lf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  EXPECT_EQ(hv::normaliseLineEnds(lf), text);
  EXPECT_EQ(hv::readLayout(lf), sample());
  EXPECT_TRUE(hv::readLayout(hv::writeLayout({})).isEmpty());
}

TEST(GridLayout, RefusesWhatItDidNotWrite) {
  const QString good = hv::writeLayout(sample());
  const QStringList bad = {
      QString(),
      QStringLiteral("garbage"),
      good.left(good.size() / 2),                                        // cut short
      QString(good).replace(QStringLiteral("Width = 120"), QStringLiteral("Width = x")),
      QString(good).replace(QStringLiteral("Width = 120"), QStringLiteral("Width = -5")),
      QString(good).replace(QStringLiteral("tsSortedDown"), QStringLiteral("tsSideways")),
      QString(good).replace(QStringLiteral("#12abef"), QStringLiteral("#12abzz")),
      QString(good).replace(QStringLiteral("FieldName = 'W'"), QStringLiteral("FieldName = 'W")),
      QString(good).replace(QStringLiteral("FieldName = 'N'"), QStringLiteral("Bogus = 1")),
      good + QStringLiteral("trailing\r\n"),
  };
  for (const QString& text : bad) {
    EXPECT_THROW(hv::readLayout(text), hv::Error) << text.toStdString();
  }
}

}  // namespace
