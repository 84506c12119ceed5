// The download exchange: its handlers fed block by block, then whole
// downloads against the simulator, and the cli.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <atomic>
#include <thread>

#include "device/device_image.h"
#include "device/download_exchange.h"
#include "device_test_support.h"
#include "support/test_support.h"

using namespace hv;
using namespace hv::test;

namespace {

const QString kWrongDevice = QStringLiteral("Вы подключили не тот прибор !");
const QString kNotFound = QStringLiteral("Прибор не обнаружен! Проверте правильность подключения согласно инструкции!");

class Download : public ::testing::Test {
 protected:
  void SetUp() override { isolateComPorts(); }
  void TearDown() override {
    for (int n = 1; n <= 38; ++n) qunsetenv(QStringLiteral("HYGROVAN_COM%1").arg(n).toLatin1().constData());
  }

  // Starts an exchange with no port behind it and brings it to the archive
  // request, as the timers would.
  void identifyAndRequest(DownloadExchange& e, const QByteArray& reply = identReply()) {
    e.start();
    feed(e, reply);
    ASSERT_TRUE(e.running());
    ASSERT_TRUE(e.requestDelayTimer().isActive());
    EXPECT_FALSE(e.replyTimer().isActive());
    e.onRequestDelay();
    ASSERT_EQ(e.lastCommand(), ArchiveRequest);
  }

  // The image marked, so that every byte a download writes shows.
  static void markImage(DownloadExchange& e) { e.image().fill(0xEE); }
  static bool imageUntouched(const DownloadExchange& e) {
    for (quint8 b : e.image())
      if (b != 0xEE) return false;
    return true;
  }
};

QList<TestRecord> woodRecords(int n, int archive = 0) {
  QList<TestRecord> list;
  for (int i = 0; i < n; ++i)
    list.append({archive, quint16(100 + i), 0xFFFF, 0xFFFF, quint8(i % 15), 0, 1, 2, 3, 4, 5, 24});
  return list;
}

}  // namespace

TEST_F(Download, IdentificationAcceptsTheFamilyAndShowsModelAndVersion) {
  for (int type = 1; type <= 7; ++type) {
    DownloadExchange e;
    markImage(e);
    ExchangeLog log(e);
    e.start();
    EXPECT_EQ(log.statuses.last(), QStringLiteral("Ожидание готовности прибора ..."));
    // The reply may come split; the newest 13 characters count.
    const QByteArray reply = identReply(8, type, 5, 3, 21);
    feed(e, reply.left(5));
    EXPECT_TRUE(log.model.isEmpty());
    feed(e, reply.mid(5));
    EXPECT_EQ(log.model, modelName(type));
    EXPECT_EQ(log.version, QStringLiteral("21.03.05"));
    EXPECT_EQ(log.statuses.last(), QStringLiteral("Идет прием информации ..."));
    EXPECT_EQ(e.recordSize(), 14);
    EXPECT_TRUE(log.errors.isEmpty());
    e.cancel();
    EXPECT_EQ(log.result, mrCancel);
    EXPECT_TRUE(imageUntouched(e));
  }
  EXPECT_EQ(modelName(3), QStringLiteral("Hygrovan-RX3WC"));
  EXPECT_EQ(modelName(7), QStringLiteral("Hygrovan-RX3U"));
  EXPECT_EQ(FormatVersion(0, 10, 9), QStringLiteral("09.10.00"));
}

TEST_F(Download, WrongDeviceIsRefusedAndNothingMoreIsHandled) {
  for (const QByteArray& reply : {identReply(8, 9), identReply(6, 3), identReply(8, 0)}) {
    DownloadExchange e;
    markImage(e);
    ExchangeLog log(e);
    e.start();
    feed(e, reply);
    ASSERT_EQ(log.errors.size(), 1);
    EXPECT_EQ(log.errors[0].first, QStringLiteral("Error"));
    EXPECT_EQ(log.errors[0].second, kWrongDevice);
    EXPECT_EQ(log.result, mrCancel);
    EXPECT_FALSE(e.replyTimer().isActive());
    EXPECT_FALSE(e.requestDelayTimer().isActive());
    // A block arriving afterwards is not handled again.
    feed(e, identReply());
    EXPECT_EQ(log.errors.size(), 1);
    EXPECT_TRUE(log.model.isEmpty());
    EXPECT_TRUE(imageUntouched(e));
  }
}

