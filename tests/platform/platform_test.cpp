#include <gtest/gtest.h>

#include <QFile>

#include "platform/error.h"
#include "platform/regional.h"
#include "platform/settings.h"
#include "platform/version.h"
#include "support/test_support.h"

namespace {

TEST(DefaultErrorReport, FullStopAppendedOnlyAfterCharactersSortingAfterIt) {
  EXPECT_EQ(hv::defaultErrorReportText(QStringLiteral("abc")), QStringLiteral("abc."));
  EXPECT_EQ(hv::defaultErrorReportText(QStringLiteral("done.")), QStringLiteral("done."));
  EXPECT_EQ(hv::defaultErrorReportText(QStringLiteral("ask?")), QStringLiteral("ask?."));  // '?' sorts after '.'
  EXPECT_EQ(hv::defaultErrorReportText(QStringLiteral("bang!")), QStringLiteral("bang!"));  // '!' sorts before
  EXPECT_EQ(hv::defaultErrorReportText(QStringLiteral("x,")), QStringLiteral("x,"));
  EXPECT_EQ(hv::defaultErrorReportText(QStringLiteral("9")), QStringLiteral("9."));
  EXPECT_EQ(hv::defaultErrorReportText(QStringLiteral("Ошибка")), QStringLiteral("Ошибка."));
  EXPECT_EQ(hv::defaultErrorReportText(QString()), QString());
}

TEST(Settings, ValuesLiveInTheRelocatedUserFolderUnderTheKeyPath) {
  {
    hv::SettingsKey key;
    key.open();
    EXPECT_FALSE(key.hasValue(QStringLiteral("Default_dir")));
    key.writeString(QStringLiteral("Default_dir"), QStringLiteral("/data/oak"));
  }
  const QString path = hv::SettingsKey::location();
  EXPECT_TRUE(path.startsWith(hv::test::testDir())) << path.toStdString();
  const QByteArray file = hv::test::readFile(path);
  EXPECT_TRUE(file.contains("Brantel")) << file.constData();
  hv::SettingsKey again;
  again.open();
  EXPECT_EQ(again.readString(QStringLiteral("Default_dir")), QStringLiteral("/data/oak"));
}

TEST(Regional, OverrideWinsUntilCleared) {
  hv::setDecimalSeparatorOverride(QChar(','));
  EXPECT_EQ(hv::decimalSeparator(), QChar(','));
  hv::setDecimalSeparatorOverride(QChar('.'));
  EXPECT_EQ(hv::decimalSeparator(), QChar('.'));
  hv::setDecimalSeparatorOverride(QChar());
}

TEST(Version, BuiltInVersion) { EXPECT_EQ(hv::fileVersion(QString()), QStringLiteral("1.0.0.8")); }

}  // namespace
