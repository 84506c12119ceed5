// hygrovan-cli as a whole: its command lines, the outputs it refuses, what it
// leaves alone, how it reports failures and which file names it takes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <optional>

#include "import/import_images.h"
#include "store/db_table.h"
#include "support/measurement_table.h"
#include "support/test_support.h"

namespace {

using hv::test::single;
using hv::test::testPath;

hv::test::ProcessResult cli(const QStringList& args) {
  qputenv("HYGROVAN_DECIMAL_SEPARATOR", ",");  // as the tables below are written
  return hv::test::runProcess(hv::test::toolPath(QStringLiteral("hygrovan-cli")), args);
}

QString makeTable(const QString& path) {
  hv::test::writeTable(path,
                       {single(1, 0, "05.03.2024", "10:00:00", "10,0"), single(2, 0, "06.03.2024", "11:00:00", "9,5"),
                        single(1, 1, "07.03.2024", "12:00:00", "12,5")});
  return path;
}

// Two wood records of 2030, newer than the table's rows.
QString makeImage(const QString& path) {
  QList<hv::test::Rec> wood = {hv::test::at(1, 0), hv::test::at(2, 0)};
  for (hv::test::Rec& r : wood) r.year = 30;
  const auto image = hv::test::makeImage({wood, {}, {}});
  hv::test::writeFile(path, hv::test::imageBytes(*image));
  return path;
}

QStringList errLines(const hv::test::ProcessResult& r) {
  return QString::fromUtf8(r.err).split(QChar('\n'));
}

// Runs the cli with `folder` (for it alone) on what `mount` makes there, a
// shell command naming the folder "$0"; nothing where no mount can be made.
std::optional<hv::test::ProcessResult> cliOnMount(const QString& mount, const QString& folder,
                                                  const QStringList& args) {
  if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty()) return std::nullopt;
  qputenv("HYGROVAN_DECIMAL_SEPARATOR", ",");
  const auto r = hv::test::runProcess(
      QStringLiteral("unshare"), QStringList{"-m", "sh", "-c", mount + QStringLiteral(" || exit 99; exec \"$@\""), folder,
                                             hv::test::toolPath(QStringLiteral("hygrovan-cli"))} + args);
  if (r.exitCode == 99) return std::nullopt;
  return r;
}

const QStringList kCommands = {"assess", "chart", "download", "dump", "export", "import", "report", "stats"};

TEST(CliCommandLine, EveryCommandHasItsHelpAndRefusesWhatItDoesNotKnow) {
  const auto top = cli({"--help"});
  EXPECT_EQ(top.exitCode, 0);
  for (const QString& name : kCommands) {
    SCOPED_TRACE(name.toStdString());
    EXPECT_TRUE(QString::fromUtf8(top.out).contains(QStringLiteral("\n  ") + name + QChar(' ')));
    const auto help = cli({name, "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Использование: hygrovan-cli ").toUtf8() + name.toUtf8() + " "))
        << help.out.constData();
    const auto bad = cli({name, "--no-such-option"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains("no-such-option")) << bad.err.constData();
    EXPECT_TRUE(bad.out.isEmpty());
  }
  EXPECT_TRUE(cli({"download", "--help"}).out.contains("--timeout <SECONDS>"));
  EXPECT_EQ(cli({"download", "--port", "/nonexistent", "--image", "x.bin", "--timeout", "0"}).exitCode, 2);
  EXPECT_EQ(cli({"no-such-command"}).exitCode, 2);
  EXPECT_EQ(cli({}).exitCode, 2);

  const auto sim = hv::test::runProcess(hv::test::toolPath(QStringLiteral("hygrovan-meter-sim")), {"--help"});
  EXPECT_EQ(sim.exitCode, 0);
  EXPECT_TRUE(sim.out.contains("--pace")) << sim.out.constData();
  EXPECT_EQ(
      hv::test::runProcess(hv::test::toolPath(QStringLiteral("hygrovan-meter-sim")), {"--generate", "1,2"}).exitCode,
      2);
}

