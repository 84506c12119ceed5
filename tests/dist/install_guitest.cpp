// `cmake --install` into a fresh prefix: the programs, the user guide where the
// installed program looks for it, the desktop entry, the icons and the
// AppStream data, accepted by the freedesktop validators. And the Debian
// package made of the same files.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QStandardPaths>

#include "platform/help.h"
#include "platform/version.h"
#include "support/test_support.h"

namespace {

const char* const kAppId = "ru.brantel.hygrovan";

class Installed : public ::testing::Test {
 protected:
  void SetUp() override {
    const QString cmake = QStandardPaths::findExecutable(QStringLiteral("cmake"));
    ASSERT_FALSE(cmake.isEmpty());
    prefix_ = hv::test::testPath(QStringLiteral("prefix"));
    const auto r = hv::test::runProcess(
        cmake, {QStringLiteral("--install"), hv::test::binaryDir(), QStringLiteral("--prefix"), prefix_}, 120000);
    ASSERT_EQ(r.exitCode, 0) << r.out.constData() << r.err.constData();
  }
  QString path(const QString& relative) const { return prefix_ + QChar('/') + relative; }

  QString prefix_;
};

TEST_F(Installed, ProgramsRunAndFindTheirGuide) {
  for (const char* name : {"hygrovan", "hygrovan-cli", "hygrovan-meter-sim"}) {
    const QFileInfo exe(path(QStringLiteral("bin/") + QString::fromLatin1(name)));
    EXPECT_TRUE(exe.isFile() && exe.isExecutable()) << name;
  }
  const auto r = hv::test::runProcess(path(QStringLiteral("bin/hygrovan-cli")), {QStringLiteral("--version")});
  EXPECT_EQ(r.exitCode, 0) << r.err.constData();
  EXPECT_TRUE(QString::fromUtf8(r.out).contains(hv::builtInFileVersion())) << r.out.constData();

  // The help command looks from the folder of the running program.
  const QString guide = path(QStringLiteral("share/doc/hygrovan/hygrovan.html"));
  ASSERT_TRUE(QFileInfo::exists(guide));
  EXPECT_EQ(QFileInfo(hv::findHelpFile(path(QStringLiteral("bin")))).canonicalFilePath(),
            QFileInfo(guide).canonicalFilePath());
  EXPECT_EQ(hv::test::readFile(guide), hv::test::readFile(hv::test::sourceDir() + QStringLiteral("/docs/hygrovan.html")));

  // Debian's machine-readable copyright file: the format line, then a
  // paragraph for all files with their copyright and licence.
  const QByteArray copyright = hv::test::readFile(path(QStringLiteral("share/doc/hygrovan/copyright")));
  EXPECT_TRUE(copyright.startsWith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"));
  EXPECT_TRUE(copyright.contains("\n\nFiles: *\nCopyright: ") && copyright.contains("\nLicense: "))
      << copyright.constData();
}

TEST_F(Installed, DesktopEntryIconsAndAppStreamDataFitTogether) {
  const QString desktop = path(QStringLiteral("share/applications/%1.desktop").arg(QLatin1String(kAppId)));
  const QString metainfo = path(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(QLatin1String(kAppId)));
  ASSERT_TRUE(QFileInfo::exists(desktop));
  ASSERT_TRUE(QFileInfo::exists(metainfo));

  QHash<QString, QString> entry;
  for (const QByteArray& line : hv::test::readFile(desktop).split('\n')) {
    const qsizetype eq = line.indexOf('=');
    if (eq > 0) entry.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
  }
  EXPECT_EQ(entry.value(QStringLiteral("Name")), QStringLiteral("Hygrovan-RX3"));
  // One main category, so menus list the program once.
  EXPECT_EQ(entry.value(QStringLiteral("Categories")), QStringLiteral("Science;Engineering;DataVisualization;"));
  // The program and the icon it names are installed.
  EXPECT_TRUE(QFileInfo(path(QStringLiteral("bin/") + entry.value(QStringLiteral("Exec")))).isExecutable());
  const QString icon = entry.value(QStringLiteral("Icon"));
  EXPECT_TRUE(QFileInfo::exists(path(QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(icon))));
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    const QString png = path(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(icon));
    const QImage image(png);
    ASSERT_FALSE(image.isNull()) << png.toStdString();
    EXPECT_EQ(image.size(), QSize(size, size)) << png.toStdString();
  }
  // The AppStream data launches this desktop entry and names this version.
  EXPECT_TRUE(hv::test::readFile(metainfo).contains(
      QStringLiteral("<launchable type=\"desktop-id\">%1.desktop</launchable>").arg(QLatin1String(kAppId)).toUtf8()));
  EXPECT_TRUE(hv::test::readFile(metainfo).contains(
      QStringLiteral("<release version=\"%1\"").arg(hv::builtInFileVersion()).toUtf8()));

  const QString desktopValidate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
  const QString appstream = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
  if (desktopValidate.isEmpty() || appstream.isEmpty())
    GTEST_SKIP() << "desktop-file-validate (desktop-file-utils) or appstreamcli (appstream) is not installed";
  auto r = hv::test::runProcess(desktopValidate, {desktop});
  EXPECT_EQ(r.exitCode, 0) << r.out.constData() << r.err.constData();
  EXPECT_TRUE(r.out.trimmed().isEmpty()) << r.out.constData();  // not even a hint
  r = hv::test::runProcess(appstream, {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo});
  EXPECT_EQ(r.exitCode, 0) << r.out.constData() << r.err.constData();
}

TEST(DebianPackage, DependsOnQtAndHoldsTheInstalledFiles) {
  const QString cpack = QStandardPaths::findExecutable(QStringLiteral("cpack"));
  const QString dpkgDeb = QStandardPaths::findExecutable(QStringLiteral("dpkg-deb"));
  if (cpack.isEmpty() || dpkgDeb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("dpkg-shlibdeps")).isEmpty())
    GTEST_SKIP() << "cpack, dpkg-deb or dpkg-shlibdeps (dpkg-dev) is not installed";
  const QString out = hv::test::testPath(QStringLiteral("package"));
  auto r = hv::test::runProcess(cpack,
                                {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                                 hv::test::binaryDir() + QStringLiteral("/CPackConfig.cmake"), QStringLiteral("-B"), out},
                                300000);
  ASSERT_EQ(r.exitCode, 0) << r.out.constData() << r.err.constData();
  const QStringList debs = QDir(out).entryList({QStringLiteral("hygrovan_%1_*.deb").arg(hv::builtInFileVersion())});
  ASSERT_EQ(debs.size(), 1) << r.out.constData();
  const QString deb = out + QChar('/') + debs.first();

