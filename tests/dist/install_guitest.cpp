// `cmake --install` into a fresh prefix: the programs, the user guide where the
// installed program looks for it, the desktop entry, the icons and the
// AppStream data, accepted by the freedesktop validators. And the Debian
// package made of the same files.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QRegularExpression>
#include <QStandardPaths>

#include "platform/help.h"
#include "platform/version.h"
#include "support/measurement_table.h"
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
  // The program and the icon it names are installed; it takes a file, a table.
  const QStringList exec = entry.value(QStringLiteral("Exec")).split(QChar(' '));
  EXPECT_TRUE(QFileInfo(path(QStringLiteral("bin/") + exec.value(0))).isExecutable());
  EXPECT_EQ(exec.value(1), QStringLiteral("%f"));
  EXPECT_EQ(entry.value(QStringLiteral("MimeType")), QStringLiteral("application/x-dbf;"));
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

TEST_F(Installed, TheFileTypeTellsATableByItsStartNotByItsName) {
  const QString update = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
  const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
  const QString system = QStringLiteral("/usr/share/mime/packages/freedesktop.org.xml");
  if (update.isEmpty() || gio.isEmpty() || !QFileInfo::exists(system))
    GTEST_SKIP() << "shared-mime-info or gio (libglib2.0-bin) is not installed";
  // The system's types and ours, in a data folder of the test's own.
  const QString packages = hv::test::testPath(QStringLiteral("share/mime/packages"));
  ASSERT_TRUE(QDir().mkpath(packages));
  ASSERT_TRUE(QFile::copy(system, packages + QStringLiteral("/freedesktop.org.xml")));
  ASSERT_TRUE(QFile::copy(path(QStringLiteral("share/mime/packages/%1.xml").arg(QLatin1String(kAppId))),
                          packages + QStringLiteral("/%1.xml").arg(QLatin1String(kAppId))));
  auto r = hv::test::runProcess(update, {hv::test::testPath(QStringLiteral("share/mime"))});
  ASSERT_EQ(r.exitCode, 0) << r.err.constData();
  const QString table = hv::test::testPath(QStringLiteral("oak.db")),
                other = hv::test::testPath(QStringLiteral("x.db"));
  hv::test::writeTable(table, {hv::test::single(1, 0, "05.03.2024", "10:00:00", "10,0")});
  hv::test::writeFile(other, QByteArray("\x03 not a table at all, only its first byte"));
  const auto type = [&](const QString& file) {
    const QByteArray dirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_DIRS", hv::test::testPath(QStringLiteral("share")).toLocal8Bit());
    const auto info = hv::test::runProcess(
        gio, {QStringLiteral("info"), QStringLiteral("-a"), QStringLiteral("standard::content-type"), file});
    dirs.isNull() ? qunsetenv("XDG_DATA_DIRS") : qputenv("XDG_DATA_DIRS", dirs);
    return QString::fromUtf8(info.out).section(QStringLiteral("content-type: "), 1).trimmed();
  };
  EXPECT_EQ(type(table), QStringLiteral("application/x-dbf"));
  EXPECT_EQ(type(other), QStringLiteral("application/octet-stream"));
}

// The installed programs' --help options, in order of appearance.
QStringList helpOptions(const QString& program, const QStringList& args) {
  const auto r = hv::test::runProcess(program, args);
  EXPECT_EQ(r.exitCode, 0) << program.toStdString() << r.err.constData();
  static const QRegularExpression option(QStringLiteral("^\\s+(?:-\\w, )?(--[a-z-]+)"),
                                         QRegularExpression::MultilineOption);
  QStringList options;
  for (auto m = option.globalMatch(QString::fromUtf8(r.out)); m.hasNext();) options << m.next().captured(1);
  options.removeDuplicates();  // an option named again in a wrapped description
  return options;
}

TEST_F(Installed, ManualPagesRenderWithoutWarningsAndNameEveryOption) {
  const QString man = QStandardPaths::findExecutable(QStringLiteral("man"));
  if (man.isEmpty()) GTEST_SKIP() << "man (man-db) is not installed";
  const QString cli = path(QStringLiteral("bin/hygrovan-cli"));
  QStringList cliOptions = helpOptions(cli, {QStringLiteral("--help")});
  for (const char* command : {"assess", "chart", "download", "dump", "export", "import", "report", "stats"})
    cliOptions += helpOptions(cli, {QString::fromLatin1(command), QStringLiteral("--help")}) << command;
  const QList<std::pair<QString, QStringList>> pages = {
      {QStringLiteral("hygrovan"), helpOptions(path(QStringLiteral("bin/hygrovan")), {QStringLiteral("--help")})},
      {QStringLiteral("hygrovan-cli"), cliOptions},
      {QStringLiteral("hygrovan-meter-sim"),
       helpOptions(path(QStringLiteral("bin/hygrovan-meter-sim")), {QStringLiteral("--help")})}};
  qputenv("MANWIDTH", "80");
  for (const auto& [name, options] : pages) {
    SCOPED_TRACE(name.toStdString());
    const QString page = path(QStringLiteral("share/man/man1/%1.1.gz").arg(name));
    ASSERT_TRUE(QFileInfo::exists(page));
    const auto r = hv::test::runProcess(
        man, {QStringLiteral("--warnings"), QStringLiteral("-E"), QStringLiteral("UTF-8"), QStringLiteral("-l"), page});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
    const QString text = QString::fromUtf8(r.out);
    for (const QString& section : {QStringLiteral("КОД ЗАВЕРШЕНИЯ"), QStringLiteral("ПРИМЕР")})
      EXPECT_TRUE(text.contains(section)) << section.toStdString();
    EXPECT_GE(options.size(), 2);
    for (const QString& option : options) EXPECT_TRUE(text.contains(option)) << option.toStdString();
  }
  qunsetenv("MANWIDTH");
}