TEST_F(Download, EmptyArchivesInOneBlock) {
  DownloadExchange e;
  markImage(e);
  ExchangeLog log(e);
  identifyAndRequest(e);
  feed(e, "S" + QByteArray(12, '0') + "P");
  EXPECT_EQ(log.result, mrOk);
  EXPECT_EQ(log.counts, QStringLiteral("0/0/0"));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(e.image()[i], 0);
  EXPECT_EQ(e.image()[6], 0xEE);
  EXPECT_TRUE(ImageIsEmpty(e.image()));
}

TEST_F(Download, CountsAndProgressWhileReceiving) {
  DownloadExchange e;
  ExchangeLog log(e);
  identifyAndRequest(e);
  QList<TestRecord> records = woodRecords(10);
  records += woodRecords(3, 2);
  const QByteArray stream = archiveStream(records);
  // A count is read once one character beyond it has come.
  feed(e, stream.left(5));
  EXPECT_EQ(log.counts, QString());
  feed(e, stream.mid(5, 1));
  EXPECT_EQ(log.counts, QStringLiteral("10"));
  // Half of the 280 wood record characters.
  feed(e, stream.mid(6, 139));
  EXPECT_EQ(log.progress.last(), 50);
  feed(e, stream.mid(145, 145));
  EXPECT_EQ(log.counts, QStringLiteral("10/0"));
  EXPECT_EQ(log.progress.last(), 100);
  feed(e, stream.mid(290, 4));
  EXPECT_EQ(log.counts, QStringLiteral("10/0/3"));
  EXPECT_EQ(log.result, -1);
  feed(e, stream.mid(294, 40));
  EXPECT_EQ(log.progress.last(), (334 - 293) * 100 / 84);  // the bulk records from 293
  feed(e, stream.mid(334));
  EXPECT_EQ(log.result, mrOk);
  EXPECT_EQ(archiveCount(ArchiveKind::Wood, e.image()), 10);
  EXPECT_EQ(archiveCount(ArchiveKind::Concrete, e.image()), 0);
  EXPECT_EQ(archiveCount(ArchiveKind::Bulk, e.image()), 3);
  EXPECT_EQ(archiveRecord(ArchiveKind::Wood, 9, e.image()).moisture(), 109);
  EXPECT_EQ(archiveRecord(ArchiveKind::Bulk, 2, e.image()).materialCode(), 2);
  EXPECT_EQ(decodedImageLength(e.image()), 6 + 14 * 13);

  // 12/0/3 in one block.
  DownloadExchange e2;
  ExchangeLog log2(e2);
  identifyAndRequest(e2);
  QList<TestRecord> r2 = woodRecords(12);
  r2 += woodRecords(3, 2);
  feed(e2, archiveStream(r2));
  EXPECT_EQ(log2.counts, QStringLiteral("12/0/3"));
  EXPECT_EQ(log2.result, mrOk);
}

TEST_F(Download, StaleCharactersOfAnEarlierExchangeNeverCount) {
  DownloadExchange e;
  ExchangeLog log(e);
  identifyAndRequest(e);
  feed(e, archiveStream(woodRecords(20)));
  ASSERT_EQ(log.result, mrOk);

  // The next exchange: its buffer still holds the earlier S..P beyond what came now.
  log.result = -1;
  identifyAndRequest(e);
  const QByteArray stream = archiveStream(woodRecords(2));
  feed(e, stream.left(3));  // "S" and two characters of the count
  EXPECT_EQ(e.findChar(EndMarker), -1);
  EXPECT_FALSE(e.archiveProgress()[0].seen);
  feed(e, stream.mid(3, 10));
  EXPECT_EQ(log.counts, QStringLiteral("2"));
  EXPECT_EQ(log.result, -1);
  feed(e, stream.mid(13));
  EXPECT_EQ(log.result, mrOk);
  EXPECT_EQ(archiveCount(ArchiveKind::Wood, e.image()), 2);
  EXPECT_EQ(archiveCount(ArchiveKind::Concrete, e.image()), 0);
}