// The words of a text left once the names in it are taken out: option names,
// placeholders, file names and paths, the programs', commands' and Excel's names, the
// curves' names, and names quoted back from the command line.
QStringList latinWords(const QString& text) {
  static const QRegularExpression names(QStringLiteral(
      R"(--?[a-z][a-z0-9-]*|<[^>]*>|«[^»]*»|"[^"]*"|\S*\.(?:db|xls|pdf|png|bin|csv|bak|conf)\b|(?:/[\w.*-]+)+|)"
      R"([Hh]ygrovan(?:-cli|-meter-sim|-RX3)?|\bExcel\b|\d+x\d+|[A-Z]+x[A-Z]+|\bW(?:min|max)\b|)"
      R"(\b(?:assess|chart|download|dump|export|import|report|stats|xls|csv|excel|analysis)\b)"));
  static const QRegularExpression word(QStringLiteral("[A-Za-z]*[a-z][A-Za-z]*"));
  QStringList words;
  for (QString line : text.split(QChar('\n'))) {
    line.remove(names);
    for (auto m = word.globalMatch(line); m.hasNext();) words << m.next().captured();
  }
  return words;
}

TEST(CliCommandLine, HelpUsageAndArgumentErrorsAreRussian) {
  const QString sim = hv::test::toolPath(QStringLiteral("hygrovan-meter-sim"));
  QList<std::pair<QString, QByteArray>> texts = {{"--help", cli({"--help"}).out},
                                                 {"(none)", cli({}).out},
                                                 {"no-such-command", cli({"no-such-command"}).err},
                                                 {"sim --help", hv::test::runProcess(sim, {"--help"}).out},
                                                 {"sim --seed", hv::test::runProcess(sim, {"--seed", "99999999999"}).err}};
  for (const QString& name : kCommands) {
    texts.append({name + " --help", cli({name, "--help"}).out});
    texts.append({name + " --bad", cli({name, "--bad"}).err});
    texts.append({name, cli({name}).err});
  }
  texts.append({"stats --rows x", cli({"stats", "t.db", "--archive", "0", "--rows", "x"}).err});
  texts.append(
      {"chart --size",
       cli({"chart", "t.db", "--archive", "0", "--rows", "1", "--curves", "W", "--size", "1x1", "o.png"}).err});
  for (const auto& [what, text] : texts) {
    SCOPED_TRACE(what.toStdString());
    EXPECT_FALSE(text.isEmpty());
    EXPECT_EQ(latinWords(QString::fromUtf8(text)), QStringList()) << text.constData();
  }
  // The check itself sees an English word among the names.
  EXPECT_EQ(latinWords(QStringLiteral("  --rows <LIST>  Rows of OUT.pdf")), QStringList({"Rows", "of"}));
}

TEST(CliOutputs, AnOutputThatIsAnInputIsRefusedBeforeAnythingIsWritten) {
  const QString table = makeTable(testPath(QStringLiteral("t.db")));
  const QString image = makeImage(testPath(QStringLiteral("i.bin")));
  ASSERT_TRUE(QFile::link(table, testPath(QStringLiteral("soft.db"))));
  ASSERT_EQ(
      ::link(QFile::encodeName(table).constData(), QFile::encodeName(testPath(QStringLiteral("hard.png"))).constData()),
      0);
  ASSERT_TRUE(QDir().mkdir(testPath(QStringLiteral("sub"))));
  const QByteArray tableBytes = hv::test::readFile(table), imageBytes = hv::test::readFile(image);

  const QList<QStringList> refused = {
      {"export", "t.db", "t.db"},
      {"export", "t.db", "./sub/../soft.db"},
      {"report", "t.db", "--archive", "0", "soft.db"},
      {"chart", "t.db", "--archive", "0", "--rows", "1", "--curves", "W", "hard.png"},
      {"assess", "t.db", "--archive", "0", "--min-count", "1", "--pdf", "soft.db"},
      {"import", "--image", "i.bin", "--create", "./i.bin"},
      {"import", "--image", "t.db", "--append", "t.db"},
      // Checked before the port is even tried, so no meter is needed.
      {"download", "--port", "/nonexistent/port", "--image", "t.db", "--append", "soft.db"},
      {"download", "--port", "/nonexistent/port", "--image", "new.db", "--create", "sub/../new.db"},
  };
  for (const QStringList& args : refused) {
    SCOPED_TRACE(args.join(' ').toStdString());
    const auto r = cli(args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("один и тот же файл"))) << r.err.constData();
  }
  EXPECT_EQ(hv::test::readFile(table), tableBytes);
  EXPECT_EQ(hv::test::readFile(image), imageBytes);
  EXPECT_FALSE(QFileInfo::exists(testPath(QStringLiteral("new.db"))));
  // A different file of the same name elsewhere is no clash.
  EXPECT_EQ(cli({"export", "t.db", "sub/t.db"}).exitCode, 0);
}

