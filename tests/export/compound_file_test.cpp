#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "export/compound_file.h"
#include "platform/error.h"
#include "support/test_support.h"

namespace {

using hv::CompoundFile;

QByteArray pattern(qsizetype size, unsigned seed) {
  QByteArray b(size, Qt::Uninitialized);
  std::uint32_t x = seed * 2654435761u + 1;
  for (qsizetype i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    b[i] = static_cast<char>(x >> 24);
  }
  return b;
}

void writeCompound(const QString& path, const QByteArray& data) {
  CompoundFile f;
  f.create(path);
  f.createStream(QStringLiteral("Workbook"));
  // Uneven pieces, as records come.
  qsizetype at = 0, step = 1;
  while (at < data.size()) {
    const qsizetype n = std::min(step, data.size() - at);
    f.write(data.constData() + at, static_cast<std::size_t>(n));
    at += n;
    step = step * 3 % 70001 + 1;
  }
  EXPECT_EQ(f.tell(), static_cast<std::uint64_t>(data.size()));
  f.release();
}

// olefile reads every file back: the one stream, its size and SHA-1, and how
// many FAT and DIFAT sectors the header declares.
TEST(CompoundFile, EveryStreamSizeReadsBackWithOlefile) {
  // Around the mini-stream cut-off, and past 109 FAT sectors (one and two DIFAT sectors).
  const qsizetype sizes[] = {0, 1, 63, 64, 65, 511, 512, 4095, 4096, 4097, 100000,
                             13842 * 512, 13843 * 512, 15'700'000};
  QStringList args;
  QStringList expected;
  for (qsizetype size : sizes) {
    const QString path = hv::test::testPath(QStringLiteral("f%1.bin").arg(size));
    const QByteArray data = pattern(size, static_cast<unsigned>(size));
    writeCompound(path, data);
    EXPECT_EQ(QFileInfo(path).size() % 512, 0);
    args << path;
    expected << QStringLiteral("%1 %2").arg(size).arg(
                    QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex()));
  }
  const char* script = R"PY(
import sys, hashlib, olefile, struct
for path in sys.argv[1:]:
    with open(path, "rb") as f:
        header = f.read(512)
    fat, difat = struct.unpack_from("<I", header, 44)[0], struct.unpack_from("<I", header, 72)[0]
    ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT)
    assert ole.listdir() == [["Workbook"]], ole.listdir()
    data = ole.openstream("Workbook").read()
    print(ole.get_size("Workbook"), hashlib.sha1(data).hexdigest(), fat, difat)
    ole.close()
)PY";
  const auto r = hv::test::runPython(QString::fromUtf8(script), args);
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QStringList lines = QString::fromUtf8(r.out).trimmed().split(QChar('\n'));
  ASSERT_EQ(lines.size(), expected.size());
  for (int i = 0; i < lines.size(); ++i) {
    const QStringList f = lines[i].split(QChar(' '));
    EXPECT_EQ(f[0] + QChar(' ') + f[1], expected[i]);
  }
  // 109 FAT sectors fit the header; one sector more needs a DIFAT sector, 237 need two.
  EXPECT_EQ(lines[11].section(QChar(' '), 2), QStringLiteral("109 0"));
  EXPECT_EQ(lines[12].section(QChar(' '), 2), QStringLiteral("110 1"));
  EXPECT_EQ(lines[13].section(QChar(' '), 2), QStringLiteral("242 2"));
}

TEST(CompoundFile, SeekBackPatchesBytesAlreadyWritten) {
  const QString path = hv::test::testPath(QStringLiteral("patch.bin"));
  QByteArray data = pattern(3 << 20, 7);
  {
    CompoundFile f;
    f.create(path);
    f.createStream(QStringLiteral("Workbook"));
    f.write(data.constData(), 100);
    f.write(data.constData() + 100, data.size() - 100);  // one large piece, straight to the file
    f.seek(10);
    f.write("ABCD", 4);  // long flushed
    f.seek(data.size() - 8);
    f.write("EFGH", 4);
    f.seekToEnd();
    f.write("IJ", 2);
    EXPECT_EQ(f.tell(), static_cast<std::uint64_t>(data.size() + 2));
    f.release();
  }
  data.replace(10, 4, "ABCD");
  data.replace(data.size() - 8, 4, "EFGH");
  data += "IJ";
  const auto r = hv::test::runPython(QStringLiteral("import sys, olefile, hashlib\n"
                                                    "print(hashlib.sha1(olefile.OleFileIO(sys.argv[1]).openstream('Workbook').read()).hexdigest())"),
                                     {path});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(r.out.trimmed(), QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex());
}

TEST(CompoundFile, CreateAndStreamErrorsCarryTheErrorNumber) {
  CompoundFile f;
  try {
    f.create(hv::test::testPath(QStringLiteral("missing/folder/a.xls")));
    FAIL() << "created";
  } catch (const hv::Error& e) {
    // The format's own words, then why in the user's.
    EXPECT_EQ(e.text().split('\n'),
              QStringList({"StgCreateDocFile error 2",
                           QStringLiteral("Не удалось создать файл \"%1\": папка \"%2\" не найдена.")
                               .arg(hv::test::testPath(QStringLiteral("missing/folder/a.xls")),
                                    hv::test::testPath(QStringLiteral("missing/folder")))}));
  }
  try {
    f.create(hv::test::testDir());
    FAIL() << "created";
  } catch (const hv::Error& e) {
    EXPECT_EQ(e.text(), QStringLiteral("StgCreateDocFile error 21\nНе удалось создать файл \"%1\": это папка, а не файл.")
                            .arg(hv::test::testDir()));
  }
  try {
    f.createStream(QStringLiteral("Workbook"));
    FAIL() << "stream without file";
  } catch (const hv::Error& e) {
    EXPECT_TRUE(e.text().startsWith(QStringLiteral("CreateStream error "))) << e.text().toStdString();
  }
  f.create(hv::test::testPath(QStringLiteral("b.xls")));
  f.createStream(QStringLiteral("Workbook"));
  try {
    f.createStream(QStringLiteral("Workbook"));
    FAIL() << "second stream";
  } catch (const hv::Error& e) {
    EXPECT_EQ(e.text(), QStringLiteral("CreateStream error 17"));
  }
}