TEST_F(Download, MalformedStreamsAreRefused) {
  const QByteArray good = archiveStream(woodRecords(2));
  QByteArray badChar = good;
  badChar[20] = '/';
  QByteArray tooMany = "S" + encodeCounts(4681, 0, 0) + QByteArray(4681 * 28, '0') + "P";
  struct Case {
    const char* name;
    QByteArray stream;
    QString text;
  } cases[] = {
      {"no start marker", good.mid(1), download_text::noStartMarker()},
      {"end before start", "P" + good, download_text::noStartMarker()},
      {"odd length", good.left(good.size() - 2) + "P", download_text::oddLength()},
      {"character outside the data range", badChar, download_text::badCharacter()},
      {"counts longer than the data", "S" + encodeCounts(1, 0, 0) + "P", download_text::countsMismatch()},
      {"counts shorter than the data", "S" + encodeCounts(0, 0, 0) + "3030P", download_text::countsMismatch()},
      {"fewer than three counts", "S00003000P", download_text::countsMismatch()},
      {"more records than the image holds", tooMany, download_text::overflow()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DownloadExchange e;
    markImage(e);
    ExchangeLog log(e);
    identifyAndRequest(e);
    for (qsizetype at = 0; at < c.stream.size(); at += 4096) feed(e, c.stream.mid(at, 4096));
    ASSERT_EQ(log.errors.size(), 1);
    EXPECT_EQ(log.errors[0].first, QStringLiteral("Ошибка"));
    EXPECT_EQ(log.errors[0].second, c.text);
    EXPECT_EQ(log.result, mrCancel);
    EXPECT_FALSE(e.serialPort().IsOpen());
    EXPECT_TRUE(imageUntouched(e));
  }

  // More characters than the receive buffer holds, without an end.
  DownloadExchange e;
  markImage(e);
  ExchangeLog log(e);
  identifyAndRequest(e);
  const QByteArray block(4096, '0');
  for (int i = 0; i < 70 && log.result < 0; ++i) feed(e, block);
  ASSERT_EQ(log.errors.size(), 1);
  EXPECT_EQ(log.errors[0].second, download_text::overflow());
  EXPECT_LE(e.receivedCount(), DownloadExchange::kReceiveBufferSize);
  EXPECT_TRUE(imageUntouched(e));
}

TEST_F(Download, ProbeByteRestartsTheIdentification) {
  DownloadExchange e;
  ExchangeLog log(e);
  identifyAndRequest(e);
  const QByteArray stream = archiveStream(woodRecords(4));
  feed(e, stream.left(40));
  // Z in the middle of a block: the rest of the block, and all before, is dropped.
  feed(e, stream.mid(40, 10) + "Z" + stream.mid(50, 20));
  EXPECT_EQ(e.lastCommand(), IdentifyRequest);
  EXPECT_EQ(e.receivedCount(), 0);
  EXPECT_FALSE(e.requestDelayTimer().isActive());
  feed(e, identReply());
  EXPECT_TRUE(e.requestDelayTimer().isActive());
  e.onRequestDelay();
  feed(e, stream);
  EXPECT_EQ(log.result, mrOk);
  EXPECT_EQ(archiveCount(ArchiveKind::Wood, e.image()), 4);
}

TEST_F(Download, FullDownloadFromTheSimulator) {
  // Raw values straight into the image: an out-of-range month goes through as it is.
  const QString records = testPath(QStringLiteral("records.txt"));
  writeFile(records,
            "0 123 65535 65535 3 0 10 20 8 15 6 24\n"
            "# a comment line\n"
            "2 0 100 250 7 5 59 59 23 31 13 99\n"
            "0 456 65535 65535 14 0 0 0 0 1 1 0\n");
  Simulator sim;
  ASSERT_TRUE(sim.start({"--records", records, "--type", "5", "--version", "2.10.1"}));
  setComPort(1, sim.path());
  DownloadExchange e;
  ExchangeLog log(e);
  ASSERT_EQ(runExchange(e, log), mrOk);
  EXPECT_EQ(log.model, QStringLiteral("Hygrovan-RX3WB"));
  EXPECT_EQ(log.version, QStringLiteral("02.10.01"));
  EXPECT_EQ(log.counts, QStringLiteral("2/0/1"));
  EXPECT_FALSE(e.serialPort().IsOpen());
  EXPECT_EQ(archiveCount(ArchiveKind::Wood, e.image()), 2);
  const DeviceRecord first = archiveRecord(ArchiveKind::Wood, 0, e.image());
  EXPECT_EQ(first.moisture(), 123);
  EXPECT_TRUE(first.isSingle());
  EXPECT_EQ(first.materialCode(), 3);
  EXPECT_EQ(first.hour(), 8);
  EXPECT_EQ(first.year(), 24);
  EXPECT_EQ(archiveRecord(ArchiveKind::Wood, 1, e.image()).materialCode(), 14);
  const DeviceRecord bulk = archiveRecord(ArchiveKind::Bulk, 0, e.image());
  EXPECT_FALSE(bulk.isSingle());
  EXPECT_EQ(bulk.minimum(), 100);
  EXPECT_EQ(bulk.maximum(), 250);
  EXPECT_EQ(bulk.individualNumber(), 5);
  EXPECT_EQ(bulk.month(), 13);
  EXPECT_EQ(bulk.year(), 99);
  // The archive request follows the identification by a second.
  ASSERT_EQ(log.acceptedAt.size(), 1);
  ASSERT_EQ(log.archiveRequestAt.size(), 1);
  EXPECT_GE(log.archiveRequestAt[0] - log.acceptedAt[0], 990);
}

TEST_F(Download, SecondDownloadInTheSameRunAndRandomBlocks) {
  Simulator sim;
  ASSERT_TRUE(sim.start({"--generate", "40,25,30", "--seed", "7", "--random-blocks"}));
  setComPort(1, sim.path());
  DownloadExchange e;
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    e.image().fill(0);
    ExchangeLog log(e);
    ASSERT_EQ(runExchange(e, log), mrOk);
    EXPECT_EQ(log.counts, QStringLiteral("40/25/30"));
    EXPECT_EQ(log.countTexts.first(), QString());  // emptied at the start
    EXPECT_EQ(log.progress.first(), 0);            // fresh bar
    EXPECT_EQ(log.progress.last(), 100);
    EXPECT_EQ(archiveCount(ArchiveKind::Wood, e.image()), 40);
    EXPECT_EQ(archiveCount(ArchiveKind::Concrete, e.image()), 25);
    EXPECT_EQ(archiveCount(ArchiveKind::Bulk, e.image()), 30);
  }
}