TEST(CliReadOnly, CommandsThatOnlyReadLeaveTheTableAndItsFolderAlone) {
  const QString dir = testPath(QStringLiteral("ro"));
  ASSERT_TRUE(QDir().mkdir(dir));
  const QString table = makeTable(dir + QStringLiteral("/t.db"));
  // Root writes through file modes, but not into a folder where the index file should go.
  ASSERT_TRUE(QDir().mkdir(dir + QStringLiteral("/t.mdx")));
  ASSERT_EQ(::chmod(QFile::encodeName(table).constData(), 0444), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(dir).constData(), 0555), 0);
  const QByteArray before = hv::test::readFile(table);
  const QDateTime modified = QFileInfo(table).lastModified();

  const QList<QStringList> reads = {
      {"report", table, "--archive", "0", "--sort", "W", "--desc", "r.pdf"},
      {"report", table, "--archive", "1", "r1.pdf"},
      {"chart", table, "--archive", "0", "--rows", "1-2", "--curves", "W", "c.png"},
      {"export", table, "e.xls"},
      {"export", table, "e.csv", "--format", "csv"},
      {"stats", table, "--archive", "0", "--sort", "DATE", "--rows", "1"},
      {"dump", table, "--sort", "N", "--desc"},
      {"assess", table, "--archive", "0", "--sort", "W", "--min-count", "1", "--pdf", "a.pdf"},
  };
  for (const QStringList& args : reads) {
    const auto r = cli(args);
    EXPECT_EQ(r.exitCode, 0) << args.join(' ').toStdString() << "\n" << r.err.constData();
  }
  EXPECT_EQ(hv::test::readFile(table), before);
  EXPECT_EQ(QFileInfo(table).lastModified(), modified);
  EXPECT_EQ(QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList({"t.db", "t.mdx"}));
  EXPECT_TRUE(QDir(dir + QStringLiteral("/t.mdx")).isEmpty());
  ::chmod(QFile::encodeName(dir).constData(), 0755);  // so that the test folder can be removed
}

TEST(CliErrors, EveryCommandSaysATableIsDamagedOrInUseInTheProgramsWords) {
  const QString image = makeImage(testPath(QStringLiteral("i.bin")));
  const QString damaged = testPath(QStringLiteral("damaged.db"));
  hv::test::writeFile(damaged, hv::test::readFile(makeTable(damaged)).left(100));
  const QString held = makeTable(testPath(QStringLiteral("held.db")));
  hv::TDbTable holder;
  holder.setFileName(held);
  holder.open();

  const auto commandsOn = [&](const QString& db) {
    return QList<QStringList>{{"dump", db},
                              {"stats", db, "--archive", "0", "--rows", "1"},
                              {"export", db, "o.xls"},
                              {"report", db, "--archive", "0", "o.pdf"},
                              {"chart", db, "--archive", "0", "--rows", "1", "--curves", "W", "o.png"},
                              {"import", "--image", image, "--append", db}};
  };
  for (const auto& [db, headline] : {std::pair{damaged, QStringLiteral("База данных повреждена !")},
                                     std::pair{held, QStringLiteral("База данных открыта другой программой.")}}) {
    for (const QStringList& args : commandsOn(db)) {
      SCOPED_TRACE(args.join(' ').toStdString());
      const auto r = cli(args);
      EXPECT_EQ(r.exitCode, 1);
      const QStringList lines = errLines(r);
      ASSERT_GE(lines.size(), 2) << r.err.constData();
      EXPECT_EQ(lines[0], headline);
      EXPECT_FALSE(lines[1].isEmpty()) << r.err.constData();  // the engine's detail
    }
  }
  EXPECT_FALSE(QFileInfo::exists(QStringLiteral("o.xls")) || QFileInfo::exists(QStringLiteral("o.pdf")) ||
               QFileInfo::exists(QStringLiteral("o.png")));
  EXPECT_EQ(holder.recordCount(), 3);
}