  r = hv::test::runProcess(dpkgDeb, {QStringLiteral("--field"), deb, QStringLiteral("Depends")});
  ASSERT_EQ(r.exitCode, 0) << r.err.constData();
  const QString depends = QString::fromUtf8(r.out);
  for (const char* lib : {"libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6printsupport6", "libqt6charts6",
                          "qt6-qpa-plugins", "qt6-translations-l10n", "libstdc++6"})
    EXPECT_TRUE(depends.contains(QString::fromLatin1(lib))) << lib << " missing from " << r.out.constData();
  r = hv::test::runProcess(dpkgDeb, {QStringLiteral("--field"), deb, QStringLiteral("Recommends")});
  EXPECT_TRUE(r.out.contains("xdg-utils")) << r.out.constData();  // opens the user guide

  r = hv::test::runProcess(dpkgDeb, {QStringLiteral("--contents"), deb});
  ASSERT_EQ(r.exitCode, 0) << r.err.constData();
  for (const char* file : {"./usr/bin/hygrovan", "./usr/bin/hygrovan-cli", "./usr/bin/hygrovan-meter-sim",
                           "./usr/share/doc/hygrovan/hygrovan.html", "./usr/share/doc/hygrovan/copyright",
                           "./usr/share/applications/ru.brantel.hygrovan.desktop",
                           "./usr/share/metainfo/ru.brantel.hygrovan.metainfo.xml",
                           "./usr/share/icons/hicolor/scalable/apps/hygrovan.svg",
                           "./usr/share/icons/hicolor/48x48/apps/hygrovan.png"})
    EXPECT_TRUE(r.out.contains(file)) << file;
}

}  // namespace