TEST_F(Download, ProbeFromTheMeterAfterTheRequest) {
  Simulator sim;
  ASSERT_TRUE(sim.start({"--generate", "30,0,0", "--z-after", "100"}));
  setComPort(1, sim.path());
  DownloadExchange e;
  ExchangeLog log(e);
  ASSERT_EQ(runExchange(e, log), mrOk);
  EXPECT_EQ(archiveCount(ArchiveKind::Wood, e.image()), 30);
  // Identified twice; each time the archive request came a second after it.
  ASSERT_EQ(log.archiveRequestAt.size(), 2);
  ASSERT_GE(log.acceptedAt.size(), 2);
  for (qint64 n : log.archiveRequestAt) {
    qint64 accepted = -1;
    for (qint64 a : log.acceptedAt)
      if (a <= n) accepted = a;
    ASSERT_GE(accepted, 0);
    EXPECT_GE(n - accepted, 990);
    EXPECT_LT(n - accepted, 1500);
  }
  EXPECT_GT(log.acceptedAt[1], log.archiveRequestAt[0]);
}

TEST_F(Download, PortSearchFindsTheMeterOnALaterPort) {
  Simulator silent;
  ASSERT_TRUE(silent.start({"--silent"}));
  Simulator sim;
  ASSERT_TRUE(sim.start({"--generate", "3,2,1"}));
  setComPort(2, silent.path());  // opens, but never answers the probe
  setComPort(5, sim.path());
  DownloadExchange e;
  ExchangeLog log(e);
  // COM1 can't be opened: after the reply time-out the search runs.
  ASSERT_EQ(runExchange(e, log), mrOk);
  EXPECT_TRUE(log.searchTexts.contains(QStringLiteral("Поиск прибора....ComPort №\\\\.\\COM1")));
  EXPECT_TRUE(log.searchTexts.contains(QStringLiteral("Поиск прибора....ComPort №\\\\.\\COM2")));
  EXPECT_EQ(log.searchTexts.last(), QStringLiteral("Прибор найден ComPort №\\\\.\\COM5"));
  EXPECT_EQ(log.counts, QStringLiteral("3/2/1"));
  EXPECT_TRUE(log.errors.isEmpty());
}