TEST(CliExport, CsvGoesToAFileForEachArchiveOrToTheOneNamed) {
  const QString table = makeTable(testPath(QStringLiteral("t.db")));
  EXPECT_EQ(cli({"export", table, "all.csv", "--format", "csv"}).exitCode, 0);
  for (const char* name : {"all_Древесные.csv", "all_Бетонные.csv", "all_Сыпучие.csv"})
    EXPECT_TRUE(hv::test::readFile(testPath(QString::fromUtf8(name))).startsWith("\xEF\xBB\xBFN;")) << name;

  const auto one = cli({"export", table, "one.csv", "--format", "CSV", "--archive", "1", "--preset", "analysis"});
  EXPECT_EQ(one.exitCode, 0) << one.err.constData();
  const QList<QByteArray> lines = hv::test::readFile(testPath(QStringLiteral("one.csv"))).split('\n');
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[1].startsWith("1,07.03.2024,12:00:00,2024-03-07T12:00:00,12.5,,,")) << lines[1].constData();

  for (const QStringList& bad : {QStringList{"export", table, "x.csv", "--format", "csv", "--preset", "calc"},
                                 QStringList{"export", table, "x.csv", "--format", "csv", "--archive", "3"},
                                 QStringList{"export", table, "x.csv", "--format", "txt"},
                                 QStringList{"export", table, "x.xls", "--archive", "1"}}) {
    EXPECT_EQ(cli(bad).exitCode, 2) << bad.join(' ').toStdString();
    EXPECT_FALSE(QFileInfo::exists(bad[2]));
  }
}

TEST(CliErrors, AFullDiskAReadOnlyFileSystemAndAMissingFolderAreToldWithTheFile) {
  QList<hv::test::Row> rows;
  for (int i = 0; i < 400; ++i)
    rows << single(i + 1, 0, "05.03.2024", QString::asprintf("%02d:%02d:00", i / 60, i % 60).toLatin1().constData(),
                   QString("%1,5").arg(i % 37).toLatin1().constData());
  const QString table = testPath(QStringLiteral("big.db"));
  hv::test::writeTable(table, rows);
  // The workbook's own words, then why in the user's.
  const QString nowhere = testPath(QStringLiteral("нет/e.xls"));
  const auto missing = cli({"export", table, nowhere});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(errLines(missing).mid(0, 2),
            QStringList({"StgCreateDocFile error 2", QStringLiteral("Не удалось создать файл \"%1\": папка \"%2\" не найдена.")
                                                         .arg(nowhere, testPath(QStringLiteral("нет")))}));

  const QString full = testPath(QStringLiteral("full"));
  ASSERT_TRUE(QDir().mkdir(full));
  for (const QStringList& args : QList<QStringList>{{"report", table, "--archive", "0", full + "/r.pdf"},
                                                   {"chart", table, "--archive", "0", "--rows", "1-400", "--curves", "W", "--size", "3000x2000", full + "/c.png"},
                                                   {"export", table, full + "/e.xls"}}) {
    SCOPED_TRACE(args.join(' ').toStdString());
    const auto r = cliOnMount(
        QStringLiteral("mount -t tmpfs -o size=8k tmpfs \"$0\" && head -c 6144 /dev/zero >\"$0/fill\""), full, args);
    if (!r) GTEST_SKIP() << "no file system can be mounted here";
    EXPECT_EQ(r->exitCode, 1);
    const QString err = QString::fromUtf8(r->err);
    EXPECT_TRUE(err.startsWith(QStringLiteral("Не удалось записать файл \"%1\": на диске нет места.\n").arg(args.last())))
        << r->err.constData();
    EXPECT_FALSE(err.contains(QStringLiteral("libpng")) || err.contains(QStringLiteral("Неизвестная ошибка")))
        << r->err.constData();
  }

  const QString ro = testPath(QStringLiteral("ro"));
  ASSERT_TRUE(QDir().mkdir(ro));
  const QString roTable = makeTable(ro + QStringLiteral("/t.db"));
  const auto r = cliOnMount(QStringLiteral("mount --bind \"$0\" \"$0\" && mount -o remount,ro,bind \"$0\""), ro,
                            {"import", "--image", makeImage(testPath(QStringLiteral("i.bin"))), "--append", roTable});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->exitCode, 1);
  EXPECT_EQ(errLines(*r)[0],
            QStringLiteral("Таблица \"%1\" только для чтения: файловая система только для чтения.").arg(roTable));
}