TEST(CompoundFile, AnUnfinishedFileLeavesTheOldOneInPlace) {
  const QString path = hv::test::testPath(QStringLiteral("old.xls"));
  hv::test::writeFile(path, "previous contents");
  ::chmod(QFile::encodeName(path).constData(), 0640);
  {
    CompoundFile f;
    f.create(path);
    f.createStream(QStringLiteral("Workbook"));
    f.write("abc", 3);
    // Given up without release: as a crash in the middle would.
  }
  EXPECT_EQ(hv::test::readFile(path), QByteArray("previous contents"));
  EXPECT_EQ(QDir(hv::test::testDir()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("old.xls")});

  writeCompound(path, "new");
  EXPECT_TRUE(hv::test::readFile(path).startsWith("\xD0\xCF\x11\xE0"));
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // the replaced file's permissions stay
}

TEST(CompoundFile, AFailedWriteReportsTheSystemTextAndKeepsTheOldFile) {
  const QString path = hv::test::testPath(QStringLiteral("full.xls"));
  hv::test::writeFile(path, "previous contents");
  // A file size limit stands in for a full disk.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 1 << 20;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  QString error;
  try {
    writeCompound(path, pattern(3 << 20, 1));
  } catch (const hv::Error& e) {
    error = e.text();
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(error.split('\n'),
            QStringList({QStringLiteral("Не удалось записать файл \"%1\".").arg(path), qt_error_string(EFBIG)}));
  EXPECT_EQ(hv::test::readFile(path), QByteArray("previous contents"));
  EXPECT_EQ(QDir(hv::test::testDir()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("full.xls")});
}

// Exports killed while writing leave no file behind where the system has
// unnamed files; what a kill leaves otherwise (or between the file's sync and
// its rename) goes at the next write of the same target, and only that.
TEST(CompoundFile, KilledWritesLeaveNoTemporaryAndStaleOnesGoAtTheNextWrite) {
  const QString target = hv::test::testPath(QStringLiteral("killed.xls"));
  const int probe = ::open(QFile::encodeName(hv::test::testDir()).constData(), O_TMPFILE | O_WRONLY, 0600);
  const bool unnamedFiles = probe >= 0;
  if (probe >= 0) ::close(probe);
  const QByteArray data = pattern(8 << 20, 3);
  for (int round = 0; round < 4; ++round) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(fds[0]);
      for (;;) {
        CompoundFile f;
        f.create(target);
        f.createStream(QStringLiteral("Workbook"));
        for (qsizetype at = 0; at < data.size(); at += 65536) {
          f.write(data.constData() + at, 65536);
          if (at == 0 && ::write(fds[1], "w", 1) != 1) ::_exit(3);
        }
        f.release();
      }
    }
    ::close(fds[1]);
    char c;
    ASSERT_EQ(::read(fds[0], &c, 1), 1);  // writing has begun
    ::usleep(useconds_t(QRandomGenerator::global()->bounded(0, 30000)));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(fds[0]);
    const QStringList left = QDir(hv::test::testDir()).entryList(QDir::Files | QDir::Hidden);
    if (unnamedFiles) {
      EXPECT_TRUE(left.isEmpty() || left == QStringList{QStringLiteral("killed.xls")}) << left.join(' ').toStdString();
    }
  }
  // As a kill between sync and rename, or without unnamed files, would leave
  // them; another target's temporary stays.
  const QString temp = CompoundFile::temporaryName(target);
  const QString otherTemp = CompoundFile::temporaryName(hv::test::testPath(QStringLiteral("other.xls")));
  EXPECT_LT(QFileInfo(temp).fileName().size(), 25);
  for (const QString& path : {temp, temp + QStringLiteral(".Ab3xYz"), otherTemp}) hv::test::writeFile(path, "stale");
  writeCompound(target, "new");
  EXPECT_EQ(QDir(hv::test::testDir()).entryList(QDir::Files | QDir::Hidden),
            (QStringList{QFileInfo(otherTemp).fileName(), QStringLiteral("killed.xls")}));
}

// A file name of 250 characters is written and replaced: the temporary's
// name does not grow with it.
TEST(CompoundFile, ALongFileNameIsWrittenAndReplaced) {
  const QString path = hv::test::testPath(QString(246, QChar('w')) + QStringLiteral(".xls"));
  writeCompound(path, "first");
  writeCompound(path, pattern(100000, 5));
  const auto r = hv::test::runPython(QStringLiteral("import sys, olefile\nprint(len(olefile.OleFileIO(sys.argv[1]).openstream('Workbook').read()))"),
                                     {path});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(r.out.trimmed(), QByteArray("100000"));
  EXPECT_EQ(QDir(hv::test::testDir()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

}  // namespace