TEST_F(Download, PortSearchWithoutAnAnswer) {
  Simulator silent;
  ASSERT_TRUE(silent.start({"--silent"}));
  setComPort(4, silent.path());
  DownloadExchange e;
  markImage(e);
  ExchangeLog log(e);
  ASSERT_EQ(runExchange(e, log), mrCancel);
  ASSERT_EQ(log.errors.size(), 1);
  EXPECT_EQ(log.errors[0].first, QStringLiteral("Ошибка"));
  EXPECT_EQ(log.errors[0].second, kNotFound);
  EXPECT_EQ(log.searchTexts.size(), 39);
  EXPECT_EQ(log.searchTexts.last(), QString());
  EXPECT_FALSE(e.serialPort().IsOpen());
  EXPECT_EQ(e.serialPort().PortName(), QStringLiteral("\\\\.\\COM1"));
  EXPECT_TRUE(imageUntouched(e));
}

TEST_F(Download, CliWritesTheImageOrNothing) {
  Simulator sim;
  ASSERT_TRUE(sim.start({"--generate", "5,0,2"}));
  const QString out = testPath(QStringLiteral("image.bin"));
  const auto ok = runProcess(toolPath(QStringLiteral("hygrovan-cli")),
                             {"download", "--port", sim.path(), "--image", out}, 20000);
  EXPECT_EQ(ok.exitCode, 0) << ok.err.constData();
  const QByteArray image = readFile(out);
  ASSERT_EQ(image.size(), 6 + 14 * 7);
  EXPECT_EQ(quint8(image[0]), 5);
  EXPECT_EQ(quint8(image[2 + 14 * 5]), 0);
  EXPECT_EQ(quint8(image[4 + 14 * 5]), 2);

  Simulator wrong;
  ASSERT_TRUE(wrong.start({"--family", "6"}));
  const QString none = testPath(QStringLiteral("none.bin"));
  const auto refused = runProcess(toolPath(QStringLiteral("hygrovan-cli")),
                                  {"download", "--port", wrong.path(), "--image", none}, 20000);
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_TRUE(QString::fromUtf8(refused.err).contains(kWrongDevice));
  EXPECT_FALSE(QFileInfo::exists(none));

  const auto missing = runProcess(toolPath(QStringLiteral("hygrovan-cli")),
                                  {"download", "--port", "/nonexistent/port", "--image", none}, 20000);
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_FALSE(QFileInfo::exists(none));
}

TEST_F(Download, StaleCharactersBeforeTheIdentificationAreLetGo) {
  // A meter still sending the rest of an earlier answer when the download
  // starts again: only its reply to V may count as the identification.
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  setComPort(1, pty.slavePath());
  std::atomic<bool> done{false};
  std::thread meter([&] {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 300) {
      pty.write("3");
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    while (!done)
      for (char c : pty.read(1, 20))
        if (c == IdentifyRequest) pty.write(identReply());
  });
  DownloadExchange e;
  ExchangeLog log(e);
  e.start();
  for (int i = 0; i < 40 && log.model.isEmpty() && log.errors.isEmpty(); ++i) spin(25);
  done = true;
  meter.join();
  EXPECT_TRUE(log.errors.isEmpty()) << log.errors.value(0).second.toStdString();
  EXPECT_EQ(log.model, modelName(3));
  e.cancel();
}

TEST_F(Download, RetryRightAfterAnInterruptedTransferIdentifiesTheMeter) {
  Simulator sim;
  ASSERT_TRUE(sim.start({"--generate", "4000,0,0"}));
  setComPort(1, sim.path());
  DownloadExchange first;
  ExchangeLog firstLog(first);
  // "Отмена" a moment after the archive has begun; the meter goes on sending.
  QObject::connect(&first, &DownloadExchange::countsChanged, &first, [&](const QString& counts) {
    if (!counts.isEmpty()) QTimer::singleShot(0, &first, [&] { first.cancel(); });
  });
  ASSERT_EQ(runExchange(first, firstLog), mrCancel);
  EXPECT_EQ(firstLog.counts, QStringLiteral("4000"));

  DownloadExchange retry;
  ExchangeLog log(retry);
  ASSERT_EQ(runExchange(retry, log), mrOk);
  EXPECT_TRUE(log.errors.isEmpty());
  EXPECT_EQ(log.model, QStringLiteral("Hygrovan-RX3WC"));
  EXPECT_EQ(log.counts, QStringLiteral("4000/0/0"));
  EXPECT_EQ(archiveCount(ArchiveKind::Wood, retry.image()), 4000);
}