#if !HV_TEST_ASAN
TEST(CliErrors, RunningOutOfMemoryIsAMessage) {
  // Sixty lists of ten million rows do not fit in the memory the shell allows.
  QStringList ranges;
  for (int i = 0; i < 60; ++i) ranges << QStringLiteral("1-10000000");
  const QString table = makeTable(testPath(QStringLiteral("t.db")));
  const auto r = hv::test::runProcess(
      QStringLiteral("/bin/sh"), {"-c", "ulimit -v 1000000 && exec \"$0\" stats \"$1\" --archive 0 --rows \"$2\"",
                                  hv::test::toolPath(QStringLiteral("hygrovan-cli")), table, ranges.join(QChar(','))});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(QString::fromUtf8(r.err).trimmed(), QStringLiteral("Недостаточно памяти для выполнения команды."));
}
#endif

TEST(CliFileNames, NamesThatAreNotUtf8Work) {
  const QByteArray dir = QFile::encodeName(hv::test::testDir());
  const QByteArray table = dir + "/t\xff.db", folder = dir + "/d\xfe", image = dir + "/i\xfd.bin";
  ASSERT_EQ(::rename(QFile::encodeName(makeTable(testPath(QStringLiteral("t.db")))).constData(), table.constData()), 0);
  ASSERT_EQ(::rename(QFile::encodeName(makeImage(testPath(QStringLiteral("i.bin")))).constData(), image.constData()),
            0);
  ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
  // Python hands the names over byte for byte.
  const char* script = R"PY(
import os, subprocess, sys
cli, d = sys.argv[1], os.fsencode(sys.argv[2])
def run(*args):
    r = subprocess.run([cli] + [a if isinstance(a, bytes) else a.encode() for a in args], capture_output=True)
    return r.returncode, r.stdout.decode('utf-8', 'replace').count('\n')
t, f = d + b'/t\xff.db', d + b'/d\xfe'
print(run('dump', t), run('export', t, f + b'/o\xfc.xls'), run('report', t, '--archive', '0', f + b'/r.pdf'),
      run('import', '--image', d + b'/i\xfd.bin', '--create', f + b'/n\xfb.db'),
      run('import', '--image', d + b'/i\xfd.bin', '--append', t), run('dump', t))
print(sorted(os.listdir(f)))
)PY";
  const auto r = hv::test::runPython(QString::fromUtf8(script),
                                     {hv::test::toolPath(QStringLiteral("hygrovan-cli")), hv::test::testDir()});
  ASSERT_EQ(r.exitCode, 0) << r.err.constData();
  EXPECT_EQ(QString::fromUtf8(r.out), QStringLiteral("(0, 3) (0, 1) (0, 1) (0, 0) (0, 3) (0, 5)\n"
                                                     "[b'n\\xfb.db', b'o\\xfc.xls', b'r.pdf']\n"));
}

}  // namespace