TEST_F(Installed, BashCompletesCommandsTheirOptionsAndTheFilesEachPlaceTakes) {
  const QString bash = QStandardPaths::findExecutable(QStringLiteral("bash"));
  ASSERT_FALSE(bash.isEmpty());
  const QString script = path(QStringLiteral("share/bash-completion/completions/hygrovan-cli"));
  ASSERT_TRUE(QFileInfo::exists(script));
  const QString dir = hv::test::testPath(QStringLiteral("files"));
  ASSERT_TRUE(QDir().mkpath(dir + QStringLiteral("/sub")));
  for (const char* file : {"a.db", "b.xls", "c.pdf", "d.png", "e.bin", "f.txt"})
    hv::test::writeFile(dir + QChar('/') + QString::fromLatin1(file), "x");
  // Each line: the words so far; the answer is what the completion offers.
  const auto complete = [&](const QString& words) {
    const auto r = hv::test::runProcess(
        bash, {QStringLiteral("-c"),
               QStringLiteral("cd \"$1\" && source \"$2\" && COMP_WORDS=($3) && COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) "
                              "&& [[ $3 == *' ' ]] && COMP_WORDS+=('') && COMP_CWORD=$((COMP_CWORD + 1)); "
                              "_hygrovan_cli; printf '%s\\n' \"${COMPREPLY[@]}\" | sort | paste -sd' '"),
               QStringLiteral("bash"), dir, script, words});
    return QString::fromUtf8(r.out).trimmed();
  };
  EXPECT_EQ(complete(QStringLiteral("hygrovan-cli ex")), QStringLiteral("export"));
  EXPECT_EQ(complete(QStringLiteral("hygrovan-cli export ")), QStringLiteral("a.db sub/"));
  EXPECT_EQ(complete(QStringLiteral("hygrovan-cli export a.db ")), QStringLiteral("b.xls sub/"));
  EXPECT_EQ(complete(QStringLiteral("hygrovan-cli chart a.db --archive 0 ")), QStringLiteral("c.pdf d.png sub/"));
  EXPECT_EQ(complete(QStringLiteral("hygrovan-cli report --archive ")), QStringLiteral("0 1 2"));
  EXPECT_EQ(complete(QStringLiteral("hygrovan-cli import --image ")), QStringLiteral("e.bin sub/"));
  EXPECT_EQ(complete(QStringLiteral("hygrovan-cli assess a.db --norm x --pdf ")), QStringLiteral("c.pdf sub/"));
  EXPECT_EQ(complete(QStringLiteral("hygrovan-cli assess --json --rows 1 ")), QStringLiteral("a.db sub/"));
  EXPECT_EQ(complete(QStringLiteral("hygrovan-cli chart a.db --curves W,Wm")), QStringLiteral("W,Wmax W,Wmin"));
  // Every option each command's help names, and no other.
  const QString cli = path(QStringLiteral("bin/hygrovan-cli"));
  for (const char* command : {"assess", "chart", "download", "dump", "export", "import", "report", "stats"}) {
    QStringList options = helpOptions(cli, {QString::fromLatin1(command), QStringLiteral("--help")});
    options.sort();
    EXPECT_EQ(complete(QStringLiteral("hygrovan-cli %1 --").arg(QLatin1String(command))), options.join(QChar(' ')))
        << command;
  }
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
  for (const char* file :
       {"./usr/bin/hygrovan", "./usr/bin/hygrovan-cli", "./usr/bin/hygrovan-meter-sim",
        "./usr/share/doc/hygrovan/hygrovan.html", "./usr/share/doc/hygrovan/chart-forecast.png",
        "./usr/share/doc/hygrovan/copyright",
        "./usr/share/applications/ru.brantel.hygrovan.desktop", "./usr/share/metainfo/ru.brantel.hygrovan.metainfo.xml",
        "./usr/share/icons/hicolor/scalable/apps/hygrovan.svg", "./usr/share/icons/hicolor/48x48/apps/hygrovan.png",
        "./usr/share/man/man1/hygrovan-cli.1.gz", "./usr/share/man/man1/hygrovan.1.gz",
        "./usr/share/man/man1/hygrovan-meter-sim.1.gz", "./usr/share/bash-completion/completions/hygrovan-cli",
        "./usr/share/mime/packages/ru.brantel.hygrovan.xml", "./usr/share/doc/hygrovan/changelog.gz"})
    EXPECT_TRUE(r.out.contains(file)) << file;

  const QString lintian = QStandardPaths::findExecutable(QStringLiteral("lintian"));
  if (lintian.isEmpty()) GTEST_SKIP() << "lintian is not installed";
  // Neither errors nor warnings; remarks at information level may stay.
  r = hv::test::runProcess(lintian, {deb}, 600000);
  EXPECT_EQ(r.exitCode, 0) << r.out.constData() << r.err.constData();
  for (const QByteArray& line : r.out.split('\n'))
    EXPECT_FALSE(line.startsWith("E: ") || line.startsWith("W: ")) << line.constData();
}

}  // namespace