TEST_F(Download, PortHeldByAnotherProgram) {
  Simulator sim;
  ASSERT_TRUE(sim.start({"--generate", "1,0,0"}));
  TSerialPortDriver holder;
  holder.setPortName(sim.path());
  ASSERT_TRUE(holder.OpenPort());
  const QString heading = QStringLiteral("Не удалось открыть порт %1.\nПорт занят другой программой").arg(sim.path());

  // Without a search the refusal comes at once and says why.
  DownloadExchange e;
  ExchangeLog log(e);
  e.setDefaultPort(sim.path(), false);
  e.start();
  EXPECT_EQ(log.result, mrCancel);
  ASSERT_EQ(log.errors.size(), 1);
  EXPECT_TRUE(log.errors[0].second.startsWith(heading)) << log.errors[0].second.toStdString();
  EXPECT_FALSE(e.serialPort().IsOpen());

  const QString none = testPath(QStringLiteral("none.bin"));
  const auto cli = runProcess(toolPath(QStringLiteral("hygrovan-cli")),
                              {"download", "--port", sim.path(), "--image", none}, 20000);
  EXPECT_EQ(cli.exitCode, 1);
  EXPECT_TRUE(QString::fromUtf8(cli.err).contains(heading)) << cli.err.constData();
  EXPECT_FALSE(QFileInfo::exists(none));

  // The window searches the ports, and names the held one after finding no meter.
  setComPort(3, sim.path());
  DownloadExchange window;
  ExchangeLog windowLog(window);
  ASSERT_EQ(runExchange(window, windowLog), mrCancel);
  ASSERT_EQ(windowLog.errors.size(), 2);
  EXPECT_EQ(windowLog.errors[0].second, kNotFound);
  EXPECT_EQ(windowLog.errors[1].second, QStringLiteral("Порт \\\\.\\COM3 занят другой программой."));
}

TEST_F(Download, CliEndsAtOnceWhenTheLineIsLost) {
  Simulator sim;
  ASSERT_TRUE(sim.start({"--generate", "300,0,0", "--pace"}));  // about ten seconds of stream
  const QString out = testPath(QStringLiteral("lost.bin"));
  QProcess cli;
  cli.start(toolPath(QStringLiteral("hygrovan-cli")), {"download", "--port", sim.path(), "--image", out});
  ASSERT_TRUE(cli.waitForStarted());
  // Identified, the archive requested a second later, and the stream under way.
  spin(2500);
  ASSERT_EQ(cli.state(), QProcess::Running) << cli.readAllStandardError().constData();
  QElapsedTimer sinceLoss;
  sinceLoss.start();
  sim.stop();
  ASSERT_TRUE(cli.waitForFinished(20000));
  EXPECT_LT(sinceLoss.elapsed(), 2000);
  EXPECT_EQ(cli.exitCode(), 1);
  const QString err = QString::fromUtf8(cli.readAllStandardError());
  EXPECT_TRUE(err.contains(QStringLiteral("Связь с прибором потеряна"))) << err.toStdString();
  EXPECT_FALSE(QFileInfo::exists(out));
}

// The cli's --timeout limits silence, never a transfer that goes on.
TEST_F(Download, CliWaitsForSilenceNotForTheWholeTransfer) {
  Simulator paced;
  ASSERT_TRUE(paced.start({"--generate", "300,0,0", "--pace"}));
  const QString out = testPath(QStringLiteral("paced.bin"));
  QElapsedTimer clock;
  clock.start();
  const auto ok = runProcess(toolPath(QStringLiteral("hygrovan-cli")),
                             {"download", "--port", paced.path(), "--image", out, "--timeout", "2"}, 60000);
  // 8,414 characters at 9600 baud take 9.6 s: the limit was outlived several times.
  ASSERT_GT(clock.elapsed(), 3 * 2000);
  EXPECT_EQ(ok.exitCode, 0) << ok.err.constData();
  EXPECT_EQ(readFile(out).size(), 6 + 14 * 300);
  EXPECT_TRUE(ok.err.isEmpty()) << ok.err.constData();  // no progress line off a terminal

  Simulator silent;
  ASSERT_TRUE(silent.start({"--silent"}));
  const QString none = testPath(QStringLiteral("none.bin"));
  const auto quiet = runProcess(toolPath(QStringLiteral("hygrovan-cli")),
                                {"download", "--port", silent.path(), "--image", none, "--timeout", "1"}, 20000);
  EXPECT_EQ(quiet.exitCode, 1);
  EXPECT_EQ(QString::fromUtf8(quiet.err).trimmed(), QStringLiteral("Прибор не ответил за 1 с."));
  EXPECT_FALSE(QFileInfo::exists(none));
}
